// The frame: clear, then every drawn lattice placed by the camera and its parent chain,
// its six faces as grey triangles handed to an emitter.
#pragma once

#include "mapfile/lattice.h"
#include "placement.h"
#include "view_state.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

// The four corners of the current cell; corner c is (x[c], y[c], z[c]).
struct Corners {
  float x[4], y[4], z[4];
};

// How a lattice is coloured: each triangle's grey, times a hue. Amber is the selection's; the
// rest are a comparison's: added, moved, reshaped, moved and reshaped, removed.
enum class LatticeStyle : uint8_t {
  grey,
  amber,
  added,
  moved,
  reshaped,
  both,
  removed,
  ours, // a merge: changes from ours, theirs, both, a conflict
  theirs,
  fromBoth,
  conflict
};

// The colour a triangle of grey `g` takes in `style`: g times the style's hue, (1, 1, 1) for
// grey, (1, 0.8, 0.35) for amber, green, blue, orange, violet and red for the changes; blue,
// green, cyan and magenta for a merge's origins.
void styleColour(LatticeStyle style, float g, float rgb[3]);

// The 8-bit level OpenGL stores for colour component `c` in an 8-bit colour buffer, as Mesa's
// software rasterizer (the reference for every picture) converts it, so that a colour kept as
// a byte draws the pixel its float draws. Other drivers may round a near tie the other way.
uint8_t colourLevel(float c);

// Sets the current context up for the scene: the depth test, and flat shading. A triangle's
// three corners share its colour, so interpolating it changes nothing but the rounding: a grey
// within a hair of halfway between two levels would round to either, pixel by pixel, where
// the perspective divides it. Flat, every pixel of a triangle takes its colour's own level,
// whether it came as a float or as the byte colourLevel gives.
void sceneContext();

// Sends triangles to OpenGL: colour, begin, three vertices, end, each triangle's grey coloured
// in `style` (styleColour).
struct GlEmitter {
  LatticeStyle style = LatticeStyle::grey;
};

// Whether the drawn lattice with this ordinal is the selected one (see ViewerState).
inline bool isSelected(const ViewerState& vs, const float* trot, int ordinal) {
  return vs.selectionShown && int(trot[Trot::selectedLattice]) == ordinal;
}

// The six faces of a lattice, in the order the passes draw them.
enum class Face : uint8_t { bottom, top, lowX, highX, lowZ, highZ };

// The direction a face looks away from its lattice, in the lattice's own frame.
void outwardAxis(Face f, float axis[3]);

struct Triangle {
  float v[3][3]; // corners in the lattice's own frame
  float grey;
  Face face; // the pass that drew it
};

// Collects triangles; stops collecting (and sets `full`) at `cap`.
struct CollectEmitter {
  std::vector<Triangle>* out;
  size_t cap = size_t(-1);
  bool full = false;
};

// Writes triangles into preallocated arrays: per corner three position floats, the same 32-bit
// values the GL emitter sends, and its colour in `style` as four bytes. `n` counts corners
// written.
struct ArrayEmitter {
  float* xyz;    // 3 floats a vertex
  uint8_t* rgba; // 4 levels a vertex (colourLevel), alpha 255
  LatticeStyle style = LatticeStyle::grey;
  size_t n = 0;
};

// What the face passes read of one lattice, filled afresh for each lattice drawn: its extent,
// each level's inset edges (0..ny) and each grid sample's height, scaled. The caller owns the
// record (up to about 260 KB once grown) and draws one lattice at a time through it.
struct FaceTables {
  const Lattice* L = nullptr;
  float ex = 0, ey = 0, ez = 0;
  std::vector<std::array<float, 4>> lyr;
  std::vector<float> h;
};

// Triangles the six face passes draw for a lattice of nx x ny x nz cells.
inline size_t faceTriangles(const Lattice* L) {
  return 4 * size_t(L->nx) * L->nz + 4 * size_t(L->ny) * (size_t(L->nx) + L->nz);
}

// Runs the six face passes of a lattice whose `id` is not 0, in its own frame.
template <class Emit>
void drawLatticeFaces(const Lattice* L, const ViewerState& vs, FaceTables& ft, Emit& emit);

// Whether lattice `index` is flagged in `flags` (by list index); entries past its end are not.
inline bool flagged(const std::vector<bool>& flags, size_t index) {
  return index < flags.size() && flags[index];
}

// Fills `ft` with lattice L's tables, as drawing its faces does: for drawLatticeRange.
void prepareFaceTables(const Lattice* L, const ViewerState& vs, FaceTables& ft);

// Triangles from..to-1 (both even: whole cells) of what drawLatticeShape draws, the same values
// in the same order; `ft` prepared for L (prepareFaceTables) since its values last changed.
template <class Emit>
void drawLatticeRange(const Lattice* L, const ViewerState& vs, bool box, FaceTables& ft,
                      size_t from, size_t to, Emit& emit);

// Triangles from..to-1 of a lattice, in the order drawLatticeFaces draws them.
struct TriangleRange {
  size_t from, to;
  bool operator<(const TriangleRange& o) const {
    return from < o.from || (from == o.from && to < o.to);
  }
};
// Adds to `out` the triangles whose corners grid sample `m` (j (nx + 1) + i) of L moves: the
// bottom and top cells around it and, for a sample on the grid's edge, the wall cells beside it
// at every level. A sample past the grid adds nothing.
void addSampleTriangles(const Lattice* L, int m, std::vector<TriangleRange>& out);
// Sorts ranges and joins those that overlap or touch.
void mergeRanges(std::vector<TriangleRange>& ranges);

// Triangles a lattice drawn as its bounding box takes.
constexpr size_t boxTriangles = 12;

// Which lattices of the list from `lat` (by list index) are drawn as their bounding boxes, so
// that a frame takes at most about `budget` triangles whatever the map: in list order, a drawn
// lattice keeps its faces while they fit in what the lattices before it left of the budget;
// one that does not fit is a box. A map within the budget has no box.
std::vector<bool> boxedLattices(const Lattice* lat, size_t budget);

// The 12 triangles of the box around every corner the face passes of the lattice draw, in its
// own frame, grey by the slope shading rule; nothing for a lattice whose faces draw nothing or
// whose box is not finite.
template <class Emit>
void drawLatticeBox(const Lattice* L, const ViewerState& vs, FaceTables& ft, Emit& emit);

// The lattice's faces, or its box when `box`.
template <class Emit>
void drawLatticeShape(const Lattice* L, const ViewerState& vs, bool box, FaceTables& ft,
                      Emit& emit) {
  if (box)
    drawLatticeBox(L, vs, ft, emit);
  else
    drawLatticeFaces(L, vs, ft, emit);
}

// The slope shading rule: grey of the triangle at corners 1, 2 and r (0 or 3), sign s (+1 or -1).
float slopeGrey(const Corners& c, int r, int s);

// The plane equation (a, b, c, d: a x + b y + c z + d >= 0 is kept, world coordinates) of the
// cut `s`, as glClipPlane takes it; all zeros keep everything.
void sectionPlane(const Section& s, double eq[4]);
// Sets the cut of `vs` as user clip plane 0 in the world of camera `trot` and enables it; with
// no cut, no call. endSection disables it again.
void beginSection(const float* trot, const ViewerState& vs);
void endSection(const ViewerState& vs);

// Clears and draws one frame of the list from `lat` with the camera record `trot` (positions
// 0-4, see Trot) and `vs`, into the current GL context, through the caller's tables `ft`. The
// model-view matrix must be current.
void drawFrame(const Lattice* lat, const float* trot, const ViewerState& vs, FaceTables& ft);
