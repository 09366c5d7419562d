// The two paths of Sine against each other: wherever the quick path claims a result, the exact
// path must give the same bits, and near a rounding midpoint the quick path must decline.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <sstream>
#include <string>

#include "tone/sine_paths.h"
#include "tone_tables.h"

namespace {

double FromBits(std::uint64_t bits) {
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// Where the quick path answers, its answer is the exact one: random doubles of every exponent
// that reaches the reductions (2^-26 up to the largest), both signs.
TEST(SinePaths, QuickPathAgreesWithTheExactPathWhereverItAnswers) {
    std::mt19937_64 random(20261209);
    int answered = 0;
    for (int i = 0; i < 40000; ++i) {
        const std::uint64_t exponent = 997 + random() % (2046 - 997 + 1);  // 2^-26 .. 2^1023
        const std::uint64_t bits = (random() & 0x800fffffffffffffu) | (exponent << 52);
        const double x = FromBits(bits);
        double quick = 0.0;
        if (!TryQuickSine(x, quick)) continue;
        ++answered;
        const double exact = ExactSine(x);
        ASSERT_EQ(std::memcmp(&quick, &exact, sizeof quick), 0)
            << std::hexfloat << "x " << x << ": quick " << quick << ", exact " << exact;
    }
    EXPECT_GT(answered, 39000);
}

// The two arithmetics of the exact products decide alike and give the same bits, at random
// doubles of every exponent and at the tone's phases nearest a midpoint.
TEST(SinePaths, DekkerAndFusedProductsGiveTheSameResults) {
    if (!FusedProductsAvailable()) GTEST_SKIP() << "this processor has no FMA";
    const SineProducts chosen = SineProductsInUse();
    std::vector<double> arguments;
    std::mt19937_64 random(20261210);
    for (int i = 0; i < 20000; ++i) {
        const std::uint64_t exponent = 997 + random() % (2046 - 997 + 1);
        arguments.push_back(FromBits((random() & 0x800fffffffffffffu) | (exponent << 52)));
    }
    for (const SinePair& pair : ReadSinePairs(kMidpointsTable)) arguments.push_back(pair.argument);
    for (double x : arguments) {
        double results[2] = {0.0, 0.0};
        bool answered[2];
        for (int fused = 0; fused < 2; ++fused) {
            ASSERT_TRUE(UseSineProducts(fused != 0 ? SineProducts::kFused : SineProducts::kDekker));
            answered[fused] = TryQuickSine(x, results[fused]);
        }
        ASSERT_EQ(answered[0], answered[1]) << std::hexfloat << "x " << x;
        ASSERT_EQ(std::memcmp(&results[0], &results[1], sizeof results[0]), 0)
            << std::hexfloat << "x " << x << ": Dekker " << results[0] << ", fused " << results[1];
    }
    UseSineProducts(chosen);
}

// Sines a fraction of the quick path's bound from a midpoint, in every regime, must go to the
// exact path, and those 2 to 10 bounds from one must be rounded by the quick path itself,
// correctly: a bound set too small, or an error larger than it, shows in one or the other.
TEST(SinePaths, QuickPathDeclinesWithinItsBoundAndRoundsBeyondIt) {
    int counts[2] = {0, 0};
    for (std::size_t i = 0; i < kNearBoundTable.count; ++i) {
        std::istringstream fields(kNearBoundTable.lines[i]);
        std::uint64_t argumentBits = 0;
        std::uint64_t sineBits = 0;
        std::string verdict;
        ASSERT_TRUE(fields >> std::hex >> argumentBits >> sineBits >> verdict)
            << kNearBoundTable.lines[i];
        const double x = FromBits(argumentBits);
        double quick = 0.0;
        const bool answered = TryQuickSine(x, quick);
        if (verdict == "decline") {
            ++counts[0];
            EXPECT_FALSE(answered) << std::hexfloat << "x " << x << " gave " << quick;
        } else {
            ASSERT_EQ(verdict, "round");
            ++counts[1];
            const double expected = FromBits(sineBits);
            EXPECT_TRUE(answered && std::memcmp(&quick, &expected, sizeof quick) == 0)
                << std::hexfloat << "x " << x << ": " << (answered ? "gave " : "declined, ")
                << quick << ", not " << expected;
        }
    }
    EXPECT_EQ(counts[0], 120);
    EXPECT_EQ(counts[1], 120);
}

// The tone phases whose sines lie within a few hundred-thousandths of an ulp of a midpoint are
// far inside the quick path's error bound: it must leave every one to the exact path.
TEST(SinePaths, QuickPathDeclinesTheTonePhasesNearestAMidpoint) {
    const std::vector<SinePair> pairs = ReadSinePairs(kMidpointsTable);
    ASSERT_GE(pairs.size(), 400u);
    for (std::size_t i = 0; i < 400; ++i) {
        double quick = 0.0;
        EXPECT_FALSE(TryQuickSine(pairs[i].argument, quick))
            << std::hexfloat << "x " << pairs[i].argument << " gave " << quick;
    }
}

// Attempts of the exact path too narrow for the sines nearest a midpoint: each declines or gives
// the right sine, never a wrong one (an error allowance too small would show here), the
// narrowest declines the nearest of all, and the retry settles it.
TEST(SinePaths, ExactAttemptsDeclineWhatTheyCannotSettleAndTheRetrySettlesIt) {
    const std::vector<SinePair> pairs = ReadSinePairs(kMidpointsTable);
    ASSERT_GE(pairs.size(), 400u);
    int declined[2] = {0, 0};
    for (const SinePair& pair : pairs) {
        for (int words : {2, 5}) {
            double sine = 0.0;
            if (!TryExactSine(pair.argument, words, sine)) {
                ++declined[words / 5];
                continue;
            }
            ASSERT_EQ(std::memcmp(&sine, &pair.sine, sizeof sine), 0)
                << std::hexfloat << words << " words gave " << sine << " for " << pair.argument;
        }
    }
    EXPECT_EQ(declined[0], static_cast<int>(pairs.size())) << "2 words allow 2^-16: none settles";
    EXPECT_LT(declined[1], declined[0] / 2) << "5 words, allowing 2^-112, settle most";

    const SinePair& nearest = pairs.front();  // 4e-8 ulp from a midpoint
    double sine = 0.0;
    EXPECT_FALSE(TryExactSine(nearest.argument, 2, sine));
    EXPECT_TRUE(TryExactSine(nearest.argument, 9, sine));
    int settledWith = 0;
    const double retried = ExactSineTrying(nearest.argument, {2, 9}, settledWith);
    EXPECT_EQ(settledWith, 9);
    EXPECT_EQ(std::memcmp(&retried, &nearest.sine, sizeof retried), 0);
}

}  // namespace
