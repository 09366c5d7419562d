// The generator's bytes against the reference tables, exactly: the codes of the tables' sines at
// every frame of every window, and the committed digests of long fills at counters up to 2^53.
//
// To rewrite tests/data/tone/fill_digests.txt from this build's generator (once its sine is
// proven by the tables), run the test with TONE_DIGESTS_WRITE naming the file, from the root:
//   TONE_DIGESTS_WRITE=tests/data/tone/fill_digests.txt build/host/bin/tone_tests
//       --gtest_filter='FillDigests.*'
// (one command line). make_tone_tables.py writes the same file from the reference sines.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "pcm_samples.h"
#include "reference_tone.h"
#include "tone/tone_generator.h"
#include "tone_tables.h"

namespace {

std::uint64_t Fnv1a64(const std::vector<std::uint8_t>& bytes) {
    std::uint64_t digest = 0xCBF29CE484222325u;
    for (std::uint8_t byte : bytes) digest = (digest ^ byte) * 0x100000001B3u;
    return digest;
}

std::string Hex(std::uint64_t value) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
    return text;
}

std::size_t FirstDifference(const std::vector<std::uint8_t>& a,
                            const std::vector<std::uint8_t>& b) {
    std::size_t i = 0;
    while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
    return i;
}

TEST(ToneWindows, GeneratorWritesTheCodesOfTheReferenceSinesAtEveryFrame) {
    const std::vector<ToneWindow> windows = ReadToneWindows(kToneWindowsTable);
    ASSERT_GE(windows.size(), 36u);
    constexpr std::uint32_t kChannelChoices[] = {2, 1, 6, 2, 3, 8};
    std::size_t shape = 0;
    for (const ToneWindow& window : windows) {
        for (std::uint32_t bits : {16u, 24u, 32u}) {
            const std::uint32_t channels = kChannelChoices[shape++ % 6];
            std::vector<std::uint8_t> expected;
            for (std::size_t i = 0; i < window.frames.size(); ++i) {
                const SinePair& frame = window.frames[i];
                ASSERT_EQ(reference_tone::Phase(window.first + i, window.rate), frame.argument)
                    << "the table's phase of frame " << window.first + i;
                reference_tone::AppendFrame(reference_tone::Code(frame.sine, bits), bits, channels,
                                            expected);
            }
            // Two calls, the second continuing the phase of the first.
            const auto frames = static_cast<std::uint32_t>(window.frames.size());
            ToneGenerator tone = MakeTone(window.rate, channels, bits, window.first);
            std::vector<std::uint8_t> actual = Fill(tone, 100);
            const std::vector<std::uint8_t> rest = Fill(tone, frames - 100);
            actual.insert(actual.end(), rest.begin(), rest.end());

            reference_tone::ReferenceTone comparison(window.rate, channels, bits, window.first);
            std::vector<std::uint8_t> compared;
            comparison.Next(frames, compared);

            const std::size_t frameBytes = std::size_t{channels} * bits / 8;
            EXPECT_EQ(actual, expected)
                << window.rate << " Hz, " << channels << " x " << bits << " bits: frame "
                << window.first + FirstDifference(actual, expected) / frameBytes << " differs";
            EXPECT_EQ(compared, expected)
                << "the comparison tone, frame "
                << window.first + FirstDifference(compared, expected) / frameBytes;
        }
    }
}

TEST(FillDigests, EveryBuildWritesTheCommittedBytes) {
    const std::vector<FillDigest> digests = ReadFillDigests(kFillDigestsTable);
    ASSERT_GE(digests.size(), 12u);
    const char* const writePath = std::getenv("TONE_DIGESTS_WRITE");
    std::FILE* out = writePath != nullptr ? std::fopen(writePath, "w") : nullptr;
    if (writePath != nullptr) {
        ASSERT_NE(out, nullptr) << "cannot write " << writePath;
        std::fprintf(out,
                     "# FNV-1a 64 digests of the generator's bytes: RATE CHANNELS BITS "
                     "FIRST-FRAME FRAMES\n# DIGEST. Written by the tone tests "
                     "(TONE_DIGESTS_WRITE).\n");
    }
    for (const FillDigest& expected : digests) {
        ToneGenerator tone =
            MakeTone(expected.rate, expected.channels, expected.bits, expected.first);
        const std::uint64_t digest = Fnv1a64(Fill(tone, expected.frames));
        if (out != nullptr) {
            std::fprintf(out, "%u %u %u %llu %u %016llx\n", expected.rate, expected.channels,
                         expected.bits, static_cast<unsigned long long>(expected.first),
                         expected.frames, static_cast<unsigned long long>(digest));
            continue;
        }
        EXPECT_EQ(Hex(digest), Hex(expected.digest))
            << expected.rate << " Hz, " << expected.channels << " x " << expected.bits << " bits, "
            << expected.frames << " frames from " << expected.first;
    }
    if (out != nullptr) std::fclose(out);
}

}  // namespace
