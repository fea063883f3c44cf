// The scene: opening, reloading and watching the map, building its geometry, drawing it.
#pragma once

#include "viewer.h"

#include <string>
#include <vector>

// The first whitespace-delimited word of the text file `path`, of any length. False with
// `err` set when the file does not open or holds no word.
bool readFirstWord(const char* path, std::string& word, std::string& err);
// Loads the map the command line or infile.txt names and builds its geometry; false after
// saying why it does not open. With no name anywhere there is no map: the start screen.
bool openStartMap(Viewer& v, const char* cmdLine);
// Loads the watched file again in place of the scene: the camera stays, and the selection
// where it still names a drawn lattice. A failure keeps the scene and says why, once.
void reloadMap(Viewer& v);
// Opens `name` in place of the scene, from the start view with nothing selected; it is
// watched from then on. A failure keeps the scene and says why. Unsaved edits are asked about
// first, unless the caller has `settled` them.
void openDroppedMap(Viewer& v, const std::string& name, bool settled = false);
// Ctrl+O: asks about unsaved edits, then for a map file with the system's open dialog, and
// opens it (as a dropped map); says how to open a map when no dialog can be shown.
void openChosenMap(Viewer& v);
// Ctrl+PageDown and Ctrl+PageUp (dir 1, -1): asks about unsaved edits, then opens the next or
// previous map file (*.map, in name order, wrapping) of the open map's folder that loads,
// keeping the camera, the projection and the section; a file that does not load is said and
// passed over.
void stepFolder(Viewer& v, int dir);
// The map files (*.map, any case) of the folder `name` lies in, full paths in name order.
std::vector<std::string> folderMaps(const std::string& name);
// Builds the scene's geometry for the current map, in buffer objects where the context has
// them.
void buildScene(Viewer& v);
// Looks at the map file (and a dropped file still changing) when it is time; loads it once a
// change has settled.
void watchCommand(Viewer& v);
// A file dropped on the window opens as a new map.
void dropCommand(Viewer& v, const MSG& msg);
// What the view shows of the scene (ViewDraw): the projection, the map and a comparison. A frame
// on screen adds the marks and the panels.
ViewDraw sceneView(Viewer& v);
// Draws the scene alone (no marks, no panels) into the current context, as F12 saves it.
void drawScene(Viewer& v);
