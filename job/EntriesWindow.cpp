#include "EntriesWindow.h"

#include "ControlIds.h"
#include "ExtraItems.h"
#include "IdValue.h"
#include "StrUtil.h"
#include "WindowInterface.h"

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
