#include "BenchSupport.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>

extern char** environ;

namespace fs = std::filesystem;

std::int64_t NowNs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

Child Spawn(const std::vector<std::string>& args, bool captureOut, const std::vector<std::string>& env) {
    std::vector<std::string> copy = args;
    std::vector<char*> argv;
    for (std::string& a : copy)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    // The given entries replace the inherited ones of the same name.
    std::vector<std::string> envCopy;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('=') + 1);
        if (std::none_of(env.begin(), env.end(), [&](const std::string& x) { return x.rfind(name, 0) == 0; }))
            envCopy.push_back(entry);
    }
    envCopy.insert(envCopy.end(), env.begin(), env.end());
    std::vector<char*> envp;
    for (std::string& e : envCopy)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    int pipeFd[2] = {-1, -1};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (captureOut) {
        if (pipe(pipeFd) != 0)
            return {};
        posix_spawn_file_actions_adddup2(&actions, pipeFd[1], 1);
        posix_spawn_file_actions_addclose(&actions, pipeFd[0]);
    } else {
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    }
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    Child c;
    if (posix_spawn(&c.pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0)
        c.pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    if (captureOut) {
        close(pipeFd[1]);
        c.out = pipeFd[0];
    }
    return c;
}

Exit Wait(pid_t pid) {
    Exit e;
    int status = 0;
    wait4(pid, &status, 0, &e.usage);
    e.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return e;
}

Board StartBoard(const std::filesystem::path& dir, std::vector<std::string> args) {
    Board b;
    b.out = dir / "board";
    fs::create_directories(b.out);
    args.insert(args.begin(), {TELVANOR_BOARD_EXE, "--out", b.out.string()});
    b.child = Spawn(args, true);
    std::string line;
    char c;
    while (read(b.child.out, &c, 1) == 1 && c != '\n')
        line += c;
    b.port = line;
    return b;
}

std::map<std::string, std::uint64_t> StopBoard(Board& b) {
    kill(b.child.pid, SIGTERM);
    Wait(b.child.pid);
    close(b.child.out);
    std::map<std::string, std::uint64_t> stats;
    std::ifstream f(b.out / "stats.txt");
    std::string line;
    while (std::getline(f, line)) {
        size_t eq = line.find('=');
        if (eq != std::string::npos)
            stats[line.substr(0, eq)] = std::strtoull(line.c_str() + eq + 1, nullptr, 10);
    }
    return stats;
}
