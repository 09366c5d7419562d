// Compares the generator's bytes, over millions of frames, with a reference written from the
// definition of the tone: the phase n * 1000 * pi / rate in doubles, a sine taken in extended
// precision and rounded once, then scaled and rounded half to even. The two may differ by one
// code only where the scaled value lies within a rounding error of a half-integer.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "pcm_samples.h"
#include "tone/tone_generator.h"

namespace {

struct Shape {
    std::uint32_t rate;
    std::uint32_t channels;
    std::uint32_t bits;
    std::uint64_t start;
};

double ReferenceScale(std::uint32_t bits) {
    return bits == 16 ? 32767.0 : bits == 24 ? 8388607.0 : 2147483647.0;
}

double ReferenceScaled(std::uint64_t frame, const Shape& shape) {
    // Stores through volatile round every step to double whatever the compiler's flags.
    volatile double phase = static_cast<double>(frame);
    phase = phase * 1000.0;
    phase = phase * 3.141592653589793;
    phase = phase / static_cast<double>(shape.rate);
    const double sine = static_cast<double>(std::sin(static_cast<long double>(phase)));
    return sine * ReferenceScale(shape.bits);
}

class ToneReference : public testing::TestWithParam<Shape> {};

TEST_P(ToneReference, MatchesTheDefinitionOverMillionsOfFrames) {
    const Shape& shape = GetParam();
    constexpr std::uint32_t kFramesPerCall = 4096;
    constexpr std::uint32_t kCalls = TONE_REFERENCE_FRAMES_PER_SHAPE / kFramesPerCall;
    // One last bit of the sine, scaled: the room the choice of sine routine has.
    const double halfIntegerZone = ReferenceScale(shape.bits) * 0x1p-52;
    const std::uint32_t sampleBytes = shape.bits / 8;

    ToneGenerator tone = MakeTone(shape.rate, shape.channels, shape.bits, shape.start);
    std::vector<std::uint8_t> buffer(std::size_t{kFramesPerCall} * shape.channels * sampleBytes);
    std::uint64_t frame = shape.start;
    std::uint64_t nearHalfDifferences = 0;
    for (std::uint32_t call = 0; call < kCalls; ++call) {
        tone.FillBuffer(kFramesPerCall, buffer.data(), nullptr);
        for (std::uint32_t i = 0; i < kFramesPerCall; ++i, ++frame) {
            const double scaled = ReferenceScaled(frame, shape);
            const auto expected = static_cast<std::int32_t>(std::rint(scaled));
            const std::uint8_t* samples = &buffer[std::size_t{i} * shape.channels * sampleBytes];
            const std::int32_t actual = DecodeSample(samples, sampleBytes);
            for (std::uint32_t channel = 1; channel < shape.channels; ++channel) {
                ASSERT_EQ(DecodeSample(samples + channel * sampleBytes, sampleBytes), actual);
            }
            if (actual == expected) continue;
            const double distanceFromHalf = std::fabs(std::fabs(scaled - std::floor(scaled)) - 0.5);
            ASSERT_EQ(std::abs(static_cast<std::int64_t>(actual) - expected), 1)
                << "frame " << frame;
            ASSERT_LE(distanceFromHalf, halfIntegerZone) << "frame " << frame;
            ++nearHalfDifferences;
        }
    }
    EXPECT_EQ(tone.framesGenerated, shape.start + std::uint64_t{kFramesPerCall} * kCalls);
    RecordProperty("NearHalfDifferences", std::to_string(nearHalfDifferences));
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, ToneReference,
    testing::Values(Shape{48000, 2, 16, 0}, Shape{48000, 2, 24, 0}, Shape{48000, 2, 32, 0},
                    // counters across 2^32, far out at 2^40 and where doubles run out of bits
                    Shape{48000, 2, 24, (std::uint64_t{1} << 32) - 1000000},
                    Shape{48000, 2, 32, (std::uint64_t{1} << 40) + 12345},
                    Shape{44100, 1, 16, (std::uint64_t{1} << 36) + 3},
                    Shape{96000, 6, 24, std::uint64_t{1} << 48},
                    Shape{192000, 8, 32, (std::uint64_t{1} << 53) - 500000}));

}  // namespace
