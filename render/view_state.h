// The renderer's inputs besides the map: the camera record `trot` and the scale factors and
// switches the frame is drawn with.
#pragma once

#include <cstdint>

// Positions in the camera record `trot`: the scene's translation in world units, then pitch
// and yaw in degrees.
namespace Trot {
enum : int { tx = 0, ty = 1, tz = 2, pitch = 3, yaw = 4, selectedLattice = 6, size = 10 };
}

// A horizontal cut through the scene at height `y` (world units): the part above it (keeps
// below) or below it (keeps above) is not drawn.
enum class SectionKeeps : uint8_t { all, below, above };
struct Section {
  SectionKeeps keeps = SectionKeeps::all;
  float y = 0;
};

// Whether a world point at height `y` is drawn with the cut `s`.
inline bool sectionKeeps(const Section& s, double y) {
  return s.keeps == SectionKeeps::all || (s.keeps == SectionKeeps::below ? y <= s.y : y >= s.y);
}

struct ViewerState {
  float radToDeg = 57.2958f;    // radians to degrees, as a single-precision constant
  float positionScale = 1.0f;   // multiplies lattice positions
  float horizontalScale = 1.0f; // multiplies insets
  float verticalScale = 1.0f;   // multiplies heights
  int axisFlag = 0;             // non-zero while the axis lines are shown ('T' held)
  // Non-zero while a lattice is selected: the drawn lattice whose ordinal (lattices with id 0
  // not counted) is trot[selectedLattice], truncated, is drawn in amber.
  int selectionShown = 0;
  Section section; // none unless the user cuts the scene (C)
  // Half the height of an orthographic view, in world units; 0: the perspective projection.
  float ortho = 0;
  // The perspective view's far plane where a fit pushed it out (fittedFar); 0: the plain 1000.
  float farPlane = 0;
};
