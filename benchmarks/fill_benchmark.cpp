// The cost of FillBuffer beside its floor: a loop that computes the same phase and sine for the
// same frames in the same order of operations and keeps their sum. Prints the ratio of each
// width to the floor and the share of a 3 ms period that filling 144 frames takes, and fails
// when a ratio is above the target.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "tone/tone_generator.h"

namespace {

constexpr double kTargetRatio = 1.10;
constexpr double kPeriodMicroseconds = 3000.0;
constexpr std::uint64_t kFirstFrame = 1000003;  // away from zero, like a stream in progress
const std::vector<std::uint32_t> kWidths{16, 24, 32};
const std::vector<std::uint32_t> kFrameCounts{144, 480};

void SineFloor(benchmark::State& state) {
    const auto frames = static_cast<std::uint32_t>(state.range(0));
    const double rate = 48000.0;
    std::uint64_t frame = kFirstFrame;
    double sum = 0.0;
    for (auto _ : state) {
        for (std::uint32_t i = 0; i < frames; ++i) {
            sum += std::sin(static_cast<double>(frame++) * 1000.0 * 3.141592653589793 / rate);
        }
        benchmark::DoNotOptimize(sum);
    }
}

void FillBuffer(benchmark::State& state) {
    const auto bits = static_cast<std::uint32_t>(state.range(0));
    const auto frames = static_cast<std::uint32_t>(state.range(1));
    ToneGenerator tone{48000, 2, bits, kFirstFrame};
    std::vector<std::uint8_t> buffer(std::size_t{frames} * 2 * bits / 8);
    std::uint32_t flags = 0;
    for (auto _ : state) {
        tone.FillBuffer(frames, buffer.data(), &flags);
        benchmark::DoNotOptimize(buffer.data());
        benchmark::ClobberMemory();
    }
}

// Keeps the fastest repetition of each benchmark, in microseconds per call; the table printed
// at the end is the report.
class FastestRunReporter : public benchmark::BenchmarkReporter {
  public:
    bool ReportContext(const Context&) override { return true; }
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
            const std::string name = run.run_name.function_name + "/" + run.run_name.args;
            const double time = run.GetAdjustedRealTime();
            auto found = fastest.find(name);
            if (found == fastest.end() || time < found->second) fastest[name] = time;
        }
    }
    std::map<std::string, double> fastest;
};

std::string FloorName(std::uint32_t frames) { return "SineFloor/" + std::to_string(frames); }
std::string FillName(std::uint32_t bits, std::uint32_t frames) {
    return "FillBuffer/" + std::to_string(bits) + "/" + std::to_string(frames);
}

}  // namespace

int main(int argc, char** argv) {
    for (std::uint32_t frames : kFrameCounts) {
        benchmark::RegisterBenchmark("SineFloor", SineFloor)
            ->Arg(frames)
            ->Repetitions(15)
            ->Unit(benchmark::kMicrosecond);
        for (std::uint32_t bits : kWidths) {
            benchmark::RegisterBenchmark("FillBuffer", FillBuffer)
                ->Args({bits, frames})
                ->Repetitions(15)
                ->Unit(benchmark::kMicrosecond);
        }
    }
    // Repetitions of all benchmarks interleave at random, so that a slow spell of the machine
    // does not fall on one side of a ratio; each side keeps its fastest repetition.
    std::vector<char*> arguments(argv, argv + argc);
    char interleave[] = "--benchmark_enable_random_interleaving=true";
    arguments.insert(arguments.begin() + 1, interleave);
    int count = static_cast<int>(arguments.size());
    benchmark::Initialize(&count, arguments.data());
    FastestRunReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    bool met = true;
    std::printf("\n%-7s %-6s %12s %12s %8s %14s\n", "frames", "bits", "fill (us)", "floor (us)",
                "ratio", "share of 3 ms");
    for (std::uint32_t frames : kFrameCounts) {
        const double floor = reporter.fastest[FloorName(frames)];
        for (std::uint32_t bits : kWidths) {
            const double fill = reporter.fastest[FillName(bits, frames)];
            const double ratio = fill / floor;
            met = met && ratio <= kTargetRatio;
            std::printf("%-7u %-6u %12.3f %12.3f %8.3f %13.2f%%%s\n", frames, bits, fill, floor,
                        ratio, 100.0 * fill / kPeriodMicroseconds,
                        ratio <= kTargetRatio ? "" : "  above target");
        }
    }
    std::printf("target: FillBuffer within %.2f times the floor: %s\n", kTargetRatio,
                met ? "met" : "MISSED");
    return met ? 0 : 1;
}
