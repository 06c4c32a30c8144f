// telvanor-cli with the identity pool, on both stores: the pool commands, and whole burn runs from
// a lot against the virtual board (flash, record file and pool agree; a used-up lot ends the run).
#include "BoardProcess.h"
#include "CliProcess.h"
#include "TestPool.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t from = 0;
    while (from < text.size()) {
        size_t end = text.find('\n', from);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(from, end - from);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
        from = end + 1;
    }
    return lines;
}

class PoolCli : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        m_store = std::make_unique<CTestPool>(GetParam());
        REQUIRE_POOL_STORE(*m_store);
    }
    // telvanor-cli pool COMMAND --dir DIR --pool URL ARGS...; args[0] is the command.
    CliResult Pool(const std::vector<std::string>& args) {
        std::vector<std::string> full = {"pool", args[0], "--dir", m_dir.Path(), "--pool", m_store->Url()};
        full.insert(full.end(), args.begin() + 1, args.end());
        return RunCliCommand(m_dir, full);
    }
    CliResult Create(const std::string& lot, const char* first, const char* last) {
        return Pool({"create", "--lot", lot, "--mac-first", first, "--mac-last", last, "--id-string", "SN",
                     "--id-first", "0001", "--id-last", "0999"});
    }
    QJsonObject StatusJson(const std::string& lot) {
        const CliResult r = Pool({"status", "--lot", lot, "--json"});
        EXPECT_EQ(r.exit, 0) << r.err;
        const QJsonArray lots =
            QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).object()["lots"].toArray();
        return lots.isEmpty() ? QJsonObject() : lots[0].toObject();
    }

    CTempDir m_dir;
    std::unique_ptr<CTestPool> m_store;
};

} // namespace

TEST_P(PoolCli, CreateStatusExportResolve) {
    CliResult r = Create("A", "00a1bbc34400", "00:a1:bb:c3:44:ff");
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(r.out, "Lot 'A' created: 256 unit(s), MAC 00:a1:bb:c3:44:00 to 00:a1:bb:c3:44:ff.\n");
    r = Create("B", "00:a1:bb:c3:44:80", "00:a1:bb:c3:45:ff");
    EXPECT_EQ(r.exit, 1);
    EXPECT_EQ(r.err, "Lot 'B' overlaps lot 'A': the same MAC would be handed out twice.\n");
    r = Pool({"create", "--lot", "B", "--mac-first", "00:a1:bb:c3:50:00", "--mac-last", "00:a1:bb:c3:50:ff",
              "--double-net", "--lang", "zh"});
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(r.out, "批次 'B' 已创建: 128 个单元, MAC 00:a1:bb:c3:50:00 到 00:a1:bb:c3:50:fe.\n");

    QJsonObject a = StatusJson("A");
    EXPECT_EQ(a["units"].toInt(), 256);
    EXPECT_EQ(a["free"].toInt(), 256);
    EXPECT_EQ(a["next"].toObject()["id"].toString(), "SN0001");
    r = Pool({"status"});
    EXPECT_EQ(r.exit, 0) << r.err;
    ASSERT_EQ(Lines(r.out).size(), 3u);
    EXPECT_EQ(Lines(r.out)[2].substr(0, 2), "B ");

    r = Pool({"export", "--lot", "A"});
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(r.out, "lot,unit,mac,id,state,time,host,port,items,record,note\r\n");
    // Nothing uncertain to decide on yet; a MAC outside the lot; a lot that is not there.
    for (const auto& [args, message] : std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"resolve", "--lot", "A", "--mac", "00:a1:bb:c3:44:05", "burnt"},
              "The unit with MAC 00:a1:bb:c3:44:05 is free and cannot be set to burnt.\n"},
             {{"resolve", "--lot", "A", "--mac", "00:a1:bb:c3:45:00", "retired"},
              "MAC 00:a1:bb:c3:45:00 is not a unit of lot 'A'.\n"},
             {{"status", "--lot", "C"}, "There is no lot 'C' in the identity pool.\n"}}) {
        r = Pool(args);
        EXPECT_EQ(r.exit, 1);
        EXPECT_EQ(r.err, message);
    }
    r = Pool({"resolve", "--lot", "A", "--mac", "00:a1:bb:c3:44:00", "retired"});
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(StatusJson("A")["next"].toObject()["mac"].toString(), "00:a1:bb:c3:44:01");
}

TEST(PoolCliUsage, MistakesExit64) {
    CTempDir dir;
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"pool"},
             {"pool", "list", "--pool", "sqlite:p.db"},
             {"pool", "status"},
             {"pool", "export", "--pool", "sqlite:p.db"},
             {"pool", "status", "--pool", "sqlite:p.db", "--csv", "x"},
             {"pool", "create", "--pool", "sqlite:p.db", "--lot", "L", "--mac-first", "zz", "--mac-last",
              "00"},
             {"pool", "create", "--pool", "sqlite:p.db", "--lot", "L", "--mac-first", "000000000000",
              "--mac-last", "000000000001", "--id-first", "1"},
             {"pool", "resolve", "--pool", "sqlite:p.db", "--lot", "L", "--mac", "000000000000", "reserved"},
             {"burn", "--port", "/dev/null", "--lot", "L", "--mac", "000000000001"},
             {"burn", "--port", "/dev/null", "--lot", "L", "--rule", "increase"},
             {"burn", "--port", "/dev/null", "--lot", "L", "--double-net"},
             {"burn", "--port", "/dev/null", "--pool", "sqlite:p.db"},
         }) {
        const CliResult r = RunCliCommand(dir, args);
        EXPECT_EQ(r.exit, 64) << args[1] << " " << r.err;
        EXPECT_EQ(r.out, "");
    }
}

TEST_P(PoolCli, BurnFromALotWritesFlashRecordsAndPool) {
    ASSERT_EQ(Create("L", "02:00:00:00:00:00", "02:00:00:00:00:ff").exit, 0);
    CBoardProcess board({"--flash", "nand"});
    const std::string port = board.PortPath(); // empty once the board is stopped
    const CliResult r = RunCli(m_dir, {"--port", port, "--lot", "L", "--pool", m_store->Url(), "--boards",
                                       "3", "--records", "--timeout-ms", "30000"});
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_NE(r.out.find("Unit 2 of lot 'L' reserved: MAC 02:00:00:00:00:02, ID SN0003. 253 unit(s) left."),
              std::string::npos);
    board.Stop();
    // The last board's block (deviceinfo at 5 MiB by default on nand) holds the pool's third unit.
    const std::vector<std::uint8_t> flash = board.Flash();
    ASSERT_GE(flash.size(), 0x500000u + 24);
    EXPECT_EQ(std::string(flash.begin() + 0x500000, flash.begin() + 0x500000 + 24),
              std::string("02:00:00:00:00:02\0SN0003", 24));

    const std::vector<std::string> records = Lines(ReadFileBytes(m_dir.File("BurntMacandIDList.txt")));
    ASSERT_EQ(records.size(), 4u); // the file begins with a line break
    CliResult exported = Pool({"export", "--lot", "L", "--csv", m_dir.File("units.csv")});
    ASSERT_EQ(exported.exit, 0) << exported.err;
    const std::vector<std::string> rows = Lines(ReadFileBytes(m_dir.File("units.csv")));
    ASSERT_EQ(rows.size(), 4u);
    for (int k = 0; k < 3; ++k) {
        const std::string mac = "02:00:00:00:00:0" + std::to_string(k), id = "SN000" + std::to_string(k + 1);
        EXPECT_EQ(records[size_t(k) + 1].substr(19), "   " + mac + "   " + id);
        EXPECT_EQ(rows[size_t(k) + 1].rfind("L," + std::to_string(k) + "," + mac + "," + id + ",burnt,", 0),
                  0u)
            << rows[size_t(k) + 1];
        EXPECT_NE(rows[size_t(k) + 1].find("," + port + ",," + records[size_t(k) + 1] + ","),
                  std::string::npos)
            << rows[size_t(k) + 1];
    }
    const QJsonObject s = StatusJson("L");
    EXPECT_EQ(s["burnt"].toInt(), 3);
    EXPECT_EQ(s["reserved"].toInt() + s["uncertain"].toInt(), 0);
}

TEST_P(PoolCli, UsedUpLotEndsTheRun) {
    ASSERT_EQ(Create("L", "02:00:00:00:01:00", "02:00:00:00:01:01").exit, 0);
    CBoardProcess board({"--flash", "nand"});
    const CliResult r = RunCli(m_dir, {"--port", board.PortPath(), "--lot", "L", "--pool", m_store->Url(),
                                       "--boards", "3", "--timeout-ms", "30000"});
    EXPECT_EQ(r.exit, 1);
    EXPECT_NE(r.err.find("Lot 'L' is used up: no free unit is left."), std::string::npos) << r.err;
    const QJsonObject s = StatusJson("L");
    EXPECT_EQ(s["burnt"].toInt(), 2);
    EXPECT_EQ(s["free"].toInt() + s["reserved"].toInt() + s["uncertain"].toInt(), 0);
}

INSTANTIATE_TEST_SUITE_P(Stores, PoolCli, ::testing::ValuesIn(PoolBackends()),
                         [](const auto& info) { return info.param; });
