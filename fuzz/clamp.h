// Shared by the fuzz targets: a copy of the input whose type table claims at most 256
// records of any type. Without it most runs would allocate and link tens of thousands of
// lattices (megabytes each time) and the fuzzer would run a hundred times slower; loads of
// the full 65,535 are covered by the hostile-map tests.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

inline std::vector<uint8_t> clampedCounts(const uint8_t* data, size_t size) {
  std::vector<uint8_t> v(data, data + size);
  size_t types = size >= 26 ? size_t(v[24] | v[25] << 8) : 0;
  for (size_t t = 0; t < types && 64 + 64 * t + 10 <= size; t++) {
    uint8_t* c = &v[64 + 64 * t + 8];
    if ((c[0] | c[1] << 8) > 256) c[0] = 0, c[1] = 1; // 256
  }
  return v;
}
