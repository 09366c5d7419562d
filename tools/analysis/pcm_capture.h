#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A captured integer PCM stream, one vector of codes per channel.
struct PcmCapture {
    std::uint32_t sampleRate = 0;
    std::uint32_t containerBits = 0;  // bits stored per sample: 16, 24 or 32
    std::uint32_t validBits = 0;      // the extensible header's valid bits, else containerBits
    std::vector<std::vector<std::int32_t>> channels;  // channels[channel][frame]

    std::size_t FrameCount() const { return channels.empty() ? 0 : channels.front().size(); }
};

// Reads a RIFF/WAVE image of integer PCM through the tools' WAV reader (wav_reader.h), refusing
// IEEE float. Returns an empty string on success, else what is wrong.
std::string ParseWav(const std::vector<std::uint8_t>& image, PcmCapture& capture);

// ParseWav on the contents of a file.
std::string ReadWavFile(const std::string& path, PcmCapture& capture);
