#include "BurnConfig.h"
#include "ProfileReader.h"
#include "StatusLog.h"
#include "StrUtil.h"
#include "TextTables.h"

#include <gtest/gtest.h>

TEST(Smoke, Builds) {
    EXPECT_EQ(tv::Trim("  a \r\n"), "a");
}
