#include "EntryHandlers.h"

#include "ControlIds.h"
#include "ExtraItems.h"
#include "IdValue.h"
#include "TextTables.h"
#include "WindowInterface.h"

void OnRuleStep(IBurnWindow& window, const BurnConfig& config) {
    window.Enable({IDC_ID_NUMBER, IDC_HEX_RULE}, true);
    EnableItemNumbers(window, config, true);
}

void OnRuleRemove(IBurnWindow& window, const BurnConfig& config) {
    window.Enable({IDC_ID_NUMBER, IDC_HEX_RULE}, false);
    window.SetText(IDC_ID_NUMBER, std::string());
    for (const tagExtraInfo& item : config.m_aExtraInfo)
        if (item.IsOperatorEntered())
            window.SetText(item.nNumberID, std::string());
    for (const tagExtra& item : config.m_aExtra)
        if (item.IsOperatorEntered())
            window.SetText(item.nNumberID, std::string());
    EnableItemNumbers(window, config, false);
}

void OnSetFocusIdString(IBurnWindow& window) {
    if (IsPlaceholder(window.GetText(IDC_ID_STRING), kStringPlaceholder))
        window.SetText(IDC_ID_STRING, std::string());
}

void OnSetFocusIdNumber(IBurnWindow& window) {
    if (IsPlaceholder(window.GetText(IDC_ID_NUMBER), kNumberPlaceholder))
        window.SetText(IDC_ID_NUMBER, std::string());
}

// The item rows compare exactly: a placeholder in other letter case stays on focus (it still
// counts as empty when the job reads it).
void OnSetFocusItemString(IBurnWindow& window, int controlId) {
    if (window.GetText(controlId) == kStringPlaceholder)
        window.SetText(controlId, std::string());
}

void OnSetFocusItemNumber(IBurnWindow& window, int controlId) {
    if (window.GetText(controlId) == kNumberPlaceholder)
        window.SetText(controlId, std::string());
}

void EnableItemStrings(IBurnWindow& window, const BurnConfig& config, bool enable) {
    window.Enable(ItemStringIds(config), enable);
}

void EnableItemNumbers(IBurnWindow& window, const BurnConfig& config, bool enable) {
    window.Enable(ItemNumberIds(config), enable);
}

std::string NextBoardEntriesText(IBurnWindow& window, const BurnConfig& config) {
    std::string text = Txt(strNextEntries) + "\n";
    auto line = [&](const std::string& label, int stringId, int numberId) {
        text += "  " + label + ": [" + window.GetText(stringId) + "] [" + window.GetText(numberId) + "]\n";
    };
    text += "  MAC: " + window.GetText(IDC_MAC) + "\n";
    line("ID", IDC_ID_STRING, IDC_ID_NUMBER);
    int k = 0;
    for (const tagExtraInfo& item : config.m_aExtraInfo)
        if (item.IsOperatorEntered())
            line(OffsetItemCheckLabel(++k), item.nStringID, item.nNumberID);
    for (const tagExtra& item : config.m_aExtra)
        if (item.IsOperatorEntered())
            line(item.strName, item.nStringID, item.nNumberID);
    return text;
}
