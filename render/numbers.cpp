// Numbers printed for people.
#include "numbers.h"

#include <cstdio>

std::string triple(const float* v) {
  char b[96];
  std::snprintf(b, sizeof b, "(%g, %g, %g)", double(v[0]), double(v[1]), double(v[2]));
  return b;
}

std::string readableNumber(double x) {
  char b[64];
  std::snprintf(b, sizeof b, "%.4f", x);
  std::string s = b;
  if (s.find_first_of("0123456789") == std::string::npos) return s; // inf, nan
  while (s.back() == '0') s.pop_back();
  if (s.back() == '.') s.pop_back();
  return s == "-0" ? "0" : s;
}
