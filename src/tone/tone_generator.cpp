#include "tone/tone_generator.h"

#include <cmath>
#include <cstring>

namespace {

constexpr double kPi = 3.141592653589793;
// 1000 * pi / rate is 2 * pi * 500 / rate: a 500 Hz tone at every rate.
constexpr double kHalfCyclesPerSecond = 1000.0;

// The phase is recomputed from the frame index every time, never accumulated, and each
// operation rounds to double in this fixed order so that every build yields the same codes.
inline double SineAt(std::uint64_t frameIndex, double rate) {
    const double phase = static_cast<double>(frameIndex) * kHalfCyclesPerSecond * kPi / rate;
    return std::sin(phase);
}

// One loop per container width, so the per-sample copy has a constant size.
template <std::size_t BytesPerSample>
void FillScaled(ToneGenerator& tone, std::uint32_t frameCount, std::uint8_t* out,
                         double scale) {
    const double rate = static_cast<double>(tone.sampleRate);
    const std::uint32_t channels = tone.channelCount;
    for (std::uint32_t frame = 0; frame < frameCount; ++frame) {
        const double sample = SineAt(tone.framesGenerated++, rate);
        const auto code = static_cast<std::int32_t>(std::rint(sample * scale));
        // Little-endian bytes of the two's-complement code, least significant first.
        const auto bits = static_cast<std::uint32_t>(code);
        std::uint8_t bytes[4] = {
            static_cast<std::uint8_t>(bits), static_cast<std::uint8_t>(bits >> 8),
            static_cast<std::uint8_t>(bits >> 16), static_cast<std::uint8_t>(bits >> 24)};
        for (std::uint32_t channel = 0; channel < channels; ++channel) {
            std::memcpy(out, bytes, BytesPerSample);
            out += BytesPerSample;
        }
    }
}

// Unsupported widths still evaluate the sine and advance the counter, so the phase stays where
// it would have been; the samples are silence of the given width, however wide it is.
void FillSilent(ToneGenerator& tone, std::uint32_t frameCount, std::uint8_t* out,
                std::uint32_t bytesPerSample) {
    const double rate = static_cast<double>(tone.sampleRate);
    volatile double sink = 0.0;
    for (std::uint32_t frame = 0; frame < frameCount; ++frame) {
        sink = SineAt(tone.framesGenerated++, rate);
        const std::size_t frameBytes = std::size_t{bytesPerSample} * tone.channelCount;
        if (frameBytes != 0) {
            std::memset(out, 0, frameBytes);
            out += frameBytes;
        }
    }
    static_cast<void>(sink);
}

}  // namespace

std::int32_t ToneGenerator::FillBuffer(std::uint32_t frameCount, std::uint8_t* data,
                                       std::uint32_t* flags) {
    if (flags != nullptr) {
        *flags = 0;
    }
    switch (bitsPerSample) {
        case 16:
            FillScaled<2>(*this, frameCount, data, 32767.0);
            break;
        case 24:
            FillScaled<3>(*this, frameCount, data, 8388607.0);
            break;
        case 32:
            FillScaled<4>(*this, frameCount, data, 2147483647.0);
            break;
        default:
            FillSilent(*this, frameCount, data, bitsPerSample / 8);
            break;
    }
    return 0;
}
