#include "plot_data.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>

namespace {

constexpr double kWaveformSeconds = 0.010;

std::string Number(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

bool WriteWaveform(const std::string& path, const PcmCapture& capture,
                   const CaptureAnalysis& analysis) {
    std::ofstream out(path);
    const auto frames =
        std::min(capture.FrameCount(),
                 static_cast<std::size_t>(std::llround(kWaveformSeconds * analysis.sampleRate)));
    for (std::size_t n = 0; n < frames; ++n) {
        out << Number("%.6f", 1000.0 * static_cast<double>(n) / analysis.sampleRate);
        for (const auto& channel : capture.channels) {
            out << ' ' << Number("%.9f", channel[n] / analysis.fullScale);
        }
        out << '\n';
    }
    return static_cast<bool>(out);
}

bool WriteSpectrum(const std::string& path, const CaptureAnalysis& analysis) {
    std::ofstream out(path);
    const ToneSpectrum& first = analysis.channels.front().spectrum;
    for (std::size_t bin = 1; bin < first.amplitude.size(); ++bin) {
        out << Number("%.4f", static_cast<double>(bin) * first.binWidth);
        for (const ChannelAnalysis& channel : analysis.channels) {
            out << ' '
                << Number("%.2f",
                          ToneSpectrum::Dbfs(channel.spectrum.amplitude[bin], analysis.fullScale));
        }
        out << '\n';
    }
    return static_cast<bool>(out);
}

bool WriteHarmonics(const std::string& path, const CaptureAnalysis& analysis) {
    std::ofstream out(path);
    const ToneSpectrum& spectrum = analysis.channels.front().spectrum;
    const double fundamental = static_cast<double>(spectrum.fundamentalBin) * spectrum.binWidth;
    for (int order = 1; order <= analysis.settings.lastHarmonic; ++order) {
        const double frequency = fundamental * order;
        if (frequency > 0.5 * analysis.sampleRate) break;
        const double level = ToneSpectrum::Dbfs(spectrum.Harmonic(order), analysis.fullScale);
        const std::string name =
            order == 1 ? Number("%g Hz", frequency) : "H" + std::to_string(order);
        out << order << ' ' << Number("%.1f", frequency) << ' ' << Number("%.2f", level) << " \""
            << name << ' ' << Fixed(level, 1) << (order == 1 ? " dBFS" : "") << "\"\n";
    }
    return static_cast<bool>(out);
}

bool WriteFigures(const std::string& path, const CaptureAnalysis& analysis) {
    std::ofstream out(path);
    const std::vector<std::string> fields = SummaryFields(analysis);
    // Three lines of figures: the tone, its purity, and the record.
    const std::size_t breaks[] = {2, 6};
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const bool lineStart =
            i == 0 || std::find(std::begin(breaks), std::end(breaks), i) != std::end(breaks);
        out << (i == 0 ? "" : lineStart ? "\n" : ", ") << fields[i];
    }
    const SineFit& fit = analysis.channels.front().fit;
    out << "\nfit: amplitude " << Fixed(fit.Amplitude() / analysis.fullScale, 8)
        << " of full scale, phase " << Fixed(fit.Phase(), 6) << " rad, offset "
        << Fixed(fit.offset, 3) << " codes\n"
        << VerdictLine(analysis) << '\n';
    return static_cast<bool>(out);
}

// Figures the picture script draws with: `load`ed by gnuplot.
bool WriteVariables(const std::string& path, const CaptureAnalysis& analysis) {
    std::ofstream out(path);
    const ToneSpectrum& spectrum = analysis.channels.front().spectrum;
    // An ideal quantiser's noise spread evenly over the bins above DC.
    const double idealBinDbfs =
        -analysis.idealSinadDb -
        10.0 * std::log10(static_cast<double>(spectrum.amplitude.size() - 1));
    out << "channels = " << analysis.channels.size() << '\n'
        << "identical = " << (analysis.channelsIdentical ? 1 : 0) << '\n'
        << "code_bits = " << analysis.codeBits << '\n'
        << "valid_bits = " << analysis.validBits << '\n'
        << "sample_rate = " << Number("%.0f", analysis.sampleRate) << '\n'
        << "ideal_bin_dbfs = " << Number("%.1f", idealBinDbfs) << '\n'
        << "spectrum_frames = " << analysis.spectrumFrames << '\n'
        << "passed = " << (analysis.flags.empty() ? 1 : 0) << '\n';
    return static_cast<bool>(out);
}

}  // namespace

std::string WritePlotData(const std::string& folder, const PcmCapture& capture,
                          const CaptureAnalysis& analysis) {
    if (analysis.channels.empty()) return "nothing to draw";
    const char* failed = !WriteWaveform(folder + "/waveform.dat", capture, analysis)
                             ? "waveform.dat"
                         : !WriteSpectrum(folder + "/spectrum.dat", analysis)   ? "spectrum.dat"
                         : !WriteHarmonics(folder + "/harmonics.dat", analysis) ? "harmonics.dat"
                         : !WriteFigures(folder + "/figures.txt", analysis)     ? "figures.txt"
                         : !WriteVariables(folder + "/variables.gp", analysis)  ? "variables.gp"
                                                                                : nullptr;
    return failed == nullptr ? std::string() : "cannot write " + folder + "/" + failed;
}
