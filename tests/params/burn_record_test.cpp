#include "BurnRecord.h"

#include "ControlIds.h"
#include "EntriesWindow.h"
#include "FakeWindow.h"

#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// A record text: "YYYY/MM/DD hh:mm:ss" followed exactly by the given rest.
bool IsRecord(const std::string& text, const std::string& rest) {
    const std::string shape = "dddd/dd/dd dd:dd:dd";
    if (text.size() != shape.size() + rest.size() || text.compare(shape.size(), rest.size(), rest) != 0)
        return false;
    for (size_t i = 0; i < shape.size(); ++i)
        if (shape[i] == 'd' ? !std::isdigit(static_cast<unsigned char>(text[i])) : text[i] != shape[i])
            return false;
    return true;
}

std::string ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

class BurnRecordTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "telvanor-record-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        path = (dir / "BurntMacandIDList.txt").string();
    }
    void TearDown() override {
        if (holder > 0) {
            ::kill(holder, SIGKILL);
            ::waitpid(holder, nullptr, 0);
        }
        fs::remove_all(dir);
    }

    // Another program that opens the record file and holds its lock for ms milliseconds.
    void HoldFileInAnotherProcess(int ms) {
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        holder = ::fork();
        ASSERT_GE(holder, 0);
        if (holder == 0) {
            const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT, 0644);
            if (fd < 0 || ::flock(fd, LOCK_EX) != 0)
                ::_exit(1);
            const char go = 1;
            if (::write(ready[1], &go, 1) != 1)
                ::_exit(1);
            ::usleep(useconds_t(ms) * 1000u);
            ::_exit(0);
        }
        ::close(ready[1]);
        char go = 0;
        ASSERT_EQ(::read(ready[0], &go, 1), 1);
        ::close(ready[0]);
    }

    fs::path dir;
    std::string path;
    pid_t holder = -1;
};

TEST(BurnRecordFormat, TimeAndFieldsAsRecorded) {
    const char* oldTz = std::getenv("TZ");
    const std::string saved = oldTz ? oldTz : "";
    ::setenv("TZ", "UTC0", 1);
    ::tzset();
    EXPECT_EQ(FormatRecordTime(1709622489), "\n2024/03/05 07:08:09"); // leading zeros everywhere
    EXPECT_EQ(FormatRecordTime(0), "\n1970/01/01 00:00:00");
    EXPECT_EQ(FormatRecord(1709622489, "00:a1:bb:c3:44:E5", "SN0001"),
              "\n2024/03/05 07:08:09   00:a1:bb:c3:44:E5   SN0001");
    EXPECT_EQ(FormatRecord(1709622489, "", "SN0001"), "\n2024/03/05 07:08:09      SN0001");
    EXPECT_EQ(FormatRecord(1709622489, "00:a1:bb:c3:44:E5", ""),
              "\n2024/03/05 07:08:09   00:a1:bb:c3:44:E5   ");
    if (oldTz)
        ::setenv("TZ", saved.c_str(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();
}

TEST_F(BurnRecordTest, FirstRecordCreatesTheFileWithExactBytes) {
    // The plain form typed in the window is recorded in the burn form, case kept.
    CFakeWindow window;
    window.Put(IDC_MAC, "00a1bbc344E5");
    window.Put(IDC_ID_STRING, "SN");
    window.Put(IDC_ID_NUMBER, "0001");
    const tagBurnEntries e = ReadBurnEntries(window, BurnConfig{});

    const RecordResult r = AppendBurnRecord(path, e.strMac, e.strId);

    EXPECT_TRUE(r.written);
    EXPECT_TRUE(IsRecord(r.recordText, "   00:a1:bb:c3:44:E5   SN0001")) << r.recordText;
    EXPECT_EQ(ReadAll(path), "\r\n" + r.recordText);
}

TEST_F(BurnRecordTest, EmptyMacOrEmptyIdLeaveTheirFieldEmpty) {
    const RecordResult noMac = AppendBurnRecord(path, "", "SN0001");
    const RecordResult noId = AppendBurnRecord(path, "00:a1:bb:c3:44:e5", "");
    ASSERT_TRUE(noMac.written && noId.written);
    EXPECT_TRUE(IsRecord(noMac.recordText, "      SN0001"));
    EXPECT_TRUE(IsRecord(noId.recordText, "   00:a1:bb:c3:44:e5   "));
    EXPECT_EQ(ReadAll(path), "\r\n" + noMac.recordText + "\r\n" + noId.recordText);
}

TEST_F(BurnRecordTest, TwoBoardsInARowUnderIncrease) {
    CFakeWindow window;
    window.SetChecked(IDC_RULE_CLEAR, false);
    window.SetChecked(IDC_RULE_INCREASE, true);
    window.Put(IDC_MAC, "00A1BBC344E5");
    window.Put(IDC_ID_STRING, "<String>");
    const BurnConfig config;

    const tagBurnEntries first = ReadBurnEntries(window, config);
    const RecordResult r1 = AppendBurnRecord(path, first.strMac, first.strId);
    AdvanceEntries(window, config, first);
    const tagBurnEntries second = ReadBurnEntries(window, config);
    const RecordResult r2 = AppendBurnRecord(path, second.strMac, second.strId);

    ASSERT_TRUE(r1.written && r2.written);
    EXPECT_TRUE(IsRecord(r1.recordText, "   00:A1:BB:C3:44:E5   "));
    EXPECT_TRUE(IsRecord(r2.recordText, "   00:a1:bb:c3:44:e6   "));
    EXPECT_EQ(ReadAll(path), "\r\n" + r1.recordText + "\r\n" + r2.recordText);
}

TEST_F(BurnRecordTest, FileHeldForAMomentIsWrittenAfterWaiting) {
    HoldFileInAnotherProcess(400);
    const auto start = Clock::now();
    const RecordResult r = AppendBurnRecord(path, "00:a1:bb:c3:44:e5", "SN0001");
    const auto waited = Clock::now() - start;
    EXPECT_TRUE(r.written);
    EXPECT_GE(waited, std::chrono::milliseconds(300)); // it did wait for the holder
    EXPECT_EQ(ReadAll(path), "\r\n" + r.recordText);
}

TEST_F(BurnRecordTest, FileHeldLongerThanTheRetryWindowIsReportedNotSkipped) {
    HoldFileInAnotherProcess(6000);
    const auto start = Clock::now();
    const RecordResult r = AppendBurnRecord(path, "00:a1:bb:c3:44:e5", "SN0001");
    const auto waited = Clock::now() - start;
    EXPECT_FALSE(r.written);
    EXPECT_TRUE(IsRecord(r.recordText, "   00:a1:bb:c3:44:e5   SN0001"));
    EXPECT_GE(waited, std::chrono::milliseconds(1500));
    EXPECT_LT(waited, std::chrono::milliseconds(5000));
    EXPECT_EQ(ReadAll(path), ""); // the holder created it; nothing of the record went in
}

TEST_F(BurnRecordTest, UnwritableFolderIsReportedAtOnce) {
    // A parent that is a regular file: no user, root included, can create a file below it.
    std::ofstream(dir / "plain").put('x');
    const std::string bad = (dir / "plain" / "BurntMacandIDList.txt").string();
    const auto start = Clock::now();
    const RecordResult r = AppendBurnRecord(bad, "00:a1:bb:c3:44:e5", "SN0001");
    EXPECT_FALSE(r.written);
    EXPECT_TRUE(IsRecord(r.recordText, "   00:a1:bb:c3:44:e5   SN0001"));
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1000));
}

TEST_F(BurnRecordTest, FullDiskLeavesNoHalfRecord) {
    // A file size limit stands for the full disk: the record only partly fits.
    const std::string earlier = "\r\n2024/03/05 07:08:09   00:a1:bb:c3:44:e4   SN0000";
    std::ofstream(path, std::ios::binary) << earlier;
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{rlim_t(earlier.size() + 10), rlim_t(earlier.size() + 10)};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
            ::_exit(2);
        const RecordResult r = AppendBurnRecord(path, "00:a1:bb:c3:44:e5", "SN0001");
        ::_exit(r.written ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the failed record was reported as written";
    EXPECT_EQ(ReadAll(path), earlier);
}

} // namespace
