#include "sine_fit.h"

#include <cmath>
#include <utility>

namespace {

constexpr double kTwoPi = 6.283185307179586;

// Normal equations of a linear least-squares problem with up to four unknowns, summed in long
// double: 48 000 squared 32-bit codes would lose the last digits that the residual of a
// near-ideal tone lives in.
class NormalEquations {
  public:
    explicit NormalEquations(int unknowns) : unknowns_(unknowns) {}

    void Add(const double* row, double observation) {
        for (int i = 0; i < unknowns_; ++i) {
            for (int j = 0; j < unknowns_; ++j)
                gram_[i][j] += static_cast<long double>(row[i]) * row[j];
            moment_[i] += static_cast<long double>(row[i]) * observation;
        }
    }

    // Gaussian elimination with partial pivoting. False when the system is singular.
    bool Solve(double* solution) {
        const int n = unknowns_;
        for (int column = 0; column < n; ++column) {
            int pivot = column;
            for (int row = column + 1; row < n; ++row) {
                if (std::fabs(gram_[row][column]) > std::fabs(gram_[pivot][column])) pivot = row;
            }
            if (gram_[pivot][column] == 0) return false;
            std::swap(gram_[pivot], gram_[column]);
            std::swap(moment_[pivot], moment_[column]);
            for (int row = column + 1; row < n; ++row) {
                const long double factor = gram_[row][column] / gram_[column][column];
                for (int k = column; k < n; ++k) gram_[row][k] -= factor * gram_[column][k];
                moment_[row] -= factor * moment_[column];
            }
        }
        for (int row = n - 1; row >= 0; --row) {
            long double value = moment_[row];
            for (int k = row + 1; k < n; ++k) value -= gram_[row][k] * solution[k];
            solution[row] = static_cast<double>(value / gram_[row][row]);
        }
        return true;
    }

  private:
    int unknowns_;
    long double gram_[4][4] = {};
    long double moment_[4] = {};
};

double AngularStep(double frequency, double sampleRate) { return kTwoPi * frequency / sampleRate; }

}  // namespace

double SineFit::Amplitude() const { return std::hypot(cosine, sine); }

double SineFit::Phase() const { return std::atan2(cosine, sine); }

double SineFit::ValueAt(std::size_t frame, double sampleRate) const {
    const double angle = AngularStep(frequency, sampleRate) * static_cast<double>(frame);
    return cosine * std::cos(angle) + sine * std::sin(angle) + offset;
}

SineFit FitSineAtFrequency(const std::vector<double>& samples, double sampleRate,
                           double frequency) {
    const double step = AngularStep(frequency, sampleRate);
    NormalEquations equations(3);
    for (std::size_t n = 0; n < samples.size(); ++n) {
        const double angle = step * static_cast<double>(n);
        const double row[3] = {std::cos(angle), std::sin(angle), 1.0};
        equations.Add(row, samples[n]);
    }
    double solution[3] = {};
    SineFit fit;
    fit.frequency = frequency;
    if (equations.Solve(solution)) {
        fit.cosine = solution[0];
        fit.sine = solution[1];
        fit.offset = solution[2];
    }
    return fit;
}

SineFit FitSine(const std::vector<double>& samples, double sampleRate, double initialFrequency) {
    SineFit fit = FitSineAtFrequency(samples, sampleRate, initialFrequency);
    // The frequency term is taken about the middle of the record, where it is least correlated
    // with the others; the cosine and sine terms absorb the difference.
    const double middle = 0.5 * static_cast<double>(samples.size());
    for (int iteration = 0; iteration < 50; ++iteration) {
        const double step = AngularStep(fit.frequency, sampleRate);
        NormalEquations equations(4);
        for (std::size_t n = 0; n < samples.size(); ++n) {
            const double angle = step * static_cast<double>(n);
            const double c = std::cos(angle);
            const double s = std::sin(angle);
            const double lever = static_cast<double>(n) - middle;
            const double row[4] = {c, s, 1.0, lever * (fit.sine * c - fit.cosine * s)};
            equations.Add(row, samples[n]);
        }
        double solution[4] = {};
        if (!equations.Solve(solution)) break;
        const double change = solution[3] * sampleRate / kTwoPi;  // radians per frame to Hz
        fit = FitSineAtFrequency(samples, sampleRate, fit.frequency + change);
        if (std::fabs(change) <= 1e-13 * std::fabs(fit.frequency)) break;
    }
    return fit;
}
