// What is drawn over the scene to measure it: the points a user set and the segment between
// them, and the cell grid of one lattice.
#pragma once

#include "mapfile/lattice.h"
#include "render/view_state.h"

#include <vector>

// The measurement's colour: a magenta the grey shading and the amber selection never give.
constexpr float markColour[3] = {1.0f, 0.2f, 1.0f};

// Draws a small cross at each of the `n` (0 to 2) world points and, for two, the segment between
// them, over everything (the depth test off). The cross is 2 % of the point's distance from the
// eye wide. The GL state is left as it was found.
void drawMeasureMarks(const float* trot, const double points[][3], int n);

// The edges of the lattice's cells on its faces, as segments in the lattice's own frame: six
// floats (two corners) each, the faces' cell quads without their diagonals.
std::vector<float> latticeGridLines(const Lattice* L, const ViewerState& vs);

// Draws `lines` (latticeGridLines of L) as dark lines over the lattice's faces: their depth is
// pulled a hair towards the eye, so they win over the faces they lie on and lose to what is in
// front. The GL state is left as it was found.
void drawLatticeGrid(const Lattice* L, const float* trot, const ViewerState& vs,
                     const std::vector<float>& lines);
