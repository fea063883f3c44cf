// Retained geometry: each drawn lattice's triangles built once, through the same face passes,
// into vertex and colour arrays, moved into a buffer object where the OpenGL implementation has
// them, and drawn every frame with vertex arrays (from the buffer, or from the client arrays
// on a plain OpenGL 1.1). Chunks whose bounding box lies wholly outside the view are skipped.
#pragma once

#include "frame.h"
#include "mapfile/lattice.h"
#include "placement.h"
#include "view_state.h"

#include "platform/gl.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Triangles per chunk: the unit of culling.
constexpr size_t chunkTriangles = 512;

struct GeometryChunk {
  int first, count;   // vertices in the scene's arrays
  float lo[3], hi[3]; // bounding box in the lattice's own frame
};

// One drawn lattice of the list, in list order: its vertices and chunks, or none when it did
// not fit the budget and is drawn in immediate mode.
struct RetainedLattice {
  const Lattice* L;
  int index; // in the list
  size_t firstChunk, chunkCount;
  bool arrays;
  bool box;                 // drawn as its bounding box: past the scene's triangle budget
  bool hidden = false;      // not drawn at all (hideLattices)
  int first = 0, count = 0; // its vertices in the arrays
  LatticeStyle style = LatticeStyle::grey;   // its colours when not selected (setLatticeStyle)
  LatticeStyle colours = LatticeStyle::grey; // the colours its arrays hold now
};

// The buffer-object entry points of one context, found by findBufferObjects; null where it
// has none.
struct GlBufferCalls {
  void(APIENTRY* genBuffers)(GLsizei, GLuint*) = nullptr;
  void(APIENTRY* bindBuffer)(GLenum, GLuint) = nullptr;
  void(APIENTRY* bufferData)(GLenum, ptrdiff_t, const void*, GLenum) = nullptr;
  void(APIENTRY* deleteBuffers)(GLsizei, const GLuint*) = nullptr;
  void(APIENTRY* bufferSubData)(GLenum, ptrdiff_t, ptrdiff_t, const void*) = nullptr;
};

struct RetainedScene {
  const Lattice* lat = nullptr; // the list the scene was built from
  std::vector<float> xyz;       // 3 floats a vertex; emptied once in a buffer object
  std::vector<uint8_t> rgba;    // 4 colour levels a vertex (colourLevel); likewise
  std::vector<GeometryChunk> chunks;
  std::vector<RetainedLattice> lattices;
  size_t bytes = 0;                       // of the arrays
  size_t vertices = 0;                    // in the arrays, or in the buffer objects
  unsigned xyzBuffer = 0, rgbaBuffer = 0; // buffer objects holding the arrays; 0: none
  size_t boxes = 0;                       // lattices drawn as their bounding boxes
  FramePlacements placements;             // each frame's model-view matrices, one a lattice
  GlBufferCalls gl;                       // the entry points the buffer objects were made with
  FaceTables faces;                       // for lattices built, and drawn immediately
  ViewerState vs;                         // the scales the arrays were built with
  std::vector<float> redoXyz;             // one lattice's arrays, recoloured or rebuilt
  std::vector<uint8_t> redoRgba;
};

// The largest KELVANE_GEOMETRY_MB: 16 TiB, or what size_t holds in bytes where that is less.
constexpr size_t maxGeometryMb = SIZE_MAX >> 20 < (size_t(1) << 24) ? SIZE_MAX >> 20
                                                                    : size_t(1) << 24;

// Bytes the arrays may take. `setting` is KELVANE_GEOMETRY_MB's value, null when unset: a whole
// number of megabytes from 0 to maxGeometryMb (0 draws everything in immediate mode). Unset,
// or anything else (then with `warning` saying so), gives the default: 1 GiB or a quarter of
// `memory` (the machine's, in bytes; 0 when unknown), whichever is less.
size_t geometryBudget(const char* setting, size_t memory, std::string& warning);
// The same with the process's KELVANE_GEOMETRY_MB.
size_t geometryBudgetFromEnv(size_t memory, std::string& warning);

// Builds `scene` for the list from `lat` with `vs`'s scales, releasing what it held. Lattices past
// `triangleBudget` triangles are boxes (see boxedLattices). Lattices go into arrays in list
// order while they fit in `budget` bytes (48 per triangle); the rest stay immediate.
void buildRetained(const Lattice* lat, const ViewerState& vs, size_t budget, RetainedScene& scene,
                   size_t triangleBudget = SIZE_MAX);

// The current context's entry point for an OpenGL function past 1.1, by name, or null where it
// has none: the window system's lookup (wglGetProcAddress, eglGetProcAddress, ...).
using GlProcLookup = void* (*)(const char* name);

// Whether the current context has buffer objects (OpenGL 1.5, or ARB_vertex_buffer_object under
// its own names), looking up their entry points into `gl` through `getProc`; false, with `gl`
// emptied, on a plain OpenGL 1.1.
bool findBufferObjects(GlProcLookup getProc, GlBufferCalls& gl);

// Moves the scene's arrays into two buffer objects of the current context and frees them. False,
// the arrays kept as client arrays, where the context has no buffer objects or the upload
// failed (out of memory). Call with the scene's arrays built and its buffer not yet made.
bool uploadRetained(RetainedScene& scene, GlProcLookup getProc);

// Marks the lattices the user hid: `hidden[i]` for the lattice at list index i (entries past the
// vector's end are shown). Hidden lattices are not drawn; the others keep their ordinals.
void hideLattices(RetainedScene& scene, const std::vector<bool>& hidden);

// Sets the colours of the lattice at list index `index` when it is not selected; the arrays
// take them at the next frame.
void setLatticeStyle(RetainedScene& scene, int index, LatticeStyle style);

// Builds the arrays of the lattice at list index `index` again from its values (an edit that
// changed none of its counts) into the current context's buffer or the client arrays, and
// nothing else. False when it has no arrays (it is drawn immediately, from its values anyway),
// its triangles no longer number what it had, or there is no memory for it.
bool rebuildLattice(RetainedScene& scene, int index);

// Builds again only the triangles `ranges` (drawLatticeFaces' order) of the lattice at list index
// `index` after an edit of its heights, into the buffer or the client arrays, with the boxes
// of the chunks they lie in; a lattice drawn as its box is built whole. False as rebuildLattice.
bool rebuildTriangles(RetainedScene& scene, int index, std::vector<TriangleRange> ranges);

// Deletes the scene's buffer objects; the context that made it must be current (or gone with
// it). The arrays' place and the chunks stay.
void releaseRetained(RetainedScene& scene);

// Draws the frame drawFrame draws, from the scene: the same clear, camera, placement, axis
// lines and triangles in the same order, into the current GL context. Every lattice in the
// arrays is drawn from them, the selected one too: a lattice whose colours changed (it was
// selected, or its style set) is recoloured first, its range alone. Allocates nothing but
// that lattice's arrays, once. The shown lattices of `also` (a comparison's removed lattices,
// from the old map's scene) are drawn into the same frame after them; with `also`, no lattice
// is drawn selected.
void drawRetainedFrame(RetainedScene& scene, const float* trot, const ViewerState& vs,
                       RetainedScene* also = nullptr);
