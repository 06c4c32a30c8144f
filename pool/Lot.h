// A lot: a named range of identities, and what unit k of it holds. Pure logic, no storage.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

struct PoolLot {
    std::string name;
    std::uint64_t macFirst = 0; // 48-bit values
    std::uint64_t macLast = 0;
    unsigned step = 1;    // 2 for boards with two network ports (two consecutive MACs each)
    std::string idString; // the ID's string part, the same on every unit
    std::string idFirst;  // the number part of unit 0 as typed; its length is the width
    std::string idLast;   // empty with idFirst: the lot has no ID number part
    bool hex = false;
    std::uint64_t size = 0; // units: the smaller of the MAC and the ID number ranges

    bool HasIdNumber() const { return !idFirst.empty(); }
};

// One unit as the job burns it.
struct PoolUnit {
    std::string lot;
    std::uint64_t index = 0;
    std::string mac;      // colon form, lower case
    std::string idString; // the lot's string part
    std::string idNumber; // first + index, in the width of the lot's first number
    std::string Id() const { return idString + idNumber; }
};

// The 48-bit value of a MAC in either accepted form; nothing for an empty or malformed text.
std::optional<std::uint64_t> ParseMacValue(const std::string& text);
// Colon form, lower case.
std::string FormatMacValue(std::uint64_t value);

// Checks the lot's ranges and fills its size. Empty when the lot is sound, otherwise the operator's
// message (current language). Names must be 1 to 64 printable characters.
std::string CheckLot(PoolLot& lot);

// Unit k's values; k must be below the lot's size.
PoolUnit UnitOf(const PoolLot& lot, std::uint64_t k);
// The unit that carries this MAC, if the lot has one.
std::optional<std::uint64_t> IndexOfMac(const PoolLot& lot, const std::string& mac);

// True when the two lots could hand out the same MAC, or the same ID (same string part and base,
// overlapping numbers); reason names which.
bool LotsOverlap(const PoolLot& a, const PoolLot& b, std::string& reason);
