// The dispatcher: key, pointer and page messages turned into actions, and the switch that runs
// them.
#pragma once

#include "viewer.h"

// A key press: looked up in the bindings and run. Any press stops a playing flight (the key
// does what it does, unless it is one of the flight's own keys).
void keyCommand(Viewer& v, const Input& in);
// Runs one action (see Action): `key` is the key pressed, or the lattice (list index) a page
// names; `name` the keyframe file a page hands over.
void runAction(Viewer& v, Action a, int key = 0, const std::string& name = "");
// What the web page asks (decoded into an action): select a lattice, select and fit it (a hidden
// one is shown first), hide or show it, play the flight, save the picture or the map, open a
// keyframe file.
void pageCommand(Viewer& v, const Input& in);
// Mouse messages: drags and the wheel move the camera; a click selects what it is on.
void pointerCommand(Viewer& v, const MSG& msg);
