// telvanor-cli burn with several --port: one chain of boards per port, identities from one lot,
// every status line printed with its port in front.
#pragma once

#include "Station.h"

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

struct tagStationRun {
    std::vector<std::string> ports;
    long boards = 0; // good boards in all; 0: until the lot is used up
    unsigned timeoutMs = kBurnTimeoutMs;
    bool json = false; // out carries JSON Lines only, each line naming its port
};

// Runs until the goal, the lot's end, every port's end or Ctrl-C. Returns the exit status: 0 when
// the goal was reached without a failed board, 1 otherwise, 130 after Ctrl-C.
int RunStation(const tagStationRun& run, const BurnConfig& config, const CStation::SourceMaker& makeSource,
               const std::function<void(CLaneWindow&)>& fill, std::FILE* out, std::FILE* err);
