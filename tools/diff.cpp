// `kelvane diff`: the changes between two maps as lines to read or as JSON, values printed as
// `info` prints them (and in JSON so that they read back exactly).
#include "toolkit.h"

#include "mapfile/diff.h"
#include "render/numbers.h"

#include <string>
#include <vector>

namespace {

std::string jsonFloat(float v) {
  char b[32];
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

std::string cells(const Lattice* L) {
  return std::to_string(L->nx) + " x " + std::to_string(L->ny) + " x " + std::to_string(L->nz);
}

// The values of one list (heights: 1 a node; insets: 2) in order.
std::vector<float> values(const HeightNode* n) {
  std::vector<float> v;
  for (; n; n = n->next) v.push_back(n->value);
  return v;
}
std::vector<float> values(const InsetNode* n) {
  std::vector<float> v;
  for (; n; n = n->next) v.insert(v.end(), {n->dx, n->dz});
  return v;
}

// The entries (of `width` floats) that differ between two lists of the same length.
std::vector<size_t> differing(const std::vector<float>& a, const std::vector<float>& b,
                              size_t width) {
  std::vector<size_t> at;
  for (size_t k = 0; k < a.size(); k += width)
    for (size_t w = 0; w < width; w++)
      if (!sameFloat(a[k + w], b[k + w])) {
        at.push_back(k / width);
        break;
      }
  return at;
}

const char* verb(unsigned what) {
  bool moved = what & changedMoved, reshaped = what & changedReshaped;
  return moved && reshaped ? "moved and reshaped" : moved ? "moved" : "reshaped";
}

struct Pair {
  const Lattice *a, *b;
};

// "heights: 3 of 25 differ", or "heights: 25 -> 36" when their counts differ.
std::string listLine(const char* name, const std::vector<float>& a, const std::vector<float>& b,
                     size_t width) {
  if (a.size() != b.size())
    return std::string(name) + ": " + std::to_string(a.size() / width) + " -> " +
           std::to_string(b.size() / width);
  return std::string(name) + ": " + std::to_string(differing(a, b, width).size()) + " of " +
         std::to_string(a.size() / width) + " differ";
}

std::string changeLine(const LatticeChange& c, Pair p) {
  if (c.oldIndex < 0)
    return "added " + std::to_string(c.newIndex) + " (id " + std::to_string(p.b->id) +
           "): " + cells(p.b) + " cells at " + triple(&p.b->x);
  if (c.newIndex < 0)
    return "removed " + std::to_string(c.oldIndex) + " (id " + std::to_string(p.a->id) +
           "): " + cells(p.a) + " cells at " + triple(&p.a->x);
  std::vector<std::string> parts;
  auto three = [&](unsigned bit, const char* name, const float* a, const float* b) {
    if (c.what & bit) parts.push_back(std::string(name) + " " + triple(a) + " -> " + triple(b));
  };
  three(changedPosition, "position", &p.a->x, &p.b->x);
  three(changedRotation, "rotation", &p.a->rx, &p.b->rx);
  three(changedCellSize, "cell size", &p.a->sx, &p.b->sx);
  if (c.what & changedCells) parts.push_back("cells " + cells(p.a) + " -> " + cells(p.b));
  if (c.what & changedHeights)
    parts.push_back(listLine("heights", values(p.a->heights), values(p.b->heights), 1));
  if (c.what & changedMinInsets)
    parts.push_back(listLine("min insets", values(p.a->minInsets), values(p.b->minInsets), 2));
  if (c.what & changedMaxInsets)
    parts.push_back(listLine("max insets", values(p.a->maxInsets), values(p.b->maxInsets), 2));
  std::string s = std::string(verb(c.what)) + " " + std::to_string(c.newIndex) + " (id " +
                  std::to_string(p.b->id) + "): ";
  for (size_t k = 0; k < parts.size(); k++) s += (k ? "; " : "") + parts[k];
  return s;
}

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
  std::vector<size_t> at = differing(a, b, width);
  for (size_t i = 0; i < at.size(); i++)
    s += std::string(i ? ", " : "") + "{\"index\": " + std::to_string(at[i]) +
         ", \"old\": " + entry(a, at[i]) + ", \"new\": " + entry(b, at[i]) + "}";
  return s + "]";
}

std::string changeJson(const LatticeChange& c, Pair p) {
  auto index = [](int i) { return i < 0 ? std::string("null") : std::to_string(i); };
  const char* kind = c.oldIndex < 0 ? "added" : c.newIndex < 0 ? "removed" : verb(c.what);
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
      s += ", \"heights\": " + listJson(values(p.a->heights), values(p.b->heights), 1);
    if (c.what & changedMinInsets)
      s += ", \"minInsets\": " + listJson(values(p.a->minInsets), values(p.b->minInsets), 2);
    if (c.what & changedMaxInsets)
      s += ", \"maxInsets\": " + listJson(values(p.a->maxInsets), values(p.b->maxInsets), 2);
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
  for (const LatticeChange& c : d.changes) s += changeLine(c, pairOf(c, la, lb)) + "\n";
  s += std::to_string(d.moved) + " moved, " + std::to_string(d.reshaped) + " reshaped, ";
  if (d.both) s += std::to_string(d.both) + " moved and reshaped, ";
  s += std::to_string(d.added) + " added, " + std::to_string(d.removed) + " removed, " +
       std::to_string(d.unchanged) +
       " unchanged; other bytes: " + (d.otherBytesSame ? "same" : "differ") + "\n";
  return s;
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
       (d.otherBytesSame ? "same" : "differ") + "\"}}\n";
  return s;
}
