#include "comparison.h"

#include <algorithm>

#include "counter_search.h"
#include "tone_codes.h"

namespace {

constexpr std::size_t kRealignFrames = 2400;  // the stretch searched after a difference
constexpr std::int64_t kLargestSlip = 48000;  // frames either way: one second
constexpr int kRealignAttempts = 8;

std::uint32_t LowZeroBits(std::int64_t code) {
    std::uint32_t bits = 0;
    while (bits < 63 && (code & (std::int64_t{1} << bits)) == 0) ++bits;
    return bits;
}

bool FrameMatches(const Recording& recording, std::size_t frame, std::uint32_t shift,
                  const Reading& reading, std::int64_t code) {
    for (const std::uint32_t c : recording.toneChannels) {
        if (!Matches(recording.channels[c][frame], shift, reading, code)) return false;
    }
    return true;
}

// The counter nearest `expected` other than it where the stretch from `frame` matches, if any.
bool FindSlip(const Recording& recording, std::uint32_t bits, const Reading& reading,
              std::size_t frame, std::size_t last, std::uint64_t expected, std::uint64_t& found) {
    const std::uint32_t shift = recording.containerBits - bits;
    const std::size_t length = std::min(kRealignFrames, last - frame + 1);
    std::vector<CodeRange> window(length);
    const std::vector<double>& samples = recording.channels[recording.toneChannels.front()];
    for (std::size_t i = 0; i < length; ++i) {
        window[i] = AllowedCodes(samples[frame + i], shift, reading);
    }
    const std::uint64_t from = expected > kLargestSlip ? expected - kLargestSlip : 0;
    const CounterMatches matches = FindCounters(window, bits, from, expected + kLargestSlip, 64);
    bool any = false;
    for (const std::uint64_t counter : matches.counters) {
        if (counter == expected) continue;
        const std::uint64_t distance = counter > expected ? counter - expected : expected - counter;
        const std::uint64_t best = found > expected ? found - expected : expected - found;
        if (!any || distance < best) found = counter;
        any = true;
    }
    return any;
}

}  // namespace

void DifferenceStats::Add(double recorded, std::int64_t tone, std::uint32_t bits) {
    ++samples;
    std::int64_t code;
    if (!CodeAt(recorded, 0, code)) {
        ++unreadable;
        return;
    }
    const auto t = static_cast<double>(tone);
    const auto y = static_cast<double>(code);
    sumRecordedTone += y * t;
    sumToneTone += t * t;
    sumRecordedRecorded += y * y;
    const double difference = y - t;
    sumDifference2 += difference * difference;
    largestDifference = std::max(largestDifference, difference < 0 ? -difference : difference);
    if (code == -tone) ++negated;
    const std::uint64_t mask = (std::uint64_t{1} << bits) - 1;
    const std::uint64_t flipped =
        (static_cast<std::uint64_t>(code) ^ static_cast<std::uint64_t>(tone)) & mask;
    if (flipped != 0 && (flipped & (flipped - 1)) == 0) ++oneBitFlips;
    if (code != 0) lowZeroBits = std::min(lowZeroBits, LowZeroBits(code));
}

Comparison CompareFrames(const Recording& recording, std::uint32_t bits, const Reading& reading,
                         std::size_t first, std::size_t last, std::uint64_t counter, bool realign) {
    const std::uint32_t shift = recording.containerBits - bits;
    const Reading exact;
    Comparison result;
    std::int64_t slipped = 0;  // tone frames skipped so far, less those repeated
    int attempts = realign ? kRealignAttempts : 0;
    std::size_t nextAttempt = first;
    bool previousDiffered = false;
    for (std::size_t frame = first; frame <= last; ++frame) {
        const std::uint64_t strict = counter + (frame - first);
        const std::int64_t strictCode = tone_codes::Code(strict, bits);
        if (!FrameMatches(recording, frame, shift, exact, strictCode)) {
            if (result.differing++ == 0) result.firstDifference = frame;
        }
        auto aligned = static_cast<std::uint64_t>(static_cast<std::int64_t>(strict) + slipped);
        std::int64_t code = slipped == 0 && reading.kind == Reading::Kind::kExact
                                ? strictCode
                                : tone_codes::Code(aligned, bits);
        if (FrameMatches(recording, frame, shift, reading, code)) {
            previousDiffered = false;
            continue;
        }
        std::uint64_t found = 0;
        if (attempts > 0 && frame >= nextAttempt &&
            FindSlip(recording, bits, reading, frame, last, aligned, found)) {
            const std::int64_t step =
                static_cast<std::int64_t>(found) - static_cast<std::int64_t>(aligned);
            slipped += step;
            // The slip may lie a little earlier: where the codes of both alignments agree.
            std::size_t from = frame;
            const std::size_t floor =
                result.slips.empty() ? first : result.slips.back().captureFrame;
            while (from > floor + 1 && found > frame - from &&
                   FrameMatches(recording, from - 1, shift, reading,
                                tone_codes::Code(found - (frame - from) - 1, bits))) {
                --from;
            }
            result.slips.push_back({from, frame, step});
            previousDiffered = false;
            continue;  // the frame matches at the counter found
        }
        if (attempts > 0 && frame >= nextAttempt) {
            --attempts;
            nextAttempt = frame + kRealignFrames;
        }
        if (result.unexplained++ == 0) {
            result.firstUnexplained = frame;
            for (const std::uint32_t c : recording.toneChannels) {
                if (!Matches(recording.channels[c][frame], shift, reading, code)) {
                    result.firstUnexplainedChannel = c;
                    break;
                }
            }
        }
        if (previousDiffered) ++result.unexplainedAdjacent;
        previousDiffered = true;
        const double sample = recording.channels[result.firstUnexplainedChannel][frame];
        if (!Matches(sample, shift, reading, code)) {
            result.stats.Add(sample / static_cast<double>(std::int64_t{1} << shift), code, bits);
        }
    }
    return result;
}
