// A player that leaks: it starts an exclusive stream on the default device and returns from
// main holding every reference and with the stream running, as a careless program does. The
// process must still end normally, and the device must report what was left.

#include "platform/audio_endpoint.h"

namespace {

// 24-bit stereo at 48 kHz, which the typical HD-audio profile plays.
WAVEFORMATEXTENSIBLE TwentyFourBitStereo() {
    WAVEFORMATEXTENSIBLE format{};
    format.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    format.Format.nChannels = 2;
    format.Format.nSamplesPerSec = 48000;
    format.Format.wBitsPerSample = 24;
    format.Format.nBlockAlign = 6;
    format.Format.nAvgBytesPerSec = 48000 * 6;
    format.Format.cbSize = sizeof format - sizeof format.Format;
    format.Samples.wValidBitsPerSample = 24;
    format.dwChannelMask = SPEAKER_FRONT_LEFT | SPEAKER_FRONT_RIGHT;
    format.SubFormat = KSDATAFORMAT_SUBTYPE_PCM;
    return format;
}

}  // namespace

int main() {
    static_cast<void>(CoInitialize(nullptr));
    IMMDeviceEnumerator* enumerator = nullptr;
    IMMDevice* device = nullptr;
    IAudioClient* client = nullptr;
    IAudioRenderClient* render = nullptr;
    const WAVEFORMATEXTENSIBLE format = TwentyFourBitStereo();
    const HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    UINT32 frames = 0;
    BYTE* data = nullptr;
    const bool started =
        SUCCEEDED(CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL,
                                   IID_IMMDeviceEnumerator,
                                   reinterpret_cast<void**>(&enumerator))) &&
        SUCCEEDED(enumerator->GetDefaultAudioEndpoint(eRender, eConsole, &device)) &&
        SUCCEEDED(device->Activate(IID_IAudioClient, CLSCTX_ALL, nullptr,
                                   reinterpret_cast<void**>(&client))) &&
        SUCCEEDED(client->Initialize(AUDCLNT_SHAREMODE_EXCLUSIVE, AUDCLNT_STREAMFLAGS_EVENTCALLBACK,
                                     30000, 30000, &format.Format, nullptr)) &&
        SUCCEEDED(client->SetEventHandle(event)) && SUCCEEDED(client->GetBufferSize(&frames)) &&
        SUCCEEDED(client->GetService(IID_IAudioRenderClient, reinterpret_cast<void**>(&render))) &&
        SUCCEEDED(render->GetBuffer(frames, &data)) &&
        SUCCEEDED(render->ReleaseBuffer(frames, AUDCLNT_BUFFERFLAGS_SILENT)) &&
        SUCCEEDED(client->Start()) && WaitForSingleObject(event, 2000) == WAIT_OBJECT_0;
    return started ? 0 : 1;  // everything left as it is
}
