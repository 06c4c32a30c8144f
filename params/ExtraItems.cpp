#include "ExtraItems.h"

#include "ControlIds.h"
#include "StrUtil.h"
#include "TextTables.h"

std::vector<std::string> SplitTokens(const std::string& text) {
    std::vector<std::string> tokens;
    std::size_t begin = 0;
    while (begin <= text.size()) {
        std::size_t end = text.find('|', begin);
        if (end == std::string::npos)
            end = text.size();
        if (end > begin)
            tokens.push_back(text.substr(begin, end - begin));
        begin = end + 1;
    }
    return tokens;
}

void ParseOffsetItems(const std::string& text, BurnConfig& config) {
    config.m_aExtraInfo.clear();
    config.m_nExtraInfoInputs = 0;
    for (const std::string& token : SplitTokens(text)) {
        tagExtraInfo item;
        const std::size_t colon = token.find(':');
        if (colon != std::string::npos) {
            item.dwOffset = tv::ReadCUnsigned32(std::string_view(token).substr(0, colon));
            item.strValue = token.substr(colon + 1);
        } else {
            if (config.m_nExtraInfoInputs >= kMaxOffsetInputs)
                continue;
            const int k = config.m_nExtraInfoInputs;
            item.dwOffset = tv::ReadCUnsigned32(token);
            item.nLabelID = IDC_EXTRA_LABEL + k;
            item.nStringID = IDC_EXTRA_STRING + k;
            item.nPlusID = IDC_EXTRA_PLUS + k;
            item.nNumberID = IDC_EXTRA_NUMBER + k;
            ++config.m_nExtraInfoInputs;
        }
        config.m_aExtraInfo.push_back(item);
    }
}

void ParseKeyItems(const std::string& text, BurnConfig& config) {
    config.m_aExtra.clear();
    int inputs = 0;
    for (const std::string& token : SplitTokens(text)) {
        tagExtra item;
        const std::size_t colon = token.find(':');
        if (colon != std::string::npos) {
            item.strName = token.substr(0, colon);
            item.strValue = token.substr(colon + 1);
        } else {
            if (inputs >= kMaxKeyInputs)
                continue;
            item.strName = token;
            item.nLabelID = IDC_KEY_LABEL + inputs;
            item.nPlusID = IDC_KEY_PLUS + inputs;
            item.nStringID = IDC_KEY_STRING + inputs;
            item.nNumberID = IDC_KEY_NUMBER + inputs;
            ++inputs;
        }
        config.m_aExtra.push_back(item);
    }
}

void ParseItemLists(BurnConfig& config) {
    ParseOffsetItems(config.m_strExtraInfoText, config);
    ParseKeyItems(config.m_strCfgNameText, config);
}

std::string OffsetItemLabel(int r, std::uint32_t offset) {
    // Only the numbers go through a format: a '%' in a translated text must not be read as one.
    return Txt(strExtraId) + tv::Format("%d", r) + "\r\n(" + Txt(strOffset) + tv::Format("0x%x)", offset);
}

std::string OffsetItemCheckLabel(int k) {
    return Txt(strExtraId) + tv::Format("%d", k);
}

std::string OffsetItemName(const BurnConfig& config, std::size_t index) {
    int r = 0;
    for (std::size_t i = 0; i <= index && i < config.m_aExtraInfo.size(); ++i)
        if (config.m_aExtraInfo[i].IsOperatorEntered())
            ++r;
    const tagExtraInfo& item = config.m_aExtraInfo.at(index);
    if (!item.IsOperatorEntered())
        return Txt(strFixedItem) + " (" + Txt(strOffset) + tv::Format("0x%x)", item.dwOffset);
    std::string label = OffsetItemLabel(r, item.dwOffset);
    const std::size_t lineBreak = label.find("\r\n");
    if (lineBreak != std::string::npos)
        label.replace(lineBreak, 2, " ");
    return label;
}

std::string KeyItemLabel(const tagExtra& item) {
    return item.strName + ":";
}

bool IsFileReference(const std::string& value) {
    return tv::Contains(value, "<file");
}

std::string FileReferencePath(const std::string& value) {
    // "<file" and one separator in front, one closing character at the end.
    constexpr std::size_t kHead = 6;
    const std::string t = tv::Trim(value);
    if (t.size() <= kHead + 1)
        return std::string();
    return tv::Trim(std::string_view(t).substr(kHead, t.size() - kHead - 1));
}

std::vector<int> ItemStringIds(const BurnConfig& config) {
    std::vector<int> ids;
    for (const tagExtraInfo& item : config.m_aExtraInfo)
        if (item.IsOperatorEntered())
            ids.push_back(item.nStringID);
    for (const tagExtra& item : config.m_aExtra)
        if (item.IsOperatorEntered())
            ids.push_back(item.nStringID);
    return ids;
}

std::vector<int> ItemNumberIds(const BurnConfig& config) {
    std::vector<int> ids;
    for (const tagExtraInfo& item : config.m_aExtraInfo)
        if (item.IsOperatorEntered())
            ids.push_back(item.nNumberID);
    for (const tagExtra& item : config.m_aExtra)
        if (item.IsOperatorEntered())
            ids.push_back(item.nNumberID);
    return ids;
}
