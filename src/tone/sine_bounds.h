#pragma once

// The quick path's error bounds, which tools/sine_constants/prove_sine_bounds.py proves: the
// computed hi + lo lies within |hi| * kRelativeError + the reduction's bound of the exact
// sine, and the rounding check keeps that whole interval. A test holds these constants to at
// least the proven figures (tools/sine_constants/sine_bounds.txt): 2^-66.66, 2^-136.80 |x| and
// 2^-125.34. The margin only sends a few more arguments to the exact path.
namespace sine_bounds {

constexpr double kRelativeError = 0x1.0p-66;
constexpr double kFloatingReductionError = 0x1.0p-128;  // times |x|, for 2^-9 <= |x| < 2^30
constexpr double kIntegerReductionError = 0x1.0p-122;   // radians, for |x| >= 2^30

}  // namespace sine_bounds
