#pragma once

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

// The exact path: multiword integer arithmetic with 256 bits after the point, correctly
// rounded for every finite argument (NaN for NaN and infinities). Slow: microseconds.
double ExactSine(double radians);
