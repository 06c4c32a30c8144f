// Runs telvanor-cli as its own process, as a factory script would, and collects what it printed.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

class CTempDir;

struct CliResult {
    int exit = -1; // -1: did not end by itself within the limit (then killed)
    std::string out, err;
    double seconds = 0;
};

// telvanor-cli <args...> (any command) running in the background, its outputs kept in dir, for
// tests that act on it while it runs (signals, a closed output).
class CCliProcess {
public:
    enum class Output { File, ClosedPipe }; // ClosedPipe: standard output is a pipe nobody reads
    CCliProcess(const CTempDir& dir, std::vector<std::string> args, Output output = Output::File);
    // Any program: argv[0] its path, NAME=VALUE entries added to the environment, outputs in outDir.
    CCliProcess(const std::vector<std::string>& argv, const std::string& outDir,
                const std::vector<std::string>& env, Output output = Output::File);
    ~CCliProcess(); // kills it when it still runs
    CCliProcess(const CCliProcess&) = delete;
    CCliProcess& operator=(const CCliProcess&) = delete;

    void Signal(int signal) const;
    // Waits for the end; kills it after limitSeconds (exit then -1).
    CliResult Wait(double limitSeconds = 120);

private:
    static std::vector<std::string> Program(const std::string& path, std::vector<std::string> args);
    pid_t m_nPid = -1;
    std::string m_strOut, m_strErr;
    double m_dStart = 0;
};

// The arguments of "telvanor-cli burn --dir <dir> <args...>".
std::vector<std::string> BurnArgs(const CTempDir& dir, std::vector<std::string> args);
// telvanor-cli burn --dir <dir> <args...>; kills it after limitSeconds.
CliResult RunCli(const CTempDir& dir, std::vector<std::string> args, double limitSeconds = 120);
// telvanor-cli <args...> (any command), its outputs kept in dir.
CliResult RunCliCommand(const CTempDir& dir, std::vector<std::string> args, double limitSeconds = 120);

// Runs argv (argv[0] a path) with NAME=VALUE entries added to the environment, its output kept in
// outDir (cli.out, cli.err); kills it after limitSeconds.
CliResult RunProgram(const std::vector<std::string>& argv, const std::string& outDir,
                     const std::vector<std::string>& env = {}, double limitSeconds = 120);

std::string ReadFileBytes(const std::string& path);
