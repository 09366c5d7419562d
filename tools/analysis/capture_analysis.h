#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "pcm_capture.h"
#include "sine_fit.h"
#include "tone_spectrum.h"

// What the analysis looks for and where it draws the line.
struct AnalysisSettings {
    std::uint32_t nominalFrequency = 500;  // Hz, whole
    double seconds = 1.0;  // analysed from the first frame; less if the capture is short
    double frequencyTolerance = 0.001;  // Hz
    double sinadMarginDb = 1.0;         // below the ideal quantiser's SINAD
    double codeTolerance = 1.0;         // a frame is off when a sample is further from the fit
    int lastHarmonic = 11;              // THD takes harmonics 2 to this one
};

struct ChannelAnalysis {
    SineFit fit;
    double levelDbfs = 0;  // fitted amplitude against full scale
    double sinadDb = 0;    // fitted amplitude's RMS against the fit residual's RMS
    double enobBits = 0;   // IEEE 1241: log2(2^bits / (residual RMS · sqrt(12)))
    double thdDb = 0;
    std::size_t framesOff = 0;  // samples further than codeTolerance from the fit
    ToneSpectrum spectrum;
};

struct CaptureAnalysis {
    AnalysisSettings settings;
    double sampleRate = 0;
    // Width of the codes, which the figures are measured in. A 24-in-32 capture holds full
    // 32-bit values (the player scales to the 32-bit container and writes the low byte too), so
    // its codes are 32 bits wide and validBits is only reported.
    std::uint32_t codeBits = 0;
    std::uint32_t validBits = 0;
    double fullScale = 0;            // the peak code of a full-scale sine, 2^(codeBits-1) - 1
    double idealSinadDb = 0;         // 6.02·codeBits + 1.76
    std::size_t framesAnalysed = 0;  // from the first frame
    std::size_t spectrumFrames = 0;  // whole periods of the tone within those
    std::size_t framesOff = 0;       // frames with any channel off the fit
    bool channelsIdentical = true;
    std::vector<ChannelAnalysis> channels;
    std::vector<std::string> flags;  // why the capture fails; empty when it passes

    double SecondsAnalysed() const { return static_cast<double>(framesAnalysed) / sampleRate; }
};

// Fits and measures each channel of the capture and flags a channel with no tone (amplitude
// below codeTolerance), a fitted frequency off nominal by more than the tolerance, a SINAD more
// than the margin below the ideal, and any frame off the fit. A capture shorter than one whole
// period of the nominal tone is flagged as such, with no channels measured.
CaptureAnalysis AnalyseCapture(const PcmCapture& capture, const AnalysisSettings& settings);

// The summary's figures, each channel's worst where they differ: frequency, levels, SINAD
// against the ideal, ENOB, THD, highest non-harmonic bin, frames off the fit, duration.
std::vector<std::string> SummaryFields(const CaptureAnalysis& analysis);
// "analysis: " and the fields joined by commas: "analysis: 500.0000 Hz, L 0.00 dBFS, R 0.00 dBFS
// (channels identical), SINAD ..."
std::string SummaryLine(const CaptureAnalysis& analysis);
// "verdict: pass (...)" or "verdict: FLAGGED: reason; reason"
std::string VerdictLine(const CaptureAnalysis& analysis);

// `value` with `decimals` decimals, without a minus sign when it rounds to zero.
std::string Fixed(double value, int decimals);
