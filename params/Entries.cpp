#include "Entries.h"

#include "ExtraItems.h"
#include "StrUtil.h"

#include <algorithm>
#include <cstdint>

namespace {

// The value of the n-th operator-entered item; a snapshot shorter than the list gives empty parts.
std::string EnteredValue(const std::vector<tagItemParts>& parts, std::size_t n) {
    return n < parts.size() ? parts[n].strString + parts[n].strNumber : std::string();
}

} // namespace

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
