// The status log's text rule: how one WM_BURNSTATUS message changes the log. The window shows the
// result; the command-line tool prints it.
#pragma once

#include <string>

// Applies one message to the log (lines separated by CR LF). Returns false when the kind changes
// nothing (any kind but 1, 2 and 3).
bool ApplyBurnStatus(std::string& log, int kind, const std::string& text);
