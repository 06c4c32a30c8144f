// telvanor-cli check-config: what the tool understood from "BurnConfig.ini", and what looks wrong
// in it. `burn` prints the same warnings before it starts.
#pragma once

#include <string>
#include <vector>

struct tagConfigReport {
    std::vector<std::string> aLines;    // every key: its value and where it came from, then the items
    std::vector<std::string> aWarnings; // one per suspicious point
};

// Reads "BurnConfig.ini" in dir. File items' relative paths are looked up from the current folder,
// as the burn job opens them.
tagConfigReport CheckConfig(const std::string& dir);

// The command: `check-config [--dir DIR]` (argv[1] is the command). Prints the report; 0 without
// warnings, 1 with, 64 on a usage error.
int RunCheckConfig(int argc, char** argv, const std::string& defaultDir);
