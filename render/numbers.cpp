// Numbers printed for people.
#include "numbers.h"

#include <cstdio>

std::string triple(const float* v) {
  char b[96];
  std::snprintf(b, sizeof b, "(%g, %g, %g)", double(v[0]), double(v[1]), double(v[2]));
  return b;
}
