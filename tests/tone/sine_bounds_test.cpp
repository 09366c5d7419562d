// The quick path's error constants against the bounds its proof gives
// (tools/sine_constants/sine_bounds.txt, from prove_sine_bounds.py): a constant below its
// proven bound would let the quick path round a sine it cannot settle.

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <sstream>
#include <string>

#include "embedded_lines.h"
#include "tone/sine_bounds.h"

extern const EmbeddedLines kSineBounds;

namespace {

TEST(SineBounds, EveryConstantIsAtLeastItsProvenBound) {
    const std::map<std::string, double> constants{
        {"kRelativeError", sine_bounds::kRelativeError},
        {"kFloatingReductionError", sine_bounds::kFloatingReductionError},
        {"kIntegerReductionError", sine_bounds::kIntegerReductionError}};
    std::map<std::string, bool> proven;
    for (std::size_t i = 0; i < kSineBounds.count; ++i) {
        std::istringstream fields(kSineBounds.lines[i]);
        std::string name;
        double log2Bound = 0.0;
        ASSERT_TRUE(fields >> name >> log2Bound) << kSineBounds.lines[i];
        const auto constant = constants.find(name);
        ASSERT_NE(constant, constants.end()) << "the proof bounds an unknown constant " << name;
        // Powers of two are exact in a double, and the file's exponents are rounded upwards.
        EXPECT_GE(std::log2(constant->second), log2Bound)
            << name << " is below the proven bound 2^" << log2Bound;
        proven[name] = true;
    }
    EXPECT_EQ(proven.size(), constants.size()) << "a constant has no proven bound";
}

}  // namespace
