// The viewer's merge view (--merge BASE OURS THEIRS OUT): the merged map coloured by where its
// changes came from, conflicts in magenta, N through them, a key for each side.
#pragma once

#include "viewer.h"

#include <string>
#include <vector>

// Whether the command line is "--merge BASE OURS THEIRS OUT" (each name plain or in double
// quotes, nothing after them); `names` gets the four when it is.
bool mergeNames(const std::string& line, std::string names[4]);
// Merges the three maps of `names` (BASE OURS THEIRS; OURS or THEIRS take the merged values)
// into v.merge and returns the result's bytes; false with `err` set when no result can be had.
bool startMerge(Viewer& v, const std::string names[4], LoadedMap sides[3], std::string& bytes,
                std::string& err);
// Colours the scene by the merge: called whenever the scene is built. Nothing without a merge.
void mergeScene(Viewer& v);
// N and Shift+N in the merge view (dir 1, -1): selects the next or previous conflict and says it.
void stepConflict(Viewer& v, int dir);
// Alt+O and Alt+T (side 1 ours, 2 theirs): takes that side's value at the conflict N went to
// (or the selected lattice's first open one), as an edit that undo takes back.
void takeSide(Viewer& v, int side);
// What the selection panel adds in the merge view: where the selected lattice's changes came
// from, and each of its conflicts with base, ours, theirs and the side taken.
std::vector<std::string> mergePanelLines(const Viewer& v);
// The info panel's rows in the merge view: the maps merged and the conflicts left.
std::vector<std::string> mergeInfoLines(const Viewer& v);
// What the merge view adds to a frame (ViewDraw): the selection outlined, as comparing does, so
// that each lattice keeps its colour. Nothing without a merge.
void addMerge(Viewer& v, ViewDraw& d);
// The exit status a merge asks for: 1 while conflicts are open or OUT lacks the result.
int mergeStatus(const Viewer& v);
