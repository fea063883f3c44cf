// World-space triangles of a lattice, and the translation that frames drawn lattices.
#include "world.h"

#include "placement.h"

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

void placeLattice(const Lattice* L, const ViewerState& vs, PlacedLattice& p) {
  p.tris.clear();
  p.dropped = 0;
  CollectEmitter emit{&p.tris};
  drawLatticeFaces(L, vs, emit);
  p.m = latticePlacement(L, vs);
  size_t kept = 0;
  for (Triangle t : p.tris) {
    bool finite = true;
    for (auto& v : t.v) {
      float w[3];
      place(p.m, v, w);
      std::memcpy(v, w, sizeof w);
      finite = finite && std::isfinite(w[0]) && std::isfinite(w[1]) && std::isfinite(w[2]);
    }
    if (finite)
      p.tris[kept++] = t;
    else
      p.dropped++;
  }
  p.tris.resize(kept);
}

bool fitCamera(const Lattice* lat, int width, int height, float* trot, double& depth) {
  using namespace Trot;
  // The camera turns the scene by Rx(pitch) Ry(yaw), then moves it 50 units away: a point p
  // lands at R (p + t) - 50 z in eye space. Work in R p and solve for u = R t - 50 z.
  const Matrix turn =
      multiply(rotationMatrix(trot[pitch], 1, 0, 0), rotationMatrix(trot[yaw], 0, 1, 0));
  const double* r = turn.m;
  // Half the view's width and height per unit of depth, less a margin of 5 %.
  const double ky = std::tan(22.5 * M_PI / 180) * 0.95, kx = ky * width / height;
  const double inf = INFINITY;
  double a = inf, b = inf, c = inf, d = inf, nearest = -inf, farthest = inf;
  PlacedLattice p;
  for (const Lattice* L = lat; L; L = L->next) {
    if (L->id == 0) continue;
    placeLattice(L, ViewerState{}, p);
    for (const Triangle& t : p.tris)
      for (const auto& w : t.v) {
        double q[3];
        for (int k = 0; k < 3; k++) q[k] = r[k] * w[0] + r[4 + k] * w[1] + r[8 + k] * w[2];
        a = std::min(a, -q[0] - kx * q[2]);
        b = std::min(b, q[0] - kx * q[2]);
        c = std::min(c, -q[1] - ky * q[2]);
        d = std::min(d, q[1] - ky * q[2]);
        nearest = std::max(nearest, q[2]);
        farthest = std::min(farthest, q[2]);
      }
  }
  if (a == inf) return false;
  // As close as the frame's edges allow (|x| <= kx depth, |y| <= ky depth), and every point at
  // least a little beyond the near plane at depth 1.
  double uz = std::min({(a + b) / (2 * kx), (c + d) / (2 * ky), -1.05 - nearest});
  double u[3] = {(a - b) / 2, (c - d) / 2, uz + 50};
  for (int k = 0; k < 3; k++)
    trot[tx + k] = float(r[k * 4] * u[0] + r[k * 4 + 1] * u[1] + r[k * 4 + 2] * u[2]);
  depth = -(farthest + uz);
  return true;
}
