// The cut through the scene (C, Shift+C, [ and ], Ctrl+wheel) and the map's world box it steps by.
#pragma once

#include "viewer.h"

// The map's world box, hidden lattices too, worked out once a map; false when nothing is drawn.
bool mapBox(Viewer& v, SceneBox& box);
// C and Shift+C: a cut keeping what is below (above) the point under the pointer, else the
// selected lattice's middle, else the map's; C on a cut removes it, Shift+C turns it over.
void cutScene(Viewer& v, SectionKeeps keeps);
// [ and ]: moves the cut down or up `steps` tenths of the map's height.
void moveCut(Viewer& v, int steps);
