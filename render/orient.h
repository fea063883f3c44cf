// Consistent outward winding for a lattice's placed triangles, as a modelling tool's
// "recalculate normals" leaves a mesh: neighbours run along their shared edge in opposite
// directions, and each connected piece faces away from what it encloses.
#pragma once

#include "frame.h"
#include "platform/matrix.h"

#include <vector>

// Turns triangles of one lattice (world corners, all finite) by swapping corners 1 and 2, so
// that every edge two triangles share (corners that are equal count as one) runs opposite ways
// in them where the surface allows, and each connected piece faces out: by positive signed
// volume when it is closed, else by the majority of its area facing along its faces' outward
// axes (`m` places the lattice's own axes in the world). Memory: a few words per corner.
void orientOutward(std::vector<Triangle>& tris, const Matrix& m);
