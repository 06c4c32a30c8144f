#include "EntryHandlers.h"

#include "EntriesFixture.h"
#include "EntriesWindow.h"

#include <gtest/gtest.h>

namespace {

TEST_F(EntriesTest, RuleButtonsSwitchTheNumberPartsOffAndOn) {
    ChooseRule(IDC_RULE_INCREASE);
    window.Put(IDC_ID_NUMBER, "0001");
    window.Put(IDC_EXTRA_NUMBER, "7");
    window.Put(IDC_KEY_NUMBER + 1, "8");
    size_t before = window.Calls().size();

    OnRuleRemove(window, config);
    auto calls = window.Calls();
    EXPECT_EQ(std::vector<std::string>(calls.begin() + long(before), calls.end()),
              (std::vector<std::string>{"disable 1005", "disable 1014", "set 1005 ", "set 2061 ", "set 2062 ",
                                        "set 3082 ", "set 3083 ", "disable 2061", "disable 2062",
                                        "disable 3082", "disable 3083"}));
    EXPECT_EQ(window.Text(IDC_EXTRA_NUMBER), "");
    EXPECT_EQ(window.Text(IDC_KEY_NUMBER + 1), "");

    before = window.Calls().size();
    OnRuleStep(window, config);
    calls = window.Calls();
    EXPECT_EQ(std::vector<std::string>(calls.begin() + long(before), calls.end()),
              (std::vector<std::string>{"enable 1005", "enable 1014", "enable 2061", "enable 2062",
                                        "enable 3082", "enable 3083"}));
    for (int id :
         {int(IDC_ID_NUMBER), IDC_EXTRA_NUMBER, IDC_EXTRA_NUMBER + 1, IDC_KEY_NUMBER, IDC_KEY_NUMBER + 1}) {
        EXPECT_TRUE(window.Enabled(id)) << id;
        EXPECT_EQ(window.Text(id), "") << id;
    }
}

TEST_F(EntriesTest, EnableItemStringsSkipsRowsThatDoNotExist) {
    CFakeWindow bare; // no item rows created
    bare.AddControl(IDC_KEY_STRING + 1);
    EnableItemStrings(bare, config, false);
    EXPECT_EQ(bare.Calls(), std::vector<std::string>{"disable 3077"});
}

struct FocusCase {
    const char* shown;
    bool emptied;
};

TEST_F(EntriesTest, FocusOnIdEditsDropsThePlaceholderTrimmedInAnyCase) {
    const FocusCase stringCases[] = {
        {"<String>", true}, {" <sTRING>\t", true}, {"<String> x", false}, {" SN ", false}};
    for (const auto& c : stringCases) {
        window.Put(IDC_ID_STRING, c.shown);
        OnSetFocusIdString(window);
        EXPECT_EQ(window.Text(IDC_ID_STRING), c.emptied ? "" : c.shown) << c.shown;
    }
    const FocusCase numberCases[] = {
        {" <NUMBER> ", true}, {"<number>", true}, {" 0001 ", false}, {"<String>", false}};
    for (const auto& c : numberCases) {
        window.Put(IDC_ID_NUMBER, c.shown);
        OnSetFocusIdNumber(window);
        EXPECT_EQ(window.Text(IDC_ID_NUMBER), c.emptied ? "" : c.shown) << c.shown;
    }
}

TEST_F(EntriesTest, FocusOnItemEditsDropsOnlyTheExactPlaceholder) {
    const FocusCase stringCases[] = {{"<String>", true}, {"<string>", false}, {" <String>", false}};
    for (const auto& c : stringCases) {
        window.Put(IDC_KEY_STRING, c.shown);
        OnSetFocusItemString(window, IDC_KEY_STRING);
        EXPECT_EQ(window.Text(IDC_KEY_STRING), c.emptied ? "" : c.shown) << c.shown;
    }
    const FocusCase numberCases[] = {{"<Number>", true}, {"<NUMBER>", false}, {"<Number> ", false}};
    for (const auto& c : numberCases) {
        window.Put(IDC_EXTRA_NUMBER, c.shown);
        OnSetFocusItemNumber(window, IDC_EXTRA_NUMBER);
        EXPECT_EQ(window.Text(IDC_EXTRA_NUMBER), c.emptied ? "" : c.shown) << c.shown;
    }
    // The placeholder in other case is kept on focus but is still no value for the job.
    window.Put(IDC_KEY_STRING, "<string>");
    EXPECT_EQ(ReadBurnEntries(window, config).aKeyParts[0].strString, "");
}

} // namespace
