// The status log's text rule: how one status line of the job changes the log. The window shows the
// result; the command-line tool prints it.
#pragma once

#include "BurnEvents.h"

#include <chrono>
#include <string>

// Status lines printed on an output (the command line, the window's echo) go out in batches at most
// this far apart, a line that starts the log afresh at once: a flush per line would wake
// whatever reads the output, a pipe's reader or a terminal, once per console command.
inline constexpr std::chrono::milliseconds kStatusOutputBatch{20};

// Applies one message to the log (lines separated by CR LF). Returns false when the kind changes
// nothing (StatusKind::None, or a number outside the enum).
bool ApplyBurnStatus(std::string& log, StatusKind kind, const std::string& text);
