// Numbers as the viewer and the toolkit print them to people.
#pragma once

#include <string>

// Three stored values (a position, a rotation, a cell size) as "(a, b, c)" with %g numbers:
// six significant digits, whole numbers as integers.
std::string triple(const float* v);

// `v` as JSON that reads back as the same 32-bit float, at `p` (room for 32 characters): the
// shortest such number, whole ones as integers and -0 as -0.0; NaN and the infinities, which
// JSON has no number for, as the strings "nan", "inf" and "-inf". Returns the end.
char* writeJsonFloat(char* p, float v);
