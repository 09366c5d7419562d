#pragma once

#include <cstdint>
#include <vector>

// A stretch of the tone at 48 kHz a day into playing, around frame 2^32, made from the sines
// that mpmath computed for it (tests/data/tone/tone_far.txt) and rounded half to even here.
namespace tone_far {

constexpr std::uint64_t kFirstFrame = (std::uint64_t{1} << 32) - 4800;

// How many frames the table holds from kFirstFrame on.
std::uint32_t FrameCount();

// The codes of frames kFirstFrame .. kFirstFrame + frames - 1 (frames at most FrameCount()) at
// 16, 24 or 32 bits.
std::vector<std::int32_t> Codes(std::uint32_t frames, std::uint32_t bits);

}  // namespace tone_far
