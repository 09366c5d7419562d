#include "endpoint_session.h"

#include <cstdio>

#include "format_allocation_failure.h"

namespace endpoint_dll {
namespace {

virtual_endpoint::EndpointConfig WithOutputs(virtual_endpoint::EndpointConfig config, bool record,
                                             std::function<void()> allReleased) {
    // Recording costs allocations on the player's thread: only when someone reads the calls.
    config.recordCalls = record;
    config.allReleased = std::move(allReleased);
    return config;
}

// One line per call, then the references the player still holds, named by interface when
// there are any: "outstanding references: 2 (IAudioClient 1, IMMDevice 1)".
std::vector<std::uint8_t> CallLog(const virtual_endpoint::EndpointSnapshot& snapshot) {
    std::string log;
    char result[16];
    for (const virtual_endpoint::CallRecord& call : snapshot.calls) {
        std::snprintf(result, sizeof result, "0x%08lx",
                      static_cast<unsigned long>(call.result) & 0xFFFFFFFFul);
        log += call.method + "(" + call.arguments + ") -> " + result + "\n";
    }
    log += "outstanding references: " + std::to_string(snapshot.outstandingReferences);
    std::string held;
    for (const auto& [interfaceName, count] : snapshot.outstandingByInterface) {
        held += (held.empty() ? "" : ", ") + interfaceName + " " + std::to_string(count);
    }
    if (!held.empty()) log += " (" + held + ")";
    log += "\n";  // lines end in \n, as Linux tools read them
    return {log.begin(), log.end()};
}

}  // namespace

void Complain(const std::string& message) {
    const std::string line = "exclusive-tone-endpoint: " + message + "\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), line.data(), static_cast<DWORD>(line.size()),
              &written, nullptr);
}

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
      endpoint_(WithOutputs(profile.config,
                            !settings.logPath.empty() || profile.failFormatAllocation,
                            [this] { AllReleased(); })) {}

HRESULT EndpointSession::GetClassObject(REFIID iid, void** object) {
    return endpoint_.GetClassObject(iid, object);
}

void EndpointSession::AllReleased() {
    // On the player's thread, in its last Release: the usual locks are safe here.
    if (!WriteOutputs(endpoint_.Snapshot())) Complain("cannot write the WAV file or the call log");
    written_ = true;
}

bool EndpointSession::FinishAtProcessExit() {
    const virtual_endpoint::EndpointSnapshot snapshot = endpoint_.SnapshotAtProcessExit();
    if (written_ && snapshot.outstandingReferences == 0) return true;
    return WriteOutputs(snapshot);
}

bool EndpointSession::WriteOutputs(const virtual_endpoint::EndpointSnapshot& snapshot) const {
    bool ok = true;
    if (!settings_.wavPath.empty() && snapshot.format) {
        ok = virtual_endpoint::WriteWavFile(settings_.wavPath, *snapshot.format, snapshot.captured);
    }
    if (!settings_.logPath.empty()) {
        ok = virtual_endpoint::WriteWholeFile(settings_.logPath, CallLog(snapshot)) && ok;
    }
    return ok;
}

}  // namespace endpoint_dll
