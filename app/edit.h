// Editing the open map in place: moving, turning, sculpting, undo and redo, saving.
#pragma once

#include "viewer.h"

#include <utility>
#include <vector>

// Runs an editing action: M, the move keys while moving, + and -, B, undo, redo and save.
void editAction(Viewer& v, Action a, int key);
// The height samples of L's top face near (x, z) in its own frame (list positions of its
// heights), with their weights: the nearest alone, or with the brush every sample within two
// cells, weighted 1 - distance / 2 cells, the nearest first.
std::vector<std::pair<int, double>> samplesNear(const Lattice* L, const ViewerState& vs, bool brush,
                                                double x, double z);
// Shift+wheel: raises (notches > 0) or lowers the height under the pointer.
void sculptWheel(Viewer& v, int notches);
// The key table the camera reads: while moving a lattice the move keys are the lattice's, and
// while Ctrl is down a letter is a command's, so neither moves the camera.
void cameraKeys(const Viewer& v, unsigned char out[256]);
// Asks "Save changes to NAME?" when edits are unsaved, and saves on Yes; false when the user
// cancels (or the save failed): whatever was to happen then does not.
bool settleEdits(Viewer& v);
// Forgets the edits: a new map is open.
void forgetEdits(Viewer& v);
