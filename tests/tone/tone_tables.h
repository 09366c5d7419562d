#pragma once

#include <cstdint>
#include <vector>

#include "embedded_lines.h"

// The reference tables of tests/data/tone, made by make_tone_tables.py and compiled in.
extern const EmbeddedLines kBinadesTable;
extern const EmbeddedLines kToneWindowsTable;
extern const EmbeddedLines kMidpointsTable;
extern const EmbeddedLines kSpecialsTable;
extern const EmbeddedLines kFillDigestsTable;
extern const EmbeddedLines kNearBoundTable;  // and make_bound_tables.py
extern const EmbeddedLines kStepMultiplesTable;
extern const EmbeddedLines kReducedMidpointsTable;  // make_reduced_tables.py

struct SinePair {
    double argument;
    double sine;  // correctly rounded; NaN for NaN and the infinities
};

// Runs of consecutive tone frames: frames[i] is frame first + i.
struct ToneWindow {
    std::uint32_t rate;
    std::uint64_t first;
    std::vector<SinePair> frames;
};

struct FillDigest {
    std::uint32_t rate;
    std::uint32_t channels;
    std::uint32_t bits;
    std::uint64_t first;
    std::uint32_t frames;
    std::uint64_t digest;  // FNV-1a 64 of the bytes
};

// Each reader fails the calling test (and returns what it read) on a malformed line.
std::vector<SinePair> ReadSinePairs(const EmbeddedLines& table);
std::vector<ToneWindow> ReadToneWindows(const EmbeddedLines& table);
std::vector<FillDigest> ReadFillDigests(const EmbeddedLines& table);
