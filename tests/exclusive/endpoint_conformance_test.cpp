// The endpoint's answers where the platform's documentation, and what Windows was seen to do,
// fix them: the table tests/data/endpoint_conformance.txt, one call per row, in a state of the
// stream, with its arguments, the result and the out-values expected.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <sstream>
#include <string>

#include "embedded_lines.h"
#include "endpoint_client.h"

extern const EmbeddedLines kEndpointConformanceTable;

namespace {

using virtual_endpoint::EndpointConfig;

// A row's key=value arguments; the usual value for a key not given.
class Arguments {
  public:
    explicit Arguments(const std::string& text) {
        std::istringstream words(text == "-" ? "" : text);
        for (std::string word; words >> word;) {
            const std::size_t equals = word.find('=');
            values_[word.substr(0, equals)] = word.substr(equals + 1);
        }
    }
    std::string Text(const std::string& key, const std::string& usual) const {
        const auto value = values_.find(key);
        return value == values_.end() ? usual : value->second;
    }
    unsigned long Number(const std::string& key, unsigned long usual) const {
        const std::string text = Text(key, "");
        return text.empty() ? usual : std::strtoul(text.c_str(), nullptr, 0);
    }
    bool NullOut() const { return Text("out", "") == "null"; }

  private:
    std::map<std::string, std::string> values_;
};

struct Outcome {
    HRESULT result;
    std::string out = "-";
};

std::string Set(const void* pointer) { return pointer == nullptr ? "null" : "set"; }

// A non-null pointer of any type, to see whether a call nulls it.
template <typename Pointer>
Pointer Stale(Client& c) {
    return reinterpret_cast<Pointer>(&c);
}

template <typename Enumeration>
Enumeration AsEnumeration(unsigned long value) {
    // As a caller's stray integer arrives: a cast of a value out of the enumeration's range
    // would be unspecified.
    Enumeration result;
    const int number = static_cast<int>(value);
    static_assert(sizeof result == sizeof number, "enumerations are ints on Windows");
    std::memcpy(&result, &number, sizeof result);
    return result;
}

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

// format=null; 16: extensible 16-bit stereo; plain, plain16, plain-mono: a plain WAVEFORMATEX
// of 24-bit stereo, 16-bit stereo, 24-bit mono; none: the usual.
struct FormatArgument {
    explicit FormatArgument(const Arguments& arguments) : name(arguments.Text("format", "")) {
        if (name == "16") format = Format(WAVE_FORMAT_EXTENSIBLE, 2, 16);
        if (name == "plain") format = Format(WAVE_FORMAT_PCM, 2, 24);
        if (name == "plain16") format = Format(WAVE_FORMAT_PCM, 2, 16);
        if (name == "plain-mono") format = Format(WAVE_FORMAT_PCM, 1, 24);
    }
    const WAVEFORMATEX* Get(const Client& c) const {
        if (name == "null") return nullptr;
        return name.empty() ? c.format() : &format.Format;
    }
    std::string name;
    WAVEFORMATEXTENSIBLE format = Format(WAVE_FORMAT_EXTENSIBLE, 2, 24);
};

AUDCLNT_SHAREMODE ShareMode(const Arguments& arguments) {
    const std::string mode = arguments.Text("mode", "exclusive");
    if (mode == "exclusive") return AUDCLNT_SHAREMODE_EXCLUSIVE;
    if (mode == "shared") return AUDCLNT_SHAREMODE_SHARED;
    return AsEnumeration<AUDCLNT_SHAREMODE>(std::strtoul(mode.c_str(), nullptr, 0));
}

std::string DeviceId(IMMDevice* device) {
    LPWSTR id = nullptr;
    if (device == nullptr || FAILED(device->GetId(&id))) return "none";
    const std::string text(id, id + wcslen(id));  // ids are ASCII
    CoTaskMemFree(id);
    return text;
}

// "default" for the default device, "other" for another, "null" for none.
std::string Which(Client& c, IMMDevice* device) {
    if (device == nullptr) return "null";
    const std::string which = DeviceId(device) == DeviceId(c.device()) ? "default" : "other";
    device->Release();
    return which;
}

Outcome Mix(Client& c, const Arguments& a) {
    if (a.NullOut()) return {c.audio->GetMixFormat(nullptr)};
    WAVEFORMATEX* mix = nullptr;
    const HRESULT result = c.audio->GetMixFormat(&mix);
    if (mix == nullptr) return {result, "null"};
    const bool isFloat =
        mix->wFormatTag == WAVE_FORMAT_EXTENSIBLE &&
        reinterpret_cast<WAVEFORMATEXTENSIBLE*>(mix)->SubFormat == KSDATAFORMAT_SUBTYPE_IEEE_FLOAT;
    const std::string out =
        std::to_string(mix->nChannels) + " channels " + std::to_string(mix->nSamplesPerSec) +
        " Hz " + std::to_string(mix->wBitsPerSample) + " bits" + (isFloat ? " float" : " other");
    CoTaskMemFree(mix);
    return {result, out};
}

Outcome Endpoints(Client& c, const Arguments& a) {
    const auto flow = AsEnumeration<EDataFlow>(a.Number("flow", eRender));
    const auto states = static_cast<DWORD>(a.Number("states", DEVICE_STATE_ACTIVE));
    if (a.NullOut()) return {c.enumerator()->EnumAudioEndpoints(flow, states, nullptr)};
    IMMDeviceCollection* devices = Stale<IMMDeviceCollection*>(c);
    const HRESULT result = c.enumerator()->EnumAudioEndpoints(flow, states, &devices);
    if (devices == nullptr) return {result, "null"};
    UINT count = 0;
    devices->GetCount(&count);
    IMMDevice* beyond = Stale<IMMDevice*>(c);
    const HRESULT beyondResult = devices->Item(count, &beyond);
    std::string out = "count=" + std::to_string(count) + " beyond=" + HresultText(beyondResult) +
                      "," + Set(beyond);
    IMMDevice* first = nullptr;
    if (count > 0 && SUCCEEDED(devices->Item(0, &first))) out += " first=" + Which(c, first);
    devices->Release();
    return {result, out};
}

using Call = std::function<Outcome(Client&, const Arguments&)>;

// Each call the table names, made with the row's arguments.
const std::map<std::string, Call>& Calls() {
    static const std::map<std::string, Call> calls = {
        {"GetMixFormat", Mix},
        {"IsFormatSupported",
         [](Client& c, const Arguments& a) {
             WAVEFORMATEX* closest = Stale<WAVEFORMATEX*>(c);
             const FormatArgument format(a);
             const HRESULT result =
                 c.audio->IsFormatSupported(ShareMode(a), format.Get(c), &closest);
             return Outcome{result, format.name == "null" ? "-" : "closest=" + Set(closest)};
         }},
        {"Initialize",
         [](Client& c, const Arguments& a) {
             return Outcome{c.audio->Initialize(
                 ShareMode(a),
                 static_cast<DWORD>(a.Number("flags", AUDCLNT_STREAMFLAGS_EVENTCALLBACK)),
                 static_cast<REFERENCE_TIME>(a.Number("duration", 30000)),
                 static_cast<REFERENCE_TIME>(a.Number("period", 30000)), FormatArgument(a).Get(c),
                 nullptr)};
         }},
        {"GetBufferSize",
         [](Client& c, const Arguments& a) {
             UINT32 frames = 0;
             const HRESULT result = c.audio->GetBufferSize(a.NullOut() ? nullptr : &frames);
             return Outcome{result, SUCCEEDED(result) ? "frames=" + std::to_string(frames) : "-"};
         }},
        {"GetStreamLatency",
         [](Client& c, const Arguments&) { return Outcome{c.audio->GetStreamLatency(nullptr)}; }},
        {"GetCurrentPadding",
         [](Client& c, const Arguments&) { return Outcome{c.audio->GetCurrentPadding(nullptr)}; }},
        {"GetDevicePeriod",
         [](Client& c, const Arguments&) {
             return Outcome{c.audio->GetDevicePeriod(nullptr, nullptr)};
         }},
        {"GetService",
         [](Client& c, const Arguments& a) {
             if (a.NullOut()) return Outcome{c.audio->GetService(IID_IAudioRenderClient, nullptr)};
             void* service = Stale<void*>(c);
             const HRESULT result = c.audio->GetService(
                 a.Text("iid", "") == "other" ? IID_IMMDeviceEnumerator : IID_IAudioRenderClient,
                 &service);
             if (SUCCEEDED(result)) static_cast<IUnknown*>(service)->Release();
             return Outcome{result, "service=" + Set(service)};
         }},
        {"SetEventHandle",
         [](Client& c, const Arguments& a) {
             return Outcome{
                 c.audio->SetEventHandle(a.Text("event", "") == "null" ? nullptr : c.event())};
         }},
        {"Start", [](Client& c, const Arguments&) { return Outcome{c.audio->Start()}; }},
        {"Stop", [](Client& c, const Arguments&) { return Outcome{c.audio->Stop()}; }},
        {"Reset", [](Client& c, const Arguments&) { return Outcome{c.audio->Reset()}; }},
        {"GetBuffer",
         [](Client& c, const Arguments& a) {
             const auto frames = static_cast<UINT32>(a.Number("frames", 144));
             if (a.NullOut()) return Outcome{c.render->GetBuffer(frames, nullptr)};
             BYTE* data = Stale<BYTE*>(c);
             const HRESULT result = c.render->GetBuffer(frames, &data);
             return Outcome{result, "data=" + Set(data)};
         }},
        {"ReleaseBuffer",
         [](Client& c, const Arguments& a) {
             return Outcome{c.render->ReleaseBuffer(static_cast<UINT32>(a.Number("frames", 144)),
                                                    static_cast<DWORD>(a.Number("flags", 0)))};
         }},
        {"GetDefaultAudioEndpoint",
         [](Client& c, const Arguments& a) {
             const auto flow = AsEnumeration<EDataFlow>(a.Number("flow", eRender));
             const auto role = AsEnumeration<ERole>(a.Number("role", eConsole));
             if (a.NullOut())
                 return Outcome{c.enumerator()->GetDefaultAudioEndpoint(flow, role, nullptr)};
             IMMDevice* device = Stale<IMMDevice*>(c);
             const HRESULT result = c.enumerator()->GetDefaultAudioEndpoint(flow, role, &device);
             return Outcome{result, "device=" + Which(c, device)};
         }},
        {"EnumAudioEndpoints", Endpoints},
        {"GetDevice",
         [](Client& c, const Arguments& a) {
             LPWSTR defaultId = nullptr;
             c.device()->GetId(&defaultId);
             const std::string which = a.Text("id", "default");
             const wchar_t* id = which == "null"      ? nullptr
                                 : which == "default" ? defaultId
                                                      : L"{0.0.0.00000000}.{unknown}";
             IMMDevice* device = Stale<IMMDevice*>(c);
             const HRESULT result = c.enumerator()->GetDevice(id, &device);
             CoTaskMemFree(defaultId);
             return Outcome{result, Which(c, device)};
         }},
        {"GetId", [](Client& c, const Arguments&) { return Outcome{c.device()->GetId(nullptr)}; }},
    };
    return calls;
}

// Opens the client as far as the row's state; every step must succeed.
HRESULT Reach(Client& c, const std::string& state) {
    if (state == "activated") return S_OK;
    if (state == "initialized") return c.Initialize();
    if (state == "timer-initialized") {
        return c.audio->Initialize(AUDCLNT_SHAREMODE_EXCLUSIVE, 0, 30000, 30000, c.format(),
                                   nullptr);
    }
    HRESULT result = c.Prepare();
    if (state == "prepared" || FAILED(result)) return result;
    result = c.Lend();
    if (state == "lent" || FAILED(result)) return result;
    result = c.render->ReleaseBuffer(144, 0);
    if (state == "queued" || FAILED(result)) return result;
    return state == "running" ? c.audio->Start() : E_INVALIDARG;
}

struct Row {
    std::string call, state, arguments, result, out;
};

void PrintTo(const Row& row, std::ostream* out) {
    *out << row.call << " (" << row.state << ", " << row.arguments << ")";
}

std::vector<Row> Rows() {
    std::vector<Row> rows;
    for (std::size_t i = 0; i < kEndpointConformanceTable.count; ++i) {
        std::istringstream line(kEndpointConformanceTable.lines[i]);
        Row row;
        std::getline(line, row.call, '\t');
        std::getline(line, row.state, '\t');
        std::getline(line, row.arguments, '\t');
        std::getline(line, row.result, '\t');
        std::getline(line, row.out);
        rows.push_back(row);
    }
    return rows;
}

class EndpointConformance : public testing::TestWithParam<Row> {};

TEST_P(EndpointConformance, AnswersAsWindowsDoes) {
    const Row& row = GetParam();
    const auto call = Calls().find(row.call);
    ASSERT_NE(call, Calls().end()) << "no call " << row.call;
    InstalledEndpoint endpoint(EndpointConfig{});
    ASSERT_TRUE(endpoint.installed());
    {
        Client client;
        ASSERT_HR_EQ(Reach(client, row.state), S_OK);
        const Outcome outcome = call->second(client, Arguments(row.arguments));
        EXPECT_EQ(HresultText(outcome.result), row.result);
        EXPECT_EQ(outcome.out, row.out);
    }
    EXPECT_EQ(endpoint->OutstandingReferences(), 0);
}

INSTANTIATE_TEST_SUITE_P(Table, EndpointConformance, testing::ValuesIn(Rows()),
                         [](const testing::TestParamInfo<Row>& param) {
                             return std::to_string(param.index + 1) + "_" + param.param.call;
                         });

}  // namespace
