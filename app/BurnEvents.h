// What a burn job reports as data, beside the status lines and dialogs of the window interface. The
// faces count boards, set the progress bar, end the command line and write the JSON Lines output from
// these events alone: a translated text is for the operator to read, never for a face to parse.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// How a status line changes the log.
enum class StatusKind : int {
    None = 0,        // for the traffic only, the log keeps its text
    ReplaceAll = 1,  // the line starts the log afresh
    ReplaceLast = 2, // the line takes the place of the last one
    Append = 3,      // the line is added at the end
};

// The stages of one board, in the order the job goes through them.
enum class BurnStage { Download, Layout, Block, Items, Verify };

// Why a board (or a burn command) ended without a good board.
enum class FailReason {
    Refused,  // the entries were refused; no port was opened
    PortOpen, // the serial port could not be opened
    PortLost, // the port went away during the job (adapter unplugged)
    Timeout,  // the job's time-out ran out
    Download, // the boot loader could not be downloaded or did not start
    Layout,   // no burn address or block size from the boot loader
    Write,    // a console command of the block or the items failed
    Verify,   // what was read back from the flash differs from what was written
    Record,   // the board was burnt but its record could not be written
    Stopped,  // the job was stopped (the window closed)
};

// The stable names of the codes, as the JSON output writes them.
const char* StatusKindName(StatusKind kind);
const char* StageName(BurnStage stage);
const char* ReasonName(FailReason reason);

// One item value written into the board: a key item by its name, an offset item by its offset.
struct tagItemValue {
    std::string name; // key items only
    std::optional<std::uint32_t> offset;
    std::string value;
};

struct tagBoardBurnt {
    std::string mac, id;
    std::vector<tagItemValue> items;
    std::string recordLine; // as written to the record file; empty when records are not kept
    double seconds = 0;     // from the board's first answer to the end of its job
};

struct tagBoardFailed {
    FailReason reason = FailReason::Stopped;
    std::string message; // the operator's message text (local 8-bit)
    // The identity the job was burning, when it got that far; a board failed by Write or Record may
    // already hold it.
    std::string mac, id;
};

// Receives a runner's events. Called on the runner's thread (run finished: on the face's own); a
// stopped job sends nothing more, and the one that stops it reports why.
class IBurnListener {
public:
    virtual ~IBurnListener() = default;
    // A board answered the boot loader's first frame.
    virtual void BoardStarted() {}
    // percent: 0 to 100 within the stage.
    virtual void Progress(BurnStage, int /*percent*/) {}
    virtual void BoardBurnt(const tagBoardBurnt&) {}
    virtual void BoardFailed(const tagBoardFailed&) {}
    // The face ends its run (the command line after its last board).
    virtual void RunFinished(int /*good*/, int /*failed*/, int /*exitStatus*/) {}
};
