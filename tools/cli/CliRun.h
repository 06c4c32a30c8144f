// The command line's run after the burn command: the wait for its jobs, the time-out, the stop
// signals and what is printed when the run ends.
#pragma once

class CCliWindow;
class CJobRunner;
struct BurnConfig;

// Call first in main, before any thread starts: SIGINT, SIGTERM and SIGHUP are blocked in every
// thread and taken by WaitForRun only; SIGPIPE is ignored (a closed output never ends a run); a
// closed standard descriptor is opened onto the null device, so that no file the run opens (the
// serial port, a record file) can take its number and receive the printed lines.
void PrepareProcess();

// Waits until the jobs the burn command started are over. A first stop signal lets a board whose
// flash write has begun finish and be recorded and stops anything else at once; a second stops at
// once. At the end of a chain or a stopped run the entries for the next board are printed.
// Exit status: 0 every board burnt, 1 a failure, a message or the time-out, 128 + the signal's
// number when a signal stopped the run (130 SIGINT, 143 SIGTERM, 129 SIGHUP).
int WaitForRun(CCliWindow& window, CJobRunner& runner, const BurnConfig& config, bool chain, int wanted);
