// Every tone test runs with the sine's products that TONE_SINE_PRODUCTS names: "dekker" or
// "fused" (CTest runs the suite once with each); unset, with what Sine chose itself.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "tone/sine_paths.h"

namespace {

class SineProductsEnvironment : public testing::Environment {
  public:
    void SetUp() override {
        const char* const name = std::getenv("TONE_SINE_PRODUCTS");
        if (name == nullptr) return;
        if (std::strcmp(name, "dekker") == 0) {
            ASSERT_TRUE(UseSineProducts(SineProducts::kDekker));
        } else if (std::strcmp(name, "fused") == 0) {
            if (!UseSineProducts(SineProducts::kFused)) {
                GTEST_SKIP() << "this processor has no FMA: the fused products are not tested";
            }
        } else {
            FAIL() << "TONE_SINE_PRODUCTS must be dekker or fused, not " << name;
        }
    }
};

testing::Environment* const kSineProducts =
    testing::AddGlobalTestEnvironment(new SineProductsEnvironment);

}  // namespace
