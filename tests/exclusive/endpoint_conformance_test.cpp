// The endpoint's answers where the platform's documentation, and what Windows was seen to do,
// fix them: each row a call in a state of the stream, with its arguments, the result expected
// and the out-values expected. Shared mode is not played (E_NOTIMPL once arguments are valid).

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "endpoint_client.h"

namespace {

using virtual_endpoint::EndpointConfig;

enum class Stage { kActivated, kInitialized, kPrepared, kLent, kRunning };

// Where a row's call is made: the client opened this far, each step succeeding.
HRESULT Reach(Client& client, Stage stage) {
    HRESULT result = S_OK;
    if (stage == Stage::kInitialized) result = client.Initialize();
    if (stage >= Stage::kPrepared) result = client.Prepare();
    if (stage >= Stage::kLent && SUCCEEDED(result)) result = client.Lend();
    if (stage == Stage::kRunning && SUCCEEDED(result)) {
        result = client.render->ReleaseBuffer(144, 0);
        if (SUCCEEDED(result)) result = client.audio->Start();
    }
    return result;
}

struct Outcome {
    HRESULT result;
    std::string out;  // the out-values, as text; empty when the row checks none
};

struct ConformanceRow {
    const char* call;
    Stage stage;
    std::function<Outcome(Client&)> make;  // the call with the row's arguments
    HRESULT expected;
    const char* expectedOut;
};

void PrintTo(const ConformanceRow& row, std::ostream* out) { *out << row.call; }

std::string Set(const void* pointer) { return pointer == nullptr ? "null" : "set"; }

// A plain or extensible format of this shape.
WAVEFORMATEXTENSIBLE Format(WORD tag, WORD channels, WORD bits) {
    WAVEFORMATEXTENSIBLE format{};
    format.Format.wFormatTag = tag;
    format.Format.nChannels = channels;
    format.Format.nSamplesPerSec = 48000;
    format.Format.wBitsPerSample = bits;
    format.Format.nBlockAlign = static_cast<WORD>(channels * bits / 8);
    format.Format.nAvgBytesPerSec = 48000 * format.Format.nBlockAlign;
    if (tag == WAVE_FORMAT_EXTENSIBLE) {
        format.Format.cbSize = 22;
        format.Samples.wValidBitsPerSample = bits;
        format.dwChannelMask =
            channels == 1 ? SPEAKER_FRONT_CENTER : SPEAKER_FRONT_LEFT | SPEAKER_FRONT_RIGHT;
        format.SubFormat = KSDATAFORMAT_SUBTYPE_PCM;
    }
    return format;
}

Outcome MixFormat(Client& c) {
    WAVEFORMATEX* mix = nullptr;
    const HRESULT result = c.audio->GetMixFormat(&mix);
    if (mix == nullptr) return {result, "null"};
    const auto* extensible = reinterpret_cast<const WAVEFORMATEXTENSIBLE*>(mix);
    const std::string out = std::to_string(mix->nChannels) + " channels " +
                            std::to_string(mix->nSamplesPerSec) + " Hz " +
                            std::to_string(mix->wBitsPerSample) + " bits" +
                            (mix->wFormatTag == WAVE_FORMAT_EXTENSIBLE &&
                                     extensible->SubFormat == KSDATAFORMAT_SUBTYPE_IEEE_FLOAT
                                 ? " float"
                                 : " other");
    CoTaskMemFree(mix);
    return {result, out};
}

Outcome Buffer(Client& c, UINT32 frames) {
    BYTE* data = reinterpret_cast<BYTE*>(&c);  // anything but null, to see it nulled
    const HRESULT result = c.render->GetBuffer(frames, &data);
    return {result, "data=" + Set(data)};
}

std::string DeviceId(IMMDevice* device) {
    LPWSTR id = nullptr;
    if (device == nullptr || FAILED(device->GetId(&id))) return "none";
    const std::string text(id, id + wcslen(id));  // the id is ASCII
    CoTaskMemFree(id);
    return text;
}

Outcome Endpoints(Client& c, EDataFlow flow, DWORD states) {
    IMMDeviceCollection* devices = nullptr;
    const HRESULT result = c.enumerator()->EnumAudioEndpoints(flow, states, &devices);
    if (devices == nullptr) return {result, "null"};
    UINT count = 0;
    devices->GetCount(&count);
    std::string out = "count=" + std::to_string(count);
    IMMDevice* beyond = reinterpret_cast<IMMDevice*>(&c);
    const HRESULT beyondResult = devices->Item(count, &beyond);
    out += " item(count)=" + HresultText(beyondResult) + "," + Set(beyond);
    if (count > 0) {
        IMMDevice* first = nullptr;
        devices->Item(0, &first);
        out += " same id=" + std::string(DeviceId(first) == DeviceId(c.device()) ? "yes" : "no");
        if (first != nullptr) first->Release();
    }
    devices->Release();
    return {result, out};
}

Outcome DeviceById(Client& c, const wchar_t* id) {
    IMMDevice* device = reinterpret_cast<IMMDevice*>(&c);
    const HRESULT result = c.enumerator()->GetDevice(id, &device);
    if (device == nullptr) return {result, "null"};
    const bool same = DeviceId(device) == DeviceId(c.device());
    device->Release();
    return {result, same ? "same id" : "other id"};
}

Outcome Only(HRESULT result) { return {result, ""}; }

// A share mode that is neither, as a caller's stray integer arrives (a cast of a value out of
// the enumeration's range would be unspecified).
AUDCLNT_SHAREMODE InvalidShareMode() {
    const int value = 7;
    AUDCLNT_SHAREMODE mode;
    static_assert(sizeof mode == sizeof value, "the enumeration is an int on Windows");
    std::memcpy(&mode, &value, sizeof mode);
    return mode;
}

const AUDCLNT_SHAREMODE kInvalidShareMode = InvalidShareMode();

const WAVEFORMATEXTENSIBLE kPlain24 = Format(WAVE_FORMAT_PCM, 2, 24);

const ConformanceRow kRows[] = {
    // GetMixFormat: the engine's float format at the device's rate and channels, any state.
    {"GetMixFormat", Stage::kActivated, MixFormat, S_OK, "2 channels 48000 Hz 32 bits float"},
    {"GetMixFormat_Null", Stage::kActivated,
     [](Client& c) { return Only(c.audio->GetMixFormat(nullptr)); }, E_POINTER, ""},
    // Argument checks.
    {"IsFormatSupported_InvalidMode", Stage::kActivated,
     [](Client& c) {
         return Only(c.audio->IsFormatSupported(kInvalidShareMode, c.format(), nullptr));
     },
     E_INVALIDARG, ""},
    {"IsFormatSupported_NullFormat", Stage::kActivated,
     [](Client& c) {
         return Only(c.audio->IsFormatSupported(AUDCLNT_SHAREMODE_EXCLUSIVE, nullptr, nullptr));
     },
     E_POINTER, ""},
    {"IsFormatSupported_RefusedHasNoClosest", Stage::kActivated,
     [](Client& c) {
         const WAVEFORMATEXTENSIBLE sixteen = Format(WAVE_FORMAT_EXTENSIBLE, 2, 16);
         WAVEFORMATEX* closest = reinterpret_cast<WAVEFORMATEX*>(&c);
         const HRESULT result =
             c.audio->IsFormatSupported(AUDCLNT_SHAREMODE_EXCLUSIVE, &sixteen.Format, &closest);
         return Outcome{result, "closest=" + Set(closest)};
     },
     AUDCLNT_E_UNSUPPORTED_FORMAT, "closest=null"},
    {"Initialize_InvalidMode", Stage::kActivated,
     [](Client& c) {
         return Only(c.audio->Initialize(kInvalidShareMode, AUDCLNT_STREAMFLAGS_EVENTCALLBACK,
                                         30000, 30000, c.format(), nullptr));
     },
     E_INVALIDARG, ""},
    {"Initialize_InvalidFlags", Stage::kActivated,
     [](Client& c) {
         return Only(c.audio->Initialize(AUDCLNT_SHAREMODE_EXCLUSIVE,
                                         AUDCLNT_STREAMFLAGS_EVENTCALLBACK | 0x1, 30000, 30000,
                                         c.format(), nullptr));
     },
     E_INVALIDARG, ""},
    {"Initialize_NullFormat", Stage::kActivated,
     [](Client& c) {
         return Only(c.audio->Initialize(AUDCLNT_SHAREMODE_EXCLUSIVE,
                                         AUDCLNT_STREAMFLAGS_EVENTCALLBACK, 30000, 30000, nullptr,
                                         nullptr));
     },
     E_POINTER, ""},
    {"Initialize_Shared", Stage::kActivated,
     [](Client& c) {
         return Only(c.audio->Initialize(AUDCLNT_SHAREMODE_SHARED, 0, 0, 0, c.format(), nullptr));
     },
     E_NOTIMPL, ""},
    {"Initialize_PlainPcm", Stage::kActivated,
     [](Client& c) {
         return Only(c.audio->Initialize(AUDCLNT_SHAREMODE_EXCLUSIVE,
                                         AUDCLNT_STREAMFLAGS_EVENTCALLBACK, 30000, 30000,
                                         &kPlain24.Format, nullptr));
     },
     S_OK, ""},
    {"Initialize_Second", Stage::kInitialized, [](Client& c) { return Only(c.Initialize()); },
     AUDCLNT_E_ALREADY_INITIALIZED, ""},
    {"Initialize_DurationUnlikePeriod", Stage::kActivated,
     [](Client& c) { return Only(c.Initialize(60000, 30000)); },
     AUDCLNT_E_BUFDURATION_PERIOD_NOT_EQUAL, ""},
    {"Initialize_PeriodBelowMinimum", Stage::kActivated,
     [](Client& c) { return Only(c.Initialize(20000, 20000)); }, AUDCLNT_E_INVALID_DEVICE_PERIOD,
     ""},
    {"GetBufferSize_BeforeInitialize", Stage::kActivated,
     [](Client& c) {
         UINT32 frames = 0;
         return Only(c.audio->GetBufferSize(&frames));
     },
     AUDCLNT_E_NOT_INITIALIZED, ""},
    {"GetBufferSize_Null", Stage::kInitialized,
     [](Client& c) { return Only(c.audio->GetBufferSize(nullptr)); }, E_POINTER, ""},
    {"GetStreamLatency_Null", Stage::kInitialized,
     [](Client& c) { return Only(c.audio->GetStreamLatency(nullptr)); }, E_POINTER, ""},
    {"GetCurrentPadding_Null", Stage::kInitialized,
     [](Client& c) { return Only(c.audio->GetCurrentPadding(nullptr)); }, E_POINTER, ""},
    {"GetDevicePeriod_BothNull", Stage::kActivated,
     [](Client& c) { return Only(c.audio->GetDevicePeriod(nullptr, nullptr)); }, E_POINTER, ""},
    {"GetService_Null", Stage::kInitialized,
     [](Client& c) { return Only(c.audio->GetService(IID_IAudioRenderClient, nullptr)); },
     E_POINTER, ""},
    {"GetService_OtherInterface", Stage::kInitialized,
     [](Client& c) {
         void* service = &c;
         const HRESULT result = c.audio->GetService(IID_IMMDeviceEnumerator, &service);
         return Outcome{result, "service=" + Set(service)};
     },
     E_NOINTERFACE, "service=null"},
    // The event handle: null before not expected, and only one.
    {"SetEventHandle_BeforeInitialize", Stage::kActivated,
     [](Client& c) { return Only(c.audio->SetEventHandle(c.event())); }, AUDCLNT_E_NOT_INITIALIZED,
     ""},
    {"SetEventHandle_NullOnTimerStream", Stage::kActivated,
     [](Client& c) {
         c.audio->Initialize(AUDCLNT_SHAREMODE_EXCLUSIVE, 0, 30000, 30000, c.format(), nullptr);
         return Only(c.audio->SetEventHandle(nullptr));
     },
     E_INVALIDARG, ""},
    {"SetEventHandle_TimerStream", Stage::kActivated,
     [](Client& c) {
         c.audio->Initialize(AUDCLNT_SHAREMODE_EXCLUSIVE, 0, 30000, 30000, c.format(), nullptr);
         return Only(c.audio->SetEventHandle(c.event()));
     },
     AUDCLNT_E_EVENTHANDLE_NOT_EXPECTED, ""},
    {"SetEventHandle_Second", Stage::kPrepared,
     [](Client& c) { return Only(c.audio->SetEventHandle(c.event())); }, E_UNEXPECTED, ""},
    {"Start_BeforeInitialize", Stage::kActivated, [](Client& c) { return Only(c.audio->Start()); },
     AUDCLNT_E_NOT_INITIALIZED, ""},
    {"Start_WithoutEvent", Stage::kInitialized, [](Client& c) { return Only(c.audio->Start()); },
     AUDCLNT_E_EVENTHANDLE_NOT_SET, ""},
    {"Start_Running", Stage::kRunning, [](Client& c) { return Only(c.audio->Start()); },
     AUDCLNT_E_NOT_STOPPED, ""},
    {"Stop_Stopped", Stage::kPrepared, [](Client& c) { return Only(c.audio->Stop()); }, S_FALSE,
     ""},
    // Reset.
    {"Reset_Stopped", Stage::kPrepared, [](Client& c) { return Only(c.audio->Reset()); }, S_OK, ""},
    {"Reset_BufferOutstanding", Stage::kLent, [](Client& c) { return Only(c.audio->Reset()); },
     AUDCLNT_E_BUFFER_OPERATION_PENDING, ""},
    {"Reset_Running", Stage::kRunning, [](Client& c) { return Only(c.audio->Reset()); },
     AUDCLNT_E_NOT_STOPPED, ""},
    // GetBuffer: the whole buffer, one at a time; a failure nulls the pointer.
    {"GetBuffer_Whole", Stage::kPrepared, [](Client& c) { return Buffer(c, 144); }, S_OK,
     "data=set"},
    {"GetBuffer_Part", Stage::kPrepared, [](Client& c) { return Buffer(c, 100); },
     AUDCLNT_E_BUFFER_SIZE_ERROR, "data=null"},
    {"GetBuffer_MoreThanTheBuffer", Stage::kPrepared, [](Client& c) { return Buffer(c, 145); },
     AUDCLNT_E_BUFFER_TOO_LARGE, "data=null"},
    {"GetBuffer_Twice", Stage::kLent, [](Client& c) { return Buffer(c, 144); },
     AUDCLNT_E_OUT_OF_ORDER, "data=null"},
    {"GetBuffer_NoBufferFreeBeforeAnEvent", Stage::kPrepared,
     [](Client& c) {
         c.Lend();
         c.render->ReleaseBuffer(144, 0);
         return Buffer(c, 144);
     },
     AUDCLNT_E_BUFFER_TOO_LARGE, "data=null"},
    {"GetBuffer_NullData", Stage::kPrepared,
     [](Client& c) { return Only(c.render->GetBuffer(144, nullptr)); }, E_POINTER, ""},
    // ReleaseBuffer: exactly what was lent.
    {"ReleaseBuffer_WithoutGet", Stage::kPrepared,
     [](Client& c) { return Only(c.render->ReleaseBuffer(144, 0)); }, AUDCLNT_E_OUT_OF_ORDER, ""},
    {"ReleaseBuffer_MoreThanLent", Stage::kLent,
     [](Client& c) { return Only(c.render->ReleaseBuffer(145, 0)); }, AUDCLNT_E_INVALID_SIZE, ""},
    {"ReleaseBuffer_FewerThanLent", Stage::kLent,
     [](Client& c) { return Only(c.render->ReleaseBuffer(100, 0)); }, AUDCLNT_E_BUFFER_SIZE_ERROR,
     ""},
    {"ReleaseBuffer_UnknownFlags", Stage::kLent,
     [](Client& c) { return Only(c.render->ReleaseBuffer(144, 0x80)); }, E_INVALIDARG, ""},
    // The enumerator and its one device.
    {"GetDefaultAudioEndpoint_All", Stage::kActivated,
     [](Client& c) {
         IMMDevice* device = reinterpret_cast<IMMDevice*>(&c);
         const HRESULT result = c.enumerator()->GetDefaultAudioEndpoint(eAll, eConsole, &device);
         return Outcome{result, "device=" + Set(device)};
     },
     E_INVALIDARG, "device=null"},
    {"GetDefaultAudioEndpoint_Capture", Stage::kActivated,
     [](Client& c) {
         IMMDevice* device = reinterpret_cast<IMMDevice*>(&c);
         const HRESULT result =
             c.enumerator()->GetDefaultAudioEndpoint(eCapture, eConsole, &device);
         return Outcome{result, "device=" + Set(device)};
     },
     E_NOTFOUND, "device=null"},
    {"GetDefaultAudioEndpoint_Null", Stage::kActivated,
     [](Client& c) {
         return Only(c.enumerator()->GetDefaultAudioEndpoint(eRender, eConsole, nullptr));
     },
     E_POINTER, ""},
    {"EnumAudioEndpoints_RenderActive", Stage::kActivated,
     [](Client& c) { return Endpoints(c, eRender, DEVICE_STATE_ACTIVE); }, S_OK,
     "count=1 item(count)=0x80070057,null same id=yes"},
    {"EnumAudioEndpoints_All", Stage::kActivated,
     [](Client& c) { return Endpoints(c, eAll, DEVICE_STATEMASK_ALL); }, S_OK,
     "count=1 item(count)=0x80070057,null same id=yes"},
    {"EnumAudioEndpoints_Capture", Stage::kActivated,
     [](Client& c) { return Endpoints(c, eCapture, DEVICE_STATE_ACTIVE); }, S_OK,
     "count=0 item(count)=0x80070057,null"},
    {"EnumAudioEndpoints_Unplugged", Stage::kActivated,
     [](Client& c) { return Endpoints(c, eRender, DEVICE_STATE_UNPLUGGED); }, S_OK,
     "count=0 item(count)=0x80070057,null"},
    {"EnumAudioEndpoints_InvalidFlow", Stage::kActivated,
     [](Client& c) { return Endpoints(c, EDataFlow_enum_count, DEVICE_STATE_ACTIVE); },
     E_INVALIDARG, "null"},
    {"EnumAudioEndpoints_InvalidStates", Stage::kActivated,
     [](Client& c) { return Endpoints(c, eRender, 0x10); }, E_INVALIDARG, "null"},
    {"EnumAudioEndpoints_Null", Stage::kActivated,
     [](Client& c) {
         return Only(c.enumerator()->EnumAudioEndpoints(eRender, DEVICE_STATE_ACTIVE, nullptr));
     },
     E_POINTER, ""},
    {"GetDevice_DefaultsId", Stage::kActivated,
     [](Client& c) {
         LPWSTR id = nullptr;
         c.device()->GetId(&id);
         const Outcome outcome = DeviceById(c, id);
         CoTaskMemFree(id);
         return outcome;
     },
     S_OK, "same id"},
    {"GetDevice_UnknownId", Stage::kActivated,
     [](Client& c) { return DeviceById(c, L"{0.0.0.00000000}.{unknown}"); }, E_NOTFOUND, "null"},
    {"GetDevice_NullId", Stage::kActivated, [](Client& c) { return DeviceById(c, nullptr); },
     E_POINTER, "null"},
    {"GetId_Null", Stage::kActivated, [](Client& c) { return Only(c.device()->GetId(nullptr)); },
     E_POINTER, ""},
};

class EndpointConformance : public testing::TestWithParam<ConformanceRow> {};

TEST_P(EndpointConformance, AnswersAsWindowsDoes) {
    const ConformanceRow& row = GetParam();
    InstalledEndpoint endpoint(EndpointConfig{});
    ASSERT_TRUE(endpoint.installed());
    {
        Client client;
        ASSERT_HR_EQ(Reach(client, row.stage), S_OK);
        const Outcome outcome = row.make(client);
        EXPECT_HR_EQ(outcome.result, row.expected);
        EXPECT_EQ(outcome.out, row.expectedOut);
    }
    EXPECT_EQ(endpoint->OutstandingReferences(), 0);
}

INSTANTIATE_TEST_SUITE_P(Calls, EndpointConformance, testing::ValuesIn(kRows),
                         [](const testing::TestParamInfo<ConformanceRow>& param) {
                             return std::string(param.param.call);
                         });

// A plain WAVEFORMATEX of 1 or 2 channels is taken exactly when its extensible twin is, by the
// format check and by Initialize alike (a device of 24-bit stereo and 32-bit stereo).
struct FormatShape {
    WORD channels;
    WORD bits;
    HRESULT expected;
};

class PlainFormats : public testing::TestWithParam<FormatShape> {};

TEST_P(PlainFormats, AreAnsweredAsTheirExtensibleTwins) {
    const FormatShape& shape = GetParam();
    EndpointConfig config;
    config.acceptedFormats = {{24, 24}, {32, 32}};
    InstalledEndpoint endpoint(config);
    for (const WORD tag : {WORD{WAVE_FORMAT_PCM}, WORD{WAVE_FORMAT_EXTENSIBLE}}) {
        const WAVEFORMATEXTENSIBLE format = Format(tag, shape.channels, shape.bits);
        Client client;
        EXPECT_HR_EQ(
            client.audio->IsFormatSupported(AUDCLNT_SHAREMODE_EXCLUSIVE, &format.Format, nullptr),
            shape.expected)
            << "tag " << tag;
        EXPECT_HR_EQ(
            client.audio->Initialize(AUDCLNT_SHAREMODE_EXCLUSIVE, AUDCLNT_STREAMFLAGS_EVENTCALLBACK,
                                     30000, 30000, &format.Format, nullptr),
            shape.expected)
            << "tag " << tag;
    }
}

INSTANTIATE_TEST_SUITE_P(Shapes, PlainFormats,
                         testing::Values(FormatShape{2, 24, S_OK}, FormatShape{2, 32, S_OK},
                                         FormatShape{2, 16, AUDCLNT_E_UNSUPPORTED_FORMAT},
                                         FormatShape{1, 24, AUDCLNT_E_UNSUPPORTED_FORMAT},
                                         FormatShape{2, 8, AUDCLNT_E_UNSUPPORTED_FORMAT}));

}  // namespace
