// The command line's run after its entries are in the window: the burn command, the wait for its
// jobs, the time-out, the stop signals, what is printed when the run ends and the exit status. The
// exit status and the board count come from the jobs' events, never from a text.
#pragma once

#include "OptionTable.h"

class CCliWindow;
class CJobRunner;
struct BurnConfig;

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitRefused = 2;

// Call first in main, before any thread starts: SIGINT, SIGTERM and SIGHUP are blocked in every
// thread and taken by WaitForRun only; SIGPIPE is ignored (a closed output never ends a run); a
// closed standard descriptor is opened onto the null device, so that no file the run opens (the
// serial port, a record file) can take its number and receive the printed lines.
void PrepareProcess();

// Runs the burn command on the window's entries (the window becomes the runner's listener) and
// waits for its run: kExitRefused when the entries were refused, else as WaitForRun. Under chain
// the jobs go on until boardsWanted boards are burnt.
int RunBurnCommand(CCliWindow& window, CJobRunner& runner, const BurnConfig& config, bool chain,
                   int boardsWanted);

// Waits until the jobs the burn command started are over. A first stop signal lets a board whose
// flash write has begun finish and be recorded and stops anything else at once; a second stops at
// once. At the end of a chain or a stopped run the entries for the next board are printed.
// Exit status: 0 every board burnt, 1 a failure, a message or the time-out, 128 + the signal's
// number when a signal stopped the run (130 SIGINT, 143 SIGTERM, 129 SIGHUP).
int WaitForRun(CCliWindow& window, CJobRunner& runner, const BurnConfig& config, bool chain, int wanted);
