// Selection order over the drawn lattices, and the lines that describe a selected one.
#include "selection.h"

#include "render/frame.h"
#include "render/numbers.h"

#include <cstdio>
#include <vector>

namespace {

// The list index of the parent of lattice `index`, or "none" (none, or one outside the list). A
// walk of the list without allocating: the panels ask on every frame.
std::string parentOf(const Lattice* lat, int index) {
  const Lattice* L = latticeAt(lat, index);
  int i = 0;
  for (const Lattice* p = lat; L && L->parent && p; p = p->next, i++)
    if (p == L->parent) return std::to_string(i);
  return "none";
}

} // namespace

namespace {

bool shown(const Lattice* L, int index, const std::vector<bool>& hidden) {
  return L && L->id && !flagged(hidden, size_t(index));
}

} // namespace

int stepSelection(const Lattice* lat, int from, int dir, const std::vector<bool>& hidden) {
  std::vector<int> drawn;
  int i = 0;
  for (const Lattice* L = lat; L; L = L->next, i++)
    if (shown(L, i, hidden)) drawn.push_back(i);
  if (drawn.empty()) return -1;
  int n = int(drawn.size()), at = -1;
  for (int k = 0; k < n; k++)
    if (drawn[size_t(k)] == from) at = k;
  if (at < 0) return dir > 0 ? drawn.front() : drawn.back();
  return drawn[size_t(((at + dir) % n + n) % n)];
}

int parentSelection(const Lattice* lat, int from, const std::vector<bool>& hidden) {
  if (from < 0) return -1;
  std::vector<int> parents = parentIndexes(lat);
  // Parent chains end: cycles were cut when the map was loaded.
  for (int p = parents[size_t(from)]; p >= 0; p = parents[size_t(p)])
    if (shown(latticeAt(lat, p), p, hidden)) return p;
  return -1;
}

int childSelection(const Lattice* lat, int from, const std::vector<bool>& hidden) {
  if (from < 0) return -1;
  std::vector<int> parents = parentIndexes(lat);
  int i = 0;
  for (const Lattice* L = lat; L; L = L->next, i++)
    if (parents[size_t(i)] == from && shown(L, i, hidden)) return i;
  return -1;
}

std::string selectionLine(const Lattice* lat, int index) {
  const Lattice* L = latticeAt(lat, index);
  if (!L) return "selection cleared";
  return "selected lattice " + std::to_string(index) + ": id " + std::to_string(L->id) + ", " +
         std::to_string(L->nx) + " x " + std::to_string(L->ny) + " x " + std::to_string(L->nz) +
         " cells, at " + triple(&L->x) + ", parent " + parentOf(lat, index);
}

std::vector<std::string> selectionPanelLines(const Lattice* lat, int index) {
  const Lattice* L = latticeAt(lat, index);
  if (!L) return {};
  std::string children;
  int shown = 0, more = 0, i = 0;
  for (const Lattice* C = lat; C; C = C->next, i++)
    if (C->parent == L) {
      if (shown++ < 8)
        children += (children.empty() ? "" : ", ") + std::to_string(i);
      else
        more++;
    }
  if (more) children += " and " + std::to_string(more) + " more";
  const double deg = 57.2958; // as the frame turns radians into degrees
  float rot[3] = {float(L->rx * deg), float(L->ry * deg), float(L->rz * deg)};
  return {"lattice " + std::to_string(index),
          "id " + std::to_string(L->id),
          "cells " + std::to_string(L->nx) + " x " + std::to_string(L->ny) + " x " +
              std::to_string(L->nz),
          "cell size " + triple(&L->sx),
          "position " + triple(&L->x),
          "rotation " + triple(rot) + " degrees",
          "parent " + parentOf(lat, index),
          "children " + (children.empty() ? std::string("none") : children),
          "references " + std::to_string(L->refCount)};
}

std::string latticeDetails(const Lattice* lat, int index) {
  std::string text;
  for (const std::string& l : selectionPanelLines(lat, index))
    text += (text.empty() ? "" : "\n") + l;
  return text;
}

std::vector<int> drawnParents(const Lattice* lat) {
  std::vector<int> parents = parentIndexes(lat);
  std::vector<const Lattice*> at;
  for (const Lattice* L = lat; L; L = L->next) at.push_back(L);
  std::vector<int> out(at.size(), -1);
  for (size_t i = 0; i < at.size(); i++) {
    if (!at[i]->id) continue;
    int p = parents[i];
    for (size_t k = 0; p >= 0 && !at[size_t(p)]->id && k < at.size(); k++) p = parents[size_t(p)];
    out[i] = p >= 0 && at[size_t(p)]->id ? p : -1;
  }
  return out;
}

std::string outlineText(const Lattice* lat) {
  std::vector<int> parents = drawnParents(lat);
  std::vector<const Lattice*> at;
  for (const Lattice* L = lat; L; L = L->next) at.push_back(L);
  std::string text;
  for (size_t i = 0; i < at.size(); i++) {
    if (!at[i]->id) continue;
    int p = parents[i];
    char line[80];
    std::snprintf(line, sizeof line, "%zu %d %d %d %d %d\n", i, at[i]->id, at[i]->nx, at[i]->ny,
                  at[i]->nz, p);
    text += line;
  }
  return text;
}
