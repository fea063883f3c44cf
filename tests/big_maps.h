// The big maps the benchmarks measure and the browser test opens.
#pragma once

#include "mapfile/writer.h"

// Eight 255 x 1 x 255 lattices with rolling heights: 2,097,120 triangles a frame; `copies`
// times as many lattices, in further rows, for a map that many times larger.
MapDesc bigFrameMap(int copies = 1);
// 2,000 lattices of 8,000 heights (about 64 MB, 16 M heights) and 20,000 child references.
MapDesc heightsMap();
// 32,000 one-cell lattices (384,000 triangles), each the parent of the next when `chained`, a
// step of 0.01 along x and a small turn from its parent; unchained, lattices about where those
// stand, each placed in the world.
MapDesc chainMap(bool chained);
