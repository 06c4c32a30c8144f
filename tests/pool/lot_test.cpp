// A lot's ranges: which lots are refused, what unit k holds, which MAC is which unit.
#include "Lot.h"
#include "TextTables.h"

#include <gtest/gtest.h>

namespace {

PoolLot MakeLot(const char* macFirst, const char* macLast, unsigned step, const char* idFirst = "",
                const char* idLast = "", bool hex = false) {
    PoolLot lot;
    lot.name = "L";
    lot.macFirst = ParseMacValue(macFirst).value();
    lot.macLast = ParseMacValue(macLast).value();
    lot.step = step;
    lot.idString = "SN";
    lot.idFirst = idFirst;
    lot.idLast = idLast;
    lot.hex = hex;
    return lot;
}

} // namespace

TEST(Lot, SizeAndUnitsFollowStepAndWidth) {
    struct Case {
        PoolLot lot;
        std::uint64_t size;
        std::uint64_t k;
        const char* mac;
        const char* idNumber;
    } cases[] = {
        {MakeLot("00:a1:bb:c3:44:fe", "00a1bbc34503", 1), 6, 2, "00:a1:bb:c3:45:00", ""},
        // Two network ports a board: every other MAC, the last one only when it starts a pair.
        {MakeLot("00:00:00:00:00:fe", "00:00:00:00:01:03", 2), 3, 1, "00:00:00:00:01:00", ""},
        // The ID range is the shorter one; the first number's leading zeros set the width.
        {MakeLot("000000000000", "0000000000ff", 1, "0098", "0100"), 3, 2, "00:00:00:00:00:02", "0100"},
        {MakeLot("000000000000", "0000000000ff", 1, "0A", "ff", true), 246, 6, "00:00:00:00:00:06", "10"},
        {MakeLot("ff:ff:ff:ff:ff:fe", "ff:ff:ff:ff:ff:ff", 1), 2, 1, "ff:ff:ff:ff:ff:ff", ""},
    };
    for (Case& c : cases) {
        EXPECT_EQ(CheckLot(c.lot), "");
        EXPECT_EQ(c.lot.size, c.size);
        const PoolUnit unit = UnitOf(c.lot, c.k);
        EXPECT_EQ(unit.mac, c.mac);
        EXPECT_EQ(unit.idNumber, c.idNumber);
        EXPECT_EQ(unit.Id(), std::string("SN") + c.idNumber);
        EXPECT_EQ(IndexOfMac(c.lot, c.mac), c.k);
    }
}

TEST(Lot, RefusedRanges) {
    ChooseStartLanguage(2);
    struct Case {
        PoolLot lot;
        TextId why;
    } cases[] = {
        {MakeLot("00:00:00:00:00:10", "00:00:00:00:00:0f", 1), strPoolMacRange},
        {MakeLot("000000000000", "0000000000ff", 1, "10", "09"), strPoolIdRange},
        // "1" to "100" would wrap within one digit and hand out "0" after "9".
        {MakeLot("000000000000", "0000000000ff", 1, "1", "100"), strPoolIdRange},
        {MakeLot("000000000000", "0000000000ff", 1, "12a", "200"), strPoolIdRange},
        {MakeLot("000000000000", "0000000000ff", 1, "1", ""), strPoolIdRange},
        {MakeLot("000000000000", "0000000000ff", 1, "0x1", "0x9", true), strPoolIdRange},
    };
    for (Case& c : cases)
        EXPECT_EQ(CheckLot(c.lot), Txt(c.why)) << c.lot.idFirst << ".." << c.lot.idLast;
    PoolLot unnamed = MakeLot("000000000000", "000000000001", 1);
    unnamed.name = "";
    EXPECT_NE(CheckLot(unnamed), "");
}

TEST(Lot, MacsOutsideTheLotHaveNoUnit) {
    PoolLot lot = MakeLot("00:00:00:00:00:10", "00:00:00:00:00:20", 2);
    ASSERT_EQ(CheckLot(lot), "");
    for (const char* mac : {"00:00:00:00:00:0e", "00:00:00:00:00:11", "00:00:00:00:00:22", "zz", ""})
        EXPECT_FALSE(IndexOfMac(lot, mac)) << mac;
    EXPECT_EQ(IndexOfMac(lot, "00:00:00:00:00:20"), 8u);
}

TEST(Lot, OverlapsOnMacOrId) {
    auto checked = [](PoolLot lot) {
        EXPECT_EQ(CheckLot(lot), "");
        return lot;
    };
    const PoolLot base = checked(MakeLot("00:00:00:00:01:00", "00:00:00:00:01:ff", 1, "0000", "0255"));
    struct Case {
        PoolLot other;
        bool overlaps;
        const char* what;
    } cases[] = {
        {checked(MakeLot("00:00:00:00:01:ff", "00:00:00:00:02:ff", 1, "1000", "1255")), true, "MAC"},
        // A two-port board at 00:ff also uses 01:00.
        {checked(MakeLot("00:00:00:00:00:01", "00:00:00:00:00:ff", 2, "1000", "1255")), true, "MAC"},
        {checked(MakeLot("00:00:00:00:02:00", "00:00:00:00:02:ff", 1, "0255", "0300")), true, "ID"},
        {checked(MakeLot("00:00:00:00:02:00", "00:00:00:00:02:ff", 1, "0256", "0300")), false, ""},
        {checked(MakeLot("00:00:00:00:02:00", "00:00:00:00:02:ff", 1, "0000", "0300", true)), false, ""},
    };
    for (const Case& c : cases) {
        std::string what;
        EXPECT_EQ(LotsOverlap(base, c.other, what), c.overlaps) << c.other.idFirst;
        EXPECT_EQ(LotsOverlap(c.other, base, what), c.overlaps);
        if (c.overlaps) {
            EXPECT_EQ(what, c.what);
        }
    }
}
