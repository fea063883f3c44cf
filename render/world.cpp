// World-space triangles of a lattice, and the translation that frames drawn lattices.
#include "world.h"

#include "placement.h"
#include "view.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

void place(const Matrix& m, const float in[3], float out[3]) {
  double p[3] = {in[0], in[1], in[2]}, w[3];
  transformPoint(m, p, w);
  for (int r = 0; r < 3; r++) out[r] = float(w[r]);
}

} // namespace

void triangleNormal(const Triangle& t, double n[3]) {
  const float *a = t.v[0], *b = t.v[1], *c = t.v[2];
  double e1[3], e2[3];
  for (int i = 0; i < 3; i++) {
    e1[i] = double(b[i]) - a[i];
    e2[i] = double(c[i]) - a[i];
  }
  n[0] = e1[1] * e2[2] - e1[2] * e2[1];
  n[1] = e1[2] * e2[0] - e1[0] * e2[2];
  n[2] = e1[0] * e2[1] - e1[1] * e2[0];
}

void worldOutwardAxis(Face f, const Matrix& m, double axis[3]) {
  float local[3];
  outwardAxis(f, local);
  transformDirection(m, local, axis);
}

void placeLattice(const Lattice* L, const Matrix& m, const ViewerState& vs, PlacedLattice& p,
                  bool box) {
  p.tris.clear();
  p.dropped = 0;
  // Room for them all at once: growing by doubling would hold up to twice as much, and both
  // copies while it grows.
  if (!box) p.tris.reserve(std::min(faceTriangles(L), size_t(1) << 24));
  CollectEmitter emit{&p.tris};
  drawLatticeShape(L, vs, box, p.faces, emit);
  p.m = m;
  p.dropped = long(placeTriangles(m, p.tris));
}

size_t placeTriangles(const Matrix& m, std::vector<Triangle>& tris) {
  size_t kept = 0;
  for (Triangle t : tris) {
    bool finite = true;
    for (auto& v : t.v) {
      float w[3];
      place(m, v, w);
      std::memcpy(v, w, sizeof w);
      finite = finite && std::isfinite(w[0]) && std::isfinite(w[1]) && std::isfinite(w[2]);
    }
    if (finite) tris[kept++] = t;
  }
  size_t dropped = tris.size() - kept;
  tris.resize(kept);
  return dropped;
}

namespace {

// Calls `corner` with each world corner of the drawn lattices of the list from `lat` (only
// `only`, when it is not null), as the frame draws them: lattices past `triangleBudget` as
// their boxes, those `hidden` left out; without `only`, then those `also` names.
template <class F>
void eachCorner(const Lattice* lat, const Lattice* only, size_t triangleBudget,
                const std::vector<bool>& hidden, const FitAlso* also, F corner) {
  if (also && !only && also->lat)
    eachCorner(also->lat, nullptr, triangleBudget, also->hidden, nullptr, corner);
  PlacedLattice p;
  std::vector<bool> boxed = boxedLattices(lat, triangleBudget);
  std::vector<Matrix> placements = latticePlacements(lat, ViewerState{});
  size_t index = 0;
  for (const Lattice* L = lat; L; L = L->next, index++) {
    if (L->id == 0 || (only && L != only) || flagged(hidden, index)) continue;
    placeLattice(L, placements[index], ViewerState{}, p, boxed[index]);
    for (const Triangle& t : p.tris)
      for (const auto& w : t.v) corner(w);
  }
}

// The camera's turn, Rx(pitch) Ry(yaw), without its move.
Matrix viewTurn(const float* trot) {
  return multiply(rotationMatrix(trot[Trot::pitch], 1, 0, 0),
                  rotationMatrix(trot[Trot::yaw], 0, 1, 0));
}

// eachCorner, each corner turned by `turn` (a direction: the camera's move left out).
template <class F>
void eachTurnedCorner(const Matrix& turn, const Lattice* lat, const Lattice* only,
                      size_t triangleBudget, const std::vector<bool>& hidden, const FitAlso* also,
                      F corner) {
  eachCorner(lat, only, triangleBudget, hidden, also, [&](const float* w) {
    double q[3];
    transformDirection(turn, w, q);
    corner(q);
  });
}

} // namespace

bool fitCamera(const Lattice* lat, int width, int height, float* trot, double& depth,
               const Lattice* only, size_t triangleBudget, const std::vector<bool>& hidden,
               const FitAlso* also) {
  using namespace Trot;
  // The camera turns the scene by Rx(pitch) Ry(yaw), then moves it 50 units away: a point p
  // lands at R (p + t) - 50 z in eye space. Work in R p and solve for u = R t - 50 z.
  const Matrix turn = viewTurn(trot);
  const double* r = turn.m;
  // Half the view's width and height per unit of depth, less a margin of 5 %.
  const double ky = std::tan(22.5 * M_PI / 180) * 0.95, kx = ky * width / height;
  const double inf = INFINITY;
  double a = inf, b = inf, c = inf, d = inf, nearest = -inf, farthest = inf;
  eachTurnedCorner(turn, lat, only, triangleBudget, hidden, also, [&](const double* q) {
    a = std::min(a, -q[0] - kx * q[2]);
    b = std::min(b, q[0] - kx * q[2]);
    c = std::min(c, -q[1] - ky * q[2]);
    d = std::min(d, q[1] - ky * q[2]);
    nearest = std::max(nearest, q[2]);
    farthest = std::min(farthest, q[2]);
  });
  if (a == inf) return false;
  // As close as the frame's edges allow (|x| <= kx depth, |y| <= ky depth), and every point at
  // least a little beyond the near plane at depth 1.
  double uz = std::min({(a + b) / (2 * kx), (c + d) / (2 * ky), -1.05 - nearest});
  // A scene deeper than the plain view pushes the far plane out (fittedFar) and the near plane
  // with it: back off until the nearest point lies beyond that too. Backing off by e deepens
  // every point by e, so the least e solves nearest + e >= 1.05 (1.01 (farthest + e) + 2) / 1000.
  double farDepth = -(farthest + uz), nearDepth = -(nearest + uz);
  if (fittedFar(farDepth) > 0) {
    double k = 1.05 * 1.01 / 1000;
    double e = (1.05 * (1.01 * farDepth + 2) / 1000 - nearDepth) / (1 - k);
    if (e > 0) uz -= e;
  }
  double u[3] = {(a - b) / 2, (c - d) / 2, uz + 50};
  for (int k = 0; k < 3; k++)
    trot[tx + k] = float(r[k * 4] * u[0] + r[k * 4 + 1] * u[1] + r[k * 4 + 2] * u[2]);
  depth = -(farthest + uz);
  return true;
}

Matrix cameraMatrix(const float* trot) {
  using namespace Trot;
  Matrix m = translationMatrix(0, 0, -50);
  m = multiply(m, rotationMatrix(trot[pitch], 1, 0, 0));
  m = multiply(m, rotationMatrix(trot[yaw], 0, 1, 0));
  return multiply(m, translationMatrix(trot[tx], trot[ty], trot[tz]));
}

namespace {

// Distance along the ray from the eye with direction d to the triangle of eye-space corners
// p, in units of d (negative behind the ray's start); NaN when it misses. `uv` is where it
// meets the triangle: corner 0 plus u times the edge to corner 1 plus v times the edge to
// corner 2.
double rayHit(const double d[3], const double p[3][3], double uv[2]) {
  double e1[3], e2[3];
  for (int a = 0; a < 3; a++) {
    e1[a] = p[1][a] - p[0][a];
    e2[a] = p[2][a] - p[0][a];
  }
  double q[3] = {d[1] * e2[2] - d[2] * e2[1], d[2] * e2[0] - d[0] * e2[2],
                 d[0] * e2[1] - d[1] * e2[0]};
  double det = e1[0] * q[0] + e1[1] * q[1] + e1[2] * q[2];
  if (det == 0 || !std::isfinite(det)) return NAN;
  double s[3] = {-p[0][0], -p[0][1], -p[0][2]};
  double u = (s[0] * q[0] + s[1] * q[1] + s[2] * q[2]) / det;
  if (u < 0 || u > 1) return NAN;
  double r[3] = {s[1] * e1[2] - s[2] * e1[1], s[2] * e1[0] - s[0] * e1[2],
                 s[0] * e1[1] - s[1] * e1[0]};
  double v = (d[0] * r[0] + d[1] * r[1] + d[2] * r[2]) / det;
  if (v < 0 || u + v > 1) return NAN;
  uv[0] = u;
  uv[1] = v;
  return (e2[0] * r[0] + e2[1] * r[1] + e2[2] * r[2]) / det;
}

} // namespace

bool pickRay(const float* trot, int width, int height, int x, int y, float ortho, float farPlane,
             const Section& cut, PickRay& r) {
  if (width < 1 || height < 1) return false;
  r = PickRay{};
  r.nearest0 = nearPlane(farPlane);
  r.farthest = farPlane > plainFar ? farPlane : 1000.0;
  r.ortho = ortho;
  r.cut = cut;
  // Perspective: rays from the eye through the pixel's centre. Orthographic: rays straight
  // down the view from the pixel's place on the eye's plane (`from`).
  const double k = ortho > 0 ? 0 : std::tan(22.5 * M_PI / 180);
  double sx = 2 * (x + 0.5) / width - 1, sy = 1 - 2 * (y + 0.5) / height;
  double d[3] = {sx * k * width / height, sy * k, -1};
  double from[3] = {sx * ortho * width / height, sy * ortho, 0};
  std::copy(d, d + 3, r.d);
  std::copy(from, from + 3, r.from);
  r.camera = cameraMatrix(trot);
  return true;
}

void pickTriangles(PickRay& r, int index, const Triangle* tris, size_t n) {
  for (const Triangle* t = tris; t < tris + n; t++) {
    double p[3][3], uv[2];
    for (int c = 0; c < 3; c++) {
      double world[3] = {t->v[c][0], t->v[c][1], t->v[c][2]};
      transformPoint(r.camera, world, p[c]);
      for (int a = 0; a < 3; a++) p[c][a] -= r.from[a];
    }
    double depth = rayHit(r.d, p, uv); // d's z is -1: the distance along it is the depth
    // The perspective frame draws from its near plane to its far plane (1 to 1000 unless a
    // fit pushed them out); the orthographic one holds the scene.
    bool drawn = r.ortho > 0 ? depth > -INFINITY : depth >= r.nearest0 && depth <= r.farthest;
    if (!(drawn && depth < r.nearest)) continue;
    double at[3];
    for (int a = 0; a < 3; a++)
      at[a] = t->v[0][a] + uv[0] * (double(t->v[1][a]) - t->v[0][a]) +
              uv[1] * (double(t->v[2][a]) - t->v[0][a]);
    if (!sectionKeeps(r.cut, at[1])) continue;
    r.nearest = depth;
    r.hit.index = index;
    std::copy(at, at + 3, r.hit.at);
  }
}

PickHit pickPoint(const Lattice* lat, const float* trot, int width, int height, int x, int y,
                  size_t triangleBudget, const std::vector<bool>& hidden, const Section& cut,
                  float ortho, float farPlane) {
  PickRay ray;
  if (!pickRay(trot, width, height, x, y, ortho, farPlane, cut, ray)) return {};
  int index = 0;
  std::vector<bool> boxed = boxedLattices(lat, triangleBudget);
  std::vector<Matrix> placements = latticePlacements(lat, ViewerState{});
  PlacedLattice placed;
  for (const Lattice* L = lat; L; L = L->next, index++) {
    if (L->id == 0 || flagged(hidden, size_t(index))) continue;
    // The world corners export writes, seen from the eye.
    placeLattice(L, placements[size_t(index)], ViewerState{}, placed, boxed[size_t(index)]);
    pickTriangles(ray, index, placed.tris.data(), placed.tris.size());
  }
  return ray.hit;
}

int pickLattice(const Lattice* lat, const float* trot, int width, int height, int x, int y,
                size_t triangleBudget, const std::vector<bool>& hidden, const Section& cut,
                float ortho, float farPlane) {
  return pickPoint(lat, trot, width, height, x, y, triangleBudget, hidden, cut, ortho, farPlane)
      .index;
}

bool worldBox(const Lattice* lat, SceneBox& box, const Lattice* only, size_t triangleBudget,
              const std::vector<bool>& hidden, const FitAlso* also) {
  SceneBox b;
  for (int a = 0; a < 3; a++) {
    b.lo[a] = INFINITY;
    b.hi[a] = -INFINITY;
  }
  eachCorner(lat, only, triangleBudget, hidden, also, [&](const float* w) {
    for (int a = 0; a < 3; a++) {
      b.lo[a] = std::min(b.lo[a], double(w[a]));
      b.hi[a] = std::max(b.hi[a], double(w[a]));
    }
  });
  if (!(b.lo[0] <= b.hi[0])) return false;
  box = b;
  return true;
}

bool fitOrtho(const Lattice* lat, int width, int height, float* trot, float& half,
              const Lattice* only, size_t triangleBudget, const std::vector<bool>& hidden,
              const FitAlso* also) {
  using namespace Trot;
  const Matrix turn = viewTurn(trot);
  double lo[3] = {INFINITY, INFINITY, INFINITY}, hi[3] = {-INFINITY, -INFINITY, -INFINITY};
  eachTurnedCorner(turn, lat, only, triangleBudget, hidden, also, [&](const double* q) {
    for (int a = 0; a < 3; a++) {
      lo[a] = std::min(lo[a], q[a]);
      hi[a] = std::max(hi[a], q[a]);
    }
  });
  if (!(lo[0] <= hi[0])) return false;
  // The middle of the turned scene goes to the point the view turns about: R t = -middle
  // (adding 0 makes a -0 a 0, which P prints plainly).
  double u[3], aspect = double(width) / std::max(height, 1);
  for (int a = 0; a < 3; a++) u[a] = -(lo[a] + hi[a]) / 2;
  const double* r = turn.m;
  for (int k = 0; k < 3; k++)
    trot[tx + k] = float(r[k * 4] * u[0] + r[k * 4 + 1] * u[1] + r[k * 4 + 2] * u[2]) + 0.0f;
  double h = std::max((hi[1] - lo[1]) / 2, (hi[0] - lo[0]) / (2 * aspect)) * 1.05;
  half = float(h > 0 ? h : 1);
  return true;
}

float homePitch(float pitch) {
  double turns = std::floor((double(pitch) + 180) / 360) * 360;
  double p = double(pitch) - turns; // -180 to 180: how far the view looks down
  return p < 10 ? float(turns + 30) : pitch;
}
