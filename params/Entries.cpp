#include "Entries.h"

#include "ControlIds.h"
#include "ExtraItems.h"
#include "IdValue.h"
#include "StrUtil.h"
#include "TextTables.h"
#include "WindowInterface.h"

#include <algorithm>
#include <cstdint>

namespace {

// An operator-entered item's parts as the job sees them; a disabled number edit (rule Remove)
// holds no number part whatever it shows.
tagItemParts ReadItemParts(IBurnWindow& window, int stringId, int numberId) {
    tagItemParts parts;
    parts.strString = PartWithoutPlaceholder(window.GetText(stringId), kStringPlaceholder);
    parts.strNumber = PartWithoutPlaceholder(window.GetText(numberId), kNumberPlaceholder);
    if (!window.IsEnabled(numberId))
        parts.strNumber.clear();
    return parts;
}

// The value of the n-th operator-entered item; a snapshot shorter than the list gives empty parts.
std::string EnteredValue(const std::vector<tagItemParts>& parts, std::size_t n) {
    return n < parts.size() ? parts[n].strString + parts[n].strNumber : std::string();
}

const std::string& EnteredNumber(const std::vector<tagItemParts>& parts, std::size_t n) {
    static const std::string empty;
    return n < parts.size() ? parts[n].strNumber : empty;
}

int CheckedBase(IBurnWindow& window) {
    return window.IsChecked(IDC_HEX_RULE) ? 16 : 10;
}

} // namespace

tagBurnEntries ReadBurnEntries(IBurnWindow& window, const BurnConfig& config) {
    tagBurnEntries e;
    e.strPort = window.GetText(IDC_SERIAL_PORT);
    e.strMacTyped = tv::Trim(window.GetText(IDC_MAC));
    e.strIdNumber = PartWithoutPlaceholder(window.GetText(IDC_ID_NUMBER), kNumberPlaceholder);
    e.strIdString = PartWithoutPlaceholder(window.GetText(IDC_ID_STRING), kStringPlaceholder);
    e.strMac = MacBurnForm(e.strMacTyped);
    for (const tagExtraInfo& item : config.m_aExtraInfo)
        if (item.IsOperatorEntered())
            e.aOffsetParts.push_back(ReadItemParts(window, item.nStringID, item.nNumberID));
    for (const tagExtra& item : config.m_aExtra)
        if (item.IsOperatorEntered())
            e.aKeyParts.push_back(ReadItemParts(window, item.nStringID, item.nNumberID));
    e.strId = e.strIdString + e.strIdNumber;
    return e;
}

bool HasControlCharacter(const tagBurnEntries& entries) {
    auto has = [](const std::string& text) {
        return std::any_of(text.begin(), text.end(),
                           [](char c) { return std::uint8_t(c) < 0x20 || std::uint8_t(c) == 0x7f; });
    };
    if (has(entries.strIdString) || has(entries.strIdNumber))
        return true;
    for (const auto* list : {&entries.aOffsetParts, &entries.aKeyParts})
        for (const tagItemParts& parts : *list)
            if (has(parts.strString) || has(parts.strNumber))
                return true;
    return false;
}

std::vector<std::string> KeyEntries(const BurnConfig& config, const tagBurnEntries& entries) {
    std::vector<std::string> pairs;
    std::size_t n = 0;
    for (const tagExtra& item : config.m_aExtra) {
        const std::string value =
            item.IsOperatorEntered() ? EnteredValue(entries.aKeyParts, n++) : item.strValue;
        pairs.push_back(tv::Trim(tv::ToUpperAscii(item.strName) + "=" + value));
    }
    return pairs;
}

std::vector<std::string> OffsetValues(const BurnConfig& config, const tagBurnEntries& entries) {
    std::vector<std::string> values;
    std::size_t n = 0;
    for (const tagExtraInfo& item : config.m_aExtraInfo)
        values.push_back(item.IsOperatorEntered() ? EnteredValue(entries.aOffsetParts, n++) : item.strValue);
    return values;
}

ChangeRule CheckedRule(IBurnWindow& window) {
    if (window.IsChecked(IDC_RULE_INCREASE))
        return ChangeRule::Increase;
    if (window.IsChecked(IDC_RULE_DECREASE))
        return ChangeRule::Decrease;
    return ChangeRule::Remove;
}

unsigned CheckedStep(IBurnWindow& window) {
    // Two network ports use two consecutive addresses; only the first is burnt.
    return window.IsChecked(IDC_SINGLE_NET) ? 1u : 2u;
}

void ClearEntries(IBurnWindow& window, const BurnConfig& config) {
    window.SetText(IDC_MAC, std::string());
    window.SetText(IDC_ID_STRING, std::string());
    window.SetText(IDC_ID_NUMBER, std::string());
    for (const tagExtra& item : config.m_aExtra) {
        if (!item.IsOperatorEntered())
            continue;
        window.SetText(item.nStringID, std::string());
        window.SetText(item.nNumberID, std::string());
    }
    for (const tagExtraInfo& item : config.m_aExtraInfo) {
        if (!item.IsOperatorEntered())
            continue;
        window.SetText(item.nStringID, std::string());
        window.SetText(item.nNumberID, std::string());
    }
    window.SetFocus(IDC_MAC);
}

void AdvanceEntries(IBurnWindow& window, const BurnConfig& config, const tagBurnEntries& entries) {
    const ChangeRule rule = CheckedRule(window);
    const unsigned step = CheckedStep(window);
    const int base = CheckedBase(window);
    window.SetText(IDC_MAC, AdvanceMac(entries.strMacTyped, entries.strMac, rule, step));
    window.SetText(IDC_ID_NUMBER, AdvanceNumberPart(entries.strIdNumber, base, rule, step));
    std::size_t n = 0;
    for (const tagExtraInfo& item : config.m_aExtraInfo)
        if (item.IsOperatorEntered())
            window.SetText(item.nNumberID,
                           AdvanceNumberPart(EnteredNumber(entries.aOffsetParts, n++), base, rule, step));
    n = 0;
    for (const tagExtra& item : config.m_aExtra)
        if (item.IsOperatorEntered())
            window.SetText(item.nNumberID,
                           AdvanceNumberPart(EnteredNumber(entries.aKeyParts, n++), base, rule, step));
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
