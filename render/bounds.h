// Boxes around each drawn lattice's triangles, kept up as edits change them, so that a pick and
// the map's box need no pass over every triangle: a box a chunk (chunkTriangles, as the
// retained arrays cull) in the lattice's own frame, and the exact world box of each chunk's
// placed corners, made when first asked for.
#pragma once

#include "frame.h"
#include "view.h"
#include "world.h"

#include "platform/matrix.h"

#include <cstddef>
#include <cstdint>
#include <vector>

struct BoundChunk {
  float lo[3], hi[3];    // own frame, of every corner drawn; lo > hi: none
  double wlo[3], whi[3]; // world, of the finite triangles placed; lo > hi: none
};

struct LatticeBounds {
  size_t firstChunk = 0, chunkCount = 0, triangles = 0;
  bool drawn = false;      // id not 0
  bool box = false;        // drawn as its bounding box (past the triangle budget)
  bool worldKnown = false; // the chunks' world boxes are made for the current placement
};

struct SceneBounds {
  const Lattice* lat = nullptr; // the list, once learnt
  size_t triangleBudget = SIZE_MAX;
  bool known = false; // the own-frame boxes are made
  std::vector<const Lattice*> list;
  std::vector<int> parent;
  std::vector<LatticeBounds> lattices; // by list index
  std::vector<BoundChunk> chunks;
  std::vector<Matrix> placements; // latticePlacements, while `placed`
  bool placed = false;
  FaceTables faces;
  std::vector<Triangle> tris; // scratch
};

// Forgets what `b` knew and takes the list from `lat`, lattices past `triangleBudget` as boxes
// (boxedLattices); the boxes are made when first asked for.
void resetBounds(SceneBounds& b, const Lattice* lat, size_t triangleBudget);

// resetBounds when `b` was learnt from another list or budget.
inline void followList(SceneBounds& b, const Lattice* lat, size_t triangleBudget) {
  if (b.lat != lat || b.triangleBudget != triangleBudget) resetBounds(b, lat, triangleBudget);
}

// After the heights of lattice `index` changed the triangles `ranges` (drawLatticeFaces' order):
// the boxes of the chunks they lie in are made again.
void boundsAfterReshape(SceneBounds& b, int index, const std::vector<TriangleRange>& ranges);
// After the placement of lattice `index` changed: its world boxes and those of the lattices it
// carries are made again when next asked for.
void boundsAfterMove(SceneBounds& b, int index);

// worldBox's answer for the whole list, hidden lattices too (lattices `hidden` by list index
// left out): false when nothing is drawn.
bool boundedWorldBox(SceneBounds& b, SceneBox& box, const std::vector<bool>& hidden = {});

// pickPoint's answer for the list `b` learnt, the same hit, testing the triangles only of the
// chunks whose box the ray meets.
PickHit pickBounded(SceneBounds& b, const float* trot, int width, int height, int x, int y,
                    const std::vector<bool>& hidden = {}, const Section& cut = {}, float ortho = 0,
                    float farPlane = 0);
