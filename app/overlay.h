// The panels over the frame: help, info, selection, measurement and messages.
#pragma once

#include "viewer.h"

#include <vector>

// The panels to draw at `now`: none while O hides them.
std::vector<OverlayPanel> overlayPanels(const Viewer& v, DWORD now);
// A character typed while the help sheet is shown: added to its filter ('\b' takes the last
// one back); the sheet lists the rows whose keys or words hold the filter.
void typeInHelp(Viewer& v, int c);
// Hides the help sheet and forgets its filter.
void closeHelp(Viewer& v);
// The panels of a frame on screen into `d` (held in `panels`, which must outlive the drawing);
// counts the frame for the info panel.
void addPanels(Viewer& v, ViewDraw& d, std::vector<OverlayPanel>& panels);
// Frees what the overlay made in the GL context.
void releaseOverlays(Viewer& v);
