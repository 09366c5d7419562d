// capture-analysis: what an audio analyser reports on a captured 500 Hz tone.
// Usage: capture-analysis [--seconds S] [--plot-data FOLDER] WAV
// Prints the summary line and the verdict; exits 0 when the capture passes, 1 when the analysis
// flags it, 2 when the file cannot be read or the command line is wrong.

#include <cstdlib>
#include <iostream>
#include <string>

#include "capture_analysis.h"
#include "pcm_capture.h"
#include "plot_data.h"

namespace {

int Usage() {
    std::cerr << "usage: capture-analysis [--seconds S] [--plot-data FOLDER] WAV\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    AnalysisSettings settings;
    std::string plotFolder;
    std::string wavPath;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--seconds" && i + 1 < argc) {
            settings.seconds = std::atof(argv[++i]);
            if (!(settings.seconds > 0)) return Usage();
        } else if (argument == "--plot-data" && i + 1 < argc) {
            plotFolder = argv[++i];
        } else if (wavPath.empty() && !argument.empty() && argument[0] != '-') {
            wavPath = argument;
        } else {
            return Usage();
        }
    }
    if (wavPath.empty()) return Usage();

    PcmCapture capture;
    const std::string problem = ReadWavFile(wavPath, capture);
    if (!problem.empty()) {
        std::cerr << "capture-analysis: " << wavPath << ": " << problem << '\n';
        return 2;
    }
    const CaptureAnalysis analysis = AnalyseCapture(capture, settings);
    std::cout << SummaryLine(analysis) << '\n' << VerdictLine(analysis) << '\n';
    if (!plotFolder.empty()) {
        const std::string failure = WritePlotData(plotFolder, capture, analysis);
        if (!failure.empty()) {
            std::cerr << "capture-analysis: " << failure << '\n';
            return 2;
        }
    }
    return analysis.flags.empty() ? 0 : 1;
}
