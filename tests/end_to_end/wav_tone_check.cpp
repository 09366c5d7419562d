// Checks that a WAV file holds the player's tone from its first frame on, byte for byte, with
// no gap or repeat: wav_tone_check FILE LENGTH, where LENGTH is the least number of seconds it
// must hold, or =FRAMES for exactly that many frames. Exits 0 when it does. The expected
// bytes are made from the sines of the tone's first frames at 48 kHz that mpmath computed
// (tests/data/tone/tone_start.txt), so nothing of the player, its sine included, decides them.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "tone_start.h"

namespace {

std::uint32_t Read32(const std::uint8_t* bytes) {
    return std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 | std::uint32_t{bytes[2]} << 16 |
           std::uint32_t{bytes[3]} << 24;
}

std::uint16_t Read16(const std::uint8_t* bytes) {
    return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: wav_tone_check FILE MINIMUM-SECONDS|=FRAMES\n");
        return 2;
    }
    std::ifstream file(argv[1], std::ios::binary);
    const std::vector<std::uint8_t> wav((std::istreambuf_iterator<char>(file)),
                                        std::istreambuf_iterator<char>());
    if (wav.size() < 12 || std::memcmp(wav.data(), "RIFF", 4) != 0 ||
        std::memcmp(&wav[8], "WAVE", 4) != 0) {
        std::fprintf(stderr, "%s: not a WAV file\n", argv[1]);
        return 1;
    }
    std::uint32_t channels = 0;
    std::uint32_t rate = 0;
    std::uint32_t bits = 0;
    const std::uint8_t* data = nullptr;
    std::size_t dataSize = 0;
    for (std::size_t chunk = 12; chunk + 8 <= wav.size();) {
        const std::uint32_t size = Read32(&wav[chunk + 4]);
        const std::uint8_t* body = &wav[chunk + 8];
        if (chunk + 8 + size > wav.size()) break;
        if (std::memcmp(&wav[chunk], "fmt ", 4) == 0 && size >= 16) {
            channels = Read16(body + 2);
            rate = Read32(body + 4);
            bits = Read16(body + 14);
        } else if (std::memcmp(&wav[chunk], "data", 4) == 0) {
            data = body;
            dataSize = size;
        }
        chunk += 8 + size + (size & 1);
    }
    if (bits != 16 && bits != 24 && bits != 32) {
        std::fprintf(stderr, "%s: no 16-, 24- or 32-bit PCM format\n", argv[1]);
        return 1;
    }
    const std::size_t frameBytes = std::size_t{channels} * (bits / 8);
    if (data == nullptr || frameBytes == 0 || dataSize % frameBytes != 0) {
        std::fprintf(stderr, "%s: no whole frames of PCM data\n", argv[1]);
        return 1;
    }
    const auto frames = static_cast<std::uint32_t>(dataSize / frameBytes);
    const bool exact = argv[2][0] == '=';
    if (exact ? frames != std::strtoul(argv[2] + 1, nullptr, 10)
              : frames < std::atof(argv[2]) * rate) {
        std::fprintf(stderr, "%s: %u frames, not %s\n", argv[1], frames, argv[2]);
        return 1;
    }
    if (rate != tone_start::kRate || frames > tone_start::FrameCount()) {
        std::fprintf(stderr, "%s: %u frames at %u Hz; the reference holds %u frames at %u Hz\n",
                     argv[1], frames, rate, tone_start::FrameCount(), tone_start::kRate);
        return 1;
    }
    const std::vector<std::uint8_t> expected = tone_start::Bytes(frames, channels, bits);
    const auto mismatch = std::mismatch(expected.begin(), expected.end(), data);
    if (mismatch.first != expected.end()) {
        std::fprintf(stderr, "%s: differs from the tone at frame %zu\n", argv[1],
                     static_cast<std::size_t>(mismatch.first - expected.begin()) / frameBytes);
        return 1;
    }
    std::printf("%u frames of %u-bit %u-channel tone at %u Hz\n", frames, bits, channels, rate);
    return 0;
}
