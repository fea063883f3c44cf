// Face passes and the frame. Corner values are computed in double precision and stored as
// 32-bit floats exactly where the picture depends on it; the tables hold every level and grid
// sample of the lattice drawn, and entries its own lists do not fill read as 0.
#include "frame.h"

#include "placement.h"

#include "platform/gl.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>

namespace {

void prepareLattice(const Lattice* L, const ViewerState& vs, FaceTables& p) {
  p.L = L;
  p.ex = float(double(L->sx) * L->nx);
  p.ez = float(double(L->sz) * L->nz);
  p.ey = float(double(L->sy) * L->ny);
  double hx = double(L->sx) * vs.horizontalScale, hz = double(L->sz) * vs.horizontalScale;
  // Tables only grow, so a record drawing lattice after lattice allocates once.
  int levels = L->ny + 1, samples = (L->nx + 1) * (L->nz + 1);
  if (p.lyr.size() < size_t(levels)) p.lyr.resize(size_t(levels));
  if (p.h.size() < size_t(samples)) p.h.resize(size_t(samples));
  int k = 0;
  for (const InsetNode *a = L->minInsets, *b = L->maxInsets; a && b && k < levels;
       a = a->next, b = b->next, k++) {
    p.lyr[k][0] = float(hx * a->dx);
    p.lyr[k][1] = float(hz * a->dz);
    p.lyr[k][2] = float(hx * b->dx);
    p.lyr[k][3] = float(hz * b->dz);
  }
  for (; k < levels; k++) p.lyr[k] = {0, 0, 0, 0};
  double vy = double(L->sy) * vs.verticalScale;
  int m = 0;
  for (const HeightNode* n = L->heights; n && m < samples; n = n->next, m++)
    p.h[m] = float(vy * n->value);
  for (; m < samples; m++) p.h[m] = 0;
}

// Whether an emitter takes no more triangles, so a pass can stop early.
bool full(const GlEmitter&) {
  return false;
}
bool full(const CollectEmitter& e) {
  return e.full;
}
bool full(const ArrayEmitter&) {
  return false;
}

void emitTriangle(GlEmitter& e, const Corners& c, int a, int b, int d, float grey, Face) {
  float rgb[3];
  styleColour(e.style, grey, rgb);
  glColor3f(rgb[0], rgb[1], rgb[2]);
  glBegin(GL_TRIANGLES);
  glVertex3f(c.x[a], c.y[a], c.z[a]);
  glVertex3f(c.x[b], c.y[b], c.z[b]);
  glVertex3f(c.x[d], c.y[d], c.z[d]);
  glEnd();
}

void emitTriangle(CollectEmitter& e, const Corners& c, int a, int b, int d, float grey, Face face) {
  if (e.out->size() >= e.cap) {
    e.full = true;
    return;
  }
  e.out->push_back(
      {{{c.x[a], c.y[a], c.z[a]}, {c.x[b], c.y[b], c.z[b]}, {c.x[d], c.y[d], c.z[d]}}, grey, face});
}

void emitTriangle(ArrayEmitter& e, const Corners& c, int a, int b, int d, float grey, Face) {
  float rgb[3];
  styleColour(e.style, grey, rgb);
  uint8_t level[4] = {colourLevel(rgb[0]), colourLevel(rgb[1]), colourLevel(rgb[2]), 255};
  for (int k : {a, b, d}) {
    float* p = e.xyz + 3 * e.n;
    p[0] = c.x[k];
    p[1] = c.y[k];
    p[2] = c.z[k];
    std::memcpy(e.rgba + 4 * e.n, level, 4);
    e.n++;
  }
}

// Low edge, high edge and span of level k along x (axis 0) or z (axis 1).
double lowEdge(const FaceTables& p, int k, int axis) {
  return -(double(axis ? p.ez : p.ex) / 2) + p.lyr[k][axis];
}
double highEdge(const FaceTables& p, int k, int axis) {
  return double(axis ? p.ez : p.ex) / 2 + p.lyr[k][2 + axis];
}
float span(const FaceTables& p, int k, int axis) {
  return float((double(axis ? p.ez : p.ex) - p.lyr[k][axis]) + p.lyr[k][2 + axis]);
}

// Bottom (top = false) or top face, over level 0 or ny: its cells from..to-1 (cell i nz + j
// for column i, row j).
template <class Emit>
void horizontalFace(const FaceTables& p, bool top, Emit& emit, long from, long to) {
  const Lattice* L = p.L;
  int nx = L->nx, nz = L->nz, k = top ? L->ny : 0, s = top ? 1 : -1;
  Face face = top ? Face::top : Face::bottom;
  if (nx == 0 || nz == 0 || from >= to) return;
  double stepX = double(span(p, k, 0)) / nx, stepZ = double(span(p, k, 1)) / nz;
  double x0 = lowEdge(p, k, 0), z0 = lowEdge(p, k, 1);
  float y0 = float(top ? double(p.ey) / 2 : -(double(p.ey) / 2));
  // A cell's low z and high z depend on its row only: work them out once per face.
  float zLow[256], zHigh[256];
  for (int j = 0; j < nz; j++) {
    zLow[j] = float(z0 + j * stepZ);
    zHigh[j] = float(stepZ + zLow[j]);
  }
  Corners c;
  int i0 = int(from / nz), i1 = int((to - 1) / nz);
  for (int i = i0; i <= i1 && !full(emit); i++) {
    c.x[0] = c.x[1] = float(x0 + i * stepX);
    c.x[2] = c.x[3] = float(stepX + c.x[0]);
    int j0 = i == i0 ? int(from % nz) : 0, j1 = i == i1 ? int((to - 1) % nz) : nz - 1;
    const float* row = p.h.data() + i + size_t(j0) * (nx + 1);
    for (int j = j0; j <= j1; j++, row += nx + 1) {
      c.z[0] = c.z[2] = zLow[j];
      c.z[1] = c.z[3] = zHigh[j];
      c.y[0] = float(double(y0) + row[0]);
      c.y[1] = float(double(y0) + row[nx + 1]);
      c.y[2] = float(double(y0) + row[1]);
      c.y[3] = float(double(y0) + row[nx + 2]);
      // The top face shades both triangles by the second's normal; the bottom each by its own.
      float second = slopeGrey(c, 3, s);
      emitTriangle(emit, c, 0, 1, 2, top ? second : slopeGrey(c, 0, s), face);
      emitTriangle(emit, c, 1, 2, 3, second, face);
    }
  }
}

// One wall. An x-wall (axis 0) stands at the low or high x edge and runs along z with the
// grid's first or last column; a z-wall (axis 1) stands at a z edge and runs along x with
// the first or last row. Its cells from..to-1 (cell k cells + j for level k, cell j along it).
template <class Emit>
void wall(const FaceTables& p, int axis, bool high, Emit& emit, long from, long to) {
  const Lattice* L = p.L;
  int nx = L->nx, nz = L->nz;
  int run = 1 - axis;              // the axis the wall's cells follow
  int cells = axis == 0 ? nz : nx; // cells along the wall
  Face face = Face(2 + 2 * axis + (high ? 1 : 0));
  if (cells == 0 || from >= to) return;
  Corners c;
  float* fixed = axis == 0 ? c.x : c.z;
  float* along = axis == 0 ? c.z : c.x;
  int k0 = int(from / cells), k1 = int((to - 1) / cells);
  for (int k = k0; k <= k1 && !full(emit); k++) {
    double b = -(double(p.ey) / 2) + k * double(L->sy);
    double edge0 = high ? highEdge(p, k, axis) : lowEdge(p, k, axis);
    double edge1 = high ? highEdge(p, k + 1, axis) : lowEdge(p, k + 1, axis);
    double step0 = double(span(p, k, run)) / cells, step1 = double(span(p, k + 1, run)) / cells;
    double start0 = lowEdge(p, k, run), start1 = lowEdge(p, k + 1, run);
    int j0 = k == k0 ? int(from % cells) : 0, j1 = k == k1 ? int((to - 1) % cells) : cells - 1;
    for (int j = j0; j <= j1; j++) {
      // Grid samples at the wall's two ends of this cell.
      int s0 = axis == 0 ? j * (nx + 1) + (high ? nx : 0) : (high ? nz * (nx + 1) : 0) + j;
      int s1 = axis == 0 ? s0 + nx + 1 : s0 + 1;
      fixed[0] = fixed[1] = float(edge0);
      fixed[2] = fixed[3] = float(edge1);
      along[0] = float(start0 + j * step0);
      along[1] = float(double(along[0]) + step0);
      along[2] = float(start1 + j * step1);
      along[3] = float(double(along[2]) + step1);
      c.y[0] = float(b + p.h[s0]);
      c.y[1] = float(b + p.h[s1]);
      c.y[2] = float(double(c.y[0]) + L->sy);
      c.y[3] = float(double(c.y[1]) + L->sy);
      float grey = slopeGrey(c, 3, 1);
      emitTriangle(emit, c, 0, 1, 2, grey, face);
      emitTriangle(emit, c, 1, 2, 3, grey, face);
    }
  }
}

} // namespace

void styleColour(LatticeStyle style, float g, float rgb[3]) {
  static const double hues[][3] = {
      {1, 1, 1},     {1, 0.8, 0.35}, {0.35, 1, 0.35}, {0.4, 0.6, 1},
      {1, 0.5, 0.1}, {0.75, 0.4, 1}, {1, 0.25, 0.25}, {0.35, 0.55, 1},
      {0.4, 1, 0.4}, {0.3, 1, 1},    {1, 0.3, 1},
  };
  const double* hue = hues[size_t(style) < std::size(hues) ? size_t(style) : 0];
  for (int k = 0; k < 3; k++) rgb[k] = hue[k] == 1 ? g : float(hue[k] * double(g));
}

uint8_t colourLevel(float c) {
  if (!(c > 0)) return 0;
  if (c >= 1) return 255;
  return uint8_t(std::lrint(c * 255.0f)); // the nearest level, a tie to the even one
}

void sceneContext() {
  glEnable(GL_DEPTH_TEST);
  glShadeModel(GL_FLAT);
}

void outwardAxis(Face f, float axis[3]) {
  int i = int(f);
  axis[0] = axis[1] = axis[2] = 0;
  axis[i < 2 ? 1 : i < 4 ? 0 : 2] = i % 2 ? 1.0f : -1.0f;
}

float slopeGrey(const Corners& c, int r, int s) {
  double e1x = double(c.x[1]) - c.x[r], e1y = double(c.y[1]) - c.y[r],
         e1z = double(c.z[1]) - c.z[r];
  double e2x = double(c.x[2]) - c.x[r], e2y = double(c.y[2]) - c.y[r],
         e2z = double(c.z[2]) - c.z[r];
  float nx = float(e1y * e2z - e2y * e1z);
  float ny = float(e1z * e2x - e2z * e1x);
  float nz = float(e1x * e2y - e2x * e1y);
  double len2 = (double(nz) * nz + double(ny) * ny) + double(nx) * nx;
  // A zero or non-finite normal has no slope to shade by.
  if (!(len2 > 0) || !std::isfinite(len2)) return 0.6f;
  double t = std::sqrt(double(ny) * ny / len2);
  return s < 0 ? float(double(0.6f) - t * double(0.2f)) : float(t * double(0.2f) + double(0.6f));
}

namespace {

// The cells the six passes draw of triangles from..to-1 (both even) of a lattice whose tables
// `ft` are prepared, in the passes' order.
template <class Emit> void drawFaceRange(const FaceTables& ft, size_t from, size_t to, Emit& emit) {
  const Lattice* L = ft.L;
  long flat = long(L->nx) * L->nz, side[2] = {long(L->ny) * L->nz, long(L->ny) * L->nx};
  long cells[6] = {flat, flat, side[0], side[0], side[1], side[1]};
  long a = long(from / 2), b = long(to / 2), start = 0;
  for (int f = 0; f < 6 && start < b; start += cells[f], f++) {
    long lo = std::max(a - start, 0L), hi = std::min(b - start, cells[f]);
    if (lo >= hi) continue;
    if (f < 2)
      horizontalFace(ft, f == 1, emit, lo, hi);
    else
      wall(ft, (f - 2) / 2, f % 2 == 1, emit, lo, hi);
  }
}

} // namespace

template <class Emit>
void drawLatticeFaces(const Lattice* L, const ViewerState& vs, FaceTables& ft, Emit& emit) {
  prepareLattice(L, vs, ft);
  drawFaceRange(ft, 0, faceTriangles(L), emit);
}

template void drawLatticeFaces(const Lattice*, const ViewerState&, FaceTables&, GlEmitter&);
template void drawLatticeFaces(const Lattice*, const ViewerState&, FaceTables&, CollectEmitter&);
template void drawLatticeFaces(const Lattice*, const ViewerState&, FaceTables&, ArrayEmitter&);

template <class Emit>
void drawLatticeRange(const Lattice* L, const ViewerState& vs, bool box, FaceTables& ft,
                      size_t from, size_t to, Emit& emit) {
  if (box) { // twelve triangles: made whole, the range kept
    std::vector<Triangle> tris;
    CollectEmitter all{&tris};
    drawLatticeBox(L, vs, ft, all);
    Corners c;
    for (size_t t = from; t < std::min(to, tris.size()); t++) {
      for (int k = 0; k < 3; k++) {
        c.x[k] = tris[t].v[k][0];
        c.y[k] = tris[t].v[k][1];
        c.z[k] = tris[t].v[k][2];
      }
      emitTriangle(emit, c, 0, 1, 2, tris[t].grey, tris[t].face);
    }
    return;
  }
  drawFaceRange(ft, from, std::min(to, faceTriangles(L)), emit);
}

template void drawLatticeRange(const Lattice*, const ViewerState&, bool, FaceTables&, size_t,
                               size_t, CollectEmitter&);
template void drawLatticeRange(const Lattice*, const ViewerState&, bool, FaceTables&, size_t,
                               size_t, ArrayEmitter&);

void addSampleTriangles(const Lattice* L, int m, std::vector<TriangleRange>& out) {
  int nx = L->nx, nz = L->nz, ny = L->ny;
  if (nx <= 0 || nz <= 0 || m < 0 || m >= (nx + 1) * (nz + 1)) return;
  int si = m % (nx + 1), sj = m / (nx + 1);
  size_t flat = size_t(nx) * nz, sideX = size_t(ny) * nz, sideZ = size_t(ny) * nx;
  // Cells a..b-1 of the face whose first cell is `base`, as triangles.
  auto cells = [&](size_t base, size_t a, size_t b) {
    out.push_back({2 * (base + a), 2 * (base + b)});
  };
  int j0 = std::max(sj - 1, 0), j1 = std::min(sj, nz - 1) + 1;
  int i0 = std::max(si - 1, 0), i1 = std::min(si, nx - 1) + 1;
  for (size_t face : {size_t(0), flat})
    for (int i = i0; i < i1; i++) cells(face, size_t(i) * nz + j0, size_t(i) * nz + j1);
  size_t walls = 2 * flat;
  for (int k = 0; k < ny; k++) {
    if (si == 0) cells(walls, size_t(k) * nz + j0, size_t(k) * nz + j1);
    if (si == nx) cells(walls + sideX, size_t(k) * nz + j0, size_t(k) * nz + j1);
    if (sj == 0) cells(walls + 2 * sideX, size_t(k) * nx + i0, size_t(k) * nx + i1);
    if (sj == nz) cells(walls + 2 * sideX + sideZ, size_t(k) * nx + i0, size_t(k) * nx + i1);
  }
}

void mergeRanges(std::vector<TriangleRange>& r) {
  std::sort(r.begin(), r.end());
  size_t n = 0;
  for (const TriangleRange& x : r)
    if (n && x.from <= r[n - 1].to)
      r[n - 1].to = std::max(r[n - 1].to, x.to);
    else
      r[n++] = x;
  r.resize(n);
}

void prepareFaceTables(const Lattice* L, const ViewerState& vs, FaceTables& ft) {
  prepareLattice(L, vs, ft);
}

std::vector<bool> boxedLattices(const Lattice* lat, size_t budget) {
  std::vector<bool> boxed;
  size_t left = budget;
  for (const Lattice* L = lat; L; L = L->next) {
    size_t t = L->id ? faceTriangles(L) : 0;
    boxed.push_back(t > left);
    if (t <= left) left -= t;
  }
  return boxed;
}

template <class Emit>
void drawLatticeBox(const Lattice* L, const ViewerState& vs, FaceTables& p, Emit& emit) {
  if (faceTriangles(L) == 0) return;
  prepareLattice(L, vs, p);
  // The faces use levels 0 to ny for their x and z edges, and every grid sample for heights.
  double lo[3] = {INFINITY, INFINITY, INFINITY}, hi[3] = {-INFINITY, -INFINITY, -INFINITY};
  for (int k = 0; k <= L->ny; k++)
    for (int axis = 0; axis < 2; axis++) {
      int a = axis ? 2 : 0;
      lo[a] = std::min({lo[a], lowEdge(p, k, axis), highEdge(p, k, axis)});
      hi[a] = std::max({hi[a], lowEdge(p, k, axis), highEdge(p, k, axis)});
    }
  int samples = (L->nx + 1) * (L->nz + 1);
  for (int m = 0; m < samples; m++)
    for (double y : {-(double(p.ey) / 2) + p.h[m], double(p.ey) / 2 + p.h[m]}) {
      lo[1] = std::min(lo[1], y);
      hi[1] = std::max(hi[1], y);
    }
  for (int a = 0; a < 3; a++)
    if (!std::isfinite(lo[a]) || !std::isfinite(hi[a])) return;
  // Each face as the passes lay out a cell: corners 0 and 1 share the first of the face's
  // two running axes, 0 and 2 the second; triangles (0, 1, 2) and (1, 2, 3).
  static const int running[3][2] = {{1, 2}, {0, 2}, {1, 0}}; // by the axis the face stands on
  Corners c;
  float* axes[3] = {c.x, c.y, c.z};
  for (int f = 0; f < 6; f++) {
    int fixed = f < 2 ? 1 : f < 4 ? 0 : 2; // bottom and top stand on y, then the x and z walls
    int first = running[fixed][0], second = running[fixed][1];
    bool high = f % 2 == 1;
    for (int k = 0; k < 4; k++) {
      axes[fixed][k] = float(high ? hi[fixed] : lo[fixed]);
      axes[first][k] = float(k < 2 ? lo[first] : hi[first]);
      axes[second][k] = float(k % 2 ? hi[second] : lo[second]);
    }
    float grey = slopeGrey(c, 3, f == 0 ? -1 : 1);
    emitTriangle(emit, c, 0, 1, 2, grey, Face(f));
    emitTriangle(emit, c, 1, 2, 3, grey, Face(f));
  }
}

template void drawLatticeBox(const Lattice*, const ViewerState&, FaceTables&, GlEmitter&);
template void drawLatticeBox(const Lattice*, const ViewerState&, FaceTables&, CollectEmitter&);
template void drawLatticeBox(const Lattice*, const ViewerState&, FaceTables&, ArrayEmitter&);

void sectionPlane(const Section& s, double eq[4]) {
  double side = s.keeps == SectionKeeps::below ? -1 : s.keeps == SectionKeeps::above ? 1 : 0;
  eq[0] = eq[2] = 0;
  eq[1] = side;
  eq[3] = side == 0 ? 0 : -side * double(s.y);
}

void beginSection(const float* trot, const ViewerState& vs) {
  if (vs.section.keeps == SectionKeeps::all) return;
  double eq[4];
  sectionPlane(vs.section, eq);
  loadCamera(trot); // the plane is given in the world: the camera alone is current
  glClipPlane(GL_CLIP_PLANE0, eq);
  glEnable(GL_CLIP_PLANE0);
}

void endSection(const ViewerState& vs) {
  if (vs.section.keeps != SectionKeeps::all) glDisable(GL_CLIP_PLANE0);
}

void drawFrame(const Lattice* lat, const float* trot, const ViewerState& vs, FaceTables& ft) {
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  beginSection(trot, vs);
  int ordinal = 0;
  ChainWalk walk;
  FramePlacements fp;
  int index = -1;
  for (const Lattice* L = lat; L; L = L->next) {
    index++;
    if (L->id == 0) continue;
    if (!walkChain(walk, L, trot, vs)) {
      if (fp.lattices.empty()) { // the first lattice past the steps: learn the list once
        preparePlacements(fp, lat);
        beginPlacements(fp);
      }
      loadPlacement(fp, index, trot, vs);
    }
    GlEmitter gl{isSelected(vs, trot, ordinal++) ? LatticeStyle::amber : LatticeStyle::grey};
    drawLatticeFaces(L, vs, ft, gl);
  }
  endSection(vs);
}
