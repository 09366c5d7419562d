// The stand-in endpoint must answer protocol mistakes as the platform does, or the player's
// tests would pass against a device more forgiving than real ones.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include "exclusive/exclusive_format.h"
#include "stream_harness.h"

namespace {

using virtual_endpoint::EndpointConfig;
using virtual_endpoint::Fault;
using virtual_endpoint::VirtualEndpoint;

// A client of the installed endpoint, opened as far as a step needs.
class Client {
  public:
    Client() {
        CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL, IID_IMMDeviceEnumerator,
                         reinterpret_cast<void**>(&enumerator_));
        enumerator_->GetDefaultAudioEndpoint(eRender, eConsole, &device_);
        device_->Activate(IID_IAudioClient, CLSCTX_ALL, nullptr, reinterpret_cast<void**>(&audio));
        event_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    }
    ~Client() {
        if (render != nullptr) render->Release();
        audio->Release();
        device_->Release();
        enumerator_->Release();
        CloseHandle(event_);
    }
    HRESULT Initialize(REFERENCE_TIME duration = 30000, REFERENCE_TIME period = 30000) {
        return audio->Initialize(AUDCLNT_SHAREMODE_EXCLUSIVE, AUDCLNT_STREAMFLAGS_EVENTCALLBACK,
                                 duration, period, &format_.Format, nullptr);
    }
    HRESULT Prepare() {  // initialised, event set, render service obtained
        HRESULT result = Initialize();
        if (SUCCEEDED(result)) result = audio->SetEventHandle(event_);
        if (SUCCEEDED(result)) {
            result = audio->GetService(IID_IAudioRenderClient, reinterpret_cast<void**>(&render));
        }
        return result;
    }
    HRESULT Lend(UINT32 frames = 144) {
        BYTE* data = nullptr;
        return render->GetBuffer(frames, &data);
    }
    HANDLE event() const { return event_; }

    IAudioClient* audio = nullptr;
    IAudioRenderClient* render = nullptr;

  private:
    IMMDeviceEnumerator* enumerator_ = nullptr;
    IMMDevice* device_ = nullptr;
    HANDLE event_ = nullptr;
    StreamFormat format_ = MakeStreamFormat({24, 24});
};

struct Mistake {
    const char* name;
    std::function<HRESULT(Client&)> steps;  // the last step's result is checked
    HRESULT expected;
};

void PrintTo(const Mistake& row, std::ostream* out) { *out << row.name; }

class EndpointProtocol : public testing::TestWithParam<Mistake> {};

TEST_P(EndpointProtocol, AnswersAsThePlatformDoes) {
    InstalledEndpoint endpoint(EndpointConfig{});
    ASSERT_TRUE(endpoint.installed());
    {
        Client client;
        EXPECT_HR_EQ(GetParam().steps(client), GetParam().expected);
    }
    EXPECT_EQ(endpoint->OutstandingReferences(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Mistakes, EndpointProtocol,
    testing::Values(Mistake{"SizeBeforeInitialize",
                            [](Client& c) {
                                UINT32 frames = 0;
                                return c.audio->GetBufferSize(&frames);
                            },
                            AUDCLNT_E_NOT_INITIALIZED},
                    Mistake{"StartBeforeInitialize", [](Client& c) { return c.audio->Start(); },
                            AUDCLNT_E_NOT_INITIALIZED},
                    Mistake{"SecondInitialize",
                            [](Client& c) {
                                c.Initialize();
                                return c.Initialize();
                            },
                            AUDCLNT_E_ALREADY_INITIALIZED},
                    Mistake{"DurationUnlikePeriod",
                            [](Client& c) { return c.Initialize(60000, 30000); },
                            AUDCLNT_E_BUFDURATION_PERIOD_NOT_EQUAL},
                    Mistake{"PeriodBelowMinimum",
                            [](Client& c) { return c.Initialize(20000, 20000); },
                            AUDCLNT_E_INVALID_DEVICE_PERIOD},
                    Mistake{"StartWithoutEvent",
                            [](Client& c) {
                                c.Initialize();
                                return c.audio->Start();
                            },
                            AUDCLNT_E_EVENTHANDLE_NOT_SET},
                    Mistake{"NullEvent",
                            [](Client& c) {
                                c.Initialize();
                                return c.audio->SetEventHandle(nullptr);
                            },
                            E_INVALIDARG},
                    Mistake{"PartOfTheBuffer",
                            [](Client& c) {
                                c.Prepare();
                                return c.Lend(100);
                            },
                            AUDCLNT_E_BUFFER_SIZE_ERROR},
                    Mistake{"MoreThanTheBuffer",
                            [](Client& c) {
                                c.Prepare();
                                return c.Lend(145);
                            },
                            AUDCLNT_E_BUFFER_TOO_LARGE},
                    Mistake{"ReleaseWithoutGet",
                            [](Client& c) {
                                c.Prepare();
                                return c.render->ReleaseBuffer(144, 0);
                            },
                            AUDCLNT_E_OUT_OF_ORDER},
                    Mistake{"GetTwice",
                            [](Client& c) {
                                c.Prepare();
                                c.Lend();
                                return c.Lend();
                            },
                            AUDCLNT_E_OUT_OF_ORDER},
                    Mistake{"ReleaseMoreThanLent",
                            [](Client& c) {
                                c.Prepare();
                                c.Lend();
                                return c.render->ReleaseBuffer(145, 0);
                            },
                            AUDCLNT_E_INVALID_SIZE},
                    Mistake{"UnknownFlags",
                            [](Client& c) {
                                c.Prepare();
                                c.Lend();
                                return c.render->ReleaseBuffer(144, 0x80);
                            },
                            E_INVALIDARG},
                    Mistake{"SecondBufferBeforeAnEvent",
                            [](Client& c) {
                                c.Prepare();
                                c.Lend();
                                c.render->ReleaseBuffer(144, 0);
                                return c.Lend();
                            },
                            AUDCLNT_E_BUFFER_TOO_LARGE},
                    Mistake{"StartTwice",
                            [](Client& c) {
                                c.Prepare();
                                c.audio->Start();
                                return c.audio->Start();
                            },
                            AUDCLNT_E_NOT_STOPPED},
                    Mistake{"StopWhenStopped",
                            [](Client& c) {
                                c.Prepare();
                                return c.audio->Stop();
                            },
                            S_FALSE}),
    [](const testing::TestParamInfo<Mistake>& param) { return param.param.name; });

TEST(EndpointProtocol, EachEventFreesOneBuffer) {
    InstalledEndpoint endpoint(EndpointConfig{});
    Client client;
    ASSERT_HR_EQ(client.Prepare(), S_OK);
    ASSERT_HR_EQ(client.Lend(), S_OK);  // the pre-roll
    ASSERT_HR_EQ(client.render->ReleaseBuffer(144, 0), S_OK);
    ASSERT_HR_EQ(client.audio->Start(), S_OK);
    for (int period = 0; period < 3; ++period) {
        ASSERT_EQ(WaitForSingleObject(client.event(), 0), WAIT_OBJECT_0) << period;
        ASSERT_HR_EQ(client.Lend(), S_OK);
        ASSERT_HR_EQ(client.render->ReleaseBuffer(144, AUDCLNT_BUFFERFLAGS_SILENT), S_OK);
    }
    // Silent buffers reach the endpoint as zeros; everything released was kept.
    const std::vector<std::uint8_t> captured = endpoint->CapturedBytes();
    ASSERT_EQ(captured.size(), 4u * 144u * 6u);
    EXPECT_TRUE(
        std::all_of(captured.begin() + 864, captured.end(), [](std::uint8_t b) { return b == 0; }));
}

// A fault that never fires would let a test pass without testing anything.
TEST(EndpointFaults, ReportsEachFaultWhoseCallNeverCame) {
    EndpointConfig config;
    config.faults = {{"IAudioClient::Start", 1, E_ACCESSDENIED},
                     {"IAudioClient::Start", 2, E_ACCESSDENIED},
                     {"IAudioClient::Reset", 1, E_ACCESSDENIED}};
    VirtualEndpoint endpoint(config);
    ASSERT_HR_EQ(endpoint.Install(), S_OK);
    {
        Client client;
        ASSERT_HR_EQ(client.Prepare(), S_OK);
        EXPECT_HR_EQ(client.audio->Start(), E_ACCESSDENIED);
    }
    std::vector<std::string> unfired;
    for (const Fault& fault : endpoint.UnfiredFaults()) {
        unfired.push_back(fault.method + " " + std::to_string(fault.occurrence));
    }
    EXPECT_EQ(unfired,
              (std::vector<std::string>{"IAudioClient::Start 2", "IAudioClient::Reset 1"}));
}

TEST(EndpointFaults, InstallRefusesFaultsThatCannotFire) {
    for (const Fault& fault :
         {Fault{"IAudioClient::Stopp", 1, E_FAIL}, Fault{"IAudioClient::AddRef", 1, E_FAIL},
          Fault{"IAudioClient::Stop", 0, E_FAIL}}) {
        EndpointConfig config;
        config.faults = {fault};
        VirtualEndpoint endpoint(config);
        EXPECT_HR_EQ(endpoint.Install(), E_INVALIDARG) << fault.method << " " << fault.occurrence;
    }
}

// COM lets any thread call AddRef and Release: the count must lose none of them. The class
// object's count is the one not also guarded by the endpoint's lock.
TEST(EndpointReferences, CountCallsFromManyThreadsExactly) {
    InstalledEndpoint endpoint(EndpointConfig{});
    IClassFactory* factory = nullptr;
    ASSERT_HR_EQ(CoGetClassObject(CLSID_MMDeviceEnumerator, CLSCTX_INPROC_SERVER, nullptr,
                                  IID_IClassFactory, reinterpret_cast<void**>(&factory)),
                 S_OK);
    const ULONG before = factory->AddRef();
    std::atomic<bool> go{false};  // all threads at once, so their calls overlap
    std::vector<std::thread> threads;
    for (int thread = 0; thread < 4; ++thread) {
        threads.emplace_back([factory, &go] {
            while (!go) std::this_thread::yield();
            for (int i = 0; i < 1000000; ++i) {
                factory->AddRef();
                factory->Release();
            }
        });
    }
    go = true;
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(factory->Release(), before - 1);
    factory->Release();
}

}  // namespace
