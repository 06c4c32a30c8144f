// Both item list parsers on arbitrary configuration text, then everything the window and the job
// build from the result. The input is the "ExtraInfo" text, a zero byte, the "CfgName" text.
#include "Entries.h"
#include "ExtraItems.h"
#include "TextTables.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

void Require(bool condition) {
    if (!condition)
        std::abort();
}

bool InRange(int id, int first, int count) {
    return id >= first && id < first + count;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t zero = input.find('\0');
    BurnConfig config;
    config.m_strExtraInfoText = input.substr(0, zero);
    config.m_strCfgNameText = zero == std::string::npos ? std::string() : input.substr(zero + 1);
    ParseItemLists(config);

    tagBurnEntries entries;
    int offsetInputs = 0;
    for (const tagExtraInfo& item : config.m_aExtraInfo) {
        Require(item.strValue.find('|') == std::string::npos);
        if (item.IsOperatorEntered()) {
            Require(item.nLabelID == 2049 + offsetInputs && item.nStringID == 2053 + offsetInputs &&
                    item.nPlusID == 2057 + offsetInputs && item.nNumberID == 2061 + offsetInputs);
            Require(item.strValue.empty());
            ++offsetInputs;
            entries.aOffsetParts.push_back({"S", std::to_string(offsetInputs)});
            (void)OffsetItemLabel(offsetInputs, item.dwOffset);
            (void)OffsetItemCheckLabel(offsetInputs);
        } else {
            Require(item.nStringID == -1 && item.nPlusID == -1 && item.nNumberID == -1);
        }
        if (IsFileReference(item.strValue))
            (void)FileReferencePath(item.strValue);
    }
    Require(offsetInputs == config.m_nExtraInfoInputs && offsetInputs <= 4);

    int keyInputs = 0;
    for (const tagExtra& item : config.m_aExtra) {
        Require(item.strName.find('|') == std::string::npos && item.strValue.find('|') == std::string::npos);
        if (item.IsOperatorEntered()) {
            Require(InRange(item.nLabelID, 3073, 3) && item.nStringID == 3076 + keyInputs &&
                    item.nNumberID == 3082 + keyInputs && item.nPlusID == 3079 + keyInputs);
            Require(item.strName.find(':') == std::string::npos && !item.strName.empty());
            ++keyInputs;
            entries.aKeyParts.push_back({"", ""});
            Require(KeyItemLabel(item) == item.strName + ":");
        } else {
            Require(item.nStringID == -1);
        }
    }
    Require(keyInputs <= 3);

    Require(ItemStringIds(config).size() == std::size_t(offsetInputs + keyInputs));
    Require(ItemNumberIds(config).size() == std::size_t(offsetInputs + keyInputs));

    const std::vector<std::string> pairs = KeyEntries(config, entries);
    Require(pairs.size() == config.m_aExtra.size());
    for (const std::string& pair : pairs)
        Require(pair.find('=') != std::string::npos);
    Require(OffsetValues(config, entries).size() == config.m_aExtraInfo.size());
    // A snapshot shorter than the lists (it cannot happen in a job) must still be safe.
    (void)KeyEntries(config, tagBurnEntries{});
    (void)OffsetValues(config, tagBurnEntries{});
    return 0;
}
