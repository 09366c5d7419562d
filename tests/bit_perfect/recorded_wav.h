#pragma once
// Recordings of the tone made here from mpmath's sines (tests/support), apart from the check:
// the codes per channel, harmed by the test, and a WAV writer for every container the check
// reads.

#include <cstdint>
#include <cstring>
#include <vector>

#include "wav_image.h"

using ChannelCodes = std::vector<std::vector<std::int64_t>>;

enum class Container { kPcm16, kPcm24, kPcm32, kPcm24In32, kFloat32 };

// A WAV image of codes at `bits` bits: integer containers hold code << (container - bits),
// float holds code / 2^(bits - 1). The extensible header for 24 valid bits in 32.
inline std::vector<std::uint8_t> RecordedWav(const ChannelCodes& channels, std::uint32_t bits,
                                             Container container, std::uint32_t rate = 48000) {
    const bool isFloat = container == Container::kFloat32;
    const bool extensible = container == Container::kPcm24In32;
    const std::uint32_t containerBits = container == Container::kPcm16   ? 16
                                        : container == Container::kPcm24 ? 24
                                                                         : 32;
    const std::uint32_t sampleBytes = containerBits / 8;
    std::vector<std::uint8_t> data;
    for (std::size_t frame = 0; frame < channels.front().size(); ++frame) {
        for (const auto& channel : channels) {
            if (isFloat) {
                const auto value =
                    static_cast<float>(static_cast<double>(channel[frame]) /
                                       static_cast<double>(std::int64_t{1} << (bits - 1)));
                std::uint32_t pattern;
                std::memcpy(&pattern, &value, sizeof pattern);
                Put(data, pattern, 4);
            } else {
                Put(data,
                    static_cast<std::uint64_t>(channel[frame] *
                                               (std::int64_t{1} << (containerBits - bits))),
                    sampleBytes);
            }
        }
    }
    const WavLayout layout{static_cast<std::uint16_t>(isFloat ? 3 : 1),
                           extensible,
                           static_cast<std::uint16_t>(channels.size()),
                           rate,
                           static_cast<std::uint16_t>(containerBits),
                           24,
                           false};
    return WavFileImage(layout, data);
}
