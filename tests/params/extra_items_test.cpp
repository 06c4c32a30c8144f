#include "ExtraItems.h"

#include "StrUtil.h"
#include "TextTables.h"

#include <gtest/gtest.h>

namespace {

// An offset item as the tests spell it: control IDs, offset, value.
struct Offset {
    int label, string, plus, number;
    std::uint32_t offset;
    std::string value;
};

Offset Entered(int k, std::uint32_t offset) {
    return {2049 + k, 2053 + k, 2057 + k, 2061 + k, offset, ""};
}

Offset Fixed(std::uint32_t offset, const std::string& value) {
    return {-1, -1, -1, -1, offset, value};
}

std::vector<Offset> Flatten(const BurnConfig& config) {
    std::vector<Offset> r;
    for (const auto& i : config.m_aExtraInfo)
        r.push_back({i.nLabelID, i.nStringID, i.nPlusID, i.nNumberID, i.dwOffset, i.strValue});
    return r;
}

bool operator==(const Offset& a, const Offset& b) {
    return a.label == b.label && a.string == b.string && a.plus == b.plus && a.number == b.number &&
           a.offset == b.offset && a.value == b.value;
}

void PrintTo(const Offset& o, std::ostream* os) {
    *os << "{" << o.label << "," << o.string << "," << o.plus << "," << o.number << ", off " << o.offset
        << ", \"" << o.value << "\"}";
}

struct OffsetCase {
    const char* text;
    std::vector<Offset> items;
    int inputs;
};

TEST(ExtraItems, ParsesOffsetLists) {
    const OffsetCase cases[] = {
        {"0x100|0x200:ABC", {Entered(0, 256), Fixed(512, "ABC")}, 1},
        // A fifth operator-entered token is ignored; a fixed token after it is still taken.
        {"1|2|3|4|5|6:X", {Entered(0, 1), Entered(1, 2), Entered(2, 3), Entered(3, 4), Fixed(6, "X")}, 4},
        {"16|0x10|020", {Entered(0, 16), Entered(1, 16), Entered(2, 16)}, 3},
        // Runs of '|' separate like one; tokens keep their blanks; the value keeps further colons.
        {"||0x10|||20:a:b c |", {Entered(0, 16), Fixed(20, "a:b c ")}, 1},
        {" 0x30 :<file data.bin>", {Fixed(48, "<file data.bin>")}, 0},
        {"abc|:v|0x20:", {Entered(0, 0), Fixed(0, "v"), Fixed(32, "")}, 1},
        {"99999999999:x", {Fixed(4294967295u, "x")}, 0},
        {"", {}, 0},
        {"|||", {}, 0},
    };
    for (const auto& c : cases) {
        BurnConfig config;
        ParseOffsetItems(c.text, config);
        EXPECT_EQ(Flatten(config), c.items) << c.text;
        EXPECT_EQ(config.m_nExtraInfoInputs, c.inputs) << c.text;
    }
}

struct Key {
    int label, plus, string, number;
    std::string name, value;
    bool operator==(const Key&) const = default;
};

void PrintTo(const Key& k, std::ostream* os) {
    *os << "{" << k.label << "," << k.plus << "," << k.string << "," << k.number << ", \"" << k.name
        << "\", \"" << k.value << "\"}";
}

Key EnteredKey(int k, const std::string& name) {
    return {3073 + k, 3079 + k, 3076 + k, 3082 + k, name, ""};
}

Key FixedKey(const std::string& name, const std::string& value) {
    return {-1, -1, -1, -1, name, value};
}

struct KeyCase {
    const char* text;
    std::vector<Key> items;
};

TEST(ExtraItems, ParsesKeyLists) {
    const KeyCase cases[] = {
        {"sn|hw:V1.0", {EnteredKey(0, "sn"), FixedKey("hw", "V1.0")}},
        {"a|b|c|d|e:1", {EnteredKey(0, "a"), EnteredKey(1, "b"), EnteredKey(2, "c"), FixedKey("e", "1")}},
        {"|x:1:2|| y |", {FixedKey("x", "1:2"), EnteredKey(0, " y ")}},
        {":v|k:", {FixedKey("", "v"), FixedKey("k", "")}},
        {"", {}},
    };
    for (const auto& c : cases) {
        BurnConfig config;
        ParseKeyItems(c.text, config);
        std::vector<Key> got;
        for (const auto& i : config.m_aExtra)
            got.push_back({i.nLabelID, i.nPlusID, i.nStringID, i.nNumberID, i.strName, i.strValue});
        EXPECT_EQ(got, c.items) << c.text;
    }
}

TEST(ExtraItems, StartUpHandsBothConfiguredTextsToTheParsers) {
    BurnConfig config;
    config.m_strExtraInfoText = "0x100|0x200:ABC";
    config.m_strCfgNameText = "sn|hw:V1.0";
    ParseItemLists(config);
    ASSERT_EQ(config.m_aExtraInfo.size(), 2u);
    EXPECT_EQ(config.m_nExtraInfoInputs, 1);
    ASSERT_EQ(config.m_aExtra.size(), 2u);
    EXPECT_EQ(config.m_aExtra[1].strValue, "V1.0");
}

class LabelsTest : public ::testing::Test {
protected:
    void TearDown() override { ChooseStartLanguage(2); }
};

TEST_F(LabelsTest, FollowTheCurrentLanguageExceptKeyLabels) {
    tagExtra key;
    key.strName = "sn";

    ChooseStartLanguage(2);
    EXPECT_EQ(OffsetItemLabel(1, 0x100), "Extra ID1\r\n(Off. 0x100)");
    EXPECT_EQ(OffsetItemLabel(4, 0xABCDEF01u), "Extra ID4\r\n(Off. 0xabcdef01)");
    EXPECT_EQ(OffsetItemCheckLabel(2), "Extra ID2");
    EXPECT_EQ(KeyItemLabel(key), "sn:");

    g_pText.store(&g_TextChinese);
    EXPECT_EQ(OffsetItemLabel(1, 0x100), tv::Utf8ToLocal("额外ID1\r\n(偏移0x100)"));
    EXPECT_EQ(OffsetItemCheckLabel(2), tv::Utf8ToLocal("额外ID2"));
    EXPECT_EQ(KeyItemLabel(key), "sn:");
}

TEST(ExtraItems, ControlListsNameOnlyOperatorEnteredItemsOffsetsFirst) {
    BurnConfig config;
    ParseOffsetItems("1|2:x|3", config);
    ParseKeyItems("a|b:1|c", config);
    EXPECT_EQ(ItemStringIds(config), (std::vector<int>{2053, 2054, 3076, 3077}));
    EXPECT_EQ(ItemNumberIds(config), (std::vector<int>{2061, 2062, 3082, 3083}));
    EXPECT_TRUE(ItemStringIds(BurnConfig{}).empty());
}

struct FileCase {
    const char* value;
    bool reference;
    const char* path;
};

TEST(ExtraItems, FileReferences) {
    const FileCase cases[] = {
        {"<file C:\\keys\\unit.bin>", true, "C:\\keys\\unit.bin"},
        {"<file:C:\\keys\\unit.bin>", true, "C:\\keys\\unit.bin"},
        {"  <file   keys/unit.bin >\t", true, "keys/unit.bin"},
        {"<file keys/unit.bin", true, "keys/unit.bi"}, // the last character goes whatever it is
        {"x<file", true, ""},                          // too short to name a path
        {"<file>", true, ""},
        {"<filex>", true, ""},
        {"<File keys/unit.bin>", false, nullptr}, // case-sensitive
        {"ABC", false, nullptr},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsFileReference(c.value), c.reference) << c.value;
        if (c.path) {
            EXPECT_EQ(FileReferencePath(c.value), c.path) << c.value;
        }
    }
}

} // namespace
