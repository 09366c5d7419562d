// The correctly rounded sine: a quick double-double evaluation whose error bound settles the
// rounding for all but about one argument in five thousand, and an exact multiword path for those.
//
// Quick path:
//   1. x = j pi/512 + r modulo 2 pi, |r.hi| <= 2^-8.348 (pi/1024 and a hair), r a double-double.
//      Below 2^30 by a four-part pi/512 in doubles; above, by the bits of 2/pi in 64-bit integer
//      arithmetic. r is exact to 2^-137.6 |x| below 2^30 and to 2^-125.3 above (plus 2^-106 and
//      2^-103.3 of |r.hi| from the double-double arithmetic), so that sines near zero keep their
//      accuracy: where j is 0 or 512, |r.hi| is at least 2^-59.96 for every double.
//   2. sin x = S cos r + C sin r, with S = sin(j pi/512) and C = cos(j pi/512) from a table of
//      double-doubles, and short Taylor polynomials for cos r - 1 and sin r - r.
// Below 2^-9, r = x and j = 0; below 2^-26, sin x rounds to x itself.
//   3. The result is hi + lo within |hi| kRelativeError plus the reduction's bound of the exact
//      sine; when both ends of that interval round to the same double, it is the answer.
// tools/sine_constants/prove_sine_bounds.py proves those bounds (sine_bounds.h) operation by
// operation, for every table entry; the figures below are its own.

#include "tone/sine.h"

#include <cstdint>

#include "tone/double_double.h"
#include "tone/sine_argument.h"
#include "tone/sine_bounds.h"
#include "tone/sine_constants.h"
#include "tone/sine_paths.h"

namespace {

// The quick path is inlined whole into each arithmetic's entry point, so that the fused one's
// products are compiled for FMA.
#if defined(_MSC_VER)
#define SINE_OUT_OF_LINE __declspec(noinline)
#define SINE_INLINE __forceinline
#else
#define SINE_OUT_OF_LINE __attribute__((noinline))
#define SINE_INLINE __attribute__((always_inline)) inline
#endif

namespace k = sine_constants;
using double_double::FastTwoSum;
using double_double::Pair;
using double_double::Split;
using double_double::TwoSum;
using sine_argument::BitsOf;
using sine_argument::FromBits;
using sine_argument::kSignBit;
using sine_argument::TwoOverPiBits;
using sine_bounds::kFloatingReductionError;
using sine_bounds::kIntegerReductionError;
using sine_bounds::kRelativeError;

constexpr std::uint64_t kBelowNeedsNoReduction = 0x3f60000000000000u;   // 2^-9
constexpr std::uint64_t kBelowFloatingReduction = 0x41d0000000000000u;  // 2^30
constexpr unsigned kStepsPerTurn = 1024;
constexpr unsigned kQuarterTurn = kStepsPerTurn / 4;

// The exact products of the quick path, in one of two arithmetics. Both give the same pairs
// (double_double.h), so the quick path gives the same pairs, decisions and results with either.
struct DekkerProducts {
    SINE_INLINE static Pair Of(double a, double b) { return double_double::TwoProduct(a, b); }
    // b a constant, split once at compile time.
    SINE_INLINE static Pair Of(double a, double b, const Pair& bHalves) {
        return double_double::TwoProduct(a, Split(a), b, bHalves);
    }
};
#if defined(DOUBLE_DOUBLE_FUSED_PRODUCTS)
struct FusedProducts {
    SINE_INLINE static Pair Of(double a, double b) { return double_double::TwoProductFused(a, b); }
    SINE_INLINE static Pair Of(double a, double b, const Pair&) {
        return double_double::TwoProductFused(a, b);
    }
};
#endif

struct Reduced {
    unsigned step;  // j, modulo 1024
    Pair r;         // |r| <= pi/1024 (a hair more from rounding)
};

// For 2^-9 <= x < 2^30: j = x * 512/pi rounded (below 2^38), and r = x - j (p1 + p2 + p3 + p4).
// p1 and p2 have at most 15 significant bits (p1 a multiple of 2^-20, p2 of 2^-38), so j p1 and
// j p2 are exact for j < 2^38. x - j p1 and then x - j p1 - j p2 are multiples of min(ulp(x),
// 2^-38) smaller than 2^53 of those units, so both subtractions are exact too (the proof checks
// this in every binade). The rest is carried in double-doubles: r.hi + r.lo is within
// 2^-137.6 x + 2^-106 |r.hi| of r, and |r.hi| <= 2^-8.348 (the step can be one off the nearest
// where x * kStepsPerRadian rounds across a half).
template <class Products>
SINE_INLINE Reduced ReduceInDoubles(double x) {
    static_assert(k::kStepParts[0] * 0x1p20 == static_cast<double>(static_cast<std::int64_t>(
                                                   k::kStepParts[0] * 0x1p20)) &&
                      k::kStepParts[1] * 0x1p38 ==
                          static_cast<double>(static_cast<std::int64_t>(k::kStepParts[1] * 0x1p38)),
                  "the first two parts of the step must end at 2^-20 and 2^-38");
    constexpr double kRoundToInteger = 0x1.8p52;
    const double rounded = x * k::kStepsPerRadian + kRoundToInteger;
    const auto step = static_cast<unsigned>(BitsOf(rounded)) % kStepsPerTurn;
    const double steps = rounded - kRoundToInteger;

    constexpr Pair kPart3Halves = Split(k::kStepParts[2]);
    const double less2 = (x - steps * k::kStepParts[0]) - steps * k::kStepParts[1];
    const Pair part3 = Products::Of(steps, k::kStepParts[2], kPart3Halves);
    const Pair less3 = TwoSum(less2, -part3.hi);
    // Left unnormalised: |r.lo| <= 2^-53 (1 + 2^-53) |r.hi| + 2^-85.9 x, which the proof allows
    // for; near a multiple of pi, where r.hi is tiny, r.lo may exceed it, and only the absolute
    // bound 2^-128 x then decides.
    return {step, {less3.hi, less3.lo - (part3.lo + steps * k::kStepParts[3])}};
}

// An integer below 2^52 as a double, exactly: 2^52 + value has it as its low bits. (No
// integer conversion, which 32-bit x86 would do on the x87.)
inline double ExactDouble(std::uint64_t value) {
    return FromBits(0x4330000000000000u | value) - 0x1p52;
}

struct Wide {
    std::uint64_t high;
    std::uint64_t low;
};

#if defined(__SIZEOF_INT128__)
__extension__ typedef unsigned __int128 Unsigned128;
// a * b in full, in the compiler's 128-bit type.
inline Wide MultiplyWide(std::uint64_t a, std::uint64_t b) {
    const Unsigned128 product = static_cast<Unsigned128>(a) * b;
    return {static_cast<std::uint64_t>(product >> 64), static_cast<std::uint64_t>(product)};
}
#else
// a * b in full, from 32-bit halves, where the compiler has no 128-bit type.
inline Wide MultiplyWide(std::uint64_t a, std::uint64_t b) {
    const std::uint64_t aLow = a & 0xffffffffu;
    const std::uint64_t aHigh = a >> 32;
    const std::uint64_t bLow = b & 0xffffffffu;
    const std::uint64_t bHigh = b >> 32;
    const std::uint64_t lowLow = aLow * bLow;
    const std::uint64_t lowHigh = aLow * bHigh;
    const std::uint64_t highLow = aHigh * bLow;
    const std::uint64_t middle = (lowLow >> 32) + (lowHigh & 0xffffffffu) + (highLow & 0xffffffffu);
    return {aHigh * bHigh + (lowHigh >> 32) + (highLow >> 32) + (middle >> 32),
            (middle << 32) | (lowLow & 0xffffffffu)};
}
#endif

// For x = mantissa * 2^(exponent - 52) >= 2^30: x * 512/pi = mantissa * (2/pi) * 2^(exponent
// - 44). Bits of 2/pi above the window add multiples of 1024 steps, bits below it less than
// 2^-129 of a step. The 192-bit window times the mantissa, modulo 2^192, holds x * 512/pi mod
// 1024 in its top 128 bits, in units of 2^-118 of a step, truncated: with the bits below the
// window, less than 2^-118 + 2^-129 of a step, 2^-125.3 radians, is lost (kIntegerReductionError
// applies 2^-122), plus 2^-103.3 |r.hi| in the double-doubles of f and f pi/512. The proof
// models these words for every exponent and checks them against x * 512/pi.
template <class Products>
SINE_INLINE Reduced ReduceInIntegers(std::uint64_t mantissa, int exponent) {
    const unsigned position = static_cast<unsigned>(exponent + 10);
    const Wide low = MultiplyWide(mantissa, TwoOverPiBits(position + 128));
    const Wide middle = MultiplyWide(mantissa, TwoOverPiBits(position + 64));
    const std::uint64_t high = mantissa * TwoOverPiBits(position);
    const std::uint64_t fractionLow = low.high + middle.low;
    std::uint64_t top = middle.high + high + (fractionLow < low.high ? 1u : 0u);

    top += std::uint64_t{1} << 53;  // half a step: round to the nearest step
    const auto step = static_cast<unsigned>(top >> 54);
    // The signed fraction f of a step, in [-1/2, 1/2): the 54 bits left in top, less one half,
    // then the 64 bits of fractionLow. Taken as three pieces below 2^52, each exact in a double.
    const std::uint64_t halfUp = top & ((std::uint64_t{1} << 54) - 1);
    const double whole = ExactDouble(halfUp >> 2) - 0x1p51;
    const double middleBits = ExactDouble(((halfUp & 3u) << 30) | (fractionLow >> 34));
    const double lowBits = ExactDouble(fractionLow & ((std::uint64_t{1} << 34) - 1));
    const Pair tail = FastTwoSum(middleBits * 0x1p-84, lowBits * 0x1p-118);
    // Fast: whole is zero, or at least 2^-52 in magnitude, above anything in tail.
    Pair fraction = FastTwoSum(whole * 0x1p-52, tail.hi);
    fraction.lo += tail.lo;

    // r = f * pi/512
    constexpr Pair kStepHalves = Split(k::kStepHi);
    const Pair product = Products::Of(fraction.hi, k::kStepHi, kStepHalves);
    const double error = product.lo + (fraction.hi * k::kStepLo + fraction.lo * k::kStepHi);
    return {step % kStepsPerTurn, FastTwoSum(product.hi, error)};
}

// Kept out of line: its registers would otherwise be saved on every call, for every argument.
template <class Products>
Reduced ReduceInIntegersOutOfLine(std::uint64_t mantissa, int exponent);
template <>
SINE_OUT_OF_LINE Reduced ReduceInIntegersOutOfLine<DekkerProducts>(std::uint64_t mantissa,
                                                                   int exponent) {
    return ReduceInIntegers<DekkerProducts>(mantissa, exponent);
}
#if defined(DOUBLE_DOUBLE_FUSED_PRODUCTS)
template <>
SINE_OUT_OF_LINE DOUBLE_DOUBLE_FUSED_TARGET Reduced
ReduceInIntegersOutOfLine<FusedProducts>(std::uint64_t mantissa, int exponent) {
    return ReduceInIntegers<FusedProducts>(mantissa, exponent);
}
#endif

// sin(j pi/512 + r) as an unevaluated sum hi + lo, for |r.hi| <= 2^-8.348. The proof bounds
// its error by 2^-66.66 |hi| in the worst table entry, the reductions' relative parts and the
// rounding of lo +- the error included (2^-70.87 where j = 0 and r.lo = 0, below 2^-9), and
// |lo| by 2^-16.47 |hi| plus r.lo's absolute part: the pair is left unnormalised.
template <class Products>
SINE_INLINE Pair SineOfStepPlus(const Reduced& reduced) {
    const double* sinStep = k::kSinStep[reduced.step];
    const double* cosStep = k::kSinStep[(reduced.step + kQuarterTurn) % kStepsPerTurn];
    const Pair& r = reduced.r;
    const double* f = k::kInverseFactorial;

    // cos r - 1 and sin r - r, each about 2^-17 of the whole or less; r.lo enters through the
    // derivatives.
    const double z = r.hi * r.hi;
    const double cosLessOne = z * (-0.5 + z * (f[4] - z * f[6])) - r.hi * r.lo;
    const double sinLessR = r.hi * z * (-f[3] + z * (f[5] - z * f[7])) - 0.5 * z * r.lo;

    // S + C r.hi in double-double; the other terms are small enough for doubles.
    const Pair cTimesR = Products::Of(r.hi, cosStep[0]);
    // Fast, and exact as TwoSum is: S is zero (j = 0 or 512) or above sin(pi/512) = 2^-7.35,
    // twice |C r.hi|.
    const Pair sum = FastTwoSum(sinStep[0], cTimesR.hi);
    const double small =
        (sum.lo + cTimesR.lo) + sinStep[1] + (cosStep[0] * r.lo + cosStep[1] * r.hi);
    const double tail = (sinStep[0] * cosLessOne + cosStep[0] * sinLessR) + small;
    return {sum.hi, tail};
}

template <class Products>
SINE_INLINE bool QuickSine(double radians, double& result) {
    if (sine_argument::TrivialSine(radians, result)) {
        return true;
    }
    const std::uint64_t bits = BitsOf(radians);
    const std::uint64_t magnitudeBits = bits & ~kSignBit;
    const double magnitude = FromBits(magnitudeBits);
    Reduced reduced{0, {magnitude, 0.0}};
    double reductionError = 0.0;
    if (magnitudeBits >= kBelowFloatingReduction) {
        reductionError = kIntegerReductionError;
        reduced = ReduceInIntegersOutOfLine<Products>(sine_argument::MantissaOf(magnitudeBits),
                                                      sine_argument::ExponentOf(magnitudeBits));
    } else if (magnitudeBits >= kBelowNeedsNoReduction) {
        reductionError = magnitude * kFloatingReductionError;
        reduced = ReduceInDoubles<Products>(magnitude);
    }
    const Pair sine = SineOfStepPlus<Products>(reduced);

    // The rounding is settled when both ends of the error interval round alike. Rounding lo +-
    // error and error's own sum lose up to 2^-53 of |lo| and of error: the constants cover it.
    const double size = sine.hi < 0 ? -sine.hi : sine.hi;
    const double error = size * kRelativeError + reductionError;
    const double above = sine.hi + (sine.lo + error);
    const double below = sine.hi + (sine.lo - error);
    if (above != below) {
        return false;
    }
    result = (bits & kSignBit) != 0 ? -above : above;
    return true;
}

bool QuickSinePortable(double radians, double& result) {
    return QuickSine<DekkerProducts>(radians, result);
}
double SinePortable(double radians) {
    double result;
    return QuickSine<DekkerProducts>(radians, result) ? result : ExactSine(radians);
}

#if defined(DOUBLE_DOUBLE_FUSED_PRODUCTS)
DOUBLE_DOUBLE_FUSED_TARGET bool QuickSineFused(double radians, double& result) {
    return QuickSine<FusedProducts>(radians, result);
}
DOUBLE_DOUBLE_FUSED_TARGET double SineFused(double radians) {
    double result;
    return QuickSine<FusedProducts>(radians, result) ? result : ExactSine(radians);
}

bool ProcessorHasFma() {
    // Also false where the system does not save the AVX registers (GCC's and clang's check).
    __builtin_cpu_init();
    return __builtin_cpu_supports("fma") != 0;
}
// Chosen once, before main; zero (Dekker's) until then.
bool useFused = ProcessorHasFma();
#else
bool ProcessorHasFma() { return false; }
constexpr bool useFused = false;
#endif

}  // namespace

bool FusedProductsAvailable() { return ProcessorHasFma(); }

bool UseSineProducts(SineProducts products) {
    if (products == SineProducts::kFused && !ProcessorHasFma()) return false;
#if defined(DOUBLE_DOUBLE_FUSED_PRODUCTS)
    useFused = products == SineProducts::kFused;
#endif
    return true;
}

SineProducts SineProductsInUse() { return useFused ? SineProducts::kFused : SineProducts::kDekker; }

bool TryQuickSine(double radians, double& result) {
#if defined(DOUBLE_DOUBLE_FUSED_PRODUCTS)
    if (useFused) return QuickSineFused(radians, result);
#endif
    return QuickSinePortable(radians, result);
}

double Sine(double radians) {
#if defined(DOUBLE_DOUBLE_FUSED_PRODUCTS)
    if (useFused) return SineFused(radians);
#endif
    return SinePortable(radians);
}
