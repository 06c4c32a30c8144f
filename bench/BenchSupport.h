// What the benchmarks share: child processes with their output and resource use, the paced virtual
// board.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <sys/resource.h>
#include <sys/types.h>
#include <unistd.h>
#include <vector>

std::int64_t NowNs();

struct Child {
    pid_t pid = -1;
    int out = -1;
};

// Starts args[0] with its standard output in a pipe (captureOut) or /dev/null, standard error in
// /dev/null; env entries replace the inherited ones of the same name.
Child Spawn(const std::vector<std::string>& args, bool captureOut, const std::vector<std::string>& env = {});

// Reads lines from a child's output until it closes; calls onLine with each line and its arrival time.
template <typename F> void ReadLines(int fd, F onLine) {
    std::string pending;
    char buf[4096];
    for (;;) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0)
            break;
        const std::int64_t t = NowNs();
        pending.append(buf, size_t(n));
        for (size_t nl; (nl = pending.find('\n')) != std::string::npos;) {
            onLine(pending.substr(0, nl), t);
            pending.erase(0, nl + 1);
        }
    }
    close(fd);
}

struct Exit {
    int status = -1;
    rusage usage{};
};

Exit Wait(pid_t pid);

struct Board {
    Child child;
    std::string port;
    std::filesystem::path out;
};

// telvanor-board with --out DIR/board and args; its port from its first line.
Board StartBoard(const std::filesystem::path& dir, std::vector<std::string> args);
// SIGTERM, then its stats.txt.
std::map<std::string, std::uint64_t> StopBoard(Board& b);
