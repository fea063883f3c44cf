// The big maps the benchmarks measure and the browser test opens.
#include "big_maps.h"

#include <cmath>

MapDesc bigFrameMap(int copies) {
  MapDesc m;
  for (int i = 0; i < 8 * copies; i++) {
    LatticeRecord L;
    L.nx = L.nz = 255;
    L.ny = 1;
    L.pos[0] = float(i % 4) * 300 - 450;
    L.pos[2] = float(i / 4) * -300 - 200;
    // A height list holds at most 32767 values: the first half of the grid's rows roll, the
    // rest read 0.
    for (int s = 0; s < 32767; s++)
      L.heights.push_back(float(std::sin(s / 256 * 0.1) + std::cos(s % 256 * 0.2)));
    m.lattices.push_back(std::move(L));
  }
  return m;
}

MapDesc heightsMap() {
  MapDesc m;
  for (int i = 0; i < 2000; i++) {
    LatticeRecord L;
    L.heights.resize(8000);
    for (int k = 0; k < 8000; k++) L.heights[k] = float(k % 97) * 0.01f;
    for (int r = 0; r < 10; r++) L.refs.push_back((i * 7 + r * 13) % 2000 + 1);
    m.lattices.push_back(std::move(L));
  }
  return m;
}

MapDesc chainMap(bool chained) {
  MapDesc m;
  for (int i = 0; i < 32000; i++) {
    LatticeRecord L;
    L.nx = L.ny = L.nz = 1;
    // Chained, each steps on from its parent; unchained, each stands about where its chained
    // twin does, in the world.
    L.pos[0] = chained ? 0.01f : 0.01f * float(i + 1);
    L.rot[1] = chained ? 0.0001f : 0.0001f * float(i + 1);
    if (chained && i + 1 < 32000) L.refs = {i + 2}; // record i + 2 is the next lattice
    m.lattices.push_back(std::move(L));
  }
  return m;
}
