#pragma once

#include <cstddef>
#include <vector>

// The amplitude spectrum of a record that holds a whole number of cycles of the tone, through
// no window: with coherent sampling every harmonic of the tone falls on one bin and no window
// is needed, so none spreads it.
struct ToneSpectrum {
    double binWidth = 0;             // Hz
    std::size_t fundamentalBin = 0;  // the tone's bin: the number of cycles transformed
    std::vector<double> amplitude;   // bins 0 to length / 2: the amplitude of the sine (of the
                                     // DC level for bin 0) each bin holds, in codes

    // 20·log10(amplitude / fullScale); -400 for an empty bin.
    static double Dbfs(double amplitude, double fullScale);
    // Amplitude of harmonic `order` of the tone (1 is the tone), folded about the Nyquist bin;
    // 0 when the harmonic falls on DC.
    double Harmonic(int order) const;
    // THD in dB: the harmonics 2 to lastOrder against the tone; +inf without a tone.
    double ThdDb(int lastOrder) const;
    // The strongest bin that is neither DC nor a multiple of the tone's bin; 0 when there is none.
    std::size_t HighestNonHarmonicBin() const;
};

// Transforms the first `length` samples (FFTW, real input). `cycles` is the number of tone
// cycles they hold, a whole number below length / 2.
ToneSpectrum ComputeToneSpectrum(const std::vector<double>& samples, std::size_t length,
                                 std::size_t cycles, double sampleRate);

// The tone's frequency from the spectrum's strongest bin above DC, interpolated between its
// neighbours (Jacobsen's estimator, for an unwindowed transform): to a small fraction of a bin,
// close enough to start the four-parameter fit.
double EstimateToneFrequency(const std::vector<double>& samples, std::size_t length,
                             double sampleRate);
