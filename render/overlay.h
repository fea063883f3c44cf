// Text over the frame: panels of lines on a translucent dark ground, in window pixels, drawn
// with the baked glyph atlas after the scene.
#pragma once

#include <string>
#include <vector>

struct OverlayLine {
  std::string text; // printable ASCII; anything else shows as '?'
  float rgb[3] = {0.92f, 0.92f, 0.92f};
};

// Where a panel sits: against a corner or an edge of the window, or in its middle.
enum class Anchor { topLeft, topRight, bottomLeft, centre };

struct OverlayPanel {
  Anchor anchor = Anchor::topLeft;
  std::vector<OverlayLine> lines;
};

// Pixels between a panel's edge and its text, and between a panel and the window's edge.
constexpr int panelPadding = 6;
constexpr int panelMargin = 8;

// Width and height of a panel's ground in pixels.
int panelWidth(const OverlayPanel& p);
int panelHeight(const OverlayPanel& p);
// The panel's ground in a width x height window: left, top, right, bottom pixel edges.
void panelBox(const OverlayPanel& p, int width, int height, int box[4]);

// Draws the panels over the current frame of a width x height window. `texture` is the glyph
// atlas's texture in the current context, 0 until the first call makes it (and again after the
// context is lost). Expects what the frame leaves (the depth test on, blending and texturing
// off, no texture bound, model-view current) and puts all of it back, the matrices included.
// Draws nothing, and calls nothing, for no panels.
void drawOverlay(const std::vector<OverlayPanel>& panels, int width, int height, unsigned& texture);
