#pragma once
// Recordings of the tone made here from mpmath's sines (tests/support), apart from the check:
// the codes per channel, harmed by the test, and a WAV writer for every container the check
// reads.

#include <cstdint>
#include <cstring>
#include <vector>

using ChannelCodes = std::vector<std::vector<std::int64_t>>;

enum class Container { kPcm16, kPcm24, kPcm32, kPcm24In32, kFloat32 };

inline void Put(std::vector<std::uint8_t>& out, std::uint64_t value, std::uint32_t bytes) {
    for (std::uint32_t i = 0; i < bytes; ++i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

inline void PutTag(std::vector<std::uint8_t>& out, const char* tag) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(tag[i]));
}

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
    const auto blockAlign = static_cast<std::uint32_t>(channels.size()) * sampleBytes;
    std::vector<std::uint8_t> image;
    PutTag(image, "RIFF");
    Put(image, 0, 4);
    PutTag(image, "WAVE");
    PutTag(image, "fmt ");
    Put(image, extensible ? 40 : 16, 4);
    Put(image, extensible ? 0xFFFE : isFloat ? 3 : 1, 2);
    Put(image, channels.size(), 2);
    Put(image, rate, 4);
    Put(image, rate * blockAlign, 4);
    Put(image, blockAlign, 2);
    Put(image, containerBits, 2);
    if (extensible) {
        Put(image, 22, 2);
        Put(image, 24, 2);                     // valid bits
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
