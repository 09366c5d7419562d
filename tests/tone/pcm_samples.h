#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tone/tone_generator.h"

// Reads one little-endian two's-complement sample of the given width.
inline std::int32_t DecodeSample(const std::uint8_t* bytes, std::uint32_t bytesPerSample) {
    std::uint32_t bits = 0;
    for (std::uint32_t i = 0; i < bytesPerSample; ++i) {
        bits |= std::uint32_t{bytes[i]} << (8 * i);
    }
    const std::uint32_t signBit = std::uint32_t{1} << (8 * bytesPerSample - 1);
    return static_cast<std::int32_t>((bits ^ signBit) - signBit);
}

inline ToneGenerator MakeTone(std::uint32_t rate, std::uint32_t channels, std::uint32_t bits,
                              std::uint64_t start = 0) {
    return ToneGenerator{rate, channels, bits, start};
}

inline std::size_t FrameBytes(const ToneGenerator& tone) {
    return std::size_t{tone.channelCount} * (tone.bitsPerSample / 8);
}

// Fills frameCount frames into a fresh buffer.
inline std::vector<std::uint8_t> Fill(ToneGenerator& tone, std::uint32_t frameCount) {
    std::vector<std::uint8_t> buffer(FrameBytes(tone) * frameCount);
    tone.FillBuffer(frameCount, buffer.data(), nullptr);
    return buffer;
}
