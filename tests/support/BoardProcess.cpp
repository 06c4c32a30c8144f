#include "BoardProcess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

// Generous: sanitizer builds on a busy machine start slowly.
constexpr int kStartTimeoutMs = 15000;
constexpr int kStopTimeoutMs = 15000;

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::uint8_t> ReadBytes(const std::string& path) {
    std::string text = ReadText(path);
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

} // namespace

CTempDir::CTempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "telvanor-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        ADD_FAILURE() << "cannot create a temporary folder from " << pattern;
    else
        m_strPath = pattern;
}

CTempDir::~CTempDir() {
    if (m_strPath.empty())
        return;
    std::error_code ignored;
    std::filesystem::remove_all(m_strPath, ignored);
}

CBoardProcess::CBoardProcess(const std::vector<std::string>& args) {
    std::vector<std::string> all = {TELVANOR_BOARD_EXE, "--out", m_OutDir.Path()};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    // Close-on-exec, so boards started side by side do not hold each other's pipes.
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "pipe failed";
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    posix_spawn_file_actions_addclose(&actions, pipeFds[1]);
    int rc = posix_spawn(&m_nPid, TELVANOR_BOARD_EXE, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    m_nStdout = pipeFds[0];
    if (rc != 0) {
        m_nPid = -1;
        ADD_FAILURE() << "cannot start " << TELVANOR_BOARD_EXE << ": " << std::strerror(rc);
        return;
    }

    std::string line;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartTimeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd fd{m_nStdout, POLLIN, 0};
        if (poll(&fd, 1, 50) <= 0)
            continue;
        char c;
        if (read(m_nStdout, &c, 1) != 1)
            break; // the board ended (a usage error, for example)
        if (c == '\n') {
            m_strPort = line;
            return;
        }
        line += c;
    }
    ADD_FAILURE() << "telvanor-board printed no port path within " << kStartTimeoutMs << " ms (got '" << line
                  << "'); arguments:" << ::testing::PrintToString(args);
    Stop();
}

CBoardProcess::~CBoardProcess() {
    Stop();
}

void CBoardProcess::Ended(int status) {
    m_nExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    m_nPid = -1;
    if (m_nStdout >= 0)
        close(m_nStdout);
    m_nStdout = -1;
}

bool CBoardProcess::Reap(int waitMs) {
    if (m_nPid <= 0)
        return true;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    for (;;) {
        int status = 0;
        pid_t r = waitpid(m_nPid, &status, WNOHANG);
        if (r == m_nPid) {
            Ended(status);
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

void CBoardProcess::Freeze(bool frozen) {
    if (m_nPid <= 0)
        return;
    kill(m_nPid, frozen ? SIGSTOP : SIGCONT);
    if (!frozen)
        return;
    // Frozen means frozen when this returns: no byte sent after it is taken in by a board that
    // has not stopped yet.
    int status = 0;
    if (waitpid(m_nPid, &status, WUNTRACED) == m_nPid && !WIFSTOPPED(status))
        Ended(status);
}

void CBoardProcess::Stop() {
    if (m_nPid > 0) {
        kill(m_nPid, SIGTERM);
        kill(m_nPid, SIGCONT); // a frozen board takes the SIGTERM only once it runs again
        if (!Reap(kStopTimeoutMs)) {
            ADD_FAILURE() << "telvanor-board did not end within " << kStopTimeoutMs << " ms of SIGTERM";
            kill(m_nPid, SIGKILL);
            Reap(kStopTimeoutMs);
        }
    }
    m_strPort.clear();
}

bool CBoardProcess::WaitForExit(int ms) {
    bool ended = Reap(ms);
    if (ended)
        m_strPort.clear();
    return ended;
}

std::string CBoardProcess::Trace() const {
    return ReadText(m_OutDir.File("trace.txt"));
}

std::vector<std::string> CBoardProcess::TraceLines() const {
    std::vector<std::string> lines;
    std::istringstream in(Trace());
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::vector<std::string> CBoardProcess::Commands() const {
    std::vector<std::string> commands;
    for (const std::string& line : TraceLines())
        if (line.rfind("cmd ", 0) == 0)
            commands.push_back(line.substr(4));
    return commands;
}

std::vector<std::uint8_t> CBoardProcess::Flash() {
    Stop();
    return ReadBytes(m_OutDir.File("flash.bin"));
}

std::vector<std::uint8_t> CBoardProcess::RamStaging() {
    Stop();
    return ReadBytes(m_OutDir.File("ram-staging.bin"));
}

std::map<std::string, std::uint64_t> CBoardProcess::Stats() {
    Stop();
    std::map<std::string, std::uint64_t> stats;
    std::istringstream in(ReadText(m_OutDir.File("stats.txt")));
    for (std::string line; std::getline(in, line);) {
        std::size_t eq = line.find('=');
        if (eq != std::string::npos)
            stats[line.substr(0, eq)] = std::strtoull(line.c_str() + eq + 1, nullptr, 10);
    }
    return stats;
}
