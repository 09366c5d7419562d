// The WAV reader: every container the check reads, what it refuses and why, and random damage
// to valid files, which must give a result or a reason and never a crash.

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "check.h"
#include "recorded_wav.h"
#include "recording.h"
#include "wav_reader.h"

namespace {

const ChannelCodes kCodes{{0, 1, -1, 8388607, -8388607, 12345}, {-7, 0, 3, -3, 5, -5}};

TEST(WavReader, ReadsEveryContainer) {
    const struct {
        Container container;
        std::uint32_t bits, containerBits, validBits;
        WavAudio::Encoding encoding;
        double scale;  // of a code in the samples read
    } cases[] = {
        {Container::kPcm24, 24, 24, 24, WavAudio::Encoding::kInteger, 1},
        {Container::kPcm32, 24, 32, 32, WavAudio::Encoding::kInteger, 256},
        {Container::kPcm24In32, 24, 32, 24, WavAudio::Encoding::kInteger, 256},
        {Container::kFloat32, 24, 32, 32, WavAudio::Encoding::kFloat, 1.0 / 8388608},
    };
    for (const auto& test : cases) {
        WavAudio audio;
        ASSERT_EQ(ParseWavAudio(RecordedWav(kCodes, test.bits, test.container), audio), "");
        EXPECT_EQ(audio.containerBits, test.containerBits);
        EXPECT_EQ(audio.validBits, test.validBits);
        EXPECT_EQ(audio.encoding, test.encoding);
        ASSERT_EQ(audio.channels.size(), 2u);
        for (std::size_t c = 0; c < 2; ++c) {
            for (std::size_t frame = 0; frame < kCodes[c].size(); ++frame) {
                EXPECT_EQ(audio.channels[c][frame],
                          static_cast<double>(kCodes[c][frame]) * test.scale);
            }
        }
    }
}

std::vector<std::uint8_t> Patched(std::vector<std::uint8_t> image, std::size_t at,
                                  std::uint8_t value) {
    image[at] = value;
    return image;
}

TEST(WavReader, SaysWhatIsWrong) {
    const auto pcm = RecordedWav(kCodes, 24, Container::kPcm24);
    const auto extensible = RecordedWav(kCodes, 24, Container::kPcm24In32);
    const struct {
        std::vector<std::uint8_t> image;
        const char* why;
    } cases[] = {
        {{}, "not a RIFF/WAVE file"},
        {Patched(pcm, 8, 'X'), "not a RIFF/WAVE file"},
        {Patched(pcm, 20, 2), "format tag 2 is neither integer PCM nor IEEE float"},
        {Patched(pcm, 20, 3), "24-bit float samples (32 expected)"},
        {Patched(pcm, 34, 12), "12-bit samples (16, 24 or 32 expected)"},
        {Patched(pcm, 22, 0), "no channels or no sample rate"},
        {Patched(pcm, 32, 5), "block align mismatch"},
        {Patched(extensible, 44, 2), "extensible sub-format is neither integer PCM nor IEEE float"},
        {Patched(extensible, 38, 33), "bad valid-bits field"},
        {Patched(pcm, 16, 15), "fmt chunk shorter than 16 bytes"},
        {Patched(pcm, 36, 'X'), "no data chunk"},
        {std::vector<std::uint8_t>(pcm.begin(), pcm.begin() + 30),
         "fmt chunk runs past the end of the file"},
    };
    for (const auto& test : cases) {
        WavAudio audio;
        EXPECT_EQ(ParseWavAudio(test.image, audio), test.why);
    }
}

TEST(WavReader, KeepsTheWholeFramesOfACutShortDataChunk) {
    const auto whole = RecordedWav(kCodes, 24, Container::kPcm24);
    WavAudio audio;
    ASSERT_EQ(ParseWavAudio({whole.begin(), whole.end() - 4}, audio), "");
    EXPECT_EQ(audio.FrameCount(), 5u);
}

// Random bytes overwritten, sizes changed and files cut short, a few thousand times over: the
// reader either reads or says why, within the image (the sanitizer leg checks the memory), and
// what it reads makes a recording of consistent shape.
TEST(WavReader, SurvivesRandomDamage) {
    std::mt19937 random(20261209);
    const std::vector<std::vector<std::uint8_t>> seeds{
        RecordedWav(kCodes, 16, Container::kPcm16), RecordedWav(kCodes, 24, Container::kPcm24In32),
        RecordedWav(kCodes, 24, Container::kFloat32)};
    int read = 0;
    for (int round = 0; round < 20000; ++round) {
        std::vector<std::uint8_t> image = seeds[static_cast<std::size_t>(round) % seeds.size()];
        const int damage = 1 + static_cast<int>(random() % 4);
        for (int i = 0; i < damage; ++i) {
            const std::size_t at = random() % image.size();
            switch (random() % 4) {
                case 0:
                    image[at] = static_cast<std::uint8_t>(random());
                    break;
                case 1:
                    image[at] = 0xFF;
                    break;
                case 2:
                    image.resize(at);
                    break;
                default:
                    image.insert(image.begin() + static_cast<std::ptrdiff_t>(at),
                                 static_cast<std::uint8_t>(random()));
            }
            if (image.empty()) break;
        }
        WavAudio audio;
        const std::string problem = ParseWavAudio(image, audio);
        if (!problem.empty()) continue;
        ++read;
        for (const auto& channel : audio.channels) ASSERT_EQ(channel.size(), audio.FrameCount());
        const Recording recording = MakeRecording(std::move(audio));
        EXPECT_EQ(recording.toneChannels.size() + recording.silentChannels.size(),
                  recording.channels.size());
        for (const std::uint32_t bits : CandidateWidths(recording))
            EXPECT_LE(bits, recording.containerBits);
    }
    EXPECT_GT(read, 1000);  // the damage left many files readable, so the check saw them too
}

}  // namespace
