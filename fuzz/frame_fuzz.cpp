// Fuzz target: reader, frame preparation, placement and face geometry on arbitrary bytes,
// with the triangles capped so one input stays fast.
#include "clamp.h"
#include "mapfile/reader.h"
#include "render/frame.h"
#include "render/placement.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> in = clampedCounts(data, size);
  MapStore store;
  Lattice* lat = newLattice(store);
  loadLandFramesFromMemory(in.data(), in.size(), lat, store);
  static std::vector<Triangle> tris; // reused: fresh pages each run would dominate the time
  static FaceTables ft;
  tris.clear();
  int placed = 0;
  latticePlacements(lat, ViewerState{}); // every chain, whatever the links
  for (const Lattice* L = lat; L && tris.size() < 2000 && placed < 8; L = L->next) {
    if (L->id == 0) continue;
    placed++;
    CollectEmitter e{&tris, 2000};
    drawLatticeFaces(L, ViewerState{}, ft, e);
  }
  for (const Triangle& t : tris)
    if (!(t.grey >= 0.4f && t.grey <= 0.8f)) __builtin_trap();
  return 0;
}
