#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "exclusive/exclusive_format.h"
#include "stream_harness.h"

namespace {

using virtual_endpoint::EndpointConfig;
using virtual_endpoint::SampleFormat;

// An activated, not yet initialised audio client of the installed endpoint.
class ActivatedClient {
  public:
    ActivatedClient() {
        if (FAILED(CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL,
                                    IID_IMMDeviceEnumerator,
                                    reinterpret_cast<void**>(&enumerator_))))
            return;
        if (FAILED(enumerator_->GetDefaultAudioEndpoint(eRender, eConsole, &device_))) return;
        device_->Activate(IID_IAudioClient, CLSCTX_ALL, nullptr,
                          reinterpret_cast<void**>(&client_));
    }
    ~ActivatedClient() {
        if (client_ != nullptr) client_->Release();
        if (device_ != nullptr) device_->Release();
        if (enumerator_ != nullptr) enumerator_->Release();
    }
    IAudioClient* get() const { return client_; }

  private:
    IMMDeviceEnumerator* enumerator_ = nullptr;
    IMMDevice* device_ = nullptr;
    IAudioClient* client_ = nullptr;
};

std::vector<std::string> OfferedWidths(const virtual_endpoint::VirtualEndpoint& endpoint) {
    std::vector<std::string> widths;
    for (const auto& call : endpoint.Calls()) {
        if (call.method != "IAudioClient::IsFormatSupported") continue;
        widths.push_back(Field(call.arguments, "bits") + "/" + Field(call.arguments, "valid"));
    }
    return widths;
}

struct Negotiation {
    const char* name;
    std::vector<SampleFormat> accepted;
    HRESULT refusal;
    HRESULT expectedResult;
    SampleFormat expectedFormat;  // when the result is S_OK
    std::vector<std::string> expectedOffers;
};

void PrintTo(const Negotiation& row, std::ostream* out) { *out << row.name; }

class FormatNegotiation : public testing::TestWithParam<Negotiation> {};

TEST_P(FormatNegotiation, OffersTheCandidatesInOrderAndTakesTheFirstExactlyAccepted) {
    const Negotiation& row = GetParam();
    EndpointConfig config;
    config.acceptedFormats = row.accepted;
    config.refusal = row.refusal;
    InstalledEndpoint endpoint(config);
    ASSERT_TRUE(endpoint.installed());
    ActivatedClient client;
    ASSERT_NE(client.get(), nullptr);
    SpiedAllocator allocator;
    ASSERT_TRUE(allocator.registered());

    auto* const untouched = reinterpret_cast<StreamFormat*>(0x1234);
    StreamFormat* format = untouched;
    const HRESULT result = FindExclusiveFormat(client.get(), &format);

    EXPECT_HR_EQ(result, row.expectedResult);
    EXPECT_EQ(OfferedWidths(*endpoint), row.expectedOffers);
    EXPECT_EQ(allocator.spy().allocated, row.expectedResult == S_OK ? 1 : 0);
    for (const auto& call : endpoint->Calls()) {
        if (call.method != "IAudioClient::IsFormatSupported") continue;
        // Exclusive mode, 48 kHz stereo PCM, consistent sizes, and no closest match asked for.
        EXPECT_EQ(call.arguments.rfind("mode=1 tag=0xfffe channels=2 rate=48000 ", 0), 0u);
        EXPECT_NE(call.arguments.find("cbSize=22 "), std::string::npos);
        EXPECT_NE(call.arguments.find("mask=0x3 pcm closest=null"), std::string::npos);
    }
    if (row.expectedResult != S_OK) {
        EXPECT_EQ(format, untouched);
        return;
    }
    ASSERT_NE(format, untouched);
    const WORD bits = row.expectedFormat.bitsPerSample;
    EXPECT_EQ(format->Format.wFormatTag, WAVE_FORMAT_EXTENSIBLE);
    EXPECT_EQ(format->Format.nChannels, 2);
    EXPECT_EQ(format->Format.nSamplesPerSec, 48000u);
    EXPECT_EQ(format->Format.wBitsPerSample, bits);
    EXPECT_EQ(format->Format.nBlockAlign, bits / 4);
    EXPECT_EQ(format->Format.nAvgBytesPerSec, 12000u * bits);
    EXPECT_EQ(format->Format.cbSize, 22);
    EXPECT_EQ(format->Samples.wValidBitsPerSample, row.expectedFormat.validBitsPerSample);
    EXPECT_EQ(format->dwChannelMask, 3u);
    EXPECT_TRUE(format->SubFormat == KSDATAFORMAT_SUBTYPE_PCM);
    CoTaskMemFree(format);
}

const std::vector<std::string> kAllOffers{"16/16", "24/24", "32/32", "32/24"};

INSTANTIATE_TEST_SUITE_P(
    Endpoints, FormatNegotiation,
    testing::Values(
        Negotiation{"AcceptsEverything",
                    {{16, 16}, {24, 24}, {32, 32}, {32, 24}},
                    AUDCLNT_E_UNSUPPORTED_FORMAT,
                    S_OK,
                    {16, 16},
                    {"16/16"}},
        Negotiation{"TwentyFourBit",
                    {{24, 24}, {32, 32}},
                    AUDCLNT_E_UNSUPPORTED_FORMAT,
                    S_OK,
                    {24, 24},
                    {"16/16", "24/24"}},
        Negotiation{"TwentyFourInThirtyTwoOnly",
                    {{32, 24}},
                    AUDCLNT_E_UNSUPPORTED_FORMAT,
                    S_OK,
                    {32, 24},
                    kAllOffers},
        Negotiation{
            "FalseIsARefusal", {{32, 32}}, S_FALSE, S_OK, {32, 32}, {"16/16", "24/24", "32/32"}},
        Negotiation{"OtherSuccessCodesAreRefusals", {}, 0x00087654, E_FAIL, {0, 0}, kAllOffers},
        Negotiation{
            "RefusesEverything", {}, AUDCLNT_E_UNSUPPORTED_FORMAT, E_FAIL, {0, 0}, kAllOffers},
        Negotiation{"FailuresOnlyMoveTheSearchOn",
                    {{32, 24}},
                    AUDCLNT_E_DEVICE_INVALIDATED,
                    S_OK,
                    {32, 24},
                    kAllOffers}),
    [](const testing::TestParamInfo<Negotiation>& param) { return param.param.name; });

TEST(FormatNegotiation, FailedAllocationYieldsOutOfMemoryAndNoFormat) {
    EndpointConfig config;
    config.acceptedFormats = {{24, 24}};
    InstalledEndpoint endpoint(config);
    ActivatedClient client;
    ASSERT_NE(client.get(), nullptr);
    SpiedAllocator allocator;
    ASSERT_TRUE(allocator.registered());
    allocator.spy().failNext = true;

    auto* const untouched = reinterpret_cast<StreamFormat*>(0x1234);
    StreamFormat* format = untouched;
    EXPECT_HR_EQ(FindExclusiveFormat(client.get(), &format), E_OUTOFMEMORY);
    EXPECT_EQ(format, untouched);
    EXPECT_EQ(OfferedWidths(*endpoint), (std::vector<std::string>{"16/16", "24/24"}));
}

}  // namespace
