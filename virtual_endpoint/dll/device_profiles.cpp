#include "device_profiles.h"

#include <algorithm>
#include <cmath>

namespace endpoint_dll {
namespace {

using virtual_endpoint::EndpointConfig;
using virtual_endpoint::Fault;

constexpr REFERENCE_TIME kHdPeriod = 30000;       // 3 ms, in 100-ns units
constexpr REFERENCE_TIME kAlignedPeriod = 33333;  // 160 frames at 48 kHz
constexpr REFERENCE_TIME kUsbPeriod = 10000;      // 1 ms

// A typical HD-audio device: refuses 16-bit, plays 24-bit and both 32-bit containers.
EndpointConfig HdAudio() {
    EndpointConfig config;
    config.acceptedFormats = {{24, 24}, {32, 32}, {32, 24}};
    config.minimumPeriod = kHdPeriod;
    return config;
}

// An HD-audio controller that takes buffers only in whole 192-byte units: 144 frames of 24-bit
// stereo are 864 bytes, so it asks for 160 frames (960 bytes) instead.
EndpointConfig AlignedHdAudio() {
    EndpointConfig config = HdAudio();
    config.alignmentBytes = 192;
    return config;
}

struct ProfileEntry {
    const char* name;
    // The period the player ends up streaming at, which sets how many events fill the length.
    REFERENCE_TIME streamPeriod;
    DeviceProfile (*make)();
};

const ProfileEntry kProfiles[] = {
    {"typical-hd", kHdPeriod, [] { return DeviceProfile{HdAudio()}; }},
    {"aligned-hd", kAlignedPeriod, [] { return DeviceProfile{AlignedHdAudio()}; }},
    {"aligned-hd-vista", kAlignedPeriod,
     [] {
         // The same controller on Vista or Windows 7: initialising the refused client again
         // locks the device; only a newly activated client plays.
         DeviceProfile profile{AlignedHdAudio()};
         profile.config.lockOnInitializeAfterFailure = true;
         return profile;
     }},
    {"usb-16bit", kUsbPeriod,
     [] {
         DeviceProfile profile;
         profile.config.acceptedFormats = {{16, 16}};
         profile.config.minimumPeriod = kUsbPeriod;
         return profile;
     }},
    {"only-24-in-32", kHdPeriod,
     [] {
         DeviceProfile profile{HdAudio()};
         profile.config.acceptedFormats = {{32, 24}};
         return profile;
     }},
    {"no-format", kHdPeriod,
     [] {
         DeviceProfile profile{HdAudio()};
         profile.config.acceptedFormats = {};
         return profile;
     }},
    {"busy", kHdPeriod,
     [] {
         DeviceProfile profile{HdAudio()};
         profile.config.faults = {Fault{"IAudioClient::Initialize", 1, AUDCLNT_E_DEVICE_IN_USE}};
         return profile;
     }},
    {"removed", kHdPeriod,
     [] {
         DeviceProfile profile{HdAudio()};
         profile.removedHalfway = true;
         return profile;
     }},
    {"no-device", kHdPeriod,
     [] {
         DeviceProfile profile{HdAudio()};
         profile.config.faults = {
             Fault{"IMMDeviceEnumerator::GetDefaultAudioEndpoint", 1, E_NOTFOUND}};
         return profile;
     }},
    {"no-memory", kHdPeriod,
     [] {
         DeviceProfile profile{HdAudio()};
         profile.failFormatAllocation = true;
         return profile;
     }},
    {"check-then-refuse", kHdPeriod,
     [] {
         // A bad driver: its format check takes 24-bit, its Initialize takes nothing.
         DeviceProfile profile{HdAudio()};
         profile.config.initializableFormats = std::vector<virtual_endpoint::SampleFormat>{};
         return profile;
     }},
    {"no-events", kHdPeriod,
     [] {
         // A USB interface that starts but never sets the event: only the pre-roll is played.
         DeviceProfile profile{HdAudio()};
         profile.neverSignals = true;
         return profile;
     }},
    {"exclusive-disabled", kHdPeriod,
     [] {
         // The user has turned off "Allow applications to take exclusive control".
         DeviceProfile profile{HdAudio()};
         profile.config.acceptedFormats = {};
         profile.config.refusal = AUDCLNT_E_EXCLUSIVE_MODE_NOT_ALLOWED;
         profile.config.initializeRefusal = AUDCLNT_E_EXCLUSIVE_MODE_NOT_ALLOWED;
         return profile;
     }},
    {"create-failed", kHdPeriod,
     [] {
         DeviceProfile profile{HdAudio()};
         profile.config.initializableFormats = std::vector<virtual_endpoint::SampleFormat>{};
         profile.config.initializeRefusal = AUDCLNT_E_ENDPOINT_CREATE_FAILED;
         return profile;
     }},
    {"quad-16bit", kHdPeriod,
     [] {
         // A game controller's headset output: 4-channel 16-bit only.
         DeviceProfile profile{HdAudio()};
         profile.config.channels = 4;
         profile.config.acceptedFormats = {{16, 16}};
         return profile;
     }},
    {"irregular-events", kHdPeriod,
     [] {
         // A USB dock: events up to half a period early or late, now and then two at once.
         DeviceProfile profile{HdAudio()};
         profile.config.irregularEvents = true;
         return profile;
     }},
};

}  // namespace

std::optional<DeviceProfile> FindDeviceProfile(const std::string& name, StreamLength length) {
    for (const ProfileEntry& entry : kProfiles) {
        if (name != entry.name) continue;
        DeviceProfile profile = entry.make();
        const auto events = static_cast<std::uint64_t>(std::max(
            1.0, std::ceil(length.seconds * 1e7 / static_cast<double>(entry.streamPeriod))));
        profile.config.pacing = length.pacing;
        profile.config.eventLimit = profile.neverSignals ? 0 : events;
        if (profile.removedHalfway) profile.config.removalAfterEvents = (events + 1) / 2;
        return profile;
    }
    return std::nullopt;
}

std::string DeviceProfileNames() {
    std::string names;
    for (const ProfileEntry& entry : kProfiles) {
        if (!names.empty()) names += ", ";
        names += entry.name;
    }
    return names;
}

}  // namespace endpoint_dll
