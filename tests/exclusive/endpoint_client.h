#pragma once

#include "exclusive/exclusive_format.h"
#include "stream_harness.h"

// A client of the installed endpoint, opened as far as a step needs.
class Client {
  public:
    Client() {
        CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL, IID_IMMDeviceEnumerator,
                         reinterpret_cast<void**>(&enumerator_));
        enumerator_->GetDefaultAudioEndpoint(eRender, eConsole, &device_);
        device_->Activate(IID_IAudioClient, CLSCTX_ALL, nullptr, reinterpret_cast<void**>(&audio));
        event_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    }
    ~Client() {
        if (render != nullptr) render->Release();
        audio->Release();
        device_->Release();
        enumerator_->Release();
        CloseHandle(event_);
    }
    HRESULT Initialize(REFERENCE_TIME duration = 30000, REFERENCE_TIME period = 30000) {
        return audio->Initialize(AUDCLNT_SHAREMODE_EXCLUSIVE, AUDCLNT_STREAMFLAGS_EVENTCALLBACK,
                                 duration, period, &format_.Format, nullptr);
    }
    HRESULT Prepare() {  // initialised, event set, render service obtained
        HRESULT result = Initialize();
        if (SUCCEEDED(result)) result = audio->SetEventHandle(event_);
        if (SUCCEEDED(result)) {
            result = audio->GetService(IID_IAudioRenderClient, reinterpret_cast<void**>(&render));
        }
        return result;
    }
    HRESULT Lend(UINT32 frames = 144) {
        BYTE* data = nullptr;
        return render->GetBuffer(frames, &data);
    }
    HANDLE event() const { return event_; }
    IMMDeviceEnumerator* enumerator() const { return enumerator_; }
    IMMDevice* device() const { return device_; }
    const WAVEFORMATEX* format() const { return &format_.Format; }

    IAudioClient* audio = nullptr;
    IAudioRenderClient* render = nullptr;

  private:
    IMMDeviceEnumerator* enumerator_ = nullptr;
    IMMDevice* device_ = nullptr;
    HANDLE event_ = nullptr;
    StreamFormat format_ = MakeStreamFormat({24, 24});
};
