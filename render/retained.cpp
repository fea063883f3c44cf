// Retained geometry: arrays built once per map, drawn in chunks with view-volume culling.
#include "retained.h"

#include "frame.h"
#include "platform/matrix.h"
#include "placement.h"

#include "platform/gl.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

constexpr GLenum arrayBuffer = 0x8892; // GL_ARRAY_BUFFER
constexpr GLenum staticDraw = 0x88E4;  // GL_STATIC_DRAW

// Whether the GL_VERSION text names OpenGL 1.5 or later, or any OpenGL ES (which has buffer
// objects from its first version).
bool versionHasBuffers(const char* v) {
  if (!v) return false;
  if (!std::strncmp(v, "OpenGL ES", 9)) return true;
  int major = 0, minor = 0;
  for (; *v >= '0' && *v <= '9'; v++) major = major * 10 + (*v - '0');
  if (*v++ != '.') return false;
  for (; *v >= '0' && *v <= '9'; v++) minor = minor * 10 + (*v - '0');
  return major > 1 || (major == 1 && minor >= 5);
}

// Whether the space-separated GL_EXTENSIONS text holds `name` as a whole word.
bool hasExtension(const char* list, const char* name) {
  size_t n = std::strlen(name);
  for (const char* p = list; p && (p = std::strstr(p, name)); p += n)
    if ((p == list || p[-1] == ' ') && (p[n] == ' ' || p[n] == 0)) return true;
  return false;
}

template <typename F>
void lookUp(GlProcLookup getProc, F& f, const char* name, const char* suffix) {
  std::string full = std::string(name) + suffix;
  f = reinterpret_cast<F>(getProc(full.c_str()));
}

// Three corners of three position floats and four colour bytes.
constexpr size_t bytesPerTriangle = 3 * (3 * sizeof(float) + 4);
// Vertices in the arrays at most: first and count of a draw call are GLint.
constexpr size_t maxVertices = INT_MAX;

// Bounds chunk `c` from the positions `xyz` of its first vertex on.
void boundChunk(const float* xyz, GeometryChunk& c) {
  const float* p = xyz;
  for (int a = 0; a < 3; a++) c.lo[a] = c.hi[a] = p[a];
  for (int v = 1; v < c.count; v++)
    for (int a = 0; a < 3; a++) {
      c.lo[a] = std::min(c.lo[a], p[3 * v + a]);
      c.hi[a] = std::max(c.hi[a], p[3 * v + a]);
    }
}

// Whether the box lies wholly on the outer side of one clip plane, for the column-major
// clip matrix m (projection times model-view). A box touching a plane within a small margin
// counts as inside, so no visible triangle is ever skipped.
bool outsideView(const Matrix& clipM, const GeometryChunk& c) {
  const double* m = clipM.m;
  double clip[8][4];
  for (int k = 0; k < 8; k++) {
    double x = k & 1 ? c.hi[0] : c.lo[0], y = k & 2 ? c.hi[1] : c.lo[1],
           z = k & 4 ? c.hi[2] : c.lo[2];
    for (int r = 0; r < 4; r++) clip[k][r] = m[r] * x + m[4 + r] * y + m[8 + r] * z + m[12 + r];
  }
  for (int axis = 0; axis < 3; axis++)
    for (double side : {-1.0, 1.0}) {
      bool all = true;
      for (int k = 0; k < 8 && all; k++) {
        double v = side * clip[k][axis], w = clip[k][3];
        all = v > w + 1e-5 * (std::fabs(v) + std::fabs(w) + 1);
      }
      if (all) return true;
    }
  return false;
}

// Fills `s` (reset first) for the lattices that fit `budget` bytes, boxes past `triangleBudget`
// triangles; throws std::bad_alloc.
void buildArrays(const Lattice* lat, const ViewerState& vs, size_t budget, size_t triangleBudget,
                 RetainedScene& s) {
  s = RetainedScene{};
  s.lat = lat;
  s.vs = vs;
  std::vector<bool> boxed = boxedLattices(lat, triangleBudget);
  size_t triangles = 0, index = 0;
  bool fits = true;
  for (const Lattice* L = lat; L; L = L->next, index++) {
    if (L->id == 0) continue;
    bool box = boxed[index];
    size_t t = box ? boxTriangles : faceTriangles(L);
    fits =
        fits && (triangles + t) * bytesPerTriangle <= budget && 3 * (triangles + t) <= maxVertices;
    if (fits) triangles += t;
    s.lattices.push_back({L, int(index), 0, 0, fits, box});
    s.boxes += box;
  }
  s.xyz.resize(3 * 3 * triangles);
  s.rgba.resize(4 * 3 * triangles);
  s.bytes = triangles * bytesPerTriangle;
  s.vertices = 3 * triangles;
  ArrayEmitter emit{s.xyz.data(), s.rgba.data()};
  for (RetainedLattice& r : s.lattices) {
    if (!r.arrays) break;
    int first = int(emit.n);
    drawLatticeShape(r.L, vs, r.box, s.faces, emit);
    r.first = first;
    r.count = int(emit.n) - first;
    r.firstChunk = s.chunks.size();
    for (int v = first; v < int(emit.n); v += int(3 * chunkTriangles)) {
      GeometryChunk c{v, std::min(int(3 * chunkTriangles), int(emit.n) - v), {}, {}};
      boundChunk(s.xyz.data() + 3 * size_t(v), c);
      s.chunks.push_back(c);
    }
    r.chunkCount = s.chunks.size() - r.firstChunk;
  }
}

// Puts `n` vertices' colours (and positions, unless `xyz` is null) from vertex `v` on into the
// buffer objects or the client arrays.
void sendVertices(RetainedScene& s, size_t v, size_t n, const uint8_t* rgba, const float* xyz) {
  if (s.rgbaBuffer) {
    s.gl.bindBuffer(arrayBuffer, s.rgbaBuffer);
    s.gl.bufferSubData(arrayBuffer, ptrdiff_t(4 * v), ptrdiff_t(4 * n), rgba);
    if (xyz) {
      s.gl.bindBuffer(arrayBuffer, s.xyzBuffer);
      s.gl.bufferSubData(arrayBuffer, ptrdiff_t(3 * v * sizeof(float)),
                         ptrdiff_t(3 * n * sizeof(float)), xyz);
    }
    s.gl.bindBuffer(arrayBuffer, 0);
  } else {
    std::memcpy(s.rgba.data() + 4 * v, rgba, 4 * n);
    if (xyz) std::memcpy(s.xyz.data() + 3 * v, xyz, 3 * n * sizeof(float));
  }
}

// Makes lattice r's arrays again into s.redoXyz and s.redoRgba, coloured in `style`, and copies
// the colours, and the positions too when `positions`, into the buffer objects or the client
// arrays. False, nothing changed, when there is no memory for it or its triangles no longer
// number what its range holds.
bool redoLattice(RetainedScene& s, RetainedLattice& r, LatticeStyle style, bool positions) {
  size_t n = size_t(r.count);
  if (3 * (r.box ? boxTriangles : faceTriangles(r.L)) != n) return false;
  try {
    s.redoXyz.resize(3 * n);
    s.redoRgba.resize(4 * n);
  } catch (const std::bad_alloc&) {
    return false;
  }
  ArrayEmitter emit{s.redoXyz.data(), s.redoRgba.data(), style};
  drawLatticeShape(r.L, s.vs, r.box, s.faces, emit);
  if (emit.n != n) return false; // a box whose corners are no longer finite
  sendVertices(s, size_t(r.first), n, emit.rgba, positions ? emit.xyz : nullptr);
  if (positions)
    for (size_t c = r.firstChunk; c < r.firstChunk + r.chunkCount; c++)
      boundChunk(emit.xyz + 3 * size_t(s.chunks[c].first - r.first), s.chunks[c]);
  r.colours = style;
  return true;
}

RetainedLattice* retainedAt(RetainedScene& s, int index) {
  for (RetainedLattice& r : s.lattices)
    if (r.index == index) return &r;
  return nullptr;
}

} // namespace

size_t geometryBudget(const char* setting, size_t memory, std::string& warning) {
  warning.clear();
  if (setting) {
    char* end = nullptr;
    errno = 0;
    unsigned long long mb = std::strtoull(setting, &end, 10);
    bool whole = *setting >= '0' && *setting <= '9' && *end == 0 && errno == 0;
    if (whole && mb <= maxGeometryMb) return size_t(mb) << 20;
    warning = std::string("KELVANE_GEOMETRY_MB=") + setting +
              ": expected a whole number of megabytes from 0 to " + std::to_string(maxGeometryMb) +
              "; using the default";
  }
  size_t gib = size_t(1) << 30;
  return memory ? std::min(gib, memory / 4) : gib;
}

size_t geometryBudgetFromEnv(size_t memory, std::string& warning) {
  return geometryBudget(std::getenv("KELVANE_GEOMETRY_MB"), memory, warning);
}

void buildRetained(const Lattice* lat, const ViewerState& vs, size_t budget, RetainedScene& s,
                   size_t triangleBudget) {
  releaseRetained(s);
  try {
    buildArrays(lat, vs, budget, triangleBudget, s);
  } catch (const std::bad_alloc&) {
    // No memory for arrays: every lattice in immediate mode.
    buildArrays(lat, vs, 0, triangleBudget, s);
  }
  preparePlacements(s.placements, lat);
}

bool findBufferObjects(GlProcLookup getProc, GlBufferCalls& gl) {
  const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
  const char* suffix = versionHasBuffers(version) ? ""
                       : hasExtension(reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS)),
                                      "GL_ARB_vertex_buffer_object")
                           ? "ARB"
                           : nullptr;
  gl = GlBufferCalls{};
  if (!suffix) return false;
  lookUp(getProc, gl.genBuffers, "glGenBuffers", suffix);
  lookUp(getProc, gl.bindBuffer, "glBindBuffer", suffix);
  lookUp(getProc, gl.bufferData, "glBufferData", suffix);
  lookUp(getProc, gl.deleteBuffers, "glDeleteBuffers", suffix);
  lookUp(getProc, gl.bufferSubData, "glBufferSubData", suffix);
  if (gl.genBuffers && gl.bindBuffer && gl.bufferData && gl.deleteBuffers && gl.bufferSubData)
    return true;
  gl = GlBufferCalls{};
  return false;
}

bool uploadRetained(RetainedScene& s, GlProcLookup getProc) {
  if (s.xyzBuffer || s.vertices == 0 || !findBufferObjects(getProc, s.gl)) return false;
  const GlBufferCalls& gl = s.gl;
  for (int i = 0; i < 16 && glGetError() != GL_NO_ERROR; i++) {
  } // errors of earlier calls are not the upload's
  GLuint b[2] = {0, 0};
  gl.genBuffers(2, b);
  bool ok = b[0] && b[1];
  const void* from[2] = {s.xyz.data(), s.rgba.data()};
  size_t bytes[2] = {s.xyz.size() * sizeof(float), s.rgba.size()};
  for (int i = 0; i < 2 && ok; i++) {
    gl.bindBuffer(arrayBuffer, b[i]);
    gl.bufferData(arrayBuffer, ptrdiff_t(bytes[i]), from[i], staticDraw);
    ok = glGetError() == GL_NO_ERROR;
  }
  gl.bindBuffer(arrayBuffer, 0);
  if (!ok) {
    gl.deleteBuffers(2, b);
    return false;
  }
  s.xyzBuffer = b[0];
  s.rgbaBuffer = b[1];
  std::vector<float>().swap(s.xyz);
  std::vector<uint8_t>().swap(s.rgba);
  return true;
}

void setLatticeStyle(RetainedScene& s, int index, LatticeStyle style) {
  if (RetainedLattice* r = retainedAt(s, index)) r->style = style;
}

bool rebuildLattice(RetainedScene& s, int index) {
  RetainedLattice* r = retainedAt(s, index);
  return r && r->arrays && redoLattice(s, *r, r->colours, true);
}

bool rebuildTriangles(RetainedScene& s, int index, std::vector<TriangleRange> ranges) {
  RetainedLattice* r = retainedAt(s, index);
  if (!r || !r->arrays) return false;
  if (r->box || 3 * faceTriangles(r->L) != size_t(r->count))
    return redoLattice(s, *r, r->colours, true);
  mergeRanges(ranges);
  if (ranges.empty()) return true;
  // Whole chunks are made again, for their boxes; only the changed triangles are sent.
  std::vector<size_t> chunks;
  for (const TriangleRange& t : ranges)
    for (size_t c = t.from / chunkTriangles; c * chunkTriangles < t.to && c < r->chunkCount; c++)
      if (chunks.empty() || chunks.back() != c) chunks.push_back(c);
  try {
    s.redoXyz.resize(9 * chunkTriangles);
    s.redoRgba.resize(12 * chunkTriangles);
  } catch (const std::bad_alloc&) {
    return false;
  }
  prepareFaceTables(r->L, s.vs, s.faces);
  size_t total = faceTriangles(r->L);
  for (size_t c : chunks) {
    size_t from = c * chunkTriangles, to = std::min(total, from + chunkTriangles);
    ArrayEmitter emit{s.redoXyz.data(), s.redoRgba.data(), r->colours};
    drawLatticeRange(r->L, s.vs, false, s.faces, from, to, emit);
    GeometryChunk& k = s.chunks[r->firstChunk + c];
    boundChunk(emit.xyz, k);
    for (const TriangleRange& t : ranges) {
      size_t a = std::max(t.from, from), b = std::min(t.to, to);
      if (a >= b) continue;
      size_t v = size_t(r->first) + 3 * a, n = 3 * (b - a), at = 3 * (a - from);
      sendVertices(s, v, n, emit.rgba + 4 * at, emit.xyz + 3 * at);
    }
  }
  return true;
}

void hideLattices(RetainedScene& s, const std::vector<bool>& hidden) {
  size_t index = 0, k = 0;
  for (const Lattice* L = s.lat; L && k < s.lattices.size(); L = L->next, index++)
    if (L->id) s.lattices[k++].hidden = flagged(hidden, index);
}

void releaseRetained(RetainedScene& s) {
  if (!s.xyzBuffer) return;
  GLuint b[2] = {s.xyzBuffer, s.rgbaBuffer};
  if (s.gl.deleteBuffers) s.gl.deleteBuffers(2, b);
  s.xyzBuffer = s.rgbaBuffer = 0;
}

namespace {

// Lattices whose colours changed (the selection moved, a style was set) take them.
void recolour(RetainedScene& s, const float* trot, const ViewerState& vs) {
  int drawn = 0;
  for (RetainedLattice& r : s.lattices) {
    bool amber = isSelected(vs, trot, drawn++);
    LatticeStyle style = amber ? LatticeStyle::amber : r.style;
    if (r.arrays && !r.hidden && r.colours != style) redoLattice(s, r, style, false);
  }
}

// The scene's shown lattices, into a cleared frame.
void drawLattices(RetainedScene& s, const float* trot, const ViewerState& vs) {
  float proj[16], mv[16];
  glGetFloatv(GL_PROJECTION_MATRIX, proj);
  bool arrays = s.vertices > 0;
  if (arrays) {
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    if (s.xyzBuffer) { // each pointer is an offset into the buffer bound when it is set
      s.gl.bindBuffer(arrayBuffer, s.xyzBuffer);
      glVertexPointer(3, GL_FLOAT, 0, nullptr);
      s.gl.bindBuffer(arrayBuffer, s.rgbaBuffer);
      glColorPointer(4, GL_UNSIGNED_BYTE, 0, nullptr);
      s.gl.bindBuffer(arrayBuffer, 0);
    } else {
      glVertexPointer(3, GL_FLOAT, 0, s.xyz.data());
      glColorPointer(4, GL_UNSIGNED_BYTE, 0, s.rgba.data());
    }
  }
  beginPlacements(s.placements);
  ChainWalk walk; // lattices drawn immediately walk their chains, as drawFrame's do
  int ordinal = 0;
  for (RetainedLattice& r : s.lattices) {
    if (r.hidden) {
      ordinal++;
      continue;
    }
    bool amber = isSelected(vs, trot, ordinal++);
    // A lattice that could not take its new colours (no memory) is drawn immediately.
    bool immediate = !r.arrays || r.colours != (amber ? LatticeStyle::amber : r.style);
    if (!immediate || !walkChain(walk, r.L, trot, vs))
      loadPlacement(s.placements, r.index, trot, vs);
    if (immediate) {
      GlEmitter gl{amber ? LatticeStyle::amber : r.style};
      drawLatticeShape(r.L, vs, r.box, s.faces, gl);
      continue;
    }
    glGetFloatv(GL_MODELVIEW_MATRIX, mv);
    Matrix m = multiply(matrixOf(proj), matrixOf(mv));
    // Visible chunks next to each other go out as one draw call.
    int first = 0, count = 0;
    for (size_t c = r.firstChunk; c < r.firstChunk + r.chunkCount; c++) {
      const GeometryChunk& k = s.chunks[c];
      if (outsideView(m, k)) continue;
      if (count && first + count == k.first) {
        count += k.count;
        continue;
      }
      if (count) glDrawArrays(GL_TRIANGLES, first, count);
      first = k.first;
      count = k.count;
    }
    if (count) glDrawArrays(GL_TRIANGLES, first, count);
  }
  if (arrays) {
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_COLOR_ARRAY);
  }
}

} // namespace

void drawRetainedFrame(RetainedScene& s, const float* trot, const ViewerState& vs,
                       RetainedScene* also) {
  // A comparison keeps every lattice in its change colour: its selection is an outline
  // (drawComparisonEdges).
  ViewerState unselected = vs;
  unselected.selectionShown = 0;
  const ViewerState& shown = also ? unselected : vs;
  recolour(s, trot, shown);
  if (also) recolour(*also, trot, unselected);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  beginSection(trot, vs);
  drawLattices(s, trot, shown);
  if (also) drawLattices(*also, trot, unselected);
  endSection(vs);
}
