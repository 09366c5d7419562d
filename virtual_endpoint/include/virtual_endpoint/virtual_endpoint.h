#pragma once

// An in-process stand-in for an exclusive-mode audio render endpoint. Installed as the class
// object of CLSID_MMDeviceEnumerator, it is what CoCreateInstance hands to a player in this
// process: enumerator, default device, audio client and render client, behaving like
// exclusive-mode hardware, recording every call and keeping every frame it is given.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/audio_endpoint.h"

namespace virtual_endpoint {

struct SampleFormat {
    WORD bitsPerSample;
    WORD validBitsPerSample;
    bool operator==(const SampleFormat& other) const {
        return bitsPerSample == other.bitsPerSample &&
               validBitsPerSample == other.validBitsPerSample;
    }
};

enum class Pacing {
    kOnDemand,  // the next event is set as soon as a buffer is released: as fast as consumed
    kRealTime,  // a clock thread sets the event once per period
};

// Makes the occurrence-th call (counting from 1) of method, such as "IAudioClient::Start",
// return result instead of doing its work. A fault that never fired is reported by
// UnfiredFaults; one naming a method the endpoint does not have is refused by Install.
struct Fault {
    std::string method;
    unsigned occurrence;
    HRESULT result;
};

struct EndpointConfig {
    // 48 kHz integer PCM formats of the device's channels played exclusively; every other one
    // is refused. A plain WAVEFORMATEX of 1 or 2 channels counts as its extensible twin.
    std::vector<SampleFormat> acceptedFormats{{24, 24}};
    // 2: front left and right; 4: front and back, left and right.
    WORD channels = 2;
    // What IsFormatSupported says of the others; may be a success code such as S_FALSE.
    HRESULT refusal = AUDCLNT_E_UNSUPPORTED_FORMAT;
    // The formats Initialize takes, where the driver disagrees with its own format check
    // (unset: the accepted ones), and what it says of the rest.
    std::optional<std::vector<SampleFormat>> initializableFormats;
    HRESULT initializeRefusal = AUDCLNT_E_UNSUPPORTED_FORMAT;
    REFERENCE_TIME minimumPeriod = 30000;
    REFERENCE_TIME defaultPeriod = 100000;
    // Buffers must be a multiple of this many bytes (0: any size), as on HD-audio hardware.
    UINT32 alignmentBytes = 0;
    // As Vista and Windows 7 do: a second Initialize on a client whose exclusive Initialize
    // failed gets AUDCLNT_E_DEVICE_IN_USE and locks the device, so that every later Initialize
    // of a client not yet initialised, old or new, is refused the same way.
    bool lockOnInitializeAfterFailure = false;
    Pacing pacing = Pacing::kOnDemand;
    // The event is set this many times after Start, and then never again.
    std::optional<std::uint64_t> eventLimit;
    // Events as a USB dock delivers them: each up to half a period early or late, and now and
    // then one held back to come with the next (see EventSchedule). Either pacing.
    bool irregularEvents = false;
    // GetBuffer reports device removal once the event has been set this many times.
    std::optional<std::uint64_t> removalAfterEvents;
    std::vector<Fault> faults;
    // Keeping the call log costs allocations on the player's thread: long real-time runs that
    // measure timing turn it off.
    bool recordCalls = true;
    // When set, released frames go here instead of being kept.
    std::function<void(const std::uint8_t* bytes, std::size_t size)> frameSink;
    // Called each time the player's last reference to the endpoint's objects goes, on the
    // releasing thread and outside the endpoint's lock.
    std::function<void()> allReleased;
};

// A typical HD-audio device played in real time for the given time: 3 ms minimum period,
// refuses 16-bit and plays 24-bit (and 32-bit containers), one event per period, and no event
// after that time, so a player's stream ends through its event time-out.
EndpointConfig RealTimeEndpoint(double seconds);

struct CallRecord {
    std::string method;     // "IAudioClient::Initialize"
    std::string arguments;  // the values passed, as text
    HRESULT result;
};

// What an endpoint has seen, as one consistent copy.
struct EndpointSnapshot {
    std::vector<CallRecord> calls;
    // References handed out and not yet released, in all and per interface (the nonzero ones).
    long outstandingReferences = 0;
    std::map<std::string, long> outstandingByInterface;
    // The format of the last successful Initialize, if any, and every frame released.
    std::optional<WAVEFORMATEXTENSIBLE> format;
    std::vector<std::uint8_t> captured;
};

// One period of a running stream, on the endpoint's own clock (microseconds since Start).
struct PeriodTiming {
    double eventSet;
    std::optional<double> bufferReleased;  // the first release after this event
};

class VirtualEndpoint {
  public:
    explicit VirtualEndpoint(EndpointConfig config = {});
    ~VirtualEndpoint();
    VirtualEndpoint(const VirtualEndpoint&) = delete;
    VirtualEndpoint& operator=(const VirtualEndpoint&) = delete;

    // Registers the endpoint as this process's MMDevice enumerator class; Uninstall revokes it.
    // E_INVALIDARG, and nothing registered, when a fault names no method of the endpoint or
    // an occurrence of 0.
    HRESULT Install();
    void Uninstall();
    // The endpoint's class object for CLSID_MMDeviceEnumerator, asked for iid: what Install
    // registers, and what a DLL's DllGetClassObject hands out. E_INVALIDARG as for Install.
    HRESULT GetClassObject(REFIID iid, void** object);

    std::vector<CallRecord> Calls() const;
    std::vector<std::string> CallNames() const;
    // The configured faults whose call has not come (yet), in the order configured.
    std::vector<Fault> UnfiredFaults() const;
    // References handed out by the endpoint's objects and not yet released.
    long OutstandingReferences() const;
    // Every frame released to the endpoint, as bytes of the initialised format.
    std::vector<std::uint8_t> CapturedBytes() const;
    // The format of the last successful Initialize, if any.
    std::optional<WAVEFORMATEXTENSIBLE> StreamFormat() const;
    std::uint64_t EventsSet() const;
    std::vector<PeriodTiming> Timings() const;
    // The handle last given to SetEventHandle, so a test can see whether it was closed.
    HANDLE LastEventHandle() const;
    EndpointSnapshot Snapshot() const;
    // The same, read without taking the endpoint's lock: only for the end of a process, when
    // every other thread has been ended (perhaps holding that lock) and none can call in.
    EndpointSnapshot SnapshotAtProcessExit() const;

    // For calls a test intercepts outside the endpoint, such as the player's kernel and
    // scheduler calls: the fault configured for this occurrence of method, if any, and an entry
    // in the same call log, so that one log shows every call in order.
    std::optional<HRESULT> TakeFault(const std::string& method);
    void Record(const std::string& method, std::string arguments, HRESULT result);

    struct State;

  private:
    std::shared_ptr<State> state_;
    DWORD cookie_ = 0;
    bool installed_ = false;
};

// Writes bytes of the given PCM format as a WAV file.
bool WriteWavFile(const std::string& path, const WAVEFORMATEXTENSIBLE& format,
                  const std::vector<std::uint8_t>& bytes);
// Writes the file anew with these contents, taking no lock of this process: also safe as the
// process ends.
bool WriteWholeFile(const std::string& path, const std::vector<std::uint8_t>& contents);

}  // namespace virtual_endpoint
