#pragma once

// The sine of a double, correctly rounded: the double nearest to the exact sine of the argument
// (ties to even), for every finite argument; NaN for NaN and for either infinity. Standard C++
// only, with no platform math library, so that every build returns the same bits.
double Sine(double radians);
