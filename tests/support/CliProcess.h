// Runs telvanor-cli as its own process, as a factory script would, and collects what it printed.
#pragma once

#include <string>
#include <vector>

class CTempDir;

struct CliResult {
    int exit = -1; // -1: did not end by itself within the limit (then killed)
    std::string out, err;
    double seconds = 0;
};

// telvanor-cli burn --dir <dir> <args...>; kills it after limitSeconds.
CliResult RunCli(const CTempDir& dir, std::vector<std::string> args, double limitSeconds = 120);
// telvanor-cli <args...> (any command), its outputs kept in dir.
CliResult RunCliCommand(const CTempDir& dir, std::vector<std::string> args, double limitSeconds = 120);

// Runs argv (argv[0] a path) with NAME=VALUE entries added to the environment, its output kept in
// outDir (cli.out, cli.err); kills it after limitSeconds.
CliResult RunProgram(const std::vector<std::string>& argv, const std::string& outDir,
                     const std::vector<std::string>& env = {}, double limitSeconds = 120);

std::string ReadFileBytes(const std::string& path);
