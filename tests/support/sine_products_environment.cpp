// Every test of a suite linked with this runs with the sine's products that
// EXCLUSIVE_TONE_SINE_PRODUCTS names, through the same request the player makes at start: CTest
// runs such suites once with "dekker" and once with "fused", and both must pass.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "tone/sine_paths.h"
#include "tone/sine_products.h"

namespace {

class SineProductsEnvironment : public testing::Environment {
  public:
    void SetUp() override {
        switch (ApplySineProductsRequest()) {
            case SineProductsRequest::kNone:
                return;
            case SineProductsRequest::kApplied:
                // Both runs would test one arithmetic if the request were lost on the way.
                ASSERT_EQ(SineProductsInUse(),
                          std::strcmp(std::getenv(kSineProductsVariable), "fused") == 0
                              ? SineProducts::kFused
                              : SineProducts::kDekker);
                return;
            case SineProductsRequest::kUnavailable:
                ASSERT_EQ(SineProductsInUse(), SineProducts::kDekker);
                GTEST_SKIP() << "this processor has no FMA: the fused products are not tested";
            case SineProductsRequest::kUnknownName:
                FAIL() << kSineProductsVariable << " must be dekker or fused";
        }
    }
};

testing::Environment* const kSineProducts =
    testing::AddGlobalTestEnvironment(new SineProductsEnvironment);

}  // namespace
