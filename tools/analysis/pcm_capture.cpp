#include "pcm_capture.h"

#include "wav_reader.h"

namespace {

std::string ToCapture(WavAudio& audio, PcmCapture& capture) {
    if (audio.encoding != WavAudio::Encoding::kInteger) return "IEEE float, not integer PCM";
    capture.sampleRate = audio.sampleRate;
    capture.containerBits = audio.containerBits;
    capture.validBits = audio.validBits;
    capture.channels.assign(audio.channels.size(), {});
    for (std::size_t channel = 0; channel < audio.channels.size(); ++channel) {
        const std::vector<double>& codes = audio.channels[channel];
        capture.channels[channel].assign(codes.size(), 0);
        for (std::size_t frame = 0; frame < codes.size(); ++frame) {
            capture.channels[channel][frame] = static_cast<std::int32_t>(codes[frame]);
        }
        audio.channels[channel] = {};  // the copy replaces it: one capture in memory at a time
    }
    return {};
}

}  // namespace

std::string ParseWav(const std::vector<std::uint8_t>& image, PcmCapture& capture) {
    WavAudio audio;
    const std::string problem = ParseWavAudio(image, audio);
    return problem.empty() ? ToCapture(audio, capture) : problem;
}

std::string ReadWavFile(const std::string& path, PcmCapture& capture) {
    WavAudio audio;
    const std::string problem = ReadWavAudio(path, audio);
    return problem.empty() ? ToCapture(audio, capture) : problem;
}
