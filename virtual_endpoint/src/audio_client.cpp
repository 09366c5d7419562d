#include "audio_client.h"

#include <algorithm>
#include <cstring>
#include <numeric>

#include "render_client.h"

namespace virtual_endpoint {
namespace {

constexpr DWORD kFramesPerSecond = 48000;
constexpr WORD kChannels = 2;
constexpr DWORD kFrontLeftAndRight = SPEAKER_FRONT_LEFT | SPEAKER_FRONT_RIGHT;
constexpr std::uint8_t kUnwrittenByte = 0xCD;  // what the player finds in a lent buffer

std::string DescribeFormat(const WAVEFORMATEX* format) {
    if (format == nullptr) return "null";
    std::string text = "tag=" + Hex(format->wFormatTag) +
                       " channels=" + std::to_string(format->nChannels) +
                       " rate=" + std::to_string(format->nSamplesPerSec) +
                       " bits=" + std::to_string(format->wBitsPerSample) +
                       " align=" + std::to_string(format->nBlockAlign) +
                       " bytesPerSecond=" + std::to_string(format->nAvgBytesPerSec) +
                       " cbSize=" + std::to_string(format->cbSize);
    if (format->wFormatTag == WAVE_FORMAT_EXTENSIBLE && format->cbSize >= 22) {
        const auto* extensible = reinterpret_cast<const WAVEFORMATEXTENSIBLE*>(format);
        text += " valid=" + std::to_string(extensible->Samples.wValidBitsPerSample) +
                " mask=" + Hex(extensible->dwChannelMask) +
                (extensible->SubFormat == KSDATAFORMAT_SUBTYPE_PCM ? " pcm" : " other");
    }
    return text;
}

}  // namespace

AudioClient::AudioClient(std::shared_ptr<State> state)
    : ComObject(std::move(state), "IAudioClient") {}

AudioClient::~AudioClient() { StopPacing(); }

bool AudioClient::Accepts(const WAVEFORMATEX* format) const {
    if (format->wFormatTag != WAVE_FORMAT_EXTENSIBLE || format->cbSize < 22) return false;
    const auto* extensible = reinterpret_cast<const WAVEFORMATEXTENSIBLE*>(format);
    const bool consistent =
        format->nChannels == kChannels && format->nSamplesPerSec == kFramesPerSecond &&
        format->nBlockAlign == format->nChannels * format->wBitsPerSample / 8 &&
        format->nAvgBytesPerSec == format->nSamplesPerSec * format->nBlockAlign &&
        extensible->dwChannelMask == kFrontLeftAndRight &&
        extensible->SubFormat == KSDATAFORMAT_SUBTYPE_PCM;
    if (!consistent) return false;
    const SampleFormat offered{format->wBitsPerSample, extensible->Samples.wValidBitsPerSample};
    for (const SampleFormat& accepted : state_->config.acceptedFormats) {
        if (accepted == offered) return true;
    }
    return false;
}

HRESULT AudioClient::IsFormatSupported(AUDCLNT_SHAREMODE shareMode, const WAVEFORMATEX* format,
                                       WAVEFORMATEX** closestMatch) {
    return Call("IsFormatSupported",
                "mode=" + std::to_string(shareMode) + " " + DescribeFormat(format) +
                    " closest=" + Pointer(closestMatch),
                [&]() -> HRESULT {
                    if (format == nullptr) return E_POINTER;
                    if (closestMatch != nullptr) *closestMatch = nullptr;  // none in exclusive mode
                    if (shareMode != AUDCLNT_SHAREMODE_EXCLUSIVE) return E_NOTIMPL;
                    return Accepts(format) ? S_OK : state_->config.refusal;
                });
}

HRESULT AudioClient::GetDevicePeriod(REFERENCE_TIME* defaultPeriod, REFERENCE_TIME* minimumPeriod) {
    return Call("GetDevicePeriod",
                "default=" + Pointer(defaultPeriod) + " minimum=" + Pointer(minimumPeriod),
                [&]() -> HRESULT {
                    if (defaultPeriod == nullptr && minimumPeriod == nullptr) return E_POINTER;
                    if (defaultPeriod != nullptr) *defaultPeriod = state_->config.defaultPeriod;
                    if (minimumPeriod != nullptr) *minimumPeriod = state_->config.minimumPeriod;
                    return S_OK;
                });
}

HRESULT AudioClient::Initialize(AUDCLNT_SHAREMODE shareMode, DWORD streamFlags,
                                REFERENCE_TIME bufferDuration, REFERENCE_TIME periodicity,
                                const WAVEFORMATEX* format, LPCGUID session) {
    const std::string arguments =
        "mode=" + std::to_string(shareMode) + " flags=" + Hex(streamFlags) +
        " duration=" + std::to_string(bufferDuration) + " period=" + std::to_string(periodicity) +
        " " + DescribeFormat(format) + " session=" + Pointer(session);
    const HRESULT result = Call("Initialize", arguments, [&]() -> HRESULT {
        if (initialized_) return AUDCLNT_E_ALREADY_INITIALIZED;
        if (state_->config.lockOnInitializeAfterFailure && LockedOut()) {
            return AUDCLNT_E_DEVICE_IN_USE;
        }
        if (format == nullptr) return E_POINTER;
        if (shareMode != AUDCLNT_SHAREMODE_EXCLUSIVE) return E_NOTIMPL;
        if (!Accepts(format)) return AUDCLNT_E_UNSUPPORTED_FORMAT;
        const bool eventDriven = (streamFlags & AUDCLNT_STREAMFLAGS_EVENTCALLBACK) != 0;
        if (eventDriven && bufferDuration != periodicity) {
            return AUDCLNT_E_BUFDURATION_PERIOD_NOT_EQUAL;
        }
        const REFERENCE_TIME period = periodicity != 0 ? periodicity : state_->config.defaultPeriod;
        if (period < state_->config.minimumPeriod || bufferDuration < period) {
            return AUDCLNT_E_INVALID_DEVICE_PERIOD;
        }
        // Frames of the buffer, to the nearest frame.
        const auto frames =
            static_cast<UINT32>((bufferDuration * format->nSamplesPerSec + 5000000) / 10000000);
        const UINT32 alignment = state_->config.alignmentBytes;
        if (alignment != 0 && (std::uint64_t{frames} * format->nBlockAlign) % alignment != 0) {
            const UINT32 step = alignment / std::gcd(alignment, UINT32{format->nBlockAlign});
            alignedFrameCount_ = (frames + step - 1) / step * step;
            return AUDCLNT_E_BUFFER_SIZE_NOT_ALIGNED;
        }
        initialized_ = true;
        alignedFrameCount_.reset();
        eventDriven_ = eventDriven;
        std::memcpy(&format_, format, sizeof format_);
        bufferFrameCount_ = frames;
        period_ = period;
        buffer_.assign(std::size_t{frames} * format->nBlockAlign, kUnwrittenByte);
        state_->RememberFormat(format_);
        return S_OK;
    });
    if (FAILED(result) && shareMode == AUDCLNT_SHAREMODE_EXCLUSIVE) {
        exclusiveInitializeFailed_ = true;
    }
    return result;
}

bool AudioClient::LockedOut() {
    std::lock_guard<std::mutex> lock(state_->mutex);
    if (exclusiveInitializeFailed_) state_->deviceLocked = true;
    return state_->deviceLocked;
}

HRESULT AudioClient::GetBufferSize(UINT32* frameCount) {
    return Call("GetBufferSize", "frames=" + Pointer(frameCount), [&]() -> HRESULT {
        if (frameCount == nullptr) return E_POINTER;
        if (initialized_) {
            *frameCount = bufferFrameCount_;
        } else if (alignedFrameCount_) {
            *frameCount = *alignedFrameCount_;
        } else {
            return AUDCLNT_E_NOT_INITIALIZED;
        }
        return S_OK;
    });
}

HRESULT AudioClient::GetStreamLatency(REFERENCE_TIME* latency) {
    return Call("GetStreamLatency", "", [&]() -> HRESULT {
        if (latency == nullptr) return E_POINTER;
        if (!initialized_) return AUDCLNT_E_NOT_INITIALIZED;
        *latency = period_;
        return S_OK;
    });
}

HRESULT AudioClient::GetCurrentPadding(UINT32* paddingFrames) {
    return Call("GetCurrentPadding", "", [&]() -> HRESULT {
        if (paddingFrames == nullptr) return E_POINTER;
        if (!initialized_) return AUDCLNT_E_NOT_INITIALIZED;
        *paddingFrames = 0;
        return S_OK;
    });
}

HRESULT AudioClient::GetMixFormat(WAVEFORMATEX** deviceFormat) {
    return Call("GetMixFormat", "", [&]() -> HRESULT {
        if (deviceFormat != nullptr) *deviceFormat = nullptr;
        return E_NOTIMPL;  // exclusive mode only: there is no mix engine
    });
}

HRESULT AudioClient::SetEventHandle(HANDLE eventHandle) {
    state_->SetLastEventHandle(eventHandle);
    return Call("SetEventHandle", "event=" + Pointer(eventHandle), [&]() -> HRESULT {
        if (!initialized_) return AUDCLNT_E_NOT_INITIALIZED;
        if (!eventDriven_) return AUDCLNT_E_EVENTHANDLE_NOT_EXPECTED;
        if (eventHandle == nullptr) return E_INVALIDARG;
        event_ = eventHandle;
        return S_OK;
    });
}

HRESULT AudioClient::GetService(REFIID iid, void** service) {
    const bool render = iid == __uuidof(IAudioRenderClient);
    return Call("GetService", render ? "iid=IAudioRenderClient" : "iid=other", [&]() -> HRESULT {
        if (service == nullptr) return E_POINTER;
        *service = nullptr;
        if (!initialized_) return AUDCLNT_E_NOT_INITIALIZED;
        if (!render) return E_NOINTERFACE;
        *service = static_cast<IAudioRenderClient*>(new RenderClient(state_, this));
        return S_OK;
    });
}

HRESULT AudioClient::Start() {
    return Call("Start", "", [&]() -> HRESULT {
        if (!initialized_) return AUDCLNT_E_NOT_INITIALIZED;
        if (running_) return AUDCLNT_E_NOT_STOPPED;
        if (eventDriven_ && event_ == nullptr) return AUDCLNT_E_EVENTHANDLE_NOT_SET;
        running_ = true;
        state_->RestartClock();
        if (state_->config.pacing == Pacing::kRealTime) {
            stopRequested_ = false;
            pacer_ = std::thread([this] { Pace(); });
        } else {
            SetPeriodEvent();
        }
        return S_OK;
    });
}

HRESULT AudioClient::Stop() {
    return Call("Stop", "", [&]() -> HRESULT {
        if (!initialized_) return AUDCLNT_E_NOT_INITIALIZED;
        if (!running_) return S_FALSE;
        StopPacing();
        running_ = false;
        return S_OK;
    });
}

HRESULT AudioClient::Reset() {
    return Call("Reset", "", [&]() -> HRESULT {
        if (!initialized_) return AUDCLNT_E_NOT_INITIALIZED;
        if (running_) return AUDCLNT_E_NOT_STOPPED;
        return S_OK;
    });
}

HRESULT AudioClient::LendBuffer(UINT32 frameCount, BYTE** data) {
    if (data == nullptr) return E_POINTER;
    const std::uint64_t events = state_->EventsSet();
    const std::optional<std::uint64_t>& removal = state_->config.removalAfterEvents;
    if (removal && events >= *removal) return AUDCLNT_E_DEVICE_INVALIDATED;
    if (lentFrames_) return AUDCLNT_E_OUT_OF_ORDER;
    if (frameCount > bufferFrameCount_ || freeBuffers_ == 0) return AUDCLNT_E_BUFFER_TOO_LARGE;
    if (eventDriven_ && frameCount != bufferFrameCount_) return AUDCLNT_E_BUFFER_SIZE_ERROR;
    --freeBuffers_;
    std::fill(buffer_.begin(), buffer_.end(), kUnwrittenByte);
    lentFrames_ = frameCount;
    *data = buffer_.data();
    return S_OK;
}

HRESULT AudioClient::TakeBuffer(UINT32 frameCount, DWORD flags) {
    if (!lentFrames_) return AUDCLNT_E_OUT_OF_ORDER;
    if (frameCount > *lentFrames_) return AUDCLNT_E_INVALID_SIZE;
    if ((flags & ~DWORD{AUDCLNT_BUFFERFLAGS_SILENT}) != 0) return E_INVALIDARG;
    if (running_) state_->NoteBufferReleased();  // before the endpoint's own work on it
    const std::size_t bytes = std::size_t{frameCount} * format_.Format.nBlockAlign;
    if ((flags & AUDCLNT_BUFFERFLAGS_SILENT) != 0) std::fill_n(buffer_.begin(), bytes, 0);
    state_->Capture(buffer_.data(), bytes);
    lentFrames_.reset();
    if (running_ && state_->config.pacing == Pacing::kOnDemand) SetPeriodEvent();
    return S_OK;
}

void AudioClient::SetPeriodEvent() {
    const std::optional<std::uint64_t>& limit = state_->config.eventLimit;
    if (limit && state_->EventsSet() >= *limit) return;
    int free = freeBuffers_;
    while (free < 2 && !freeBuffers_.compare_exchange_weak(free, free + 1)) {
    }
    state_->NoteEventSet();
    SetEvent(event_);
}

void AudioClient::Pace() {
    // The device clock of a real endpoint runs in the audio engine at the highest priority.
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
    const double periodMicroseconds = static_cast<double>(period_) / 10.0;
    double due = state_->MicrosecondsSinceStart();
    while (!stopRequested_) {
        SetPeriodEvent();
        due += periodMicroseconds;
        // A clock that was itself held up starts its next period afresh rather than setting
        // the missed events in a burst, which no hardware does.
        double remaining = due - state_->MicrosecondsSinceStart();
        if (remaining < 0) {
            due -= remaining;
            remaining = 0;
        }
        // Millisecond sleeps, at least one between events: each event may come up to a
        // millisecond early or late, but the periods average out exactly, and the clock
        // leaves the cores to the player and the system.
        Sleep(std::max<DWORD>(1, static_cast<DWORD>(remaining / 1000.0 + 0.5)));
    }
}

void AudioClient::StopPacing() {
    stopRequested_ = true;
    if (pacer_.joinable()) pacer_.join();
}

}  // namespace virtual_endpoint
