#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "stream_harness.h"
#include "tone_start.h"

namespace {

using virtual_endpoint::EndpointConfig;
using virtual_endpoint::Fault;

constexpr HRESULT kDeviceInUse = AUDCLNT_E_DEVICE_IN_USE;
const std::string kThreeMsMessage = "Initialized with buffer of 0.003000s";

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

// The endpoint of a typical run: refuses 16-bit, plays 24-bit, 3 ms minimum period.
EndpointConfig TypicalEndpoint() {
    EndpointConfig config;
    config.acceptedFormats = {{24, 24}, {32, 32}};
    config.minimumPeriod = 30000;
    return config;
}

struct FailureRow {
    const char* name;
    std::vector<Fault> faults;
    HRESULT expectedResult;
    bool messageWritten;
    bool eventCreated;
    std::vector<std::string> releasedInOrder;
};

void PrintTo(const FailureRow& row, std::ostream* out) { *out << row.name; }

class StreamFailures : public testing::TestWithParam<FailureRow> {};

TEST_P(StreamFailures, EndWithTheFailureAndReleaseEverythingObtained) {
    const FailureRow& row = GetParam();
    EndpointConfig config = TypicalEndpoint();
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

    std::vector<std::string> calls;
    for (const auto& call : endpoint->Calls()) calls.push_back(call.method + " " + call.arguments);
    const std::string format24 =
        "tag=0xfffe channels=2 rate=48000 bits=24 align=6 bytesPerSecond=288000 cbSize=22 "
        "valid=24 mask=0x3 pcm";
    const std::vector<std::string> expected{
        "IClassFactory::CreateInstance outer=null iid=IMMDeviceEnumerator",
        "IMMDeviceEnumerator::GetDefaultAudioEndpoint flow=0 role=0",
        "IMMDevice::Activate iid=IAudioClient context=0x17 parameters=null",
        "IAudioClient::IsFormatSupported mode=1 tag=0xfffe channels=2 rate=48000 bits=16 "
        "align=4 bytesPerSecond=192000 cbSize=22 valid=16 mask=0x3 pcm closest=null",
        "IAudioClient::IsFormatSupported mode=1 " + format24 + " closest=null",
        "IAudioClient::GetDevicePeriod default=null minimum=set",
        "IAudioClient::Initialize mode=1 flags=0x40000 duration=30000 period=30000 " + format24 +
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
        "IAudioRenderClient::GetBuffer frames=144 data=set",
        "IAudioRenderClient::ReleaseBuffer frames=144 flags=0x0",
        "IAudioRenderClient::GetBuffer frames=144 data=set",
        "IAudioRenderClient::ReleaseBuffer frames=144 flags=0x0",
        "IAudioRenderClient::GetBuffer frames=144 data=set",
        "CloseHandle handle=event",
        "AvRevertMmThreadCharacteristics task=registered",
        "FreeLibrary module=loaded",
        "IMMDeviceEnumerator::Release ",
        "IMMDevice::Release ",
        "IAudioClient::Release ",
        "IAudioRenderClient::Release ",
    };
    EXPECT_EQ(calls, expected);
    EXPECT_EQ(endpoint->OutstandingReferences(), 0);
}

struct AlignmentRow {
    const char* name;
    std::vector<virtual_endpoint::SampleFormat> accepted;
    std::vector<Fault> faults;
    HRESULT expectedResult;
    std::string expectedOutput;
    REFERENCE_TIME alignedPeriod;
    UINT32 alignmentBytes = 128;
};

void PrintTo(const AlignmentRow& row, std::ostream* out) { *out << row.name; }

class PeriodAlignment : public testing::TestWithParam<AlignmentRow> {};

TEST_P(PeriodAlignment, RetriesOnceOnTheSameClientWithTheAlignedPeriod) {
    const AlignmentRow& row = GetParam();
    EndpointConfig config = TypicalEndpoint();
    config.acceptedFormats = row.accepted;
    config.alignmentBytes = row.alignmentBytes;
    config.removalAfterEvents = 2;
    config.faults = row.faults;
    InstalledEndpoint endpoint(config);

    const PlayerRun run = RunPlayer();

    EXPECT_HR_EQ(run.result, row.expectedResult);
    EXPECT_EQ(run.output, row.expectedOutput);
    std::vector<std::string> sequence;
    for (const auto& call : endpoint->Calls()) {
        if (call.method == "IAudioClient::Initialize") {
            sequence.push_back("Initialize " + Field(call.arguments, "duration") + "/" +
                               Field(call.arguments, "period"));
        } else if (call.method == "IAudioClient::GetBufferSize") {
            sequence.push_back("GetBufferSize");
        }
    }
    const std::string aligned = std::to_string(row.alignedPeriod);
    ASSERT_GE(sequence.size(), 3u);
    EXPECT_EQ(sequence[0], "Initialize 30000/30000");
    EXPECT_EQ(sequence[1], "GetBufferSize");
    EXPECT_EQ(sequence[2], "Initialize " + aligned + "/" + aligned);
    // Once initialised, the driver asks the buffer size once more, for the pre-roll.
    EXPECT_EQ(sequence.size(), row.expectedOutput.empty() ? 3u : 4u);
    EXPECT_EQ(Count(endpoint->CallNames(), "IMMDevice::Activate"), 1);
    EXPECT_EQ(endpoint->OutstandingReferences(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Endpoints, PeriodAlignment,
    testing::Values(
        // 144 frames of 4 bytes are 576 bytes; 160 frames are 640, five times 128.
        AlignmentRow{"SixteenBitTo160Frames",
                     {{16, 16}},
                     {},
                     AUDCLNT_E_DEVICE_INVALIDATED,
                     "Initialized with buffer of 0.003333s",
                     33333},
        // Frames of 6 bytes align every 64 frames: 192 frames, 4 ms.
        AlignmentRow{"TwentyFourBitTo192Frames",
                     {{24, 24}},
                     {},
                     AUDCLNT_E_DEVICE_INVALIDATED,
                     "Initialized with buffer of 0.004000s",
                     40000},
        // Frames of 6 bytes in 448-byte units align every 224 frames: 46,666.67 units of
        // 100 ns, which only rounding to the nearest unit makes 46,667.
        AlignmentRow{"TwentyFourBitTo224FramesRoundsToTheNearestUnit",
                     {{24, 24}},
                     {},
                     AUDCLNT_E_DEVICE_INVALIDATED,
                     "Initialized with buffer of 0.004667s",
                     46667,
                     448},
        AlignmentRow{"SecondRefusalEndsTheCall",
                     {{24, 24}},
                     {{"IAudioClient::Initialize", 2, AUDCLNT_E_BUFFER_SIZE_NOT_ALIGNED}},
                     AUDCLNT_E_BUFFER_SIZE_NOT_ALIGNED,
                     "",
                     40000},
        AlignmentRow{"SecondFailureOfAnyKindEndsTheCall",
                     {{24, 24}},
                     {{"IAudioClient::Initialize", 2, kDeviceInUse}},
                     kDeviceInUse,
                     "",
                     40000}),
    [](const testing::TestParamInfo<AlignmentRow>& param) { return param.param.name; });

TEST(PeriodAlignment, FailedSizeQueryEndsTheCallWithoutMessage) {
    EndpointConfig config = TypicalEndpoint();
    config.alignmentBytes = 128;
    config.faults = {{"IAudioClient::GetBufferSize", 1, AUDCLNT_E_DEVICE_INVALIDATED}};
    InstalledEndpoint endpoint(config);
    const PlayerRun run = RunPlayer();
    EXPECT_HR_EQ(run.result, AUDCLNT_E_DEVICE_INVALIDATED);
    EXPECT_EQ(run.output, "");
    EXPECT_EQ(Count(endpoint->CallNames(), "IAudioClient::Initialize"), 1);
    EXPECT_EQ(endpoint->OutstandingReferences(), 0);
}

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

    const auto start = std::chrono::steady_clock::now();
    const PlayerRun run = RunPlayer(generator);
    const auto waited = std::chrono::steady_clock::now() - start;

    EXPECT_HR_EQ(run.result, kEventTimeoutResult);
    EXPECT_EQ(run.output, kThreeMsMessage);
    // The 2 s wait limit, loosely: neither a shorter nor a much longer one passes.
    EXPECT_GE(waited, std::chrono::milliseconds(1900));
    EXPECT_LT(waited, std::chrono::seconds(5));
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
