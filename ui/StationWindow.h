// The station window: a row per port burning boards at once from one lot, the lot's counts on top,
// Start and Stop for all ports and for the chosen row, a row's whole status log on Enter or a
// double click. Nothing here blocks: a port's failure shows in its row and its log only.
#pragma once

#include "Station.h"

#include <QWidget>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QDialog;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;
class QTimer;

struct tagLotCounts {
    std::uint64_t free = 0, burnt = 0, uncertain = 0;
};

class CStationWindow : public QWidget {
public:
    struct tagSetup {
        std::vector<std::string> ports;
        std::string lot;
        long boards = 0; // good boards in all; 0: until the lot is used up or Stop
        unsigned timeoutMs = kBurnTimeoutMs;
        bool records = false;
        // What the item fields hold at opening, by the item's control ID (local 8-bit).
        std::map<int, std::string> items;
        // Each port's connection to the named lot, and the lot's counts (nothing when unknown).
        std::function<CStation::SourceMaker(const std::string& lot)> sources;
        std::function<std::optional<tagLotCounts>(const std::string& lot)> counts;
    };

    CStationWindow(const BurnConfig& config, tagSetup setup, QWidget* parent = nullptr);
    ~CStationWindow() override;

    void ApplyLanguage();
    void StartAll();
    void StopAll();
    // Called whenever every port has ended (after a start).
    void SetOnFinished(std::function<void()> onFinished) { m_onFinished = std::move(onFinished); }

    CStation* Station() { return m_station.get(); }
    QTableWidget* Table() const { return m_pTable; }
    QLabel* LotLabel() const { return m_pLot; }
    // The item field of an operator-entered item by its control ID (string or number part).
    QLineEdit* ItemEdit(int controlId) const;
    // Why the last start was refused (empty: it was not).
    QLabel* NoticeLabel() const { return m_pNotice; }
    // The log window of a row (opened on demand).
    QDialog* LogWindow(int row);
    void ShowLog(int row);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildRows();
    void BuildItemRows(QGridLayout* grid);
    // What the operator typed into the item fields; a field left empty is not named.
    std::map<int, std::string> TypedItems() const;
    // The fields that choose what a station burns are fixed while one runs.
    void EnableFields(bool enable);
    // Makes the station for the ports and lot in the fields, unless one runs.
    bool EnsureStation();
    void StartRow(int row);
    void StopRow(int row);
    void Refresh(); // the tick: the lot's counts now and then, and the rows
    void RefreshCounts();
    void UpdateRows(); // polls the station: rows, open logs, restarts and the run's end
    QString StateText(const tagLaneView& view) const;

    const BurnConfig& m_config;
    tagSetup m_setup;
    std::unique_ptr<CStation> m_station;
    bool m_bRunning = false;
    std::function<void()> m_onFinished;

    QLabel* m_pPortsLabel = nullptr;
    QLineEdit* m_pPorts = nullptr;
    QLabel* m_pLotLabel = nullptr;
    QLineEdit* m_pLotName = nullptr;
    QLabel* m_pLot = nullptr;
    QLabel* m_pNotice = nullptr;
    // A row for each operator-entered item, as the main window has them: offset items, then keys.
    struct tagItemRow {
        int stringId = 0, numberId = 0;
        int offsetRow = 0; // the offset item's number in the window (from 1); 0 for a key item
        std::uint32_t offset = 0;
        std::string keyLabel;
        QLabel* label = nullptr;
        QLineEdit* text = nullptr;
        QLineEdit* number = nullptr;
    };
    std::vector<tagItemRow> m_itemRows;
    std::map<int, std::string> m_stationItems; // the items the current station burns
    QTableWidget* m_pTable = nullptr;
    QPushButton* m_pStartAll = nullptr;
    QPushButton* m_pStopAll = nullptr;
    QPushButton* m_pStart = nullptr;
    QPushButton* m_pStop = nullptr;
    QPushButton* m_pLog = nullptr;
    QTimer* m_pTimer = nullptr;
    int m_nCountTicks = 0;
    std::atomic<bool> m_bUpdatePosted{false}; // a rows update is queued from a port's thread
    std::map<int, QDialog*> m_logs;
    std::map<int, QPlainTextEdit*> m_logTexts;
    std::map<int, size_t> m_logLines;
};

// The setup for a lot in the identity pool at url (empty: the default pool in the program folder):
// each port its own connection, the counts from one more on the window's thread.
CStationWindow::tagSetup StationSetupFromPool(const std::string& url, const std::string& programDir);
