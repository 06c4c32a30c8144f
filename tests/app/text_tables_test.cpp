#include "TextTables.h"

#include <gtest/gtest.h>

TEST(TextTablesTest, BothTablesHaveEveryEntry) {
    for (int i = 0; i < kTextCount; ++i) {
        EXPECT_FALSE(g_TextEnglish[i].empty()) << "English entry " << i;
        EXPECT_FALSE(g_TextChinese[i].empty()) << "Chinese entry " << i;
    }
}

TEST(TextTablesTest, EntriesKeepTheirExactBlanks) {
    EXPECT_EQ(g_TextEnglish[strSysClose], "Close(C)               Alt+F4");
    EXPECT_EQ(g_TextChinese[strSysClose], "关闭(C)               Alt+F4");
    EXPECT_EQ(g_TextEnglish[strOffset], "Off. ");
    EXPECT_EQ(g_TextChinese[strOffset], "偏移");
    EXPECT_EQ(g_TextEnglish[strBurnButton], g_TextEnglish[strOkButton]);
}

// Format entries must take the same arguments in both languages.
TEST(TextTablesTest, PlaceholdersMatchAcrossLanguages) {
    auto placeholders = [](const std::string& s) {
        std::string p;
        for (size_t i = 0; i + 1 < s.size(); ++i)
            if (s[i] == '%') {
                p += s[i + 1];
                ++i;
            }
        return p;
    };
    for (int i = 0; i < kTextCount; ++i)
        EXPECT_EQ(placeholders(g_TextEnglish[i]), placeholders(g_TextChinese[i])) << "entry " << i;
}

TEST(TextTablesTest, StartLanguageIsChineseOnlyForOne) {
    for (int lang : {0, 2, 3, -1, 100}) {
        ChooseStartLanguage(lang);
        EXPECT_EQ(g_pText.load(), &g_TextEnglish) << lang;
    }
    ChooseStartLanguage(1);
    EXPECT_EQ(Txt(strBurnSuccess), "烧写成功!");
    ChooseStartLanguage(2);
    EXPECT_EQ(Txt(strBurnSuccess), "Burn successfully!");
}
