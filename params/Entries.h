// The job's snapshot of the entries and the item values it gives: pure logic, no window.
#pragma once

#include "BurnConfig.h"
#include "MacValue.h"

#include <string>
#include <vector>

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

// True when the ID or an item's string or number part holds a control character (below 0x20, or
// 0x7f): the burn command refuses such entries.
bool HasControlCharacter(const tagBurnEntries& entries);

// The value of every key item as NAME=VALUE (name upper-cased, trimmed), configuration order.
std::vector<std::string> KeyEntries(const BurnConfig& config, const tagBurnEntries& entries);
// The value of every offset item, configuration order (empty: nothing to write).
std::vector<std::string> OffsetValues(const BurnConfig& config, const tagBurnEntries& entries);
