#include "CliProcess.h"

#include "BoardProcess.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

std::string ReadFileBytes(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

CliResult RunCli(const CTempDir& dir, std::vector<std::string> args, double limitSeconds) {
    args.insert(args.begin(), {"burn", "--dir", dir.Path()});
    return RunCliCommand(dir, std::move(args), limitSeconds);
}

CliResult RunCliCommand(const CTempDir& dir, std::vector<std::string> args, double limitSeconds) {
    args.insert(args.begin(), TELVANOR_CLI_EXE);
    return RunProgram(args, dir.Path(), {}, limitSeconds);
}

CliResult RunProgram(const std::vector<std::string>& argvIn, const std::string& outDir,
                     const std::vector<std::string>& env, double limitSeconds) {
    std::vector<std::string> args = argvIn;
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> envCopy = env;
    std::vector<char*> envp;
    for (std::string& e : envCopy)
        envp.push_back(e.data());
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('=') + 1);
        bool replaced = false;
        for (const std::string& mine : env)
            replaced = replaced || mine.rfind(name, 0) == 0;
        if (!replaced)
            envp.push_back(*e);
    }
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string out = outDir + "/cli.out", err = outDir + "/cli.err";
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    CliResult r;
    const auto start = std::chrono::steady_clock::now();
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return r;
    int status = 0;
    bool ended = false;
    while (!ended) {
        const pid_t done = waitpid(pid, &status, WNOHANG);
        ended = done == pid;
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (!ended && elapsed > limitSeconds) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            r.seconds = elapsed;
            r.out = ReadFileBytes(out);
            r.err = ReadFileBytes(err);
            return r;
        }
        if (!ended)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    r.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = ReadFileBytes(out);
    r.err = ReadFileBytes(err);
    return r;
}
