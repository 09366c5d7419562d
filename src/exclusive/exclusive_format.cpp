#include "exclusive/exclusive_format.h"

#include <cstring>

namespace {

constexpr WORD kChannels = 2;
constexpr DWORD kFramesPerSecond = 48000;
constexpr DWORD kFrontLeftAndRight = SPEAKER_FRONT_LEFT | SPEAKER_FRONT_RIGHT;

}  // namespace

const ExclusiveFormatCandidate ExclusiveFormatCandidates[4] = {
    {16, 16},
    {24, 24},
    {32, 32},
    {32, 24},
};

StreamFormat MakeStreamFormat(const ExclusiveFormatCandidate& candidate) {
    StreamFormat format;
    std::memset(&format, 0, sizeof format);
    format.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    format.Format.nChannels = kChannels;
    format.Format.nSamplesPerSec = kFramesPerSecond;
    format.Format.wBitsPerSample = candidate.bitsPerSample;
    format.Format.nBlockAlign = static_cast<WORD>(kChannels * candidate.bitsPerSample / 8);
    format.Format.nAvgBytesPerSec = kFramesPerSecond * format.Format.nBlockAlign;
    format.Format.cbSize = sizeof(StreamFormat) - sizeof(WAVEFORMATEX);
    format.Samples.wValidBitsPerSample = candidate.validBitsPerSample;
    format.dwChannelMask = kFrontLeftAndRight;
    format.SubFormat = KSDATAFORMAT_SUBTYPE_PCM;
    return format;
}

HRESULT FindExclusiveFormat(IAudioClient* audioClient, StreamFormat** format) {
    for (const ExclusiveFormatCandidate& candidate : ExclusiveFormatCandidates) {
        StreamFormat offered = MakeStreamFormat(candidate);
        // Only exactly S_OK means the device plays the format exclusively as offered.
        const HRESULT check =
            audioClient->IsFormatSupported(AUDCLNT_SHAREMODE_EXCLUSIVE, &offered.Format, nullptr);
        if (check != S_OK) {
            continue;
        }
        void* memory = CoTaskMemAlloc(sizeof(StreamFormat));
        if (memory == nullptr) {
            return E_OUTOFMEMORY;
        }
        std::memcpy(memory, &offered, sizeof offered);
        *format = static_cast<StreamFormat*>(memory);
        return S_OK;
    }
    return E_FAIL;
}
