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

namespace {

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

} // namespace

std::string ReadFileBytes(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

CCliProcess::CCliProcess(const CTempDir& dir, std::vector<std::string> args, Output output)
    : CCliProcess(Program(TELVANOR_CLI_EXE, std::move(args)), dir.Path(), {}, output) {}

std::vector<std::string> CCliProcess::Program(const std::string& path, std::vector<std::string> args) {
    args.insert(args.begin(), path);
    return args;
}

CCliProcess::CCliProcess(const std::vector<std::string>& argvIn, const std::string& outDir,
                         const std::vector<std::string>& env, Output output)
    : m_strOut(outDir + "/cli.out"), m_strErr(outDir + "/cli.err") {
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
    int pipeFds[2] = {-1, -1};
    if (output == Output::ClosedPipe && pipe(pipeFds) == 0) {
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
        posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
        posix_spawn_file_actions_addclose(&actions, pipeFds[1]);
    } else {
        posix_spawn_file_actions_addopen(&actions, 1, m_strOut.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
    posix_spawn_file_actions_addopen(&actions, 2, m_strErr.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    m_dStart = Now();
    if (posix_spawn(&m_nPid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0)
        m_nPid = -1;
    posix_spawn_file_actions_destroy(&actions);
    if (pipeFds[0] >= 0) {
        // Nobody reads: the first write past the pipe's end raises SIGPIPE in the program.
        close(pipeFds[0]);
        close(pipeFds[1]);
    }
}

CCliProcess::~CCliProcess() {
    if (m_nPid > 0) {
        kill(m_nPid, SIGKILL);
        waitpid(m_nPid, nullptr, 0);
    }
}

void CCliProcess::Signal(int signal) const {
    if (m_nPid > 0)
        kill(m_nPid, signal);
}

CliResult CCliProcess::Wait(double limitSeconds) {
    CliResult r;
    if (m_nPid <= 0)
        return r;
    int status = 0;
    for (;;) {
        if (waitpid(m_nPid, &status, WNOHANG) == m_nPid) {
            r.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            break;
        }
        if (Now() - m_dStart > limitSeconds) {
            kill(m_nPid, SIGKILL);
            waitpid(m_nPid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    m_nPid = -1;
    r.seconds = Now() - m_dStart;
    r.out = ReadFileBytes(m_strOut);
    r.err = ReadFileBytes(m_strErr);
    return r;
}

std::vector<std::string> BurnArgs(const CTempDir& dir, std::vector<std::string> args) {
    args.insert(args.begin(), {"burn", "--dir", dir.Path()});
    return args;
}

CliResult RunCli(const CTempDir& dir, std::vector<std::string> args, double limitSeconds) {
    return RunCliCommand(dir, BurnArgs(dir, std::move(args)), limitSeconds);
}

CliResult RunCliCommand(const CTempDir& dir, std::vector<std::string> args, double limitSeconds) {
    return CCliProcess(dir, std::move(args)).Wait(limitSeconds);
}

CliResult RunProgram(const std::vector<std::string>& argv, const std::string& outDir,
                     const std::vector<std::string>& env, double limitSeconds) {
    return CCliProcess(argv, outDir, env).Wait(limitSeconds);
}
