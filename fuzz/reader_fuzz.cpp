// Fuzz target: the map reader on arbitrary bytes.
#include "mapfile/lattice.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MapStore store;
  Lattice* lat = newLattice(store);
  LoadReport rep = loadLandFramesFromMemory(data, size, lat, store);
  // Every list must end, and every parent must be in the list.
  long n = 0;
  for (Lattice* L = lat; L; L = L->next, n++)
    if (L->parent && latticeIndex(lat, L->parent) < 0) __builtin_trap();
  if (n > 65535 || (rep.nlat > 0 && n != rep.nlat)) __builtin_trap();
  return 0;
}
