#include "endpoint_session.h"

#include <cstdio>

#include "format_allocation_failure.h"

namespace endpoint_dll {
namespace {

virtual_endpoint::EndpointConfig WithCallRecording(virtual_endpoint::EndpointConfig config,
                                                   bool record) {
    // Recording costs allocations on the player's thread: only when someone reads the calls.
    config.recordCalls = record;
    return config;
}

bool WriteCallLog(const std::string& path, const virtual_endpoint::VirtualEndpoint& endpoint) {
    std::FILE* file = std::fopen(path.c_str(), "wb");  // lines end in \n, as Linux tools read them
    if (file == nullptr) return false;
    for (const virtual_endpoint::CallRecord& call : endpoint.Calls()) {
        std::fprintf(file, "%s(%s) -> 0x%08lx\n", call.method.c_str(), call.arguments.c_str(),
                     static_cast<unsigned long>(call.result));
    }
    std::fprintf(file, "outstanding references: %ld\n", endpoint.OutstandingReferences());
    return std::fclose(file) == 0;
}

}  // namespace

std::unique_ptr<EndpointSession> EndpointSession::Open(const EndpointSettings& settings,
                                                       std::string& error) {
    const std::optional<DeviceProfile> profile =
        FindDeviceProfile(settings.profile, settings.length);
    if (!profile) {
        error = "no device profile named \"" + settings.profile + "\"; there are " +
                DeviceProfileNames();
        return nullptr;
    }
    std::unique_ptr<EndpointSession> session(new EndpointSession(settings, *profile));
    if (profile->failFormatAllocation) {
        // The spy sees every task-allocator block of the process from here on, and stays
        // registered until the process ends: the session it reads lives as long.
        auto* spy = new FormatAllocationFailure(session->endpoint_, GetCurrentThreadId());
        const HRESULT result = CoRegisterMallocSpy(spy);
        spy->Release();  // the registration holds it from here on, or nobody does
        if (FAILED(result)) {
            error = "cannot register the allocation spy";
            return nullptr;
        }
    }
    return session;
}

EndpointSession::EndpointSession(const EndpointSettings& settings, const DeviceProfile& profile)
    : settings_(settings),
      endpoint_(WithCallRecording(profile.config,
                                  !settings.logPath.empty() || profile.failFormatAllocation)) {}

HRESULT EndpointSession::GetClassObject(REFIID iid, void** object) {
    return endpoint_.GetClassObject(iid, object);
}

bool EndpointSession::WriteOutputs() {
    if (written_) return true;
    written_ = true;
    bool ok = true;
    const std::optional<WAVEFORMATEXTENSIBLE> format = endpoint_.StreamFormat();
    if (!settings_.wavPath.empty() && format) {
        ok = virtual_endpoint::WriteWavFile(settings_.wavPath, *format, endpoint_.CapturedBytes());
    }
    if (!settings_.logPath.empty()) ok = WriteCallLog(settings_.logPath, endpoint_) && ok;
    return ok;
}

}  // namespace endpoint_dll
