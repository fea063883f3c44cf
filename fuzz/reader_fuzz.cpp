// Fuzz target: the map reader on arbitrary bytes.
#include "clamp.h"
#include "mapfile/reader.h"

#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> in = clampedCounts(data, size);
  MapStore store;
  Lattice* lat = newLattice(store);
  LoadReport rep = loadLandFramesFromMemory(in.data(), in.size(), lat, store);
  // The list holds the claimed lattices, and every parent is one of them.
  std::vector<const Lattice*> all;
  for (Lattice* L = lat; L && all.size() <= 65535; L = L->next) all.push_back(L);
  if (all.size() > 65535 || (rep.nlat > 0 && all.size() != size_t(rep.nlat))) __builtin_trap();
  std::vector<const Lattice*> sorted = all;
  std::sort(sorted.begin(), sorted.end());
  for (const Lattice* L : all)
    if (L->parent && !std::binary_search(sorted.begin(), sorted.end(), L->parent)) __builtin_trap();
  return 0;
}
