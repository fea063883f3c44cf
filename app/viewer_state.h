// The one ViewerState of the viewer process, read by the camera step and the frame.
#pragma once

#include "render/view_state.h"

inline ViewerState viewerState;
