// The analysis of synthetic captures with known defects: each is flagged for what it is and
// measured, and clean tones of every width pass with the figures of an ideal quantiser.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>

#include "capture_analysis.h"
#include "synthetic_wav.h"

namespace {

constexpr std::size_t kFrames = 60000;  // more than the second analysed

enum Flag { kFrequency = 1, kSinad = 2, kFramesOff = 4, kNoTone = 8 };

struct DefectCase {
    const char* name;
    WavShape shape;
    long double peak;       // of the synthesised sine, in codes
    long double frequency;  // Hz
    std::function<void(Channels&)> defect;
    int flags;
    // One figure of the analysis and the range it must fall in.
    std::function<double(const CaptureAnalysis&)> figure;
    double low, high;
};

double Frequency(const CaptureAnalysis& a) { return a.channels[0].fit.frequency; }
double Sinad(const CaptureAnalysis& a) { return a.channels[0].sinadDb; }
double FramesOff(const CaptureAnalysis& a) { return static_cast<double>(a.framesOff); }

CaptureAnalysis Analyse(const DefectCase& test) {
    const std::vector<std::int32_t> tone = SineCodes(kFrames, test.frequency, test.peak);
    Channels channels{tone, tone};
    if (test.defect) test.defect(channels);
    PcmCapture capture;
    EXPECT_EQ(ParseWav(WavImage(test.shape, channels), capture), "");
    return AnalyseCapture(capture, AnalysisSettings{});
}

class Defects : public testing::TestWithParam<DefectCase> {};

TEST_P(Defects, AreFlaggedAndMeasured) {
    const DefectCase& test = GetParam();
    const CaptureAnalysis analysis = Analyse(test);
    const std::string verdict = VerdictLine(analysis);
    ASSERT_EQ(analysis.channels.size(), 2u);
    EXPECT_EQ(analysis.framesAnalysed, 48000u);
    EXPECT_EQ(test.flags == 0, verdict.rfind("verdict: pass", 0) == 0) << verdict;
    EXPECT_EQ((test.flags & kFrequency) != 0, verdict.find(" Hz, off 500 Hz") != std::string::npos);
    EXPECT_EQ((test.flags & kSinad) != 0, verdict.find("below the ideal") != std::string::npos);
    EXPECT_EQ((test.flags & kNoTone) != 0, verdict.find("no tone") != std::string::npos);
    EXPECT_EQ((test.flags & kFramesOff) != 0, verdict.find(" off the fit") != std::string::npos);
    const double figure = test.figure(analysis);
    EXPECT_GE(figure, test.low) << SummaryLine(analysis);
    EXPECT_LE(figure, test.high) << SummaryLine(analysis);
}

const WavShape k24{24, 24, true, false};
const long double k24Peak = 8388607;
auto Drop = [](Channels& c) {
    for (auto& v : c) v.erase(v.begin() + 24000);
};
auto Repeat = [](Channels& c) {
    for (auto& v : c) v.insert(v.begin() + 24000, v[24000]);
};

INSTANTIATE_TEST_SUITE_P(
    Captures, Defects,
    testing::Values(
        // Clean tones: SINAD within 1 dB of the ideal quantiser's 6.02·N + 1.76 dB, or above.
        DefectCase{"clean24", k24, k24Peak, 500, nullptr, 0, Sinad, 147.3, 147.9},
        DefectCase{"clean16", {16, 16, false, false}, 32767, 500, nullptr, 0, Sinad, 97, 98.5},
        DefectCase{
            "clean32", {32, 32, false, false}, 2147483647, 500, nullptr, 0, Sinad, 193.9, 197},
        DefectCase{"clean24in32",
                   {32, 24, true, true},
                   2147483647,
                   500,
                   nullptr,
                   0,
                   Frequency,
                   499.999999,
                   500.000001},
        // A gap or a repeat halfway: a phase jump of 1/96 of a cycle, which the fit spreads as a
        // frequency error over the whole second.
        DefectCase{"droppedFrame", k24, k24Peak, 500, Drop, kFrequency | kSinad | kFramesOff, Sinad,
                   20, 60},
        DefectCase{"repeatedFrame", k24, k24Peak, 500, Repeat, kFrequency | kSinad | kFramesOff,
                   FramesOff, 10000, 48000},
        // Bit 12 of one sample of the left channel: one frame off by 4096 codes.
        DefectCase{"singleBitError", k24, k24Peak, 500, [](Channels& c) { c[0][30000] ^= 1 << 12; },
                   kSinad | kFramesOff, FramesOff, 1, 1},
        // A 16-bit tone in a 24-bit container: 16-bit SINAD where 24 bits were promised.
        DefectCase{"sixteenBitsIn24", k24, 32767, 500,
                   [](Channels& c) {
                       for (auto& v : c)
                           for (auto& s : v) s *= 256;
                   },
                   kSinad | kFramesOff, Sinad, 97, 98.5},
        DefectCase{"slightlySharp", k24, k24Peak, 500.01L, nullptr, kFrequency, Frequency,
                   500.0099999, 500.0100001},
        // One channel silent: the other still measured as clean.
        DefectCase{"silentRight", k24, k24Peak, 500,
                   [](Channels& c) { c[1].assign(c[1].size(), 0); }, kNoTone, Sinad, 147.3, 147.9},
        DefectCase{"wrongTone", k24, k24Peak, 503.7L, nullptr, kFrequency, Frequency, 503.6999999,
                   503.7000001}),
    [](const auto& param) { return std::string(param.param.name); });

// The figures the product's 24-bit tone shows: the quantisation error repeats every 96 frames,
// so it falls on the harmonics and leaves every other bin empty.
TEST(CleanTone, ShowsTheFiguresOfAnIdealQuantiser) {
    const CaptureAnalysis analysis =
        Analyse(DefectCase{"clean24", k24, k24Peak, 500, nullptr, 0, Sinad, 0, 0});
    ASSERT_EQ(analysis.channels.size(), 2u);
    const ChannelAnalysis& left = analysis.channels[0];
    EXPECT_TRUE(analysis.channelsIdentical);
    EXPECT_NEAR(left.fit.Amplitude() / 8388607.0, 1.0, 2e-8);
    EXPECT_NEAR(left.levelDbfs, 0.0, 1e-6);
    EXPECT_NEAR(left.enobBits, 24.2, 0.1);
    EXPECT_NEAR(ToneSpectrum::Dbfs(left.spectrum.Harmonic(5), analysis.fullScale), -155.5, 0.5);
    EXPECT_NEAR(ToneSpectrum::Dbfs(left.spectrum.Harmonic(7), analysis.fullScale), -164.1, 0.5);
    EXPECT_LT(ToneSpectrum::Dbfs(left.spectrum.amplitude[left.spectrum.HighestNonHarmonicBin()],
                                 analysis.fullScale),
              -180.0);
    EXPECT_NE(SummaryLine(analysis).find("SINAD 147.6 dB (ideal 146.2 dB for 24 bits)"),
              std::string::npos)
        << SummaryLine(analysis);
}

TEST(ShortCapture, IsAnalysedWholeOrFlaggedWhenUnderOnePeriod) {
    for (const std::size_t frames : {std::size_t{95}, std::size_t{9600}}) {
        const Channels tone{SineCodes(frames, 500, k24Peak)};
        PcmCapture capture;
        ASSERT_EQ(ParseWav(WavImage(k24, tone), capture), "");
        const CaptureAnalysis analysis = AnalyseCapture(capture, AnalysisSettings{});
        EXPECT_EQ(analysis.framesAnalysed, frames);
        EXPECT_EQ(analysis.flags.empty(), frames == 9600) << VerdictLine(analysis);
    }
}

}  // namespace
