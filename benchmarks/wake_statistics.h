// Percentiles of a set of delays in microseconds, as the service-time measurements print them.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <vector>

struct DelayPercentiles {
    double p50 = 0.0;
    double p99 = 0.0;
    double p999 = 0.0;
    double max = 0.0;
};

// The nearest-rank percentiles of `delays` (sorted here); all zero for no delays.
inline DelayPercentiles SummarizeDelays(std::vector<double> delays) {
    DelayPercentiles result;
    if (delays.empty()) return result;
    std::sort(delays.begin(), delays.end());
    const auto rank = [&delays](double fraction) {
        const auto index =
            static_cast<std::size_t>(std::ceil(fraction * static_cast<double>(delays.size())));
        return delays[std::min(std::max<std::size_t>(index, 1), delays.size()) - 1];
    };
    result.p50 = rank(0.50);
    result.p99 = rank(0.99);
    result.p999 = rank(0.999);
    result.max = delays.back();
    return result;
}

// One line: "<what> (us): p50 A  p99 B  p99.9 C  max D".
inline void PrintDelays(const char* what, const DelayPercentiles& delays) {
    std::printf("%s (us): p50 %.1f  p99 %.1f  p99.9 %.1f  max %.1f\n", what, delays.p50, delays.p99,
                delays.p999, delays.max);
}
