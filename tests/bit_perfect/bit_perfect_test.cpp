// The check on recordings made from mpmath's sines, clean and harmed in every way the check
// names: the verdict, the width, the span and the counter it reports, in every container.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>

#include "check.h"
#include "recorded_wav.h"
#include "recording.h"
#include "tone_far.h"
#include "tone_start.h"
#include "wav_reader.h"

namespace {

struct Source {
    bool far;            // the stretch a day in (tone_far), else the tone's start
    std::uint32_t skip;  // frames of the stretch left out before the recording
    std::uint32_t frames;
};

using Harm = std::function<void(std::vector<std::int64_t>&, std::uint32_t bits)>;

struct CheckCase {
    const char* name;
    Source source;
    std::uint32_t bits;
    Container container;
    std::uint32_t channels;        // the tone in each, then
    std::uint32_t silentChannels;  // channels of digital silence
    std::uint32_t silence;         // frames of silence before and after the tone
    Harm harm;                     // applied to the first channel, or to all when allChannels
    bool allChannels;
    std::uint32_t rate;
    const char* expected;  // the verdict line holds this
};

ChannelCodes Channels(const CheckCase& test) {
    const std::vector<std::int32_t> stretch =
        test.source.far ? tone_far::Codes(test.source.skip + test.source.frames, test.bits)
                        : tone_start::Codes(test.source.skip + test.source.frames, test.bits);
    std::vector<std::int64_t> tone(test.silence, 0);
    tone.insert(tone.end(), stretch.begin() + static_cast<std::ptrdiff_t>(test.source.skip),
                stretch.end());
    tone.insert(tone.end(), test.silence, 0);
    std::vector<std::int64_t> harmed = tone;
    if (test.harm) test.harm(harmed, test.bits);
    ChannelCodes channels;
    for (std::uint32_t c = 0; c < test.channels; ++c) {
        channels.push_back(c == 0 || test.allChannels ? harmed : tone);
    }
    channels.resize(test.channels + test.silentChannels, std::vector<std::int64_t>(harmed.size()));
    return channels;
}

std::string Verdict(const CheckCase& test) {
    WavAudio audio;
    const std::string problem =
        ParseWavAudio(RecordedWav(Channels(test), test.bits, test.container, test.rate), audio);
    EXPECT_EQ(problem, "");
    return VerdictLine(CheckRecording(MakeRecording(std::move(audio))));
}

void Gain(std::vector<std::int64_t>& codes, std::uint32_t) {
    for (auto& code : codes) code = std::llround(static_cast<double>(code) * 0.98855309465693886);
}
void Invert(std::vector<std::int64_t>& codes, std::uint32_t) {
    for (auto& code : codes) code = -code;
}
void Dither(std::vector<std::int64_t>& codes, std::uint32_t) {
    for (std::size_t i = 0; i < codes.size(); ++i)
        codes[i] += static_cast<std::int64_t>(i * 7919 % 3) - 1;
}
void TruncateTo16(std::vector<std::int64_t>& codes, std::uint32_t bits) {
    const std::int64_t step = std::int64_t{1} << (bits - 16);
    for (auto& code : codes) code -= ((code % step) + step) % step;
}
void FlipBits(std::vector<std::int64_t>& codes, std::uint32_t) {
    codes[5000] ^= 8;
    codes[31000] ^= 1;
}
Harm Slip(std::size_t at, std::int64_t shift) {  // shift > 0 drops frames, < 0 repeats them
    return [at, shift](std::vector<std::int64_t>& codes, std::uint32_t) {
        std::vector<std::int64_t> out(codes.begin(),
                                      codes.begin() + static_cast<std::ptrdiff_t>(at));
        out.insert(
            out.end(),
            codes.begin() + static_cast<std::ptrdiff_t>(static_cast<std::int64_t>(at) + shift),
            codes.end());
        codes = out;
    };
}
// Linear interpolation onto frames `ratio` tone frames apart.
Harm Resample(double ratio) {
    return [ratio](std::vector<std::int64_t>& codes, std::uint32_t) {
        std::vector<std::int64_t> out;
        for (double at = 0; at + 1 < static_cast<double>(codes.size()); at += ratio) {
            const auto i = static_cast<std::size_t>(at);
            const double between =
                static_cast<double>(codes[i + 1] - codes[i]) * (at - static_cast<double>(i));
            out.push_back(codes[i] + std::llround(between));
        }
        codes = out;
    };
}

constexpr Source kStart{false, 0, 48000};
constexpr Source kFar{true, 1000, 8000};  // from counter 2^32 - 3800
constexpr std::uint32_t kFs = 48000;

class Recordings : public testing::TestWithParam<CheckCase> {};

TEST_P(Recordings, GetTheirVerdict) {
    const std::string line = Verdict(GetParam());
    EXPECT_NE(line.find(GetParam().expected), std::string::npos) << line;
}

const CheckCase kCases[] = {
    {"Pcm24", kStart, 24, Container::kPcm24, 2, 0, 0, nullptr, false, kFs,
     "bit-perfect: yes, 24-bit tone in 24-bit integer PCM, 2 channels, 48000 frames from capture "
     "frame 0 = tone frame 0"},
    {"Pcm16BetweenSilences", kStart, 16, Container::kPcm16, 1, 0, 1000, nullptr, false, kFs,
     "bit-perfect: yes, 16-bit tone in 16-bit integer PCM, 1 channel, 48001 frames from capture "
     "frame 1000 = tone frame 0"},
    {"Pcm32MidStream",
     {false, 5000, 40000},
     32,
     Container::kPcm32,
     2,
     0,
     0,
     nullptr,
     false,
     kFs,
     "bit-perfect: yes, 32-bit tone in 32-bit integer PCM, 2 channels, 40000 frames from capture "
     "frame 0 = tone frame 5000"},
    {"Pcm16In24", kStart, 16, Container::kPcm24, 2, 0, 0, nullptr, false, kFs,
     "bit-perfect: yes, 16-bit tone in 24-bit integer PCM"},
    {"Extensible24In32", kStart, 24, Container::kPcm24In32, 2, 0, 0, nullptr, false, kFs,
     "bit-perfect: yes, 24-bit tone in 24 valid bits in 32-bit integer PCM"},
    {"Float24", kStart, 24, Container::kFloat32, 2, 0, 300, nullptr, false, kFs,
     "bit-perfect: yes, 24-bit tone in 32-bit float, 2 channels, 48001 frames from capture frame "
     "300 = tone frame 0"},
    {"FarPcm24", kFar, 24, Container::kPcm24, 2, 0, 0, nullptr, false, kFs,
     "bit-perfect: yes, 24-bit tone in 24-bit integer PCM, 2 channels, 8000 frames from capture "
     "frame 0 = tone frame 4294963496"},
    {"FarPcm32WithSilence", kFar, 32, Container::kPcm32, 1, 0, 500, nullptr, false, kFs,
     "frames from capture frame 500 = tone frame 4294963496"},
    {"SilentChannels", kStart, 24, Container::kPcm24, 2, 2, 0, nullptr, false, kFs,
     "2 channels, 48000 frames from capture frame 0 = tone frame 0; channels 3, 4 silent"},
    {"AllSilent", kStart, 24, Container::kPcm24, 0, 2, 0, nullptr, false, kFs,
     "bit-perfect: no, no tone: every channel is digital silence"},
    {"Float32", kStart, 32, Container::kFloat32, 2, 0, 0, nullptr, false, kFs,
     "a 32-bit tone does not fit exactly in 32-bit float"},
    {"Gain", kStart, 24, Container::kPcm24, 2, 0, 0, Gain, true, kFs, "; constant gain -0.10 dB"},
    {"Polarity", kStart, 24, Container::kPcm24, 2, 0, 0, Invert, true, kFs,
     "= tone frame 0: 47000 differ, the first at capture frame 1 = tone frame 1; polarity "
     "inverted"},
    {"PolarityOfOneChannel", kStart, 16, Container::kPcm16, 2, 0, 0, Invert, false, kFs,
     "; channel 1: polarity inverted"},
    {"Dither", kStart, 24, Container::kPcm24, 2, 0, 0, Dither, true, kFs,
     "low bits changed at random (dither or noise), by up to 1 code"},
    {"Truncated", kStart, 24, Container::kPcm24, 2, 0, 0, TruncateTo16, true, kFs,
     "= tone frame 1; low bits zero: truncated to 16 bits (the low 8 of 24 are zero)"},
    {"ResampledFile", kStart, 24, Container::kPcm24, 2, 0, 0, Resample(48000.0 / 44100), true,
     44100, "resampled: the file is at 44100 Hz, the tone at 48000 Hz"},
    {"ResampledTone", kStart, 16, Container::kPcm16, 2, 0, 0, Resample(1.001), true, kFs,
     "resampled: the tone runs at 500.500 Hz, not 500 Hz"},
    {"Dropped", kStart, 24, Container::kPcm24, 2, 0, 0, Slip(12000, 144), true, kFs,
     "; 144 frames missing at capture frames 12000-12001"},
    {"RepeatedWholeCycles", kStart, 16, Container::kPcm16, 2, 0, 0, Slip(12000, -480), true, kFs,
     // both alignments fit the frames from 11673 on, where 480 frames ago came round again
     "; 480 frames repeated at capture frames 11673-12184"},
    {"DroppedFar", kFar, 32, Container::kPcm32, 2, 0, 0, Slip(6000, 160), true, kFs,
     "= tone frame 4294963496: "},
    {"BitErrors", kStart, 24, Container::kPcm24, 2, 0, 0, FlipBits, true, kFs,
     "2 differ, the first at capture frame 5000 = tone frame 5000; isolated bit errors in 2 "
     "frames, one flipped bit each"},
};

INSTANTIATE_TEST_SUITE_P(Cases, Recordings, testing::ValuesIn(kCases),
                         [](const auto& param) { return std::string(param.param.name); });

TEST(Recordings, DroppedFarStretchNamesTheGap) {
    CheckCase test = kCases[20];
    EXPECT_NE(Verdict(test).find("160 frames missing at capture frame 6000"), std::string::npos)
        << Verdict(test);
}

}  // namespace
