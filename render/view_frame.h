// A view drawn from one record of what it shows, by one function that runs the passes in
// order: the projection, the scene, a comparison's edges, the selected lattice's cell grid, the
// measurement's marks and the panels. The viewer, its pictures, the page and the toolkit's
// render and thumbnail all draw through it.
#pragma once

#include "frame.h"
#include "overlay.h"
#include "retained.h"
#include "view.h"

#include "mapfile/lattice.h"

#include <cstdint>
#include <vector>

// The projection a view sets before it draws: the one set last kept, the perspective one, or
// the orthographic one over `box`.
enum class Projection : uint8_t { kept, perspective, orthographic };

// What one view draws. Everything but `trot`, `vs` and `scene` may be left out.
struct ViewDraw {
  int width = 640, height = 480; // pixels
  Projection projection = Projection::kept;
  float ortho = 0;    // the orthographic half-height (viewOrtho)
  float farPlane = 0; // the perspective far plane (viewProjection; 0: the plain view's)
  SceneBox box;       // what the orthographic depth range holds
  const float* trot = nullptr;
  const ViewerState* vs = nullptr;
  const Lattice* lat = nullptr;      // the list shown
  RetainedScene* scene = nullptr;    // its geometry; a scene built from another list draws `lat`
                                     // triangle by triangle through its face tables (drawFrame)
  RetainedScene* old = nullptr;      // a comparison's removed lattices, from the old map's scene
  RetainedScene* outlined = nullptr; // the comparison's outline: lattice outlinedIndex of it
  int outlinedIndex = -1;
  const Lattice* gridOf = nullptr;          // the lattice whose cell grid is drawn
  const std::vector<float>* grid = nullptr; // its latticeGridLines
  const double (*points)[3] = nullptr;      // the measurement's points, pointCount of them
  int pointCount = 0;
  const std::vector<OverlayPanel>* panels = nullptr; // drawn last, with the glyph atlas
  unsigned* glyphs = nullptr;                        // (drawOverlay's texture)
};

// Draws the view `d` into the current GL context: the passes in the order above.
void drawView(const ViewDraw& d);
