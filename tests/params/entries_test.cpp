#include "Entries.h"

#include "EntriesFixture.h"

#include <gtest/gtest.h>

namespace {

TEST_F(EntriesTest, ItemValuesForTheDeviceInfoBlock) {
    tagBurnEntries e;
    e.aOffsetParts = {{"AB", "07"}, {"", ""}};
    e.aKeyParts = {{"SN-", "0099"}, {"", ""}};
    // Every key item yields a pair, an empty value too; names upper-cased, values as they are.
    EXPECT_EQ(KeyEntries(config, e), (std::vector<std::string>{"SN=SN-0099", "HW=V1.0", "MAC2="}));
    // One value per offset item; empty means nothing to write.
    EXPECT_EQ(OffsetValues(config, e), (std::vector<std::string>{"AB07", "ABC", ""}));

    BurnConfig trimmed;
    ParseKeyItems(" sn |hw: V1.0 |Ab\xc3\xa9:x", trimmed);
    EXPECT_EQ(KeyEntries(trimmed, tagBurnEntries{}),
              (std::vector<std::string>{"SN =", "HW= V1.0", "AB\xc3\xa9=x"}));

    EXPECT_TRUE(KeyEntries(BurnConfig{}, e).empty());
}

} // namespace
