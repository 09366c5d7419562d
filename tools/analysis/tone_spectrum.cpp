#include "tone_spectrum.h"

#include <fftw3.h>

#include <cmath>
#include <complex>
#include <memory>

namespace {

struct FftwDeleter {
    void operator()(void* memory) const { fftw_free(memory); }
};

// The non-negative frequency half of the DFT of the first `length` samples.
std::vector<std::complex<double>> Transform(const std::vector<double>& samples,
                                            std::size_t length) {
    const std::size_t bins = length / 2 + 1;
    std::unique_ptr<double, FftwDeleter> input(fftw_alloc_real(length));
    std::unique_ptr<fftw_complex, FftwDeleter> output(fftw_alloc_complex(bins));
    // FFTW_ESTIMATE leaves the input untouched while planning and needs no measurement runs.
    fftw_plan plan =
        fftw_plan_dft_r2c_1d(static_cast<int>(length), input.get(), output.get(), FFTW_ESTIMATE);
    for (std::size_t i = 0; i < length; ++i) input.get()[i] = samples[i];
    fftw_execute(plan);
    fftw_destroy_plan(plan);
    std::vector<std::complex<double>> result(bins);
    for (std::size_t k = 0; k < bins; ++k) {
        result[k] = {output.get()[k][0], output.get()[k][1]};
    }
    return result;
}

}  // namespace

double ToneSpectrum::Dbfs(double value, double fullScale) {
    return value > 0 ? 20.0 * std::log10(value / fullScale) : -400.0;
}

double ToneSpectrum::Harmonic(int order) const {
    const std::size_t length = 2 * (amplitude.size() - 1);
    std::size_t bin = fundamentalBin * static_cast<std::size_t>(order) % length;
    if (bin > length / 2) bin = length - bin;
    return bin == 0 ? 0.0 : amplitude[bin];
}

double ToneSpectrum::ThdDb(int lastOrder) const {
    double power = 0;
    for (int order = 2; order <= lastOrder; ++order) power += Harmonic(order) * Harmonic(order);
    const double tone = Harmonic(1) * Harmonic(1);
    return tone > 0 ? 10.0 * std::log10(power / tone) : HUGE_VAL;
}

std::size_t ToneSpectrum::HighestNonHarmonicBin() const {
    std::size_t highest = 0;
    for (std::size_t bin = 1; bin < amplitude.size(); ++bin) {
        if (bin % fundamentalBin == 0) continue;
        if (highest == 0 || amplitude[bin] > amplitude[highest]) highest = bin;
    }
    return highest;
}

ToneSpectrum ComputeToneSpectrum(const std::vector<double>& samples, std::size_t length,
                                 std::size_t cycles, double sampleRate) {
    const std::vector<std::complex<double>> bins = Transform(samples, length);
    ToneSpectrum spectrum;
    spectrum.binWidth = sampleRate / static_cast<double>(length);
    spectrum.fundamentalBin = cycles;
    spectrum.amplitude.resize(bins.size());
    const double scale = 1.0 / static_cast<double>(length);
    for (std::size_t k = 0; k < bins.size(); ++k) {
        // A sine of amplitude A puts A·length/2 in its bin; DC and Nyquist hold their level whole.
        const bool edge = k == 0 || 2 * k == length;
        spectrum.amplitude[k] = std::abs(bins[k]) * scale * (edge ? 1.0 : 2.0);
    }
    return spectrum;
}

double EstimateToneFrequency(const std::vector<double>& samples, std::size_t length,
                             double sampleRate) {
    const std::vector<std::complex<double>> bins = Transform(samples, length);
    std::size_t peak = 1;
    for (std::size_t k = 2; k + 1 < bins.size(); ++k) {
        if (std::abs(bins[k]) > std::abs(bins[peak])) peak = k;
    }
    double offset = 0;
    if (peak + 1 < bins.size()) {
        const std::complex<double> curvature = 2.0 * bins[peak] - bins[peak - 1] - bins[peak + 1];
        if (std::abs(curvature) > 0) {
            offset = std::real((bins[peak - 1] - bins[peak + 1]) / curvature);
        }
    }
    return (static_cast<double>(peak) + offset) * sampleRate / static_cast<double>(length);
}
