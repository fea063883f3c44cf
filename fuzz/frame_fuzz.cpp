// Fuzz target: reader, frame preparation, placement and face geometry on arbitrary bytes,
// with the triangles capped so one input stays fast.
#include "mapfile/lattice.h"
#include "render/frame.h"
#include "render/placement.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MapStore store;
  Lattice* lat = newLattice(store);
  loadLandFramesFromMemory(data, size, lat, store);
  std::vector<Triangle> tris;
  tris.reserve(20000);
  for (const Lattice* L = lat; L && tris.size() < 20000; L = L->next) {
    if (L->id == 0) continue;
    double m[16];
    latticePlacement(L, viewerState, m);
    CollectEmitter e{&tris, 20000};
    drawLatticeFaces(L, viewerState, e);
  }
  for (const Triangle& t : tris)
    if (!(t.grey >= 0.4f && t.grey <= 0.8f)) __builtin_trap();
  return 0;
}
