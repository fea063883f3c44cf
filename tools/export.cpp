// `kelvane export`: every drawn lattice's triangles as Wavefront OBJ, in world coordinates.
#include "toolkit.h"

#include "render/frame.h"
#include "render/placement.h"

#include <cstdio>
#include <vector>

std::string exportObj(const Lattice* lat, const std::string& source) {
  const ViewerState vs;
  std::string body;
  std::vector<Triangle> tris;
  long drawn = 0, triangles = 0, vertex = 0;
  char line[160];
  int index = 0;
  for (const Lattice* L = lat; L; L = L->next, index++) {
    if (L->id == 0) continue;
    tris.clear();
    CollectEmitter emit{&tris};
    drawLatticeFaces(L, vs, emit);
    double m[16];
    latticePlacement(L, vs, m);
    body += "o lattice" + std::to_string(index) + "\n";
    for (const Triangle& t : tris) {
      for (const float* v : t.v) {
        float w[3];
        for (int r = 0; r < 3; r++)
          w[r] = float(m[r] * v[0] + m[4 + r] * v[1] + m[8 + r] * v[2] + m[12 + r]);
        std::snprintf(line, sizeof line, "v %.9g %.9g %.9g %.9g %.9g %.9g\n", w[0], w[1], w[2],
                      t.grey, t.grey, t.grey);
        body += line;
      }
      std::snprintf(line, sizeof line, "f %ld %ld %ld\n", vertex + 1, vertex + 2, vertex + 3);
      body += line;
      vertex += 3;
    }
    drawn++;
    triangles += long(tris.size());
  }
  std::snprintf(line, sizeof line, "# %ld lattices drawn, %ld triangles\n", drawn, triangles);
  return "# Kelvane map export of " + source + "\n# vertices: x y z r g b (world coordinates)\n" +
         line + body;
}
