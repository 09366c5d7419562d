#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "reading.h"
#include "recording.h"

// What the differing samples of a comparison have in common, gathered as the frames go by.
struct DifferenceStats {
    std::uint64_t samples = 0;     // differing samples
    std::uint64_t unreadable = 0;  // of them, not an integer code at the width (or not finite)
    double sumRecordedTone = 0, sumToneTone = 0, sumRecordedRecorded = 0, sumDifference2 = 0;
    double largestDifference = 0;    // in codes
    std::uint64_t negated = 0;       // recorded == -tone
    std::uint64_t oneBitFlips = 0;   // recorded differs from the tone in one bit
    std::uint32_t lowZeroBits = 64;  // zero low bits common to every nonzero recorded code

    void Add(double recorded, std::int64_t tone, std::uint32_t bits);
};

// A place where the recording skips tone frames (shift > 0) or plays some again (shift < 0).
// Where the codes of both alignments agree, it lies anywhere from `captureFrame` to `lastFrame`.
struct Slip {
    std::size_t captureFrame;  // the earliest frame from which the new alignment holds
    std::size_t lastFrame;     // the first frame the old alignment does not fit
    std::int64_t shift;
};

struct Comparison {
    std::uint64_t differing = 0;  // frames unlike the tone's frames N, N + 1, ... exactly
    std::size_t firstDifference = 0;
    std::vector<Slip> slips;
    // Against the tone realigned after each slip, read as `reading` says:
    std::uint64_t unexplained = 0;          // frames still differing
    std::uint64_t unexplainedAdjacent = 0;  // of them, right after another
    std::size_t firstUnexplained = 0;
    std::uint32_t firstUnexplainedChannel = 0;
    DifferenceStats stats;  // of the still differing samples of that channel
};

// Compares frames first .. last of every tone channel, at `bits` bits, with the tone from
// `counter` on. When `realign`, a stretch that differs is searched for a nearby counter where
// it matches again (frames dropped or repeated), and the comparison goes on from there.
Comparison CompareFrames(const Recording& recording, std::uint32_t bits, const Reading& reading,
                         std::size_t first, std::size_t last, std::uint64_t counter, bool realign);
