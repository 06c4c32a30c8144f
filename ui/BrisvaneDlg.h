// The main window: one fixed-size dialog with the entries, the change rule, the status log and the
// burn and close buttons. Its handlers run on the window's thread; the job reaches it through
// Bridge().
#pragma once

#include "BurnConfig.h"
#include "WindowBridge.h"

#include <QDialog>
#include <QPointer>
#include <QTimer>

#include <functional>

#include <map>
#include <memory>
#include <string>
#include <vector>

class CJobRunner;
class CLotSource;
class CLogView;
class CStationWindow;
class CSerialComm;
class CStopFlag;
class QAction;
class QButtonGroup;
class QMenu;
class QMenuBar;
class QProgressBar;

class CBrisvaneDlg : public QDialog {
    Q_OBJECT
public:
    struct tagOptions {
        QString strExtraPort;         // added to the port list if missing, and selected
        bool bUseSavedEntries = true; // false: neither restored at opening nor saved at closing
        unsigned nBurnTimeoutMs = 0;  // 0: the job's own time-out
        // Called with every status message after the log took it (unattended runs watch it).
        std::function<void(StatusKind, const std::string&)> onStatus;
        // Called when a job reports a good board.
        std::function<void()> onBoardBurnt;
    };

    // Opens the window: item rows, port list, initial states, saved entries, language, placeholders.
    // The window owns the job runner (on comm) for its whole life.
    CBrisvaneDlg(BurnConfig& config, CSerialComm& comm, const tagOptions& options, QWidget* parent = nullptr);
    CBrisvaneDlg(BurnConfig& config, CSerialComm& comm) : CBrisvaneDlg(config, comm, tagOptions()) {}
    ~CBrisvaneDlg() override;

    IBurnWindow& Bridge() { return m_bridge; }
    // The window's ear for the jobs' events (the runner's listener); calls hop onto the window's thread.
    IBurnListener& Events() { return m_bridge; }
    CJobRunner& Runner() { return *m_pRunner; }
    const BurnConfig& Config() const { return m_config; }

    // The control of an ID (template controls and item rows); null when it does not exist.
    QWidget* Control(int id) const;
    // The control whose Enter presses the burn button.
    int LastInputField() const;
    // The control that Enter moves the focus to from the control from (0 when none).
    int NextOnEnter(int from) const;

    // A status message: into the log (from a job: right after the job is let go), and the onStatus
    // hook.
    void OnBurnStatus(StatusKind kind, const std::string& text, bool fromJob = false);
    // A job's progress: the bar shows the download while it runs.
    void OnProgress(BurnStage stage, int percent);
    // A job's board ended, good (burnt) or not.
    void OnBoardEnded(bool burnt);
    void ApplyLanguage();
    void SwitchLanguage(bool chinese);
    void OnAbout();

    QMenu* LanguageMenu() const { return m_pLanguageMenu; }
    QAction* ChineseAction() const { return m_pChinese; }
    QAction* EnglishAction() const { return m_pEnglish; }
    QAction* AboutAction() const { return m_pAbout; }
    // Opens (or brings forward) the station window of several ports; it runs beside this window.
    void OnStation();
    CLogView* LogView() const { return m_pLog; }
    QProgressBar* DownloadProgress() const { return m_pProgress; }
    const QTimer& BurnTimer() const { return m_burnTimer; }

    // What the bridge carries out on the window's thread.
    std::string ControlText(int id) const;
    void SetControlText(int id, const std::string& text);
    bool ControlChecked(int id) const;
    bool ControlEnabled(int id) const;
    void EnableControls(const std::vector<int>& ids, bool enable);
    void FocusControl(int id);
    void ShowSystemMessageBox(const std::string& caption, const std::string& text,
                              const std::shared_ptr<CStopFlag>& stop);
    void SetBurnTimer(unsigned ms);
    void KillBurnTimer();
    // Writes the five saved entries to disk now (nothing when this window keeps none).
    void SaveEntries();

public slots:
    // Every way of closing ends here: the running job is stopped, the port closed, the entries saved.
    void done(int result) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool nativeEvent(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    struct tagControl {
        int id;
        QWidget* widget;
        bool tabStop;
    };

    void CreateMenu();
    void CreateControls();
    void CreateItemRows();
    void AddControl(int id, QWidget* widget, bool tabStop);
    void FillPortList();
    void ApplySavedEntries();
    void AddExtraPort(const QString& name);
    void OnBurnClicked();
    void OnNetClicked(int id);
    void OnBurnTimer();
    void CloseWindow();
    void HideProgress();

    BurnConfig& m_config;
    tagOptions m_options;
    CWindowBridge m_bridge;
    std::unique_ptr<CJobRunner> m_pRunner;
    std::unique_ptr<CLotSource> m_pSource; // with a lot ([Pool] Lot): the MAC and ID come from it
    QWidget* m_pClient = nullptr;
    QMenuBar* m_pMenuBar = nullptr;
    QMenu* m_pLanguageMenu = nullptr;
    QAction* m_pChinese = nullptr;
    QAction* m_pEnglish = nullptr;
    QAction* m_pAbout = nullptr;
    QAction* m_pStation = nullptr;
    QPointer<CStationWindow> m_pStationWindow;
    CLogView* m_pLog = nullptr;
    QProgressBar* m_pProgress = nullptr;
    QButtonGroup* m_pRuleGroup = nullptr;
    std::vector<tagControl> m_aControls; // tab order: template controls, then the item rows
    std::map<int, QWidget*> m_mapControls;
    QTimer m_burnTimer;
    bool m_bClosed = false;
};
