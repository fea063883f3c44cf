// Process-wide values read by the camera step and the renderer.
#pragma once

struct ViewerState {
  float radToDeg = 57.2958f;    // radians to degrees, as a single-precision constant
  float positionScale = 1.0f;   // multiplies lattice positions
  float horizontalScale = 1.0f; // multiplies insets
  float verticalScale = 1.0f;   // multiplies heights
  int axisFlag = 0;             // non-zero while the axis lines are shown ('T' held)
};

inline ViewerState viewerState;
