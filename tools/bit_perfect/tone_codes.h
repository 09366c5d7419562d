#pragma once

#include <cstdint>

// The tone's codes at 48 kHz as the comparison tone defines them (reference_tone.h): the phase
// formula, Sine, and round half to even, in a loop of its own apart from the player's generator.
namespace tone_codes {

constexpr std::uint32_t kRate = 48000;
constexpr std::uint32_t kPeriod = 96;  // frames of one 500 Hz cycle at 48 kHz

// The code of frame `counter` at 16, 24 or 32 bits.
std::int64_t Code(std::uint64_t counter, std::uint32_t bits);

// The largest code of a width: 2^(bits - 1) - 1.
std::int64_t Peak(std::uint32_t bits);

}  // namespace tone_codes
