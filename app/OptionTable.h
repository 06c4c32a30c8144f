// The one way the programs read their command lines: each program declares its options once in a
// table, every option that takes a value takes it as "--name value" or "--name=value", and anything
// the table does not know is a usage error (exit status 64, with the program's usage text).
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

inline constexpr int kExitUsage = 64;

struct tagOption {
    const char* name;      // "--port"
    const char* valueName; // "NAME" for an option that takes a value; nullptr for a switch
    // Takes the value (empty for a switch); returns why it is refused, empty when it is taken.
    std::function<std::string(const std::string& value)> take;
};

// Rows for the plain cases: a switch that sets target, a value kept as given (the last one given
// wins), every value of an option that may be repeated.
tagOption SwitchOption(const char* name, bool& target);
tagOption TextOption(const char* name, const char* valueName, std::string& target);
tagOption TextOption(const char* name, const char* valueName, std::optional<std::string>& target);
tagOption ListOption(const char* name, const char* valueName, std::vector<std::string>& target);

enum class OptionsRead { Ok, Help, UsageError };

struct tagOptionsRead {
    OptionsRead result = OptionsRead::Ok;
    std::string error; // the usage error's message
};

// Reads args[first..] against the table. "--help" or "-h" anywhere gives Help at once. An argument
// that does not start with "-" goes to positional (none: a usage error); "--" ends the options, and
// everything after it is positional. A value is taken as given, even when it starts with "-".
tagOptionsRead ReadOptions(const std::vector<tagOption>& table, const std::vector<std::string>& args,
                           std::size_t first,
                           const std::function<std::string(const std::string&)>& positional = {});
std::vector<std::string> ArgumentList(int argc, const char* const* argv);

// Prints "program: error", an empty line and the usage text on standard error; returns kExitUsage.
int UsageError(const char* program, const std::string& error, const char* usage);

// Whole decimal numbers for option values: the text must be all digits (an optional leading '-')
// and lie in [low, high].
bool ReadWholeNumber(const std::string& text, long long low, long long high, long long& out);
