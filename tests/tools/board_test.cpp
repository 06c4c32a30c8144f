// telvanor-board driven over its real pseudo-terminal with plain POSIX I/O and the tool's own
// frame builders, exchanging frames the way the tool does (input purged right after each write).
#include "BoardProcess.h"
#include "Frames.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fcntl.h>
#include <functional>
#include <map>
#include <memory>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kNoAnswer = -1;
constexpr std::uint32_t kStaging = 0x81000000;

class CRawPort {
public:
    explicit CRawPort(const std::string& path) {
        m_nFd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        termios tio{};
        if (m_nFd >= 0 && tcgetattr(m_nFd, &tio) == 0) {
            cfmakeraw(&tio);
            tcsetattr(m_nFd, TCSANOW, &tio);
        }
    }
    ~CRawPort() {
        if (m_nFd >= 0)
            close(m_nFd);
    }
    bool IsOpen() const { return m_nFd >= 0; }

    void Write(const Bytes& bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            ssize_t n = write(m_nFd, bytes.data() + done, bytes.size() - done);
            if (n > 0)
                done += std::size_t(n);
            else
                Wait(POLLOUT, 10);
        }
    }

    // As the tool does it: write the frame, discard what came in meanwhile, wait for one byte.
    int Exchange(const Bytes& frame, int ms = 500) {
        tcflush(m_nFd, TCIFLUSH);
        Write(frame);
        tcflush(m_nFd, TCIFLUSH);
        return ReadByte(ms);
    }

    // Like the tool's frame exchange: sent again while nothing comes back. On a busy machine the
    // purge can still beat the answer; the board answers the repeated frame again.
    int Send(const Bytes& frame, int attempts = 5) {
        int answer = kNoAnswer;
        for (int i = 0; i < attempts && answer == kNoAnswer; ++i)
            answer = Exchange(frame, 300);
        return answer;
    }

    int ReadByte(int ms) {
        auto deadline = Clock::now() + std::chrono::milliseconds(ms);
        do {
            std::uint8_t b;
            if (read(m_nFd, &b, 1) == 1)
                return b;
        } while (Wait(POLLIN, deadline));
        return kNoAnswer;
    }

    // Reads until the text contains the marker, or ms pass; returns everything read.
    std::string ReadUntil(const std::string& marker, int ms) {
        std::string text;
        auto deadline = Clock::now() + std::chrono::milliseconds(ms);
        while (text.find(marker) == std::string::npos && ReadSome(text, deadline)) {
        }
        return text;
    }

    // Reads until the line has been quiet for quietMs.
    std::string ReadQuiet(int quietMs) {
        std::string text;
        while (ReadSome(text, Clock::now() + std::chrono::milliseconds(quietMs))) {
        }
        return text;
    }

    // A console command as the tool sends it; the reply up to its end marker ("" when none).
    std::string Command(const std::string& text, int ms = 3000) {
        EXPECT_EQ(Send(BuildCommandHeadFrame(std::uint16_t(text.size()))), kAck) << text;
        EXPECT_EQ(Send(BuildCommandWordFrame(text)), kAck) << text;
        std::string reply = ReadUntil("[EOT]", ms);
        if (reply.find("[EOT]") == std::string::npos)
            return std::string();
        // "(ERROR)" may follow in a later read.
        return reply + ReadQuiet(20);
    }

    // True when the other end has gone (reads report end of file or an error).
    bool HungUp() {
        Wait(POLLIN, 500);
        std::uint8_t b;
        ssize_t n = read(m_nFd, &b, 1);
        return n == 0 || (n < 0 && errno != EAGAIN);
    }

private:
    bool Wait(short events, Clock::time_point deadline) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return false;
        return Wait(events, int(left));
    }
    bool Wait(short events, int ms) {
        pollfd fd{m_nFd, events, 0};
        return poll(&fd, 1, ms) >= 0;
    }
    bool ReadSome(std::string& text, Clock::time_point deadline) {
        char buffer[4096];
        for (;;) {
            ssize_t n = read(m_nFd, buffer, sizeof buffer);
            if (n > 0) {
                text.append(buffer, std::size_t(n));
                return true;
            }
            if (n == 0 || (n < 0 && errno != EAGAIN))
                return false;
            if (!Wait(POLLIN, deadline) || Clock::now() >= deadline)
                return false;
        }
    }

    int m_nFd = -1;
};

struct tagSegment {
    std::uint32_t address;
    Bytes data;
};

Bytes Pattern(std::size_t n, unsigned seed) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i)
        b[i] = std::uint8_t(i * 7 + seed);
    return b;
}

// A 64-byte segment (the one of the known head frame below) and one of 1025 bytes, which needs a full
// data frame, a 1-byte one and a tail numbered 3.
std::vector<tagSegment> DefaultSegments() {
    return {{0x12000, Pattern(64, 1)}, {kStaging, Pattern(1025, 3)}};
}

// Every frame of the download, in the tool's order: start, then head, data..., tail per segment.
std::vector<Bytes> DownloadFrames(const std::vector<tagSegment>& segments) {
    std::vector<Bytes> frames = {BuildStartFrame(0x1234, 0x1235)};
    for (const tagSegment& s : segments) {
        frames.push_back(BuildHeadFrame(std::uint32_t(s.data.size()), s.address));
        std::uint8_t k = 1;
        for (std::size_t sent = 0; sent < s.data.size(); ++k) {
            std::uint32_t n = std::uint32_t(std::min<std::size_t>(s.data.size() - sent, kMaxDataPerFrame));
            frames.push_back(BuildDataFrame(k, s.data.data() + sent, n));
            sent += n;
        }
        frames.push_back(BuildTailFrame(k));
    }
    return frames;
}

// The whole download; returns what the board printed with its announcement. Like the tool, it
// lets the line settle after the announcement before the first command.
std::string Boot(CRawPort& port, const std::vector<tagSegment>& segments = DefaultSegments(),
                 const std::string& announcement = "start download process.") {
    for (const Bytes& frame : DownloadFrames(segments))
        EXPECT_EQ(port.Send(frame), kAck) << "frame starting " << int(frame[0]);
    std::string printed = port.ReadUntil(announcement, 3000);
    return printed + port.ReadQuiet(30);
}

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

Bytes Slice(const Bytes& b, std::size_t at, std::size_t n) {
    if (at + n > b.size())
        return Bytes();
    return Bytes(b.begin() + std::ptrdiff_t(at), b.begin() + std::ptrdiff_t(at + n));
}

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// ---------------------------------------------------------------------------------------------
// Boot ROM

TEST(BoardBootRom, TakesTheReferenceFramesAndLoadsEverySegmentIntoRam) {
    CBoardProcess board({"--segments", "3"});
    ASSERT_TRUE(board.Started());
    CRawPort port(board.PortPath());
    ASSERT_TRUE(port.IsOpen());

    // Byte-exact frames with their CRCs, independent of the builders: a 64-byte segment's head at
    // 0x12000, data frame 1 carrying one zero byte, the tail after one data frame.
    const Bytes knownHead = {0xFE, 0x00, 0xFF, 0x01, 0x00, 0x00, 0x00,
                             0x40, 0x00, 0x01, 0x20, 0x00, 0x98, 0x1E};
    const Bytes knownData = {0xDA, 0x01, 0xFE, 0x00, 0xC7, 0x56};
    const Bytes knownTail = {0xED, 0x02, 0xFD, 0xBA, 0xB0};
    const Bytes first = Pattern(64, 1);
    const Bytes big = Pattern(1025, 3);

    EXPECT_EQ(port.Send(BuildStartFrame(7, 7)), kAck);
    EXPECT_EQ(port.Send(knownHead), kAck);
    EXPECT_EQ(port.Send(BuildDataFrame(1, first.data(), 64)), kAck);
    EXPECT_EQ(port.Send(knownTail), kAck);
    EXPECT_EQ(port.Send(BuildHeadFrame(1, 0x12040)), kAck);
    EXPECT_EQ(port.Send(knownData), kAck);
    EXPECT_EQ(port.Send(knownTail), kAck);
    EXPECT_EQ(port.Send(BuildHeadFrame(1025, kStaging)), kAck);
    EXPECT_EQ(port.Send(BuildDataFrame(1, big.data(), 1024)), kAck);
    EXPECT_EQ(port.Send(BuildDataFrame(2, big.data() + 1024, 1)), kAck);
    EXPECT_EQ(port.Send(BuildTailFrame(3)), kAck);
    std::string printed = port.ReadUntil("start download process.", 3000);
    EXPECT_NE(printed.find("start download process."), std::string::npos) << printed;

    std::vector<std::string> expected = {"power-on 1",    "start",      "head len=64 addr=0x12000",
                                         "data 1 n=64",   "tail 2",     "head len=1 addr=0x12040",
                                         "data 1 n=1",    "tail 2",     "head len=1025 addr=0x81000000",
                                         "data 1 n=1024", "data 2 n=1", "tail 3",
                                         "boot-loader"};
    std::vector<std::string> lines = board.TraceLines();
    lines.resize(std::min(lines.size(), expected.size()));
    EXPECT_EQ(lines, expected);

    Bytes ram = board.RamStaging();
    ASSERT_EQ(ram.size(), 65536u);
    EXPECT_EQ(Slice(ram, 0, 1025), big);
    EXPECT_EQ(ram[1025], 0x00);
}

TEST(BoardBootRom, FrameCountWrapsFrom255To0) {
    // 300 data frames: numbers 1..255, 0, 1..44, then a tail numbered 45.
    CBoardProcess board;
    ASSERT_TRUE(board.Started());
    CRawPort port(board.PortPath());
    std::string printed = Boot(port, {{0x12000, Pattern(300 * 1024, 5)}, {0x200000, Pattern(8, 0)}});
    EXPECT_NE(printed.find("start download process."), std::string::npos);
    std::vector<std::string> lines = board.TraceLines();
    EXPECT_TRUE(Contains(lines, "data 0 n=1024"));
    EXPECT_TRUE(Contains(lines, "tail 45"));
}

// A refused frame gets no 0xAA (or the injected wrong byte), leaves the board where it was, and
// the frame sent again is taken; the rest of the download then goes through.
TEST(BoardBootRom, RefusedFramesAreNotAnsweredAndTheResentFrameIsTaken) {
    // Frames of the default download: 0 start, 1 head, 2 data 1, 3 tail 2, 4 head, 5 data 1,
    // 6 data 2, 7 tail 3.
    struct Case {
        const char* name;
        std::vector<std::string> args;
        std::size_t frame;
        std::function<Bytes(const Bytes&)> send; // what goes out first in place of the frame
        int answer;
        bool resend;
        std::string traceLine;
        int resendAfterMs = 0;
    };
    auto same = [](const Bytes& f) { return f; };
    auto badCrc = [](const Bytes& f) {
        Bytes b = f;
        b.back() ^= 0x01;
        return b;
    };
    std::vector<Case> cases = {
        {"bad CRC", {}, 2, badCrc, kNoAnswer, true, "nak data 1 crc"},
        {"data number",
         {},
         2,
         [&](const Bytes&) { return BuildDataFrame(2, Pattern(64, 1).data(), 64); },
         kNoAnswer,
         true,
         "nak data 2 number, expected 1"},
        {"tail number",
         {},
         3,
         [](const Bytes&) { return BuildTailFrame(3); },
         kNoAnswer,
         true,
         "nak tail 3 number, expected 2"},
        {"tail complement",
         {},
         3,
         [](const Bytes&) {
             Bytes b = {0xED, 0x02, 0x02};
             AppendCrc(b);
             return b;
         },
         kNoAnswer,
         true,
         "drop 5"},
        {"bad CRC on a start frame", {}, 0, badCrc, kNoAnswer, true, "nak start crc"},
        {"garbage before a head",
         {},
         1,
         [](const Bytes& f) {
             Bytes b = {0x00, 0x13, 0xDA};
             b.insert(b.end(), f.begin(), f.end());
             return b;
         },
         kAck,
         false,
         "drop 3"},
        {"wrong ack on a data frame",
         {"--wrong-ack", "data:1"},
         2,
         same,
         0x55,
         true,
         "wrong-ack data 1 0x55"},
        {"wrong ack byte on a start frame",
         {"--wrong-ack=start:1:0x00"},
         0,
         same,
         0x00,
         true,
         "wrong-ack start 0x00"},
        {"wrong ack on a tail", {"--wrong-ack", "tail:2:0xab"}, 7, same, 0xAB, true, "wrong-ack tail 3 0xab"},
        {"injected CRC error on the second head",
         {"--crc-error", "head:2"},
         4,
         same,
         kNoAnswer,
         true,
         "nak head len=1025 addr=0x81000000 crc-injected"},
        {"silent start", {"--silent-start", "1"}, 0, same, kNoAnswer, true, "silent start 1"},
        {"power-on delay",
         {"--power-on-delay", "300"},
         0,
         same,
         kNoAnswer,
         true,
         "power-on-delay dropped 14",
         400},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CBoardProcess board(c.args);
        ASSERT_TRUE(board.Started());
        CRawPort port(board.PortPath());
        std::vector<Bytes> frames = DownloadFrames(DefaultSegments());
        for (std::size_t i = 0; i < frames.size(); ++i) {
            if (i == c.frame) {
                EXPECT_EQ(port.Exchange(c.send(frames[i]), c.answer == kNoAnswer ? 100 : 500), c.answer);
                if (!c.resend)
                    continue;
                std::this_thread::sleep_for(std::chrono::milliseconds(c.resendAfterMs));
            }
            EXPECT_EQ(port.Send(frames[i]), kAck) << "frame " << i;
        }
        std::string printed = port.ReadUntil("start download process.", 3000);
        EXPECT_NE(printed.find("start download process."), std::string::npos);
        EXPECT_TRUE(Contains(board.TraceLines(), c.traceLine)) << board.Trace();
    }
}

// When the tool's purge races the 0xAA it sends the same frame again: the board must answer it
// again (and repeat what followed it) without applying it twice, or the download stalls.
TEST(BoardBootRom, FrameSentAgainAfterALostAckIsAnsweredAgain) {
    CBoardProcess board;
    ASSERT_TRUE(board.Started());
    CRawPort port(board.PortPath());
    std::vector<Bytes> frames = DownloadFrames(DefaultSegments());
    for (std::size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(port.Send(frames[i]), kAck) << "frame " << i;
        if (i == 0 || i == 5) {
            EXPECT_EQ(port.Send(frames[i]), kAck) << "frame " << i << " again";
        }
    }
    EXPECT_NE(port.ReadUntil("start download process.", 3000).find("start download process."),
              std::string::npos);
    // The final tail again: the boot loader's announcement comes again.
    EXPECT_EQ(port.Send(frames.back()), kAck);
    EXPECT_NE(port.ReadUntil("start download process.", 3000).find("start download process."),
              std::string::npos);

    std::string info = port.Command("getinfo nand");
    EXPECT_EQ(port.Send(BuildCommandWordFrame("getinfo nand")), kAck);
    EXPECT_EQ(port.ReadUntil("[EOT]", 3000), info);
    // The same command sent anew (head first) runs as a new command.
    EXPECT_EQ(port.Command("getinfo nand"), info);

    std::vector<std::string> lines = board.TraceLines();
    for (const char* line : {"repeat start", "repeat data 1", "repeat tail 3", "repeat cmdword getinfo nand"})
        EXPECT_TRUE(Contains(lines, line)) << line;
    EXPECT_EQ(board.Commands(), (std::vector<std::string>{"getinfo nand", "getinfo nand"}));
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "power-on 1"), 1);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "power-on 2"), 0);
    EXPECT_EQ(Slice(board.RamStaging(), 0, 1025), Pattern(1025, 3));
}

// A start frame arriving at the console, or in place of a data frame, is a new power-on: the
// board answers it and takes a whole new download.
TEST(BoardBootRom, StartFrameAtTheConsoleOrInPlaceOfADataFrameIsANewPowerOn) {
    for (bool atConsole : {true, false}) {
        SCOPED_TRACE(atConsole ? "at the console" : "in place of a data frame");
        CBoardProcess board;
        ASSERT_TRUE(board.Started());
        CRawPort port(board.PortPath());
        std::vector<Bytes> frames = DownloadFrames(DefaultSegments());
        if (atConsole) {
            Boot(port);
            EXPECT_TRUE(EndsWith(port.Command("print"), "[EOT]"));
        } else {
            for (std::size_t i = 0; i < 2; ++i)
                EXPECT_EQ(port.Send(frames[i]), kAck);
        }
        std::string printed = Boot(port);
        EXPECT_NE(printed.find("start download process."), std::string::npos);
        EXPECT_TRUE(EndsWith(port.Command("getinfo nand"), "[EOT]"));
        EXPECT_TRUE(Contains(board.TraceLines(), "power-on 2")) << board.Trace();
        EXPECT_EQ(board.Stats()["power_ons"], 2u);
    }
}

// ---------------------------------------------------------------------------------------------
// Announcement

TEST(BoardAnnouncement, BannerAndNoiseComeBeforeTheAnnouncement) {
    {
        CBoardProcess board({"--banner", "Board A\\nRev 2"});
        ASSERT_TRUE(board.Started());
        CRawPort port(board.PortPath());
        EXPECT_EQ(Boot(port), "Board A\r\nRev 2\r\nstart download process.\r\n");
    }
    {
        CBoardProcess board({"--noise", "200"});
        ASSERT_TRUE(board.Started());
        CRawPort port(board.PortPath());
        std::string printed = Boot(port);
        std::size_t at = printed.find("start download process.");
        ASSERT_NE(at, std::string::npos);
        ASSERT_GE(at, 200u);
        // The tool reads the reply up to its first zero byte and takes five spaces as the CA
        // signal: noise must contain neither.
        std::string noise = printed.substr(0, 200);
        EXPECT_EQ(noise.find('\0'), std::string::npos);
        EXPECT_EQ(noise.find(' '), std::string::npos);
    }
}

TEST(BoardAnnouncement, CaBoardPrintsFiveSpacesAndWaitsForItsByte) {
    CBoardProcess board({"--ca"});
    ASSERT_TRUE(board.Started());
    CRawPort port(board.PortPath());
    std::string printed = Boot(port, DefaultSegments(), "     ");
    EXPECT_TRUE(EndsWith(printed, "     ")) << printed;
    EXPECT_EQ(printed.find("start download process."), std::string::npos);
    // The console is not there before the 0xAA.
    EXPECT_EQ(port.Exchange(BuildCommandHeadFrame(5), 100), kNoAnswer);
    port.Write({kAck});
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(EndsWith(port.Command("print"), "[EOT]"));
    EXPECT_TRUE(Contains(board.TraceLines(), "ca-ack"));
}

// ---------------------------------------------------------------------------------------------
// Console

// The "print" and "getinfo" replies as the tool parses them, per flash type.
TEST(BoardConsole, PrintAndGetinfoDescribeTheFlash) {
    struct Case {
        std::vector<std::string> args;
        std::string partitions; // expected in the bootargs line
        std::string ownType;
        std::string page, block;
        std::string otherType;
    };
    std::vector<Case> cases = {
        {{},
         "mtdparts=nand0:1M(boot),4M(kernel),1M(deviceinfo),-(rootfs)",
         "nand",
         "Page: 2KB, OOB: 64B",
         "Block: 128KB",
         "spi"},
        {{"--flash", "spi"},
         "mtdparts=flash_sfc:512k(boot),64k(env),64k(deviceinfo),-(rootfs)",
         "spi",
         "Page: 256B",
         "Block: 64KB",
         "nand"},
        // deviceinfo at 2 MiB: the tool then writes eMMC block 0x1000.
        {{"--flash", "emmc"},
         "blkdevparts=mmcblk0:1M(boot),1M(env),1M(deviceinfo),-(rootfs)",
         "emmc",
         "Page: 512B",
         "Block: 512B",
         "nand"},
        {{"--bootargs", "mtdparts=nand0:2M(deviceinfo)", "--getinfo-page", "Page: 4096",
          "--getinfo-block=Block: 256KB"},
         "bootargs=mtdparts=nand0:2M(deviceinfo)\r\n",
         "nand",
         "Page: 4096",
         "Block: 256KB",
         "emmc"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.partitions);
        CBoardProcess board(c.args);
        ASSERT_TRUE(board.Started());
        CRawPort port(board.PortPath());
        Boot(port);
        std::string print = port.Command("print");
        EXPECT_TRUE(EndsWith(print, "\r\n[EOT]")) << print;
        std::size_t bootargs = print.find("bootargs=");
        ASSERT_NE(bootargs, std::string::npos) << print;
        EXPECT_NE(print.find(c.partitions, bootargs), std::string::npos) << print;
        EXPECT_NE(print.find("baudrate=115200\r\n"), std::string::npos);

        std::string info = port.Command("getinfo " + c.ownType);
        EXPECT_TRUE(EndsWith(info, "[EOT]")) << info;
        EXPECT_NE(info.find(c.page + "\r\n"), std::string::npos) << info;
        EXPECT_NE(info.find(c.block + "\r\n"), std::string::npos) << info;
        EXPECT_TRUE(EndsWith(port.Command("getinfo " + c.otherType), "[EOT](ERROR)"));
    }
}

Bytes Le32(std::uint32_t v) {
    return {std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16), std::uint8_t(v >> 24)};
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

// Command sequences and the flash bytes they leave. NAND and SPI programming can only clear bits,
// so a write without an erase shows as an AND; eMMC simply overwrites.
TEST(BoardConsole, CommandsWriteTheFlashAsTheFlashTypeDoes) {
    struct Case {
        const char* name;
        std::string flash;
        std::vector<std::string> commands;
        std::uint64_t offset;
        Bytes expected;
    };
    const Bytes ff(0x20000 - 4, 0xff);
    std::vector<Case> cases = {
        {"nand block",
         "nand",
         {"mw.b 0x81000000 0xff 0x20000", "mw.l 0x81000000 0x313a3030 1", "nand erase 0x100000 0x20000",
          "nand write 0x81000000 0x100000 0x20000"},
         0x100000,
         Concat({{'0', '0', ':', '1'}, ff, {0xff}})},
        {"nand without erase",
         "nand",
         {"nand erase 0x500000 0x20000", "mw.l 0x81000000 0x0000ffff 1", "nand write 0x81000000 0x500000 4",
          "mw.l 81000000 ffff00f0", "nand write 81000000 500000 4"},
         0x500000,
         {0xf0, 0x00, 0x00, 0x00, 0xff}},
        {"nand erase restores",
         "nand",
         {"mw.l 0x81000000 0x0 1", "nand write 0x81000000 0x520000 4", "nand erase 0x520000 0x20000"},
         0x520000,
         {0xff, 0xff, 0xff, 0xff}},
        {"spi with probe",
         "spi",
         {"sf probe 0", "mw.b 0x81000000 0xff 100", "mw.l 0x81000000 0x434241 1", "sf erase 0x90000 0x10000",
          "sf write 0x81000000 0x90040 0x100", "mw.l 0x81000000 0xffffff0f 1",
          "sf write 0x81000000 0x90040 4"},
         0x90040,
         {0x01, 0x42, 0x43, 0x00, 0xff}},
        {"emmc overwrites",
         "emmc",
         {"mw.b 0x81000000 0xff 0x200", "mw.l 0x81000000 0x11111111 1", "mmc write 0 0x81000000 0x1000 1",
          "mw.l 0x81000000 0x22222222 1", "mmc write 0 0x81000000 0x1000 1"},
         0x200000,
         Concat({Le32(0x22222222), Bytes(508, 0xff), {0x00}})},
        {"emmc item block",
         "emmc",
         {"mw.b 0x81000000 0xff 100", "mw.l 0x81000000 0x434241 1", "mmc write 0 0x81000000 0x1001 1"},
         // The fill covers 256 bytes; the rest of the block is what the boot download left there.
         0x200200,
         Concat({{0x41, 0x42, 0x43, 0x00}, Bytes(252, 0xff), Slice(Pattern(1025, 3), 256, 256)})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CBoardProcess board({"--flash", c.flash});
        ASSERT_TRUE(board.Started());
        CRawPort port(board.PortPath());
        Boot(port);
        for (const std::string& command : c.commands)
            EXPECT_TRUE(EndsWith(port.Command(command), "[EOT]")) << command;
        EXPECT_EQ(board.Commands(), c.commands);
        Bytes flash = board.Flash();
        ASSERT_EQ(flash.size(), 64u << 20);
        EXPECT_EQ(Slice(flash, c.offset, c.expected.size()), c.expected);
    }
}

TEST(BoardConsole, ReadsTheFlashBackAndComputesCrc32) {
    // "123456789" has the CRC-32 cbf43926; the corrupted board flips the lowest bit of its '5'.
    struct Case {
        std::string flash;
        std::vector<std::string> extra;
        std::vector<std::string> write, read;
        std::uint64_t offset;
        const char* crc;
    };
    const std::vector<std::string> kStage = {"mw.l 0x81000000 0x34333231 1", "mw.l 0x81000004 0x38373635 1",
                                             "mw.b 0x81000008 0x39 1"};
    const std::vector<Case> cases = {
        {"nand",
         {},
         {"nand write 0x81000000 0x100000 0x9"},
         {"nand read 0x82000001 0x100000 0x9"},
         0x100000,
         "cbf43926"},
        {"spi",
         {},
         {"sf probe 0", "sf write 0x81000000 0x90000 0x9"},
         {"sf read 0x82000001 0x90000 0x9"},
         0x90000,
         "cbf43926"},
        {"emmc",
         {},
         {"mmc write 0 0x81000000 0x1000 1"},
         {"mmc read 0 0x82000001 0x1000 1"},
         0x200000,
         "cbf43926"},
        {"nand",
         {"--corrupt-flash", "0x100004"},
         // The second write of the power-on keeps the fault: only the first one is corrupted.
         {"nand write 0x81000000 0x100000 0x9", "nand write 0x81000000 0x100000 0x9"},
         {"nand read 0x82000001 0x100000 0x9"},
         0x100000,
         nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.flash + (c.extra.empty() ? "" : " corrupted"));
        std::vector<std::string> args = {"--flash", c.flash};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        CBoardProcess board(args);
        ASSERT_TRUE(board.Started());
        CRawPort port(board.PortPath());
        Boot(port);
        for (const std::string& command : kStage)
            EXPECT_TRUE(EndsWith(port.Command(command), "[EOT]")) << command;
        EXPECT_EQ(port.Command("crc32 0x81000000 0x9"),
                  "crc32 for 81000000 ... 81000008 ==> cbf43926\r\n[EOT]");
        for (const std::string& command : c.write)
            EXPECT_TRUE(EndsWith(port.Command(command), "[EOT]")) << command;
        // Read to an unaligned address, as a read-back into the middle of the staging area does.
        for (const std::string& command : c.read)
            EXPECT_TRUE(EndsWith(port.Command(command), "[EOT]")) << command;
        const std::string answer = port.Command("crc32 0x82000001 0x9");
        if (c.crc)
            EXPECT_EQ(answer, std::string("crc32 for 82000001 ... 82000009 ==> ") + c.crc + "\r\n[EOT]");
        else
            EXPECT_EQ(answer.find("cbf43926"), std::string::npos) << answer;
        const Bytes flash = board.Flash();
        EXPECT_EQ(Slice(flash, c.offset, 9),
                  (Bytes{'1', '2', '3', '4', std::uint8_t(c.crc ? '5' : '4'), '6', '7', '8', '9'}));
    }
}

TEST(BoardConsole, RefusedCommandsEndWithTheErrorMarker) {
    struct Case {
        std::string flash;
        std::string command;
        std::string message; // part of the error line
    };
    std::vector<Case> cases = {
        {"nand", "frobnicate 1", "Unknown command 'frobnicate'"},
        {"nand", "", "empty command"},
        {"nand", "print\x01", "Unknown command"},
        {"nand", "getinfo", "usage: getinfo"},
        {"nand", "mw.l 0x81000002 0x1 1", "unaligned"},
        {"nand", "mw.b 0x81000000 zz 1", "usage: mw.b"},
        {"nand", "mw.b 0x81000000 0x100 1", "does not fit in a byte"},
        {"nand", "mw.l 0x81000000 0x100000000 1", "usage: mw.l"},
        {"nand", "mw.b 0x0 0xff 0xffffffff", "exceed the memory"},
        {"nand", "nand erase 0x3ff0000 0x20000", "outside the flash"},
        {"nand", "nand write 0x81000000 0x4000000 0x1", "outside the flash"},
        {"nand", "nand write 0xffffff00 0x0 0x200", "leaves the memory"},
        {"nand", "nand erase 0x100000", "usage: nand"},
        {"nand", "sf probe 0", "no SPI flash"},
        {"nand", "mmc write 0 0x81000000 0x0 1", "no eMMC"},
        {"spi", "sf write 0x81000000 0x90000 0x100", "sf probe"},
        {"spi", "sf erase 0x90000 0x10000", "sf probe"},
        {"spi", "nand erase 0x0 0x1000", "no NAND"},
        {"emmc", "mmc write 1 0x81000000 0x0 1", "no device"},
        {"emmc", "mmc write 0 0x81000000 0x20000 1", "outside the flash"},
        {"emmc", "mmc read 0 0x81000000 0x20000 1", "outside the flash"},
        {"emmc", "mmc read 1 0x81000000 0x0 1", "no device"},
        {"nand", "nand read 0x81000000 0x4000000 0x1", "outside the flash"},
        {"nand", "nand read 0x81000000 0x0", "usage: nand"},
        {"spi", "sf read 0x81000000 0x90000 0x100", "sf probe"},
        {"nand", "crc32 0x81000000", "usage: crc32"},
        {"nand", "crc32 0xffffff00 0x200", "leave the memory"},
    };
    std::map<std::string, std::unique_ptr<CBoardProcess>> boards;
    std::map<std::string, std::unique_ptr<CRawPort>> ports;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        if (!boards.count(c.flash)) {
            boards[c.flash] = std::make_unique<CBoardProcess>(std::vector<std::string>{"--flash", c.flash});
            ASSERT_TRUE(boards[c.flash]->Started());
            ports[c.flash] = std::make_unique<CRawPort>(boards[c.flash]->PortPath());
            Boot(*ports[c.flash]);
        }
        std::string reply = ports[c.flash]->Command(c.command);
        EXPECT_TRUE(EndsWith(reply, "\r\n[EOT](ERROR)")) << reply;
        EXPECT_NE(reply.find(c.message), std::string::npos) << reply;
        // Still at its console after the refusal.
        EXPECT_TRUE(EndsWith(ports[c.flash]->Command("getinfo " + (c.flash == "spi" ? c.flash : "nand")),
                             c.flash == "emmc" ? "[EOT](ERROR)" : "[EOT]"));
    }
    // Control bytes of a command stay on one trace line.
    EXPECT_TRUE(Contains(boards["nand"]->Commands(), "print\\x01"));
    // Nothing refused reached the flash.
    Bytes flash = boards["nand"]->Flash();
    EXPECT_EQ(std::count(flash.begin(), flash.end(), 0xff), std::ptrdiff_t(64u << 20));
}

// The console's fault rules: which commands end how.
TEST(BoardConsole, CommandFaultRulesPickTheirCommands) {
    struct Case {
        std::vector<std::string> args;
        std::vector<std::pair<std::string, std::string>> commands; // text, "ok" | "error" | "none"
    };
    std::vector<Case> cases = {
        {{"--error-on", "mw.l:2"},
         {{"mw.l 0x81000000 0x1 1", "ok"},
          {"mw.l 0x81000004 0x2 1", "error"},
          {"mw.l 0x81000008 0x3 1", "ok"}}},
        {{"--error-on", "print"}, {{"print", "error"}, {"getinfo nand", "ok"}, {"print", "error"}}},
        {{"--silent-on", "getinfo:1", "--error-on", "getinfo:2"},
         {{"getinfo nand", "none"}, {"getinfo nand", "error"}, {"getinfo nand", "ok"}}},
        {{"--delay-ms", "150"}, {{"print", "ok"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        CBoardProcess board(c.args);
        ASSERT_TRUE(board.Started());
        CRawPort port(board.PortPath());
        Boot(port);
        for (const auto& [text, outcome] : c.commands) {
            auto start = Clock::now();
            std::string reply = port.Command(text, outcome == "none" ? 300 : 3000);
            if (outcome == "none")
                EXPECT_EQ(reply, "") << text;
            else
                EXPECT_TRUE(EndsWith(reply, outcome == "ok" ? "[EOT]" : "[EOT](ERROR)"))
                    << text << ": " << reply;
            if (c.args[0] == "--delay-ms") {
                EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(150));
            }
        }
    }
}

TEST(BoardConsole, HugeReplyHasItsSizeAndNoMarker) {
    CBoardProcess board({"--huge-reply", "print:100000"});
    ASSERT_TRUE(board.Started());
    CRawPort port(board.PortPath());
    Boot(port);
    EXPECT_EQ(port.Send(BuildCommandHeadFrame(5)), kAck);
    EXPECT_EQ(port.Send(BuildCommandWordFrame("print")), kAck);
    std::string reply = port.ReadQuiet(300);
    EXPECT_EQ(reply.size(), 100000u);
    EXPECT_EQ(reply.find("[EOT]"), std::string::npos);
    EXPECT_TRUE(EndsWith(port.Command("getinfo nand"), "[EOT]"));
}

TEST(BoardConsole, SplitMarkersArriveInTwoParts) {
    CBoardProcess board({"--split-markers"});
    ASSERT_TRUE(board.Started());
    CRawPort port(board.PortPath());
    Boot(port);
    for (std::string command : {"print", "nonsense"}) {
        SCOPED_TRACE(command);
        EXPECT_EQ(port.Send(BuildCommandHeadFrame(std::uint16_t(command.size()))), kAck);
        EXPECT_EQ(port.Send(BuildCommandWordFrame(command)), kAck);
        std::string first = port.ReadUntil("[EO", 3000);
        EXPECT_TRUE(EndsWith(first, "[EO")) << first;
        std::string rest = port.ReadQuiet(200);
        EXPECT_EQ(rest, command == "print" ? "T]" : "T](ERROR)");
    }
}

// ---------------------------------------------------------------------------------------------
// Power-ons, pacing, exits

TEST(BoardPowerOn, FlashPersistsUnlessBoardsAreSwappedAndRamIsLost) {
    const std::vector<tagSegment> segments = {{0x12000, Pattern(64, 1)}, {0x13000, Pattern(64, 2)}};
    for (bool swap : {false, true}) {
        SCOPED_TRACE(swap ? "swapped" : "same board");
        CBoardProcess board(swap ? std::vector<std::string>{"--swap-boards"} : std::vector<std::string>{});
        ASSERT_TRUE(board.Started());
        CRawPort port(board.PortPath());
        Boot(port, segments);
        for (const char* command : {"mw.l 0x81000000 0x11223344 1", "nand erase 0x100000 0x20000",
                                    "nand write 0x81000000 0x100000 4"})
            EXPECT_TRUE(EndsWith(port.Command(command), "[EOT]"));
        Boot(port, segments);
        EXPECT_TRUE(EndsWith(port.Command("print"), "[EOT]"));

        EXPECT_EQ(Slice(board.RamStaging(), 0, 4), Bytes(4, 0x00));
        Bytes expected = swap ? Bytes(4, 0xff) : Le32(0x11223344);
        EXPECT_EQ(Slice(board.Flash(), 0x100000, 4), expected);
        auto stats = board.Stats();
        EXPECT_EQ(stats["power_ons"], 2u);
        EXPECT_EQ(stats["commands"], 4u);
        EXPECT_GT(stats["power_on.2.start_ns"], stats["power_on.1.last_eot_ns"]);
        EXPECT_GT(stats["power_on.1.last_eot_ns"], stats["power_on.1.start_ns"]);
        EXPECT_GT(stats["power_on.2.last_eot_ns"], stats["power_on.2.start_ns"]);
    }
}

// With --pace the board cannot answer before the frame has crossed a 115200-baud line, and its
// replies take their own wire time.
TEST(BoardTiming, PacedBoardTakesTheLineTime) {
    constexpr double kByteMs = 10.0 * 1000 / 115200;
    CBoardProcess board({"--pace"});
    ASSERT_TRUE(board.Started());
    CRawPort port(board.PortPath());
    std::vector<Bytes> frames = DownloadFrames(DefaultSegments());
    for (const Bytes& frame : frames) {
        auto start = Clock::now();
        EXPECT_EQ(port.Send(frame), kAck);
        double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        EXPECT_GE(ms, frame.size() * kByteMs) << "frame of " << frame.size() << " bytes";
    }
    port.ReadUntil("start download process.\r\n", 3000);
    EXPECT_EQ(port.Send(BuildCommandHeadFrame(5)), kAck);
    // From the word frame's write: the frame, its 0xAA and the whole reply cross the line.
    Bytes word = BuildCommandWordFrame("print");
    auto start = Clock::now();
    EXPECT_EQ(port.Send(word), kAck);
    std::string reply = port.ReadUntil("[EOT]", 3000);
    double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    ASSERT_TRUE(EndsWith(reply, "[EOT]"));
    EXPECT_GE(ms, double(word.size() + 1 + reply.size()) * kByteMs);
}

// Every way the board ends by itself: it closes the line at the point asked for, writes its
// outputs and exits 0.
TEST(BoardExit, EndsAtTheRequestedPoint) {
    struct Case {
        std::vector<std::string> args;
        std::function<void(CRawPort&, const std::vector<Bytes>&)> drive;
        std::string lastTraceLine;
    };
    auto upTo = [](std::size_t n) {
        return [n](CRawPort& port, const std::vector<Bytes>& frames) {
            for (std::size_t i = 0; i < n; ++i)
                EXPECT_EQ(port.Send(frames[i]), kAck) << "frame " << i;
            EXPECT_EQ(port.Exchange(frames[n], 200), kNoAnswer);
        };
    };
    std::vector<Case> cases = {
        {{"--disconnect-at", "start"}, upTo(0), "disconnect start"},
        {{"--disconnect-at", "data:2"}, upTo(5), "disconnect data 1"},
        {{"--disconnect-at", "wait"},
         [](CRawPort& port, const std::vector<Bytes>& frames) {
             for (const Bytes& f : frames)
                 EXPECT_EQ(port.Send(f), kAck);
             EXPECT_EQ(port.ReadUntil("start download process.", 500).find("start"), std::string::npos);
         },
         "disconnect wait"},
        {{"--disconnect-at", "cmd:getinfo"},
         [](CRawPort& port, const std::vector<Bytes>&) {
             Boot(port);
             EXPECT_TRUE(EndsWith(port.Command("print"), "[EOT]"));
             EXPECT_EQ(port.Command("getinfo nand", 500), "");
         },
         "disconnect cmd"},
        {{"--disconnect-at", "after-cmd:print:2"},
         [](CRawPort& port, const std::vector<Bytes>&) {
             Boot(port);
             EXPECT_TRUE(EndsWith(port.Command("print"), "[EOT]"));
             EXPECT_TRUE(EndsWith(port.Command("print"), "[EOT]"));
         },
         "disconnect after-cmd"},
        {{"--exit-after-boards", "1:100"},
         [](CRawPort& port, const std::vector<Bytes>&) {
             Boot(port);
             EXPECT_TRUE(EndsWith(port.Command("print"), "[EOT]"));
         },
         "exit after board 1"},
        {{"--exit-after-boards", "1:60000"},
         [](CRawPort& port, const std::vector<Bytes>& frames) {
             Boot(port);
             EXPECT_TRUE(EndsWith(port.Command("print"), "[EOT]"));
             EXPECT_EQ(port.Exchange(frames[0], 200), kNoAnswer);
         },
         "exit at start of board 2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        CBoardProcess board(c.args);
        ASSERT_TRUE(board.Started());
        CRawPort port(board.PortPath());
        c.drive(port, DownloadFrames(DefaultSegments()));
        ASSERT_TRUE(board.WaitForExit(5000));
        EXPECT_EQ(board.ExitCode(), 0);
        EXPECT_TRUE(port.HungUp());
        std::vector<std::string> lines = board.TraceLines();
        ASSERT_GE(lines.size(), 2u);
        EXPECT_EQ(lines[lines.size() - 2], c.lastTraceLine);
        EXPECT_EQ(lines.back(), "exit");
        EXPECT_EQ(board.Flash().size(), 64u << 20);
    }
}

// ---------------------------------------------------------------------------------------------
// Command line

int RunBoard(const std::vector<std::string>& args, std::string& out) {
    std::vector<std::string> all = {TELVANOR_BOARD_EXE};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    int fds[2];
    if (pipe(fds) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDERR_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    pid_t pid = -1;
    int rc = posix_spawn(&pid, TELVANOR_BOARD_EXE, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    char buffer[4096];
    for (ssize_t n; rc == 0 && (n = read(fds[0], buffer, sizeof buffer)) > 0;)
        out.append(buffer, std::size_t(n));
    close(fds[0]);
    int status = 0;
    if (rc != 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

TEST(BoardCommandLine, BadOptionsAreUsageErrors) {
    const std::vector<std::vector<std::string>> bad = {
        {"--flash", "fat"},
        {"--nope"},
        {"--segments", "0"},
        {"--flash-size", "5G"},
        {"--wrong-ack", "bogus:1"},
        {"--wrong-ack", "data:0"},
        {"--crc-error", "data:1:2"},
        {"--disconnect-at", "later"},
        {"--huge-reply", "print"},
        {"--exit-after-boards", "x"},
        {"--delay-ms"},
        {"--pace=yes"},
        {"--noise", "-1"},
    };
    for (const auto& args : bad) {
        std::string out;
        EXPECT_EQ(RunBoard(args, out), 64) << ::testing::PrintToString(args);
        EXPECT_NE(out.find("telvanor-board: "), std::string::npos) << out;
    }
    std::string help;
    EXPECT_EQ(RunBoard({"--help"}, help), 0);
    EXPECT_NE(help.find("--disconnect-at POINT"), std::string::npos);
}

} // namespace
