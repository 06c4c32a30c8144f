// The status log's text rule: how one WM_BURNSTATUS message changes the log. The window shows the
// result; the command-line tool prints it.
#pragma once

#include <chrono>
#include <string>

// Status lines printed on an output (the command line, the window's echo) go out in batches at most
// this far apart, a line that starts the log afresh (kind 1) at once: a flush per line would wake
// whatever reads the output, a pipe's reader or a terminal, once per console command.
inline constexpr std::chrono::milliseconds kStatusOutputBatch{20};

// Applies one message to the log (lines separated by CR LF). Returns false when the kind changes
// nothing (any kind but 1, 2 and 3).
bool ApplyBurnStatus(std::string& log, int kind, const std::string& text);
