#include <gmock/gmock.h>

#include "hresult_check.h"

namespace {

using testing::HasSubstr;

TEST(HresultCheck, ShowsBothResultsOfAFailureAsThirtyTwoBitPatterns) {
    const testing::AssertionResult differing =
        HresultsEqual("run.result", "E_FAIL", AUDCLNT_E_DEVICE_INVALIDATED, E_FAIL);
    EXPECT_FALSE(differing);
    EXPECT_THAT(differing.message(), HasSubstr("run.result\n    Which is: 0x88890004"));
    EXPECT_THAT(differing.message(), HasSubstr("E_FAIL\n    Which is: 0x80004005"));
    EXPECT_TRUE(HresultsEqual("a", "b", S_FALSE, S_FALSE));
}

}  // namespace
