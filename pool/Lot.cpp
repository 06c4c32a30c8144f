#include "Lot.h"

#include "IdValue.h"
#include "MacValue.h"
#include "StrUtil.h"
#include "TextTables.h"

#include <algorithm>

namespace {

constexpr std::uint64_t kMacMask = 0xFFFFFFFFFFFFull;
constexpr std::size_t kMaxLotName = 64;

std::uint64_t NumberValue(const std::string& digits, bool hex) {
    return tv::ReadCUnsigned64(digits, hex ? 16 : 10);
}

std::string NumberText(std::uint64_t v, bool hex) {
    return hex ? tv::Format("%llx", static_cast<unsigned long long>(v))
               : tv::Format("%llu", static_cast<unsigned long long>(v));
}

std::uint64_t LastMacOf(const PoolLot& lot) {
    return lot.macFirst + (lot.size - 1) * lot.step;
}

bool RangesMeet(std::uint64_t a0, std::uint64_t a1, std::uint64_t b0, std::uint64_t b1) {
    return a0 <= b1 && b0 <= a1;
}

} // namespace

std::optional<std::uint64_t> ParseMacValue(const std::string& text) {
    const std::string mac = tv::Trim(text);
    if (mac.empty() || !IsValidMac(mac))
        return std::nullopt;
    std::string digits;
    for (char c : mac)
        if (c != ':')
            digits += c;
    return tv::ReadCUnsigned64(digits, 16);
}

std::string FormatMacValue(std::uint64_t value) {
    return MacBurnForm(tv::Format("%012llx", static_cast<unsigned long long>(value & kMacMask)));
}

std::string CheckLot(PoolLot& lot) {
    if (lot.name.empty() || lot.name.size() > kMaxLotName ||
        std::any_of(lot.name.begin(), lot.name.end(), [](char c) { return c >= 0 && c < 0x20; }))
        return tv::FormatRuntime(Txt(strPoolBadLotName), lot.name.c_str());
    if (lot.step != 1 && lot.step != 2)
        lot.step = 1;
    if (lot.macFirst > kMacMask || lot.macLast > kMacMask || lot.macLast < lot.macFirst)
        return Txt(strPoolMacRange);
    std::uint64_t size = (lot.macLast - lot.macFirst) / lot.step + 1;
    if (lot.HasIdNumber() || !lot.idLast.empty()) {
        for (const std::string* part : {&lot.idFirst, &lot.idLast})
            if (part->empty() || ClassifyIdNumber(*part, lot.hex) != IdCheck::Ok)
                return Txt(strPoolIdRange);
        const std::uint64_t first = NumberValue(lot.idFirst, lot.hex);
        const std::uint64_t last = NumberValue(lot.idLast, lot.hex);
        // The width is the first number's: a last number with more digits would wrap within it.
        if (last < first || NumberText(last, lot.hex).size() > lot.idFirst.size())
            return Txt(strPoolIdRange);
        if (last - first < size - 1)
            size = last - first + 1;
    }
    lot.size = size;
    return std::string();
}

PoolUnit UnitOf(const PoolLot& lot, std::uint64_t k) {
    PoolUnit unit;
    unit.lot = lot.name;
    unit.index = k;
    unit.mac = FormatMacValue(lot.macFirst + k * lot.step);
    unit.idString = lot.idString;
    if (lot.HasIdNumber()) {
        std::string digits = NumberText(NumberValue(lot.idFirst, lot.hex) + k, lot.hex);
        if (digits.size() < lot.idFirst.size())
            digits.insert(0, lot.idFirst.size() - digits.size(), '0');
        unit.idNumber = digits;
    }
    return unit;
}

std::optional<std::uint64_t> IndexOfMac(const PoolLot& lot, const std::string& mac) {
    const std::optional<std::uint64_t> v = ParseMacValue(mac);
    if (!v || lot.size == 0 || *v < lot.macFirst || *v > LastMacOf(lot) ||
        (*v - lot.macFirst) % lot.step != 0)
        return std::nullopt;
    return (*v - lot.macFirst) / lot.step;
}

bool LotsOverlap(const PoolLot& a, const PoolLot& b, std::string& reason) {
    // A board with two network ports also uses the MAC after its own.
    const std::uint64_t aEnd = LastMacOf(a) + (a.step - 1);
    const std::uint64_t bEnd = LastMacOf(b) + (b.step - 1);
    if (RangesMeet(a.macFirst, aEnd, b.macFirst, bEnd)) {
        reason = "MAC";
        return true;
    }
    if (a.HasIdNumber() && b.HasIdNumber() && a.idString == b.idString && a.hex == b.hex &&
        a.idFirst.size() == b.idFirst.size()) {
        const std::uint64_t a0 = NumberValue(a.idFirst, a.hex), b0 = NumberValue(b.idFirst, b.hex);
        if (RangesMeet(a0, a0 + a.size - 1, b0, b0 + b.size - 1)) {
            reason = "ID";
            return true;
        }
    }
    return false;
}
