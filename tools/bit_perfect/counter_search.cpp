#include "counter_search.h"

#include <algorithm>

#include "reference_tone.h"
#include "tone/sine.h"
#include "tone_codes.h"

namespace {

using tone_codes::kPeriod;
using tone_codes::kRate;

// 2 pi in four parts (mpmath): the first three of 26 bits each, so that their products with a
// period count below 2^27 are exact doubles; the fourth rounded to 53 bits.
constexpr double kTwoPi1 = 0x1.921fb5p+2;
constexpr double kTwoPi2 = 0x1.110b46p-24;
constexpr double kTwoPi3 = 0x1.1a6263p-52;
constexpr double kTwoPi4 = 0x1.8a2e03707344ap-79;

// How far the phase of frame n lies from n pi / 48, at most, per unit of n: half a last place
// of the product n * 1000 * pi and of the quotient by 48000 (each at most 7.3e-18 n), plus the
// error of pi itself (2.6e-18 n).
constexpr double kOffsetPerCounter = 2e-17;

// Frame j of the first period: its phase, and the sine and cosine there.
struct PeriodFrame {
    double phase;
    double sine;
    double cosine;
};

std::vector<PeriodFrame> FirstPeriod() {
    std::vector<PeriodFrame> frames(kPeriod);
    for (std::uint32_t j = 0; j < kPeriod; ++j) {
        const double phase = reference_tone::Phase(j, kRate);
        frames[j] = {phase, Sine(phase), Sine(phase + 0x1.921fb54442d18p+0)};
    }
    return frames;
}

// hi + lo += term, exactly (Knuth's two-sum into hi, the rounding error into lo).
void Accumulate(double& hi, double& lo, double term) {
    const double sum = hi + term;
    const double part = sum - hi;
    lo += (hi - (sum - part)) + (term - part);
    hi = sum;
}

// phase - 2 pi periods - base, where phase is the double phase of a frame `periods` whole
// cycles after a frame of the first period whose phase is `base`: the small offset that makes
// the frame's code differ from the first period's. Exact to about 1e-30.
double PhaseOffset(double phase, double periods, double base) {
    double hi = phase - periods * kTwoPi1;  // exact: both lie within a factor 2 of each other
    double lo = 0.0;
    Accumulate(hi, lo, -base);
    Accumulate(hi, lo, -periods * kTwoPi2);
    Accumulate(hi, lo, -periods * kTwoPi3);
    Accumulate(hi, lo, -periods * kTwoPi4);
    return hi + lo;
}

// One frame of the window as judged for counters of one residue.
struct Probe {
    std::uint32_t index;       // in the window
    std::uint32_t periods;     // whole periods from the counter's residue to this frame
    std::uint32_t residue;     // the frame's place in the period
    double lowEdge, highEdge;  // the values that round into the allowed codes
    double sine, cosine;       // scaled to the width
    std::int64_t low, high;
    double survival;  // share of counters that pass, roughly
};

double Overlap(double low, double high, double bound) {
    const double from = std::max(low, -bound);
    const double to = std::min(high, bound);
    return to > from ? (to - from) / (2 * bound) : 0.0;
}

// The probes for counters r + 96 m, most selective first; empty when no counter of this
// residue up to `largest` can match, whatever its offsets.
std::vector<Probe> Probes(const std::vector<CodeRange>& window, std::uint32_t bits, std::uint32_t r,
                          const std::vector<PeriodFrame>& period, std::uint64_t largest) {
    const double scale = static_cast<double>(tone_codes::Peak(bits));
    const double bound = kOffsetPerCounter * static_cast<double>(largest) + 1e-300;
    std::vector<Probe> probes;
    probes.reserve(window.size());
    for (std::uint32_t i = 0; i < window.size(); ++i) {
        const std::uint32_t j = (r + i) % kPeriod;
        Probe probe{i,
                    (r + i) / kPeriod,
                    j,
                    static_cast<double>(window[i].low) - 0.5,
                    static_cast<double>(window[i].high) + 0.5,
                    scale * period[j].sine,
                    scale * period[j].cosine,
                    window[i].low,
                    window[i].high,
                    1.0};
        const double swing = (probe.cosine < 0 ? -probe.cosine : probe.cosine) * bound;
        if (probe.high < probe.low || probe.highEdge < probe.sine - swing - 1.0 ||
            probe.lowEdge > probe.sine + swing + 1.0) {
            return {};
        }
        if (swing > 1e-3) {
            const double a = (probe.lowEdge - probe.sine) / probe.cosine;
            const double b = (probe.highEdge - probe.sine) / probe.cosine;
            probe.survival = Overlap(std::min(a, b), std::max(a, b), bound);
        }
        probes.push_back(probe);
    }
    std::stable_sort(probes.begin(), probes.end(),
                     [](const Probe& x, const Probe& y) { return x.survival < y.survival; });
    return probes;
}

// Whether the tone's code at counter r + 96 m + probe.index lies in the probe's range.
bool Passes(const Probe& probe, std::uint64_t counter, std::uint64_t m, std::uint32_t bits,
            double scale, const std::vector<PeriodFrame>& period) {
    const double phase = reference_tone::Phase(counter, kRate);
    const double offset =
        PhaseOffset(phase, static_cast<double>(m + probe.periods), period[probe.residue].phase);
    // sin(base + offset) to first order; the margin covers the second-order term, the last
    // places of Sine and of the product by the scale, and the rounding of this estimate.
    const double value = probe.sine + probe.cosine * offset;
    const double margin = scale * (2e-15 + offset * offset);
    if (value < probe.lowEdge - margin || value > probe.highEdge + margin) return false;
    if (value > probe.lowEdge + margin && value < probe.highEdge - margin) return true;
    const std::int64_t code = reference_tone::Code(Sine(phase), bits);
    return code >= probe.low && code <= probe.high;
}

}  // namespace

CounterMatches FindCounters(const std::vector<CodeRange>& window, std::uint32_t bits,
                            std::uint64_t first, std::uint64_t last, std::size_t keep) {
    CounterMatches matches;
    if (window.empty() || first > last || last + window.size() > kLargestSearchedCounter) {
        return matches;
    }
    const std::vector<PeriodFrame> period = FirstPeriod();
    const double scale = static_cast<double>(tone_codes::Peak(bits));
    for (std::uint32_t r = 0; r < kPeriod; ++r) {
        if (last < r) break;
        const std::uint64_t mFirst = first <= r ? 0 : (first - r + kPeriod - 1) / kPeriod;
        const std::uint64_t mLast = (last - r) / kPeriod;
        if (mFirst > mLast) continue;
        const std::vector<Probe> probes = Probes(window, bits, r, period, last + window.size());
        if (probes.empty()) continue;
        std::size_t listed = 0;  // of this residue: the smallest `keep` of all are among these
        for (std::uint64_t m = mFirst; m <= mLast; ++m) {
            const std::uint64_t counter = r + kPeriod * m;
            bool all = true;
            for (const Probe& probe : probes) {
                if (!Passes(probe, counter + probe.index, m, bits, scale, period)) {
                    all = false;
                    break;
                }
            }
            if (!all) continue;
            ++matches.count;
            if (listed++ < keep) matches.counters.push_back(counter);
        }
    }
    std::sort(matches.counters.begin(), matches.counters.end());
    if (matches.counters.size() > keep) matches.counters.resize(keep);
    return matches;
}
