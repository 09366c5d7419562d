#pragma once

#include "virtual_endpoint/virtual_endpoint.h"

// While one is alive, the kernel and scheduler calls made on its thread (CreateEventW,
// CloseHandle of that event, LoadLibraryExW, GetProcAddress and FreeLibrary of that library,
// and the two scheduler calls resolved through it) go through the endpoint's fault table and
// into its call log, beside the endpoint's own calls; waits for that event go into the log
// only. A fault makes the call fail as the
// platform reports failure: a null handle, module or address. Recorders replace this test
// executable's import-table entries, so the player's code runs unchanged. With no endpoint,
// nothing is recorded.
class RecordedPlatformCalls {
  public:
    explicit RecordedPlatformCalls(virtual_endpoint::VirtualEndpoint* endpoint);
    ~RecordedPlatformCalls();
    RecordedPlatformCalls(const RecordedPlatformCalls&) = delete;
    RecordedPlatformCalls& operator=(const RecordedPlatformCalls&) = delete;
};
