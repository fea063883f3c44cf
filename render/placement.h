// Placing a lattice: its parent chain's translations and rotations, outermost first.
#pragma once

#include "platform/matrix.h"

#include "mapfile/lattice.h"
#include "view_state.h"

#include <array>
#include <cstddef>
#include <vector>

// Multiplies the placements of L's parent chain and of L onto the current GL matrix, with
// an axis line per lattice on the chain while vs.axisFlag is set. A null L does nothing. Costs
// the chain's length: frames that place many deep lattices use FramePlacements.
void applyLatticeTransform(const Lattice* L, const ViewerState& vs);

// Every lattice's placement as a column-major 4x4 matrix (no GL), in list order, each from its
// parent's: the same arithmetic as walking each chain, in time linear in the list.
std::vector<Matrix> latticePlacements(const Lattice* lat, const ViewerState& vs);

// The model-view matrices of one frame's lattices, each made once from its parent's: what
// walking every chain leaves in GL, bit for bit (GL does the same float arithmetic from the
// same matrix), at one load and four calls a lattice. With the axis flag set, each lattice's
// axis line is drawn once a frame, where the walk first draws it. The caller owns it.
struct FramePlacements {
  std::vector<const Lattice*> lattices;  // the list, in order
  std::vector<int> parent;               // list index of each lattice's parent; -1 for none
  std::vector<std::array<float, 16>> mv; // this frame's matrices, where made
  std::vector<unsigned> made;            // the frame each matrix was made in
  unsigned frame = 0;
  std::vector<int> todo; // scratch: a chain being made, kept so frames allocate nothing
};

// Learns the list from `lat` (once a map).
void preparePlacements(FramePlacements& fp, const Lattice* lat);
// Starts a frame: no matrix is made yet.
void beginPlacements(FramePlacements& fp);
// Leaves the model-view matrix of list index `i` (camera `trot`, then its chain) in GL,
// making what this frame lacks from the nearest ancestor it has.
void loadPlacement(FramePlacements& fp, int i, const float* trot, const ViewerState& vs);
// How many lattices L's chain holds (L and its ancestors), or -1 when more than `cap`.
long chainLength(const Lattice* L, long cap);

// Chain steps (one lattice's placement on the way to another) a frame of the immediate path
// may walk; lattices past it are placed through FramePlacements, with the same picture.
constexpr long frameChainSteps = 4'000'000;

// Replaces the model-view matrix with the camera's: the eye 50 units behind the point the view
// turns about, then pitch, yaw and the scene's translation from `trot`.
void loadCamera(const float* trot);

// A frame's walk over the placements of the lattices it draws one by one: their chains are
// walked in GL, as the plain reading does, until frameChainSteps steps are spent; from then on
// each lattice is placed through FramePlacements, with the same picture.
struct ChainWalk {
  long steps = frameChainSteps; // left to walk; -1 once spent
};

// Loads the camera and applies L's chain in GL when the walk still has the steps for it (and
// spends them); false, the walk spent and GL untouched, when it has not: the caller then loads
// L's placement (loadPlacement).
bool walkChain(ChainWalk& w, const Lattice* L, const float* trot, const ViewerState& vs);
