#include "StrUtil.h"

#include <gtest/gtest.h>

TEST(StrUtilTest, TrimTakesEveryBlankKind) {
    EXPECT_EQ(tv::Trim(" \t\r\n a b \v\f"), "a b");
    EXPECT_EQ(tv::Trim("   "), "");
}

// The C conventions of the item offsets: one reader for the whole tool.
TEST(StrUtilTest, CUnsigned32) {
    const std::pair<const char*, std::uint32_t> cases[] = {
        {"16", 16},
        {"0x10", 16},
        {"020", 16},
        {"  0X1f|", 31},
        {"08", 0},
        {"0x", 0},
        {"", 0},
        {"abc", 0},
        {"+7", 7},
        {"-1", 4294967295u},
        {"- 7", 0},
        {"4294967295", 4294967295u},
        {"4294967296", 4294967295u},
        {"0x100000000", 4294967295u},
        {"99999999999999999999999", 4294967295u},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(tv::ReadCUnsigned32(text), expected) << text;
}

TEST(StrUtilTest, LeadingDecimal) {
    const std::pair<const char*, std::uint32_t> cases[] = {
        {"512 Mode", 512}, {" 2KB", 2}, {"x", 0}, {"-1", 4294967295u}, {"0x100000", 0}, {"1M@2M", 1},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(tv::ReadLeadingDecimal(text), expected) << text;
}
