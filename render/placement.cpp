// Lattice placement: the chain from the outermost ancestor down to the lattice, each with
// T(position) Rz Ry Rx, walked without recursion so long chains cost no stack.
#include "placement.h"

#include "platform/gl.h"

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

Matrix latticePlacement(const Lattice* L, const ViewerState& vs) {
  Matrix m = identityMatrix();
  int n = latticeChain(L);
  for (int i = 0; i < n; i++) {
    const Lattice* p = chain[i];
    m = multiply(m, translationMatrix(p->x * vs.positionScale, p->y * vs.positionScale,
                                      p->z * vs.positionScale));
    m = multiply(m, rotationMatrix(p->rz * vs.radToDeg, 0, 0, 1));
    m = multiply(m, rotationMatrix(p->ry * vs.radToDeg, 0, 1, 0));
    m = multiply(m, rotationMatrix(p->rx * vs.radToDeg, 1, 0, 0));
  }
  return m;
}
