#include "endpoint_settings.h"

#include <cstdlib>

#include "platform/audio_endpoint.h"

namespace endpoint_dll {
namespace {

std::string Variable(const char* name) {
    char value[1024];
    const DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    return length < sizeof value ? std::string(value, length) : std::string();
}

}  // namespace

SettingsReading ReadEndpointSettings() {
    SettingsReading reading;
    EndpointSettings& settings = reading.settings;
    settings.profile = Variable("EXCLUSIVE_TONE_ENDPOINT_PROFILE");
    settings.wavPath = Variable("EXCLUSIVE_TONE_ENDPOINT_WAV");
    settings.logPath = Variable("EXCLUSIVE_TONE_ENDPOINT_LOG");

    const std::string seconds = Variable("EXCLUSIVE_TONE_ENDPOINT_SECONDS");
    if (!seconds.empty()) {
        char* end = nullptr;
        settings.length.seconds = std::strtod(seconds.c_str(), &end);
        if (*end != '\0' || !(settings.length.seconds > 0.0 && settings.length.seconds < 1e6)) {
            reading.error = "EXCLUSIVE_TONE_ENDPOINT_SECONDS is not a positive number: " + seconds;
        }
    }
    const std::string pacing = Variable("EXCLUSIVE_TONE_ENDPOINT_PACING");
    if (pacing == "fast") {
        settings.length.pacing = virtual_endpoint::Pacing::kOnDemand;
    } else if (!pacing.empty() && pacing != "real-time") {
        reading.error = "EXCLUSIVE_TONE_ENDPOINT_PACING is neither real-time nor fast: " + pacing;
    }
    return reading;
}

}  // namespace endpoint_dll
