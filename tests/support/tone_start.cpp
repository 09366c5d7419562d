#include "tone_start.h"

#include "embedded_lines.h"
#include "mpmath_codes.h"

extern const EmbeddedLines kToneStartTable;

namespace tone_start {

std::uint32_t FrameCount() { return static_cast<std::uint32_t>(kToneStartTable.count); }

std::vector<std::int32_t> Codes(std::uint32_t frames, std::uint32_t bits) {
    return mpmath_codes::Codes(kToneStartTable, frames, bits);
}

std::vector<std::uint8_t> Bytes(std::uint32_t frames, std::uint32_t channels, std::uint32_t bits) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(std::size_t{frames} * channels * (bits / 8));
    for (const std::int32_t code : Codes(frames, bits)) {
        const auto pattern = static_cast<std::uint32_t>(code);
        for (std::uint32_t channel = 0; channel < channels; ++channel) {
            for (std::uint32_t byte = 0; byte < bits / 8; ++byte) {
                bytes.push_back(static_cast<std::uint8_t>(pattern >> (8 * byte)));
            }
        }
    }
    return bytes;
}

}  // namespace tone_start
