// bit-perfect-check: whether a recording holds the 500 Hz tone exactly.
// Usage: bit-perfect-check WAV
// Prints one line, "bit-perfect: yes, ..." or "bit-perfect: no, ..."; exits 0 for yes, 1 for
// no, 2 when the file cannot be read (with the reason on standard error).

#include <iostream>
#include <string>

#include "check.h"
#include "recording.h"
#include "tone/sine_products.h"
#include "wav_reader.h"

int main(int argc, char** argv) {
    // The expected tone comes from the player's own sine, with the arithmetic the player would
    // take here, or the one the environment names.
    if (const char* problem = SineProductsRequestProblem(ApplySineProductsRequest())) {
        std::cerr << "bit-perfect-check: " << problem << '\n';
    }
    if (argc != 2 || argv[1][0] == '\0') {
        std::cerr << "usage: bit-perfect-check WAV\n";
        return 2;
    }
    WavAudio audio;
    const std::string problem = ReadWavAudio(argv[1], audio);
    if (!problem.empty()) {
        std::cerr << "bit-perfect-check: " << argv[1] << ": " << problem << '\n';
        return 2;
    }
    const CheckResult result = CheckRecording(MakeRecording(std::move(audio)));
    std::cout << VerdictLine(result) << '\n';
    return result.bitPerfect ? 0 : 1;
}
