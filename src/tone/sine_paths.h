#pragma once

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
// settle the rounding, 9, then 16; correctly rounded for every finite argument (NaN for NaN and the
// infinities). Slow: microseconds.
double ExactSine(double radians);

// One attempt of the exact path with `words` words of 32 bits (2, 5, 9 or 16; the narrow ones
// are for tests): true and the correctly rounded sine when its error bound settles the
// rounding, false, leaving result untouched, when it does not.
bool TryExactSine(double radians, int words, double& result);

// The exact path's attempts at the widths given, in turn, until one settles the rounding; its
// width in settledWith. When none does, writes a diagnostic to standard error and aborts.
double ExactSineTrying(double radians, std::initializer_list<int> widths, int& settledWith);
