#pragma once

#include <cstdint>
#include <vector>

// The tone's first frames at 48 kHz, made from the sines that mpmath computed for them
// (tests/data/tone/tone_start.txt), rounded half to even and packed here: nothing of the
// player or of the comparison tone, their sine included, decides them. For checks of what the
// player delivered and of what the bit-perfect check accepts.
namespace tone_start {

constexpr std::uint32_t kRate = 48000;

// How many frames the table holds (1.1 s).
std::uint32_t FrameCount();

// The codes of frames 0 .. frames - 1 (frames at most FrameCount()) at 16, 24 or 32 bits: the
// sine times 2^(bits - 1) - 1, rounded half to even.
std::vector<std::int32_t> Codes(std::uint32_t frames, std::uint32_t bits);

// The bytes of those frames: each code's low bits / 8 bytes, least significant first, the same
// code in every channel.
std::vector<std::uint8_t> Bytes(std::uint32_t frames, std::uint32_t channels, std::uint32_t bits);

}  // namespace tone_start
