// The buffer event and the scheduler registration: what the player does when either cannot be
// had, and the order in which it undoes them.

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "stream_harness.h"

namespace {

using virtual_endpoint::EndpointConfig;
using virtual_endpoint::Fault;

// The calls that acquire, start and undo, in the order made; the buffer calls of the pre-roll
// show where it ended.
std::vector<std::string> LifecycleCalls(const std::vector<std::string>& names) {
    static const std::set<std::string> kShown{"CreateEventW",
                                              "IAudioRenderClient::ReleaseBuffer",
                                              "LoadLibraryExW",
                                              "GetProcAddress",
                                              "AvSetMmThreadCharacteristicsW",
                                              "IAudioClient::Start",
                                              "CloseHandle",
                                              "AvRevertMmThreadCharacteristics",
                                              "FreeLibrary",
                                              "IMMDeviceEnumerator::Release",
                                              "IMMDevice::Release",
                                              "IAudioClient::Release",
                                              "IAudioRenderClient::Release"};
    std::vector<std::string> shown;
    for (const std::string& name : names) {
        if (kShown.count(name) != 0) shown.push_back(name);
    }
    return shown;
}

struct LifecycleRow {
    const char* name;
    std::vector<Fault> faults;
    HRESULT expectedResult;
    std::vector<std::string> expectedCalls;
};

void PrintTo(const LifecycleRow& row, std::ostream* out) { *out << row.name; }

class SchedulerAndEvent : public testing::TestWithParam<LifecycleRow> {};

TEST_P(SchedulerAndEvent, FailAfterThePreRollAndUndoInOrder) {
    const LifecycleRow& row = GetParam();
    EndpointConfig config;
    config.acceptedFormats = {{24, 24}};
    config.eventLimit = 0;  // a stream started by mistake ends through the time-out, not a hang
    config.faults = row.faults;
    InstalledEndpoint endpoint(config);
    ASSERT_TRUE(endpoint.installed());
    SpiedAllocator allocator;
    ASSERT_TRUE(allocator.registered());

    const PlayerRun run = RunPlayer();

    EXPECT_HR_EQ(run.result, row.expectedResult);
    EXPECT_EQ(run.output, "Initialized with buffer of 0.003000s");
    EXPECT_EQ(LifecycleCalls(endpoint->CallNames()), row.expectedCalls);
    EXPECT_EQ(endpoint->OutstandingReferences(), 0);
    EXPECT_EQ(allocator.spy().freed, allocator.spy().allocated);
}

const std::vector<std::string> kReleased{"IMMDeviceEnumerator::Release", "IMMDevice::Release",
                                         "IAudioClient::Release", "IAudioRenderClient::Release"};

std::vector<std::string> Then(std::vector<std::string> calls) {
    calls.insert(calls.end(), kReleased.begin(), kReleased.end());
    return calls;
}

INSTANTIATE_TEST_SUITE_P(
    Steps, SchedulerAndEvent,
    testing::Values(
        LifecycleRow{"EventNotCreated",
                     {{"CreateEventW", 1, HRESULT_FROM_WIN32(ERROR_NO_SYSTEM_RESOURCES)}},
                     E_FAIL,
                     {"CreateEventW", "IMMDeviceEnumerator::Release", "IMMDevice::Release",
                      "IAudioClient::Release"}},
        LifecycleRow{"SchedulerLibraryMissing",
                     {{"LoadLibraryExW", 1, HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND)}},
                     E_FAIL,
                     Then({"CreateEventW", "IAudioRenderClient::ReleaseBuffer", "LoadLibraryExW",
                           "CloseHandle"})},
        LifecycleRow{"RegistrationCallMissing",
                     {{"GetProcAddress", 1, HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND)}},
                     E_FAIL,
                     Then({"CreateEventW", "IAudioRenderClient::ReleaseBuffer", "LoadLibraryExW",
                           "GetProcAddress", "CloseHandle", "FreeLibrary"})},
        LifecycleRow{"RevertCallMissing",
                     {{"GetProcAddress", 2, HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND)}},
                     E_FAIL,
                     Then({"CreateEventW", "IAudioRenderClient::ReleaseBuffer", "LoadLibraryExW",
                           "GetProcAddress", "GetProcAddress", "CloseHandle", "FreeLibrary"})},
        LifecycleRow{
            "RegistrationRefused",
            {{"AvSetMmThreadCharacteristicsW", 1, HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER)}},
            E_FAIL,
            Then({"CreateEventW", "IAudioRenderClient::ReleaseBuffer", "LoadLibraryExW",
                  "GetProcAddress", "GetProcAddress", "AvSetMmThreadCharacteristicsW",
                  "CloseHandle", "FreeLibrary"})},
        LifecycleRow{"NotStarted",
                     {{"IAudioClient::Start", 1, AUDCLNT_E_NOT_STOPPED}},
                     AUDCLNT_E_NOT_STOPPED,
                     Then({"CreateEventW", "IAudioRenderClient::ReleaseBuffer", "LoadLibraryExW",
                           "GetProcAddress", "GetProcAddress", "AvSetMmThreadCharacteristicsW",
                           "IAudioClient::Start", "CloseHandle", "AvRevertMmThreadCharacteristics",
                           "FreeLibrary"})}),
    [](const testing::TestParamInfo<LifecycleRow>& param) { return param.param.name; });

}  // namespace
