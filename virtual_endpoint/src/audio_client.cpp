#include "audio_client.h"

#include <algorithm>
#include <cstring>
#include <numeric>

#include "render_client.h"

namespace virtual_endpoint {
namespace {

constexpr DWORD kFramesPerSecond = 48000;
constexpr std::uint8_t kUnwrittenByte = 0xCD;  // what the player finds in a lent buffer
// Every stream and session flag that Initialize knows; any other bit is an invalid argument.
constexpr DWORD kKnownStreamFlags =
    AUDCLNT_STREAMFLAGS_CROSSPROCESS | AUDCLNT_STREAMFLAGS_LOOPBACK |
    AUDCLNT_STREAMFLAGS_EVENTCALLBACK | AUDCLNT_STREAMFLAGS_NOPERSIST |
    AUDCLNT_STREAMFLAGS_RATEADJUST | AUDCLNT_STREAMFLAGS_SRC_DEFAULT_QUALITY |
    AUDCLNT_STREAMFLAGS_AUTOCONVERTPCM | AUDCLNT_SESSIONFLAGS_EXPIREWHENUNOWNED |
    AUDCLNT_SESSIONFLAGS_DISPLAY_HIDE | AUDCLNT_SESSIONFLAGS_DISPLAY_HIDEWHENEXPIRED;

bool IsShareMode(AUDCLNT_SHAREMODE mode) {
    return mode == AUDCLNT_SHAREMODE_SHARED || mode == AUDCLNT_SHAREMODE_EXCLUSIVE;
}

// The speakers of a device or a plain format of that many channels.
DWORD ChannelMask(WORD channels) {
    switch (channels) {
        case 1:
            return SPEAKER_FRONT_CENTER;
        case 2:
            return SPEAKER_FRONT_LEFT | SPEAKER_FRONT_RIGHT;
        case 4:
            return KSAUDIO_SPEAKER_QUAD;
        default:
            return 0;
    }
}

WAVEFORMATEXTENSIBLE ExtensibleFormat(WORD channels, WORD bits, WORD validBits, const GUID& type) {
    WAVEFORMATEXTENSIBLE format{};
    format.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    format.Format.nChannels = channels;
    format.Format.nSamplesPerSec = kFramesPerSecond;
    format.Format.wBitsPerSample = bits;
    format.Format.nBlockAlign = static_cast<WORD>(channels * bits / 8);
    format.Format.nAvgBytesPerSec = kFramesPerSecond * format.Format.nBlockAlign;
    format.Format.cbSize = sizeof format - sizeof format.Format;
    format.Samples.wValidBitsPerSample = validBits;
    format.dwChannelMask = ChannelMask(channels);
    format.SubFormat = type;
    return format;
}

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

AudioClient::~AudioClient() {
    StopPacing();
    if (event_ != nullptr) CloseHandle(event_);
}

std::optional<WAVEFORMATEXTENSIBLE> AudioClient::Accepts(
    const WAVEFORMATEX* format, const std::vector<SampleFormat>& formats) const {
    WAVEFORMATEXTENSIBLE offered{};
    if (format->wFormatTag == WAVE_FORMAT_PCM && format->nChannels >= 1 && format->nChannels <= 2) {
        // Plain PCM (its cbSize is ignored) describes what its extensible twin does.
        offered = ExtensibleFormat(format->nChannels, format->wBitsPerSample,
                                   format->wBitsPerSample, KSDATAFORMAT_SUBTYPE_PCM);
        std::memcpy(&offered.Format, format, sizeof offered.Format);
        offered.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
        offered.Format.cbSize = sizeof offered - sizeof offered.Format;
    } else if (format->wFormatTag == WAVE_FORMAT_EXTENSIBLE &&
               format->cbSize >= sizeof offered - sizeof offered.Format) {
        std::memcpy(&offered, format, sizeof offered);
    } else {
        return std::nullopt;
    }
    const WAVEFORMATEX& plain = offered.Format;
    const bool consistent = plain.nChannels == state_->config.channels &&
                            plain.nSamplesPerSec == kFramesPerSecond &&
                            plain.nBlockAlign == plain.nChannels * plain.wBitsPerSample / 8 &&
                            plain.nAvgBytesPerSec == plain.nSamplesPerSec * plain.nBlockAlign &&
                            offered.dwChannelMask == ChannelMask(state_->config.channels) &&
                            offered.SubFormat == KSDATAFORMAT_SUBTYPE_PCM;
    if (!consistent) return std::nullopt;
    const SampleFormat sample{plain.wBitsPerSample, offered.Samples.wValidBitsPerSample};
    for (const SampleFormat& accepted : formats) {
        if (accepted == sample) return offered;
    }
    return std::nullopt;
}

HRESULT AudioClient::IsFormatSupported(AUDCLNT_SHAREMODE shareMode, const WAVEFORMATEX* format,
                                       WAVEFORMATEX** closestMatch) {
    return Call("IsFormatSupported",
                "mode=" + std::to_string(shareMode) + " " + DescribeFormat(format) +
                    " closest=" + Pointer(closestMatch),
                [&]() -> HRESULT {
                    // No closest match is ever offered: exclusive mode has none, and shared
                    // mode is not played here.
                    if (closestMatch != nullptr) *closestMatch = nullptr;
                    if (format == nullptr) return E_POINTER;
                    if (!IsShareMode(shareMode)) return E_INVALIDARG;
                    // Exclusive mode only: there is no mix engine to play shared streams.
                    if (shareMode != AUDCLNT_SHAREMODE_EXCLUSIVE) return E_NOTIMPL;
                    const std::vector<SampleFormat>& accepted = state_->config.acceptedFormats;
                    return Accepts(format, accepted) ? S_OK : state_->config.refusal;
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
        if (!IsShareMode(shareMode) || (streamFlags & ~kKnownStreamFlags) != 0) return E_INVALIDARG;
        if (shareMode != AUDCLNT_SHAREMODE_EXCLUSIVE) return E_NOTIMPL;  // exclusive mode only
        const EndpointConfig& config = state_->config;
        const std::optional<WAVEFORMATEXTENSIBLE> accepted =
            Accepts(format, config.initializableFormats.value_or(config.acceptedFormats));
        if (!accepted) return config.initializeRefusal;
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
        format_ = *accepted;
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
        if (deviceFormat == nullptr) return E_POINTER;
        *deviceFormat = nullptr;
        // What the platform's audio engine mixes in, whatever the device plays exclusively:
        // 32-bit float at the device's rate, with its channels.
        const WAVEFORMATEXTENSIBLE mix =
            ExtensibleFormat(state_->config.channels, 32, 32, KSDATAFORMAT_SUBTYPE_IEEE_FLOAT);
        void* block = CoTaskMemAlloc(sizeof mix);  // the caller frees it with CoTaskMemFree
        if (block == nullptr) return E_OUTOFMEMORY;
        std::memcpy(block, &mix, sizeof mix);
        *deviceFormat = static_cast<WAVEFORMATEX*>(block);
        return S_OK;
    });
}

HRESULT AudioClient::SetEventHandle(HANDLE eventHandle) {
    state_->SetLastEventHandle(eventHandle);
    return Call("SetEventHandle", "event=" + Pointer(eventHandle), [&]() -> HRESULT {
        if (!initialized_) return AUDCLNT_E_NOT_INITIALIZED;
        if (eventHandle == nullptr) return E_INVALIDARG;
        if (!eventDriven_) return AUDCLNT_E_EVENTHANDLE_NOT_EXPECTED;
        // Windows 10 and later refuse a second handle so; older versions with
        // HRESULT_FROM_WIN32(ERROR_INVALID_NAME).
        if (event_ != nullptr) return E_UNEXPECTED;
        // The audio service sets the event through a handle of its own: a player that closes
        // its handle while the stream runs leaves it setting the same event, never another.
        HANDLE own = nullptr;
        if (!DuplicateHandle(GetCurrentProcess(), eventHandle, GetCurrentProcess(), &own, 0, FALSE,
                             DUPLICATE_SAME_ACCESS)) {
            return HRESULT_FROM_WIN32(GetLastError());
        }
        event_ = own;
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
        schedule_ = EventSchedule(state_->config.irregularEvents);
        if (state_->config.pacing == Pacing::kRealTime) {
            stopRequested_ = false;
            pacer_ = std::thread([this] { Pace(); });
        } else {
            SetPeriodEvents(schedule_.Next().events);
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
        if (lentFrames_) return AUDCLNT_E_BUFFER_OPERATION_PENDING;
        std::lock_guard<std::mutex> lock(buffersMutex_);
        buffers_ = Buffers{};  // what was queued is dropped: a pre-roll may follow
        return S_OK;
    });
}

HRESULT AudioClient::LendBuffer(UINT32 frameCount, BYTE** data) {
    if (data == nullptr) return E_POINTER;
    const std::uint64_t events = state_->EventsSet();
    const std::optional<std::uint64_t>& removal = state_->config.removalAfterEvents;
    if (removal && events >= *removal) return AUDCLNT_E_DEVICE_INVALIDATED;
    if (lentFrames_) return AUDCLNT_E_OUT_OF_ORDER;
    if (frameCount > bufferFrameCount_) return AUDCLNT_E_BUFFER_TOO_LARGE;
    if (eventDriven_ && frameCount != bufferFrameCount_) return AUDCLNT_E_BUFFER_SIZE_ERROR;
    {
        std::lock_guard<std::mutex> lock(buffersMutex_);
        if (!buffers_.free) return AUDCLNT_E_BUFFER_TOO_LARGE;
        buffers_.free = false;
    }
    std::fill(buffer_.begin(), buffer_.end(), kUnwrittenByte);
    lentFrames_ = frameCount;
    *data = buffer_.data();
    return S_OK;
}

HRESULT AudioClient::TakeBuffer(UINT32 frameCount, DWORD flags) {
    if (!lentFrames_) return AUDCLNT_E_OUT_OF_ORDER;
    if (frameCount > *lentFrames_) return AUDCLNT_E_INVALID_SIZE;
    // In exclusive event mode the whole buffer is played: it goes back whole or not at all.
    if (eventDriven_ && frameCount < *lentFrames_) return AUDCLNT_E_BUFFER_SIZE_ERROR;
    if ((flags & ~DWORD{AUDCLNT_BUFFERFLAGS_SILENT}) != 0) return E_INVALIDARG;
    if (running_) state_->NoteBufferReleased();  // before the endpoint's own work on it
    const std::size_t bytes = std::size_t{frameCount} * format_.Format.nBlockAlign;
    if ((flags & AUDCLNT_BUFFERFLAGS_SILENT) != 0) std::fill_n(buffer_.begin(), bytes, 0);
    state_->Capture(buffer_.data(), bytes);
    lentFrames_.reset();
    bool freed = false;
    {
        std::lock_guard<std::mutex> lock(buffersMutex_);
        buffers_.queued = true;
        freed = buffers_.starved && EndPeriod();  // a starved device takes it at once
    }
    if (freed) SetEvent(event_);
    if (running_ && state_->config.pacing == Pacing::kOnDemand) {
        SetPeriodEvents(schedule_.Next().events);
    }
    return S_OK;
}

void AudioClient::SetPeriodEvents(unsigned events) {
    const std::optional<std::uint64_t>& limit = state_->config.eventLimit;
    for (unsigned event = 0; event < events; ++event) {
        if (limit && state_->EventsSet() >= *limit) return;
        state_->NoteEventSet();
        bool freed = false;
        {
            std::lock_guard<std::mutex> lock(buffersMutex_);
            freed = EndPeriod();
        }
        if (freed) SetEvent(event_);
    }
}

bool AudioClient::EndPeriod() {
    if (buffers_.queued) {  // the device moves on; the buffer it played is free
        buffers_ = Buffers{true, false, true, false};
        return true;
    }
    if (buffers_.free && !buffers_.announced) {  // no pre-roll: the free one is announced
        buffers_.announced = true;
        return true;
    }
    buffers_.starved = true;
    return false;
}

void AudioClient::Pace() {
    // The device clock of a real endpoint runs in the audio engine at the highest priority.
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
    const double periodMicroseconds = static_cast<double>(period_) / 10.0;
    EventSchedule schedule(state_->config.irregularEvents);
    double start = state_->MicrosecondsSinceStart();
    for (bool first = true; !stopRequested_; first = false) {
        const EventSchedule::Burst burst = schedule.Next();
        double remaining =
            start + burst.due * periodMicroseconds - state_->MicrosecondsSinceStart();
        // A clock that was itself held up goes on from now rather than setting the missed
        // events in a burst, which no hardware does.
        if (remaining < 0) {
            start -= remaining;
            remaining = 0;
        }
        // Millisecond sleeps, at least one between events after the first: each event may
        // come up to a millisecond early or late, but the periods average out exactly, and the
        // clock leaves the cores to the player and the system.
        if (!first) Sleep(std::max<DWORD>(1, static_cast<DWORD>(remaining / 1000.0 + 0.5)));
        if (!stopRequested_) SetPeriodEvents(burst.events);
    }
}

void AudioClient::StopPacing() {
    stopRequested_ = true;
    if (pacer_.joinable()) pacer_.join();
}

}  // namespace virtual_endpoint
