#include <gtest/gtest.h>

#include <sstream>

#include "result_report.h"

namespace {

struct Report {
    std::int32_t result;
    const char* text;
};

class ResultReport : public testing::TestWithParam<Report> {};

TEST_P(ResultReport, PrintsTheThirtyTwoBitPatternInLowerCaseHex) {
    std::ostringstream out;
    WriteResultReport(out, GetParam().result);
    EXPECT_EQ(out.str(), std::string("PlayExclusiveStream() returned ") + GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Codes, ResultReport,
                         testing::Values(Report{1460, "5b4"},
                                         Report{static_cast<std::int32_t>(0x80004005), "80004005"},
                                         Report{static_cast<std::int32_t>(0x8007000E), "8007000e"},
                                         Report{static_cast<std::int32_t>(0x8889000A), "8889000a"},
                                         Report{0, "0"}));

}  // namespace
