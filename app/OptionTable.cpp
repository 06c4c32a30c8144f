#include "OptionTable.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace {

const tagOption* Find(const std::vector<tagOption>& table, const std::string& name) {
    for (const tagOption& option : table)
        if (name == option.name)
            return &option;
    return nullptr;
}

} // namespace

tagOption SwitchOption(const char* name, bool& target) {
    return {name, nullptr, [&target](const std::string&) {
                target = true;
                return std::string();
            }};
}

tagOption TextOption(const char* name, const char* valueName, std::string& target) {
    return {name, valueName, [&target](const std::string& value) {
                target = value;
                return std::string();
            }};
}

tagOption TextOption(const char* name, const char* valueName, std::optional<std::string>& target) {
    return {name, valueName, [&target](const std::string& value) {
                target = value;
                return std::string();
            }};
}

tagOption ListOption(const char* name, const char* valueName, std::vector<std::string>& target) {
    return {name, valueName, [&target](const std::string& value) {
                target.push_back(value);
                return std::string();
            }};
}

tagOptionsRead ReadOptions(const std::vector<tagOption>& table, const std::vector<std::string>& args,
                           std::size_t first,
                           const std::function<std::string(const std::string&)>& positional) {
    auto usage = [](std::string error) { return tagOptionsRead{OptionsRead::UsageError, std::move(error)}; };
    auto takePositional = [&](const std::string& arg) -> std::string {
        if (!positional)
            return "unexpected argument '" + arg + "'";
        return positional(arg);
    };
    bool optionsEnded = false;
    for (std::size_t i = first; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            const std::string error = takePositional(arg);
            if (!error.empty())
                return usage(error);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "--help" || arg == "-h")
            return {OptionsRead::Help, std::string()};
        const std::size_t eq = arg.rfind("--", 0) == 0 ? arg.find('=') : std::string::npos;
        const std::string name = arg.substr(0, eq);
        const tagOption* option = Find(table, name);
        if (!option)
            return usage("unknown option '" + name + "'");
        std::string value;
        if (!option->valueName) {
            if (eq != std::string::npos)
                return usage(name + " takes no value");
        } else if (eq != std::string::npos) {
            value = arg.substr(eq + 1);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            return usage(name + " needs a value (" + option->valueName + ")");
        }
        const std::string error = option->take(value);
        if (!error.empty())
            return usage(error);
    }
    return {};
}

std::vector<std::string> ArgumentList(int argc, const char* const* argv) {
    std::vector<std::string> args;
    for (int i = 0; i < argc; ++i)
        args.emplace_back(argv[i]);
    return args;
}

int UsageError(const char* program, const std::string& error, const char* usage) {
    std::fprintf(stderr, "%s: %s\n\n%s", program, error.c_str(), usage);
    return kExitUsage;
}

bool ReadWholeNumber(const std::string& text, long long low, long long high, long long& out) {
    const std::size_t digits = text.size() - (!text.empty() && text[0] == '-');
    if (digits == 0 || text.find_first_not_of("0123456789", text.size() - digits) != std::string::npos)
        return false;
    errno = 0;
    const long long value = std::strtoll(text.c_str(), nullptr, 10);
    if (errno != 0 || value < low || value > high)
        return false;
    out = value;
    return true;
}
