// Lattice placement: the chain from the outermost ancestor down to the lattice, each with
// T(position) Rz Ry Rx; walked per lattice as the frame's call stream has it, or made once a
// lattice from its parent's, for matrices and for frames of deep chains.
#include "placement.h"

#include "platform/gl.h"

#include <unordered_map>

namespace {

// The axis line of `p`: from the origin of the frame it is placed in to its own origin.
void axisLine(float px, float py, float pz) {
  glShadeModel(GL_SMOOTH); // red to blue; the scene's triangles are flat (flatScene)
  glBegin(GL_LINES);
  glColor3f(1, 0, 0);
  glVertex3f(0, 0, 0);
  glColor3f(0, 0, 1);
  glVertex3f(px, py, pz);
  glEnd();
  glShadeModel(GL_FLAT);
}

// p's own placement onto the current GL matrix (its axis line first, while the flag is set).
void placeOne(const Lattice* p, const ViewerState& vs) {
  float px = p->x * vs.positionScale, py = p->y * vs.positionScale, pz = p->z * vs.positionScale;
  if (vs.axisFlag) axisLine(px, py, pz);
  glTranslatef(px, py, pz);
  glRotatef(p->rz * vs.radToDeg, 0, 0, 1);
  glRotatef(p->ry * vs.radToDeg, 0, 1, 0);
  glRotatef(p->rx * vs.radToDeg, 1, 0, 0);
}

Matrix ownPlacement(const Matrix& parent, const Lattice* p, const ViewerState& vs) {
  Matrix m = multiply(parent, translationMatrix(p->x * vs.positionScale, p->y * vs.positionScale,
                                                p->z * vs.positionScale));
  m = multiply(m, rotationMatrix(p->rz * vs.radToDeg, 0, 0, 1));
  m = multiply(m, rotationMatrix(p->ry * vs.radToDeg, 0, 1, 0));
  return multiply(m, rotationMatrix(p->rx * vs.radToDeg, 1, 0, 0));
}

// The list in order, and each lattice's parent as a list index (-1: none, or not in the list).
void listAndParents(const Lattice* lat, std::vector<const Lattice*>& all,
                    std::vector<int>& parent) {
  std::unordered_map<const Lattice*, int> index;
  all.clear();
  for (const Lattice* L = lat; L; L = L->next) {
    index.emplace(L, int(all.size()));
    all.push_back(L);
  }
  parent.assign(all.size(), -1);
  for (size_t i = 0; i < all.size(); i++) {
    auto it = all[i]->parent ? index.find(all[i]->parent) : index.end();
    if (it != index.end()) parent[i] = it->second;
  }
}

} // namespace

long chainLength(const Lattice* L, long cap) {
  long n = 0;
  for (const Lattice* p = L; p; p = p->parent)
    if (++n > cap) return -1;
  return n;
}

void applyLatticeTransform(const Lattice* L, const ViewerState& vs) {
  // Outermost first, without recursion so long chains cost no stack; chains of ordinary depth
  // need no allocation either.
  const Lattice* shortChain[64];
  std::vector<const Lattice*> longChain;
  size_t n = 0;
  for (const Lattice* p = L; p; p = p->parent, n++) {
    if (n == 64) longChain.assign(shortChain, shortChain + 64);
    if (n < 64)
      shortChain[n] = p;
    else
      longChain.push_back(p);
  }
  const Lattice* const* chain = n <= 64 ? shortChain : longChain.data();
  for (size_t i = n; i-- > 0;) placeOne(chain[i], vs);
}

std::vector<Matrix> latticePlacements(const Lattice* lat, const ViewerState& vs) {
  std::vector<const Lattice*> all;
  std::vector<int> parent;
  listAndParents(lat, all, parent);
  std::vector<Matrix> m(all.size());
  std::vector<char> made(all.size(), 0);
  std::vector<int> todo;
  for (size_t i = 0; i < all.size(); i++) {
    // Up to the nearest ancestor already made (loads leave no cycle; the count guards others).
    for (int j = int(i); j >= 0 && !made[size_t(j)] && todo.size() <= all.size();
         j = parent[size_t(j)])
      todo.push_back(j);
    while (!todo.empty()) {
      int j = todo.back();
      todo.pop_back();
      int p = parent[size_t(j)];
      m[size_t(j)] = ownPlacement(p >= 0 && made[size_t(p)] ? m[size_t(p)] : identityMatrix(),
                                  all[size_t(j)], vs);
      made[size_t(j)] = 1;
    }
  }
  return m;
}

void preparePlacements(FramePlacements& fp, const Lattice* lat) {
  listAndParents(lat, fp.lattices, fp.parent);
  fp.mv.assign(fp.lattices.size(), {});
  fp.made.assign(fp.lattices.size(), 0);
  fp.frame = 0;
}

void beginPlacements(FramePlacements& fp) {
  if (++fp.frame == 0) { // wrapped: no stamp may match a new frame by chance
    std::fill(fp.made.begin(), fp.made.end(), 0);
    fp.frame = 1;
  }
}

void loadPlacement(FramePlacements& fp, int i, const float* trot, const ViewerState& vs) {
  if (fp.made[size_t(i)] == fp.frame) {
    glLoadMatrixf(fp.mv[size_t(i)].data());
    return;
  }
  std::vector<int>& todo = fp.todo;
  todo.clear();
  int j = i;
  for (; j >= 0 && fp.made[size_t(j)] != fp.frame && todo.size() <= fp.lattices.size();
       j = fp.parent[size_t(j)])
    todo.push_back(j);
  if (j >= 0 && fp.made[size_t(j)] == fp.frame)
    glLoadMatrixf(fp.mv[size_t(j)].data());
  else
    loadCamera(trot);
  while (!todo.empty()) {
    int k = todo.back();
    todo.pop_back();
    placeOne(fp.lattices[size_t(k)], vs);
    glGetFloatv(GL_MODELVIEW_MATRIX, fp.mv[size_t(k)].data());
    fp.made[size_t(k)] = fp.frame;
  }
}

void loadCamera(const float* trot) {
  glLoadIdentity();
  glTranslatef(0, 0, -50);
  glRotatef(trot[Trot::pitch], 1, 0, 0);
  glRotatef(trot[Trot::yaw], 0, 1, 0);
  glTranslatef(trot[Trot::tx], trot[Trot::ty], trot[Trot::tz]);
}

bool walkChain(ChainWalk& w, const Lattice* L, const float* trot, const ViewerState& vs) {
  long walk = w.steps < 0 ? -1 : chainLength(L, w.steps);
  if (walk < 0) {
    w.steps = -1;
    return false;
  }
  w.steps -= walk;
  loadCamera(trot);
  applyLatticeTransform(L, vs);
  return true;
}
