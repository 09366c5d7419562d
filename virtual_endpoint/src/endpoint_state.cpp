#include "endpoint_state.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

namespace virtual_endpoint {
namespace {

// Every method that runs through RunCall, and the platform calls that the in-process tests
// record on the endpoint's behalf: a fault can name only these.
const char* const kFaultableMethods[] = {
    "IClassFactory::CreateInstance",
    "IMMDeviceEnumerator::GetDefaultAudioEndpoint",
    "IMMDeviceEnumerator::EnumAudioEndpoints",
    "IMMDeviceEnumerator::GetDevice",
    "IMMDeviceCollection::GetCount",
    "IMMDeviceCollection::Item",
    "IMMDevice::Activate",
    "IMMDevice::GetId",
    "IAudioClient::Initialize",
    "IAudioClient::GetBufferSize",
    "IAudioClient::GetStreamLatency",
    "IAudioClient::GetCurrentPadding",
    "IAudioClient::IsFormatSupported",
    "IAudioClient::GetMixFormat",
    "IAudioClient::GetDevicePeriod",
    "IAudioClient::Start",
    "IAudioClient::Stop",
    "IAudioClient::Reset",
    "IAudioClient::SetEventHandle",
    "IAudioClient::GetService",
    "IAudioRenderClient::GetBuffer",
    "IAudioRenderClient::ReleaseBuffer",
    "CreateEventW",
    "CloseHandle",
    "LoadLibraryExW",
    "GetProcAddress",
    "FreeLibrary",
    "AvSetMmThreadCharacteristicsW",
    "AvRevertMmThreadCharacteristics",
};

}  // namespace

State::State(EndpointConfig endpointConfig)
    : config(std::move(endpointConfig)), faultFired(config.faults.size(), false) {
    QueryPerformanceFrequency(&clockFrequency);
    QueryPerformanceCounter(&clockStart);
    // Room for every period up front, so that recording one never reallocates mid-stream.
    if (config.eventLimit) timings.reserve(static_cast<std::size_t>(*config.eventLimit));
}

std::optional<HRESULT> State::TakeFault(const std::string& method) {
    std::lock_guard<std::mutex> lock(mutex);
    const unsigned occurrence = ++callCounts[method];
    for (std::size_t i = 0; i < config.faults.size(); ++i) {
        const Fault& fault = config.faults[i];
        if (fault.method == method && fault.occurrence == occurrence) {
            faultFired[i] = true;
            return fault.result;
        }
    }
    return std::nullopt;
}

bool State::FaultsCanFire() const {
    return std::all_of(config.faults.begin(), config.faults.end(), [](const Fault& fault) {
        return fault.occurrence >= 1 &&
               std::find(std::begin(kFaultableMethods), std::end(kFaultableMethods),
                         fault.method) != std::end(kFaultableMethods);
    });
}

void State::Record(const std::string& method, std::string arguments, HRESULT result) {
    if (!config.recordCalls) return;
    std::lock_guard<std::mutex> lock(mutex);
    calls.push_back({method, std::move(arguments), result});
}

long State::AddOutstanding(const std::string& interfaceName, long delta) {
    std::lock_guard<std::mutex> lock(mutex);
    long& ofInterface = outstandingByInterface[interfaceName];
    ofInterface += delta;
    if (ofInterface == 0) outstandingByInterface.erase(interfaceName);
    outstanding += delta;
    return outstanding;
}

void State::NoteAllReleased() {
    if (config.allReleased) config.allReleased();
}

void State::Capture(const std::uint8_t* bytes, std::size_t size) {
    if (config.frameSink) {
        config.frameSink(bytes, size);
        return;
    }
    std::lock_guard<std::mutex> lock(mutex);
    captured.insert(captured.end(), bytes, bytes + size);
}

void State::RememberFormat(const WAVEFORMATEXTENSIBLE& streamFormat) {
    std::lock_guard<std::mutex> lock(mutex);
    format = streamFormat;
}

void State::NoteEventSet() {
    const double now = MicrosecondsSinceStart();
    std::lock_guard<std::mutex> lock(mutex);
    ++eventsSet;
    timings.push_back({now, std::nullopt});
}

void State::NoteBufferReleased() {
    const double now = MicrosecondsSinceStart();
    std::lock_guard<std::mutex> lock(mutex);
    if (!timings.empty() && !timings.back().bufferReleased) timings.back().bufferReleased = now;
}

void State::SetLastEventHandle(HANDLE handle) {
    std::lock_guard<std::mutex> lock(mutex);
    lastEventHandle = handle;
}

std::uint64_t State::EventsSet() const {
    std::lock_guard<std::mutex> lock(mutex);
    return eventsSet;
}

double State::MicrosecondsSinceStart() const {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart - clockStart.QuadPart) * 1e6 /
           static_cast<double>(clockFrequency.QuadPart);
}

void State::RestartClock() { QueryPerformanceCounter(&clockStart); }

std::string Hex(unsigned long value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%lx", value);
    return text;
}

std::string Pointer(const void* pointer) { return pointer == nullptr ? "null" : "set"; }

}  // namespace virtual_endpoint
