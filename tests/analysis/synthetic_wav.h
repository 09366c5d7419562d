#pragma once
// Test captures made here, apart from the analyser: a sine in long double and a WAV writer.

#include <cmath>
#include <cstdint>
#include <vector>

#include "wav_image.h"

struct WavShape {
    std::uint16_t containerBits;
    std::uint16_t validBits;
    bool extensible;
    bool extraChunk;  // an odd-sized chunk before "fmt ", to be skipped
};

using Channels = std::vector<std::vector<std::int32_t>>;

// rint(peak · sin(2π · frequency · n / rate)) for n = 0 .. frames - 1.
inline std::vector<std::int32_t> SineCodes(std::size_t frames, long double frequency,
                                           long double peak, std::uint32_t rate = 48000) {
    const long double pi = 3.141592653589793238462643383279502884L;
    std::vector<std::int32_t> codes(frames);
    for (std::size_t n = 0; n < frames; ++n) {
        const long double phase = 2 * pi * frequency * static_cast<long double>(n) / rate;
        codes[n] = static_cast<std::int32_t>(std::rint(peak * std::sin(phase)));
    }
    return codes;
}

inline std::vector<std::uint8_t> WavImage(const WavShape& shape, const Channels& channels,
                                          std::uint32_t rate = 48000) {
    const std::uint32_t sampleBytes = shape.containerBits / 8u;
    std::vector<std::uint8_t> data;
    for (std::size_t n = 0; n < channels.front().size(); ++n) {
        for (const auto& channel : channels) {
            Put(data, static_cast<std::uint32_t>(channel[n]), sampleBytes);
        }
    }
    const WavLayout layout{1,
                           shape.extensible,
                           static_cast<std::uint16_t>(channels.size()),
                           rate,
                           shape.containerBits,
                           shape.validBits,
                           shape.extraChunk};
    return WavFileImage(layout, data);
}
