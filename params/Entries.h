// The job's snapshot of the entries, and what the change rule and the rule buttons do to the window.
#pragma once

#include "BurnConfig.h"
#include "MacValue.h"

#include <string>
#include <vector>

class IBurnWindow;

struct tagItemParts {
    std::string strString;
    std::string strNumber;
};

struct tagBurnEntries {
    std::string strPort;
    std::string strMacTyped;
    std::string strMac;
    std::string strIdString;
    std::string strIdNumber;
    std::string strId;
    std::vector<tagItemParts> aOffsetParts; // operator-entered offset items, configuration order
    std::vector<tagItemParts> aKeyParts;    // operator-entered key items
};

// ReadBurnEntries: read once at the job's start, before the port is touched.
tagBurnEntries ReadBurnEntries(IBurnWindow& window, const BurnConfig& config);

// True when the ID or an item's string or number part holds a control character (below 0x20, or
// 0x7f): the burn command refuses such entries.
bool HasControlCharacter(const tagBurnEntries& entries);

// The value of every key item as NAME=VALUE (name upper-cased, trimmed), configuration order.
std::vector<std::string> KeyEntries(const BurnConfig& config, const tagBurnEntries& entries);
// The value of every offset item, configuration order (empty: nothing to write).
std::vector<std::string> OffsetValues(const BurnConfig& config, const tagBurnEntries& entries);

// The rule checked in the window now: Increase, else Decrease, else Remove (also when none is checked).
ChangeRule CheckedRule(IBurnWindow& window);
// 1 with IDC_SINGLE_NET checked, otherwise 2.
unsigned CheckedStep(IBurnWindow& window);

void ClearEntries(IBurnWindow& window, const BurnConfig& config);
void AdvanceEntries(IBurnWindow& window, const BurnConfig& config, const tagBurnEntries& entries);

// The entries the window holds for the next board, for a face without one (printed at the end of a
// command-line run): a heading, then "  MAC: ...", "  ID: [string] [number]" and one such line per
// operator-entered item, the parts exactly as the window would show them.
std::string NextBoardEntriesText(IBurnWindow& window, const BurnConfig& config);

// Rule buttons and focus handlers, run on the window's thread.
void OnRuleStep(IBurnWindow& window, const BurnConfig& config);
void OnRuleRemove(IBurnWindow& window, const BurnConfig& config);
void OnSetFocusIdString(IBurnWindow& window);
void OnSetFocusIdNumber(IBurnWindow& window);
void OnSetFocusItemString(IBurnWindow& window, int controlId);
void OnSetFocusItemNumber(IBurnWindow& window, int controlId);
void EnableItemStrings(IBurnWindow& window, const BurnConfig& config, bool enable);
void EnableItemNumbers(IBurnWindow& window, const BurnConfig& config, bool enable);
