// The stand-in endpoint must answer protocol mistakes as the platform does, or the player's
// tests would pass against a device more forgiving than real ones.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include "endpoint_client.h"
#include "virtual_endpoint/event_schedule.h"

namespace {

using virtual_endpoint::EndpointConfig;
using virtual_endpoint::Fault;
using virtual_endpoint::VirtualEndpoint;

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

// The audio service sets the event through a handle of its own: a player that closes its
// handle mid-stream, and makes another event that may get the same handle value, leaves the
// endpoint setting the first event, never the new one.
TEST(EndpointProtocol, SetsTheEventThroughItsOwnHandle) {
    InstalledEndpoint endpoint(EndpointConfig{});
    Client client;
    ASSERT_HR_EQ(client.Prepare(), S_OK);
    HANDLE witness = nullptr;  // a second handle to the player's event
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), client.event(), GetCurrentProcess(), &witness,
                                0, FALSE, DUPLICATE_SAME_ACCESS));
    CloseHandle(client.event());
    const HANDLE newer = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    ASSERT_HR_EQ(client.Lend(), S_OK);
    ASSERT_HR_EQ(client.render->ReleaseBuffer(144, 0), S_OK);
    ASSERT_HR_EQ(client.audio->Start(), S_OK);
    EXPECT_EQ(WaitForSingleObject(witness, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(newer, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    CloseHandle(newer);
    CloseHandle(witness);
}

// Two events before the player waits wake it once and free one buffer, not two: the running
// device always plays the other. The second period found nothing queued, so the device takes
// the next buffer at once and sets the event for the other. The stream's last events are its
// first pair.
TEST(EndpointProtocol, APairOfEventsFreesOneBuffer) {
    virtual_endpoint::EventSchedule schedule(true);
    std::uint64_t eventsToFirstPair = 0;
    for (unsigned events = 0; events != 2;) {
        events = schedule.Next().events;
        eventsToFirstPair += events;
    }
    EndpointConfig config;
    config.irregularEvents = true;
    config.eventLimit = eventsToFirstPair;
    InstalledEndpoint endpoint(config);
    Client client;
    ASSERT_HR_EQ(client.Prepare(), S_OK);
    ASSERT_HR_EQ(client.Lend(), S_OK);
    ASSERT_HR_EQ(client.render->ReleaseBuffer(144, 0), S_OK);
    ASSERT_HR_EQ(client.audio->Start(), S_OK);
    for (std::uint64_t wake = 0; wake + 2 < eventsToFirstPair; ++wake) {
        ASSERT_EQ(WaitForSingleObject(client.event(), 0), WAIT_OBJECT_0) << wake;
        ASSERT_HR_EQ(client.Lend(), S_OK);
        ASSERT_HR_EQ(client.render->ReleaseBuffer(144, 0), S_OK);
    }
    ASSERT_EQ(endpoint->EventsSet(), eventsToFirstPair);
    EXPECT_EQ(WaitForSingleObject(client.event(), 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(client.event(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
    ASSERT_HR_EQ(client.Lend(), S_OK);
    EXPECT_HR_EQ(client.Lend(), AUDCLNT_E_OUT_OF_ORDER);
    ASSERT_HR_EQ(client.render->ReleaseBuffer(144, 0), S_OK);
    EXPECT_EQ(WaitForSingleObject(client.event(), 0), WAIT_OBJECT_0) << "the starved device";
    ASSERT_HR_EQ(client.Lend(), S_OK);
    ASSERT_HR_EQ(client.render->ReleaseBuffer(144, 0), S_OK);
    EXPECT_EQ(WaitForSingleObject(client.event(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_HR_EQ(client.Lend(), AUDCLNT_E_BUFFER_TOO_LARGE);
}

// The irregular schedule: every event once, each within half a period of its own time, dues in
// order, and pairs as well as single events.
TEST(EventSchedules, KeepEveryEventWithinHalfAPeriod) {
    virtual_endpoint::EventSchedule regular(false);
    virtual_endpoint::EventSchedule irregular(true);
    std::uint64_t event = 0;
    unsigned pairs = 0;
    double lastDue = 0.0;
    for (int burst = 0; burst < 10000; ++burst) {
        const virtual_endpoint::EventSchedule::Burst next = regular.Next();
        ASSERT_EQ(next.due, burst);
        ASSERT_EQ(next.events, 1u);
        const virtual_endpoint::EventSchedule::Burst uneven = irregular.Next();
        ASSERT_GE(uneven.due, lastDue) << burst;
        lastDue = uneven.due;
        if (uneven.events == 2) ++pairs;
        event += uneven.events;
        // A pair comes at its second event's time; the first is the one held back.
        const double own = static_cast<double>(event - 1);
        ASSERT_LE(std::abs(uneven.due - own), 0.5) << burst;
    }
    EXPECT_GT(pairs, 1000u);
    EXPECT_LT(pairs, 1500u);  // about one burst in eight
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
