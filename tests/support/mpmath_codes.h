#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "embedded_lines.h"

// Codes from a table of mpmath's sines (one bit pattern a line), rounded here and not by the
// player or the comparison tone.
namespace mpmath_codes {

// Round half to even of sine * (2^(bits - 1) - 1), in integers: the scaled double is split
// into its integer part and the fraction, both exact since |scaled| < 2^31.
inline std::int32_t RoundedCode(double sine, std::uint32_t bits) {
    const double scale = static_cast<double>((std::int64_t{1} << (bits - 1)) - 1);
    const double scaled = sine * scale;
    const double magnitude = scaled < 0 ? -scaled : scaled;
    auto whole = static_cast<std::int64_t>(magnitude);
    const double rest = magnitude - static_cast<double>(whole);
    if (rest > 0.5 || (rest == 0.5 && (whole & 1) != 0)) ++whole;
    return static_cast<std::int32_t>(scaled < 0 ? -whole : whole);
}

// The codes of the table's first `frames` lines at 16, 24 or 32 bits.
inline std::vector<std::int32_t> Codes(const EmbeddedLines& table, std::uint32_t frames,
                                       std::uint32_t bits) {
    std::vector<std::int32_t> codes(frames);
    for (std::uint32_t frame = 0; frame < frames; ++frame) {
        const std::uint64_t pattern = std::strtoull(table.lines[frame], nullptr, 16);
        double sine;
        std::memcpy(&sine, &pattern, sizeof sine);
        codes[frame] = RoundedCode(sine, bits);
    }
    return codes;
}

}  // namespace mpmath_codes
