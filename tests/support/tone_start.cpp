#include "tone_start.h"

#include <cstdlib>
#include <cstring>

#include "embedded_lines.h"
#include "reference_tone.h"

extern const EmbeddedLines kToneStartTable;

namespace tone_start {

std::uint32_t FrameCount() { return static_cast<std::uint32_t>(kToneStartTable.count); }

std::vector<std::uint8_t> Bytes(std::uint32_t frames, std::uint32_t channels, std::uint32_t bits) {
    std::vector<std::uint8_t> bytes;
    for (std::uint32_t frame = 0; frame < frames; ++frame) {
        const std::uint64_t pattern = std::strtoull(kToneStartTable.lines[frame], nullptr, 16);
        double sine;
        std::memcpy(&sine, &pattern, sizeof sine);
        reference_tone::AppendFrame(reference_tone::Code(sine, bits), bits, channels, bytes);
    }
    return bytes;
}

}  // namespace tone_start
