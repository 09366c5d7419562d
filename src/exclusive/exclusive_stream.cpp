#include "exclusive/exclusive_stream.h"

#include <iostream>

#include "exclusive/exclusive_format.h"
#include "platform/multimedia_scheduler.h"

namespace {

constexpr DWORD kEventWaitLimitMs = 2000;
constexpr double kUnitsPerSecond = 10000000.0;  // durations count 100-ns units
constexpr wchar_t kSchedulerTask[] = L"Pro Audio";

struct StreamObjects {
    IMMDeviceEnumerator* enumerator = nullptr;
    IMMDevice* device = nullptr;
    IAudioClient* audioClient = nullptr;
    IAudioRenderClient* renderClient = nullptr;
    StreamFormat* format = nullptr;
};

HRESULT InitializeExclusive(IAudioClient* audioClient, REFERENCE_TIME period,
                            const StreamFormat* format) {
    return audioClient->Initialize(AUDCLNT_SHAREMODE_EXCLUSIVE, AUDCLNT_STREAMFLAGS_EVENTCALLBACK,
                                   period, period, &format->Format, nullptr);
}

// The period that lasts exactly frameCount frames, rounded to the nearest 100-ns unit.
REFERENCE_TIME PeriodOfFrames(DWORD framesPerSecond, UINT32 frameCount) {
    const double units =
        kUnitsPerSecond / static_cast<double>(framesPerSecond) * static_cast<double>(frameCount) +
        0.5;
    return static_cast<REFERENCE_TIME>(units);
}

// Replaces the audio client that refused its period as not aligned by a new one of the same
// device, initialised with the period of the aligned buffer. Once the aligned size is read,
// the refused client's reference is gone whatever the result: stream.audioClient is then the
// new client, or null when the device activates none, so the exit path releases each
// reference once.
HRESULT RetryOnNewClient(StreamObjects& stream, REFERENCE_TIME& devicePeriod) {
    // The recipe that IAudioClient::Initialize documents for AUDCLNT_E_BUFFER_SIZE_NOT_ALIGNED,
    // in its order. The refused client is never initialised again: on Vista and Windows 7 a
    // second Initialize on a client whose exclusive Initialize failed locks the device, and
    // every later Initialize gets AUDCLNT_E_DEVICE_IN_USE until the audio service restarts.
    //
    // 1. The aligned buffer size, from the refused client.
    UINT32 alignedFrameCount = 0;
    HRESULT result = stream.audioClient->GetBufferSize(&alignedFrameCount);
    if (FAILED(result)) return result;
    devicePeriod = PeriodOfFrames(stream.format->Format.nSamplesPerSec, alignedFrameCount);
    // 2. Release the refused client.
    stream.audioClient->Release();
    stream.audioClient = nullptr;
    // 3. Activate a new one from the same device; a failed Activate leaves the pointer null.
    result = stream.device->Activate(IID_IAudioClient, CLSCTX_ALL, nullptr,
                                     reinterpret_cast<void**>(&stream.audioClient));
    if (FAILED(result)) return result;
    // 4. Initialise the new client with the aligned period as duration and periodicity.
    return InitializeExclusive(stream.audioClient, devicePeriod, stream.format);
}

// Opens the default render endpoint and initialises an exclusive event-driven stream of one
// device period on it, aligning the period once, on a new client, if the device asks for that.
HRESULT OpenStream(StreamObjects& stream, REFERENCE_TIME& devicePeriod) {
    HRESULT result =
        CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL, IID_IMMDeviceEnumerator,
                         reinterpret_cast<void**>(&stream.enumerator));
    if (FAILED(result)) return result;
    result = stream.enumerator->GetDefaultAudioEndpoint(eRender, eConsole, &stream.device);
    if (FAILED(result)) return result;
    result = stream.device->Activate(IID_IAudioClient, CLSCTX_ALL, nullptr,
                                     reinterpret_cast<void**>(&stream.audioClient));
    if (FAILED(result)) return result;
    result = FindExclusiveFormat(stream.audioClient, &stream.format);
    if (FAILED(result)) return result;
    result = stream.audioClient->GetDevicePeriod(nullptr, &devicePeriod);
    if (FAILED(result)) return result;

    result = InitializeExclusive(stream.audioClient, devicePeriod, stream.format);
    if (result != AUDCLNT_E_BUFFER_SIZE_NOT_ALIGNED) return result;
    return RetryOnNewClient(stream, devicePeriod);  // the only retry
}

// Lends the whole endpoint buffer to the generator and hands it back to be played.
HRESULT FillEndpointBuffer(IAudioRenderClient* renderClient, UINT32 frameCount,
                           ToneGenerator& generator) {
    BYTE* data = nullptr;
    HRESULT result = renderClient->GetBuffer(frameCount, &data);
    if (FAILED(result)) return result;
    std::uint32_t flags = 0;
    result = generator.FillBuffer(frameCount, data, &flags);
    if (FAILED(result)) return result;
    return renderClient->ReleaseBuffer(frameCount, flags);
}

// Wires the event, pre-rolls the whole buffer, joins the "Pro Audio" scheduling class and
// starts the stream.
HRESULT StartStream(StreamObjects& stream, HANDLE event, ToneGenerator& generator,
                    UINT32& bufferFrameCount, MultimediaScheduler& scheduler, HANDLE& task) {
    HRESULT result = stream.audioClient->SetEventHandle(event);
    if (FAILED(result)) return result;
    result = stream.audioClient->GetBufferSize(&bufferFrameCount);
    if (FAILED(result)) return result;
    result = stream.audioClient->GetService(IID_IAudioRenderClient,
                                            reinterpret_cast<void**>(&stream.renderClient));
    if (FAILED(result)) return result;
    result = FillEndpointBuffer(stream.renderClient, bufferFrameCount, generator);
    if (FAILED(result)) return result;

    // A scheduler that cannot be loaded counts as a registration refused.
    if (!LoadMultimediaScheduler(scheduler)) return E_FAIL;
    DWORD taskIndex = 0;
    task = scheduler.AvSetMmThreadCharacteristicsW(kSchedulerTask, &taskIndex);
    if (task == nullptr) return E_FAIL;
    return stream.audioClient->Start();
}

// Refills the whole buffer on every event until an event is late or a buffer call fails.
HRESULT ServeStream(StreamObjects& stream, HANDLE event, ToneGenerator& generator,
                    UINT32 bufferFrameCount) {
    for (;;) {
        if (WaitForSingleObject(event, kEventWaitLimitMs) != WAIT_OBJECT_0) {
            static_cast<void>(stream.audioClient->Stop());
            return kEventTimeoutResult;
        }
        const HRESULT result = FillEndpointBuffer(stream.renderClient, bufferFrameCount, generator);
        if (FAILED(result)) return result;
    }
}

// From an initialised stream to its end: the event and the scheduler registration live only
// here, and are undone in that order on every way out; the scheduler library is unloaded
// last, once nothing registered through it remains.
HRESULT PlayInitializedStream(StreamObjects& stream, ToneGenerator& generator) {
    generator.sampleRate = stream.format->Format.nSamplesPerSec;
    generator.channelCount = stream.format->Format.nChannels;
    generator.bitsPerSample = stream.format->Format.wBitsPerSample;

    const HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (event == nullptr) return E_FAIL;

    UINT32 bufferFrameCount = 0;
    MultimediaScheduler scheduler;
    HANDLE task = nullptr;
    HRESULT result = StartStream(stream, event, generator, bufferFrameCount, scheduler, task);
    if (SUCCEEDED(result)) {
        result = ServeStream(stream, event, generator, bufferFrameCount);
    }
    CloseHandle(event);
    if (task != nullptr) {
        scheduler.AvRevertMmThreadCharacteristics(task);
    }
    UnloadMultimediaScheduler(scheduler);
    return result;
}

void ReleaseStream(StreamObjects& stream) {
    CoTaskMemFree(stream.format);  // accepts null
    if (stream.enumerator != nullptr) stream.enumerator->Release();
    if (stream.device != nullptr) stream.device->Release();
    if (stream.audioClient != nullptr) stream.audioClient->Release();
    if (stream.renderClient != nullptr) stream.renderClient->Release();
}

}  // namespace

HRESULT PlayExclusiveStream(ToneGenerator& generator) {
    StreamObjects stream;
    REFERENCE_TIME devicePeriod = 0;
    HRESULT result = OpenStream(stream, devicePeriod);
    if (SUCCEEDED(result)) {
        std::cout << "Initialized with buffer of " << std::fixed
                  << static_cast<double>(devicePeriod) / kUnitsPerSecond << "s";
        result = PlayInitializedStream(stream, generator);
    }
    ReleaseStream(stream);
    return result;
}
