#include "tone/sine.h"

#include <cmath>

// Placeholder until the correctly rounded routine lands.
double Sine(double radians) { return std::sin(radians); }
