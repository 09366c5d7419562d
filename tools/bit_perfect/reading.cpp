#include "reading.h"

#include "recording.h"

namespace {

constexpr CodeRange kNothing{1, 0};

std::int64_t RoundedDown(std::int64_t code, std::uint32_t bits) {
    const std::int64_t step = std::int64_t{1} << bits;
    return code - (((code % step) + step) % step);
}

}  // namespace

CodeRange AllowedCodes(double sample, std::uint32_t shift, const Reading& reading) {
    std::int64_t code;
    if (!CodeAt(sample, shift, code)) return kNothing;
    switch (reading.kind) {
        case Reading::Kind::kExact:
            return {code, code};
        case Reading::Kind::kNegated:
            return {-code, -code};
        case Reading::Kind::kTruncated:
            if (RoundedDown(code, reading.lostBits) != code) return kNothing;
            return {code, code + (std::int64_t{1} << reading.lostBits) - 1};
        case Reading::Kind::kFloatRounded: {
            // Codes of 2^24 and more lose bits in a float: half its last place either side.
            const std::int64_t magnitude = code < 0 ? -code : code;
            std::int64_t half = 0;
            for (std::int64_t top = std::int64_t{1} << 24; top <= magnitude; top <<= 1) {
                half = half == 0 ? 1 : half * 2;
            }
            return {code - half, code + half};
        }
    }
    return kNothing;
}

bool Matches(double sample, std::uint32_t shift, const Reading& reading, std::int64_t code) {
    if (reading.kind == Reading::Kind::kFloatRounded) {
        // Rounding to float, to nearest even, as the recorder did.
        return sample == static_cast<double>(static_cast<float>(static_cast<double>(code)));
    }
    std::int64_t recorded;
    if (!CodeAt(sample, shift, recorded)) return false;
    switch (reading.kind) {
        case Reading::Kind::kExact:
            return recorded == code;
        case Reading::Kind::kNegated:
            return recorded == -code;
        case Reading::Kind::kTruncated:
            return recorded == RoundedDown(code, reading.lostBits);
        case Reading::Kind::kFloatRounded:
            break;
    }
    return false;
}
