#include "tone_codes.h"

#include "reference_tone.h"
#include "tone/sine.h"

namespace tone_codes {

std::int64_t Code(std::uint64_t counter, std::uint32_t bits) {
    return reference_tone::Code(Sine(reference_tone::Phase(counter, kRate)), bits);
}

std::int64_t Peak(std::uint32_t bits) { return (std::int64_t{1} << (bits - 1)) - 1; }

}  // namespace tone_codes
