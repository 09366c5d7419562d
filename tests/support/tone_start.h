#pragma once

#include <cstdint>
#include <vector>

// The tone's first frames at 48 kHz as bytes, made from the sines that mpmath computed for them
// (tests/data/tone/tone_start.txt) with the comparison tone's scaling and packing: nothing of
// the player, its sine included, decides them. For checks of what the player delivered.
namespace tone_start {

constexpr std::uint32_t kRate = 48000;

// How many frames the table holds (1.1 s).
std::uint32_t FrameCount();

// The bytes of frames 0 .. frames - 1 (frames at most FrameCount()) at 16, 24 or 32 bits, the
// same code in every channel.
std::vector<std::uint8_t> Bytes(std::uint32_t frames, std::uint32_t channels, std::uint32_t bits);

}  // namespace tone_start
