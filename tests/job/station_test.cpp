// A station burning on several ports at once against virtual boards, identities from one lot (the
// identity pool on each store; a lot in memory where the test looks at every reservation): what each
// board received, what the lot and the record file hold, and how a port ends on its own.
#include "JobHarness.h"
#include "MemoryLot.h"
#include "PoolSource.h"
#include "Station.h"
#include "SwappedTexts.h"
#include "TestPool.h"

#include "CliProcess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <fstream>
#include <map>
#include <mutex>
#include <set>

#if defined(__SANITIZE_THREAD__)
extern "C" const char* __tsan_default_options() {
    return "ignore_noninstrumented_modules=1";
}
#endif

namespace {

const char kNandArgs[] = "mtdparts=nand0:1M(boot),1M(deviceinfo),-(rootfs)";

// The MAC and ID of every device info block the board wrote, in order: the staged words since the
// last fill, taken when the write command that puts them into the flash arrives.
std::vector<std::pair<std::string, std::string>> BlocksWritten(const std::vector<std::string>& commands) {
    std::vector<std::pair<std::string, std::string>> out;
    std::map<unsigned, unsigned> words;
    for (const std::string& c : commands) {
        unsigned address = 0, word = 0;
        if (c.rfind("mw.b ", 0) == 0)
            words.clear();
        else if (std::sscanf(c.c_str(), "mw.l 0x%x 0x%x 1", &address, &word) == 2)
            words[address] = word;
        else if (c.rfind("nand write ", 0) == 0 && !words.empty()) {
            std::string bytes;
            for (const auto& [at, w] : words)
                for (int i = 0; i < 4; ++i)
                    bytes.push_back(char((w >> (8 * i)) & 0xff));
            const std::string mac = bytes.substr(0, 17);
            const std::string id = std::string(bytes.c_str() + 18);
            out.emplace_back(mac, id);
        }
    }
    return out;
}

CStation::SourceMaker Maker(CMemoryLot& lot) {
    return [&lot](const std::string&) { return lot.Connection(); };
}

class StationTest : public ::testing::Test {
protected:
    void SetUp() override {
        TestApp();
        ChooseStartLanguage(2);
        std::ofstream(m_dir.File("BurnConfig.ini"), std::ios::binary) << "[BurnConfig]\r\n";
        m_config.m_strModuleDir = m_dir.Path();
        LoadBurnConfig(m_config);
        ParseItemLists(m_config);
    }

    // Starts every port and polls as a face does until the station is finished.
    bool RunToEnd(CStation& station, std::chrono::seconds limit = std::chrono::seconds(120),
                  const std::function<bool()>& stopWhen = {}) {
        station.StartAll();
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!station.Finished()) {
            if (stopWhen && stopWhen())
                station.StopAll();
            if (std::chrono::steady_clock::now() > deadline) {
                station.StopAll();
                return false;
            }
            station.Poll();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return true;
    }

    std::vector<std::unique_ptr<CBoardProcess>> Boards(const std::vector<std::vector<std::string>>& extra) {
        std::vector<std::unique_ptr<CBoardProcess>> boards;
        for (size_t i = 0; i < extra.size(); ++i) {
            std::vector<std::string> args = {"--bootargs", kNandArgs, "--swap-boards", "--banner",
                                             "U-Boot of board " + std::to_string(i) + "\\r\\n"};
            args.insert(args.end(), extra[i].begin(), extra[i].end());
            boards.push_back(std::make_unique<CBoardProcess>(args));
        }
        return boards;
    }

    static std::vector<std::string> Ports(const std::vector<std::unique_ptr<CBoardProcess>>& boards) {
        std::vector<std::string> ports;
        for (const auto& b : boards)
            ports.push_back(b->PortPath());
        return ports;
    }

    CTempDir m_dir;
    BurnConfig m_config;
    std::function<void(CLaneWindow&)> m_fill = [this](CLaneWindow& w) { FillLotEntries(w, m_config, true); };
};

} // namespace

// On each store of the identity pool.
class StationOnPool : public StationTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(StationOnPool, FourPortsBurnFortyBoardsFromOneLot) {
    CTestPool store(GetParam());
    REQUIRE_POOL_STORE(store);
    std::unique_ptr<IIdentityPool> pool = store.Open();
    ASSERT_TRUE(pool);
    PoolLot lot;
    lot.name = "L1";
    lot.macFirst = ParseMacValue("00:1a:2b:3c:00:00").value();
    lot.macLast = ParseMacValue("00:1a:2b:3c:00:3b").value(); // 60 units
    lot.idString = "SN";
    lot.idFirst = "000001";
    lot.idLast = "999999";
    ASSERT_TRUE(pool->CreateLot(lot).Ok());

    auto boards = Boards({{}, {}, {}, {}});
    const auto ports = Ports(boards);
    CStation::Options options;
    options.boardsWanted = 40;
    {
        CStation station(
            m_config, [&](const std::string&) { return MakePoolSource(store.Url(), store.Dir(), "L1"); },
            ports, options, m_fill);
        ASSERT_TRUE(RunToEnd(station));
        EXPECT_EQ(station.GoodBoards(), 40);
        EXPECT_EQ(station.FailedBoards(), 0);
    }

    std::vector<LotStatus> status;
    ASSERT_TRUE(pool->Status("L1", status).Ok());
    ASSERT_EQ(status.size(), 1u);
    EXPECT_EQ(status[0].burnt, 40u);
    EXPECT_EQ(status[0].free, 20u);
    EXPECT_EQ(status[0].reserved + status[0].uncertain, 0u);

    // Each record once, whole, in the text file; the pool's record is the file's line.
    const std::string records = ReadFileBytes(m_dir.File("BurntMacandIDList.txt"));
    std::map<std::string, int> lines;
    for (size_t at = 0; at < records.size();) {
        ASSERT_EQ(records.compare(at, 2, "\r\n"), 0) << at;
        const size_t next = records.find("\r\n", at + 2);
        lines[records.substr(at + 2, next == std::string::npos ? std::string::npos : next - at - 2)]++;
        at = next == std::string::npos ? records.size() : next;
    }
    EXPECT_EQ(lines.size(), 40u);
    std::vector<UnitRecord> units;
    ASSERT_TRUE(pool->Export("L1", units).Ok());
    ASSERT_EQ(units.size(), 40u);
    std::map<std::string, std::set<std::string>> unitsOfPort;
    std::set<std::string> macs;
    for (const UnitRecord& u : units) {
        EXPECT_EQ(u.state, UnitState::Burnt);
        EXPECT_EQ(lines[u.record], 1) << u.record;
        EXPECT_EQ(u.record.substr(19), "   " + u.unit.mac + "   " + u.unit.Id());
        unitsOfPort[u.port].insert(u.unit.mac + "/" + u.unit.Id());
        macs.insert(u.unit.mac);
    }
    EXPECT_EQ(macs.size(), 40u);

    // Every board wrote exactly the units the pool recorded for its port, once each; its flash holds
    // the last one; its port's traffic log holds its own traffic only.
    for (size_t i = 0; i < boards.size(); ++i) {
        boards[i]->Stop();
        const auto blocks = BlocksWritten(boards[i]->Commands());
        std::multiset<std::string> written;
        for (const auto& [mac, id] : blocks)
            written.insert(mac + "/" + id);
        const std::set<std::string>& recorded = unitsOfPort[ports[i]];
        EXPECT_EQ(std::set<std::string>(written.begin(), written.end()), recorded) << ports[i];
        EXPECT_EQ(written.size(), recorded.size());
        const auto flash = boards[i]->Flash();
        ASSERT_GE(flash.size(), 0x100000u + 17);
        ASSERT_FALSE(blocks.empty());
        EXPECT_EQ(std::string(flash.begin() + 0x100000, flash.begin() + 0x100000 + 17), blocks.back().first);

        const std::string log = ReadFileBytes(m_dir.File(PortLogName(ports[i])));
        for (size_t j = 0; j < boards.size(); ++j)
            EXPECT_EQ(log.find("U-Boot of board " + std::to_string(j)) != std::string::npos, i == j)
                << i << j;
    }
    EXPECT_FALSE(std::ifstream(m_dir.File("Log.txt")).good());
}

INSTANTIATE_TEST_SUITE_P(Stores, StationOnPool, ::testing::ValuesIn(PoolBackends()),
                         [](const auto& info) { return info.param; });

TEST_F(StationTest, FailingAndUnpluggedPortsEndOnTheirOwn) {
    // Port 0: every flash write fails after its erase (the unit may be in the board: kept for the
    // port's next board, uncertain when the port gives up). Port 1: unplugged while the block is
    // staged (before any erase: the unit goes back). Ports 2 and 3 burn the run's boards.
    auto boards = Boards({{"--error-on", "nand write"}, {"--disconnect-at", "cmd:mw.l:5"}, {}, {}});
    const auto ports = Ports(boards);
    CMemoryLot lot(30);
    CStation::Options options;
    options.boardsWanted = 12;
    CStation station(m_config, Maker(lot), ports, options, m_fill);
    ASSERT_TRUE(RunToEnd(station));

    EXPECT_EQ(station.GoodBoards(), 12);
    EXPECT_EQ(station.View(0).good, 0);
    EXPECT_EQ(station.View(0).failed, 3);
    EXPECT_EQ(station.View(0).state, LaneState::Failed);
    EXPECT_EQ(station.View(1).failed, 1);
    EXPECT_NE(station.View(1).lastMessage.find("was disconnected"), std::string::npos)
        << station.View(1).lastMessage;
    EXPECT_EQ(station.View(2).good + station.View(3).good, 12);

    EXPECT_EQ(lot.Count(CMemoryLot::State::Burnt), 12);
    EXPECT_EQ(lot.Count(CMemoryLot::State::Uncertain), 1);
    EXPECT_EQ(lot.Count(CMemoryLot::State::Reserved), 0);
    EXPECT_EQ(lot.BadSettles(), 0);
    const auto units = lot.Units();
    for (const auto& u : units) {
        if (u.state == CMemoryLot::State::Uncertain) {
            EXPECT_EQ(u.reservations, 1); // the same unit went into each of port 0's tries
        }
    }
    // Port 0's three boards all got the same unit.
    boards[0]->Stop();
    const auto blocks = BlocksWritten(boards[0]->Commands());
    ASSERT_EQ(blocks.size(), 3u);
    EXPECT_EQ(blocks[0], blocks[2]);
}

TEST_F(StationTest, StopEndsEveryJobAndSettlesEveryUnit) {
    auto boards =
        Boards({{"--delay-ms", "5"}, {"--delay-ms", "5"}, {"--delay-ms", "5"}, {"--delay-ms", "5"}});
    CMemoryLot lot(100);
    CStation::Options options;
    CStation station(m_config, Maker(lot), Ports(boards), options, m_fill);
    ASSERT_TRUE(RunToEnd(station, std::chrono::seconds(60), [&] { return station.GoodBoards() >= 3; }));

    // Nothing reserved is left: what may be in a board is uncertain, the rest went back.
    EXPECT_EQ(lot.Count(CMemoryLot::State::Reserved), 0);
    EXPECT_EQ(lot.Count(CMemoryLot::State::Burnt), station.GoodBoards());
    EXPECT_LE(lot.Count(CMemoryLot::State::Uncertain), 4);
    EXPECT_EQ(lot.BadSettles(), 0);
    for (int i = 0; i < station.PortCount(); ++i)
        EXPECT_FALSE(station.View(i).running);
}

// A port's view follows its board through the job's events: the download with its percent, then
// the writing, whatever the texts of its status lines.
TEST_F(StationTest, PortViewFollowsTheBoardsStages) {
    auto boards = Boards({{"--pace"}});
    CMemoryLot lot(5);
    CStation::Options options;
    options.boardsWanted = 1;
    CStation station(m_config, Maker(lot), Ports(boards), options, m_fill);
    CSwappedTexts swapped;
    std::set<LaneState> seen;
    std::set<int> percents;
    ASSERT_TRUE(RunToEnd(station, std::chrono::seconds(60), [&] {
        const tagLaneView v = station.View(0);
        seen.insert(v.state);
        if (v.state == LaneState::Downloading)
            percents.insert(v.percent);
        return false;
    }));
    EXPECT_EQ(station.GoodBoards(), 1);
    EXPECT_TRUE(seen.count(LaneState::Downloading));
    EXPECT_TRUE(seen.count(LaneState::Writing));
    EXPECT_EQ(station.View(0).state, LaneState::Done);
    // The percent moves during the download.
    EXPECT_TRUE(std::any_of(percents.begin(), percents.end(), [](int p) { return p > 0 && p < 100; }));
}

// A face that looks only when the station tells it (no tick of its own) still sees each failed
// board's restart and the run's end: every port that runs dry says so.
TEST_F(StationTest, FaceIsToldOfEveryRestartAndTheEnd) {
    auto boards = Boards({{"--error-on", "nand write"}, {}});
    CMemoryLot lot(20);
    CStation::Options options;
    options.boardsWanted = 4;
    CStation station(m_config, Maker(lot), Ports(boards), options, m_fill);
    std::mutex mutex;
    std::condition_variable told;
    int notices = 0;
    station.SetOnChange([&] {
        std::lock_guard<std::mutex> lock(mutex);
        ++notices;
        told.notify_one();
    });
    station.StartAll();
    int seen = 0;
    while (!station.Finished()) {
        std::unique_lock<std::mutex> lock(mutex);
        ASSERT_TRUE(told.wait_for(lock, std::chrono::seconds(60), [&] { return notices > seen; }))
            << "no notice while ports were still running";
        seen = notices;
        lock.unlock();
        station.Poll();
    }
    EXPECT_EQ(station.GoodBoards(), 4);
    EXPECT_EQ(station.View(0).failed, 3); // each failure was restarted on a notice alone
}
