// `kelvane dump`: a map as stable, line-oriented text for line diffs (git's textconv): a line
// per lattice's placement, its cells and references, each inset list, and each row of its
// height grid, each led by the lattice's list index and id; bytes the lines do not show are
// summed up by a hash, so a change there still shows as a changed line.
#include "toolkit.h"

#include <cinttypes>
#include <cstdio>

namespace {

std::string number(float v) {
  char b[32];
  return std::string(b, writeJsonFloat(b, v));
}

std::string three(const float* v) {
  std::string s = "(";
  for (int k = 0; k < 3; k++) (s += k ? ", " : "") += number(v[k]);
  return s + ")";
}

// 64-bit FNV-1a of `s`, as 16 hex digits.
std::string hashOf(const std::string& s, size_t from = 0) {
  uint64_t h = 1469598103934665603ull;
  for (size_t k = from; k < s.size(); k++) h = (h ^ (unsigned char)s[k]) * 1099511628211ull;
  char b[20];
  std::snprintf(b, sizeof b, "%016" PRIx64, h);
  return b;
}

std::string insets(const InsetNode* n) {
  if (!n) return " none";
  std::string s;
  for (; n; n = n->next) ((((s += " (") += number(n->dx)) += ", ") += number(n->dz)) += ")";
  return s;
}

} // namespace

std::string dumpText(const LoadedMap& map) {
  std::vector<const Lattice*> list = latticeList(map.lat);
  std::vector<int> parent = parentIndexes(map.lat);
  MapSide side{map.store, map.lat, map.rep.lengths};
  std::string header = otherBytes(side, {});
  std::string out = "kelvane map dump: " + std::to_string(list.size()) + " lattices\n" +
                    "header: " + std::to_string(header.size() - 8) + " bytes, hash " +
                    hashOf(header) + "\n";
  for (size_t i = 0; i < list.size(); i++) {
    const Lattice* L = list[i];
    std::string at = std::to_string(i) + " id " + std::to_string(L->id) + ": ";
    out += at + "position " + three(&L->x) + ", rotation " + three(&L->rx) + ", cell size " +
           three(&L->sx) + "\n";
    out += at + "cells " + std::to_string(L->nx) + " x " + std::to_string(L->ny) + " x " +
           std::to_string(L->nz) + ", parent " +
           (parent[i] >= 0 ? std::to_string(parent[i]) : std::string("none")) + ", " +
           std::to_string(L->refCount) + " refs, other bytes hash " +
           hashOf(otherBytes(side, {int(i)}), header.size()) + "\n";
    out += at + "min insets" + insets(L->minInsets) + "\n";
    out += at + "max insets" + insets(L->maxInsets) + "\n";
    // The heights in rows of the grid's width (nx + 1), as the file lists them.
    size_t width = size_t(L->nx) + 1, row = 0, k = 0;
    std::string line;
    for (const HeightNode* h = L->heights; h; h = h->next) {
      (line += ' ') += number(h->value);
      if (++k == width || !h->next) {
        out += at + "heights row " + std::to_string(row++) + ":" + line + "\n";
        line.clear();
        k = 0;
      }
    }
    if (!L->heights) out += at + "heights none\n";
  }
  return out;
}
