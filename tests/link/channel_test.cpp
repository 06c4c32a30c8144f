// The acknowledged frame exchange and the traffic log, over a scripted port and over a real
// pseudo-terminal against the virtual board.
#include "ChannelHarness.h"

#include "Frames.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <deque>
#include <thread>

namespace {

// A port whose answers are scripted: each Read returns the next scripted chunk (or nothing).
class CScriptedPort : public IPort {
public:
    std::deque<Bytes> answers;
    std::vector<Bytes> written;
    std::uint32_t shortBy = 0;
    int purgesRx = 0;

    bool Open(const std::string&) override { return open = true; }
    void Close() override { open = false; }
    bool IsOpen() const override { return open; }
    void SetTimeouts(unsigned, unsigned) override {}
    std::uint32_t Write(const std::uint8_t* data, std::uint32_t n) override {
        written.emplace_back(data, data + n);
        return n - shortBy;
    }
    std::uint32_t Read(std::uint8_t* buffer, std::uint32_t n) override {
        if (answers.empty())
            return 0;
        Bytes a = answers.front();
        answers.pop_front();
        const std::uint32_t k = std::min<std::uint32_t>(n, std::uint32_t(a.size()));
        std::copy(a.begin(), a.begin() + k, buffer);
        return k;
    }
    bool QuietFor(std::uint32_t) override { return answers.empty(); }
    void PurgeRx() override { ++purgesRx; }
    void PurgeTx() override {}
    bool IsLost() const override { return false; }
    void SetStopFlag(std::shared_ptr<CStopFlag>) override {}
    bool open = false;
};

} // namespace

TEST(ChannelScripted, AcknowledgedFrameIsLoggedAsOneByte) {
    CChannelHarness h;
    auto port = std::make_unique<CScriptedPort>();
    CScriptedPort* p = port.get();
    p->answers = {{0xAA}};
    h.Comm().SetPort(std::move(port));
    ASSERT_TRUE(h.Comm().Open("COM12"));
    const Bytes frame = BuildTailFrame(2);
    EXPECT_EQ(h.Comm().SendFrame(frame.data(), 5, 127), 1);
    ASSERT_EQ(p->written.size(), 1u);
    EXPECT_EQ(p->written[0], frame);
    EXPECT_EQ(h.LogFile(), "\xAA");
}

TEST(ChannelScripted, WrongAckResendsWholeFrameThenAttemptsRunOut) {
    CChannelHarness h;
    auto port = std::make_unique<CScriptedPort>();
    CScriptedPort* p = port.get();
    p->answers = {{0x55}, {}, {0xAA}};
    h.Comm().SetPort(std::move(port));
    ASSERT_TRUE(h.Comm().Open("COM3"));
    const Bytes frame = BuildHeadFrame(64, 0x12000);
    EXPECT_EQ(h.Comm().SendFrame(frame.data(), 14, 127), 1);
    ASSERT_EQ(p->written.size(), 3u);
    for (const Bytes& w : p->written)
        EXPECT_EQ(w, frame); // every attempt from the frame's first byte
    EXPECT_EQ(p->purgesRx, 3);

    p->written.clear();
    p->answers = {{0x55}, {0x55}, {0x55}, {0xAA}};
    EXPECT_EQ(h.Comm().SendFrame(frame.data(), 14, 3), 0);
    EXPECT_EQ(p->written.size(), 3u);
    EXPECT_EQ(h.Comm().SendFrame(frame.data(), 14, 0), 0);
    EXPECT_EQ(p->written.size(), 3u);
}

TEST(ChannelScripted, ShortWriteEndsAtOnce) {
    CChannelHarness h;
    auto port = std::make_unique<CScriptedPort>();
    CScriptedPort* p = port.get();
    p->shortBy = 1;
    p->answers = {{0xAA}};
    h.Comm().SetPort(std::move(port));
    ASSERT_TRUE(h.Comm().Open("COM3"));
    const Bytes frame = BuildTailFrame(1);
    EXPECT_EQ(h.Comm().SendFrame(frame.data(), 5, 127), 0);
    EXPECT_EQ(p->written.size(), 1u);
}

TEST(ChannelScripted, ReceivedBytesReachTheLogExactlyOnce) {
    CChannelHarness h;
    auto port = std::make_unique<CScriptedPort>();
    CScriptedPort* p = port.get();
    h.Comm().SetPort(std::move(port));
    std::uint8_t chunk[CSerialComm::kChunkSize + 1];
    ASSERT_TRUE(h.Comm().Open("COM3"));
    p->answers = {Bytes{'a', 'b', 'c'}};
    EXPECT_EQ(h.Comm().ReceiveChunk(chunk), 3u);
    h.Comm().Close();
    ASSERT_TRUE(h.Comm().Open("COM3")); // its Close logs nothing new
    p->answers = {Bytes{'d', 'e'}};
    EXPECT_EQ(h.Comm().ReceiveChunk(chunk), 2u);
    h.Comm().Close();
    h.Comm().Close();
    EXPECT_EQ(h.LogFile(), "abcde");
}

TEST(ChannelScripted, LogIsLetGoWhenThePortCloses) {
    // An operator may delete or move "Log.txt" between boards: the next job writes a new one.
    CChannelHarness h;
    auto port = std::make_unique<CScriptedPort>();
    CScriptedPort* p = port.get();
    h.Comm().SetPort(std::move(port));
    const Bytes frame = BuildTailFrame(2);
    ASSERT_TRUE(h.Comm().Open("COM3"));
    p->answers = {{0xAA}};
    ASSERT_EQ(h.Comm().SendFrame(frame.data(), 5, 1), 1);
    h.Comm().Close();
    ASSERT_EQ(std::remove((h.Dir().File("Log.txt")).c_str()), 0);
    ASSERT_TRUE(h.Comm().Open("COM3"));
    p->answers = {{0xAA}};
    ASSERT_EQ(h.Comm().SendFrame(frame.data(), 5, 1), 1);
    EXPECT_EQ(h.LogFile(), "\xAA");
}

TEST(ChannelScripted, ChunkDisplayDropsMarkersAndBlankChunks) {
    CChannelHarness h;
    auto port = std::make_unique<CScriptedPort>();
    CScriptedPort* p = port.get();
    h.Comm().SetPort(std::move(port));
    ASSERT_TRUE(h.Comm().Open("COM3"));
    std::uint8_t chunk[CSerialComm::kChunkSize + 1];
    p->answers = {Bytes{'\r', '\n', '[', 'E', 'O', 'T', ']', '\r', '\n'},
                  Bytes{' ', 'o', 'k', '[', 'E', 'O', 'T', ']', ' '}};
    h.Comm().ReceiveChunk(chunk);
    h.Comm().ReceiveChunk(chunk);
    const auto status = h.Window().StatusMessages();
    ASSERT_EQ(status.size(), 1u);
    EXPECT_EQ(status[0].text, "ok");
    EXPECT_EQ(status[0].kind, 3);
}

TEST(ChannelBoard, OpenFailureNamesThePort) {
    CChannelHarness h;
    EXPECT_EQ(h.Comm().Open("/dev/telvanor-missing"), 0);
    // The message as it always was, then the system's reason on a line of its own.
    EXPECT_EQ(h.Window().Log(), "\r\nFailed to open /dev/telvanor-missing!\r\n"
                                "Reason given by the system: No such file or directory.");
    EXPECT_EQ(h.Comm().Status(), "Failed to open /dev/telvanor-missing!");
}

TEST(ChannelBoard, WrongAckOverThePseudoTerminal) {
    CBoardProcess board({"--wrong-ack", "start:1"});
    CChannelHarness h;
    ASSERT_EQ(h.Comm().Open(board.PortPath()), 1);
    EXPECT_EQ(h.Comm().SendStartFrame(), 1);
    h.Comm().Close();
    board.Stop();
    const std::string trace = board.Trace();
    // Refused once, accepted on the second attempt.
    size_t first = trace.find("start");
    ASSERT_NE(first, std::string::npos);
    EXPECT_NE(trace.find("start", first + 5), std::string::npos);
    EXPECT_EQ(h.LogFile(), "\xAA");
}

// On a pseudo-terminal the board can answer within microseconds, and a busy machine can hold the
// tool's thread up between writing a frame and reading the answer: the answer is still the frame's,
// so every frame is acknowledged at its first attempt and nothing is sent twice.
TEST(ChannelBoard, ThreadHeldUpAfterTheWriteLosesNoAcknowledgement) {
    CBoardProcess board({"--ack-delay-us", "0"});
    CChannelHarness h;
    static const Bytes code(2048, 0x11);
    h.Comm().SetSegments({{0x12000, 2048, code.data()}, {0x10C00, 64, code.data()}});
    h.Comm().SetFrameWrittenHook([] { std::this_thread::sleep_for(std::chrono::milliseconds(20)); });
    ASSERT_EQ(h.Comm().Open(board.PortPath()), 1);
    EXPECT_EQ(h.Comm().DownloadSegments(), 1);
    EXPECT_EQ(h.Comm().WaitBootStart(), 1);
    EXPECT_EQ(h.Comm().SendCommand("mw.b 0x81000000 0xff 0x10", 2000), 1);
    h.Comm().Close();
    board.Stop();
    // Start, two heads, three data frames, two tails, a command's head and word.
    EXPECT_EQ(board.Stats()["frames_acked"], 10u);
    for (const std::string& line : board.TraceLines())
        EXPECT_EQ(line.rfind("repeat", 0), std::string::npos) << line;
}

namespace {

Bytes Text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

} // namespace

struct AnnounceCase {
    const char* name;
    int isCA;
    std::vector<std::string> chunks;
    int expected;
    bool answersAck;
};

// Test names in the output, not the bytes of the case.
inline void PrintTo(const AnnounceCase& c, std::ostream* os) {
    *os << c.name;
}

class AnnouncementTable : public ::testing::TestWithParam<AnnounceCase> {};

TEST_P(AnnouncementTable, WaitBootStart) {
    const AnnounceCase& c = GetParam();
    CChannelHarness h(c.isCA);
    auto port = std::make_unique<CScriptedPort>();
    CScriptedPort* p = port.get();
    for (const std::string& chunk : c.chunks)
        p->answers.push_back(Text(chunk));
    h.Comm().SetPort(std::move(port));
    ASSERT_TRUE(h.Comm().Open("COM1"));
    EXPECT_EQ(h.Comm().WaitBootStart(), c.expected);
    EXPECT_EQ(!p->written.empty() && p->written.back() == Bytes{0xAA}, c.answersAck);
    if (c.expected) {
        EXPECT_EQ(h.Window().StatusMessages().back().text, "Boot started successfully!");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Replies, AnnouncementTable,
    ::testing::Values(
        AnnounceCase{"Whole", 0, {"U-Boot\r\nstart download process.\r\n"}, 1, false},
        AnnounceCase{"SplitAcrossReads", 0, {"start down", "load process."}, 1, false},
        AnnounceCase{"FiveSpacesWithoutCaDoNotCount", 0, {"  ", "   "}, 0, false},
        AnnounceCase{"CaFiveSpacesAcrossChunks", 1, {"boot  ", "   x"}, 1, true},
        AnnounceCase{"CaStillTakesTheText", 1, {"start download process."}, 1, false},
        // A zero byte of line noise must not hide the announcement after it.
        AnnounceCase{
            "NoiseWithZeroByte", 0, {std::string("\x00\x13garbage", 9), "start download process."}, 1, false},
        AnnounceCase{"Nothing", 0, {}, 0, false}),
    [](const ::testing::TestParamInfo<AnnounceCase>& i) { return std::string(i.param.name); });

TEST(ChannelBoard, AttemptsRunOutAgainstASilentBoard) {
    CBoardProcess board({"--power-on-delay", "60000"});
    CChannelHarness h;
    ASSERT_EQ(h.Comm().Open(board.PortPath()), 1);
    h.Comm().SetTimeouts(13, 13);
    const Bytes frame = BuildStartFrame(1, 1);
    EXPECT_EQ(h.Comm().SendFrame(frame.data(), 14, 5), 0);
    h.Comm().Close();
    board.Stop();
    EXPECT_EQ(board.Stats()["bytes_received"], 5u * 14u);
    EXPECT_EQ(h.LogFile(), "");
}

TEST(ChannelBoard, TrafficLogHoldsEveryReceivedByteOnce) {
    CBoardProcess board({"--banner", "BANNER-LINE"});
    CChannelHarness h;
    static const Bytes code(64, 0x11);
    h.Comm().SetSegments({{0x12000, 64, code.data()}, {0x10C00, 64, code.data()}});
    for (int job = 0; job < 2; ++job) { // two jobs in one run: the first job's traffic is not logged again
        ASSERT_EQ(h.Comm().Open(board.PortPath()), 1);
        ASSERT_EQ(h.Comm().DownloadSegments(), 1);
        ASSERT_EQ(h.Comm().WaitBootStart(), 1);
        ASSERT_EQ(h.Comm().SendCommand("mw.b 0x81000000 0xff 0x10", 2000), 1);
    }
    h.Comm().Close();
    board.Stop();
    const std::string log = h.LogFile();
    auto count = [&](const std::string& needle) {
        size_t n = 0;
        for (size_t at = 0; (at = log.find(needle, at)) != std::string::npos; at += needle.size())
            ++n;
        return n;
    };
    EXPECT_EQ(count("BANNER-LINE"), 2u);
    EXPECT_EQ(count("start download process."), 2u);
    EXPECT_EQ(count(std::string("\xED\x02\xFD", 3)), 4u); // both tail frames of both jobs
    // Every byte the board sent, once: acknowledgements plus the console output.
    EXPECT_EQ(log.size(), board.Stats()["bytes_sent"] + 4u * 5u);
}
