#pragma once
// A WAV file image around sample bytes, for tests that write recordings of their own: the RIFF
// header, a "fmt " chunk (plain or WAVE_FORMAT_EXTENSIBLE) and the "data" chunk.

#include <cstdint>
#include <vector>

inline void Put(std::vector<std::uint8_t>& out, std::uint64_t value, std::uint32_t bytes) {
    for (std::uint32_t i = 0; i < bytes; ++i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

inline void PutTag(std::vector<std::uint8_t>& out, const char* tag) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(tag[i]));
}

struct WavLayout {
    std::uint16_t formatTag;  // 1 integer PCM, 3 IEEE float; an extensible header says PCM
    bool extensible;
    std::uint16_t channels;
    std::uint32_t rate;
    std::uint16_t containerBits;
    std::uint16_t validBits;  // in the extensible header only
    bool extraChunk;          // an odd-sized chunk before "fmt ", to be skipped
};

inline std::vector<std::uint8_t> WavFileImage(const WavLayout& layout,
                                              const std::vector<std::uint8_t>& data) {
    const std::uint32_t blockAlign = std::uint32_t{layout.channels} * layout.containerBits / 8u;
    std::vector<std::uint8_t> image;
    PutTag(image, "RIFF");
    Put(image, 0, 4);  // patched below
    PutTag(image, "WAVE");
    if (layout.extraChunk) {
        PutTag(image, "LIST");
        Put(image, 3, 4);
        Put(image, 0x616263, 4);  // three bytes and the pad byte
    }
    PutTag(image, "fmt ");
    Put(image, layout.extensible ? 40 : 16, 4);
    Put(image, layout.extensible ? 0xFFFE : layout.formatTag, 2);
    Put(image, layout.channels, 2);
    Put(image, layout.rate, 4);
    Put(image, std::uint64_t{layout.rate} * blockAlign, 4);
    Put(image, blockAlign, 2);
    Put(image, layout.containerBits, 2);
    if (layout.extensible) {
        Put(image, 22, 2);
        Put(image, layout.validBits, 2);
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
