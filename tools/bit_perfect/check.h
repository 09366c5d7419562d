#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "recording.h"

// The check's finding on a recording of the tone.
struct CheckResult {
    bool bitPerfect = false;
    std::uint32_t bits = 0;  // the tone's width; 0 when no channel carries anything
    std::string container;
    std::uint32_t toneChannels = 0;
    std::vector<std::uint32_t> silentChannels;  // 0-based
    std::size_t captureFirst = 0;               // the first compared frame
    std::size_t frames = 0;                     // compared
    bool counterKnown = false;
    std::uint64_t toneFirst = 0;       // the tone's counter at captureFirst
    std::uint64_t counterMatches = 0;  // counters up to 2^32 that fit (more than 1: too short)
    std::uint64_t differing = 0;       // frames unlike the tone's frames N, N + 1, ...
    std::size_t firstDifference = 0;   // capture frame
    std::string cause;
};

// The largest tone counter at the first compared frame that the check finds: a day at 48 kHz.
constexpr std::uint64_t kLargestStartCounter = std::uint64_t{1} << 32;

// Decides whether the recording holds the tone exactly: finds the tone's channels, its span
// between leading and trailing silence, its width and its counter, compares every frame, and
// names the most likely cause of any difference. Any tone channel may serve to find the
// counter; the others are compared with it.
CheckResult CheckRecording(Recording recording);

// The one line that reports it: "bit-perfect: yes, ..." or "bit-perfect: no, ...".
std::string VerdictLine(const CheckResult& result);
