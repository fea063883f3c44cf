// Numbers printed for people.
#include "numbers.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

char* writeJsonFloat(char* p, float v) {
  auto put = [p](const char* s) { return std::strcpy(p, s) + std::strlen(s); };
  if (std::isnan(v)) return put("\"nan\"");
  if (std::isinf(v)) return put(v > 0 ? "\"inf\"" : "\"-inf\"");
  if (v == 0) return put(std::signbit(v) ? "-0.0" : "0"); // "-0" would read back as integer 0
  if (std::fabs(v) < 1e5f && v == float(long(v)))         // what to_chars writes for these, sooner
    return std::to_chars(p, p + 32, long(v)).ptr;
  return std::to_chars(p, p + 32, v).ptr;
}

std::string triple(const float* v) {
  char b[96];
  std::snprintf(b, sizeof b, "(%g, %g, %g)", double(v[0]), double(v[1]), double(v[2]));
  return b;
}
