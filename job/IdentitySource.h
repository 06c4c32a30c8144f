// Where a job's MAC and ID come from when they are not typed: a lot of identities handed out once.
// The job sees reserve / commit / give back / mark uncertain; how the store keeps them is its own.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

class CStopFlag;

// One unit of a lot: the values that go into the board, in the forms an operator would type them.
struct tagIdentity {
    std::int64_t nUnit = -1; // the unit's number in its lot
    std::string strMac;      // colon form
    std::string strIdString;
    std::string strIdNumber;
};

enum class ReserveOutcome {
    Reserved, // the unit is this job's until it is committed, given back or marked uncertain
    UsedUp,   // the lot has no free unit left; message says so
    Enough,   // the run needs no more boards (or was stopped while waiting for room)
    Failed,   // the store could not be reached; message says why
};

// What the store keeps of a burnt board besides its unit.
struct tagCommitInfo {
    std::string strPort;
    std::string strId; // the ID as burnt
    std::string
        strItems; // the item values: NAME=VALUE for key items, OFFSET=VALUE for offset items, "; " between
    std::string
        strRecord; // the record line as the record file has it (or would have), without its line break
};

struct tagReservation {
    ReserveOutcome outcome = ReserveOutcome::Failed;
    tagIdentity unit;
    std::string message;
};

class IIdentitySource {
public:
    virtual ~IIdentitySource() = default;
    // The lowest free unit, for the job on port; may wait (returning Enough when stop is set).
    virtual tagReservation Reserve(const std::string& port, CStopFlag& stop) = 0;
    // The board holds the unit. Empty when the store took it, otherwise why not: the job then marks
    // it uncertain, so that it is never burnt into a second board.
    virtual std::string Commit(const tagIdentity& unit, const tagCommitInfo& info) = 0;
    // Nothing was erased or written with the unit: free again.
    virtual void GiveBack(const tagIdentity& unit) = 0;
    // The unit may be in a board: never handed out again until a person has looked.
    virtual void MarkUncertain(const tagIdentity& unit) = 0;
};
