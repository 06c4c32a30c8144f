// The two configured item lists: offset items ("ExtraInfo") and key items ("CfgName").
#pragma once

#include "BurnConfig.h"

#include <cstdint>
#include <string>
#include <vector>

// Tokens between '|' characters; a run of '|' separates like one, and tokens keep their blanks.
std::vector<std::string> SplitTokens(const std::string& text);
// Fill config.m_aExtraInfo / m_nExtraInfoInputs and config.m_aExtra from the list texts.
void ParseOffsetItems(const std::string& text, BurnConfig& config);
void ParseKeyItems(const std::string& text, BurnConfig& config);
// Start-up's hand-over: both lists from the texts read out of "BurnConfig.ini".
void ParseItemLists(BurnConfig& config);

// Row label of the r-th operator-entered offset item (r from 1), in the current language:
// "Extra ID" r "\r\n(" "Off. " "0x%x)".
std::string OffsetItemLabel(int r, std::uint32_t offset);
// Validation label of the k-th operator-entered offset item (k from 1): "Extra ID" k.
std::string OffsetItemCheckLabel(int k);
// The operator's name of the i-th offset item of config.m_aExtraInfo in messages: its row label on one
// line ("Extra ID1 (Off. 0x100)"), or "Fixed item (Off. 0x200)" for an item without a row.
std::string OffsetItemName(const BurnConfig& config, std::size_t index);
// Row label of an operator-entered key item: the name as configured, then ":" (no translation).
std::string KeyItemLabel(const tagExtra& item);

// An offset item's value names a file when it contains "<file" anywhere (case-sensitive); the path
// is the trimmed value without its first 6 and its last character, trimmed again (empty when the
// value is too short to hold one).
bool IsFileReference(const std::string& value);
std::string FileReferencePath(const std::string& value);

// Control ID lists for EnableItemStrings / EnableItemNumbers (controls that exist for the items).
std::vector<int> ItemStringIds(const BurnConfig& config);
std::vector<int> ItemNumberIds(const BurnConfig& config);
