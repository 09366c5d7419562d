#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The samples of a RIFF/WAVE file as written, one vector per channel: integer PCM as its
// two's-complement codes, IEEE float as its values (both exact in a double).
struct WavAudio {
    enum class Encoding { kInteger, kFloat };

    std::uint32_t sampleRate = 0;
    std::uint32_t containerBits = 0;  // bits stored per sample: 16, 24 or 32
    std::uint32_t validBits = 0;      // the extensible header's valid bits, else containerBits
    Encoding encoding = Encoding::kInteger;
    bool extensible = false;                    // WAVE_FORMAT_EXTENSIBLE header
    std::vector<std::vector<double>> channels;  // channels[channel][frame]

    std::size_t FrameCount() const { return channels.empty() ? 0 : channels.front().size(); }
};

// Reads a RIFF/WAVE image: format tag 1 (integer PCM of 16, 24 or 32 bits), tag 3 (IEEE float
// of 32 bits), or WAVE_FORMAT_EXTENSIBLE with either sub-format; any rate and channel count.
// Chunks other than "fmt " and "data" are skipped. A data chunk that claims more bytes than the
// image holds is read as far as it goes, whole frames only. Never reads outside the image.
// Returns an empty string on success, else what is wrong.
std::string ParseWavAudio(const std::vector<std::uint8_t>& image, WavAudio& audio);

// ParseWavAudio on the contents of a file.
std::string ReadWavAudio(const std::string& path, WavAudio& audio);
