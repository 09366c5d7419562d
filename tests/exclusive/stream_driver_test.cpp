#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "stream_harness.h"
#include "tone_start.h"

namespace {

using virtual_endpoint::EndpointConfig;
using virtual_endpoint::Fault;

constexpr HRESULT kDeviceInUse = AUDCLNT_E_DEVICE_IN_USE;
const std::string kThreeMsMessage = "Initialized with buffer of 0.003000s";
// How the call log shows the 24-bit stereo format.
const std::string kFormat24 =
    "tag=0xfffe channels=2 rate=48000 bits=24 align=6 bytesPerSecond=288000 cbSize=22 valid=24 "
    "mask=0x3 pcm";

std::ptrdiff_t Count(const std::vector<std::string>& names, const std::string& method) {
    return std::count(names.begin(), names.end(), method);
}

bool HandleIsOpen(HANDLE handle) {
    DWORD flags = 0;
    return handle != nullptr && GetHandleInformation(handle, &flags) != FALSE;
}

// The interfaces released last, in order, each once.
std::vector<std::string> FinalReleases(const std::vector<std::string>& names) {
    std::vector<std::string> releases;
    for (const std::string& name : names) {
        if (name.size() > 9 && name.compare(name.size() - 9, 9, "::Release") == 0) {
            releases.push_back(name.substr(0, name.size() - 9));
        }
    }
    return releases;
}

// Every call in the order made, with its arguments.
std::vector<std::string> Transcript(const virtual_endpoint::VirtualEndpoint& endpoint) {
    std::vector<std::string> calls;
    for (const auto& call : endpoint.Calls()) calls.push_back(call.method + " " + call.arguments);
    return calls;
}

// The endpoint of a typical run: refuses 16-bit, plays 24-bit, 3 ms minimum period.
EndpointConfig TypicalEndpoint() {
    EndpointConfig config;
    config.acceptedFormats = {{24, 24}, {32, 32}};
    config.minimumPeriod = 30000;
    return config;
}

// As typical, but buffers must fill whole units of alignmentBytes (192 by default: 144 frames of
// 24-bit stereo do not, 160 do), and, as on Vista, initialising a refused client again locks
// the device.
EndpointConfig AligningEndpoint(UINT32 alignmentBytes = 192) {
    EndpointConfig config = TypicalEndpoint();
    config.alignmentBytes = alignmentBytes;
    config.lockOnInitializeAfterFailure = true;
    return config;
}

struct FailureRow {
    const char* name;
    std::vector<Fault> faults;
    HRESULT expectedResult;
    bool messageWritten;
    bool eventCreated;
    std::vector<std::string> releasedInOrder;
    bool aligning = false;  // on AligningEndpoint rather than TypicalEndpoint
};

void PrintTo(const FailureRow& row, std::ostream* out) { *out << row.name; }

class StreamFailures : public testing::TestWithParam<FailureRow> {};

TEST_P(StreamFailures, EndWithTheFailureAndReleaseEverythingObtained) {
    const FailureRow& row = GetParam();
    EndpointConfig config = row.aligning ? AligningEndpoint() : TypicalEndpoint();
    config.faults = row.faults;
    InstalledEndpoint endpoint(config);
    ASSERT_TRUE(endpoint.installed());
    SpiedAllocator allocator;
    ASSERT_TRUE(allocator.registered());

    const PlayerRun run = RunPlayer();

    EXPECT_HR_EQ(run.result, row.expectedResult);
    EXPECT_EQ(run.output, row.messageWritten ? kThreeMsMessage : "");
    const std::vector<std::string> calls = endpoint->CallNames();
    EXPECT_EQ(Count(calls, "IAudioClient::Stop"), 0) << "only the time-out stops the stream";
    EXPECT_EQ(FinalReleases(calls), row.releasedInOrder);
    EXPECT_EQ(endpoint->OutstandingReferences(), 0);
    EXPECT_EQ(allocator.spy().freed, allocator.spy().allocated);
    if (row.eventCreated) {
        ASSERT_NE(endpoint->LastEventHandle(), nullptr);
        EXPECT_FALSE(HandleIsOpen(endpoint->LastEventHandle()));
    }
}

const std::vector<std::string> kOpened{"IMMDeviceEnumerator", "IMMDevice", "IAudioClient"};
const std::vector<std::string> kAll{"IMMDeviceEnumerator", "IMMDevice", "IAudioClient",
                                    "IAudioRenderClient"};
// The refused client goes before the new one is activated.
const std::vector<std::string> kRetried{"IAudioClient", "IMMDeviceEnumerator", "IMMDevice",
                                        "IAudioClient"};

FailureRow RetryRefused(const char* name, HRESULT result) {
    return {name, {{"IAudioClient::Initialize", 2, result}}, result, false, false, kRetried, true};
}

INSTANTIATE_TEST_SUITE_P(
    Steps, StreamFailures,
    testing::Values(FailureRow{"EnumeratorNotCreated",
                               {{"IClassFactory::CreateInstance", 1, E_ACCESSDENIED}},
                               E_ACCESSDENIED,
                               false,
                               false,
                               {}},
                    FailureRow{"NoDefaultDevice",
                               {{"IMMDeviceEnumerator::GetDefaultAudioEndpoint", 1, E_NOTFOUND}},
                               E_NOTFOUND,
                               false,
                               false,
                               {"IMMDeviceEnumerator"}},
                    FailureRow{"NotActivated",
                               {{"IMMDevice::Activate", 1, AUDCLNT_E_DEVICE_INVALIDATED}},
                               AUDCLNT_E_DEVICE_INVALIDATED,
                               false,
                               false,
                               {"IMMDeviceEnumerator", "IMMDevice"}},
                    FailureRow{"NoDevicePeriod",
                               {{"IAudioClient::GetDevicePeriod", 1, AUDCLNT_E_DEVICE_INVALIDATED}},
                               AUDCLNT_E_DEVICE_INVALIDATED,
                               false,
                               false,
                               kOpened},
                    FailureRow{"DeviceInUse",
                               {{"IAudioClient::Initialize", 1, kDeviceInUse}},
                               kDeviceInUse,
                               false,
                               false,
                               kOpened},
                    FailureRow{"AlignedSizeNotRead",
                               {{"IAudioClient::GetBufferSize", 1, AUDCLNT_E_DEVICE_INVALIDATED}},
                               AUDCLNT_E_DEVICE_INVALIDATED,
                               false,
                               false,
                               kOpened,
                               true},
                    FailureRow{"NewClientNotActivated",
                               {{"IMMDevice::Activate", 2, E_OUTOFMEMORY}},
                               E_OUTOFMEMORY,
                               false,
                               false,
                               {"IAudioClient", "IMMDeviceEnumerator", "IMMDevice"},
                               true},
                    // No further retry, whatever the new client answers.
                    RetryRefused("NewClientRefusedAsNotAligned", AUDCLNT_E_BUFFER_SIZE_NOT_ALIGNED),
                    RetryRefused("NewClientFindsTheDeviceInUse", kDeviceInUse),
                    RetryRefused("NewClientRefusesTheFormat", AUDCLNT_E_UNSUPPORTED_FORMAT),
                    RetryRefused("NewClientRefusesThePeriod", AUDCLNT_E_INVALID_DEVICE_PERIOD),
                    RetryRefused("NewClientOutOfMemory", E_OUTOFMEMORY),
                    FailureRow{"EventNotAccepted",
                               {{"IAudioClient::SetEventHandle", 1, E_INVALIDARG}},
                               E_INVALIDARG,
                               true,
                               true,
                               kOpened},
                    FailureRow{"NoBufferSize",
                               {{"IAudioClient::GetBufferSize", 1, AUDCLNT_E_NOT_INITIALIZED}},
                               AUDCLNT_E_NOT_INITIALIZED,
                               true,
                               true,
                               kOpened},
                    FailureRow{"NoRenderService",
                               {{"IAudioClient::GetService", 1, E_NOINTERFACE}},
                               E_NOINTERFACE,
                               true,
                               true,
                               kOpened},
                    FailureRow{"PreRollNotLent",
                               {{"IAudioRenderClient::GetBuffer", 1, AUDCLNT_E_BUFFER_TOO_LARGE}},
                               AUDCLNT_E_BUFFER_TOO_LARGE,
                               true,
                               true,
                               kAll},
                    FailureRow{"PreRollNotTaken",
                               {{"IAudioRenderClient::ReleaseBuffer", 1, AUDCLNT_E_INVALID_SIZE}},
                               AUDCLNT_E_INVALID_SIZE,
                               true,
                               true,
                               kAll},
                    FailureRow{"NotStarted",
                               {{"IAudioClient::Start", 1, AUDCLNT_E_NOT_STOPPED}},
                               AUDCLNT_E_NOT_STOPPED,
                               true,
                               true,
                               kAll},
                    FailureRow{"BufferNotLentWhileRunning",
                               {{"IAudioRenderClient::GetBuffer", 4, AUDCLNT_E_DEVICE_INVALIDATED}},
                               AUDCLNT_E_DEVICE_INVALIDATED,
                               true,
                               true,
                               kAll},
                    FailureRow{"BufferNotTakenWhileRunning",
                               {{"IAudioRenderClient::ReleaseBuffer", 7, AUDCLNT_E_OUT_OF_ORDER}},
                               AUDCLNT_E_OUT_OF_ORDER,
                               true,
                               true,
                               kAll}),
    [](const testing::TestParamInfo<FailureRow>& param) { return param.param.name; });

TEST(StreamDriver, MakesTheCallsOfAnExclusiveEventDrivenStream) {
    EndpointConfig config = TypicalEndpoint();
    config.removalAfterEvents = 3;
    InstalledEndpoint endpoint(config);
    const PlayerRun run = RunPlayer();
    EXPECT_HR_EQ(run.result, AUDCLNT_E_DEVICE_INVALIDATED);
    EXPECT_EQ(run.output, kThreeMsMessage);

    const std::vector<std::string> expected{
        "IClassFactory::CreateInstance outer=null iid=IMMDeviceEnumerator",
        "IMMDeviceEnumerator::GetDefaultAudioEndpoint flow=0 role=0",
        "IMMDevice::Activate iid=IAudioClient context=0x17 parameters=null",
        "IAudioClient::IsFormatSupported mode=1 tag=0xfffe channels=2 rate=48000 bits=16 "
        "align=4 bytesPerSecond=192000 cbSize=22 valid=16 mask=0x3 pcm closest=null",
        "IAudioClient::IsFormatSupported mode=1 " + kFormat24 + " closest=null",
        "IAudioClient::GetDevicePeriod default=null minimum=set",
        "IAudioClient::Initialize mode=1 flags=0x40000 duration=30000 period=30000 " + kFormat24 +
            " session=null",
        "CreateEventW attributes=null manualReset=0 initialState=0 name=null",
        "IAudioClient::SetEventHandle event=set",
        "IAudioClient::GetBufferSize frames=set",
        "IAudioClient::GetService iid=IAudioRenderClient",
        "IAudioRenderClient::GetBuffer frames=144 data=set",
        "IAudioRenderClient::ReleaseBuffer frames=144 flags=0x0",
        "LoadLibraryExW path=" + SystemFolder() + "\\avrt.dll file=null flags=0x8",
        "GetProcAddress module=loaded name=AvSetMmThreadCharacteristicsW",
        "GetProcAddress module=loaded name=AvRevertMmThreadCharacteristics",
        "AvSetMmThreadCharacteristicsW task=\"Pro Audio\" index=0",
        "IAudioClient::Start ",
        "WaitForSingleObject handle=event milliseconds=2000",
        "IAudioRenderClient::GetBuffer frames=144 data=set",
        "IAudioRenderClient::ReleaseBuffer frames=144 flags=0x0",
        "WaitForSingleObject handle=event milliseconds=2000",
        "IAudioRenderClient::GetBuffer frames=144 data=set",
        "IAudioRenderClient::ReleaseBuffer frames=144 flags=0x0",
        "WaitForSingleObject handle=event milliseconds=2000",
        "IAudioRenderClient::GetBuffer frames=144 data=set",
        "CloseHandle handle=event",
        "AvRevertMmThreadCharacteristics task=registered",
        "FreeLibrary module=loaded",
        "IMMDeviceEnumerator::Release ",
        "IMMDevice::Release ",
        "IAudioClient::Release ",
        "IAudioRenderClient::Release ",
    };
    EXPECT_EQ(Transcript(*endpoint), expected);
    EXPECT_EQ(endpoint->OutstandingReferences(), 0);
}

// The platform's recipe after a not-aligned refusal: the aligned size from the refused client,
// which is then released, and a new client from the same device for the aligned period. On
// this endpoint, as on Vista, initialising the refused client again would lock the device.
TEST(StreamDriver, AlignsThePeriodOnANewlyActivatedClient) {
    EndpointConfig config = AligningEndpoint();
    config.removalAfterEvents = 1;
    InstalledEndpoint endpoint(config);
    const PlayerRun run = RunPlayer();
    EXPECT_HR_EQ(run.result, AUDCLNT_E_DEVICE_INVALIDATED);
    EXPECT_EQ(run.output, "Initialized with buffer of 0.003333s");

    const std::string activate =
        "IMMDevice::Activate iid=IAudioClient context=0x17 parameters=null";
    const std::vector<std::string> expected{
        "IClassFactory::CreateInstance outer=null iid=IMMDeviceEnumerator",
        "IMMDeviceEnumerator::GetDefaultAudioEndpoint flow=0 role=0",
        activate,
        "IAudioClient::IsFormatSupported mode=1 tag=0xfffe channels=2 rate=48000 bits=16 "
        "align=4 bytesPerSecond=192000 cbSize=22 valid=16 mask=0x3 pcm closest=null",
        "IAudioClient::IsFormatSupported mode=1 " + kFormat24 + " closest=null",
        "IAudioClient::GetDevicePeriod default=null minimum=set",
        "IAudioClient::Initialize mode=1 flags=0x40000 duration=30000 period=30000 " + kFormat24 +
            " session=null",
        "IAudioClient::GetBufferSize frames=set",
        "IAudioClient::Release ",
        activate,
        "IAudioClient::Initialize mode=1 flags=0x40000 duration=33333 period=33333 " + kFormat24 +
            " session=null",
        "CreateEventW attributes=null manualReset=0 initialState=0 name=null",
        "IAudioClient::SetEventHandle event=set",
        "IAudioClient::GetBufferSize frames=set",
        "IAudioClient::GetService iid=IAudioRenderClient",
        "IAudioRenderClient::GetBuffer frames=160 data=set",
        "IAudioRenderClient::ReleaseBuffer frames=160 flags=0x0",
        "LoadLibraryExW path=" + SystemFolder() + "\\avrt.dll file=null flags=0x8",
        "GetProcAddress module=loaded name=AvSetMmThreadCharacteristicsW",
        "GetProcAddress module=loaded name=AvRevertMmThreadCharacteristics",
        "AvSetMmThreadCharacteristicsW task=\"Pro Audio\" index=0",
        "IAudioClient::Start ",
        "WaitForSingleObject handle=event milliseconds=2000",
        "IAudioRenderClient::GetBuffer frames=160 data=set",
        "CloseHandle handle=event",
        "AvRevertMmThreadCharacteristics task=registered",
        "FreeLibrary module=loaded",
        "IMMDeviceEnumerator::Release ",
        "IMMDevice::Release ",
        "IAudioClient::Release ",
        "IAudioRenderClient::Release ",
    };
    EXPECT_EQ(Transcript(*endpoint), expected);
    EXPECT_EQ(endpoint->OutstandingReferences(), 0);
}

struct AlignmentRow {
    const char* name;
    virtual_endpoint::SampleFormat accepted;
    UINT32 alignmentBytes;
    REFERENCE_TIME alignedPeriod;
    std::string expectedOutput;
};

void PrintTo(const AlignmentRow& row, std::ostream* out) { *out << row.name; }

class PeriodAlignment : public testing::TestWithParam<AlignmentRow> {};

TEST_P(PeriodAlignment, InitialisesTheNewClientWithThePeriodOfTheAlignedBuffer) {
    const AlignmentRow& row = GetParam();
    EndpointConfig config = AligningEndpoint(row.alignmentBytes);
    config.acceptedFormats = {row.accepted};
    config.removalAfterEvents = 2;
    InstalledEndpoint endpoint(config);

    const PlayerRun run = RunPlayer();

    EXPECT_HR_EQ(run.result, AUDCLNT_E_DEVICE_INVALIDATED);
    EXPECT_EQ(run.output, row.expectedOutput);
    std::vector<std::string> initializations;
    for (const auto& call : endpoint->Calls()) {
        if (call.method == "IAudioClient::Initialize") {
            initializations.push_back(Field(call.arguments, "duration") + "/" +
                                      Field(call.arguments, "period"));
        }
    }
    const std::string aligned = std::to_string(row.alignedPeriod);
    EXPECT_EQ(initializations, (std::vector<std::string>{"30000/30000", aligned + "/" + aligned}));
    EXPECT_EQ(Count(endpoint->CallNames(), "IMMDevice::Activate"), 2);
    EXPECT_EQ(endpoint->OutstandingReferences(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Endpoints, PeriodAlignment,
    testing::Values(
        // 144 frames of 4 bytes are 576 bytes; 160 frames are 640, five times 128.
        AlignmentRow{
            "SixteenBitTo160Frames", {16, 16}, 128, 33333, "Initialized with buffer of 0.003333s"},
        // Frames of 6 bytes align every 64 frames: 192 frames, 4 ms.
        AlignmentRow{"TwentyFourBitTo192Frames",
                     {24, 24},
                     128,
                     40000,
                     "Initialized with buffer of 0.004000s"},
        // Frames of 6 bytes in 448-byte units align every 224 frames: 46,666.67 units of
        // 100 ns, which only rounding to the nearest unit makes 46,667.
        AlignmentRow{"TwentyFourBitTo224FramesRoundsToTheNearestUnit",
                     {24, 24},
                     448,
                     46667,
                     "Initialized with buffer of 0.004667s"}),
    [](const testing::TestParamInfo<AlignmentRow>& param) { return param.param.name; });

TEST(StreamDriver, NoAcceptedFormatEndsWithFailAndNoMessage) {
    EndpointConfig refusing;
    refusing.acceptedFormats.clear();
    InstalledEndpoint endpoint(refusing);
    const PlayerRun run = RunPlayer();
    EXPECT_HR_EQ(run.result, E_FAIL);
    EXPECT_EQ(run.output, "");
    EXPECT_EQ(FinalReleases(endpoint->CallNames()), kOpened);
    EXPECT_EQ(Count(endpoint->CallNames(), "IAudioClient::Initialize"), 0);
}

TEST(StreamDriver, FailedFormatAllocationEndsWithOutOfMemory) {
    InstalledEndpoint endpoint(TypicalEndpoint());
    SpiedAllocator allocator;
    ASSERT_TRUE(allocator.registered());
    allocator.spy().failNext = true;
    const PlayerRun run = RunPlayer();
    EXPECT_HR_EQ(run.result, E_OUTOFMEMORY);
    EXPECT_EQ(run.output, "");
    EXPECT_EQ(FinalReleases(endpoint->CallNames()), kOpened);
    EXPECT_EQ(endpoint->OutstandingReferences(), 0);
}

TEST(StreamDriver, MissingEventTimesOutAfterTheWaitLimitAndStopsOnce) {
    EndpointConfig config = TypicalEndpoint();
    config.eventLimit = 4;
    // The result of Stop is of no consequence.
    config.faults = {{"IAudioClient::Stop", 1, AUDCLNT_E_DEVICE_INVALIDATED}};
    InstalledEndpoint endpoint(config);
    ToneGenerator generator{};

    const PlayerRun run = RunPlayer(generator);

    EXPECT_HR_EQ(run.result, kEventTimeoutResult);
    EXPECT_EQ(run.output, kThreeMsMessage);
    // Every wait is given the 2 s limit; the four events come, the fifth wait times out.
    std::vector<std::string> waits;
    for (const auto& call : endpoint->Calls()) {
        if (call.method == "WaitForSingleObject") {
            waits.push_back(call.arguments + " -> " + std::to_string(call.result));
        }
    }
    const std::string signalled = "handle=event milliseconds=2000 -> 0";
    EXPECT_EQ(waits, (std::vector<std::string>{signalled, signalled, signalled, signalled,
                                               "handle=event milliseconds=2000 -> 258"}));
    const std::vector<std::string> calls = endpoint->CallNames();
    EXPECT_EQ(Count(calls, "IAudioClient::Stop"), 1);
    EXPECT_EQ(Count(calls, "IAudioRenderClient::ReleaseBuffer"), 5);  // pre-roll and 4 events
    EXPECT_EQ(FinalReleases(calls), kAll);
    EXPECT_EQ(endpoint->OutstandingReferences(), 0);
    EXPECT_FALSE(HandleIsOpen(endpoint->LastEventHandle()));
    // The generator outlives the stream and keeps its count.
    EXPECT_EQ(generator.framesGenerated, 5u * 144u);
    EXPECT_EQ(generator.sampleRate, 48000u);
    EXPECT_EQ(generator.channelCount, 2u);
    EXPECT_EQ(generator.bitsPerSample, 24u);
}

class CapturedStream : public testing::TestWithParam<virtual_endpoint::SampleFormat> {};

TEST_P(CapturedStream, CarriesTheToneWithoutGapOrRepeat) {
    EndpointConfig config = TypicalEndpoint();
    config.acceptedFormats = {GetParam()};
    config.removalAfterEvents = 340;  // a little over a second of 144-frame buffers
    InstalledEndpoint endpoint(config);

    const PlayerRun run = RunPlayer();
    ASSERT_HR_EQ(run.result, AUDCLNT_E_DEVICE_INVALIDATED);

    const std::vector<std::uint8_t> captured = endpoint->CapturedBytes();
    const std::size_t frameBytes = 2u * GetParam().bitsPerSample / 8;
    ASSERT_EQ(captured.size(), 340u * 144u * frameBytes);
    EXPECT_TRUE(captured == tone_start::Bytes(340 * 144, 2, GetParam().bitsPerSample));
}

INSTANTIATE_TEST_SUITE_P(Formats, CapturedStream,
                         testing::Values(virtual_endpoint::SampleFormat{16, 16},
                                         virtual_endpoint::SampleFormat{24, 24},
                                         virtual_endpoint::SampleFormat{32, 32},
                                         virtual_endpoint::SampleFormat{32, 24}));

}  // namespace
