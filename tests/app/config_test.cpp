#include "BurnConfig.h"
#include "ProfileReader.h"
#include "StrUtil.h"

#include <gtest/gtest.h>

#include "BoardProcess.h"

#include "TextTables.h"

#include <filesystem>
#include <fstream>

namespace {

BurnConfig LoadFrom(const std::string& ini, bool writeFile = true) {
    CTempDir dir;
    if (writeFile) {
        std::ofstream(dir.File("BurnConfig.ini"), std::ios::binary) << ini;
    }
    BurnConfig config;
    config.m_strModuleDir = dir.Path();
    LoadBurnConfig(config);
    return config;
}

// Text as a Windows editor saves it in "Unicode": UTF-16 after a byte-order mark.
std::string Utf16(const std::u16string& text, bool bigEndian) {
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char16_t c : text) {
        const char high = char(c >> 8), low = char(c & 0xFF);
        bytes += bigEndian ? high : low;
        bytes += bigEndian ? low : high;
    }
    return bytes;
}

} // namespace

TEST(BurnConfigTest, MissingFileKeepsEveryDefault) {
    const BurnConfig c = LoadFrom("", false);
    EXPECT_EQ(c.m_nIsCA, 0);
    EXPECT_EQ(c.m_nBoardType, 0);
    EXPECT_EQ(c.m_nMacBurnFlashType, 0);
    EXPECT_EQ(c.m_dwMacBurnAddress, 0u);
    EXPECT_EQ(c.m_nAppLanguage, 2);
    EXPECT_EQ(c.m_strExtraInfoText, "");
    EXPECT_EQ(c.m_strCfgNameText, "");
}

TEST(BurnConfigTest, ReadsEveryKey) {
    const BurnConfig c = LoadFrom("[BurnConfig]\r\nIsCA=1\r\nBoardType=4\r\nMacBurnFlashType=2\r\n"
                                  "MacBurnAddress=524288\r\nAppLanguage=1\r\nExtraInfo=0x100|0x200:ABC\r\n"
                                  "CfgName=sn|hw:V1.0\r\n");
    EXPECT_EQ(c.m_nIsCA, 1);
    EXPECT_EQ(c.m_nBoardType, 4);
    EXPECT_EQ(c.m_nMacBurnFlashType, 2);
    EXPECT_EQ(c.m_dwMacBurnAddress, 524288u);
    EXPECT_EQ(c.m_nAppLanguage, 1);
    EXPECT_EQ(c.m_strExtraInfoText, "0x100|0x200:ABC");
    EXPECT_EQ(c.m_strCfgNameText, "sn|hw:V1.0");
}

// Hand-edited files: each row is a file and what one key reads as.
struct IniCase {
    const char* name;
    std::string ini;
    const char* key;
    std::string expected; // integer keys compared as decimal text
};

// Test names in the output, not the bytes of the case.
inline void PrintTo(const IniCase& c, std::ostream* os) {
    *os << c.name;
}

class ProfileReaderTable : public ::testing::TestWithParam<IniCase> {};

TEST_P(ProfileReaderTable, ReadsAsWindowsDoes) {
    const IniCase& c = GetParam();
    const CProfileReader r = CProfileReader::FromBytes(c.ini);
    const std::string key = c.key;
    if (key == "ExtraInfo" || key == "CfgName")
        EXPECT_EQ(r.GetString("BurnConfig", key, "", 8192), c.expected);
    else
        EXPECT_EQ(std::to_string(r.GetInt("BurnConfig", key, key == "AppLanguage" ? 2 : 0)), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Files, ProfileReaderTable,
    ::testing::Values(
        IniCase{"NoSection", "IsCA=1\n", "IsCA", "0"},
        IniCase{"OtherSection", "[Other]\nIsCA=1\n[BurnConfig]\nBoardType=3\n", "IsCA", "0"},
        IniCase{"SectionCase", "[burnconfig]\nisca=1\n", "IsCA", "1"},
        IniCase{"KeyCase", "[BurnConfig]\nBOARDTYPE=3\n", "BoardType", "3"},
        IniCase{"BlanksAroundValue", "[BurnConfig]\n  BoardType  =   3   \n", "BoardType", "3"},
        IniCase{"LfOnly", "[BurnConfig]\nIsCA=1\nBoardType=2\n", "BoardType", "2"},
        IniCase{"CrLf", "[BurnConfig]\r\nBoardType=2\r\nIsCA=1\r\n", "BoardType", "2"},
        IniCase{"Bom", "\xEF\xBB\xBF[BurnConfig]\nBoardType=2\n", "BoardType", "2"},
        IniCase{"DuplicateKeyFirstWins", "[BurnConfig]\nBoardType=2\nBoardType=3\n", "BoardType", "2"},
        IniCase{"NegativeNumber", "[BurnConfig]\nMacBurnFlashType=-1\n", "MacBurnFlashType", "-1"},
        IniCase{"PlusSign", "[BurnConfig]\nBoardType=+3\n", "BoardType", "3"},
        IniCase{"TrailingText", "[BurnConfig]\nBoardType=3 boards\n", "BoardType", "3"},
        IniCase{"NotANumber", "[BurnConfig]\nBoardType=abc\n", "BoardType", "0"},
        IniCase{"HexNumber", "[BurnConfig]\nMacBurnAddress=0x80000\n", "MacBurnAddress", "524288"},
        IniCase{"EmptyValueKeepsDefault", "[BurnConfig]\nAppLanguage=\n", "AppLanguage", "2"},
        IniCase{"AppLanguage0", "[BurnConfig]\nAppLanguage=0\n", "AppLanguage", "0"},
        IniCase{"AppLanguage3", "[BurnConfig]\nAppLanguage=3\n", "AppLanguage", "3"},
        IniCase{"CommentLine", "[BurnConfig]\n;IsCA=1\n", "IsCA", "0"},
        IniCase{"BinaryGarbage", std::string("\x00\xff\x01[Burn\x00\nIsCA=1\n", 13), "IsCA", "0"},
        IniCase{"BackslashesKeptRaw", "[BurnConfig]\nExtraInfo=16:<file C:\\keys\\unit.bin>\n", "ExtraInfo",
                "16:<file C:\\keys\\unit.bin>"},
        IniCase{"QuotesAndCommasKeptRaw", "[BurnConfig]\nCfgName=a:\"x, y\";z\n", "CfgName", "a:\"x, y\";z"},
        IniCase{"ValueWithEquals", "[BurnConfig]\nCfgName=a:b=c\n", "CfgName", "a:b=c"},
        // One pair of enclosing quotes is dropped, as the Windows profile reader does.
        IniCase{"DoubleQuotedNumber", "[BurnConfig]\nAppLanguage=\"1\"\n", "AppLanguage", "1"},
        IniCase{"SingleQuotedHex", "[BurnConfig]\nMacBurnAddress='0x80000'\n", "MacBurnAddress", "524288"},
        IniCase{"DoubleQuotedName", "[BurnConfig]\nCfgName=\"sn\"\n", "CfgName", "sn"},
        IniCase{"SingleQuotedName", "[BurnConfig]\nCfgName='sn'\n", "CfgName", "sn"},
        IniCase{"OnlyOnePairDropped", "[BurnConfig]\nCfgName=\"\"sn\"\"\n", "CfgName", "\"sn\""},
        IniCase{"QuotedBlanksKept", "[BurnConfig]\nCfgName=\"  sn \"  \n", "CfgName", "  sn "},
        IniCase{"MismatchedQuotesKept", "[BurnConfig]\nCfgName=\"sn'\n", "CfgName", "\"sn'"},
        IniCase{"LoneQuoteKept", "[BurnConfig]\nCfgName=\"\n", "CfgName", "\""},
        IniCase{"EmptyQuotes", "[BurnConfig]\nCfgName=\"\"\n", "CfgName", ""},
        // UTF-16 with a byte-order mark, both byte orders (a Windows editor's "Unicode" save).
        IniCase{"Utf16Le", Utf16(u"[BurnConfig]\r\nIsCA=1", false), "IsCA", "1"},
        IniCase{"Utf16Be", Utf16(u"[BurnConfig]\nIsCA=3", true), "IsCA", "3"}),
    [](const ::testing::TestParamInfo<IniCase>& i) { return std::string(i.param.name); });

TEST(BurnConfigTest, Utf16FileKeepsFlashTypeAndItems) {
    const BurnConfig c = LoadFrom(Utf16(u"[BurnConfig]\r\nMacBurnFlashType=1\r\nExtraInfo=0x800:\u677f\r\n"
                                        u"CfgName=\"hwver:A1|sn\"\r\n",
                                        false));
    EXPECT_EQ(c.m_configFault, FileFault::None);
    EXPECT_EQ(c.m_nMacBurnFlashType, 1);
    EXPECT_EQ(c.m_strExtraInfoText, tv::Utf8ToLocal("0x800:\xE6\x9D\xBF"));
    EXPECT_EQ(c.m_strCfgNameText, "hwver:A1|sn");
}

TEST(BurnConfigTest, SomethingUnreadableAtThePathIsTold) {
    CTempDir dir;
    std::filesystem::create_directory(dir.File("BurnConfig.ini"));
    BurnConfig config;
    config.m_strModuleDir = dir.Path();
    LoadBurnConfig(config); // once aborted the program with a stream exception
    EXPECT_EQ(config.m_configFault, FileFault::NotRegular);
    EXPECT_EQ(config.m_nAppLanguage, 2);
    ChooseStartLanguage(2);
    EXPECT_EQ(ConfigProblemText(config),
              "The configuration file " + dir.File("BurnConfig.ini") +
                  " exists but cannot be read: it is not a regular file! Fix it and "
                  "start the program again.");
    EXPECT_EQ(ConfigProblemText(LoadFrom("", false)), "");
}

TEST(ProfileReaderTest, StringIsCutAfter8191Bytes) {
    const std::string value(8192, 'x');
    const CProfileReader r = CProfileReader::FromBytes("[BurnConfig]\nExtraInfo=" + value + "\n");
    EXPECT_EQ(r.GetString("BurnConfig", "ExtraInfo", "", 8192), std::string(8191, 'x'));
    const std::string exact(8191, 'y');
    const CProfileReader r2 = CProfileReader::FromBytes("[BurnConfig]\nExtraInfo=" + exact + "\n");
    EXPECT_EQ(r2.GetString("BurnConfig", "ExtraInfo", "", 8192), exact);
}

TEST(ProgramFolderTest, CutsAtTheLastSeparatorAndTrims) {
    EXPECT_EQ(ModuleDirFromProgramPath("/opt/telvanor/bin/telvanor"), "/opt/telvanor/bin");
    EXPECT_EQ(ModuleDirFromProgramPath("C:\\Tools\\Telvanor.exe"), "C:\\Tools");
    EXPECT_EQ(ModuleDirFromProgramPath("telvanor"), "");
    EXPECT_EQ(ModuleDirFromProgramPath(" /a b /x"), "/a b");
}
