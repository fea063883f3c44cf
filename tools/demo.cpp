// The built-in sample landscape: a tilted valley floor carrying a terraced mesa with a
// leaning tower and a rounded hill, a floating platform, and a hidden (id 0) block.
#include "toolkit.h"

#include <cmath>

namespace {

LatticeRecord lattice(int id, float x, float y, float z, float rx, float ry, float rz, float sx,
                      float sy, float sz, int nx, int ny, int nz) {
  LatticeRecord L;
  L.id = id;
  float pos[3] = {x, y, z}, rot[3] = {rx, ry, rz}, cell[3] = {sx, sy, sz};
  for (int i = 0; i < 3; i++) {
    L.pos[i] = pos[i];
    L.rot[i] = rot[i];
    L.cell[i] = cell[i];
  }
  L.nx = nx;
  L.ny = ny;
  L.nz = nz;
  return L;
}

// Heights over the (nx + 1) x (nz + 1) grid from f(u, v), u and v running 0..1.
template <class F> void heights(LatticeRecord& L, F f) {
  for (int j = 0; j <= L.nz; j++)
    for (int i = 0; i <= L.nx; i++) L.heights.push_back(f(double(i) / L.nx, double(j) / L.nz));
}

// Level k's low edges move in by lo(k) cells and its high edges by the same amount.
template <class F> void insets(LatticeRecord& L, F lo) {
  for (int k = 0; k <= L.ny; k++) {
    float d = float(lo(k));
    L.minInsets.push_back({d, d});
    L.maxInsets.push_back({-d, -d});
  }
}

} // namespace

MapDesc demoMap() {
  MapDesc m;
  // Record numbers count from 1 in file order: the floor is 1, the mesa 2, and so on.
  LatticeRecord floor = lattice(1, 0, -11, -16, 0.5f, 0, 0, 2.2f, 1.5f, 2.2f, 16, 1, 16);
  heights(floor, [](double u, double v) {
    return 1.1 * std::sin(u * 9) * std::cos(v * 7) + 0.7 * std::cos((u + v) * 5);
  });
  insets(floor, [](int k) { return 0.6 * k; });
  floor.refs = {2, 4};

  LatticeRecord mesa = lattice(2, -9, 5.5f, -5, 0, 0.35f, 0, 1.6f, 1.2f, 1.6f, 7, 5, 7);
  insets(mesa, [](int k) { return 0.7 * ((k + 1) / 2); }); // alternate sloping and steep bands
  heights(mesa, [](double u, double v) { return 0.8 * std::sin(u * M_PI) * std::sin(v * M_PI); });
  mesa.refs = {3};

  LatticeRecord tower = lattice(3, 0.5f, 8.5f, 0.5f, 0, 0.78f, 0.14f, 1.1f, 1.3f, 1.1f, 2, 8, 2);
  insets(tower, [](int k) { return 0.05 * k; });

  LatticeRecord hill = lattice(4, 10, 2.5f, 7, 0, -0.5f, 0, 1.4f, 1, 1.4f, 10, 2, 10);
  heights(hill, [](double u, double v) {
    double du = u - 0.45, dv = v - 0.55;
    return 4.5 * std::exp(-(du * du + dv * dv) * 12) - 0.4 * std::cos(u * 12);
  });
  insets(hill, [](int k) { return 0.5 * k; });

  // Not drawn (id 0): it would stand right in front of the camera.
  LatticeRecord hidden = lattice(0, 0, 0, 30, 0, 0, 0, 4, 4, 4, 3, 3, 3);

  LatticeRecord platform = lattice(6, 15, 7, -22, 0.25f, 0.9f, 0.3f, 1.5f, 0.8f, 1.5f, 5, 1, 4);
  heights(platform, [](double u, double v) { return 0.4 * std::sin(u * 8) * std::sin(v * 6); });

  m.lattices = {floor, mesa, tower, hill, hidden, platform};
  m.strings = {"demo"};
  return m;
}
