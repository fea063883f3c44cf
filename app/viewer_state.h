// The one ViewerState of the viewer process, read by the camera step and the frame.
#pragma once

#include "platform/page.h"
#include "render/view_state.h"

#include <cstddef>

inline ViewerState viewerState;

// Where the camera starts (trot positions 0-4) and which lattice is selected at start (a list
// index, -1 for none): nothing, except where the platform sets a view to open at (the web
// page's #camera= and &select=).
inline float startCamera[5] = {};
inline int startSelection = -1;
// The running viewer's camera and selection, for a platform layer that shows them (the web
// page).
inline PageView pageView;

// Bytes the viewer's map may take in memory; past it loading fails as out of memory (tests
// lower it to reach that failure).
inline size_t mapStoreLimit = size_t(-1);
