// Numbers as the viewer and the toolkit print them to people.
#pragma once

#include <string>

// Three stored values (a position, a rotation, a cell size) as "(a, b, c)" with %g numbers:
// six significant digits, whole numbers as integers.
std::string triple(const float* v);

// A coordinate as a user reads it: %.4f with trailing zeros dropped, 0 for -0.
std::string readableNumber(double x);
