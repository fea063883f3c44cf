// The dispatcher: key, pointer and page messages turned into actions, and the switch that runs
// them.
#pragma once

#include "viewer.h"

// A key press: looked up in the bindings and run. Any press stops a playing flight (the key
// does what it does, unless it is one of the flight's own keys).
void keyCommand(Viewer& v, const MSG& msg);
// Runs one pressed action (see Action).
void runAction(Viewer& v, Action a, int key = 0);
// What the web page's outline asks (pageAskMessage): select a lattice, select and fit it (a
// hidden one is shown first), hide or show it.
void pageCommand(Viewer& v, const MSG& msg);
// Mouse messages: drags and the wheel move the camera; a click selects what it is on.
void pointerCommand(Viewer& v, const MSG& msg);
