// The identity pool: lots of MACs and IDs, each unit handed out once. One interface, two stores
// (SQLite for one station, PostgreSQL for several); the job sees reserve, commit, give back and
// mark uncertain, the pool commands the rest.
//
// A reservation belongs to the connection that made it. When that connection's process is gone
// (or the connection is closed while it still holds one), the unit becomes "uncertain": it may
// already be in a board, so it is never handed out again until an operator resolves it.
//
// Threads: one pool object is one database connection, used only by the thread that opened it
// (Qt SQL's rule). Several ports or threads open one each; the database keeps them apart.
#pragma once

#include "Lot.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

enum class UnitState { Free, Reserved, Burnt, Uncertain, Retired };
const char* UnitStateName(UnitState state); // "free", "reserved", ...
std::optional<UnitState> UnitStateFromName(const std::string& name);

enum class PoolCode {
    Ok,
    NoSuchLot,
    UsedUp,  // reserve: no free unit left
    Refused, // the request does not fit the pool (a lot that exists, an overlap, a resolve not allowed)
    Failed,  // the database failed; the message names why
};

struct PoolResult {
    PoolCode code = PoolCode::Ok;
    std::string message; // the operator's text (current language); empty when Ok
    bool Ok() const { return code == PoolCode::Ok; }
};

// What the pool keeps of a burnt board besides its MAC and ID.
struct BurntInfo {
    std::string port;
    std::string id;     // the ID as burnt (normally the unit's)
    std::string items;  // the item values, NAME=VALUE or OFFSET=VALUE, separated by "; "
    std::string record; // the record line as the record file has it (without its line break)
};

struct LotStatus {
    PoolLot lot;
    std::uint64_t free = 0, reserved = 0, burnt = 0, uncertain = 0, retired = 0;
    std::optional<PoolUnit> next; // the unit the next reservation would get
};

// One unit as the pool knows it (export).
struct UnitRecord {
    PoolUnit unit;
    UnitState state = UnitState::Free;
    std::string time; // burnt (or reserved, for an uncertain unit), UTC "YYYY-MM-DDTHH:MM:SSZ"
    std::string host, port, id, items, record, note;
};

class IIdentityPool {
public:
    virtual ~IIdentityPool() = default;

    // "sqlite:PATH" or "postgresql://..." as opened.
    virtual std::string Url() const = 0;

    virtual PoolResult CreateLot(PoolLot lot) = 0;
    // The lowest free unit of the lot, reserved for this connection; port is noted with it. left,
    // when given, receives the number of free units after this one.
    virtual PoolResult Reserve(const std::string& lot, const std::string& port, PoolUnit& unit,
                               std::uint64_t* left = nullptr) = 0;
    // The board holds the unit: burnt, with the time, this station's host name and the info.
    virtual PoolResult Commit(const PoolUnit& unit, const BurntInfo& info) = 0;
    // Nothing of the unit reached the board's flash: free again.
    virtual PoolResult GiveBack(const PoolUnit& unit) = 0;
    // The unit may be in a board: kept out of circulation until resolved.
    virtual PoolResult MarkUncertain(const PoolUnit& unit, const std::string& note) = 0;

    // Every lot (lot empty) or one.
    virtual PoolResult Status(const std::string& lot, std::vector<LotStatus>& out) = 0;
    // Every burnt and uncertain unit of the lot, in unit order.
    virtual PoolResult Export(const std::string& lot, std::vector<UnitRecord>& out) = 0;
    // An operator's decision on an uncertain unit (free, burnt, retired); retired also takes a free
    // or burnt unit out of circulation for good.
    virtual PoolResult Resolve(const std::string& lot, const std::string& mac, UnitState target) = 0;
};

// Opens (and creates or migrates the schema of) the pool at url. A relative SQLite path is taken
// from programDir; a missing SQLite file is made only when mayCreate. PostgreSQL passwords come
// from PGPASSWORD or the user's password file, never from the URL: a URL with one is refused.
// Needs a QCoreApplication (Qt SQL loads its drivers as plug-ins).
std::unique_ptr<IIdentityPool> OpenIdentityPool(const std::string& url, const std::string& programDir,
                                                bool mayCreate, PoolResult& result);

// The pool used when a lot is named without one.
extern const char* const kDefaultPoolUrl; // "sqlite:TelvanorPool.db"
