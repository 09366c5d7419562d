#pragma once

#include <memory>
#include <string>

#include "endpoint_settings.h"

namespace endpoint_dll {

// The one virtual device of a process that plays on a profile: made when the player first
// asks for the enumerator class, kept until the process ends (never destroyed: an allocation
// spy may read it to the last), when it writes what it saw.
class EndpointSession {
  public:
    // The session for the settings' profile, or null with error set when there is no such
    // profile or the profile's set-up fails.
    static std::unique_ptr<EndpointSession> Open(const EndpointSettings& settings,
                                                 std::string& error);
    EndpointSession(const EndpointSession&) = delete;
    EndpointSession& operator=(const EndpointSession&) = delete;

    HRESULT GetClassObject(REFIID iid, void** object);

    // Writes the WAV file of every frame received (when a stream was initialised) and the
    // call log ending with the count of references the player still holds. Runs once, as the
    // process ends; returns false when a file could not be written.
    bool WriteOutputs();

  private:
    EndpointSession(const EndpointSettings& settings, const DeviceProfile& profile);

    const EndpointSettings settings_;
    virtual_endpoint::VirtualEndpoint endpoint_;
    bool written_ = false;
};

}  // namespace endpoint_dll
