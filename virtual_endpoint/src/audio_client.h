#pragma once

#include <atomic>
#include <mutex>
#include <thread>

#include "com_object.h"
#include "virtual_endpoint/event_schedule.h"

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
    // The extensible form of format when it is one the device's channels and rate take, as
    // PCM of one of formats (a plain WAVEFORMATEX of 1 or 2 channels stands for its twin).
    std::optional<WAVEFORMATEXTENSIBLE> Accepts(const WAVEFORMATEX* format,
                                                const std::vector<SampleFormat>& formats) const;
    // Whether the device is locked, locking it first when this client's exclusive Initialize
    // has failed before.
    bool LockedOut();
    // Ends this many periods of the device, each setting the event when it frees a buffer.
    void SetPeriodEvents(unsigned events);
    // One period's end, with buffersMutex_ held: whether a buffer was freed for the event.
    bool EndPeriod();
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
    // The endpoint's own duplicate of the player's event, which the player may close.
    HANDLE event_ = nullptr;
    std::vector<std::uint8_t> buffer_;
    std::optional<UINT32> lentFrames_;
    // Exclusive event mode alternates two buffers, and each event means one whole buffer is
    // free. Before Start one is free, for the pre-roll. Once running, the device always plays
    // one of the two, so at most one is free: at each period's end the device moves on to the
    // buffer the player has queued, and the event announces the one it played as free. A period
    // that ends with nothing queued (the second event of a pair, or one the player was late
    // for) frees nothing yet: the device, starved, takes the next buffer the moment it is
    // queued, and only then announces the one it held. So the player, woken once per event,
    // always finds a free buffer, and every frame it writes is received once, in order.
    struct Buffers {
        bool free = true;        // one buffer is the player's to fill
        bool queued = false;     // the player has released one that the device has not begun
        bool announced = false;  // the event was set for the free one
        bool starved = false;    // a period ended with nothing queued
    };
    std::mutex buffersMutex_;  // the pacer thread ends periods while the player lends buffers
    Buffers buffers_;
    // The schedule of events set on demand; the real-time clock thread keeps its own.
    EventSchedule schedule_{false};
    std::atomic<bool> running_{false};
    std::atomic<bool> stopRequested_{false};
    std::thread pacer_;
};

}  // namespace virtual_endpoint
