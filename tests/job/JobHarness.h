// Runs burn jobs in-process against telvanor-board: a runner with its own channel, a recording
// window, and a configuration written into a temporary program folder.
#pragma once

#include "BoardProcess.h"
#include "BurnConfig.h"
#include "BurnJob.h"
#include "ControlIds.h"
#include "ExtraItems.h"
#include "FakeWindow.h"
#include "IdValue.h"
#include "SerialComm.h"
#include "TextTables.h"

#include <QCoreApplication>

#include <chrono>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

class CJobHarness {
public:
    // ini: the body of the [BurnConfig] section.
    explicit CJobHarness(const std::string& ini = std::string()) {
        ChooseStartLanguage(2);
        std::ofstream(m_dir.File("BurnConfig.ini"), std::ios::binary) << "[BurnConfig]\r\n" << ini;
        m_config.m_strModuleDir = m_dir.Path();
        LoadBurnConfig(m_config);
        ParseItemLists(m_config);
        // The window after opening: item rows with placeholders, number parts disabled (Remove).
        for (const tagExtraInfo& item : m_config.m_aExtraInfo)
            if (item.IsOperatorEntered()) {
                m_window.AddControl(item.nStringID, kStringPlaceholder);
                m_window.AddControl(item.nNumberID, kNumberPlaceholder, false);
            }
        for (const tagExtra& item : m_config.m_aExtra)
            if (item.IsOperatorEntered()) {
                m_window.AddControl(item.nStringID, kStringPlaceholder);
                m_window.AddControl(item.nNumberID, kNumberPlaceholder, false);
            }
        m_window.Put(IDC_ID_STRING, kStringPlaceholder);
        m_window.Put(IDC_ID_NUMBER, kNumberPlaceholder);
        m_runner = std::make_unique<CJobRunner>(m_comm, m_config);
    }

    ~CJobHarness() {
        m_runner.reset();
        g_pBurnThread.store(nullptr);
    }

    CFakeWindow& Window() { return m_window; }
    BurnConfig& Config() { return m_config; }
    CJobRunner& Runner() { return *m_runner; }
    CTempDir& Dir() { return m_dir; }

    void SelectRule(int id) {
        for (int r : {IDC_RULE_CLEAR, IDC_RULE_INCREASE, IDC_RULE_DECREASE})
            m_window.SetChecked(r, r == id);
    }

    // Starts one job and waits until no job is named and the runner is idle. Under Increase and
    // Decrease the chain is stopped after `boards` successes.
    bool Run(int boards = 1, std::chrono::seconds limit = std::chrono::seconds(60)) {
        m_runner->StartJob(&m_window);
        const auto deadline = std::chrono::steady_clock::now() + limit;
        for (;;) {
            if (SuccessCount() >= boards && g_pBurnThread.load() != nullptr &&
                !m_window.IsChecked(IDC_RULE_CLEAR)) {
                m_runner->StopRunningJob();
                m_runner->ClosePort();
            }
            if (g_pBurnThread.load() == nullptr && m_runner->IsIdle())
                return true;
            if (std::chrono::steady_clock::now() > deadline) {
                m_runner->StopRunningJob();
                m_runner->ClosePort();
                m_runner->WaitIdle();
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

    int SuccessCount() {
        int n = 0;
        for (const auto& s : m_window.StatusMessages())
            if (s.kind == 1 && s.text == "Burn successfully!")
                ++n;
        return n;
    }

private:
    CTempDir m_dir;
    BurnConfig m_config;
    CFakeWindow m_window;
    CSerialComm m_comm;
    std::unique_ptr<CJobRunner> m_runner;
};

// The serial port wants a Qt application object on the process.
inline QCoreApplication& TestApp() {
    static int argc = 1;
    static char name[] = "tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}
