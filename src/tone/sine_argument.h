#pragma once

// What both paths of the sine take from a double: its bits, its magnitude as mantissa and
// exponent, the arguments that need no evaluation, and the bits of 2/pi.

#include <cstdint>
#include <cstring>

#include "tone/sine_constants.h"

namespace sine_argument {

constexpr std::uint64_t kSignBit = 0x8000000000000000u;

inline std::uint64_t BitsOf(double value) {
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

inline double FromBits(std::uint64_t bits) {
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// The sines that need no evaluation: NaN for NaN and for either infinity, and x itself below
// 2^-26, where |sin x - x| < |x|^3/6 is less than half the gap below |x|. Returns false, leaving
// result untouched, for every other argument.
inline bool TrivialSine(double radians, double& result) {
    const std::uint64_t magnitudeBits = BitsOf(radians) & ~kSignBit;
    if (magnitudeBits >= 0x7ff0000000000000u) {
        result = radians - radians;
        return true;
    }
    if (magnitudeBits < 0x3e50000000000000u) {
        result = radians;
        return true;
    }
    return false;
}

// A finite, normal magnitude as mantissa * 2^(exponent - 52), the mantissa's leading one
// included.
inline int ExponentOf(std::uint64_t magnitudeBits) {
    return static_cast<int>(magnitudeBits >> 52) - 1023;
}
inline std::uint64_t MantissaOf(std::uint64_t magnitudeBits) {
    return (magnitudeBits & ((std::uint64_t{1} << 52) - 1)) | (std::uint64_t{1} << 52);
}

// 64 bits of 2/pi, the first of them at `position` counted from the top of the integer word.
inline std::uint64_t TwoOverPiBits(unsigned position) {
    const unsigned word = position / 64;
    const unsigned shift = position % 64;
    // Two shifts for the second word, so that a shift of 0 takes nothing from it.
    return (sine_constants::kTwoOverPi[word] << shift) |
           ((sine_constants::kTwoOverPi[word + 1] >> 1) >> (63 - shift));
}

}  // namespace sine_argument
