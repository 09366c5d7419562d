#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "virtual_endpoint/virtual_endpoint.h"

namespace virtual_endpoint {

// What all objects of one endpoint share: its configuration, the call log, the reference count,
// the captured frames and the clock. Objects call in from the player's thread; the pacing thread
// of a real-time stream records event times, so everything here is guarded.
struct VirtualEndpoint::State {
    explicit State(EndpointConfig endpointConfig);

    // Counts a call of method and returns the result a fault asks for at this occurrence.
    std::optional<HRESULT> TakeFault(const std::string& method);
    // Whether every fault names a method that runs through RunCall, at an occurrence from 1.
    bool FaultsCanFire() const;
    void Record(const std::string& method, std::string arguments, HRESULT result);
    // Counts references of the player's to one of interface's objects; returns the number of
    // the player's references left in all.
    long AddOutstanding(const std::string& interfaceName, long delta);
    // The player's last reference has just gone: tells config.allReleased, outside the lock.
    void NoteAllReleased();
    void Capture(const std::uint8_t* bytes, std::size_t size);
    void RememberFormat(const WAVEFORMATEXTENSIBLE& format);
    // The event was just set by the stream: one more period begins.
    void NoteEventSet();
    void NoteBufferReleased();
    void SetLastEventHandle(HANDLE handle);
    std::uint64_t EventsSet() const;
    double MicrosecondsSinceStart() const;
    void RestartClock();

    const EndpointConfig config;
    mutable std::mutex mutex;
    std::vector<CallRecord> calls;
    std::map<std::string, unsigned> callCounts;
    std::vector<bool> faultFired;  // beside config.faults
    long outstanding = 0;
    std::map<std::string, long> outstandingByInterface;
    std::vector<std::uint8_t> captured;
    std::optional<WAVEFORMATEXTENSIBLE> format;
    std::uint64_t eventsSet = 0;
    HANDLE lastEventHandle = nullptr;
    bool deviceLocked = false;  // see EndpointConfig::lockOnInitializeAfterFailure
    std::vector<PeriodTiming> timings;
    LARGE_INTEGER clockFrequency{};
    LARGE_INTEGER clockStart{};
};

using State = VirtualEndpoint::State;

// Runs one method of the endpoint: injects a configured fault in its place, and logs the call.
template <typename Body>
HRESULT RunCall(State& state, const std::string& method, std::string arguments, Body body) {
    const std::optional<HRESULT> fault = state.TakeFault(method);
    const HRESULT result = fault ? *fault : body();
    state.Record(method, std::move(arguments), result);
    return result;
}

std::string Hex(unsigned long value);
std::string Pointer(const void* pointer);

}  // namespace virtual_endpoint
