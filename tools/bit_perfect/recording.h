#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "wav_reader.h"

// A recording as the check reads it: every sample as a value on the scale of its container,
// where an integer sample is its code and a float sample v stands for v * 2^(bits - 1) at the
// 32 bits of its container; and where the tone is: the channels that carry anything, and the
// frames between the leading and the trailing digital silence.
struct Recording {
    std::uint32_t sampleRate = 0;
    std::uint32_t containerBits = 0;  // 16, 24 or 32; 32 for float
    bool isFloat = false;
    std::string container;  // "24-bit integer PCM", "32-bit float", ...
    std::vector<std::vector<double>> channels;
    std::vector<std::uint32_t> toneChannels;    // 0-based, ascending
    std::vector<std::uint32_t> silentChannels;  // every sample zero
    std::size_t first = 0;                      // first frame where a tone channel is not zero
    std::size_t last = 0;  // last such frame (valid when toneChannels is not empty)

    std::size_t FrameCount() const { return channels.empty() ? 0 : channels.front().size(); }
};

// Takes over the samples of `audio`.
Recording MakeRecording(WavAudio&& audio);

// The tone widths (16, 24, 32) the recording can carry, narrowest first: those that fit in the
// container and leave the container's extra low bits zero in every sample of the tone's span.
std::vector<std::uint32_t> CandidateWidths(const Recording& recording);

// A sample as a code of a width in its container (value / 2^(container - width)), and whether
// that is an integer code at all.
bool CodeAt(double value, std::uint32_t shift, std::int64_t& code);
