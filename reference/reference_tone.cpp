#include "reference_tone.h"

#include <cstdint>

#include "tone/sine.h"

namespace reference_tone {

double Phase(std::uint64_t frame, std::uint32_t rate) {
    double phase = static_cast<double>(frame) * 1000.0;
    phase = phase * 3.141592653589793;
    return phase / static_cast<double>(rate);
}

std::int32_t Code(double sine, std::uint32_t bits) {
    const double scale = bits == 16 ? 32767.0 : bits == 24 ? 8388607.0 : 2147483647.0;
    const double scaled = sine * scale;
    // |scaled| < 2^31: the integer part converts exactly and the fraction is exact.
    auto code = static_cast<std::int64_t>(scaled);
    const double fraction = scaled - static_cast<double>(code);
    const bool odd = code % 2 != 0;
    if (fraction > 0.5 || (fraction == 0.5 && odd)) {
        ++code;
    } else if (fraction < -0.5 || (fraction == -0.5 && odd)) {
        --code;
    }
    return static_cast<std::int32_t>(code);
}

void AppendFrame(std::int32_t code, std::uint32_t bits, std::uint32_t channels,
                 std::vector<std::uint8_t>& out) {
    const auto pattern = static_cast<std::uint32_t>(code);
    for (std::uint32_t channel = 0; channel < channels; ++channel) {
        for (std::uint32_t byte = 0; byte < bits / 8; ++byte) {
            out.push_back(static_cast<std::uint8_t>(pattern >> (8 * byte)));
        }
    }
}

ReferenceTone::ReferenceTone(std::uint32_t rate, std::uint32_t channels, std::uint32_t bits,
                             std::uint64_t firstFrame)
    : rate_(rate), channels_(channels), bits_(bits), nextFrame_(firstFrame) {}

void ReferenceTone::Next(std::uint32_t frameCount, std::vector<std::uint8_t>& out) {
    out.clear();
    out.reserve(std::size_t{frameCount} * channels_ * (bits_ / 8));
    for (std::uint32_t i = 0; i < frameCount; ++i) {
        const double sine = Sine(Phase(nextFrame_++, rate_));
        AppendFrame(Code(sine, bits_), bits_, channels_, out);
    }
}

}  // namespace reference_tone
