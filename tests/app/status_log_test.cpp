#include "StatusLog.h"

#include <gtest/gtest.h>

#include <vector>

struct LogCase {
    const char* name;
    std::vector<std::pair<int, std::string>> messages;
    std::string expected;
};

// Test names in the output, not the bytes of the case.
inline void PrintTo(const LogCase& c, std::ostream* os) {
    *os << c.name;
}

class StatusLogTable : public ::testing::TestWithParam<LogCase> {};

TEST_P(StatusLogTable, BuildsTheLogText) {
    std::string log;
    for (const auto& [kind, text] : GetParam().messages)
        ApplyBurnStatus(log, StatusKind(kind), text);
    EXPECT_EQ(log, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, StatusLogTable,
    ::testing::Values(
        LogCase{"FirstAppend", {{3, "X"}}, "\r\nX"},
        LogCase{"ReplaceThenAppend", {{1, "X"}, {3, "Y"}}, "X\r\nY"},
        LogCase{"HashesOnOneLine", {{1, "X"}, {3, "#"}, {3, "#"}, {3, "#"}}, "X\r\n###"},
        LogCase{"HashAfterOtherText", {{1, "X"}, {3, "Y"}, {3, "#"}}, "X\r\nY\r\n#"},
        LogCase{"HashOnEmptyLog", {{3, "#"}}, "\r\n#"},
        LogCase{"ProgressReplaced",
                {{1, "X"}, {3, "DataSegment1 10% downloaded."}, {2, "DataSegment1 20% downloaded."}},
                "X\r\nDataSegment1 20% downloaded."},
        LogCase{"ReplaceOnlyLine", {{1, "X"}, {2, "Y"}}, "\r\nY"},
        LogCase{
            "BootDownloadedCutsTwice", {{1, "X"}, {3, "Boot 10% downloaded"}, {3, "Y"}, {2, "Z"}}, "X\r\nZ"},
        LogCase{"ComSentCut", {{1, "X"}, {3, "COM: sent"}, {3, "Y"}, {2, "Z"}}, "X\r\nZ"},
        LogCase{"ComReceivedCut", {{1, "X"}, {3, "COM: received"}, {3, "Y"}, {2, "Z"}}, "X\r\nZ"},
        LogCase{"KindZeroNoChange", {{1, "X"}, {0, "Start frame sent successfully!"}}, "X"},
        LogCase{"OtherKindNoChange", {{1, "X"}, {7, "Y"}}, "X"},
        LogCase{"EmptyTextAppendsEmptyLine", {{1, "X"}, {3, ""}}, "X\r\n"},
        LogCase{"EmptyTextKindOneEmpties", {{1, "X"}, {1, ""}}, ""},
        LogCase{"TextWithLineBreaks", {{1, "X"}, {3, "A\r\nB"}, {2, "C"}}, "X\r\nA\r\nC"}),
    [](const ::testing::TestParamInfo<LogCase>& i) { return std::string(i.param.name); });
