// A channel with a settable segment table, a recording window and a temporary program folder.
#pragma once

#include "BoardProcess.h"
#include "BurnConfig.h"
#include "FakeWindow.h"
#include "SerialComm.h"
#include "StopFlag.h"
#include "TextTables.h"

#include <QCoreApplication>

#include <fstream>
#include <iterator>
#include <memory>

class CTestComm : public CSerialComm {
public:
    void SetSegments(const std::vector<tagBootSegment>& segments) {
        m_nSegments = int(segments.size());
        for (size_t i = 0; i < segments.size(); ++i)
            m_Segments[i] = segments[i];
    }
    using CSerialComm::ClearReply;
    using CSerialComm::SetTimeouts;
};

class CChannelHarness {
public:
    explicit CChannelHarness(int isCA = 0) {
        static int argc = 1;
        static char name[] = "tests";
        static char* argv[] = {name, nullptr};
        static QCoreApplication app(argc, argv);
        ChooseStartLanguage(2);
        m_config.m_strModuleDir = m_dir.Path();
        m_config.m_nIsCA = isCA;
        m_comm.Attach(&m_window, &m_config, m_stop);
    }
    CTestComm& Comm() { return m_comm; }
    CFakeWindow& Window() { return m_window; }
    BurnConfig& Config() { return m_config; }
    CTempDir& Dir() { return m_dir; }
    CStopFlag& Stop() { return *m_stop; }

    std::string LogFile() {
        std::ifstream f(m_dir.File("Log.txt"), std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    }

private:
    CTempDir m_dir;
    BurnConfig m_config;
    CFakeWindow m_window;
    std::shared_ptr<CStopFlag> m_stop = std::make_shared<CStopFlag>();
    CTestComm m_comm;
};
