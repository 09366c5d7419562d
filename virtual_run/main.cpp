// exclusive-tone-virtual: the player's own stream, played on the virtual exclusive endpoint
// instead of audio hardware. The endpoint is set up like a typical HD-audio device (3 ms
// minimum period, refuses 16-bit, plays 24-bit), paces the stream in real time, and stops
// setting the buffer event after the chosen time, so the run ends through the event time-out.
//
// Usage: exclusive-tone-virtual [--seconds S] [--wav FILE]
// Prints the player's two messages, then the path of the WAV file of everything it received.

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "exclusive/exclusive_stream.h"
#include "result_report.h"
#include "tone/tone_generator.h"
#include "virtual_endpoint/virtual_endpoint.h"

namespace {

struct Options {
    double seconds = 5.0;
    std::string wavPath = "exclusive-tone.wav";
};

bool ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (std::strcmp(argv[i], "--seconds") == 0 && hasValue) {
            options.seconds = std::atof(argv[++i]);
        } else if (std::strcmp(argv[i], "--wav") == 0 && hasValue) {
            options.wavPath = argv[++i];
        } else {
            return false;
        }
    }
    return options.seconds > 0.0;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::cerr << "usage: exclusive-tone-virtual [--seconds S] [--wav FILE]\n";
        return 2;
    }
    static_cast<void>(CoInitialize(nullptr));

    virtual_endpoint::VirtualEndpoint endpoint(virtual_endpoint::RealTimeEndpoint(options.seconds));
    const HRESULT installed = endpoint.Install();
    if (FAILED(installed)) {
        std::cerr << "cannot install the virtual endpoint: ";
        WriteResultReport(std::cerr, installed);
        std::cerr << "\n";
        return 1;
    }

    ToneGenerator generator{};
    const HRESULT result = PlayExclusiveStream(generator);
    WriteResultReport(std::cout, result);
    std::cout << std::endl;
    endpoint.Uninstall();

    const auto format = endpoint.StreamFormat();
    if (!format) return 0;  // the stream never started: nothing was received
    if (!virtual_endpoint::WriteWavFile(options.wavPath, *format, endpoint.CapturedBytes())) {
        std::cerr << "cannot write " << options.wavPath << "\n";
        return 1;
    }
    std::cout << options.wavPath << std::endl;
    return endpoint.OutstandingReferences() == 0 ? 0 : 1;
}
