#include <gtest/gtest.h>

#include "format_allocation_failure.h"
#include "exclusive/exclusive_stream.h"
#include "tone/tone_generator.h"

namespace {

using virtual_endpoint::EndpointConfig;
using virtual_endpoint::Fault;
using virtual_endpoint::VirtualEndpoint;

// The spy registered for the life of a test. A spy that has fired, or that watches another
// thread, never reads the endpoint again, so it may outlive the endpoint in the allocator.
class RegisteredSpy {
  public:
    RegisteredSpy(const VirtualEndpoint& endpoint, DWORD playerThread) {
        auto* spy = new endpoint_dll::FormatAllocationFailure(endpoint, playerThread);
        registered_ = SUCCEEDED(CoRegisterMallocSpy(spy));
        spy->Release();
    }
    ~RegisteredSpy() {
        if (registered_) CoRevokeMallocSpy();
    }
    bool registered() const { return registered_; }

  private:
    bool registered_ = false;
};

bool Allocates(SIZE_T size) {
    void* block = CoTaskMemAlloc(size);
    CoTaskMemFree(block);
    return block != nullptr;
}

IAudioClient* ActivateClient(IMMDeviceEnumerator* enumerator) {
    IMMDevice* device = nullptr;
    IAudioClient* client = nullptr;
    if (SUCCEEDED(enumerator->GetDefaultAudioEndpoint(eRender, eConsole, &device))) {
        device->Activate(IID_IAudioClient, CLSCTX_ALL, nullptr, reinterpret_cast<void**>(&client));
        device->Release();
    }
    return client;
}

WAVEFORMATEXTENSIBLE StereoFormat(WORD bits) {
    WAVEFORMATEXTENSIBLE format{};
    format.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    format.Format.nChannels = 2;
    format.Format.nSamplesPerSec = 48000;
    format.Format.wBitsPerSample = bits;
    format.Format.nBlockAlign = static_cast<WORD>(2 * bits / 8);
    format.Format.nAvgBytesPerSec = 48000u * format.Format.nBlockAlign;
    format.Format.cbSize = 22;
    format.Samples.wValidBitsPerSample = bits;
    format.dwChannelMask = SPEAKER_FRONT_LEFT | SPEAKER_FRONT_RIGHT;
    format.SubFormat = KSDATAFORMAT_SUBTYPE_PCM;
    return format;
}

TEST(FormatAllocationFailure, RefusesOnlyTheFirstFormatBlockAfterAnAcceptedFormat) {
    EndpointConfig config;
    config.acceptedFormats = {{24, 24}};
    VirtualEndpoint endpoint(config);
    ASSERT_HRESULT_SUCCEEDED(endpoint.Install());
    const RegisteredSpy spy(endpoint, GetCurrentThreadId());
    ASSERT_TRUE(spy.registered());

    IMMDeviceEnumerator* enumerator = nullptr;
    ASSERT_HRESULT_SUCCEEDED(CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL,
                                              IID_IMMDeviceEnumerator,
                                              reinterpret_cast<void**>(&enumerator)));
    IAudioClient* client = ActivateClient(enumerator);
    ASSERT_NE(client, nullptr);
    EXPECT_TRUE(Allocates(sizeof(WAVEFORMATEXTENSIBLE))) << "before any format was accepted";

    WAVEFORMATEXTENSIBLE refused = StereoFormat(16);
    EXPECT_NE(client->IsFormatSupported(AUDCLNT_SHAREMODE_EXCLUSIVE, &refused.Format, nullptr),
              S_OK);
    EXPECT_TRUE(Allocates(sizeof(WAVEFORMATEXTENSIBLE))) << "after a refused format";

    WAVEFORMATEXTENSIBLE accepted = StereoFormat(24);
    EXPECT_EQ(client->IsFormatSupported(AUDCLNT_SHAREMODE_EXCLUSIVE, &accepted.Format, nullptr),
              S_OK);
    EXPECT_TRUE(Allocates(sizeof(WAVEFORMATEXTENSIBLE) - 1)) << "another size";
    EXPECT_TRUE(Allocates(sizeof(WAVEFORMATEXTENSIBLE) + 1)) << "another size";
    EXPECT_FALSE(Allocates(sizeof(WAVEFORMATEXTENSIBLE))) << "the format's block";
    EXPECT_TRUE(Allocates(sizeof(WAVEFORMATEXTENSIBLE))) << "only once";

    client->Release();
    enumerator->Release();
}

TEST(FormatAllocationFailure, LeavesOtherThreadsAlone) {
    EndpointConfig config;
    config.faults = {Fault{"IAudioClient::Initialize", 1, AUDCLNT_E_DEVICE_IN_USE}};
    VirtualEndpoint endpoint(config);
    ASSERT_HRESULT_SUCCEEDED(endpoint.Install());
    const RegisteredSpy spy(endpoint, 0);  // no thread has the id 0
    ASSERT_TRUE(spy.registered());
    ToneGenerator generator{};
    // The format block was allocated, so the stream got as far as Initialize.
    EXPECT_EQ(PlayExclusiveStream(generator), AUDCLNT_E_DEVICE_IN_USE);
}

}  // namespace
