// The profiles of an HD-audio device that refuses 144 frames as not aligned and takes 160:
// aligned-hd takes the aligned period on the refused client or on a new one; aligned-hd-vista
// answers as Vista and Windows 7 do, where initialising the refused client again locks the
// device for every client and only a newly activated one plays.

#include <gtest/gtest.h>

#include <vector>

#include "device_profiles.h"
#include "exclusive/exclusive_format.h"

namespace {

constexpr REFERENCE_TIME kMinimumPeriod = 30000;  // 144 frames at 48 kHz
constexpr REFERENCE_TIME kAlignedPeriod = 33333;  // 160 frames

// One Initialize of a sequence: on the client of the step before, or on a newly activated one
// after that client is released.
struct Step {
    bool newClient;
    REFERENCE_TIME period;
};

struct LockRow {
    const char* name;
    const char* profile;
    std::vector<Step> steps;
    std::vector<HRESULT> results;
};

void PrintTo(const LockRow& row, std::ostream* out) { *out << row.name; }

IMMDevice* DefaultDevice(virtual_endpoint::VirtualEndpoint& endpoint) {
    IClassFactory* factory = nullptr;
    IMMDeviceEnumerator* enumerator = nullptr;
    IMMDevice* device = nullptr;
    if (SUCCEEDED(endpoint.GetClassObject(IID_IClassFactory, reinterpret_cast<void**>(&factory)))) {
        factory->CreateInstance(nullptr, IID_IMMDeviceEnumerator,
                                reinterpret_cast<void**>(&enumerator));
        factory->Release();
    }
    if (enumerator != nullptr) {
        enumerator->GetDefaultAudioEndpoint(eRender, eConsole, &device);
        enumerator->Release();
    }
    return device;
}

class AlignedProfiles : public testing::TestWithParam<LockRow> {};

TEST_P(AlignedProfiles, AnswerEachInitializeOfTheSequence) {
    const LockRow& row = GetParam();
    const auto profile = endpoint_dll::FindDeviceProfile(row.profile, {});
    ASSERT_TRUE(profile.has_value());
    virtual_endpoint::VirtualEndpoint endpoint(profile->config);
    IMMDevice* const device = DefaultDevice(endpoint);
    ASSERT_NE(device, nullptr);
    const StreamFormat format = MakeStreamFormat({24, 24});

    IAudioClient* client = nullptr;
    std::vector<HRESULT> results;
    for (const Step& step : row.steps) {
        if (step.newClient) {
            if (client != nullptr) client->Release();
            client = nullptr;
            ASSERT_EQ(device->Activate(IID_IAudioClient, CLSCTX_ALL, nullptr,
                                       reinterpret_cast<void**>(&client)),
                      S_OK);
        }
        results.push_back(client->Initialize(AUDCLNT_SHAREMODE_EXCLUSIVE,
                                             AUDCLNT_STREAMFLAGS_EVENTCALLBACK, step.period,
                                             step.period, &format.Format, nullptr));
    }
    client->Release();
    device->Release();

    EXPECT_EQ(results, row.results);
    EXPECT_EQ(endpoint.OutstandingReferences(), 0);
}

constexpr HRESULT kNotAligned = AUDCLNT_E_BUFFER_SIZE_NOT_ALIGNED;
constexpr HRESULT kInUse = AUDCLNT_E_DEVICE_IN_USE;
const Step kFirst{true, kMinimumPeriod};
const Step kSameClientAligned{false, kAlignedPeriod};
const Step kNewClientAligned{true, kAlignedPeriod};

INSTANTIATE_TEST_SUITE_P(
    Sequences, AlignedProfiles,
    testing::Values(
        LockRow{"SameClientRetry", "aligned-hd", {kFirst, kSameClientAligned}, {kNotAligned, S_OK}},
        LockRow{"NewClientRetry", "aligned-hd", {kFirst, kNewClientAligned}, {kNotAligned, S_OK}},
        LockRow{"VistaSameClientRetryFindsTheDeviceInUse",
                "aligned-hd-vista",
                {kFirst, kSameClientAligned},
                {kNotAligned, kInUse}},
        LockRow{"VistaThenLocksTheDeviceForEveryClient",
                "aligned-hd-vista",
                {kFirst, kSameClientAligned, kNewClientAligned, kNewClientAligned},
                {kNotAligned, kInUse, kInUse, kInUse}},
        LockRow{"VistaNewClientRetry",
                "aligned-hd-vista",
                {kFirst, kNewClientAligned},
                {kNotAligned, S_OK}}),
    [](const testing::TestParamInfo<LockRow>& param) { return param.param.name; });

}  // namespace
