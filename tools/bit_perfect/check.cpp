#include "check.h"

#include <algorithm>

#include "comparison.h"
#include "counter_search.h"
#include "diagnosis.h"
#include "reading.h"
#include "tone_codes.h"

namespace {

constexpr std::size_t kSearchFrames = 4800;  // 200 rounding-edge frames
constexpr std::size_t kCountersFollowed = 256;
constexpr std::size_t kReferenceChannels = 4;  // tried in turn to find the counter

struct Alignment {
    bool found = false;
    std::uint64_t counter = 0;  // at recording.first
    std::uint64_t matches = 0;
};

// How many frames from `from` on match the tone from `counter` on, up to the span's end.
std::size_t MatchingRun(const Recording& recording, std::uint32_t bits, const Reading& reading,
                        std::size_t from, std::uint64_t counter) {
    const std::uint32_t shift = recording.containerBits - bits;
    const std::vector<double>& samples = recording.channels[recording.toneChannels.front()];
    std::size_t frame = from;
    while (frame <= recording.last && Matches(samples[frame], shift, reading,
                                              tone_codes::Code(counter + (frame - from), bits))) {
        ++frame;
    }
    return frame - from;
}

// Finds the counter at the span's first frame from a stretch at its start, or failing that
// from one in its middle (a difference in the first stretch), for counters up to 2^32. The
// rounding edges of counters far apart can agree over a stretch, so each counter found there
// is followed on to the span's end: the one that matches longest wins.
Alignment Align(const Recording& recording, std::uint32_t bits, const Reading& reading) {
    const std::uint32_t shift = recording.containerBits - bits;
    const std::size_t span = recording.last - recording.first + 1;
    const std::size_t length = std::min(span, kSearchFrames);
    const std::vector<double>& samples = recording.channels[recording.toneChannels.front()];
    Alignment alignment;
    for (const std::size_t offset : {std::size_t{0}, (span - length) / 2}) {
        if (offset > 0 && offset < length) break;  // the same frames again
        std::vector<CodeRange> window(length);
        const std::size_t start = recording.first + offset;
        for (std::size_t i = 0; i < length; ++i) {
            window[i] = AllowedCodes(samples[start + i], shift, reading);
        }
        const CounterMatches matches =
            FindCounters(window, bits, offset, kLargestStartCounter + offset, kCountersFollowed);
        if (matches.count == 0) continue;
        std::size_t longest = 0;
        for (const std::uint64_t counter : matches.counters) {
            const std::size_t run = MatchingRun(recording, bits, reading, start, counter);
            if (run > longest || !alignment.found) {
                alignment = {true, counter - offset, 0};
                longest = run;
            }
            if (run == recording.last - start + 1) ++alignment.matches;
        }
        alignment.matches = std::max<std::uint64_t>(alignment.matches, 1);
        if (matches.count > matches.counters.size()) alignment.matches = matches.count;
        return alignment;
    }
    return alignment;
}

// The residue of the counter that best fits the start of the span, by correlation, for a
// recording no counter fits exactly.
std::uint64_t NearestResidue(const Recording& recording, std::uint32_t bits) {
    const std::uint32_t shift = recording.containerBits - bits;
    const std::vector<double>& samples = recording.channels[recording.toneChannels.front()];
    const std::size_t length = std::min<std::size_t>(recording.last - recording.first + 1, 9600);
    std::vector<double> period(tone_codes::kPeriod);
    for (std::uint32_t j = 0; j < tone_codes::kPeriod; ++j) {
        period[j] = static_cast<double>(tone_codes::Code(j, bits));
    }
    std::uint64_t best = 0;
    double bestScore = 0;
    for (std::uint32_t r = 0; r < tone_codes::kPeriod; ++r) {
        double score = 0;
        for (std::size_t i = 0; i < length; ++i) {
            const double value = samples[recording.first + i] / static_cast<double>(1u << shift);
            if (value == value) score += value * period[(r + i) % tone_codes::kPeriod];
        }
        if (r == 0 || score > bestScore) {
            best = r;
            bestScore = score;
        }
    }
    return best;
}

// Widens the span by the tone's zero frame just before or after it, which silence hides.
void TakeInZeroFrames(const Recording& recording, std::uint32_t bits, std::size_t& first,
                      std::size_t& last, std::uint64_t& counter) {
    if (first > 0 && counter > 0 && tone_codes::Code(counter - 1, bits) == 0) {
        --first;
        --counter;
    }
    if (last + 1 < recording.FrameCount() &&
        tone_codes::Code(counter + (last + 1 - first), bits) == 0) {
        ++last;
    }
}

std::string ReadingCause(const Reading& reading, std::uint32_t bits) {
    switch (reading.kind) {
        case Reading::Kind::kNegated:
            return "polarity inverted";
        case Reading::Kind::kTruncated:
            return "low bits zero: truncated to " + std::to_string(bits - reading.lostBits) +
                   " bits (the low " + std::to_string(reading.lostBits) + " of " +
                   std::to_string(bits) + " are zero)";
        case Reading::Kind::kFloatRounded:
            return "a 32-bit tone does not fit exactly in 32-bit float: every frame is the tone "
                   "rounded to a float's 24 significant bits (record it as 32-bit integer PCM)";
        case Reading::Kind::kExact:
            break;
    }
    return {};
}

// Zero low bits common to every sample of the span at a width, up to bits - 1.
std::uint32_t CommonLowZeroBits(const Recording& recording, std::uint32_t bits) {
    const std::uint32_t shift = recording.containerBits - bits;
    std::uint64_t any = 0;
    for (const std::uint32_t c : recording.toneChannels) {
        for (std::size_t frame = recording.first; frame <= recording.last; ++frame) {
            std::int64_t code;
            if (!CodeAt(recording.channels[c][frame], shift, code)) return 0;
            any |= static_cast<std::uint64_t>(code);
        }
    }
    std::uint32_t zeros = 0;
    while (zeros + 1 < bits && (any & (std::uint64_t{1} << zeros)) == 0) ++zeros;
    return zeros;
}

// The finding of a comparison at a known counter under a reading.
CheckResult Finding(const Recording& recording, std::uint32_t bits, const Reading& reading,
                    const Alignment& alignment, bool realign) {
    CheckResult result;
    result.bits = bits;
    std::size_t first = recording.first;
    std::size_t last = recording.last;
    std::uint64_t counter = alignment.counter;
    TakeInZeroFrames(recording, bits, first, last, counter);
    const Comparison comparison =
        CompareFrames(recording, bits, reading, first, last, counter, realign);
    result.captureFirst = first;
    result.frames = last - first + 1;
    result.counterKnown = true;
    result.toneFirst = counter;
    result.counterMatches = alignment.matches;
    result.differing = comparison.differing;
    result.firstDifference = comparison.firstDifference;
    result.bitPerfect = comparison.differing == 0;
    if (result.bitPerfect) return result;
    std::string cause;
    if (comparison.unexplained == 0) {
        cause = comparison.slips.empty() ? ReadingCause(reading, bits) : DescribeSlips(comparison);
    } else {
        cause = DiagnoseDifferences(comparison, bits, result.frames);
        if (comparison.firstUnexplainedChannel != recording.toneChannels.front()) {
            cause =
                "channel " + std::to_string(comparison.firstUnexplainedChannel + 1) + ": " + cause;
        }
        if (!comparison.slips.empty()) cause = DescribeSlips(comparison) + "; " + cause;
    }
    result.cause = cause;
    return result;
}

}  // namespace

CheckResult CheckRecording(Recording recording) {
    CheckResult result;
    result.container = recording.container;
    result.silentChannels = recording.silentChannels;
    result.toneChannels = static_cast<std::uint32_t>(recording.toneChannels.size());
    if (recording.toneChannels.empty()) {
        result.frames = recording.FrameCount();
        result.cause = "no tone: every channel is digital silence";
        return result;
    }
    if (recording.last - recording.first + 1 < tone_codes::kPeriod) {
        result.frames = recording.last - recording.first + 1;
        result.cause = "too short: the tone spans " + std::to_string(result.frames) +
                       " frames, and a check needs one cycle (96)";
        return result;
    }
    const std::vector<std::uint32_t> widths = CandidateWidths(recording);
    // Exactly, narrowest width first: a 16-bit tone in a 24-bit container is a 16-bit tone.
    bool haveFinding = false;
    CheckResult finding;
    // The counter comes from the first channel that fits exactly: another may be harmed.
    std::vector<std::uint32_t>& channels = recording.toneChannels;
    const std::size_t references = std::min<std::size_t>(channels.size(), kReferenceChannels);
    for (std::size_t tried = 0; tried < references && !haveFinding; ++tried) {
        for (const std::uint32_t bits : widths) {
            const Alignment alignment = Align(recording, bits, Reading{});
            if (!alignment.found) continue;
            CheckResult exact = Finding(recording, bits, Reading{}, alignment, true);
            if (exact.bitPerfect) {
                finding = exact;
                haveFinding = true;
                break;
            }
            if (!haveFinding || exact.differing < finding.differing) finding = exact;
            haveFinding = true;
        }
        if (!haveFinding) std::rotate(channels.begin(), channels.begin() + 1, channels.end());
    }
    // Through a known harm, when no stretch is exact.
    if (!haveFinding) {
        for (auto it = widths.rbegin(); it != widths.rend() && !haveFinding; ++it) {
            const std::uint32_t bits = *it;
            std::vector<Reading> readings{{Reading::Kind::kNegated, 0}};
            const std::uint32_t lost = CommonLowZeroBits(recording, bits);
            if (lost > 0) readings.push_back({Reading::Kind::kTruncated, lost});
            if (recording.isFloat && bits == 32) {
                readings.push_back({Reading::Kind::kFloatRounded, 0});
            }
            for (const Reading& reading : readings) {
                const Alignment alignment = Align(recording, bits, reading);
                if (!alignment.found) continue;
                finding = Finding(recording, bits, reading, alignment, false);
                haveFinding = true;
                break;
            }
        }
    }
    if (haveFinding) {
        finding.container = result.container;
        finding.silentChannels = result.silentChannels;
        finding.toneChannels = result.toneChannels;
        return finding;
    }
    // No counter fits: the differences from the nearest tone say what happened.
    const std::uint32_t bits = !widths.empty()     ? widths.back()
                               : recording.isFloat ? 24
                                                   : recording.containerBits;
    result.bits = bits;
    result.captureFirst = recording.first;
    result.frames = recording.last - recording.first + 1;
    const std::uint64_t residue = NearestResidue(recording, bits);
    const Comparison comparison =
        CompareFrames(recording, bits, Reading{}, recording.first, recording.last, residue, false);
    result.differing = comparison.differing;
    result.firstDifference = comparison.firstDifference;
    result.cause = DiagnoseResampling(recording);
    if (result.cause.empty()) {
        result.cause = DiagnoseDifferences(comparison, bits, result.frames);
        if (comparison.firstUnexplainedChannel != recording.toneChannels.front()) {
            result.cause = "channel " + std::to_string(comparison.firstUnexplainedChannel + 1) +
                           ": " + result.cause;
        }
    }
    return result;
}

std::string VerdictLine(const CheckResult& result) {
    std::string line = result.bitPerfect ? "bit-perfect: yes, " : "bit-perfect: no, ";
    std::string silent;
    if (!result.silentChannels.empty()) {
        silent = result.silentChannels.size() == 1 ? "; channel " : "; channels ";
        for (std::size_t i = 0; i < result.silentChannels.size(); ++i) {
            silent += (i == 0 ? "" : ", ") + std::to_string(result.silentChannels[i] + 1);
        }
        silent += " silent";
    }
    if (result.bits == 0) {
        return line + result.cause + " (" + std::to_string(result.frames) + " frames of " +
               result.container + ")";
    }
    line += std::to_string(result.bits) + "-bit tone in " + result.container + ", " +
            std::to_string(result.toneChannels) +
            (result.toneChannels == 1 ? " channel, " : " channels, ") +
            std::to_string(result.frames) + " frames from capture frame " +
            std::to_string(result.captureFirst);
    if (result.counterKnown) {
        line += " = tone frame " + std::to_string(result.toneFirst);
        if (result.counterMatches > 1) {
            line += " (one of " + std::to_string(result.counterMatches) +
                    " counters up to 2^32 that fit: too few frames to tell)";
        }
    } else {
        line += " (tone frame unknown: no stretch is exact)";
    }
    if (!result.bitPerfect) {
        line += ": " + std::to_string(result.differing) + " differ, the first at capture frame " +
                std::to_string(result.firstDifference);
        if (result.counterKnown) {
            line +=
                " = tone frame " +
                std::to_string(result.toneFirst + (result.firstDifference - result.captureFirst));
        }
        line += "; " + result.cause;
    }
    return line + silent;
}
