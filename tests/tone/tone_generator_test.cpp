// The generator's behaviour around its samples: counts, flags, bounds, calls that continue the
// phase, widths it does not support. The samples themselves are checked exactly against the
// reference tables in tone_exact_test.cpp.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "pcm_samples.h"
#include "tone/tone_generator.h"

namespace {

TEST(ToneGenerator, ZeroFramesWritesNothingButClearsFlags) {
    ToneGenerator tone = MakeTone(48000, 2, 16, 5);
    std::uint8_t guard = 0xAB;
    std::uint32_t flags = 0xFFFFFFFF;
    EXPECT_EQ(tone.FillBuffer(0, &guard, &flags), 0);
    EXPECT_EQ(guard, 0xAB);
    EXPECT_EQ(flags, 0u);
    EXPECT_EQ(tone.framesGenerated, 5u);
}

TEST(ToneGenerator, ReportsFlagsZeroAndAcceptsNullFlags) {
    ToneGenerator tone = MakeTone(48000, 2, 24);
    std::vector<std::uint8_t> buffer(6 * 10);
    std::uint32_t flags = 2;
    EXPECT_EQ(tone.FillBuffer(10, buffer.data(), &flags), 0);
    EXPECT_EQ(flags, 0u);
    EXPECT_EQ(tone.FillBuffer(10, buffer.data(), nullptr), 0);
    EXPECT_EQ(tone.framesGenerated, 20u);
}

TEST(ToneGenerator, WritesExactlyTheFramesAskedFor) {
    ToneGenerator tone = MakeTone(48000, 2, 16);
    std::vector<std::uint8_t> buffer(41, 0xCD);
    tone.FillBuffer(10, buffer.data(), nullptr);
    EXPECT_EQ(buffer[40], 0xCD);
    EXPECT_NE(buffer[39], 0xCD);  // the last sample of frame 9 was written
    EXPECT_EQ(tone.framesGenerated, 10u);
}

struct Split {
    std::uint32_t bits;
    std::uint32_t channels;
    std::vector<std::uint32_t> calls;  // frames per call, adding up to the whole
};

class PhaseContinuity : public testing::TestWithParam<Split> {};

TEST_P(PhaseContinuity, SplitCallsWriteTheSameBytesAsOneCall) {
    const Split& split = GetParam();
    std::uint32_t total = 0;
    for (std::uint32_t frames : split.calls) total += frames;

    ToneGenerator whole = MakeTone(48000, split.channels, split.bits, 1000003);
    const std::vector<std::uint8_t> expected = Fill(whole, total);

    ToneGenerator pieces = MakeTone(48000, split.channels, split.bits, 1000003);
    std::vector<std::uint8_t> joined;
    for (std::uint32_t frames : split.calls) {
        const std::vector<std::uint8_t> part = Fill(pieces, frames);
        joined.insert(joined.end(), part.begin(), part.end());
    }
    EXPECT_EQ(joined, expected);
    EXPECT_EQ(pieces.framesGenerated, whole.framesGenerated);
}

INSTANTIATE_TEST_SUITE_P(Calls, PhaseContinuity,
                         testing::Values(Split{16, 2, {48, 48}}, Split{24, 2, {1, 0, 143, 144}},
                                         Split{32, 1, {7, 89, 480}}, Split{32, 6, {160, 3}}));

class UnsupportedWidths : public testing::TestWithParam<std::uint32_t> {};

TEST_P(UnsupportedWidths, WriteSilenceOfTheirWidthAndAdvanceThePhase) {
    const std::uint32_t bits = GetParam();
    const std::size_t frameBytes = 2 * (bits / 8);
    constexpr std::uint32_t kFrames = 5;
    std::vector<std::uint8_t> buffer(frameBytes * kFrames + 16, 0xEE);
    ToneGenerator tone = MakeTone(48000, 2, bits, 24);
    std::uint32_t flags = 1;
    EXPECT_EQ(tone.FillBuffer(kFrames, buffer.data(), &flags), 0);
    EXPECT_EQ(flags, 0u);
    for (std::size_t i = 0; i < buffer.size(); ++i) {
        EXPECT_EQ(buffer[i], i < frameBytes * kFrames ? 0x00 : 0xEE) << "byte " << i;
    }
    EXPECT_EQ(tone.framesGenerated, 24u + kFrames);
}

// Widths above 32 bits are wider than a sample can be: still silence, never stray bytes.
INSTANTIATE_TEST_SUITE_P(Widths, UnsupportedWidths,
                         testing::Values(0u, 4u, 8u, 12u, 20u, 40u, 48u, 64u, 128u));

}  // namespace
