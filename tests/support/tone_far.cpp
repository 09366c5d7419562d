#include "tone_far.h"

#include "embedded_lines.h"
#include "mpmath_codes.h"

extern const EmbeddedLines kToneFarTable;

namespace tone_far {

std::uint32_t FrameCount() { return static_cast<std::uint32_t>(kToneFarTable.count); }

std::vector<std::int32_t> Codes(std::uint32_t frames, std::uint32_t bits) {
    return mpmath_codes::Codes(kToneFarTable, frames, bits);
}

}  // namespace tone_far
