// The command line's window holds status lines back for at most 20 ms: nothing may be lost or come
// out of order by it.
#include "CliWindow.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>

namespace {

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Everything written to f so far.
std::string Contents(std::FILE* f) {
    std::fflush(f);
    const long end = std::ftell(f);
    std::string text(std::size_t(end), '\0');
    std::rewind(f);
    const std::size_t n = std::fread(text.data(), 1, text.size(), f);
    text.resize(n);
    std::fseek(f, 0, SEEK_END);
    return text;
}

class CliWindowOutput : public ::testing::Test {
protected:
    void SetUp() override {
        m_out = std::tmpfile();
        m_err = std::tmpfile();
        ASSERT_TRUE(m_out && m_err);
    }
    void TearDown() override {
        std::fclose(m_out);
        std::fclose(m_err);
    }
    std::FILE* m_out = nullptr;
    std::FILE* m_err = nullptr;
};

} // namespace

TEST_F(CliWindowOutput, HeldLinesComeOutInOrderAtTheRightMoments) {
    {
        CCliWindow window(m_out, m_err, false);
        window.BurnStatus(StatusKind::ReplaceAll, "Please connect, and power on the board!");
        EXPECT_EQ(Contents(m_out), "Please connect, and power on the board!\n"); // at once

        window.BurnStatus(StatusKind::Append, "line one");
        window.BurnStatus(StatusKind::Append, "line two");
        EXPECT_EQ(Contents(m_out), "Please connect, and power on the board!\n"); // held

        // A message comes after the lines before it.
        window.ShowMessageDlg("Error", "Failed to burn!");
        EXPECT_EQ(Contents(m_out), "Please connect, and power on the board!\nline one\nline two\n");
        EXPECT_EQ(Contents(m_err), "Error: Failed to burn!\n");

        // The main thread's wait prints a held line once its time is up.
        window.BurnStatus(StatusKind::Append, "line three");
        for (int i = 0; i < 100 && Contents(m_out).find("line three") == std::string::npos; ++i)
            window.WaitForChange(std::chrono::milliseconds(50));
        EXPECT_NE(Contents(m_out).find("line three\n"), std::string::npos);

        // A line starting the log afresh takes the held ones with it, before itself.
        window.BurnStatus(StatusKind::Append, "line four");
        window.BurnStatus(StatusKind::ReplaceAll, "Burn successfully!");
        EXPECT_TRUE(EndsWith(Contents(m_out), "line four\nBurn successfully!\n"));

        window.BurnStatus(StatusKind::Append, "last words");
    }
    // Nothing is lost when the window goes.
    EXPECT_TRUE(EndsWith(Contents(m_out), "Burn successfully!\nlast words\n"));
}
