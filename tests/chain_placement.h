// The placement of one lattice worked out as the chain walk states it, outermost first, for
// tests to check the renderer's placements against.
#pragma once

#include "platform/matrix.h"
#include "render/view_state.h"

#include "mapfile/lattice.h"

#include <vector>

inline Matrix chainPlacement(const Lattice* L, const ViewerState& vs) {
  std::vector<const Lattice*> chain;
  for (const Lattice* p = L; p; p = p->parent) chain.insert(chain.begin(), p);
  Matrix m = identityMatrix();
  for (const Lattice* p : chain) {
    m = multiply(m, translationMatrix(p->x * vs.positionScale, p->y * vs.positionScale,
                                      p->z * vs.positionScale));
    m = multiply(m, rotationMatrix(p->rz * vs.radToDeg, 0, 0, 1));
    m = multiply(m, rotationMatrix(p->ry * vs.radToDeg, 0, 1, 0));
    m = multiply(m, rotationMatrix(p->rx * vs.radToDeg, 1, 0, 0));
  }
  return m;
}
