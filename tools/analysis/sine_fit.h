#pragma once

#include <cstddef>
#include <vector>

// y[n] ≈ cosine·cos(ωn) + sine·sin(ωn) + offset, with ω = 2π·frequency / sampleRate and n the
// frame index from the start of the fitted samples.
struct SineFit {
    double frequency = 0;
    double cosine = 0;
    double sine = 0;
    double offset = 0;

    double Amplitude() const;
    // Phase of the sine at frame 0 in radians: y = Amplitude·sin(ωn + Phase) + offset.
    double Phase() const;
    double ValueAt(std::size_t frame, double sampleRate) const;
};

// The least-squares fit at a given frequency (the three-parameter fit of IEEE 1241).
SineFit FitSineAtFrequency(const std::vector<double>& samples, double sampleRate, double frequency);

// The least-squares fit with the frequency free (the four-parameter fit of IEEE 1241): Newton
// steps on the model linearised in frequency, from initialFrequency, which must lie within
// about half a DFT bin (sampleRate / samples.size()) of the tone. Stops when a step moves the
// frequency by less than 1e-13 of itself, or after 50 steps. The offset, cosine and sine terms
// are those of a final three-parameter fit at the frequency found.
SineFit FitSine(const std::vector<double>& samples, double sampleRate, double initialFrequency);
