#pragma once

#include <cfloat>

// Error-free transformations of doubles: each returns a pair whose exact sum is the exact
// result. They hold only when every operation rounds to double on its own (no wider
// evaluation, no contraction into fused multiply-adds), which the build guarantees and this
// header checks. The one fused multiply-add here is written out, in TwoProductFused.
#if (defined(FLT_EVAL_METHOD) && FLT_EVAL_METHOD > 0) || \
    (defined(__i386__) && defined(__GNUC__) && !defined(__SSE2_MATH__))
#error "double arithmetic must be evaluated in double precision (SSE2, not x87)"
#endif
#if defined(__FAST_MATH__)
#error "the sine needs IEEE arithmetic: do not build it with -ffast-math"
#endif

namespace double_double {

struct Pair {
    double hi;
    double lo;
};

// a + b exactly, whatever their magnitudes.
inline Pair TwoSum(double a, double b) {
    const double sum = a + b;
    const double bPart = sum - a;
    const double error = (a - (sum - bPart)) + (b - bPart);
    return {sum, error};
}

// a + b exactly, provided a is zero or its exponent is at least b's.
inline Pair FastTwoSum(double a, double b) {
    const double sum = a + b;
    return {sum, b - (sum - a)};
}

// a as two halves of at most 26 significant bits each (Veltkamp), so that products of
// halves are exact. |a| must stay below 2^995.
constexpr Pair Split(double a) {
    constexpr double kSplitter = 134217729.0;  // 2^27 + 1
    const double scaled = kSplitter * a;
    const double high = scaled - (scaled - a);
    return {high, a - high};
}

// a * b exactly (Dekker), from a and b already split.
inline Pair TwoProduct(double a, const Pair& aHalves, double b, const Pair& bHalves) {
    const double product = a * b;
    const double error =
        ((aHalves.hi * bHalves.hi - product) + aHalves.hi * bHalves.lo + aHalves.lo * bHalves.hi) +
        aHalves.lo * bHalves.lo;
    return {product, error};
}

inline Pair TwoProduct(double a, double b) { return TwoProduct(a, Split(a), b, Split(b)); }

// The processors and compilers where a fused multiply-add can be chosen at run time.
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define DOUBLE_DOUBLE_FUSED_PRODUCTS 1
#define DOUBLE_DOUBLE_FUSED_TARGET __attribute__((target("fma")))
// a * b exactly, as TwoProduct gives it: the rounded product and its exact error, which the
// fused a * b - product yields in one rounding that loses nothing. Both are exact as long as
// the error is not below the smallest normal double's ulp (|a * b| above about 2^-969), so the
// two give the same pair. Only for callers compiled for FMA (DOUBLE_DOUBLE_FUSED_TARGET), where
// the builtin is one instruction; elsewhere it would be a library call.
__attribute__((always_inline)) inline Pair TwoProductFused(double a, double b) {
    const double product = a * b;
    return {product, __builtin_fma(a, b, -product)};
}
#endif

}  // namespace double_double
