#include "recording.h"

namespace {

std::string ContainerName(const WavAudio& audio) {
    if (audio.encoding == WavAudio::Encoding::kFloat) return "32-bit float";
    const std::string bits = std::to_string(audio.containerBits) + "-bit integer PCM";
    if (audio.validBits == audio.containerBits) return bits;
    return std::to_string(audio.validBits) + " valid bits in " + bits;
}

}  // namespace

bool CodeAt(double value, std::uint32_t shift, std::int64_t& code) {
    const double scaled = value / static_cast<double>(std::int64_t{1} << shift);  // exact
    // Also refuses NaN, which fails every comparison.
    if (!(scaled >= -2147483648.0 && scaled <= 2147483648.0)) return false;
    code = static_cast<std::int64_t>(scaled);
    return static_cast<double>(code) == scaled;
}

Recording MakeRecording(WavAudio&& audio) {
    Recording recording;
    recording.sampleRate = audio.sampleRate;
    recording.isFloat = audio.encoding == WavAudio::Encoding::kFloat;
    recording.containerBits = recording.isFloat ? 32 : audio.containerBits;
    recording.container = ContainerName(audio);
    recording.channels = std::move(audio.channels);
    if (recording.isFloat) {
        for (auto& channel : recording.channels) {
            for (double& value : channel) value *= 2147483648.0;  // exact: a power of two
        }
    }
    bool any = false;
    for (std::uint32_t c = 0; c < recording.channels.size(); ++c) {
        const std::vector<double>& samples = recording.channels[c];
        std::size_t first = samples.size();
        std::size_t last = 0;
        for (std::size_t frame = 0; frame < samples.size(); ++frame) {
            if (samples[frame] != 0.0) {  // NaN is not silence either
                if (first == samples.size()) first = frame;
                last = frame;
            }
        }
        if (first == samples.size()) {
            recording.silentChannels.push_back(c);
            continue;
        }
        recording.toneChannels.push_back(c);
        recording.first = any ? std::min(recording.first, first) : first;
        recording.last = any ? std::max(recording.last, last) : last;
        any = true;
    }
    return recording;
}

std::vector<std::uint32_t> CandidateWidths(const Recording& recording) {
    std::vector<std::uint32_t> widths;
    for (const std::uint32_t bits : {16u, 24u, 32u}) {
        if (bits > recording.containerBits) break;
        const std::uint32_t shift = recording.containerBits - bits;
        bool fits = true;
        for (const std::uint32_t c : recording.toneChannels) {
            const std::vector<double>& samples = recording.channels[c];
            std::int64_t code;
            for (std::size_t frame = recording.first; fits && frame <= recording.last; ++frame) {
                fits = CodeAt(samples[frame], shift, code);
            }
        }
        if (fits) widths.push_back(bits);
    }
    return widths;
}
