#include "MacValue.h"

#include <gtest/gtest.h>

#include <cctype>

namespace {

struct ValidityCase {
    const char* text;
    bool valid;
};

TEST(MacValue, AcceptsTheTwoFormsAndEmptyRefusesEverythingElse) {
    const ValidityCase cases[] = {
        {"", true},
        {" \t\r\n", true},
        {"00a1bbc344E5", true},
        {"  00:a1:bb:c3:44:E5 \t", true},
        {"000000000000", true},
        {"FFFFFFFFFFFF", true},
        {"01:00:5E:00:00:01", true}, // multicast is not refused for its meaning
        {"00-a1-bb-c3-44-e5", false},
        {"00a1bbc344e", false},        // 11 characters
        {"00a1bbc344e5f", false},      // 13
        {"0x00a1bbc344", false},       // 12 characters with a prefix
        {"00a1bbc344g5", false},       // not a hex digit
        {"00 a1bbc344e", false},       // blank inside
        {"00:a1:bb:c3:44:e", false},   // 16
        {"00:a1:bb:c3:44:eg", false},  // not a hex digit in colon form
        {"00:a1:bb:c3:4:4e5", false},  // colon at the wrong place
        {"00:a1:bb:c3:44::5", false},  // colon in a digit position
        {"00a1bb:c3:44:e5", false},    // 15, mixed
        {"00:a1:bb:c3:44:e5:", false}, // 18
        {"\xff\xff:a1:bb:c3:44:e5", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsValidMac(c.text), c.valid) << '"' << c.text << '"';
}

TEST(MacValue, GroupAddressesHaveTheFirstOctetsLowBitSet) {
    const ValidityCase cases[] = {
        {"01:00:5E:00:00:01", true}, // IPv4 multicast
        {"33:33:00:00:00:01", true}, // IPv6 multicast
        {"ffffffffffff", true},      // broadcast
        {" FF:FF:FF:FF:FF:FF ", true}, {"0f0000000000", true},
        {"00:a1:bb:c3:44:e5", false},  {"02:00:00:00:00:01", false}, // locally administered, still one device
        {"fe:ff:ff:ff:ff:ff", false},  {"", false},
        {"01-00-5e-00-00-01", false}, // not a MAC at all: the validity check speaks first
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsGroupMac(c.text), c.valid) << '"' << c.text << '"';
}

TEST(MacValue, BurnFormInsertsColonsKeepingTheCase) {
    EXPECT_EQ(MacBurnForm("00a1bbc344E5"), "00:a1:bb:c3:44:E5");
    EXPECT_EQ(MacBurnForm("00:a1:bb:c3:44:E5"), "00:a1:bb:c3:44:E5");
    EXPECT_EQ(MacBurnForm(""), "");
}

struct AdvanceCase {
    const char* typed;
    ChangeRule rule;
    unsigned step;
    const char* next;
};

TEST(MacValue, AdvanceKeepsTheTypedShapeWrapsAndHonoursTheBoundaries) {
    const auto inc = ChangeRule::Increase;
    const auto dec = ChangeRule::Decrease;
    const AdvanceCase cases[] = {
        {"00:a1:bb:c3:44:ff", inc, 1, "00:a1:bb:c3:45:00"},
        {"00A1BBC344E5", inc, 1, "00a1bbc344e6"}, // lower case from the first advance
        {"00:A1:BB:C3:44:E5", inc, 1, "00:a1:bb:c3:44:e6"},
        {"00:00:00:00:00:fe", inc, 2, "00:00:00:00:01:00"},
        {"fffffffffffe", inc, 1, "ffffffffffff"},
        // The upper end, any step and any case: back to the first address.
        {"FF:FF:FF:FF:FF:FF", inc, 1, "00:00:00:00:00:00"},
        {"FF:FF:FF:FF:FF:FF", inc, 2, "00:00:00:00:00:00"},
        {"fF:Ff:ff:FF:ff:fF", inc, 2, "00:00:00:00:00:00"},
        {"ffffffffffff", inc, 2, "000000000000"},
        {"fffffffffffe", inc, 2, "000000000000"}, // by the wrap
        {"ffffffffffff", dec, 1, "fffffffffffe"},
        // The lower end.
        {"000000000000", dec, 2, "ffffffffffff"},
        {"00:00:00:00:00:00", dec, 2, "ff:ff:ff:ff:ff:ff"},
        {"00:00:00:00:00:00", dec, 1, "ff:ff:ff:ff:ff:ff"},
        {"000000000001", dec, 2, "ffffffffffff"}, // by the wrap
        {"000000000003", dec, 2, "000000000001"},
        {"000000000000", inc, 1, "000000000001"},
        // No MAC stays no MAC.
        {"", inc, 1, ""},
        {"", dec, 2, ""},
    };
    for (const auto& c : cases) {
        const std::string next = AdvanceMac(c.typed, MacBurnForm(c.typed), c.rule, c.step);
        EXPECT_EQ(next, c.next) << c.typed << " step " << c.step;
        // What the rule writes must pass the burn command's check on the next board.
        EXPECT_TRUE(IsValidMac(next)) << next;
        EXPECT_EQ(next.size(), std::string(c.typed).size()) << c.typed;
        for (char ch : next)
            EXPECT_FALSE(std::isupper(static_cast<unsigned char>(ch))) << next;
    }
}

} // namespace
