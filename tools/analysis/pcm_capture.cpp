#include "pcm_capture.h"

#include <cstring>
#include <fstream>
#include <iterator>

namespace {

constexpr std::uint16_t kFormatPcm = 1;
constexpr std::uint16_t kFormatExtensible = 0xFFFE;
// KSDATAFORMAT_SUBTYPE_PCM after its first two bytes (which hold the format tag 1).
constexpr std::uint8_t kPcmSubFormatTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                                0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

std::uint32_t LittleEndian(const std::uint8_t* bytes, int count) {
    std::uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i) value = (value << 8) | bytes[i];
    return value;
}

std::int32_t DecodeSample(const std::uint8_t* bytes, std::uint32_t sampleBytes) {
    const std::uint32_t raw = LittleEndian(bytes, static_cast<int>(sampleBytes));
    // Sign-extend from the top bit of the stored width.
    const std::uint32_t shift = 32 - 8 * sampleBytes;
    const auto widened = static_cast<std::int32_t>(raw << shift);
    return widened / (std::int32_t{1} << shift);
}

struct Format {
    std::uint16_t channels = 0;
    std::uint32_t sampleRate = 0;
    std::uint16_t blockAlign = 0;
    std::uint16_t bits = 0;
    std::uint16_t validBits = 0;
};

std::string ParseFormat(const std::uint8_t* chunk, std::uint32_t size, Format& format) {
    if (size < 16) return "fmt chunk shorter than 16 bytes";
    const auto tag = static_cast<std::uint16_t>(LittleEndian(chunk, 2));
    format.channels = static_cast<std::uint16_t>(LittleEndian(chunk + 2, 2));
    format.sampleRate = LittleEndian(chunk + 4, 4);
    format.blockAlign = static_cast<std::uint16_t>(LittleEndian(chunk + 12, 2));
    format.bits = static_cast<std::uint16_t>(LittleEndian(chunk + 14, 2));
    format.validBits = format.bits;
    if (tag == kFormatExtensible) {
        if (size < 40) return "extensible fmt chunk shorter than 40 bytes";
        format.validBits = static_cast<std::uint16_t>(LittleEndian(chunk + 18, 2));
        if (LittleEndian(chunk + 24, 2) != kFormatPcm ||
            std::memcmp(chunk + 26, kPcmSubFormatTail, sizeof kPcmSubFormatTail) != 0) {
            return "extensible sub-format is not integer PCM";
        }
    } else if (tag != kFormatPcm) {
        return "format tag " + std::to_string(tag) + " is not integer PCM";
    }
    if (format.bits != 16 && format.bits != 24 && format.bits != 32) {
        return std::to_string(format.bits) + "-bit samples (16, 24 or 32 expected)";
    }
    if (format.channels == 0 || format.sampleRate == 0) return "no channels or no sample rate";
    if (format.blockAlign != format.channels * format.bits / 8) return "block align mismatch";
    if (format.validBits == 0 || format.validBits > format.bits) return "bad valid-bits field";
    return {};
}

}  // namespace

std::string ParseWav(const std::vector<std::uint8_t>& image, PcmCapture& capture) {
    const std::uint8_t* bytes = image.data();
    if (image.size() < 12 || std::memcmp(bytes, "RIFF", 4) != 0 ||
        std::memcmp(bytes + 8, "WAVE", 4) != 0) {
        return "not a RIFF/WAVE file";
    }
    Format format;
    bool haveFormat = false;
    std::size_t offset = 12;
    while (image.size() - offset >= 8) {
        const std::uint8_t* chunk = bytes + offset + 8;
        const std::size_t available = image.size() - offset - 8;
        const std::uint32_t size = LittleEndian(bytes + offset + 4, 4);
        if (std::memcmp(bytes + offset, "fmt ", 4) == 0) {
            if (size > available) return "fmt chunk runs past the end of the file";
            const std::string problem = ParseFormat(chunk, size, format);
            if (!problem.empty()) return problem;
            haveFormat = true;
        } else if (std::memcmp(bytes + offset, "data", 4) == 0) {
            if (!haveFormat) return "data chunk before the fmt chunk";
            const std::size_t frames = (size < available ? size : available) / format.blockAlign;
            const std::uint32_t sampleBytes = format.bits / 8u;
            capture.sampleRate = format.sampleRate;
            capture.containerBits = format.bits;
            capture.validBits = format.validBits;
            capture.channels.assign(format.channels, std::vector<std::int32_t>(frames));
            for (std::size_t frame = 0; frame < frames; ++frame) {
                const std::uint8_t* sample = chunk + frame * format.blockAlign;
                for (auto& channel : capture.channels) {
                    channel[frame] = DecodeSample(sample, sampleBytes);
                    sample += sampleBytes;
                }
            }
            return {};
        }
        offset += 8 + std::size_t{size} + (size & 1u);  // chunks are padded to even sizes
        if (offset > image.size()) break;
    }
    return haveFormat ? "no data chunk" : "no fmt chunk";
}

std::string ReadWavFile(const std::string& path, PcmCapture& capture) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return "cannot open " + path;
    const std::vector<std::uint8_t> image{std::istreambuf_iterator<char>(file),
                                          std::istreambuf_iterator<char>()};
    return ParseWav(image, capture);
}
