// The two paths of Sine against each other: wherever the quick path claims a result, the exact
// path must give the same bits, and near a rounding midpoint the quick path must decline.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <iomanip>
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
// the right sine, never a wrong one (an error allowance too small would show here), and the
// narrowest declines every one.
TEST(SinePaths, NarrowExactAttemptsDeclineWhatTheyCannotSettle) {
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
}

// A reduced argument whose sine lies 2^-distance (relative) from a midpoint.
struct ReducedCase {
    int distance;
    ReducedSineArgument argument;
    double sine;  // correctly rounded
    std::string line;
};

std::vector<ReducedCase> ReadReducedCases() {
    std::vector<ReducedCase> cases;
    for (std::size_t i = 0; i < kReducedMidpointsTable.count; ++i) {
        std::istringstream fields(kReducedMidpointsTable.lines[i]);
        ReducedCase reduced{};
        reduced.line = kReducedMidpointsTable.lines[i];
        char sign = 0;
        fields >> reduced.distance >> reduced.argument.quadrant >> sign >> std::hex;
        for (std::uint32_t& word : reduced.argument.fraction) fields >> word;
        std::uint64_t sineBits = 0;
        fields >> sineBits;
        EXPECT_TRUE(fields && (sign == '+' || sign == '-')) << reduced.line;
        reduced.argument.negativeFraction = sign == '-';
        reduced.sine = FromBits(sineBits);
        cases.push_back(reduced);
    }
    return cases;
}

// Sines 2^-300 from a midpoint, in every quadrant and binade: 5 and 9 words (errors up to 2^-240)
// must decline them, 16 words settle them, and the exact path's loop reach 16 and settle.
TEST(SinePaths, ExactAttemptsDeclineBeyondTheirWidthAndTheLoopSettlesWithSixteenWords) {
    int checked = 0;
    for (const ReducedCase& reduced : ReadReducedCases()) {
        if (reduced.distance != 300) continue;
        ++checked;
        for (int words : {5, 9}) {
            double sine = 0.0;
            EXPECT_FALSE(TryExactSine(reduced.argument, words, sine))
                << words << " words gave " << std::hexfloat << sine << ": " << reduced.line;
        }
        double sine = 0.0;
        EXPECT_TRUE(TryExactSine(reduced.argument, 16, sine) &&
                    std::memcmp(&sine, &reduced.sine, sizeof sine) == 0)
            << "16 words: " << std::hexfloat << sine << ", not " << reduced.sine << ": "
            << reduced.line;
        int settledWith = 0;
        const double looped = ExactSineTrying(reduced.argument, {5, 9, 16}, settledWith);
        EXPECT_EQ(settledWith, 16) << reduced.line;
        EXPECT_EQ(std::memcmp(&looped, &reduced.sine, sizeof looped), 0)
            << std::hexfloat << looped << ", not " << reduced.sine << ": " << reduced.line;
    }
    EXPECT_EQ(checked, 56);
}

// Sines 2^-500 from a midpoint are beyond every width: each attempt declines, and the loop names
// the argument and stops the program rather than return a sine it has not settled.
TEST(SinePathsDeathTest, TheLoopAbortsWithADiagnosticWhenNoWidthSettles) {
    int checked = 0;
    for (const ReducedCase& reduced : ReadReducedCases()) {
        if (reduced.distance != 500) continue;
        ++checked;
        double sine = 0.0;
        EXPECT_FALSE(TryExactSine(reduced.argument, 16, sine)) << reduced.line;
        std::ostringstream message;
        message << "Sine: the rounding of the sine of (" << reduced.argument.quadrant
                << (reduced.argument.negativeFraction ? " - 0x0." : " + 0x0.") << std::hex
                << std::setfill('0');
        for (std::uint32_t word : reduced.argument.fraction) message << std::setw(8) << word;
        message << ") pi/2 is still undecided";
        int settledWith = 0;
        EXPECT_DEATH(ExactSineTrying(reduced.argument, {5, 9, 16}, settledWith),
                     ::testing::HasSubstr(message.str()))
            << reduced.line;
    }
    EXPECT_EQ(checked, 8);
}

}  // namespace
