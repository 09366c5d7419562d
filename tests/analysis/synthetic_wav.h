#pragma once
// Test captures made here, apart from the analyser: a sine in long double and a WAV writer.

#include <cmath>
#include <cstdint>
#include <vector>

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

inline void Put(std::vector<std::uint8_t>& out, std::uint64_t value, std::uint32_t bytes) {
    for (std::uint32_t i = 0; i < bytes; ++i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

inline void PutTag(std::vector<std::uint8_t>& out, const char* tag) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(tag[i]));
}

inline std::vector<std::uint8_t> WavImage(const WavShape& shape, const Channels& channels,
                                          std::uint32_t rate = 48000) {
    const std::uint32_t sampleBytes = shape.containerBits / 8u;
    const auto blockAlign = static_cast<std::uint32_t>(channels.size()) * sampleBytes;
    std::vector<std::uint8_t> data;
    for (std::size_t n = 0; n < channels.front().size(); ++n) {
        for (const auto& channel : channels) {
            Put(data, static_cast<std::uint32_t>(channel[n]), sampleBytes);
        }
    }
    std::vector<std::uint8_t> image;
    PutTag(image, "RIFF");
    Put(image, 0, 4);  // patched below
    PutTag(image, "WAVE");
    if (shape.extraChunk) {
        PutTag(image, "LIST");
        Put(image, 3, 4);
        Put(image, 0x616263, 4);  // three bytes and the pad byte
    }
    PutTag(image, "fmt ");
    Put(image, shape.extensible ? 40 : 16, 4);
    Put(image, shape.extensible ? 0xFFFE : 1, 2);
    Put(image, channels.size(), 2);
    Put(image, rate, 4);
    Put(image, rate * blockAlign, 4);
    Put(image, blockAlign, 2);
    Put(image, shape.containerBits, 2);
    if (shape.extensible) {
        Put(image, 22, 2);
        Put(image, shape.validBits, 2);
        Put(image, 3, 4);                      // front left and right
        Put(image, 0x0010000000000001ULL, 8);  // KSDATAFORMAT_SUBTYPE_PCM
        Put(image, 0x719B3800AA000080ULL, 8);
    }
    PutTag(image, "data");
    Put(image, data.size(), 4);
    image.insert(image.end(), data.begin(), data.end());
    const std::uint64_t riffSize = image.size() - 8;
    for (std::size_t i = 0; i < 4; ++i)
        image[4 + i] = static_cast<std::uint8_t>(riffSize >> (8 * i));
    return image;
}
