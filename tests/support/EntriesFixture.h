// The window the entries' tests share.
#pragma once

#include "BurnConfig.h"
#include "ControlIds.h"
#include "ExtraItems.h"
#include "FakeWindow.h"

#include <gtest/gtest.h>

// Two operator-entered offset items around a fixed one, and two operator-entered key items around a
// fixed one, with their rows in the idle state (placeholders shown, number edits disabled).
class EntriesTest : public ::testing::Test {
protected:
    void SetUp() override {
        config.m_strExtraInfoText = "0x100|0x200:ABC|0x300";
        config.m_strCfgNameText = "sn|hw:V1.0|mac2";
        ParseItemLists(config);
        for (int k = 0; k < 2; ++k) {
            window.AddControl(IDC_EXTRA_STRING + k, "<String>");
            window.AddControl(IDC_EXTRA_NUMBER + k, "<Number>", false);
            window.AddControl(IDC_KEY_STRING + k, "<String>");
            window.AddControl(IDC_KEY_NUMBER + k, "<Number>", false);
        }
    }

    void ChooseRule(int rule) {
        for (int id : {IDC_RULE_CLEAR, IDC_RULE_INCREASE, IDC_RULE_DECREASE})
            window.SetChecked(id, id == rule);
        // A step rule lets the number parts be typed, as the rule buttons do.
        if (rule != IDC_RULE_CLEAR) {
            window.Enable({IDC_ID_NUMBER, IDC_HEX_RULE}, true);
            window.Enable(ItemNumberIds(config), true);
        }
    }

    BurnConfig config;
    CFakeWindow window;
};
