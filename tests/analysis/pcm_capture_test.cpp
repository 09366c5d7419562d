// Reading captures: every width and header the player's endpoints write, and what is refused.

#include <gtest/gtest.h>

#include <string>

#include "pcm_capture.h"
#include "synthetic_wav.h"

namespace {

struct ReadCase {
    const char* name;
    WavShape shape;
};

class WavReading : public testing::TestWithParam<ReadCase> {};

TEST_P(WavReading, DecodesEveryCodeOfEachChannel) {
    const WavShape& shape = GetParam().shape;
    const std::int32_t peak =
        static_cast<std::int32_t>((std::int64_t{1} << (shape.containerBits - 1)) - 1);
    const Channels channels{{0, 1, -1, peak, -peak - 1, 12345}, {-7, peak, 0, -peak, 1, -12345}};
    PcmCapture capture;
    ASSERT_EQ(ParseWav(WavImage(shape, channels), capture), "");
    EXPECT_EQ(capture.sampleRate, 48000u);
    EXPECT_EQ(capture.containerBits, shape.containerBits);
    EXPECT_EQ(capture.validBits, shape.validBits);
    EXPECT_EQ(capture.channels, channels);
}

INSTANTIATE_TEST_SUITE_P(Shapes, WavReading,
                         testing::Values(ReadCase{"pcm16", {16, 16, false, false}},
                                         ReadCase{"pcm24", {24, 24, false, true}},
                                         ReadCase{"pcm32", {32, 32, false, false}},
                                         ReadCase{"extensible24", {24, 24, true, false}},
                                         ReadCase{"extensible24in32", {32, 24, true, true}}),
                         [](const auto& param) { return std::string(param.param.name); });

std::vector<std::uint8_t> Patched(std::vector<std::uint8_t> image, std::size_t at,
                                  std::uint8_t value) {
    image[at] = value;
    return image;
}

TEST(WavReading, RefusesWhatIsNotIntegerPcm) {
    const Channels tone{SineCodes(16, 500, 8388607)};
    const auto pcm = WavImage({24, 24, false, false}, tone);
    const auto extensible = WavImage({24, 24, true, false}, tone);
    const auto truncatedFmt = std::vector<std::uint8_t>(pcm.begin(), pcm.begin() + 30);
    const struct {
        std::vector<std::uint8_t> image;
        const char* why;
    } cases[] = {
        {Patched(pcm, 0, 'X'), "not a RIFF/WAVE file"},
        {Patched(pcm, 20, 3), "24-bit float samples (32 expected)"},
        {Patched(pcm, 34, 8), "8-bit samples (16, 24 or 32 expected)"},
        {Patched(extensible, 44, 5), "extensible sub-format is neither integer PCM nor IEEE float"},
        {Patched(pcm, 12, 'X'), "data chunk before the fmt chunk"},
        {Patched(pcm, 36, 'X'), "no data chunk"},
        {truncatedFmt, "fmt chunk runs past the end of the file"},
    };
    for (const auto& test : cases) {
        PcmCapture capture;
        EXPECT_EQ(ParseWav(test.image, capture), test.why);
    }
}

TEST(WavReading, KeepsTheWholeFramesOfACutShortDataChunk) {
    const Channels tone{SineCodes(10, 500, 8388607)};
    const std::vector<std::uint8_t> whole = WavImage({24, 24, false, false}, tone);
    const std::vector<std::uint8_t> image(whole.begin(), whole.end() - 2);  // 9 1/3 frames
    PcmCapture capture;
    ASSERT_EQ(ParseWav(image, capture), "");
    EXPECT_EQ(capture.FrameCount(), 9u);
}

}  // namespace
