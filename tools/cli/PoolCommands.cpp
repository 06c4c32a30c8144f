#include "PoolCommands.h"

#include "BurnConfig.h"
#include "IdentityPool.h"
#include "OptionTable.h"
#include "StrUtil.h"
#include "TextTables.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <unistd.h>

const char kPoolUsage[] =
    "Usage: telvanor-cli pool create --pool URL --lot NAME --mac-first MAC --mac-last MAC [--double-net]\n"
    "           [--id-string TEXT --id-first DIGITS --id-last DIGITS] [--hex]\n"
    "       telvanor-cli pool status --pool URL [--lot NAME] [--json]\n"
    "       telvanor-cli pool export --pool URL --lot NAME [--csv FILE]\n"
    "       telvanor-cli pool resolve --pool URL --lot NAME --mac MAC free|burnt|retired\n"
    "       (each also takes [--dir DIR] [--lang en|zh])\n"
    "\n"
    "URL is sqlite:PATH (a relative PATH is in the program folder, --dir) or\n"
    "postgresql://USER@HOST:PORT/DATABASE (a socket folder as ?host=DIR); a PostgreSQL password comes\n"
    "from PGPASSWORD or ~/.pgpass, never from the URL. Unit k of a lot has the MAC first + k * step\n"
    "(step 2 with --double-net) and the ID number first + k, in the width of --id-first.\n"
    "resolve decides on an uncertain unit after the board was looked at: free (not in any board),\n"
    "burnt (the board holds it), retired (never hand it out again; also for free or burnt units).\n"
    "\n"
    "Exit status: 0 done; 1 refused or failed; 64 a usage error.\n";

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;

int Usage(const std::string& why) {
    return UsageError("telvanor-cli pool", why, kPoolUsage);
}

int Report(const PoolResult& r) {
    std::FILE* to = r.Ok() ? stdout : stderr;
    if (!r.message.empty())
        std::fprintf(to, "%s\n", r.message.c_str());
    return r.Ok() ? kExitOk : kExitFailed;
}

std::string ProgramFolder() {
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return ".";
    path[n] = '\0';
    return ModuleDirFromProgramPath(path);
}

// One CSV field (RFC 4180): quoted when it holds a comma, a quote or a line break.
std::string CsvField(const std::string& s) {
    if (s.find_first_of(",\"\r\n") == std::string::npos)
        return s;
    std::string q = "\"";
    for (char c : s)
        q += c == '"' ? std::string("\"\"") : std::string(1, c);
    return q + "\"";
}

QString J(const std::string& s) {
    return QString::fromLocal8Bit(s.c_str());
}

QJsonObject StatusJson(const LotStatus& s) {
    QJsonObject o{{"lot", J(s.lot.name)},
                  {"units", qint64(s.lot.size)},
                  {"free", qint64(s.free)},
                  {"reserved", qint64(s.reserved)},
                  {"burnt", qint64(s.burnt)},
                  {"uncertain", qint64(s.uncertain)},
                  {"retired", qint64(s.retired)},
                  {"mac_first", J(FormatMacValue(s.lot.macFirst))},
                  {"step", int(s.lot.step)},
                  {"id_string", J(s.lot.idString)},
                  {"id_first", J(s.lot.idFirst)},
                  {"id_last", J(s.lot.idLast)},
                  {"hex", s.lot.hex}};
    if (s.next)
        o.insert(
            "next",
            QJsonObject{{"unit", qint64(s.next->index)}, {"mac", J(s.next->mac)}, {"id", J(s.next->Id())}});
    else
        o.insert("next", QJsonValue());
    return o;
}

int Status(IIdentityPool& pool, const std::string& lot, bool json) {
    std::vector<LotStatus> lots;
    const PoolResult r = pool.Status(lot, lots);
    if (!r.Ok())
        return Report(r);
    if (json) {
        QJsonArray array;
        for (const LotStatus& s : lots)
            array.append(StatusJson(s));
        const QByteArray text = QJsonDocument(QJsonObject{{"pool", J(pool.Url())}, {"lots", array}})
                                    .toJson(QJsonDocument::Compact);
        std::printf("%s\n", text.constData());
        return kExitOk;
    }
    std::printf("%s\n", Txt(strPoolStatusHead).c_str());
    for (const LotStatus& s : lots) {
        const std::string next = s.next ? s.next->mac + "  " + s.next->Id() : "-";
        std::printf("%-10s %6llu %9llu %9llu %9llu %9llu %9llu  %s\n", s.lot.name.c_str(),
                    static_cast<unsigned long long>(s.lot.size), static_cast<unsigned long long>(s.free),
                    static_cast<unsigned long long>(s.reserved), static_cast<unsigned long long>(s.burnt),
                    static_cast<unsigned long long>(s.uncertain), static_cast<unsigned long long>(s.retired),
                    next.c_str());
    }
    return kExitOk;
}

int Export(IIdentityPool& pool, const std::string& lot, const std::string& csvPath) {
    std::vector<UnitRecord> records;
    const PoolResult r = pool.Export(lot, records);
    if (!r.Ok())
        return Report(r);
    std::FILE* out = stdout;
    if (!csvPath.empty() && !(out = std::fopen(csvPath.c_str(), "wb"))) {
        std::fprintf(
            stderr, "%s\n",
            tv::FormatRuntime(Txt(strPoolFailed), (csvPath + ": " + std::strerror(errno)).c_str()).c_str());
        return kExitFailed;
    }
    std::fprintf(out, "lot,unit,mac,id,state,time,host,port,items,record,note\r\n");
    for (const UnitRecord& u : records) {
        const std::string fields[] = {u.unit.lot,
                                      std::to_string(u.unit.index),
                                      u.unit.mac,
                                      u.id.empty() ? u.unit.Id() : u.id,
                                      UnitStateName(u.state),
                                      u.time,
                                      u.host,
                                      u.port,
                                      u.items,
                                      u.record,
                                      u.note};
        std::string line = CsvField(fields[0]);
        for (size_t i = 1; i < std::size(fields); ++i)
            line += "," + CsvField(fields[i]);
        std::fprintf(out, "%s\r\n", line.c_str());
    }
    const bool written = std::fflush(out) == 0 && !std::ferror(out);
    if (out != stdout && std::fclose(out) != 0)
        return kExitFailed;
    return written ? kExitOk : kExitFailed;
}

} // namespace

int RunPoolCommand(int argc, char** argv) {
    if (argc < 3)
        return Usage("a pool command is required: create, status, export or resolve");
    const std::string command = argv[2];
    if (command != "create" && command != "status" && command != "export" && command != "resolve")
        return Usage("unknown pool command '" + command + "'");
    std::map<std::string, std::string> values;
    bool doubleNet = false, hex = false, json = false;
    std::string state;
    std::vector<tagOption> table;
    for (const char* name : {"--pool", "--lot", "--mac-first", "--mac-last", "--id-string", "--id-first",
                             "--id-last", "--csv", "--mac", "--dir", "--lang"})
        table.push_back({name, "VALUE", [&values, name](const std::string& value) {
                             values[name] = value;
                             return std::string();
                         }});
    table.push_back(SwitchOption("--double-net", doubleNet));
    table.push_back(SwitchOption("--hex", hex));
    table.push_back(SwitchOption("--json", json));
    // The state word of resolve is its one argument that is not an option.
    auto positional = [&](const std::string& arg) {
        if (command != "resolve" || !state.empty())
            return "unexpected argument '" + arg + "'";
        state = arg;
        return std::string();
    };
    const tagOptionsRead read = ReadOptions(table, ArgumentList(argc, argv), 3, positional);
    if (read.result == OptionsRead::Help) {
        std::fputs(kPoolUsage, stdout);
        return kExitOk;
    }
    if (read.result == OptionsRead::UsageError)
        return Usage(read.error);
    // Which options each command takes; anything else is a mistake worth stopping for.
    static const std::map<std::string, std::vector<std::string>> kAllowed = {
        {"create",
         {"--pool", "--lot", "--mac-first", "--mac-last", "--id-string", "--id-first", "--id-last", "--dir",
          "--lang"}},
        {"status", {"--pool", "--lot", "--dir", "--lang"}},
        {"export", {"--pool", "--lot", "--csv", "--dir", "--lang"}},
        {"resolve", {"--pool", "--lot", "--mac", "--dir", "--lang"}},
    };
    const std::vector<std::string>& allowed = kAllowed.at(command);
    for (const auto& [opt, value] : values)
        if (std::find(allowed.begin(), allowed.end(), opt) == allowed.end())
            return Usage("pool " + command + " does not take " + opt);
    if ((doubleNet || hex) && command != "create")
        return Usage("--double-net and --hex belong to pool create");
    if (json && command != "status")
        return Usage("--json belongs to pool status");
    if (!values.count("--pool"))
        return Usage("--pool is required");
    if (command != "status" && !values.count("--lot"))
        return Usage("--lot is required");
    if (values.count("--lang") && values["--lang"] != "en" && values["--lang"] != "zh")
        return Usage("--lang takes en or zh");

    PoolLot lot;
    std::optional<UnitState> target;
    if (command == "create") {
        const std::optional<std::uint64_t> first = ParseMacValue(values["--mac-first"]);
        const std::optional<std::uint64_t> last = ParseMacValue(values["--mac-last"]);
        if (!first || !last)
            return Usage("--mac-first and --mac-last take MACs (00a1bbc344e5 or 00:a1:bb:c3:44:e5)");
        const bool idFirst = values.count("--id-first") != 0, idLast = values.count("--id-last") != 0;
        if (idFirst != idLast)
            return Usage("--id-first and --id-last go together");
        if (hex && !idFirst)
            return Usage("--hex needs --id-first and --id-last");
        lot.name = values["--lot"];
        lot.macFirst = *first;
        lot.macLast = *last;
        lot.step = doubleNet ? 2 : 1;
        lot.idString = tv::Utf8ToLocal(values["--id-string"]);
        lot.idFirst = tv::Trim(values["--id-first"]);
        lot.idLast = tv::Trim(values["--id-last"]);
        lot.hex = hex;
    } else if (command == "resolve") {
        if (!values.count("--mac"))
            return Usage("--mac is required");
        target = UnitStateFromName(state);
        if (!target || *target == UnitState::Reserved || *target == UnitState::Uncertain)
            return Usage("resolve takes free, burnt or retired");
    }

    QCoreApplication app(argc, argv);
    BurnConfig& config = g_App;
    config.m_strModuleDir = values.count("--dir") ? values["--dir"] : ProgramFolder();
    LoadBurnConfig(config);
    ChooseStartLanguage(values.count("--lang") ? (values["--lang"] == "zh" ? 1 : 2) : config.m_nAppLanguage);

    PoolResult opened;
    std::unique_ptr<IIdentityPool> pool =
        OpenIdentityPool(values["--pool"], config.m_strModuleDir, command == "create", opened);
    if (!pool)
        return Report(opened);
    if (command == "create")
        return Report(pool->CreateLot(lot));
    if (command == "status")
        return Status(*pool, values["--lot"], json);
    if (command == "export")
        return Export(*pool, values["--lot"], values["--csv"]);
    return Report(pool->Resolve(values["--lot"], values["--mac"], *target));
}
