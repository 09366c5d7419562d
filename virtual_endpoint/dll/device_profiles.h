#pragma once

// The device classes the endpoint DLL can play: each a set-up of the virtual endpoint named
// after real hardware or a real failure, so the shipped player can be watched on each of them.

#include <optional>
#include <string>

#include "virtual_endpoint/virtual_endpoint.h"

namespace endpoint_dll {

// How long a stream runs before the endpoint stops setting its event, and how fast it goes:
// kRealTime sets one event per period on a clock, kOnDemand as soon as a buffer is released.
struct StreamLength {
    double seconds = 5.0;
    virtual_endpoint::Pacing pacing = virtual_endpoint::Pacing::kRealTime;
};

struct DeviceProfile {
    virtual_endpoint::EndpointConfig config;
    // Fails the player's allocation of the format record (sizeof(WAVEFORMATEXTENSIBLE)).
    bool failFormatAllocation = false;
    // The device goes away half-way through the stream, whatever its length.
    bool removedHalfway = false;
    // The stream starts but the event is never set, whatever its length.
    bool neverSignals = false;
};

// The profile of that name, with the stream's events limited to the given length; none for an
// unknown name.
std::optional<DeviceProfile> FindDeviceProfile(const std::string& name, StreamLength length);

// Every profile's name, comma-separated, for messages.
std::string DeviceProfileNames();

}  // namespace endpoint_dll
