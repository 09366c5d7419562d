// Streams the player in real time on the virtual endpoint (3 ms period) and reports, from the
// endpoint's own clock, how long the player takes from the buffer event to the matching
// ReleaseBuffer, how many buffers came late and how many periods were lost. Every frame the
// endpoint receives is compared, as it arrives, with the comparison tone (reference_tone.h),
// which shares only the sine routine with the player's generator.
//
// Usage: stream_service_time [--seconds S]     (default 60)
// Exits 0 when every frame matched and every reference was released.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>
#include <vector>

#include "exclusive/exclusive_stream.h"
#include "reference_tone.h"
#include "result_report.h"
#include "tone/tone_generator.h"
#include "virtual_endpoint/virtual_endpoint.h"
#include "wake_statistics.h"

namespace {

constexpr double kPeriodMicroseconds = 3000.0;

// Compares the stream, as it arrives, with the tone from frame 0 on.
class ToneVerifier {
  public:
    explicit ToneVerifier(std::uint32_t bits) : bits_(bits), reference_(48000, 2, bits) {}
    void Check(const std::uint8_t* bytes, std::size_t size) {
        const std::size_t frameBytes = 2u * bits_ / 8;
        const auto frames = static_cast<std::uint32_t>(size / frameBytes);
        const std::uint64_t first = reference_.nextFrame();
        reference_.Next(frames, expected_);
        if (size % frameBytes != 0 || std::memcmp(bytes, expected_.data(), size) != 0) {
            if (mismatchedBuffers_++ == 0) firstMismatchFrame_ = first;
        }
    }
    std::uint64_t frames() const { return reference_.nextFrame(); }
    std::uint64_t mismatchedBuffers() const { return mismatchedBuffers_; }
    std::uint64_t firstMismatchFrame() const { return firstMismatchFrame_; }

  private:
    std::uint32_t bits_;
    reference_tone::ReferenceTone reference_;
    std::vector<std::uint8_t> expected_;
    std::uint64_t mismatchedBuffers_ = 0;
    std::uint64_t firstMismatchFrame_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    double seconds = 60.0;
    if (argc == 3 && std::strcmp(argv[1], "--seconds") == 0) seconds = std::atof(argv[2]);
    if ((argc != 1 && argc != 3) || seconds <= 0.0) {
        std::fprintf(stderr, "usage: stream_service_time [--seconds S]\n");
        return 2;
    }
    static_cast<void>(CoInitialize(nullptr));

    // The endpoint offers only 24-bit stereo, so the verifier knows the shape from the start.
    ToneVerifier verifier(24);
    virtual_endpoint::EndpointConfig config = virtual_endpoint::RealTimeEndpoint(seconds);
    config.acceptedFormats = {{24, 24}};
    config.recordCalls = false;
    config.frameSink = [&verifier](const std::uint8_t* bytes, std::size_t size) {
        verifier.Check(bytes, size);
    };
    virtual_endpoint::VirtualEndpoint endpoint(config);
    if (FAILED(endpoint.Install())) {
        std::fprintf(stderr, "cannot install the virtual endpoint\n");
        return 1;
    }
    ToneGenerator generator{};
    std::ostringstream messages;
    std::streambuf* const console = std::cout.rdbuf(messages.rdbuf());
    const HRESULT result = PlayExclusiveStream(generator);
    std::cout.rdbuf(console);
    WriteResultReport(messages, result);
    endpoint.Uninstall();

    std::vector<double> serviceTimes;
    std::uint64_t late = 0;
    std::uint64_t lost = 0;
    for (const virtual_endpoint::PeriodTiming& period : endpoint.Timings()) {
        if (!period.bufferReleased) {
            ++lost;
            continue;
        }
        const double serviceTime = *period.bufferReleased - period.eventSet;
        serviceTimes.push_back(serviceTime);
        if (serviceTime > kPeriodMicroseconds) ++late;
    }

    const long outstanding = endpoint.OutstandingReferences();
    std::printf("%s\n", messages.str().c_str());
    std::printf("periods: %llu of 3 ms (%.1f s)\n",
                static_cast<unsigned long long>(endpoint.EventsSet()), seconds);
    PrintDelays("service time, event to ReleaseBuffer", SummarizeDelays(serviceTimes));
    std::printf("late buffers: %llu  lost periods: %llu\n", static_cast<unsigned long long>(late),
                static_cast<unsigned long long>(lost));
    std::printf("frames compared with the tone: %llu, buffers differing: %llu",
                static_cast<unsigned long long>(verifier.frames()),
                static_cast<unsigned long long>(verifier.mismatchedBuffers()));
    if (verifier.mismatchedBuffers() != 0) {
        std::printf(" (first at frame %llu)",
                    static_cast<unsigned long long>(verifier.firstMismatchFrame()));
    }
    std::printf("\nreferences outstanding: %ld\n", outstanding);
    return verifier.mismatchedBuffers() == 0 && outstanding == 0 && verifier.frames() > 0 ? 0 : 1;
}
