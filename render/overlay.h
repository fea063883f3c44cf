// Text over the frame: panels of lines on a translucent dark ground, in window pixels, drawn
// with the baked glyph atlas after the scene.
#pragma once

#include <string>
#include <vector>

struct OverlayLine {
  std::string text; // printable ASCII; anything else shows as '?'
  float rgb[3] = {0.92f, 0.92f, 0.92f};
};

// What a panel shows, which decides its place: the help sheet has the window above the
// messages to itself; otherwise the info panel, the measurement and a comparison's legend
// stand at the top left, the selection at the top right, the axes marker in the bottom right
// corner above the messages, and the messages along the bottom. The outline has a side of the
// window to itself, and the others share the rest.
enum class PanelKind { info, selection, measure, messages, help, legend, axes, outline };

struct OverlayPanel {
  PanelKind kind = PanelKind::info;
  // The axes marker's lines are its three labels, for x, y and z, in their axes' colours.
  std::vector<OverlayLine> lines;
  int box[4] = {};        // left, top, right, bottom pixel edges of its ground, from layoutPanels
  float turn[2] = {0, 0}; // the axes marker's: the view's pitch and yaw, degrees
};

// The axes marker's ground: a square of this many pixels a side.
constexpr int axesSize = 96;

// Pixels between a panel's edge and its text, and between a panel and the window's edge.
constexpr int panelPadding = 6;
constexpr int panelMargin = 8;

// The outline's ground in a width x height window: down the left side, outlineChars characters
// wide, from the top margin to the bottom one; from outlineWide pixels down, the whole window
// within the margins.
constexpr int outlineChars = 34;
constexpr int outlineWide = 480;
void outlineBox(int width, int height, int box[4]);
// How many lines of text, and how many characters of a line, a panel's ground `px` pixels high
// (or wide) holds.
int rowsFitting(int px);
int charsFitting(int px);

// Width and height of a panel's ground in pixels, for its lines as they are.
int panelWidth(const OverlayPanel& p);
int panelHeight(const OverlayPanel& p);
// Places the panels in a width x height window (from 320 x 240 up) so that no two overlap and
// every line lies inside its panel: message lines that are too long wrap (the newest kept when
// they fill half the window), other lines end in "..."; the help sheet takes the window above
// the messages and the other panels are not shown while it is; where the left and right panels
// do not fit side by side they stand one under the other; rows that do not fit below are cut,
// the last row saying how many were left out. Panels with no row left are removed. An outline
// stands at outlineBox (its lines cut to fit) and the others are laid out in the window to its
// right, or not shown when the outline takes the whole window.
void layoutPanels(std::vector<OverlayPanel>& panels, int width, int height);

// Lays the panels out (layoutPanels) and draws them over the current frame of a width x height
// window. `texture` is the glyph
// atlas's texture in the current context, 0 until the first call makes it (and again after the
// context is lost). Expects what the frame leaves (the depth test on, blending and texturing
// off, no texture bound, model-view current) and puts all of it back, the matrices included.
// Draws nothing, and calls nothing, for no panels.
void drawOverlay(std::vector<OverlayPanel> panels, int width, int height, unsigned& texture);
