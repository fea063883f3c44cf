// Editing the open map in place: moving, turning, sculpting, undo and redo, saving.
#pragma once

#include "viewer.h"

#include <utility>
#include <vector>

// M: starts moving the selected lattice, or ends it.
void toggleMoving(Viewer& v);
// A move key while moving (E D S F W R, a virtual-key code): the selected lattice one unit along
// its parent's axes.
void moveLattice(Viewer& v, int key);
// Left and Right while moving (dir -1, 1): turns the selected lattice about its parent's y.
void turnLattice(Viewer& v, int dir);
// + and - (dir 1, -1): raises or lowers the height under the pointer, or the brush's.
void sculpt(Viewer& v, int dir);
// B: the one height, or a brush of two cells' radius.
void toggleBrush(Viewer& v);
// Ctrl+Z and Ctrl+Y: undoes the last edit, or redoes the last undone.
void undoOrRedo(Viewer& v, bool undo);
// Makes `s` (its values already set to `after`) the newest edit, says its line and shows it.
void recordEdit(Viewer& v, EditStep s);
// Ctrl+S: saves the edits into the map's file, or says why not; false when nothing was saved.
bool saveMap(Viewer& v);
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
