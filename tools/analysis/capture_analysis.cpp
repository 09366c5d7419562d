#include "capture_analysis.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>

namespace {

std::string Format(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string FramesOff(std::size_t count, double tolerance) {
    return std::to_string(count) + (count == 1 ? " frame" : " frames") +
           " off the fit by more than " + Format("%g", tolerance) + " code";
}

std::string ChannelName(std::size_t index, std::size_t count) {
    if (count == 2) return index == 0 ? "L" : "R";
    return "ch" + std::to_string(index + 1);
}

// Measures one channel and marks in `off` the frames where it strays from its fit.
ChannelAnalysis AnalyseChannel(const std::vector<std::int32_t>& codes,
                               const CaptureAnalysis& capture, std::size_t cycles,
                               const AnalysisSettings& settings, std::vector<bool>& off) {
    const std::vector<double> samples(codes.begin(),
                                      codes.begin() + static_cast<long>(capture.framesAnalysed));
    ChannelAnalysis result;
    const double start = EstimateToneFrequency(samples, samples.size(), capture.sampleRate);
    result.fit = FitSine(samples, capture.sampleRate, start);

    double residualPower = 0;
    for (std::size_t n = 0; n < samples.size(); ++n) {
        const double residual = samples[n] - result.fit.ValueAt(n, capture.sampleRate);
        residualPower += residual * residual;
        if (std::fabs(residual) > settings.codeTolerance) {
            ++result.framesOff;
            off[n] = true;
        }
    }
    const double residualRms = std::sqrt(residualPower / static_cast<double>(samples.size()));
    const double amplitude = result.fit.Amplitude();
    result.levelDbfs = ToneSpectrum::Dbfs(amplitude, capture.fullScale);
    // A residual of exactly zero (a perfect fit, or silence) gives +inf, or -inf for silence.
    result.sinadDb =
        amplitude > 0 ? 20.0 * std::log10(amplitude / std::sqrt(2.0) / residualRms) : -HUGE_VAL;
    result.enobBits = std::log2(std::ldexp(1.0, static_cast<int>(capture.codeBits)) /
                                (residualRms * std::sqrt(12.0)));
    result.spectrum =
        ComputeToneSpectrum(samples, capture.spectrumFrames, cycles, capture.sampleRate);
    result.thdDb = result.spectrum.ThdDb(settings.lastHarmonic);
    return result;
}

// Whether every channel equals the first over the analysed frames.
bool ChannelsIdentical(const PcmCapture& capture, std::size_t frames) {
    for (const auto& channel : capture.channels) {
        if (!std::equal(channel.begin(), channel.begin() + static_cast<long>(frames),
                        capture.channels.front().begin())) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::string Fixed(double value, int decimals) {
    const double unit = std::pow(10.0, -decimals);
    if (std::fabs(value) < 0.5 * unit) value = 0.0;
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

CaptureAnalysis AnalyseCapture(const PcmCapture& capture, const AnalysisSettings& settings) {
    CaptureAnalysis analysis;
    analysis.settings = settings;
    analysis.sampleRate = capture.sampleRate;
    analysis.codeBits = capture.containerBits;
    analysis.validBits = capture.validBits;
    analysis.fullScale = std::ldexp(1.0, static_cast<int>(capture.containerBits) - 1) - 1.0;
    analysis.idealSinadDb = 6.02 * capture.containerBits + 1.76;

    // The tone repeats every `period` frames, in which it makes `cyclesPerPeriod` cycles.
    const std::uint64_t common =
        std::gcd<std::uint64_t>(capture.sampleRate, settings.nominalFrequency);
    const std::uint64_t period = capture.sampleRate / common;
    const std::uint64_t cyclesPerPeriod = settings.nominalFrequency / common;
    const auto wanted =
        static_cast<std::size_t>(std::llround(settings.seconds * capture.sampleRate));
    analysis.framesAnalysed = std::min(wanted, capture.FrameCount());
    analysis.spectrumFrames = analysis.framesAnalysed / period * period;
    if (analysis.spectrumFrames == 0 || 2 * cyclesPerPeriod >= period) {
        analysis.flags.push_back("capture holds less than one period of the tone (" +
                                 std::to_string(period) + " frames)");
        return analysis;
    }
    const std::size_t cycles = analysis.spectrumFrames / period * cyclesPerPeriod;

    analysis.channelsIdentical = ChannelsIdentical(capture, analysis.framesAnalysed);
    std::vector<bool> off(analysis.framesAnalysed, false);
    for (const auto& codes : capture.channels) {
        analysis.channels.push_back(AnalyseChannel(codes, analysis, cycles, settings, off));
    }
    analysis.framesOff = static_cast<std::size_t>(std::count(off.begin(), off.end(), true));

    // Identical channels fail together: their flags are told once.
    const std::size_t judged = analysis.channelsIdentical ? 1 : analysis.channels.size();
    for (std::size_t i = 0; i < judged; ++i) {
        const ChannelAnalysis& channel = analysis.channels[i];
        const std::string name = judged > 1 ? ChannelName(i, judged) + ": " : std::string();
        if (!(channel.fit.Amplitude() >= settings.codeTolerance)) {
            analysis.flags.push_back(name + "no tone");
            continue;
        }
        const double drift = channel.fit.frequency - settings.nominalFrequency;
        if (!(std::fabs(drift) <= settings.frequencyTolerance)) {
            analysis.flags.push_back(name + "frequency " + Fixed(channel.fit.frequency, 4) +
                                     " Hz, off " + std::to_string(settings.nominalFrequency) +
                                     " Hz by more than " +
                                     Format("%g", settings.frequencyTolerance) + " Hz");
        }
        const double shortfall = analysis.idealSinadDb - channel.sinadDb;
        if (!(shortfall <= settings.sinadMarginDb)) {
            analysis.flags.push_back(name + "SINAD " + Fixed(shortfall, 1) + " dB below the ideal");
        }
    }
    if (analysis.framesOff > 0) {
        analysis.flags.push_back(FramesOff(analysis.framesOff, settings.codeTolerance));
    }
    return analysis;
}

std::vector<std::string> SummaryFields(const CaptureAnalysis& analysis) {
    const auto& channels = analysis.channels;
    if (channels.empty()) {
        return {std::to_string(analysis.framesAnalysed) + " frames, too few to analyse"};
    }
    // Each figure from the channel where it is worst.
    const ChannelAnalysis* frequency = &channels.front();
    const ChannelAnalysis* sinad = &channels.front();
    double thdDb = channels.front().thdDb;
    double nonHarmonicDbfs = -400.0;
    for (const ChannelAnalysis& channel : channels) {
        const double nominal = analysis.settings.nominalFrequency;
        if (std::fabs(channel.fit.frequency - nominal) >
            std::fabs(frequency->fit.frequency - nominal)) {
            frequency = &channel;
        }
        if (channel.sinadDb < sinad->sinadDb) sinad = &channel;
        thdDb = std::max(thdDb, channel.thdDb);
        const std::size_t bin = channel.spectrum.HighestNonHarmonicBin();
        if (bin != 0) {
            nonHarmonicDbfs =
                std::max(nonHarmonicDbfs,
                         ToneSpectrum::Dbfs(channel.spectrum.amplitude[bin], analysis.fullScale));
        }
    }

    std::vector<std::string> fields{Fixed(frequency->fit.frequency, 4) + " Hz"};
    std::string levels;
    for (std::size_t i = 0; i < channels.size(); ++i) {
        levels += (i == 0 ? "" : ", ") + ChannelName(i, channels.size()) + " " +
                  Fixed(channels[i].levelDbfs, 2) + " dBFS";
    }
    if (channels.size() > 1) {
        levels += analysis.channelsIdentical ? " (channels identical)" : " (channels differ)";
    }
    fields.push_back(levels);
    std::string sinadField = "SINAD " + Fixed(sinad->sinadDb, 1) + " dB (ideal " +
                             Fixed(analysis.idealSinadDb, 1) + " dB for " +
                             std::to_string(analysis.codeBits) + " bits";
    if (analysis.validBits != analysis.codeBits) {
        sinadField += ": " + std::to_string(analysis.validBits) + " valid, measured on the " +
                      std::to_string(analysis.codeBits) + "-bit codes";
    }
    fields.push_back(sinadField + ")");
    fields.push_back("ENOB " + Fixed(sinad->enobBits, 1) + " bits");
    fields.push_back("THD " + Fixed(thdDb, 1) + " dB");
    fields.push_back("highest non-harmonic bin " + Fixed(nonHarmonicDbfs, 1) + " dBFS");
    fields.push_back(FramesOff(analysis.framesOff, analysis.settings.codeTolerance));
    fields.push_back(Fixed(analysis.SecondsAnalysed(), 3) + " s analysed");
    return fields;
}

std::string SummaryLine(const CaptureAnalysis& analysis) {
    std::string line = "analysis: ";
    const std::vector<std::string> fields = SummaryFields(analysis);
    for (std::size_t i = 0; i < fields.size(); ++i) line += (i == 0 ? "" : ", ") + fields[i];
    return line;
}

std::string VerdictLine(const CaptureAnalysis& analysis) {
    if (analysis.flags.empty()) {
        return "verdict: pass (frequency within " +
               Format("%g", analysis.settings.frequencyTolerance) + " Hz of " +
               std::to_string(analysis.settings.nominalFrequency) + " Hz, SINAD within " +
               Format("%g", analysis.settings.sinadMarginDb) +
               " dB of the ideal, every frame within " +
               Format("%g", analysis.settings.codeTolerance) + " code of the fit)";
    }
    std::string line = "verdict: FLAGGED: ";
    for (std::size_t i = 0; i < analysis.flags.size(); ++i) {
        line += (i == 0 ? "" : "; ") + analysis.flags[i];
    }
    return line;
}
