// Whole jobs against the virtual board: the commands it received, its flash, and the window.
#include "JobHarness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sys/stat.h>

#if defined(__SANITIZE_THREAD__)
// Debian's Qt is not instrumented: its own thread start-up would be reported, not our code.
extern "C" const char* __tsan_default_options() {
    return "ignore_noninstrumented_modules=1";
}
#endif

namespace {

const char kNandArgs[] = "mtdparts=nand0:1M(boot),1M(deviceinfo),-(rootfs)";

std::vector<std::string> WriteCommands(const std::vector<std::string>& all) {
    // Everything after the layout queries.
    std::vector<std::string> out;
    for (const std::string& c : all)
        if (c != "print" && c.rfind("getinfo", 0) != 0)
            out.push_back(c);
    return out;
}

std::string Bytes2(const std::vector<std::uint8_t>& flash, size_t at, size_t n) {
    return std::string(flash.begin() + long(at), flash.begin() + long(at + n));
}

class BurnJobTest : public ::testing::Test {
protected:
    void SetUp() override { TestApp(); }
};

} // namespace

TEST_F(BurnJobTest, NandBlockExampleByteForByte) {
    CBoardProcess board({"--flash", "nand", "--bootargs", kNandArgs});
    CJobHarness h("CfgName=hwver:A1\r\n");
    auto& w = h.Window();
    w.Put(IDC_SERIAL_PORT, board.PortPath());
    w.Put(IDC_MAC, "00:1a:2b:3c:4d:5e");
    w.Put(IDC_ID_STRING, "SN0001");
    ASSERT_TRUE(h.Run());
    board.Stop();

    const auto cmds = board.Commands();
    ASSERT_GE(cmds.size(), 3u);
    EXPECT_EQ(cmds[0], "print");
    const auto writes = WriteCommands(cmds);
    ASSERT_EQ(writes.size(), 21u);
    EXPECT_EQ(writes[0], "mw.b 0x81000000 0xff 0x20000");
    EXPECT_EQ(writes[1], "mw.l 0x81000000 0x313a3030 1");
    EXPECT_EQ(writes[18], "mw.l 0x81000044 0x31 1");
    EXPECT_EQ(writes[19], "nand erase 0x100000 0x20000");
    EXPECT_EQ(writes[20], "nand write 0x81000000 0x100000 0x20000");

    std::string block("00:1a:2b:3c:4d:5e\0SN0001\0MAGICNUM=deviceinfo\0LENGTH=00000046\0HWVER=A1\0", 70);
    std::string expected = block + std::string(2, '\0') + std::string(0x20000 - 72, '\xff');
    const auto flash = board.Flash();
    ASSERT_GE(flash.size(), 0x120000u);
    EXPECT_EQ(Bytes2(flash, 0x100000, 0x20000), expected);

    EXPECT_EQ(w.Dialogs().size(), 0u);
    EXPECT_EQ(w.Log(), "Burn successfully!");
    EXPECT_EQ(w.Text(IDC_MAC), "");
    EXPECT_EQ(w.FocusedControl(), IDC_MAC);
    EXPECT_TRUE(w.Enabled(IDC_MAC));
    EXPECT_FALSE(w.Enabled(IDC_ID_NUMBER));
    EXPECT_FALSE(w.Enabled(IDC_HEX_RULE));
}

TEST_F(BurnJobTest, WithoutKeyItemsTheBlockIsMacAndIdOnly) {
    CBoardProcess board({"--flash", "nand", "--bootargs", kNandArgs});
    CJobHarness h;
    h.Window().Put(IDC_SERIAL_PORT, board.PortPath());
    h.Window().Put(IDC_MAC, "00:1a:2b:3c:4d:5e");
    h.Window().Put(IDC_ID_STRING, "SN0001");
    ASSERT_TRUE(h.Run());
    board.Stop();
    const auto writes = WriteCommands(board.Commands());
    ASSERT_EQ(writes.size(), 10u); // fill, seven words, erase, write
    EXPECT_EQ(writes[7], "mw.l 0x81000018 0x0 1");
    const auto flash = board.Flash();
    EXPECT_EQ(Bytes2(flash, 0x100000, 28), std::string("00:1a:2b:3c:4d:5e\0SN0001\0\0\0\0", 28));
    EXPECT_EQ(flash[0x100000 + 28], 0xff);
}

// One row per configuration: the write commands after the layout queries, exactly.
struct SequenceCase {
    const char* name;
    std::vector<std::string> boardArgs;
    std::string ini;
    std::vector<std::string> expectedTail; // the last commands of the run
    size_t expectedCount;
};

// Test names in the output, not the bytes of the case.
inline void PrintTo(const SequenceCase& c, std::ostream* os) {
    *os << c.name;
}

class WriteSequenceTable : public BurnJobTest, public ::testing::WithParamInterface<SequenceCase> {};

TEST_P(WriteSequenceTable, SendsTheCommands) {
    const SequenceCase& c = GetParam();
    CBoardProcess board(c.boardArgs);
    CJobHarness h(c.ini);
    h.Window().Put(IDC_SERIAL_PORT, board.PortPath());
    h.Window().Put(IDC_MAC, "00:1a:2b:3c:4d:5e");
    h.Window().Put(IDC_ID_STRING, "SN0001");
    ASSERT_TRUE(h.Run());
    board.Stop();
    const auto writes = WriteCommands(board.Commands());
    EXPECT_EQ(writes.size(), c.expectedCount);
    ASSERT_GE(writes.size(), c.expectedTail.size());
    const std::vector<std::string> tail(writes.end() - long(c.expectedTail.size()), writes.end());
    EXPECT_EQ(tail, c.expectedTail);
    EXPECT_EQ(h.Window().Dialogs().size(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, WriteSequenceTable,
    ::testing::Values(
        SequenceCase{"SerialFlashOffsetItem",
                     {"--flash", "spi", "--bootargs", "mtdparts=flash_sfc:1M(boot),64k(deviceinfo)"},
                     "ExtraInfo=0x40:ABC\r\n",
                     {"sf probe 0", "sf erase 0x100000 0x10000", "sf write 0x81000000 0x100000 0x10000",
                      "mw.b 0x81000000 0xff 100", "mw.l 0x81000000 0x434241 1", "sf probe 0",
                      "sf write 0x81000000 0x100040 0x100"},
                     15},
        SequenceCase{"EmmcAt2MiB",
                     {"--flash", "emmc", "--bootargs", "blkdevparts=mmcblk0:1M(boot),1M(env),1M(deviceinfo)"},
                     "",
                     {"mw.l 0x81000018 0x0 1", "mmc write 0 0x81000000 0x1000 1"},
                     9},
        SequenceCase{"BoardType4Staging",
                     {"--flash", "nand", "--bootargs", kNandArgs},
                     "BoardType=4\r\n",
                     {"nand erase 0x100000 0x20000", "nand write 0x1000000 0x100000 0x20000"},
                     10},
        SequenceCase{"ConfiguredSerialFlashAddress",
                     {"--flash", "spi", "--bootargs", kNandArgs},
                     "MacBurnFlashType=2\r\nMacBurnAddress=524288\r\n",
                     {"sf probe 0", "sf erase 0x80000 0x10000", "sf write 0x81000000 0x80000 0x10000"},
                     11}),
    [](const ::testing::TestParamInfo<SequenceCase>& i) { return std::string(i.param.name); });

TEST_F(BurnJobTest, EmmcWritesOneBlockAtPartitionBlockNumber) {
    CBoardProcess board(
        {"--flash", "emmc", "--bootargs", "blkdevparts=mmcblk0:1M(boot),1M(env),1M(deviceinfo)"});
    CJobHarness h;
    h.Window().Put(IDC_SERIAL_PORT, board.PortPath());
    h.Window().Put(IDC_MAC, "00:1a:2b:3c:4d:5e");
    ASSERT_TRUE(h.Run());
    board.Stop();
    const auto writes = WriteCommands(board.Commands());
    ASSERT_FALSE(writes.empty());
    EXPECT_EQ(writes.front(), "mw.b 0x81000000 0xff 0x200");
    EXPECT_EQ(writes.back(), "mmc write 0 0x81000000 0x1000 1");
    EXPECT_EQ(std::count_if(writes.begin(), writes.end(),
                            [](const std::string& c) { return c.find("erase") != std::string::npos; }),
              0);
}

TEST_F(BurnJobTest, FailingWordWriteEnablesEveryInputAndRecordsNothing) {
    CBoardProcess board({"--flash", "nand", "--bootargs", kNandArgs, "--error-on", "mw.l:3"});
    CJobHarness h("ExtraInfo=0x800\r\n");
    auto& w = h.Window();
    w.Put(IDC_SERIAL_PORT, board.PortPath());
    w.Put(IDC_MAC, "00a1bbc344E5");
    w.SetChecked(IDC_SAVE_RECORDS, true);
    ASSERT_TRUE(h.Run());
    board.Stop();
    const auto writes = WriteCommands(board.Commands());
    ASSERT_EQ(writes.size(), 4u); // the fill and three words: nothing after the failure
    ASSERT_EQ(w.Dialogs().size(), 1u);
    EXPECT_EQ(w.Dialogs()[0], "Error|Failed to burn!");
    // The message came while the inputs were still disabled; afterwards all of them are enabled.
    const auto calls = w.Calls();
    const auto dialog = std::find(calls.begin(), calls.end(), "dialog Error|Failed to burn!");
    ASSERT_NE(dialog, calls.end());
    EXPECT_NE(std::find(dialog, calls.end(), "enable " + std::to_string(IDC_ID_NUMBER)), calls.end());
    for (int id :
         {IDC_SERIAL_PORT, IDC_MAC, IDC_ID_NUMBER, IDC_HEX_RULE, IDOK, IDC_EXTRA_NUMBER, IDC_EXTRA_STRING})
        EXPECT_TRUE(w.Enabled(id)) << id;
    EXPECT_EQ(w.Text(IDC_MAC), "00a1bbc344E5");
    EXPECT_FALSE(std::ifstream(h.Dir().File("BurntMacandIDList.txt")).good());
    EXPECT_EQ(g_pBurnThread.load(), nullptr);
}

TEST_F(BurnJobTest, FirstOfTwoItemsFailsBothAreTried) {
    CBoardProcess board({"--flash", "spi", "--bootargs", "mtdparts=flash_sfc:1M(boot),64k(deviceinfo)",
                         "--error-on", "sf write 0x81000000 0x100040"});
    CJobHarness h("ExtraInfo=0x40:ABC|0x80:DEF\r\n");
    h.Window().Put(IDC_SERIAL_PORT, board.PortPath());
    ASSERT_TRUE(h.Run());
    board.Stop();
    const auto writes = WriteCommands(board.Commands());
    EXPECT_EQ(writes.back(), "sf write 0x81000000 0x100080 0x100");
    ASSERT_EQ(h.Window().Dialogs().size(), 1u);
    EXPECT_EQ(h.Window().Dialogs()[0], "Error|Failed to burn!");
}

TEST_F(BurnJobTest, OffsetItemFromFile) {
    // B = 4 KiB on this serial flash: a file of B bytes at 0 is accepted, B + 1 bytes is not, and the
    // same file is accepted at B (where it is written whole).
    for (const auto& [size, offset, ok] :
         {std::tuple{0x1000, 0, true}, std::tuple{0x1001, 0, false}, std::tuple{0x1001, 0x1000, true}}) {
        CBoardProcess board({"--flash", "spi", "--bootargs", "mtdparts=flash_sfc:1M(boot),64k(deviceinfo)",
                             "--getinfo-block", "Block: 4KB"});
        CTempDir files;
        std::string data(size_t(size), '\0');
        for (size_t i = 0; i < data.size(); ++i)
            data[i] = char('a' + i % 26);
        std::ofstream(files.File("unit.bin"), std::ios::binary) << data;
        CJobHarness h("ExtraInfo=" + std::to_string(offset) + ":<file " + files.File("unit.bin") + ">\r\n");
        h.Window().Put(IDC_SERIAL_PORT, board.PortPath());
        ASSERT_TRUE(h.Run());
        board.Stop();
        if (!ok) {
            ASSERT_EQ(h.Window().Dialogs().size(), 1u);
            EXPECT_EQ(h.Window().Dialogs()[0], "Error|Failed to burn!");
            EXPECT_EQ(board.Commands().back().rfind("sf write 0x81000000 0x100000 ", 0),
                      0u); // only the block
            continue;
        }
        EXPECT_EQ(h.Window().Dialogs().size(), 0u) << size;
        if (offset != 0) {
            const auto flash = board.Flash();
            EXPECT_TRUE(Bytes2(flash, 0x100000 + size_t(offset), data.size()) == data) << size;
            EXPECT_EQ(flash[0x100000 + size_t(offset) + data.size()], 0);
        }
    }
}

TEST_F(BurnJobTest, LayoutExitWhenNoDeviceinfoPartition) {
    CBoardProcess board({"--flash", "nand", "--bootargs", "mtdparts=nand0:1M(boot),-(rootfs)"});
    CJobHarness h;
    h.Window().Put(IDC_SERIAL_PORT, board.PortPath());
    ASSERT_TRUE(h.Run());
    board.Stop();
    ASSERT_EQ(h.Window().Dialogs().size(), 1u);
    EXPECT_EQ(h.Window().Dialogs()[0],
              "Error|Failed to get burn address! Please ensure that there is the 'DeviceInfo' part in the "
              "Bootargs, and try again.");
    EXPECT_TRUE(h.Window().Enabled(IDC_MAC));
    EXPECT_FALSE(h.Window().Enabled(IDC_ID_NUMBER));
    EXPECT_EQ(h.Window().TimerMs(), 0u);
}

TEST_F(BurnJobTest, PortExitDisablesNothing) {
    CJobHarness h;
    h.Window().Put(IDC_SERIAL_PORT, "/dev/telvanor-no-such-port");
    ASSERT_TRUE(h.Run());
    ASSERT_EQ(h.Window().Dialogs().size(), 1u);
    EXPECT_EQ(h.Window().Dialogs()[0], "Error|Failed to open /dev/telvanor-no-such-port! Please ensure the "
                                       "serial port to be unused.");
    EXPECT_EQ(h.Window().Log(), "\r\nFailed to open /dev/telvanor-no-such-port!\r\n"
                                "Reason given by the system: No such file or directory.");
    for (const std::string& call : h.Window().Calls()) {
        EXPECT_EQ(call.rfind("disable", 0), std::string::npos) << call;
        EXPECT_EQ(call.rfind("timer", 0), std::string::npos) << call;
    }
}

TEST_F(BurnJobTest, ChainOfThreeUnderIncreaseWithRecords) {
    CBoardProcess board({"--flash", "nand", "--bootargs", kNandArgs, "--swap-boards"});
    CJobHarness h;
    auto& w = h.Window();
    w.Put(IDC_SERIAL_PORT, board.PortPath());
    w.Put(IDC_MAC, "00:1A:2B:3C:4D:FF");
    w.Put(IDC_ID_STRING, "SN");
    h.SelectRule(IDC_RULE_INCREASE);
    w.Enable({IDC_ID_NUMBER, IDC_HEX_RULE}, true);
    w.Put(IDC_ID_NUMBER, "0099");
    w.SetChecked(IDC_SAVE_RECORDS, true);
    ASSERT_TRUE(h.Run(3));
    board.Stop();
    EXPECT_EQ(h.SuccessCount(), 3);
    EXPECT_EQ(w.Text(IDC_MAC), "00:1a:2b:3c:4e:02");
    EXPECT_EQ(w.Text(IDC_ID_NUMBER), "0102");

    std::ifstream f(h.Dir().File("BurntMacandIDList.txt"), std::ios::binary);
    const std::string records((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    std::vector<std::string> lines;
    for (size_t at = 0; (at = records.find("\r\n", at)) != std::string::npos; at += 2)
        lines.push_back(records.substr(at + 2, records.find("\r\n", at + 2) - at - 2));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].substr(19), "   00:1A:2B:3C:4D:FF   SN0099");
    EXPECT_EQ(lines[1].substr(19), "   00:1a:2b:3c:4e:00   SN0100");
    EXPECT_EQ(lines[2].substr(19), "   00:1a:2b:3c:4e:01   SN0101");
    EXPECT_NE(records.back(), '\n');
}

TEST_F(BurnJobTest, ReburnWithItemAtOneBlockKeepsItIntact) {
    // Twice on the same board (the flash persists): the item at o = B must read back exactly.
    CBoardProcess board({"--flash", "nand", "--bootargs", "mtdparts=nand0:1M(boot),1M(deviceinfo)"});
    CJobHarness h("ExtraInfo=0x20000\r\n");
    auto& w = h.Window();
    for (const char* value : {"FIRST-VALUE", "SECOND"}) {
        w.Put(IDC_SERIAL_PORT, board.PortPath());
        w.Put(IDC_EXTRA_STRING, value);
        ASSERT_TRUE(h.Run());
        ASSERT_EQ(w.Dialogs().size(), 0u);
    }
    board.Stop();
    const auto flash = board.Flash();
    // Exactly the item's bytes and its zero byte changed; the first value's tail and the bytes after it
    // keep theirs.
    EXPECT_EQ(Bytes2(flash, 0x100000 + 0x20000, 16), std::string("SECOND\0ALUE\0\xff\xff\xff\xff", 16));
}

TEST_F(BurnJobTest, StoppedJobSendsNothingMore) {
    CBoardProcess board({"--flash", "nand", "--bootargs", kNandArgs, "--delay-ms", "20"});
    CJobHarness h("CfgName=hwver:A1\r\n");
    auto& w = h.Window();
    w.Put(IDC_SERIAL_PORT, board.PortPath());
    w.Put(IDC_MAC, "00:1a:2b:3c:4d:5e");
    h.Runner().StartJob(&w);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (board.Commands().size() < 6 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_TRUE(h.Runner().StopRunningJob());
    const size_t calls = w.Calls().size();
    h.Runner().ClosePort();
    h.Runner().WaitIdle();
    const size_t commands = board.Commands().size();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(board.Commands().size(), commands);
    EXPECT_LE(commands, 7u); // at most the command that was under way
    // Nothing reached the window after the stop (a call may have been in flight at that moment).
    EXPECT_LE(w.Calls().size(), calls + 1);
    EXPECT_TRUE(w.Dialogs().empty());
    EXPECT_EQ(g_pBurnThread.load(), nullptr);
}

TEST_F(BurnJobTest, UnwritableRecordIsReportedAndTheChangeRuleStillRuns) {
    CBoardProcess board({"--flash", "nand", "--bootargs", kNandArgs});
    CJobHarness h;
    auto& w = h.Window();
    // A folder where the record file should be: it cannot be opened, now or after the retry.
    ASSERT_EQ(::mkdir(h.Dir().File("BurntMacandIDList.txt").c_str(), 0755), 0);
    w.Put(IDC_SERIAL_PORT, board.PortPath());
    w.Put(IDC_MAC, "00a1bbc344E5");
    w.Put(IDC_ID_STRING, "SN7");
    w.SetChecked(IDC_SAVE_RECORDS, true);
    h.SelectRule(IDC_RULE_INCREASE);
    ASSERT_TRUE(h.Run(1));
    board.Stop();
    ASSERT_EQ(w.Dialogs().size(), 1u);
    const std::string dialog = w.Dialogs()[0];
    EXPECT_EQ(
        dialog.rfind("Error|Failed to write the burn record to " + h.Dir().File("BurntMacandIDList.txt"), 0),
        0u)
        << dialog;
    // The record text is in the message, so it can be noted by hand.
    EXPECT_NE(dialog.find("   00:a1:bb:c3:44:E5   SN7"), std::string::npos) << dialog;
    // The board was burnt: the next MAC is offered, never the same one twice.
    EXPECT_EQ(w.Text(IDC_MAC), "00a1bbc344e6");
    EXPECT_NE(w.Log().find("Failed to write the burn record"), std::string::npos);
}
