// Lattice placement: the chain from the outermost ancestor down to the lattice, each with
// T(position) Rz Ry Rx, walked without recursion so long chains cost no stack.
#include "placement.h"

#include "gl.h"

#include <cmath>
#include <cstring>

namespace {

// Loads never leave a parent cycle, and a list holds at most 65,535 lattices; the cap only
// guarantees the walk ends on lists built some other way.
constexpr int chainCap = 65536;
// One chain at a time: placements are computed one after another, never concurrently.
const Lattice* chain[chainCap];

// Fills `chain` with L's ancestors and L, outermost first; returns how many.
int latticeChain(const Lattice* L) {
  int n = 0;
  for (const Lattice* p = L; p && n < chainCap; p = p->parent) n++;
  int i = n;
  for (const Lattice* p = L; i > 0; p = p->parent) chain[--i] = p;
  return n;
}

void multiply(double m[16], const double r[16]) {
  double out[16];
  for (int c = 0; c < 4; c++)
    for (int row = 0; row < 4; row++) {
      double s = 0;
      for (int k = 0; k < 4; k++) s += m[k * 4 + row] * r[c * 4 + k];
      out[c * 4 + row] = s;
    }
  std::memcpy(m, out, sizeof out);
}

// The matrix glRotatef builds for an angle in degrees about a unit axis.
void rotate(double m[16], float deg, double ax, double ay, double az) {
  double a = double(deg) * M_PI / 180.0, c = std::cos(a), s = std::sin(a), t = 1 - c;
  double r[16] = {t * ax * ax + c,
                  t * ax * ay + s * az,
                  t * ax * az - s * ay,
                  0,
                  t * ax * ay - s * az,
                  t * ay * ay + c,
                  t * ay * az + s * ax,
                  0,
                  t * ax * az + s * ay,
                  t * ay * az - s * ax,
                  t * az * az + c,
                  0,
                  0,
                  0,
                  0,
                  1};
  multiply(m, r);
}

} // namespace

void applyLatticeTransform(const Lattice* L, const ViewerState& vs) {
  int n = latticeChain(L);
  for (int i = 0; i < n; i++) {
    const Lattice* p = chain[i];
    float px = p->x * vs.positionScale, py = p->y * vs.positionScale, pz = p->z * vs.positionScale;
    if (vs.axisFlag) {
      glBegin(GL_LINES);
      glColor3f(1, 0, 0);
      glVertex3f(0, 0, 0);
      glColor3f(0, 0, 1);
      glVertex3f(px, py, pz);
      glEnd();
    }
    glTranslatef(px, py, pz);
    glRotatef(p->rz * vs.radToDeg, 0, 0, 1);
    glRotatef(p->ry * vs.radToDeg, 0, 1, 0);
    glRotatef(p->rx * vs.radToDeg, 1, 0, 0);
  }
}

void latticePlacement(const Lattice* L, const ViewerState& vs, double m[16]) {
  static const double identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  std::memcpy(m, identity, sizeof identity);
  int n = latticeChain(L);
  for (int i = 0; i < n; i++) {
    const Lattice* p = chain[i];
    double t[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    t[12] = p->x * vs.positionScale;
    t[13] = p->y * vs.positionScale;
    t[14] = p->z * vs.positionScale;
    multiply(m, t);
    rotate(m, p->rz * vs.radToDeg, 0, 0, 1);
    rotate(m, p->ry * vs.radToDeg, 0, 1, 0);
    rotate(m, p->rx * vs.radToDeg, 1, 0, 0);
  }
}
