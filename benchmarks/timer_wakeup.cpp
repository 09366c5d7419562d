// The machine's own limit for a thread that must run every 3 ms: a plain thread sleeps until
// each 3 ms deadline on the system's timer and records how late it woke. Built natively (the
// kernel's timer) and for Windows (a waitable timer, which under Wine goes through its server
// like the player's buffer event), so that the stream's service time can be read beside what
// the machine delivers without the player.
//
// Usage: timer_wakeup [--seconds S]     (default 20)
// Prints the lateness percentiles and the wakes more than a period late.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "wake_statistics.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <thread>
#endif

namespace {

constexpr std::chrono::microseconds kPeriod{3000};
using Clock = std::chrono::steady_clock;

#ifdef _WIN32
// A waitable timer set to each absolute deadline, in the same high-priority thread class as
// the endpoint's clock.
class DeadlineSleeper {
  public:
    DeadlineSleeper() : timer_(CreateWaitableTimerW(nullptr, TRUE, nullptr)) {
        SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
    }
    ~DeadlineSleeper() {
        if (timer_ != nullptr) CloseHandle(timer_);
    }
    DeadlineSleeper(const DeadlineSleeper&) = delete;
    DeadlineSleeper& operator=(const DeadlineSleeper&) = delete;
    bool ok() const { return timer_ != nullptr; }
    void SleepUntil(Clock::time_point deadline) {
        const auto remaining = deadline - Clock::now();
        if (remaining <= Clock::duration::zero()) return;
        LARGE_INTEGER due;  // negative: relative, in 100-ns units
        due.QuadPart = -std::chrono::duration_cast<
                            std::chrono::duration<std::int64_t, std::ratio<1, 10000000>>>(remaining)
                            .count();
        if (SetWaitableTimer(timer_, &due, 0, nullptr, nullptr, FALSE)) {
            WaitForSingleObject(timer_, INFINITE);
        }
    }

  private:
    HANDLE timer_;
};
#else
class DeadlineSleeper {
  public:
    bool ok() const { return true; }
    void SleepUntil(Clock::time_point deadline) { std::this_thread::sleep_until(deadline); }
};
#endif

}  // namespace

int main(int argc, char** argv) {
    double seconds = 20.0;
    if (argc == 3 && std::strcmp(argv[1], "--seconds") == 0) seconds = std::atof(argv[2]);
    if ((argc != 1 && argc != 3) || seconds <= 0.0) {
        std::fprintf(stderr, "usage: timer_wakeup [--seconds S]\n");
        return 2;
    }
    DeadlineSleeper sleeper;
    if (!sleeper.ok()) {
        std::fprintf(stderr, "timer_wakeup: no timer\n");
        return 1;
    }
    const auto wakes =
        static_cast<std::size_t>(seconds * 1e6 / static_cast<double>(kPeriod.count()));
    std::vector<double> lateness;
    lateness.reserve(wakes);
    std::size_t late = 0;
    Clock::time_point deadline = Clock::now();
    for (std::size_t i = 0; i < wakes; ++i) {
        deadline += kPeriod;
        sleeper.SleepUntil(deadline);
        const double delay =
            std::chrono::duration<double, std::micro>(Clock::now() - deadline).count();
        lateness.push_back(delay);
        if (delay > static_cast<double>(kPeriod.count())) {
            ++late;
            deadline = Clock::now();  // a held-up clock starts afresh, as the endpoint's does
        }
    }
    std::printf("wakes: %zu of 3 ms (%.1f s)\n", wakes, seconds);
    PrintDelays("wake-up lateness", SummarizeDelays(lateness));
    std::printf("late wakes (more than a period): %zu\n", late);
    return 0;
}
