#include "EntriesWindow.h"

#include "EntriesFixture.h"

#include <gtest/gtest.h>

namespace {

TEST_F(EntriesTest, ReadBurnEntriesReadsInOrderTrimsAndDropsPlaceholders) {
    ChooseRule(IDC_RULE_INCREASE);
    window.Put(IDC_SERIAL_PORT, " /dev/ttyUSB0 ");
    window.Put(IDC_MAC, " 00a1bbc344E5\t");
    window.Put(IDC_ID_STRING, " <STRING> ");
    window.Put(IDC_ID_NUMBER, " 0001 ");
    window.Put(IDC_EXTRA_STRING, " AB ");
    window.Put(IDC_EXTRA_NUMBER, "07");
    window.Put(IDC_EXTRA_STRING + 1, "<string>");
    window.Put(IDC_EXTRA_NUMBER + 1, "<nUmBeR>");
    window.Put(IDC_KEY_STRING, "SN-");
    window.Put(IDC_KEY_NUMBER, " 0099");
    window.Put(IDC_KEY_STRING + 1, "x y");
    window.Put(IDC_KEY_NUMBER + 1, "5");
    window.Enable({IDC_KEY_NUMBER + 1}, false); // a disabled number edit holds no number part
    const size_t before = window.Calls().size();

    const tagBurnEntries e = ReadBurnEntries(window, config);

    EXPECT_EQ(e.strPort, " /dev/ttyUSB0 ");
    EXPECT_EQ(e.strMacTyped, "00a1bbc344E5");
    EXPECT_EQ(e.strMac, "00:a1:bb:c3:44:E5");
    EXPECT_EQ(e.strIdString, "");
    EXPECT_EQ(e.strIdNumber, "0001");
    EXPECT_EQ(e.strId, "0001");
    ASSERT_EQ(e.aOffsetParts.size(), 2u);
    EXPECT_EQ(e.aOffsetParts[0].strString, "AB");
    EXPECT_EQ(e.aOffsetParts[0].strNumber, "07");
    EXPECT_EQ(e.aOffsetParts[1].strString, "");
    EXPECT_EQ(e.aOffsetParts[1].strNumber, "");
    ASSERT_EQ(e.aKeyParts.size(), 2u);
    EXPECT_EQ(e.aKeyParts[0].strString, "SN-");
    EXPECT_EQ(e.aKeyParts[0].strNumber, "0099");
    EXPECT_EQ(e.aKeyParts[1].strString, "x y");
    EXPECT_EQ(e.aKeyParts[1].strNumber, "");

    const auto calls = window.Calls();
    const std::vector<std::string> reads(calls.begin() + long(before), calls.end());
    EXPECT_EQ(reads, (std::vector<std::string>{"get 1001", "get 1003", "get 1005", "get 1013", "get 2053",
                                               "get 2061", "get 2054", "get 2062", "get 3076", "get 3082",
                                               "get 3077", "get 3083"}));
}

TEST_F(EntriesTest, ReadBurnEntriesJoinsTheIdPartsAndKeepsAColonForm) {
    window.Put(IDC_MAC, "00:A1:bb:c3:44:e5");
    window.Put(IDC_ID_STRING, " SN ");
    window.Put(IDC_ID_NUMBER, "<Number>");
    const tagBurnEntries e = ReadBurnEntries(window, config);
    EXPECT_EQ(e.strMacTyped, "00:A1:bb:c3:44:e5");
    EXPECT_EQ(e.strMac, "00:A1:bb:c3:44:e5");
    EXPECT_EQ(e.strId, "SN");
}

TEST_F(EntriesTest, RuleAndStepFollowTheButtons) {
    EXPECT_EQ(CheckedRule(window), ChangeRule::Remove);
    EXPECT_EQ(CheckedStep(window), 1u);
    ChooseRule(IDC_RULE_DECREASE);
    window.SetChecked(IDC_SINGLE_NET, false);
    window.SetChecked(IDC_DOUBLE_NET, true);
    EXPECT_EQ(CheckedRule(window), ChangeRule::Decrease);
    EXPECT_EQ(CheckedStep(window), 2u);
    ChooseRule(IDC_RULE_INCREASE);
    EXPECT_EQ(CheckedRule(window), ChangeRule::Increase);
}

TEST_F(EntriesTest, ClearEntriesEmptiesKeyRowsBeforeOffsetRowsAndFocusesTheMac) {
    window.Put(IDC_MAC, "00a1bbc344e5");
    window.Put(IDC_ID_STRING, "SN");
    window.Put(IDC_EXTRA_STRING, "AB");
    ClearEntries(window, config);
    EXPECT_EQ(window.Calls(),
              (std::vector<std::string>{"set 1003 ", "set 1013 ", "set 1005 ", "set 3076 ", "set 3082 ",
                                        "set 3077 ", "set 3083 ", "set 2053 ", "set 2061 ", "set 2054 ",
                                        "set 2062 ", "focus 1003"}));
    EXPECT_EQ(window.Text(IDC_MAC), "");
    EXPECT_EQ(window.Text(IDC_EXTRA_STRING), "");
    EXPECT_EQ(window.FocusedControl(), IDC_MAC);
}

TEST_F(EntriesTest, AdvanceEntriesWritesMacIdOffsetThenKeyNumbers) {
    ChooseRule(IDC_RULE_INCREASE);
    window.SetChecked(IDC_HEX_RULE, true);
    tagBurnEntries e;
    e.strMacTyped = "00A1BBC344FF";
    e.strMac = "00:A1:BB:C3:44:FF";
    e.strIdString = "SN";
    e.strIdNumber = "0F";
    e.aOffsetParts = {{"A", "09"}, {"B", ""}};
    e.aKeyParts = {{"", "FF"}, {"", "1"}};
    const size_t before = window.Calls().size();

    AdvanceEntries(window, config, e);

    const auto calls = window.Calls();
    EXPECT_EQ(std::vector<std::string>(calls.begin() + long(before), calls.end()),
              (std::vector<std::string>{"set 1003 00a1bbc34500", "set 1005 10", "set 2061 0a", "set 2062 ",
                                        "set 3082 00", "set 3083 2"}));
    EXPECT_EQ(window.Text(IDC_ID_STRING), ""); // the string part is never touched
}

TEST_F(EntriesTest, AdvanceEntriesDecreasesByTwoForTwoNetworkPorts) {
    ChooseRule(IDC_RULE_DECREASE);
    window.SetChecked(IDC_SINGLE_NET, false);
    window.SetChecked(IDC_DOUBLE_NET, true);
    window.Put(IDC_MAC, "00:00:00:00:00:00");
    window.Put(IDC_ID_NUMBER, "01");
    window.Put(IDC_EXTRA_NUMBER, "0100");
    AdvanceEntries(window, config, ReadBurnEntries(window, config));
    EXPECT_EQ(window.Text(IDC_MAC), "ff:ff:ff:ff:ff:ff");
    EXPECT_EQ(window.Text(IDC_ID_NUMBER), "99");
    EXPECT_EQ(window.Text(IDC_EXTRA_NUMBER), "0098");
    EXPECT_EQ(window.Text(IDC_EXTRA_NUMBER + 1), ""); // the placeholder was no number part
}

} // namespace
