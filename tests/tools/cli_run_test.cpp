// The command line's run counts boards and picks its exit status from the jobs' events: with every
// text of the table changed, a chain, a failure, a refusal and a time-out still end as they should.
#include "BoardProcess.h"
#include "BurnJob.h"
#include "CliRun.h"
#include "CliWindow.h"
#include "ControlIds.h"
#include "ExtraItems.h"
#include "IdValue.h"
#include "SerialComm.h"
#include "SwappedTexts.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

namespace {

const char kNandArgs[] = "mtdparts=nand0:1M(boot),1M(deviceinfo),-(rootfs)";

QCoreApplication& App() {
    static int argc = 1;
    static char name[] = "tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

struct RunCase {
    const char* name;
    std::vector<std::string> boardArgs;
    std::string mac;
    const char* rule; // "increase" chains the boards
    int boards;
    unsigned timeoutMs;
    int exit, burnt, failed;
};

inline void PrintTo(const RunCase& c, std::ostream* os) {
    *os << c.name;
}

class CliRunWithChangedTexts : public ::testing::TestWithParam<RunCase> {};

TEST_P(CliRunWithChangedTexts, CountsAndExitStatusComeFromEvents) {
    App();
    const RunCase& c = GetParam();
    std::vector<std::string> boardArgs = {"--bootargs", kNandArgs};
    boardArgs.insert(boardArgs.end(), c.boardArgs.begin(), c.boardArgs.end());
    CBoardProcess board(boardArgs);
    CTempDir dir;
    std::ofstream(dir.File("BurnConfig.ini")) << "[BurnConfig]\nCfgName=hwver:A1\n";
    BurnConfig config;
    config.m_strModuleDir = dir.Path();
    ChooseStartLanguage(2);
    LoadBurnConfig(config);
    ParseItemLists(config);
    CSwappedTexts swapped;

    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    ASSERT_TRUE(out && err);
    {
        CCliWindow window(out, err, false);
        const bool chain = std::string(c.rule) == "increase";
        window.AddControl(IDC_SERIAL_PORT, board.PortPath());
        window.AddControl(IDC_MAC, c.mac);
        window.AddControl(IDC_ID_STRING, "SN");
        window.AddControl(IDC_ID_NUMBER, chain ? "0099" : "", chain);
        for (int id : {IDC_RULE_CLEAR, IDC_RULE_INCREASE, IDC_RULE_DECREASE, IDC_CHIP_VARIANT,
                       IDC_SAVE_RECORDS, IDC_SINGLE_NET, IDC_DOUBLE_NET, int(IDOK)})
            window.AddControl(id, "");
        window.AddControl(IDC_HEX_RULE, "", chain);
        window.Check(chain ? IDC_RULE_INCREASE : IDC_RULE_CLEAR, true);
        window.Check(IDC_SINGLE_NET, true);

        CSerialComm comm;
        CJobRunner runner(comm, config);
        runner.SetTimeoutMs(c.timeoutMs);
        EXPECT_EQ(RunBurnCommand(window, runner, config, chain, c.boards), c.exit);
        EXPECT_EQ(window.BoardsBurnt(), c.burnt);
        EXPECT_EQ(window.BoardsFailed(), c.failed);
    }
    std::fclose(out);
    std::fclose(err);
    g_pBurnThread.store(nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Events, CliRunWithChangedTexts,
    ::testing::Values(
        RunCase{"ChainOfThree", {"--swap-boards"}, "00A1BBC344FE", "increase", 3, 60000, 0, 3, 0},
        RunCase{"OneBoard", {}, "00:1a:2b:3c:4d:5e", "remove", 1, 60000, 0, 1, 0},
        RunCase{
            "WriteFails", {"--error-on", "nand write:1"}, "00:1a:2b:3c:4d:5e", "remove", 1, 60000, 1, 0, 1},
        RunCase{"Refused", {}, "00:1a:2b", "remove", 1, 60000, 2, 0, 1},
        RunCase{"TimeOut", {"--power-on-delay", "60000"}, "", "remove", 1, 1500, 1, 0, 1}),
    [](const ::testing::TestParamInfo<RunCase>& i) { return std::string(i.param.name); });

} // namespace
