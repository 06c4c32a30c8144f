// telvanor-cli: the burn command and jobs without a window, for scripted lines and tests.
#include "BurnCommand.h"
#include "BurnConfig.h"
#include "BurnJob.h"
#include "CheckConfig.h"
#include "CliRun.h"
#include "CliWindow.h"
#include "ControlIds.h"
#include "DataFolder.h"
#include "EntryHandlers.h"
#include "ExtraItems.h"
#include "IdValue.h"
#include "OptionTable.h"
#include "PoolCommands.h"
#include "PoolSource.h"
#include "SerialComm.h"
#include "StationRun.h"
#include "StrUtil.h"
#include "TextTables.h"
#include "Version.h"

#include <QCoreApplication>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

const char kUsage[] =
    "Usage: telvanor-cli burn --port NAME [--dir DIR] [--mac TEXT] [--id-string TEXT] [--id-number TEXT]\n"
    "           [--extra-string K=TEXT] [--extra-number K=TEXT]\n"
    "           [--key-string NAME=TEXT] [--key-number NAME=TEXT]\n"
    "           [--rule remove|increase|decrease] [--double-net] [--hex] [--records]\n"
    "           [--boards N] [--timeout-ms MS] [--lang en|zh] [--verify] [--json]\n"
    "       telvanor-cli burn --port NAME [--port NAME ...] --lot NAME [--pool URL] [--boards N]\n"
    "           [--records] [--verify] [item, --timeout-ms and --lang options as above]\n"
    "       telvanor-cli burn --port NAME --lot NAME [--pool URL] [--boards N] [item and other options]\n"
    "       telvanor-cli pool create|status|export|resolve ... (telvanor-cli pool --help)\n"
    "\n"
    "Burns boards on the serial port NAME with the entries an operator would type into the window,\n"
    "checked the same way. --dir is the program folder (BurnConfig.ini, Log.txt, the record file,\n"
    "ProgrammerforCA.bin); default: the folder of this program. --extra-* name the K-th\n"
    "operator-entered offset item (from 1), --key-* the operator-entered key item NAME.\n"
    "Under increase and decrease the jobs chain until --boards N boards are burnt (default 1).\n"
    "--verify reads every written region back and compares CRC-32s (as VerifyAfterWrite=1).\n"
    "--json: standard output carries only JSON Lines, one event per line, each naming its port (see\n"
    "the README), the status log's lines among them; the messages stay on standard error.\n"
    "With --lot every port chains its own boards, all taking MAC and ID from the lot NAME of the\n"
    "identity pool URL (default sqlite:TelvanorPool.db in the program folder), until N good boards\n"
    "in all (default: until the lot is used up) or Ctrl-C. Several ports need a lot; with several,\n"
    "each status line starts with its port and each port's traffic goes to Log-PORT.txt. Exit 0\n"
    "when the goal was reached without a failed board, 130 after Ctrl-C.\n"
    "With --lot, --mac, --id-*, --rule, --double-net and --hex do not go with it.\n"
    "\n"
    "Exit status: 0 every board burnt; 1 a burn failed or timed out, or a record could not be written\n"
    "(the chain ends there); 2 the entries were refused (the port is never opened); 64 a usage error;\n"
    "130, 143, 129 stopped by SIGINT, SIGTERM, SIGHUP (a board whose flash write has begun is finished\n"
    "first; a second signal stops at once).\n"
    "\n"
    "       telvanor-cli check-config [--dir DIR]\n"
    "Prints every key of BurnConfig.ini as the tool reads it, and a warning for each suspicious\n"
    "point (burn prints the same warnings on standard error). Exit status: 0 no warning, 1 warnings.\n";

struct Options {
    std::string port, dir, mac, idString, idNumber, rule = "remove", lang, lot, pool;
    std::vector<std::string> ports; // every --port, in order
    bool ruleGiven = false, boardsGiven = false;
    bool portGiven = false, macGiven = false, idStringGiven = false, idNumberGiven = false;
    bool doubleNet = false, hex = false, records = false, verify = false, json = false;
    long long boards = 1, timeoutMs = kBurnTimeoutMs;
    std::vector<std::pair<std::string, std::string>> extraStrings, extraNumbers, keyStrings, keyNumbers;
};

int Usage(const std::string& why) {
    return UsageError("telvanor-cli", why, kUsage);
}

bool SplitPair(const std::string& text, std::pair<std::string, std::string>& out) {
    size_t eq = text.find('=');
    if (eq == std::string::npos || eq == 0)
        return false;
    out = {text.substr(0, eq), text.substr(eq + 1)};
    return true;
}

// Returns a usage message, or empty when the options are complete; help is set for --help.
std::string ParseOptions(int argc, char** argv, Options& o, bool& help) {
    if (argc < 2)
        return "a command is required";
    if (std::strcmp(argv[1], "burn") != 0)
        return std::string("unknown command '") + argv[1] + "'";
    auto pair = [](const char* name, std::vector<std::pair<std::string, std::string>>& target) {
        return tagOption{name, "K=TEXT", [name, &target](const std::string& value) {
                             std::pair<std::string, std::string> split;
                             if (!SplitPair(value, split))
                                 return "option " + std::string(name) + " takes a value of the form K=TEXT";
                             target.push_back(split);
                             return std::string();
                         }};
    };
    auto given = [](const char* name, std::string& target, bool& flag) {
        return tagOption{name, "TEXT", [&target, &flag](const std::string& value) {
                             target = value;
                             flag = true;
                             return std::string();
                         }};
    };
    const std::vector<tagOption> table = {
        SwitchOption("--double-net", o.doubleNet),
        SwitchOption("--hex", o.hex),
        SwitchOption("--records", o.records),
        SwitchOption("--verify", o.verify),
        SwitchOption("--json", o.json),
        {"--port", "NAME",
         [&o](const std::string& value) {
             o.port = value;
             o.portGiven = true;
             o.ports.push_back(value);
             return std::string();
         }},
        TextOption("--dir", "DIR", o.dir),
        given("--mac", o.mac, o.macGiven),
        given("--id-string", o.idString, o.idStringGiven),
        given("--id-number", o.idNumber, o.idNumberGiven),
        pair("--extra-string", o.extraStrings),
        pair("--extra-number", o.extraNumbers),
        pair("--key-string", o.keyStrings),
        pair("--key-number", o.keyNumbers),
        {"--rule", "RULE",
         [&o](const std::string& value) {
             if (value != "remove" && value != "increase" && value != "decrease")
                 return std::string("--rule takes remove, increase or decrease");
             o.rule = value;
             o.ruleGiven = true;
             return std::string();
         }},
        TextOption("--lot", "NAME", o.lot),
        TextOption("--pool", "URL", o.pool),
        {"--boards", "N",
         [&o](const std::string& value) {
             if (!ReadWholeNumber(value, 1, 1000000000LL, o.boards))
                 return std::string("--boards takes a whole number from 1");
             o.boardsGiven = true;
             return std::string();
         }},
        {"--timeout-ms", "MS",
         [&o](const std::string& value) {
             return ReadWholeNumber(value, 1, UINT_MAX / 2, o.timeoutMs)
                        ? std::string()
                        : std::string("--timeout-ms takes a whole number of milliseconds from 1");
         }},
        {"--lang", "en|zh",
         [&o](const std::string& value) {
             if (value != "en" && value != "zh")
                 return std::string("--lang takes en or zh");
             o.lang = value;
             return std::string();
         }},
    };
    const tagOptionsRead read = ReadOptions(table, ArgumentList(argc, argv), 2);
    help = read.result == OptionsRead::Help;
    if (read.result == OptionsRead::UsageError)
        return read.error;
    if (help)
        return std::string();
    if (!o.portGiven)
        return "--port is required";
    if (!o.pool.empty() && o.lot.empty())
        return "--pool names where a lot is: give --lot too";
    if (o.ports.size() > 1 || !o.lot.empty()) {
        if (o.lot.empty())
            return "several ports take their MACs and IDs from a lot (--lot NAME): typed values would be "
                   "burnt twice";
        if (o.macGiven || o.idStringGiven || o.idNumberGiven || o.ruleGiven || o.doubleNet || o.hex)
            return "with --lot the MAC and ID come from the pool: --mac, --id-string, --id-number, --rule, "
                   "--double-net and --hex do not go with it";
        o.rule = "increase"; // the jobs chain; the item entries stay as given
    }
    if (o.rule == "remove" && (o.idNumberGiven || !o.extraNumbers.empty() || !o.keyNumbers.empty()))
        return "under the rule remove the number parts stay empty: give the whole ID (or item value) as the "
               "string part";
    // Remove clears the entries after a board: a chain would have nothing to burn next.
    if (o.rule == "remove" && o.boards > 1)
        return "--boards " + std::to_string(o.boards) +
               " needs the rule increase or decrease: under remove the entries are cleared after each board";
    return std::string();
}

std::string ProgramDir() {
    char path[4096];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return ".";
    path[n] = '\0';
    return ModuleDirFromProgramPath(path);
}

// Puts the entries into the window's controls as the window holds them once the operator has
// chosen the rule and typed them: the window as it opens, the rule's button clicked (a step rule lets
// the number parts be typed), placeholders where nothing was typed, number parts empty under remove.
// The same for each port of a station.
std::string FillWindow(const Options& o, const BurnConfig& config, CControlWindow& window) {
    const bool remove = o.rule == "remove";
    AddOpeningControls(window);
    window.Put(IDC_SERIAL_PORT, o.port);
    window.Put(IDC_MAC, o.mac);
    window.Put(IDC_ID_STRING, o.idStringGiven ? o.idString : kStringPlaceholder);
    std::vector<const tagExtraInfo*> offsets;
    for (const tagExtraInfo& item : config.m_aExtraInfo)
        if (item.IsOperatorEntered())
            offsets.push_back(&item);
    std::vector<int> numbers = {IDC_ID_NUMBER};
    for (const tagExtraInfo* item : offsets) {
        window.AddControl(item->nStringID, kStringPlaceholder);
        window.AddControl(item->nNumberID, "", false);
        numbers.push_back(item->nNumberID);
    }
    std::map<std::string, const tagExtra*> keys;
    for (const tagExtra& item : config.m_aExtra)
        if (item.IsOperatorEntered()) {
            keys[item.strName] = &item;
            window.AddControl(item.nStringID, kStringPlaceholder);
            window.AddControl(item.nNumberID, "", false);
            numbers.push_back(item.nNumberID);
        }
    if (!remove) {
        window.Check(IDC_RULE_CLEAR, false);
        window.Check(o.rule == "increase" ? IDC_RULE_INCREASE : IDC_RULE_DECREASE, true);
        OnRuleStep(window, config);
        for (int id : numbers)
            window.Put(id, kNumberPlaceholder);
        if (o.idNumberGiven)
            window.Put(IDC_ID_NUMBER, o.idNumber);
    }
    window.Check(IDC_SINGLE_NET, !o.doubleNet);
    window.Check(IDC_DOUBLE_NET, o.doubleNet);
    window.Check(IDC_HEX_RULE, o.hex);
    window.Check(IDC_SAVE_RECORDS, o.records);
    for (const auto& [list, isNumber] : {std::pair{&o.extraStrings, false}, std::pair{&o.extraNumbers, true}})
        for (const auto& [k, text] : *list) {
            long long index = 0;
            if (!ReadWholeNumber(k, 1, (long long)offsets.size(), index))
                return "there is no operator-entered offset item " + k + " in BurnConfig.ini (" +
                       std::to_string(offsets.size()) + " configured)";
            window.SetText(isNumber ? offsets[size_t(index - 1)]->nNumberID
                                    : offsets[size_t(index - 1)]->nStringID,
                           tv::Utf8ToLocal(text));
        }
    for (const auto& [list, isNumber] : {std::pair{&o.keyStrings, false}, std::pair{&o.keyNumbers, true}})
        for (const auto& [name, text] : *list) {
            auto it = keys.find(name);
            if (it == keys.end())
                return "there is no operator-entered key item '" + name + "' in BurnConfig.ini";
            window.SetText(isNumber ? it->second->nNumberID : it->second->nStringID, tv::Utf8ToLocal(text));
        }
    return std::string();
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return kExitOk;
    }
    PrepareProcess();
    if (argc >= 2 && std::strcmp(argv[1], "check-config") == 0)
        return RunCheckConfig(argc, argv, ProgramDir());
    if (argc >= 2 && std::strcmp(argv[1], "pool") == 0) {
        if (argc >= 3 && (std::strcmp(argv[2], "--help") == 0 || std::strcmp(argv[2], "-h") == 0)) {
            std::fputs(kPoolUsage, stdout);
            return kExitOk;
        }
        return RunPoolCommand(argc, argv);
    }
    Options o;
    bool help = false;
    const std::string usage = ParseOptions(argc, argv, o, help);
    if (help) {
        std::fputs(kUsage, stdout);
        return kExitOk;
    }
    if (!usage.empty())
        return Usage(usage);

    QCoreApplication app(argc, argv);
    // Without --dir: the program folder, or the user's data folder where that cannot be written.
    const std::string programDir = ProgramDir();
    const tagDataFolder folder = o.dir.empty() ? ResolveDataFolder(programDir) : tagDataFolder{o.dir, false};
    g_App.m_strModuleDir = folder.strDir;
    LoadBurnConfig(g_App);
    ParseItemLists(g_App);
    if (o.verify)
        g_App.m_nVerifyAfterWrite = 1;
    if (!o.lot.empty()) {
        g_App.m_strLot = o.lot;
        g_App.m_strPoolUrl = o.pool;
    }
    ChooseStartLanguage(o.lang.empty() ? g_App.m_nAppLanguage : (o.lang == "zh" ? 1 : 2));
    // Under --json standard output is the machines': the log's lines go out as status events, and
    // standard error keeps what a person has to read.
    std::FILE* const text = o.json ? stderr : stdout;
    const std::string notice = DataFolderNotice(programDir, folder);
    if (!notice.empty()) {
        std::fprintf(text, "%s\n", notice.c_str());
        std::fflush(text);
    }
    for (const std::string& warning : CheckConfig(g_App.m_strModuleDir).aWarnings)
        std::fprintf(stderr, "Warning: %s\n", warning.c_str());

    CCliWindow window(o.json ? nullptr : stdout, stderr, !o.json && isatty(fileno(stdout)) != 0);
    const std::string entryProblem = FillWindow(o, g_App, window);
    if (!entryProblem.empty())
        return Usage(entryProblem);
    if (!o.lot.empty()) {
        // The burn button's checks, as for one port: the items are the same on every port.
        if (auto refusal = BurnEntriesRefusal(window, g_App, true)) {
            ShowRefusal(window, *refusal);
            return kExitRefused;
        }
        tagStationRun run;
        run.ports = o.ports;
        run.boards = o.boardsGiven ? o.boards : 0;
        run.timeoutMs = unsigned(o.timeoutMs);
        run.json = o.json;
        const std::string dir = g_App.m_strModuleDir;
        return RunStation(
            run, g_App, [&](const std::string&) { return MakePoolSource(o.pool, dir, o.lot); },
            [&](CLaneWindow& lane) { FillWindow(o, g_App, lane); }, stdout, stderr);
    }
    const bool chain = o.rule != "remove";

    CJsonLines json(stdout, o.port);
    if (o.json) {
        window.SetJson(&json);
        json.Hello("telvanor-cli", kProgramVersion, {o.port});
    }
    CJobRunner runner(g_SerialComm, g_App);
    runner.SetTimeoutMs(unsigned(o.timeoutMs));
    const int exitStatus = RunBurnCommand(window, runner, g_App, chain, chain ? int(o.boards) : 1);
    window.Flush();
    if (o.json)
        json.RunFinished(window.BoardsBurnt(), window.BoardsFailed(), exitStatus);
    return exitStatus;
}
