#pragma once

#include <cstdint>
#include <string>

#include "comparison.h"
#include "recording.h"

// The most likely cause of differences that no slip explains, from what the differing samples
// have in common: polarity inverted, a constant gain (in dB), low bits zero (truncated, with how
// many), isolated bit errors, or low bits changed at random (dither or noise).
std::string DiagnoseDifferences(const Comparison& comparison, std::uint32_t bits,
                                std::uint64_t frames);

// Whether the tone has been resampled: the file's rate is not the tone's 48 kHz, or the tone's
// frequency, measured between its first and last rising zero crossings, is not 500 Hz. Returns
// the cause, or an empty string.
std::string DiagnoseResampling(const Recording& recording);

// The slips in words: "144 frames missing at capture frame 48000", and how many more.
std::string DescribeSlips(const Comparison& comparison);
