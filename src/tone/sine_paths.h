#pragma once

#include <cstdint>
#include <initializer_list>

// The two ways Sine reaches its answer, for the tests and benchmarks that look inside it.

// The arithmetic of the quick path's exact products: Dekker's, in plain double operations, or
// one fused multiply-add each. Both give the same products, so Sine gives the same bits with
// either; it takes the fused one where the processor has FMA (GCC and clang builds for x86).
enum class SineProducts { kDekker, kFused };
bool FusedProductsAvailable();
// Chooses the arithmetic of Sine and TryQuickSine from now on; returns false, changing nothing,
// when kFused is asked for and not available.
bool UseSineProducts(SineProducts products);
SineProducts SineProductsInUse();

// The quick path: the sine in double-double arithmetic with a proven error bound. Returns true
// and stores the correctly rounded sine when that bound settles the rounding; returns false,
// leaving result untouched, for the rare arguments whose sine lies too near a rounding boundary.
bool TryQuickSine(double radians, double& result);

// The exact path: multiword integer arithmetic, 5 words of 32 bits and, where those cannot
// settle the rounding, 9, then 16; NaN for NaN and the infinities. Slow: microseconds. Every sine
// it returns is correctly rounded; should no width settle one, it aborts (ExactSineTrying). 9 words
// settle every sine more than 2^-127 of its last place from a rounding midpoint, which by the
// hardest cases of sin that Lefevre and Muller's searches found is every double they covered.
double ExactSine(double radians);

// One attempt of the exact path with `words` words of 32 bits (2, 5, 9 or 16; the narrow ones
// are for tests): true and the correctly rounded sine when its error allowance, 2^-(32 words -
// 48), settles the rounding, false, leaving result untouched, when it does not.
bool TryExactSine(double radians, int words, double& result);

// The exact path's attempts at the widths given, in turn, until one settles the rounding; its
// width in settledWith. When none does, writes a diagnostic to standard error and aborts.
double ExactSineTrying(double radians, std::initializer_list<int> widths, int& settledWith);

// An argument already reduced, for tests that need a sine nearer a rounding midpoint than the
// sines of doubles are known to come: (quadrant + f) pi/2 with |f| <= 1/2, to more bits than a
// double's reduction gives.
struct ReducedSineArgument {
    unsigned quadrant;           // q, taken modulo 4
    bool negativeFraction;       // f < 0
    std::uint32_t fraction[16];  // |f|: fraction[i] has the weight 2^(-32 (i + 1))
};

// The attempts of the exact path on a reduced argument, through the same evaluation and rounding
// decision as a double's. An attempt of W words reads the first W - 1 words of |f|, as the
// reduction of a double would leave them, and settles only the correctly rounded sine of
// (q + f) pi/2 with f as given, all 16 words; the words it does not read lie within its error
// allowance.
bool TryExactSine(const ReducedSineArgument& argument, int words, double& result);
double ExactSineTrying(const ReducedSineArgument& argument, std::initializer_list<int> widths,
                       int& settledWith);
