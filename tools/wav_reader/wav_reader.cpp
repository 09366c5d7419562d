#include "wav_reader.h"

#include <cstring>
#include <fstream>
#include <iterator>

namespace {

constexpr std::uint16_t kFormatPcm = 1;
constexpr std::uint16_t kFormatFloat = 3;
constexpr std::uint16_t kFormatExtensible = 0xFFFE;
// The tail shared by KSDATAFORMAT_SUBTYPE_PCM and _IEEE_FLOAT after their first two bytes,
// which hold the format tag (1 or 3).
constexpr std::uint8_t kSubFormatTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                             0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

std::uint32_t LittleEndian(const std::uint8_t* bytes, int count) {
    std::uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i) value = (value << 8) | bytes[i];
    return value;
}

double DecodeInteger(const std::uint8_t* bytes, std::uint32_t sampleBytes) {
    const std::uint32_t raw = LittleEndian(bytes, static_cast<int>(sampleBytes));
    // Sign-extend from the top bit of the stored width.
    const std::uint32_t shift = 32 - 8 * sampleBytes;
    const auto widened = static_cast<std::int32_t>(raw << shift);
    return static_cast<double>(widened / (std::int32_t{1} << shift));
}

double DecodeFloat(const std::uint8_t* bytes) {
    const std::uint32_t raw = LittleEndian(bytes, 4);
    float value;
    std::memcpy(&value, &raw, sizeof value);
    return static_cast<double>(value);
}

struct Format {
    std::uint16_t tag = 0;
    std::uint16_t channels = 0;
    std::uint32_t sampleRate = 0;
    std::uint16_t blockAlign = 0;
    std::uint16_t bits = 0;
    std::uint16_t validBits = 0;
    bool extensible = false;
};

std::string ParseFormat(const std::uint8_t* chunk, std::uint32_t size, Format& format) {
    if (size < 16) return "fmt chunk shorter than 16 bytes";
    format.tag = static_cast<std::uint16_t>(LittleEndian(chunk, 2));
    format.channels = static_cast<std::uint16_t>(LittleEndian(chunk + 2, 2));
    format.sampleRate = LittleEndian(chunk + 4, 4);
    format.blockAlign = static_cast<std::uint16_t>(LittleEndian(chunk + 12, 2));
    format.bits = static_cast<std::uint16_t>(LittleEndian(chunk + 14, 2));
    format.validBits = format.bits;
    if (format.tag == kFormatExtensible) {
        if (size < 40) return "extensible fmt chunk shorter than 40 bytes";
        format.extensible = true;
        format.validBits = static_cast<std::uint16_t>(LittleEndian(chunk + 18, 2));
        format.tag = static_cast<std::uint16_t>(LittleEndian(chunk + 24, 2));
        if ((format.tag != kFormatPcm && format.tag != kFormatFloat) ||
            std::memcmp(chunk + 26, kSubFormatTail, sizeof kSubFormatTail) != 0) {
            return "extensible sub-format is neither integer PCM nor IEEE float";
        }
    } else if (format.tag != kFormatPcm && format.tag != kFormatFloat) {
        return "format tag " + std::to_string(format.tag) +
               " is neither integer PCM nor IEEE float";
    }
    if (format.tag == kFormatFloat && format.bits != 32) {
        return std::to_string(format.bits) + "-bit float samples (32 expected)";
    }
    if (format.bits != 16 && format.bits != 24 && format.bits != 32) {
        return std::to_string(format.bits) + "-bit samples (16, 24 or 32 expected)";
    }
    if (format.channels == 0 || format.sampleRate == 0) return "no channels or no sample rate";
    if (format.blockAlign != format.channels * format.bits / 8) return "block align mismatch";
    if (format.validBits == 0 || format.validBits > format.bits) return "bad valid-bits field";
    return {};
}

void DecodeData(const std::uint8_t* data, std::size_t frames, const Format& format,
                WavAudio& audio) {
    const std::uint32_t sampleBytes = format.bits / 8u;
    audio.sampleRate = format.sampleRate;
    audio.containerBits = format.bits;
    audio.validBits = format.validBits;
    audio.encoding =
        format.tag == kFormatFloat ? WavAudio::Encoding::kFloat : WavAudio::Encoding::kInteger;
    audio.extensible = format.extensible;
    audio.channels.assign(format.channels, std::vector<double>(frames));
    for (std::size_t frame = 0; frame < frames; ++frame) {
        const std::uint8_t* sample = data + frame * format.blockAlign;
        for (auto& channel : audio.channels) {
            channel[frame] = format.tag == kFormatFloat ? DecodeFloat(sample)
                                                        : DecodeInteger(sample, sampleBytes);
            sample += sampleBytes;
        }
    }
}

}  // namespace

std::string ParseWavAudio(const std::vector<std::uint8_t>& image, WavAudio& audio) {
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
            DecodeData(chunk, (size < available ? size : available) / format.blockAlign, format,
                       audio);
            return {};
        }
        // Chunks are padded to even sizes; a size running past the end ends the walk.
        const std::size_t next = std::size_t{size} + (size & 1u);
        if (next > available) break;
        offset += 8 + next;
    }
    return haveFormat ? "no data chunk" : "no fmt chunk";
}

std::string ReadWavAudio(const std::string& path, WavAudio& audio) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return "cannot open " + path;
    const std::vector<std::uint8_t> image{std::istreambuf_iterator<char>(file),
                                          std::istreambuf_iterator<char>()};
    if (file.bad()) return "cannot read " + path;
    return ParseWavAudio(image, audio);
}
