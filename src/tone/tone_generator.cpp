#include "tone/tone_generator.h"

#include <cmath>

#include "tone/sine.h"
#include <cstring>

namespace {

constexpr double kPi = 3.141592653589793;
// 1000 * pi / rate is 2 * pi * 500 / rate: a 500 Hz tone at every rate.
constexpr double kHalfCyclesPerSecond = 1000.0;

// The phase is recomputed from the frame index every time, never accumulated, and each
// operation rounds to double in this fixed order so that every build yields the same codes.
inline double SineAt(std::uint64_t frameIndex, double rate) {
    const double phase = static_cast<double>(frameIndex) * kHalfCyclesPerSecond * kPi / rate;
    return Sine(phase);
}

// One loop per container width, and one for stereo, so that the copies have constant sizes.
// The counter and the shape live in locals: stores through the byte pointer could otherwise
// alias them and force a reload on every frame.
template <std::size_t BytesPerSample, bool Stereo>
void FillScaledFrames(ToneGenerator& tone, std::uint32_t frameCount, std::uint8_t* out,
                      double scale) {
    const double rate = static_cast<double>(tone.sampleRate);
    const std::uint32_t channels = Stereo ? 2 : tone.channelCount;
    std::uint64_t frame = tone.framesGenerated;
    for (std::uint32_t i = 0; i < frameCount; ++i) {
        const double sample = SineAt(frame++, rate);
        // lrint rounds in the current rounding mode, as rint does, straight to an integer.
        const auto code = static_cast<std::uint32_t>(std::lrint(sample * scale));
        if constexpr (Stereo && BytesPerSample != 3) {
            // Both samples of the frame as one little-endian value of 4 or 8 bytes, written in
            // one store. (Six bytes would be split up; those go sample by sample below.)
            constexpr std::uint64_t kMask = (std::uint64_t{1} << (8 * BytesPerSample)) - 1;
            const std::uint64_t single = code & kMask;
            const std::uint64_t pair = single | single << (8 * BytesPerSample);
            std::uint8_t bytes[2 * BytesPerSample];
            for (std::size_t k = 0; k < 2 * BytesPerSample; ++k) {
                bytes[k] = static_cast<std::uint8_t>(pair >> (8 * k));
            }
            std::memcpy(out, bytes, sizeof bytes);
            out += sizeof bytes;
            continue;
        }
        // Little-endian bytes of the two's-complement code, least significant first.
        const std::uint8_t bytes[4] = {
            static_cast<std::uint8_t>(code), static_cast<std::uint8_t>(code >> 8),
            static_cast<std::uint8_t>(code >> 16), static_cast<std::uint8_t>(code >> 24)};
        for (std::uint32_t channel = 0; channel < channels; ++channel) {
            std::memcpy(out, bytes, BytesPerSample);
            out += BytesPerSample;
        }
    }
    tone.framesGenerated = frame;
}

template <std::size_t BytesPerSample>
void FillScaled(ToneGenerator& tone, std::uint32_t frameCount, std::uint8_t* out, double scale) {
    if (tone.channelCount == 2) {
        FillScaledFrames<BytesPerSample, true>(tone, frameCount, out, scale);
    } else {
        FillScaledFrames<BytesPerSample, false>(tone, frameCount, out, scale);
    }
}

// Unsupported widths still evaluate the sine and advance the counter, so the phase stays where
// it would have been; the samples are silence of the given width, however wide it is.
void FillSilent(ToneGenerator& tone, std::uint32_t frameCount, std::uint8_t* out,
                std::uint32_t bytesPerSample) {
    const double rate = static_cast<double>(tone.sampleRate);
    const std::size_t frameBytes = std::size_t{bytesPerSample} * tone.channelCount;
    std::uint64_t frame = tone.framesGenerated;
    volatile double sink = 0.0;
    for (std::uint32_t i = 0; i < frameCount; ++i) {
        sink = SineAt(frame++, rate);
        if (frameBytes != 0) {
            std::memset(out, 0, frameBytes);
            out += frameBytes;
        }
    }
    static_cast<void>(sink);
    tone.framesGenerated = frame;
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
