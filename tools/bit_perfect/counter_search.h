#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// What one frame of a recording allows the tone's code there to be: any code in [low, high].
// An exact comparison allows one code; a recording that lost low bits allows all the codes
// that lose them the same way.
struct CodeRange {
    std::int64_t low;
    std::int64_t high;
};

struct CounterMatches {
    std::vector<std::uint64_t> counters;  // the smallest matching counters, ascending
    std::uint64_t count = 0;              // how many counters match in all
};

// The largest counter FindCounters takes as `last`: about two days of the tone at 48 kHz.
constexpr std::uint64_t kLargestSearchedCounter = std::uint64_t{1} << 33;

// Every counter N in [first, last] such that the tone's code at N + i, at `bits` bits, lies in
// window[i] for every i; the `keep` smallest of them are listed. The codes repeat every 96
// frames but for a small offset of each frame's phase that depends on N; so each frame is
// first judged from that offset, cheaply, and only a code too close to a rounding edge to judge
// that way comes from the comparison tone. last + window.size() must not exceed
// kLargestSearchedCounter. Every match is one the comparison tone confirms frame by frame.
CounterMatches FindCounters(const std::vector<CodeRange>& window, std::uint32_t bits,
                            std::uint64_t first, std::uint64_t last, std::size_t keep);
