#include "IdValue.h"

#include "FakeWindow.h"
#include "StrUtil.h"
#include "TextTables.h"

#include <gtest/gtest.h>

namespace {

struct ClassifyCase {
    const char* text;
    bool hex;
    IdCheck expected;
};

TEST(IdValue, ClassifiesNumberPartsInBothBases) {
    const ClassifyCase cases[] = {
        // No number part at all.
        {"", false, IdCheck::Ok},
        {"  ", true, IdCheck::Ok},
        {"<Number>", false, IdCheck::Ok},
        {" <nUMBER>\t", true, IdCheck::Ok},
        // Decimal.
        {" 0099 ", false, IdCheck::Ok},
        {"18446744073709551615", false, IdCheck::Ok},
        {"00000000000000000000", false, IdCheck::Ok},
        {"18446744073709551616", false, IdCheck::OutOfRange},
        {"99999999999999999999", false, IdCheck::OutOfRange},
        // The bound is compared as text before the digits are looked at.
        {"1844674407370955161a", false, IdCheck::OutOfRange},
        {"a0000000000000000000", false, IdCheck::OutOfRange},
        {"0000000000000000000a", false, IdCheck::DecimalInvalid},
        {"123456789012345678901", false, IdCheck::DecimalTooLong},
        {"000000000000000000000", false, IdCheck::DecimalTooLong},
        {"12a", false, IdCheck::DecimalInvalid},
        {"0x1F", false, IdCheck::DecimalInvalid},
        {"-1", false, IdCheck::DecimalInvalid},
        {"1 2", false, IdCheck::DecimalInvalid},
        {"<Number", false, IdCheck::DecimalInvalid},
        // Hexadecimal.
        {"FFFFFFFFFFFFFFFF", true, IdCheck::Ok},
        {"0aBc", true, IdCheck::Ok},
        {"FFFFFFFFFFFFFFFFF", true, IdCheck::HexTooLong},
        {"18446744073709551616", true, IdCheck::HexTooLong},
        {"0x1F", true, IdCheck::HexInvalid},
        {"g", true, IdCheck::HexInvalid},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ClassifyIdNumber(c.text, c.hex), c.expected) << '"' << c.text << "\" hex " << c.hex;
}

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

TEST(IdValue, PlaceholdersCountAsEmptyInAnyCaseAndTrimmed) {
    EXPECT_EQ(PartWithoutPlaceholder(" <STRING> ", kStringPlaceholder), "");
    EXPECT_EQ(PartWithoutPlaceholder("<number>", kNumberPlaceholder), "");
    EXPECT_EQ(PartWithoutPlaceholder("<Number>", kStringPlaceholder), "<Number>");
    EXPECT_EQ(PartWithoutPlaceholder("  SN 01\t", kStringPlaceholder), "SN 01");
    EXPECT_EQ(PartWithoutPlaceholder("<String>x", kStringPlaceholder), "<String>x");
}

struct AdvanceCase {
    const char* number;
    int base;
    ChangeRule rule;
    unsigned step;
    const char* next;
};

TEST(IdValue, AdvanceKeepsTheWidthAndStaysAcceptable) {
    const auto inc = ChangeRule::Increase;
    const auto dec = ChangeRule::Decrease;
    const AdvanceCase cases[] = {
        {"0099", 10, inc, 1, "0100"},
        {"99", 10, inc, 1, "00"},
        {"9", 10, inc, 2, "1"},
        {"0A", 16, inc, 1, "0b"},
        {"FF", 16, inc, 1, "00"},
        {"0100", 10, dec, 1, "0099"},
        {"5", 10, dec, 2, "3"},
        {"1", 10, dec, 1, "0"},
        // A decimal part below the step wraps within its width.
        {"00", 10, dec, 1, "99"},
        {"01", 10, dec, 2, "99"},
        {"0", 10, dec, 2, "8"},
        {"0000", 10, dec, 2, "9998"},
        {"00000000000000000000", 10, dec, 1, "18446744073709551615"},
        {"00000000000000000001", 10, dec, 2, "18446744073709551615"},
        {"18446744073709551615", 10, inc, 1, "00000000000000000000"},
        {"18446744073709551614", 10, inc, 2, "00000000000000000000"},
        // Hexadecimal parts wrap in 64 bits and keep their last digits.
        {"0000", 16, dec, 1, "ffff"},
        {"0", 16, dec, 2, "e"},
        {"FFFFFFFFFFFFFFFF", 16, inc, 2, "0000000000000001"},
        {"0000000000000000", 16, dec, 1, "ffffffffffffffff"},
        // No number part is never created.
        {"", 10, inc, 1, ""},
        {"", 16, dec, 2, ""},
    };
    for (const auto& c : cases) {
        const std::string next = AdvanceNumberPart(c.number, c.base, c.rule, c.step);
        EXPECT_EQ(next, c.next) << c.number << " base " << c.base << " step " << c.step;
        EXPECT_EQ(next.size(), std::string(c.number).size()) << c.number;
        EXPECT_EQ(ClassifyIdNumber(next, c.base == 16), IdCheck::Ok) << next;
    }
}

} // namespace
