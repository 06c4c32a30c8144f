// The station window: a row per port burning boards at once from one lot, the lot's counts on top,
// Start and Stop for all ports and for the chosen row, a row's whole status log on Enter or a
// double click. Nothing here blocks: a port's failure shows in its row and its log only.
#pragma once

#include "Station.h"

#include <QWidget>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QDialog;
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
    // The log window of a row (opened on demand).
    QDialog* LogWindow(int row);
    void ShowLog(int row);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildRows();
    // Makes the station for the ports and lot in the fields, unless one runs.
    bool EnsureStation();
    void StartRow(int row);
    void StopRow(int row);
    void Refresh();
    void RefreshCounts();
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
    QTableWidget* m_pTable = nullptr;
    QPushButton* m_pStartAll = nullptr;
    QPushButton* m_pStopAll = nullptr;
    QPushButton* m_pStart = nullptr;
    QPushButton* m_pStop = nullptr;
    QPushButton* m_pLog = nullptr;
    QTimer* m_pTimer = nullptr;
    int m_nCountTicks = 0;
    std::map<int, QDialog*> m_logs;
    std::map<int, QPlainTextEdit*> m_logTexts;
    std::map<int, size_t> m_logLines;
};

// The setup for a lot in the identity pool at url (empty: the default pool in the program folder):
// each port its own connection, the counts from one more on the window's thread.
CStationWindow::tagSetup StationSetupFromPool(const std::string& url, const std::string& programDir);
