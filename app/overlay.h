// The panels over the frame: help, info, selection, measurement and messages.
#pragma once

#include "viewer.h"

#include <vector>

// The panels to draw at `now`: none while O hides them.
std::vector<OverlayPanel> overlayPanels(const Viewer& v, DWORD now);
// The panels of a frame on screen into `d` (held in `panels`, which must outlive the drawing);
// counts the frame for the info panel.
void addPanels(Viewer& v, ViewDraw& d, std::vector<OverlayPanel>& panels);
// Frees what the overlay made in the GL context.
void releaseOverlays(Viewer& v);
