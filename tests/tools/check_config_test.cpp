// telvanor-cli check-config on odd configuration files, and the same warnings before a burn.
#include "BoardProcess.h"
#include "CliProcess.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

TEST(CheckConfig, WarnsAboutWhatReadsOtherwiseThanWritten) {
    struct Case {
        const char* name;
        const char* file;               // nullptr: no BurnConfig.ini at all
        std::vector<std::string> lines; // each found in the output
        int exit;
    };
    const std::vector<Case> cases = {
        {"no file",
         nullptr,
         {"BurnConfig.ini: not found; every key has its default", "IsCA = 0 (default)"},
         0},
        {"clean",
         "[BurnConfig]\r\nIsCA=1\r\nMacBurnAddress=0x80000\r\nExtraInfo=0x100|0x200:AB\r\nCfgName=hw:A1\r\n",
         {"IsCA = 1 (from the file)", "MacBurnAddress = 524288 (from the file)", "AppLanguage = 2 (default)",
          "ExtraInfo = \"0x100|0x200:AB\" (from the file)", "VerifyAfterWrite = 0 (default)",
          "  offset item Extra ID1 (Off. 0x100): entered by the operator",
          "  offset item Fixed item (Off. 0x200): value \"AB\"", "  key item hw: value \"A1\""},
         0},
        {"word for a number", "[BurnConfig]\r\nIsCA=yes\r\n", {"Warning: IsCA=yes is read as 0"}, 1},
        {"number past 32 bits",
         "[BurnConfig]\r\nMacBurnAddress=0x100000000\r\n",
         {"Warning: MacBurnAddress=0x100000000 is read as 0"},
         1},
        {"trailing text",
         "[BurnConfig]\r\nBoardType=4 # type four\r\n",
         {"Warning: BoardType=4 # type four is read as 4"},
         1},
        {"unknown key",
         "[BurnConfig]\r\nBoardTyp=2\r\n",
         {"Warning: unknown key BoardTyp=2 in [BurnConfig]"},
         1},
        {"no section", "[Burn]\r\nIsCA=1\r\n", {"has no [BurnConfig] section"}, 1},
        {"offset without digits",
         "[BurnConfig]\r\nExtraInfo=0x:CAL\r\n",
         {"Warning: ExtraInfo item \"0x:CAL\" has no digits in its offset: it is read as offset 0",
          "Warning: Fixed item (Off. 0x0), bytes 0x0 to 0x3, overlaps the device info block"},
         1},
        {"items overlap",
         "[BurnConfig]\r\nExtraInfo=0x100:ABCD|0x102\r\n",
         {"Warning: Fixed item (Off. 0x100), bytes 0x100 to 0x104, overlaps Extra ID1 (Off. 0x102), bytes "
          "0x102 to "
          "0x102!"},
         1},
        {"fifth entered item",
         "[BurnConfig]\r\nExtraInfo=0x100|0x200|0x300|0x400|0x500\r\n",
         {"Warning: ExtraInfo item \"0x500\" is ignored"},
         1},
        {"missing file",
         "[BurnConfig]\r\nExtraInfo=0x200:<file:keys/missing.bin>\r\n",
         {"Warning: the file \"keys/missing.bin\" of Fixed item (Off. 0x200) does not exist (looked up "
          "relative to "
          "the current folder "},
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CTempDir dir;
        if (c.file)
            std::ofstream(dir.File("BurnConfig.ini"), std::ios::binary) << c.file;
        const CliResult r = RunCliCommand(dir, {"check-config", "--dir", dir.Path()});
        EXPECT_EQ(r.exit, c.exit) << r.out << r.err;
        for (const std::string& line : c.lines)
            EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
        EXPECT_EQ(r.out.find("Warning:") != std::string::npos, c.exit == 1) << r.out;
    }
}

TEST(CheckConfig, BurnPrintsTheWarningsFirstAndKeepsItsExitStatus) {
    CTempDir dir;
    std::ofstream(dir.File("BurnConfig.ini"), std::ios::binary)
        << "[BurnConfig]\r\nIsCA=no\r\nColour=red\r\n";
    CBoardProcess board({"--bootargs", "mtdparts=nand0:1M(boot),1M(deviceinfo),-(rootfs)"});
    const CliResult r = RunCli(dir, {"--port", board.PortPath()});
    EXPECT_EQ(r.exit, 0);
    EXPECT_EQ(
        r.err,
        "Warning: IsCA=no is read as 0\nWarning: unknown key Colour=red in [BurnConfig]: it is not read\n");
    EXPECT_NE(r.out.find("Burn successfully!"), std::string::npos);
    EXPECT_EQ(RunCliCommand(dir, {"check-config", "--bogus"}).exit, 64);
}

} // namespace
