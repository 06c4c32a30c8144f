// Jobs that take their MAC and ID from a lot, on both stores: a job that fails before the flash is
// touched gives its unit back, one that fails after keeps it for the port's next board, and a run
// that ends keeping one leaves it uncertain.
#include "JobHarness.h"
#include "PoolSource.h"
#include "TestPool.h"

#include <gtest/gtest.h>

namespace {

const char kNandArgs[] = "mtdparts=nand0:1M(boot),1M(deviceinfo),-(rootfs)";

std::string FlashAt(const std::vector<std::uint8_t>& flash, size_t at, size_t n) {
    return flash.size() < at + n ? std::string()
                                 : std::string(flash.begin() + long(at), flash.begin() + long(at + n));
}

class LotJob : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        TestApp();
        m_store = std::make_unique<CTestPool>(GetParam());
        REQUIRE_POOL_STORE(*m_store);
        std::unique_ptr<IIdentityPool> pool = m_store->Open();
        ASSERT_TRUE(pool);
        ASSERT_TRUE(
            pool->CreateLot(TestLot("line1", "02:00:00:00:00:10", "02:00:00:00:00:1f", "SN", "0001", "0016"))
                .Ok());
    }

    void TearDown() override {
        if (m_harness)
            EndRun();
        m_harness.reset();
    }

    // The harness with the lot; Increase checked so that it stops the chain after good boards.
    CJobHarness& Harness(const CBoardProcess& board) {
        m_harness = std::make_unique<CJobHarness>();
        CJobHarness* h = m_harness.get();
        h->Config().m_strLot = "line1";
        m_source = std::make_unique<CLotSource>(m_store->Url(), h->Dir().Path(), "line1");
        h->Runner().SetIdentitySource(m_source.get());
        h->SelectRule(IDC_RULE_INCREASE);
        h->Window().Put(IDC_SERIAL_PORT, board.PortPath());
        h->Window().Put(IDC_MAC, "typed:is:ignored");
        return *h;
    }

    // As a face ends a run: a kept unit turns uncertain, the pool closes on the runner's thread.
    std::vector<std::string> EndRun() {
        CJobRunner& runner = m_harness->Runner();
        runner.EndRun();
        std::vector<std::string> notices;
        runner.RunOnThread([&] {
            if (m_source)
                notices = m_source->TakeNotices();
            m_source.reset();
        });
        runner.WaitIdle();
        runner.SetIdentitySource(nullptr);
        return notices;
    }

    LotStatus Status() {
        std::unique_ptr<IIdentityPool> pool = m_store->Open();
        std::vector<LotStatus> out;
        EXPECT_TRUE(pool && pool->Status("line1", out).Ok());
        return out.empty() ? LotStatus() : out.front();
    }

    std::unique_ptr<CTestPool> m_store;
    std::unique_ptr<CLotSource> m_source;
    std::unique_ptr<CJobHarness> m_harness;
};

} // namespace

TEST_P(LotJob, FailureBeforeTheFlashGivesTheUnitBack) {
    CBoardProcess board({"--flash", "nand", "--bootargs", kNandArgs, "--error-on", "mw.l:3"});
    CJobHarness* h = &Harness(board);
    ASSERT_TRUE(h->Run());
    ASSERT_EQ(h->Window().Dialogs().size(), 1u);
    EXPECT_TRUE(EndRun().empty());
    const LotStatus s = Status();
    EXPECT_EQ(s.free, 16u);
    EXPECT_EQ(s.reserved + s.uncertain + s.burnt, 0u);
    EXPECT_EQ(s.next->index, 0u);
}

TEST_P(LotJob, FailureAfterTheFlashKeepsTheUnitForTheNextBoard) {
    CBoardProcess board({"--flash", "nand", "--bootargs", kNandArgs, "--error-on", "nand write:1"});
    CJobHarness* h = &Harness(board);
    ASSERT_TRUE(h->Run());
    ASSERT_EQ(h->Window().Dialogs().size(), 1u);
    EXPECT_EQ(Status().reserved, 1u);
    // Restored after the failure, the MAC and ID show the pool's unit and cannot be edited, and the
    // rule and step buttons do nothing.
    EXPECT_EQ(h->Window().Text(IDC_MAC), "02:00:00:00:00:10");
    for (int id : {IDC_MAC, IDC_ID_STRING, IDC_ID_NUMBER, IDC_RULE_CLEAR, IDC_RULE_INCREASE, IDC_DOUBLE_NET})
        EXPECT_FALSE(h->Window().Enabled(id)) << id;
    EXPECT_TRUE(h->Window().Enabled(IDOK));
    // The operator presses OK again: the same unit, and this time the board takes it. (A next job
    // that took the next unit before it was stopped gives it back.)
    ASSERT_TRUE(h->Run(1));
    EXPECT_EQ(h->SuccessCount(), 1);
    EXPECT_TRUE(EndRun().empty());
    board.Stop();
    EXPECT_EQ(FlashAt(board.Flash(), 0x100000, 24), std::string("02:00:00:00:00:10\0SN0001", 24));
    const LotStatus s = Status();
    EXPECT_EQ(s.burnt, 1u);
    EXPECT_EQ(s.reserved + s.uncertain, 0u);
    EXPECT_EQ(s.next->index, 1u);
}

TEST_P(LotJob, RunEndingWithAKeptUnitLeavesItUncertain) {
    CBoardProcess board({"--flash", "nand", "--bootargs", kNandArgs, "--error-on", "nand write"});
    CJobHarness* h = &Harness(board);
    ASSERT_TRUE(h->Run());
    bool reservedLine = false;
    for (const auto& m : h->Window().StatusMessages())
        reservedLine =
            reservedLine ||
            m.text == "Unit 0 of lot 'line1' reserved: MAC 02:00:00:00:00:10, ID SN0001. 15 unit(s) left.";
    EXPECT_TRUE(reservedLine);
    const std::vector<std::string> notices = EndRun();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_NE(notices[0].find("02:00:00:00:00:10"), std::string::npos) << notices[0];
    EXPECT_NE(notices[0].find("pool resolve"), std::string::npos) << notices[0];
    const LotStatus s = Status();
    EXPECT_EQ(s.uncertain, 1u);
    EXPECT_EQ(s.reserved, 0u);
    EXPECT_EQ(s.next->index, 1u);
}

INSTANTIATE_TEST_SUITE_P(Stores, LotJob, ::testing::ValuesIn(PoolBackends()),
                         [](const auto& info) { return info.param; });
