// The viewer's run: the window, the first map and the message loop, until the user quits.
#pragma once

#include "viewer.h"

// Runs the viewer on the map `cmdLine` names (quotes are stripped in place), from `start`;
// the exit status. WinMain is this with the default start.
int runViewer(HINSTANCE instance, LPSTR cmdLine, const ViewerStart& start);
