#pragma once

#include <atomic>
#include <thread>

#include "com_object.h"

namespace virtual_endpoint {

// An exclusive-mode audio client: format checks, period and alignment rules, the event that
// marks each period, and the endpoint buffer that its render client lends.
class AudioClient : public ComObject<IAudioClient> {
  public:
    explicit AudioClient(std::shared_ptr<State> state);

    HRESULT STDMETHODCALLTYPE Initialize(AUDCLNT_SHAREMODE shareMode, DWORD streamFlags,
                                         REFERENCE_TIME bufferDuration, REFERENCE_TIME periodicity,
                                         const WAVEFORMATEX* format, LPCGUID session) override;
    HRESULT STDMETHODCALLTYPE GetBufferSize(UINT32* frameCount) override;
    HRESULT STDMETHODCALLTYPE GetStreamLatency(REFERENCE_TIME* latency) override;
    HRESULT STDMETHODCALLTYPE GetCurrentPadding(UINT32* paddingFrames) override;
    HRESULT STDMETHODCALLTYPE IsFormatSupported(AUDCLNT_SHAREMODE shareMode,
                                                const WAVEFORMATEX* format,
                                                WAVEFORMATEX** closestMatch) override;
    HRESULT STDMETHODCALLTYPE GetMixFormat(WAVEFORMATEX** deviceFormat) override;
    HRESULT STDMETHODCALLTYPE GetDevicePeriod(REFERENCE_TIME* defaultPeriod,
                                              REFERENCE_TIME* minimumPeriod) override;
    HRESULT STDMETHODCALLTYPE Start() override;
    HRESULT STDMETHODCALLTYPE Stop() override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE SetEventHandle(HANDLE eventHandle) override;
    HRESULT STDMETHODCALLTYPE GetService(REFIID iid, void** service) override;

    // For the render client.
    HRESULT LendBuffer(UINT32 frameCount, BYTE** data);
    HRESULT TakeBuffer(UINT32 frameCount, DWORD flags);

  private:
    ~AudioClient() override;
    bool Accepts(const WAVEFORMATEX* format) const;
    // Whether the device is locked, locking it first when this client's exclusive Initialize
    // has failed before.
    bool LockedOut();
    void SetPeriodEvent();
    void StopPacing();
    void Pace();

    bool initialized_ = false;
    bool exclusiveInitializeFailed_ = false;
    bool eventDriven_ = false;
    // After a not-aligned refusal, GetBufferSize reports the aligned frame count.
    std::optional<UINT32> alignedFrameCount_;
    WAVEFORMATEXTENSIBLE format_{};
    UINT32 bufferFrameCount_ = 0;
    REFERENCE_TIME period_ = 0;
    HANDLE event_ = nullptr;
    std::vector<std::uint8_t> buffer_;
    std::optional<UINT32> lentFrames_;
    // Exclusive event mode alternates two buffers and each event frees one for writing: one is
    // free for the pre-roll, each event frees one more, and at most both can be free.
    std::atomic<int> freeBuffers_{1};
    std::atomic<bool> running_{false};
    std::atomic<bool> stopRequested_{false};
    std::thread pacer_;
};

}  // namespace virtual_endpoint
