#pragma once

// The two ways Sine reaches its answer, for the tests and benchmarks that look inside it.

// The quick path: the sine in double-double arithmetic with a proven error bound. Returns true
// and stores the correctly rounded sine when that bound settles the rounding; returns false,
// leaving result untouched, for the rare arguments whose sine lies too near a rounding boundary.
bool TryQuickSine(double radians, double& result);

// The exact path: multiword integer arithmetic with 256 bits after the point, correctly
// rounded for every finite argument (NaN for NaN and infinities). Slow: microseconds.
double ExactSine(double radians);
