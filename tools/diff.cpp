// `kelvane diff`: the changes between two maps as lines to read or as JSON, values printed as
// `info` prints them (and in JSON so that they read back exactly).
#include "toolkit.h"

#include "mapfile/diff.h"
#include "render/compare.h"
#include "render/numbers.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// As info --json, but a NaN other than the plain quiet NaN keeps its bits ("nan:0x7fc00001"),
// so patch can put back exactly what the new map holds.
std::string jsonFloat(float v) {
  uint32_t bits;
  std::memcpy(&bits, &v, 4);
  char b[32];
  if (std::isnan(v) && bits != 0x7fc00000u) {
    std::snprintf(b, sizeof b, "\"nan:0x%08x\"", unsigned(bits));
    return b;
  }
  return std::string(b, writeJsonFloat(b, v));
}

// "[x, y, z]", appended piece by piece (a sum of strings that starts with a literal trips a
// false -Wrestrict in GCC 12 at -O3).
std::string jsonArray(const float* v, int n) {
  std::string s = "[";
  for (int i = 0; i < n; i++) {
    if (i) s += ", ";
    s += jsonFloat(v[i]);
  }
  s += "]";
  return s;
}

struct Pair {
  const Lattice *a, *b;
};

// A changed list in JSON: the entries that differ with their old and new values, or the two
// counts when they differ.
std::string listJson(const std::vector<float>& a, const std::vector<float>& b, size_t width) {
  if (a.size() != b.size())
    return "{\"oldCount\": " + std::to_string(a.size() / width) +
           ", \"newCount\": " + std::to_string(b.size() / width) + "}";
  auto entry = [width](const std::vector<float>& v, size_t k) {
    return width == 1 ? jsonFloat(v[k]) : jsonArray(&v[2 * k], 2);
  };
  std::string s = "[";
  std::vector<size_t> at = differingEntries(a, b, width);
  for (size_t i = 0; i < at.size(); i++)
    s += std::string(i ? ", " : "") + "{\"index\": " + std::to_string(at[i]) +
         ", \"old\": " + entry(a, at[i]) + ", \"new\": " + entry(b, at[i]) + "}";
  return s + "]";
}

std::string changeJson(const LatticeChange& c, Pair p) {
  auto index = [](int i) { return i < 0 ? std::string("null") : std::to_string(i); };
  const char* kind = c.oldIndex < 0 ? "added" : c.newIndex < 0 ? "removed" : changeVerb(c.what);
  const Lattice* L = p.b ? p.b : p.a;
  std::string s = std::string("{\"change\": \"") + kind + "\", \"old\": " + index(c.oldIndex) +
                  ", \"new\": " + index(c.newIndex) + ", \"id\": " + std::to_string(L->id);
  auto three = [&](unsigned bit, const char* name, const float* a, const float* b) {
    if (c.what & bit)
      s += std::string(", \"") + name + "\": {\"old\": " + jsonArray(a, 3) +
           ", \"new\": " + jsonArray(b, 3) + "}";
  };
  if (p.a && p.b) {
    three(changedPosition, "position", &p.a->x, &p.b->x);
    three(changedRotation, "rotation", &p.a->rx, &p.b->rx);
    three(changedCellSize, "cellSize", &p.a->sx, &p.b->sx);
    if (c.what & changedCells)
      s += ", \"cells\": {\"old\": [" + std::to_string(p.a->nx) + ", " + std::to_string(p.a->ny) +
           ", " + std::to_string(p.a->nz) + "], \"new\": [" + std::to_string(p.b->nx) + ", " +
           std::to_string(p.b->ny) + ", " + std::to_string(p.b->nz) + "]}";
    if (c.what & changedHeights)
      s += ", \"heights\": " + listJson(listValues(p.a->heights), listValues(p.b->heights), 1);
    if (c.what & changedMinInsets)
      s +=
          ", \"minInsets\": " + listJson(listValues(p.a->minInsets), listValues(p.b->minInsets), 2);
    if (c.what & changedMaxInsets)
      s +=
          ", \"maxInsets\": " + listJson(listValues(p.a->maxInsets), listValues(p.b->maxInsets), 2);
  }
  return s + "}";
}

Pair pairOf(const LatticeChange& c, const std::vector<const Lattice*>& la,
            const std::vector<const Lattice*>& lb) {
  return {c.oldIndex >= 0 ? la[size_t(c.oldIndex)] : nullptr,
          c.newIndex >= 0 ? lb[size_t(c.newIndex)] : nullptr};
}

} // namespace

std::string diffText(const LoadedMap& a, const LoadedMap& b, const MapDiff& d) {
  std::vector<const Lattice*> la = latticeList(a.lat), lb = latticeList(b.lat);
  std::string s;
  for (const LatticeChange& c : d.changes) {
    Pair p = pairOf(c, la, lb);
    s += changeLine(c, p.a, p.b) + "\n";
  }
  return s + summaryLine(d) + "\n";
}

std::string diffJson(const LoadedMap& a, const LoadedMap& b, const MapDiff& d) {
  std::vector<const Lattice*> la = latticeList(a.lat), lb = latticeList(b.lat);
  std::string s = "{\"changes\": [";
  for (size_t k = 0; k < d.changes.size(); k++)
    s += (k ? ",\n  " : "\n  ") + changeJson(d.changes[k], pairOf(d.changes[k], la, lb));
  s += "],\n \"summary\": {\"moved\": " + std::to_string(d.moved) +
       ", \"reshaped\": " + std::to_string(d.reshaped) +
       ", \"movedAndReshaped\": " + std::to_string(d.both) +
       ", \"added\": " + std::to_string(d.added) + ", \"removed\": " + std::to_string(d.removed) +
       ", \"unchanged\": " + std::to_string(d.unchanged) + ", \"otherBytes\": \"" +
       (d.otherBytesSame ? "same\""
                         : "differ\", \"firstDifference\": " + std::to_string(d.firstDifference)) +
       (d.exactPairing ? "" : ", \"pairing\": \"in order\"") + "}}\n";
  return s;
}
