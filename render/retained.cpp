// Retained geometry: arrays built once per map, drawn in chunks with view-volume culling.
#include "retained.h"

#include "frame.h"
#include "matrix.h"
#include "placement.h"

#include "platform/gl.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace {

constexpr size_t bytesPerTriangle = 3 * 6 * sizeof(float);
// Vertices in the arrays at most: first and count of a draw call are GLint.
constexpr size_t maxVertices = INT_MAX;

void boundChunk(const RetainedScene& s, GeometryChunk& c) {
  const float* p = s.xyz.data() + 3 * size_t(c.first);
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

// Fills `s` (reset first) for the lattices that fit `budget`; throws std::bad_alloc.
void buildArrays(const Lattice* lat, const ViewerState& vs, size_t budget, RetainedScene& s) {
  s = RetainedScene{};
  s.lat = lat;
  size_t triangles = 0;
  bool fits = true;
  for (const Lattice* L = lat; L; L = L->next) {
    if (L->id == 0) continue;
    size_t t = faceTriangles(L);
    fits =
        fits && (triangles + t) * bytesPerTriangle <= budget && 3 * (triangles + t) <= maxVertices;
    if (fits) triangles += t;
    s.lattices.push_back({L, 0, 0, fits});
  }
  s.xyz.resize(3 * 3 * triangles);
  s.rgb.resize(3 * 3 * triangles);
  s.bytes = triangles * bytesPerTriangle;
  ArrayEmitter emit{s.xyz.data(), s.rgb.data()};
  for (RetainedLattice& r : s.lattices) {
    if (!r.arrays) break;
    int first = int(emit.n);
    drawLatticeFaces(r.L, vs, emit);
    r.firstChunk = s.chunks.size();
    for (int v = first; v < int(emit.n); v += int(3 * chunkTriangles)) {
      GeometryChunk c{v, std::min(int(3 * chunkTriangles), int(emit.n) - v), {}, {}};
      boundChunk(s, c);
      s.chunks.push_back(c);
    }
    r.chunkCount = s.chunks.size() - r.firstChunk;
  }
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

void buildRetained(const Lattice* lat, const ViewerState& vs, size_t budget, RetainedScene& s) {
  try {
    buildArrays(lat, vs, budget, s);
  } catch (const std::bad_alloc&) {
    buildArrays(lat, vs, 0, s); // no memory for arrays: every lattice in immediate mode
  }
}

void drawRetainedFrame(const RetainedScene& s, const float* trot, const ViewerState& vs) {
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  float proj[16], mv[16];
  glGetFloatv(GL_PROJECTION_MATRIX, proj);
  bool arrays = !s.xyz.empty();
  if (arrays) {
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, s.xyz.data());
    glColorPointer(3, GL_FLOAT, 0, s.rgb.data());
  }
  int ordinal = 0;
  for (const RetainedLattice& r : s.lattices) {
    loadCamera(trot);
    applyLatticeTransform(r.L, vs);
    // The selected lattice's colours are not in the arrays: it is drawn triangle by triangle.
    bool amber = isSelected(vs, trot, ordinal++);
    if (!r.arrays || amber) {
      GlEmitter gl{amber};
      drawLatticeFaces(r.L, vs, gl);
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
