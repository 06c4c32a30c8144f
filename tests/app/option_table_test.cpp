// The option table that all three programs read their command lines with.
#include "OptionTable.h"

#include <gtest/gtest.h>

namespace {

// A table of one switch, one plain value, one checked value and one repeated value; what each
// command line leaves behind is written out as one text.
struct Taken {
    bool verbose = false;
    std::string port, positional;
    long long boards = 0;
    std::vector<std::string> items;

    std::string Text() const {
        std::string text = std::string(verbose ? "v" : "-") + " port=" + port +
                           " boards=" + std::to_string(boards) + " items=";
        for (const std::string& item : items)
            text += item + ";";
        return text + " pos=" + positional;
    }
};

std::vector<tagOption> Table(Taken& t) {
    return {
        {"--verbose", nullptr,
         [&t](const std::string&) {
             t.verbose = true;
             return std::string();
         }},
        {"--port", "NAME",
         [&t](const std::string& v) {
             t.port = v;
             return std::string();
         }},
        {"--boards", "N",
         [&t](const std::string& v) {
             return ReadWholeNumber(v, 1, 1000, t.boards) ? std::string() : "--boards takes 1 to 1000";
         }},
        {"--item", "TEXT",
         [&t](const std::string& v) {
             t.items.push_back(v);
             return std::string();
         }},
    };
}

struct Case {
    std::vector<std::string> args; // after the program name
    OptionsRead result;
    std::string expected; // what was taken, or the usage error's message
};

} // namespace

TEST(OptionTableTest, ReadsBothValueFormsAndRefusesWhatItDoesNotKnow) {
    const Case cases[] = {
        {{}, OptionsRead::Ok, "- port= boards=0 items= pos="},
        {{"--port", "ttyUSB0", "--verbose"}, OptionsRead::Ok, "v port=ttyUSB0 boards=0 items= pos="},
        {{"--port=ttyUSB0", "--boards=12"}, OptionsRead::Ok, "- port=ttyUSB0 boards=12 items= pos="},
        // The value is taken as given: an equals sign after the first belongs to it, a leading dash too.
        {{"--item=K=a=b", "--item", "-x", "--item="},
         OptionsRead::Ok,
         "- port= boards=0 items=K=a=b;-x;; pos="},
        {{"--port", "a", "--port", "b"}, OptionsRead::Ok, "- port=b boards=0 items= pos="},
        {{"--bogus"}, OptionsRead::UsageError, "unknown option '--bogus'"},
        {{"--bogus=1"}, OptionsRead::UsageError, "unknown option '--bogus'"},
        {{"-p"}, OptionsRead::UsageError, "unknown option '-p'"},
        {{"--port"}, OptionsRead::UsageError, "--port needs a value (NAME)"},
        {{"--verbose=yes"}, OptionsRead::UsageError, "--verbose takes no value"},
        {{"--boards", "0"}, OptionsRead::UsageError, "--boards takes 1 to 1000"},
        {{"--boards=12x"}, OptionsRead::UsageError, "--boards takes 1 to 1000"},
        {{"--boards", " 5"}, OptionsRead::UsageError, "--boards takes 1 to 1000"},
        {{"stray"}, OptionsRead::UsageError, "unexpected argument 'stray'"},
        {{"--port", "x", "--help", "--bogus"}, OptionsRead::Help, ""},
        {{"-h"}, OptionsRead::Help, ""},
        // Help given as a value is a value.
        {{"--port", "--help"}, OptionsRead::Ok, "- port=--help boards=0 items= pos="},
    };
    for (const Case& c : cases) {
        Taken taken;
        std::vector<std::string> args = {"program"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const tagOptionsRead read = ReadOptions(Table(taken), args, 1);
        const std::string line = ::testing::PrintToString(c.args);
        EXPECT_EQ(read.result, c.result) << line;
        if (c.result != OptionsRead::Help) {
            EXPECT_EQ(read.result == OptionsRead::UsageError ? read.error : taken.Text(), c.expected) << line;
        }
    }
}

// A reader of positional arguments that takes one (as a command's state word).
std::function<std::string(const std::string&)> OneState(Taken& taken) {
    return [&taken](const std::string& arg) {
        if (!taken.positional.empty())
            return std::string("one state only");
        taken.positional = arg;
        return std::string();
    };
}

TEST(OptionTableTest, PositionalArgumentsGoToTheirReaderAndDoubleDashEndsTheOptions) {
    Taken taken;
    EXPECT_EQ(
        ReadOptions(Table(taken), {"program", "resolve", "--port", "p", "free"}, 2, OneState(taken)).result,
        OptionsRead::Ok);
    EXPECT_EQ(taken.Text(), "- port=p boards=0 items= pos=free");

    Taken twice;
    const tagOptionsRead read = ReadOptions(Table(twice), {"program", "free", "burnt"}, 1, OneState(twice));
    EXPECT_EQ(read.result, OptionsRead::UsageError);
    EXPECT_EQ(read.error, "one state only");

    Taken dashed;
    auto keep = [&dashed](const std::string& arg) {
        dashed.positional += arg;
        return std::string();
    };
    EXPECT_EQ(ReadOptions(Table(dashed), {"program", "--", "--port", "-"}, 1, keep).result, OptionsRead::Ok);
    EXPECT_EQ(dashed.Text(), "- port= boards=0 items= pos=--port-");
}

TEST(OptionTableTest, WholeNumbers) {
    const std::tuple<const char*, bool, long long> cases[] = {
        {"0", true, 0},
        {"42", true, 42},
        {"-3", true, -3},
        {"", false, 0},
        {"-", false, 0},
        {"+4", false, 0},
        {"4.0", false, 0},
        {"0x10", false, 0},
        {"101", false, 0},
        {"-101", false, 0},
        {"99999999999999999999", false, 0},
    };
    for (const auto& [text, ok, value] : cases) {
        long long out = 0;
        EXPECT_EQ(ReadWholeNumber(text, -100, 100, out), ok) << text;
        EXPECT_EQ(out, value) << text;
    }
}
