#include "IdValue.h"

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
