#pragma once

#include <cstdint>

namespace virtual_endpoint {

// When a stream's buffer events come, counted in periods from Start. A regular device sets
// event k at k periods. An irregular one (a USB dock) sets each event up to half a period early
// or late, and about one in eight is held back to come together with the next, as a pair. The
// sequence is fixed, so every run of a stream sees the same events; the first comes at Start,
// and dues never decrease.
class EventSchedule {
  public:
    struct Burst {
        double due;       // periods since Start
        unsigned events;  // 1, or 2 for a pair
    };

    explicit EventSchedule(bool irregular) : irregular_(irregular) {}

    Burst Next();

  private:
    std::uint32_t Draw();
    // Where event index_ comes, in periods: its own index plus up to half a period either way.
    double Due();

    bool irregular_;
    std::uint64_t index_ = 0;  // of the next event
    std::uint32_t random_ = 0x2545f491u;
};

}  // namespace virtual_endpoint
