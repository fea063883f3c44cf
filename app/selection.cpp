// Selection order over the drawn lattices, and the lines that describe a selected one.
#include "selection.h"

#include <cstdio>
#include <vector>

namespace {

// "(a, b, c)" with %g numbers.
std::string triple(const float* v) {
  char b[96];
  std::snprintf(b, sizeof b, "(%g, %g, %g)", double(v[0]), double(v[1]), double(v[2]));
  return b;
}

std::string parentOf(const Lattice* lat, int index) {
  int p = parentIndexes(lat)[size_t(index)];
  return p >= 0 ? std::to_string(p) : "none";
}

} // namespace

int stepSelection(const Lattice* lat, int from, int dir) {
  std::vector<int> drawn;
  int i = 0;
  for (const Lattice* L = lat; L; L = L->next, i++)
    if (L->id) drawn.push_back(i);
  if (drawn.empty()) return -1;
  int n = int(drawn.size()), at = -1;
  for (int k = 0; k < n; k++)
    if (drawn[size_t(k)] == from) at = k;
  if (at < 0) return dir > 0 ? drawn.front() : drawn.back();
  return drawn[size_t(((at + dir) % n + n) % n)];
}

std::string selectionLine(const Lattice* lat, int index) {
  const Lattice* L = latticeAt(lat, index);
  if (!L) return "selection cleared";
  return "selected lattice " + std::to_string(index) + ": id " + std::to_string(L->id) + ", " +
         std::to_string(L->nx) + " x " + std::to_string(L->ny) + " x " + std::to_string(L->nz) +
         " cells, at " + triple(&L->x) + ", parent " + parentOf(lat, index);
}

std::string latticeDetails(const Lattice* lat, int index) {
  const Lattice* L = latticeAt(lat, index);
  if (!L) return "";
  return "lattice " + std::to_string(index) + "\nid " + std::to_string(L->id) + "\ncells " +
         std::to_string(L->nx) + " x " + std::to_string(L->ny) + " x " + std::to_string(L->nz) +
         "\ncell size " + triple(&L->sx) + "\nposition " + triple(&L->x) + "\nrotation " +
         triple(&L->rx) + "\nparent " + parentOf(lat, index);
}
