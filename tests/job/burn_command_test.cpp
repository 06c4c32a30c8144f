// The burn command's check of an ID number part: which message a refusal shows, and where.
#include "BurnCommand.h"

#include "FakeWindow.h"
#include "StrUtil.h"
#include "TextTables.h"

#include <gtest/gtest.h>

namespace {

struct MessageCase {
    const char* text;
    bool hex;
    TextId entry;
};

class CheckIdNumberTest : public ::testing::Test {
protected:
    void SetUp() override { ChooseStartLanguage(2); }
    void TearDown() override { ChooseStartLanguage(2); }
    CFakeWindow window;
};

TEST_F(CheckIdNumberTest, RefusalShowsOneLabelledMessageInTheCurrentLanguage) {
    const MessageCase cases[] = {
        {"123456789012345678901", false, strIdDecimalTooLong},
        {"12a", false, strIdDecimalInvalid},
        {"FFFFFFFFFFFFFFFFF", true, strIdHexTooLong},
        {"0x1F", true, strIdHexInvalid},
    };
    const std::pair<int, const char*> languages[] = {
        {2, "Error|[Default ID] "},
        {1, "错误提示|[默认ID] "},
    };
    for (const auto& [language, prefix] : languages) {
        ChooseStartLanguage(language);
        for (const auto& c : cases) {
            CFakeWindow w;
            EXPECT_FALSE(CheckIdNumber(w, c.text, Txt(strDefaultId), c.hex)) << c.text;
            ASSERT_EQ(w.Dialogs().size(), 1u) << c.text;
            EXPECT_EQ(w.Dialogs()[0], tv::Utf8ToLocal(prefix) + Txt(c.entry)) << c.text;
            EXPECT_TRUE(w.SystemBoxes().empty());
        }
    }
    ChooseStartLanguage(2);
    CheckIdNumber(window, "12a", "Default ID", false);
    EXPECT_EQ(window.Dialogs().back(), "Error|[Default ID] is invalid: Invalid ID(Invalid decimal value)!");
}

TEST_F(CheckIdNumberTest, OutOfRangeGoesToTheSystemBoxInEnglishWhateverTheLanguage) {
    for (int language : {1, 2}) {
        ChooseStartLanguage(language);
        CFakeWindow w;
        EXPECT_FALSE(CheckIdNumber(w, "18446744073709551616", "Extra ID1", false));
        EXPECT_FALSE(CheckIdNumber(w, " 1844674407370955161a ", "Extra ID1", false));
        EXPECT_EQ(w.SystemBoxes(), std::vector<std::string>(2, "Error|The ID num is Out of range"));
        EXPECT_TRUE(w.Dialogs().empty());
    }
}

TEST_F(CheckIdNumberTest, AcceptedPartsShowNothing) {
    EXPECT_TRUE(CheckIdNumber(window, "18446744073709551615", "Default ID", false));
    EXPECT_TRUE(CheckIdNumber(window, "FFFFFFFFFFFFFFFF", "Default ID", true));
    EXPECT_TRUE(CheckIdNumber(window, "<number>", "Default ID", false));
    EXPECT_TRUE(CheckIdNumber(window, "", "Default ID", true));
    EXPECT_TRUE(window.Dialogs().empty());
    EXPECT_TRUE(window.SystemBoxes().empty());
}

} // namespace
