#include "diagnosis.h"

#include <cmath>
#include <cstdio>

#include "tone_codes.h"

namespace {

std::string Printed(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

}  // namespace

std::string DiagnoseDifferences(const Comparison& comparison, std::uint32_t bits,
                                std::uint64_t frames) {
    const DifferenceStats& s = comparison.stats;
    const double readable = static_cast<double>(s.samples - s.unreadable);
    if (s.samples == 0 || readable == 0) return "samples that are no integer code";
    if (s.negated == s.samples) return "polarity inverted";
    const double gain = s.sumRecordedTone / s.sumToneTone;
    const double residual =
        s.sumRecordedRecorded - 2 * gain * s.sumRecordedTone + gain * gain * s.sumToneTone;
    const bool gainExplains = s.sumToneTone > 0 && residual < 0.25 * s.sumDifference2;
    if (gainExplains && gain < 0) {
        return "polarity inverted" +
               (std::fabs(gain + 1) > 1e-6
                    ? Printed(", with a constant gain of %+.2f dB", 20 * std::log10(-gain))
                    : "");
    }
    if (gainExplains && std::fabs(gain - 1) > 1e-5) {
        const double db = 20 * std::log10(gain);
        return Printed(std::fabs(db) < 0.01 ? "constant gain %+.4f dB" : "constant gain %+.2f dB",
                       db);
    }
    const double largest = s.largestDifference;
    if (s.lowZeroBits < 64 && s.lowZeroBits > 0 && s.lowZeroBits < bits &&
        largest < std::ldexp(1.0, static_cast<int>(s.lowZeroBits))) {
        return "low bits zero: truncated to " + std::to_string(bits - s.lowZeroBits) +
               " bits (the low " + std::to_string(s.lowZeroBits) + " of " + std::to_string(bits) +
               " are zero)";
    }
    const std::uint64_t differing = comparison.unexplained;
    if (comparison.unexplainedAdjacent == 0 && differing * 100 <= frames) {
        return "isolated bit errors in " + std::to_string(differing) + " frame" +
               (differing == 1 ? "" : "s") +
               (s.oneBitFlips == s.samples ? ", one flipped bit each" : "");
    }
    const double peak = static_cast<double>(tone_codes::Peak(bits));
    if (largest <= peak / 1024) {
        return "low bits changed at random (dither or noise), by up to " +
               Printed("%.0f", largest) + (largest == 1 ? " code" : " codes");
    }
    return "codes unlike the tone's, by up to " + Printed("%.0f", largest) +
           " codes (no known harm explains them)";
}

std::string DiagnoseResampling(const Recording& recording) {
    if (recording.sampleRate != tone_codes::kRate) {
        return "resampled: the file is at " + std::to_string(recording.sampleRate) +
               " Hz, the tone at 48000 Hz";
    }
    const std::vector<double>& samples = recording.channels[recording.toneChannels.front()];
    double firstCrossing = 0, lastCrossing = 0;
    std::uint64_t crossings = 0;
    for (std::size_t frame = recording.first; frame < recording.last; ++frame) {
        const double a = samples[frame];
        const double b = samples[frame + 1];
        if (!(a <= 0 && b > 0)) continue;
        const double at = static_cast<double>(frame) + a / (a - b);
        if (crossings++ == 0) firstCrossing = at;
        lastCrossing = at;
    }
    if (crossings < 3) return {};
    const double frequency =
        static_cast<double>(crossings - 1) * tone_codes::kRate / (lastCrossing - firstCrossing);
    if (std::fabs(frequency / 500 - 1) < 1e-4) return {};
    return "resampled: the tone runs at " + Printed("%.3f", frequency) + " Hz, not 500 Hz";
}

std::string DescribeSlips(const Comparison& comparison) {
    const Slip& slip = comparison.slips.front();
    const std::uint64_t count =
        static_cast<std::uint64_t>(slip.shift < 0 ? -slip.shift : slip.shift);
    std::string text = std::to_string(count) + (count == 1 ? " frame " : " frames ") +
                       (slip.shift > 0 ? "missing" : "repeated") +
                       (slip.captureFrame == slip.lastFrame
                            ? " at capture frame " + std::to_string(slip.captureFrame)
                            : " at capture frames " + std::to_string(slip.captureFrame) + "-" +
                                  std::to_string(slip.lastFrame));
    const std::size_t more = comparison.slips.size() - 1;
    if (more > 0) {
        text += ", and " + std::to_string(more) + " more gap" + (more == 1 ? "" : "s") +
                " or repeat" + (more == 1 ? "" : "s") + " after it";
    }
    return text;
}
