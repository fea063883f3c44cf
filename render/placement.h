// Placing a lattice: its parent chain's translations and rotations, outermost first.
#pragma once

#include "matrix.h"

#include "mapfile/lattice.h"
#include "view_state.h"

// Multiplies the placements of L's parent chain and of L onto the current GL matrix, with
// an axis line per lattice on the chain while vs.axisFlag is set. A null L does nothing.
void applyLatticeTransform(const Lattice* L, const ViewerState& vs);

// The same placement as a column-major 4x4 matrix (no GL), for export.
Matrix latticePlacement(const Lattice* L, const ViewerState& vs);
