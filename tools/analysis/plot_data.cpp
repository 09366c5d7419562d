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

// The first channel's tone and harmonics up to the last THD takes.
struct Harmonic {
    int order;
    double frequency;
    double dbfs;
};

std::vector<Harmonic> Harmonics(const CaptureAnalysis& analysis) {
    const ToneSpectrum& spectrum = analysis.channels.front().spectrum;
    const double fundamental = static_cast<double>(spectrum.fundamentalBin) * spectrum.binWidth;
    std::vector<Harmonic> harmonics;
    for (int order = 1; order <= analysis.settings.lastHarmonic; ++order) {
        const double frequency = fundamental * order;
        if (frequency > 0.5 * analysis.sampleRate) break;
        harmonics.push_back(
            {order, frequency, ToneSpectrum::Dbfs(spectrum.Harmonic(order), analysis.fullScale)});
    }
    return harmonics;
}

bool WriteHarmonics(const std::string& path, const CaptureAnalysis& analysis) {
    std::ofstream out(path);
    // Only what stands clear of every other bin gets a label on the picture.
    const ToneSpectrum& spectrum = analysis.channels.front().spectrum;
    const std::size_t other = spectrum.HighestNonHarmonicBin();
    const double clear =
        (other == 0 ? -400.0 : ToneSpectrum::Dbfs(spectrum.amplitude[other], analysis.fullScale)) +
        3.0;
    for (const Harmonic& harmonic : Harmonics(analysis)) {
        const std::string label =
            harmonic.order == 1
                ? Number("%g Hz ", harmonic.frequency) + Fixed(harmonic.dbfs, 1) + " dBFS"
            : harmonic.dbfs > clear
                ? "H" + std::to_string(harmonic.order) + " " + Fixed(harmonic.dbfs, 1)
                : "";
        out << harmonic.order << ' ' << Number("%.1f", harmonic.frequency) << ' '
            << Number("%.2f", harmonic.dbfs) << " \"" << label << "\"\n";
    }
    return static_cast<bool>(out);
}

// Lines of text cut at "; " before they pass `width` characters.
std::string Wrapped(const std::string& text, std::size_t width) {
    std::string result;
    std::size_t lineStart = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find("; ", start);
        end = end == std::string::npos ? text.size() : end + 2;
        if (end - lineStart > width && start > lineStart) {
            result += "\n    ";
            lineStart = start;
        }
        result += text.substr(start, end - start);
        start = end;
    }
    return result;
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
        << Fixed(fit.offset, 3) << " codes\nharmonics (dBFS):";
    for (const Harmonic& harmonic : Harmonics(analysis)) {
        if (harmonic.order > 1) out << " H" << harmonic.order << ' ' << Fixed(harmonic.dbfs, 1);
    }
    out << '\n' << Wrapped(VerdictLine(analysis), 110) << '\n';
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
