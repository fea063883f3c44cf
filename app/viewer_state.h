// The one ViewerState of the viewer process, read by the camera step and the frame.
#pragma once

#include "render/view_state.h"

#include <cstddef>

inline ViewerState viewerState;

// Where the camera starts (trot positions 0-4): zero, except where the platform sets a view
// to open at (the web page's #camera=). The running viewer's camera record, for a platform
// layer that shows it (the web page); null while no viewer runs.
inline float startCamera[5] = {};
inline const float* liveCamera = nullptr;

// Bytes the viewer's map may take in memory; past it loading fails as out of memory (tests
// lower it to reach that failure).
inline size_t mapStoreLimit = size_t(-1);
