// `render --fit`: the scene translation that brings every drawn lattice into the frame.
#include "toolkit.h"

#include <algorithm>
#include <cmath>

namespace {

// Rotation matrix (row-major 3x3) of glRotatef(deg) about a unit axis.
void rotation(double deg, double ax, double ay, double az, double r[3][3]) {
  double a = deg * M_PI / 180, c = std::cos(a), s = std::sin(a), t = 1 - c;
  double m[3][3] = {{t * ax * ax + c, t * ax * ay - s * az, t * ax * az + s * ay},
                    {t * ax * ay + s * az, t * ay * ay + c, t * ay * az - s * ax},
                    {t * ax * az - s * ay, t * ay * az + s * ax, t * az * az + c}};
  std::copy(&m[0][0], &m[0][0] + 9, &r[0][0]);
}

} // namespace

bool fitCamera(const Lattice* lat, int width, int height, Camera& cam, double& depth) {
  using namespace Trot;
  // The camera turns the scene by Rx(pitch) Ry(yaw), then moves it 50 units away: a point p
  // lands at R (p + t) - 50 z in eye space. Work in R p and solve for u = R t - 50 z.
  double rx[3][3], ry[3][3], r[3][3];
  rotation(cam.trot[pitch], 1, 0, 0, rx);
  rotation(cam.trot[yaw], 0, 1, 0, ry);
  for (int i = 0; i < 3; i++)
    for (int j = 0; j < 3; j++)
      r[i][j] = rx[i][0] * ry[0][j] + rx[i][1] * ry[1][j] + rx[i][2] * ry[2][j];
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
        for (int k = 0; k < 3; k++) q[k] = r[k][0] * w[0] + r[k][1] * w[1] + r[k][2] * w[2];
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
    cam.trot[tx + k] = float(r[0][k] * u[0] + r[1][k] * u[1] + r[2][k] * u[2]);
  depth = -(farthest + uz);
  return true;
}
