// bit_perfect_speed: how long bit-perfect-check takes on a one-minute 24-bit stereo recording of
// the tone, from the tone's start and from a day in (a search of every counter up to 2^32
// either way). The recordings come from the comparison tone. Fails when a check takes 10 s or
// more.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "check.h"
#include "recording.h"
#include "reference_tone.h"
#include "wav_reader.h"

namespace {

void Put(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

std::vector<std::uint8_t> MinuteOfTone(std::uint64_t firstFrame) {
    constexpr std::uint32_t kFrames = 48000 * 60;
    std::vector<std::uint8_t> data;
    reference_tone::ReferenceTone(48000, 2, 24, firstFrame).Next(kFrames, data);
    std::vector<std::uint8_t> image;
    for (const char c : {'R', 'I', 'F', 'F'}) image.push_back(static_cast<std::uint8_t>(c));
    Put(image, static_cast<std::uint32_t>(36 + data.size()), 4);
    for (const char c : {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '}) {
        image.push_back(static_cast<std::uint8_t>(c));
    }
    Put(image, 16, 4);
    Put(image, 1, 2);
    Put(image, 2, 2);
    Put(image, 48000, 4);
    Put(image, 48000 * 6, 4);
    Put(image, 6, 2);
    Put(image, 24, 2);
    for (const char c : {'d', 'a', 't', 'a'}) image.push_back(static_cast<std::uint8_t>(c));
    Put(image, static_cast<std::uint32_t>(data.size()), 4);
    image.insert(image.end(), data.begin(), data.end());
    return image;
}

}  // namespace

int main() {
    int status = 0;
    for (const std::uint64_t first : {std::uint64_t{0}, (std::uint64_t{1} << 32) - 2880000}) {
        const std::vector<std::uint8_t> image = MinuteOfTone(first);
        const auto start = std::chrono::steady_clock::now();
        WavAudio audio;
        ParseWavAudio(image, audio);
        const CheckResult result = CheckRecording(MakeRecording(std::move(audio)));
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("%.2f s  %s\n", seconds, VerdictLine(result).c_str());
        if (seconds >= 10 || !result.bitPerfect || result.toneFirst != first) status = 1;
    }
    return status;
}
