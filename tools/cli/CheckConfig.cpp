#include "CheckConfig.h"

#include "BurnConfig.h"
#include "ControlIds.h"
#include "DeviceInfo.h"
#include "Entries.h"
#include "ExtraItems.h"
#include "ItemFileCheck.h"
#include "ItemRanges.h"
#include "OptionTable.h"
#include "ProfileReader.h"
#include "SafeFile.h"
#include "StrUtil.h"
#include "TextTables.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace {

const char kSection[] = "BurnConfig";

struct KeyInfo {
    const char* name;
    bool isInt;
    int def;
};

const KeyInfo kKeys[] = {
    {"IsCA", true, 0},           {"BoardType", true, 0},       {"MacBurnFlashType", true, 0},
    {"MacBurnAddress", true, 0}, {"AppLanguage", true, 2},     {"ExtraInfo", false, 0},
    {"CfgName", false, 0},       {"VerifyAfterWrite", true, 0}};

bool IsHexDigit(char c) {
    return std::isxdigit(static_cast<unsigned char>(c)) != 0;
}

// An integer key reads exactly what was written when the whole text is one number of the profile
// reader's syntax (sign, then "0x" and hex digits or decimal digits) within 32 bits.
bool IntReadsAsWritten(const std::string& text) {
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    const bool hex = text.size() > i + 1 && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X');
    if (hex)
        i += 2;
    if (i == text.size())
        return false;
    std::uint64_t value = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (hex ? !IsHexDigit(c) : !std::isdigit(static_cast<unsigned char>(c)))
            return false;
        value = value * (hex ? 16 : 10) +
                std::uint64_t(std::isdigit(static_cast<unsigned char>(c))
                                  ? c - '0'
                                  : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10);
        if (value > 0xFFFFFFFFull)
            return false;
    }
    return true;
}

// The offset text of an ExtraInfo token has digits as C reads them ("0x" alone has none).
bool OffsetHasDigits(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    if (text.size() > i + 1 && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X'))
        return text.size() > i + 2 && IsHexDigit(text[i + 2]);
    return i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]));
}

// Why a file item's file cannot be used; empty when it can. The same check as the job's before it
// sends anything (CheckItemFiles).
std::string FileProblem(const std::string& path) {
    if (path.empty())
        return "names no file";
    switch (CheckRegularFile(path, kMaxItemFileBytes)) {
    case FileFault::None:
        return std::string();
    case FileFault::Missing:
        return "does not exist";
    case FileFault::NotRegular:
        return "is not a regular file";
    case FileFault::Unreadable:
        return "cannot be read";
    case FileFault::TooLarge:
        return "is larger than " + std::to_string(kMaxItemFileBytes) + " bytes";
    }
    return std::string();
}

} // namespace

tagConfigReport CheckConfig(const std::string& dir) {
    tagConfigReport report;
    BurnConfig config;
    config.m_strModuleDir = dir;
    const std::string path = config.PathInModuleDir("BurnConfig.ini");
    FileFault fault = FileFault::None;
    const CProfileReader ini = CProfileReader::FromFile(path, &fault);
    LoadBurnConfig(config);
    ParseItemLists(config);
    auto warn = [&](const std::string& text) { report.aWarnings.push_back(text); };

    if (fault == FileFault::Missing)
        report.aLines.push_back(path + ": not found; every key has its default");
    else if (fault != FileFault::None)
        warn(ConfigProblemText(config));
    else if (!ini.HasSection(kSection))
        warn(path + " has no [BurnConfig] section: every key has its default");
    else
        report.aLines.push_back(path + ":");

    const auto keys = ini.Keys(kSection);
    auto written = [&](const char* name) -> const std::string* {
        for (const auto& [key, value] : keys)
            if (tv::EqualsNoCase(key, name))
                return &value;
        return nullptr;
    };
    for (const KeyInfo& k : kKeys) {
        const std::string* raw = written(k.name);
        const std::string value = k.isInt ? std::to_string(ini.GetInt(kSection, k.name, k.def))
                                          : "\"" + ini.GetString(kSection, k.name, "") + "\"";
        report.aLines.push_back(std::string(k.name) + " = " + value +
                                (raw ? " (from the file)" : " (default)"));
        if (!raw)
            continue;
        if (k.isInt && !IntReadsAsWritten(*raw))
            warn(std::string(k.name) + "=" + *raw + " is read as " +
                 std::to_string(ini.GetInt(kSection, k.name, k.def)));
        if (!k.isInt && raw->size() > 8191)
            warn(std::string(k.name) + " is " + std::to_string(raw->size()) +
                 " bytes long: only its first 8191 are read");
    }
    for (const auto& [key, value] : keys)
        if (std::none_of(std::begin(kKeys), std::end(kKeys),
                         [&](const KeyInfo& k) { return tv::EqualsNoCase(key, k.name); }))
            warn("unknown key " + key + "=" + value + " in [BurnConfig]: it is not read");

    // The offset items as parsed, and the tokens' own problems.
    for (std::size_t i = 0; i < config.m_aExtraInfo.size(); ++i) {
        const tagExtraInfo& item = config.m_aExtraInfo[i];
        report.aLines.push_back(
            "  offset item " + OffsetItemName(config, i) + ": " +
            (item.IsOperatorEntered() ? "entered by the operator" : "value \"" + item.strValue + "\""));
    }
    int entered = 0;
    for (const std::string& token : SplitTokens(config.m_strExtraInfoText)) {
        const std::size_t colon = token.find(':');
        if (colon == std::string::npos && ++entered > kMaxOffsetInputs)
            warn("ExtraInfo item \"" + token + "\" is ignored: at most " + std::to_string(kMaxOffsetInputs) +
                 " offset items are entered by the operator");
        else if (!OffsetHasDigits(token.substr(0, colon)))
            warn("ExtraInfo item \"" + token + "\" has no digits in its offset: it is read as offset 0");
    }
    for (const tagExtra& item : config.m_aExtra)
        report.aLines.push_back(
            "  key item " + item.strName + ": " +
            (item.IsOperatorEntered() ? "entered by the operator" : "value \"" + item.strValue + "\""));

    // Overlaps as the burn command refuses them, with an empty ID and empty entries: an operator-entered
    // offset item takes at least its zero byte.
    const tagBurnEntries none;
    std::vector<std::uint64_t> sizes;
    const std::vector<std::string> values = OffsetValues(config, none);
    for (std::size_t i = 0; i < values.size(); ++i)
        sizes.push_back(config.m_aExtraInfo[i].IsOperatorEntered() ? 1 : OffsetItemDataSize(values[i]));
    const std::string overlap = FindItemOverlap(
        config, DeviceInfoBlockLength("", KeyEntries(config, none), !config.m_aExtra.empty()), sizes);
    if (!overlap.empty())
        warn(overlap);

    std::error_code ec;
    const std::string cwd = std::filesystem::current_path(ec).string();
    for (std::size_t i = 0; i < config.m_aExtraInfo.size(); ++i) {
        const tagExtraInfo& item = config.m_aExtraInfo[i];
        if (item.IsOperatorEntered() || !IsFileReference(item.strValue))
            continue;
        const std::string file = FileReferencePath(item.strValue);
        const std::string problem = FileProblem(file);
        if (problem.empty())
            continue;
        std::string where;
        if (!file.empty() && std::filesystem::path(file).is_relative())
            where = " (looked up relative to the current folder " + cwd + ", where the tool runs)";
        warn("the file \"" + file + "\" of " + OffsetItemName(config, i) + " " + problem + where);
    }
    return report;
}

namespace {

const char kCheckConfigUsage[] =
    "Usage: telvanor-cli check-config [--dir DIR]\n"
    "Prints every key of BurnConfig.ini in the program folder DIR as the tool reads it, and a warning\n"
    "for each suspicious point. Exit status: 0 no warning, 1 warnings, 64 a usage error.\n";

} // namespace

int RunCheckConfig(int argc, char** argv, const std::string& defaultDir) {
    std::string dir = defaultDir;
    const std::vector<tagOption> table = {{"--dir", "DIR", [&dir](const std::string& value) {
                                               dir = value;
                                               return std::string();
                                           }}};
    const tagOptionsRead read = ReadOptions(table, ArgumentList(argc, argv), 2);
    if (read.result == OptionsRead::Help) {
        std::fputs(kCheckConfigUsage, stdout);
        return 0;
    }
    if (read.result == OptionsRead::UsageError)
        return UsageError("telvanor-cli check-config", read.error, kCheckConfigUsage);
    // Item names and overlap texts in the language the window would open in.
    BurnConfig config;
    config.m_strModuleDir = dir;
    LoadBurnConfig(config);
    ChooseStartLanguage(config.m_nAppLanguage);
    const tagConfigReport report = CheckConfig(dir);
    for (const std::string& line : report.aLines)
        std::printf("%s\n", line.c_str());
    for (const std::string& warning : report.aWarnings)
        std::printf("Warning: %s\n", warning.c_str());
    return report.aWarnings.empty() ? 0 : 1;
}
