#include "virtual_endpoint/event_schedule.h"

namespace virtual_endpoint {

EventSchedule::Burst EventSchedule::Next() {
    if (!irregular_ || index_ == 0) {
        ++index_;
        return {static_cast<double>(index_ - 1), 1};
    }
    // The top three bits of a draw: one value in eight makes a pair.
    if (Draw() >> 29 == 0) {
        ++index_;  // held back: it comes with the next one
        const Burst pair{Due(), 2};
        ++index_;
        return pair;
    }
    const Burst single{Due(), 1};
    ++index_;
    return single;
}

std::uint32_t EventSchedule::Draw() {
    // A linear congruential generator (Knuth's and Lewis's constants); only its high bits are used.
    random_ = random_ * 1664525u + 1013904223u;
    return random_;
}

double EventSchedule::Due() {
    // 24 high bits as a fraction in [0, 1), shifted to [-0.5, 0.5).
    const double jitter = static_cast<double>(Draw() >> 8) / 16777216.0 - 0.5;
    return static_cast<double>(index_) + jitter;
}

}  // namespace virtual_endpoint
