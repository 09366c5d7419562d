#pragma once

#include <cstdint>

#include "counter_search.h"

// How a recorded sample is read against the tone's code: exactly, or through a harm whose
// effect on the code is known, so that the tone's counter can be found through it.
struct Reading {
    enum class Kind {
        kExact,         // the sample is the code
        kNegated,       // the sample is minus the code (polarity inverted)
        kTruncated,     // the code with its lowest `lostBits` bits cleared (rounded down)
        kFloatRounded,  // a 32-bit code rounded to the 24 significant bits of a float
    };
    Kind kind = Kind::kExact;
    std::uint32_t lostBits = 0;
};

// The codes a sample allows under a reading; an empty range (low > high) when none.
CodeRange AllowedCodes(double sample, std::uint32_t shift, const Reading& reading);

// Whether a sample is what the tone's code becomes under a reading.
bool Matches(double sample, std::uint32_t shift, const Reading& reading, std::int64_t code);
