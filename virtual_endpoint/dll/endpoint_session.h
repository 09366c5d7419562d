#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "endpoint_settings.h"

namespace endpoint_dll {

// The one virtual device of a process that plays on a profile: made when the player first
// asks for the enumerator class, kept until the process ends (never destroyed: an allocation
// spy may read it to the last). It writes what it saw each time the player lets go of the
// device's last object, and once more as the process ends if the player never did.
class EndpointSession {
  public:
    // The session for the settings' profile, or null with error set when there is no such
    // profile or the profile's set-up fails.
    static std::unique_ptr<EndpointSession> Open(const EndpointSettings& settings,
                                                 std::string& error);
    EndpointSession(const EndpointSession&) = delete;
    EndpointSession& operator=(const EndpointSession&) = delete;

    HRESULT GetClassObject(REFIID iid, void** object);

    // For DLL_PROCESS_DETACH at process exit: when the player still holds references to the
    // device (it leaked them), writes the outputs with those references named, reading the
    // endpoint without its lock; otherwise leaves the files its last release wrote. Waits on no
    // lock. Returns false when a file could not be written.
    bool FinishAtProcessExit();

  private:
    EndpointSession(const EndpointSettings& settings, const DeviceProfile& profile);

    // Writes the WAV file of every frame received (when a stream was initialised) and the call
    // log, ending with the references the player still holds; false when a file failed.
    bool WriteOutputs(const virtual_endpoint::EndpointSnapshot& snapshot) const;
    void AllReleased();

    const EndpointSettings settings_;
    virtual_endpoint::VirtualEndpoint endpoint_;
    std::atomic<bool> written_{false};
};

// Writes message to standard error through the system's own call, which takes no lock of this
// process.
void Complain(const std::string& message);

}  // namespace endpoint_dll
