#pragma once

// The multimedia class scheduler (avrt.dll). Windows does not count avrt.dll among its
// KnownDLLs, so importing it by name would let the loader take a file of that name from the
// program's own folder; it is loaded here by its full path in the system folder instead.

#include "platform/audio_endpoint.h"

// The scheduler's two calls, valid while the library stays loaded.
struct MultimediaScheduler {
    HMODULE library = nullptr;
    decltype(&::AvSetMmThreadCharacteristicsW) AvSetMmThreadCharacteristicsW = nullptr;
    decltype(&::AvRevertMmThreadCharacteristics) AvRevertMmThreadCharacteristics = nullptr;
};

// Loads <system folder>\avrt.dll and resolves both calls. Returns false when the library or
// either call cannot be had; the library may then be loaded all the same, and
// UnloadMultimediaScheduler still releases it.
bool LoadMultimediaScheduler(MultimediaScheduler& scheduler);

// Unloads the library, if loaded, and forgets both calls. Call it only after every
// registration made through them has been reverted.
void UnloadMultimediaScheduler(MultimediaScheduler& scheduler);
