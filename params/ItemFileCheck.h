// The files that offset items write ("<file PATH>" values): checked before anything is sent to a
// board, so that an unusable file never leaves a board half written.
#pragma once

#include "BurnConfig.h"
#include "Entries.h"
#include "SafeFile.h"

#include <cstdint>
#include <string>
#include <vector>

// No item file is ever larger: 1 MiB already takes about 17 minutes of "mw.l" commands on the line.
// Within the partition an item is further limited by the erase block it is written into.
constexpr std::uint32_t kMaxItemFileBytes = 1u << 20;

struct tagItemFileFault {
    std::string strPath;
    FileFault fault = FileFault::None;
};

// Checks the file of every offset item whose value (fixed or entered) names one, in configuration
// order: it exists, is a regular file, can be opened for reading and holds at most
// kMaxItemFileBytes. Returns the files that cannot be used; empty when every file can.
std::vector<tagItemFileFault> CheckItemFiles(const BurnConfig& config, const tagBurnEntries& entries);

// The status line for one of them, in the current language: the path and the reason.
std::string ItemFileFaultText(const tagItemFileFault& fault);
