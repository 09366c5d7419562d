#pragma once

// What the endpoint DLL is asked to be, read from the process's environment when the player
// creates its device enumerator:
//   EXCLUSIVE_TONE_ENDPOINT_PROFILE  the device profile; unset: Wine's own audio plays
//   EXCLUSIVE_TONE_ENDPOINT_SECONDS  stream length before the events stop (default 5)
//   EXCLUSIVE_TONE_ENDPOINT_PACING   "real-time" (default) or "fast" (events on demand)
//   EXCLUSIVE_TONE_ENDPOINT_WAV      where to write every frame received, as a WAV file
//   EXCLUSIVE_TONE_ENDPOINT_LOG      where to write the call log and the references left

#include <string>

#include "device_profiles.h"

namespace endpoint_dll {

struct EndpointSettings {
    std::string profile;  // empty: none set
    StreamLength length;
    std::string wavPath;  // empty: none
    std::string logPath;  // empty: none
};

// The settings, or an error message naming the variable whose value is not understood.
struct SettingsReading {
    EndpointSettings settings;
    std::string error;
};

SettingsReading ReadEndpointSettings();

}  // namespace endpoint_dll
