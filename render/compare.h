// Two maps compared, as the viewer and `kelvane render --compare` show it and `kelvane diff`
// prints it: the new map's lattices coloured by change, the old map's removed ones in red, and
// a line for each change.
#pragma once

#include "frame.h"
#include "retained.h"

#include "mapfile/diff.h"

#include <string>
#include <vector>

// The style that change `c` colours its lattice with.
LatticeStyle changeStyle(const LatticeChange& c);

// The old map's lattices by list index, flagged but for the removed ones: what hides all else.
std::vector<bool> allButRemoved(const MapDiff& d, const Lattice* old);

// Colours `now` (the new map's scene) by the changes of `d`, the rest grey, and shows in `old`
// (the old map's scene) only the removed lattices, in red; the moved lattices' old places there
// keep their change's style, hidden, for their edges.
void styleComparison(const MapDiff& d, RetainedScene& now, RetainedScene& old);

// The style of a merge's lattice with MergeOrigin bits `origin`: grey when neither side
// changed it, ours, theirs, fromBoth, and conflict over all.
LatticeStyle originStyle(uint8_t origin);
// Colours `scene` (the merge's result, or a map drawn as one) by `origins` (by list index;
// lattices past its end grey).
void styleMerge(const std::vector<uint8_t>& origins, RetainedScene& scene);

// The corners of the box around the faces of lattice `L` (drawLatticeBox's), low and high, in
// its own frame; false for a lattice whose faces draw nothing.
bool latticeBoxCorners(const Lattice* L, const ViewerState& vs, FaceTables& ft, float lo[3],
                       float hi[3]);

// Draws over a comparison's frame (drawRetainedFrame of the new map's scene with `old`), with
// the depth test off so that nothing covers them: the box edges of each moved lattice's old
// place in a paler tint of its colour, those of each lattice `old` shows (the removed ones) in
// red, then those of lattice `index` of `scene` (the selection, or the removed
// lattice N went to) in amber, as the selection shows in a comparison whose lattices keep their
// change colours. No `scene`, or an index it does not draw, outlines nothing. Call it with the
// frame's projection current; the camera and placements are those the frame used.
void drawComparisonEdges(RetainedScene& old, const float* trot, const ViewerState& vs,
                         RetainedScene* scene, int index);

// "moved", "reshaped" or "moved and reshaped", for a pair's changed... bits.
const char* changeVerb(unsigned what);

// The values of a list in order: a height each, or an inset's dx and dz.
std::vector<float> listValues(const HeightNode* n);
std::vector<float> listValues(const InsetNode* n);
// The entries (of `width` floats) that differ between two lists of the same length.
std::vector<size_t> differingEntries(const std::vector<float>& a, const std::vector<float>& b,
                                     size_t width);

// The line for one change: "moved 12 (id 40): position (1, 2, 3) -> (1, 2.5, 3)", "added 3
// (id 7): 2 x 1 x 2 cells at (0, 0, 0)", ... `a` and `b` are its old and new lattices (null
// for the side it lacks).
std::string changeLine(const LatticeChange& c, const Lattice* a, const Lattice* b);
// "3 moved, 1 reshaped, 2 added, 0 removed, 1994 unchanged; other bytes: same" (with "N moved
// and reshaped, " before the added ones when there are some).
std::string summaryLine(const MapDiff& d);
