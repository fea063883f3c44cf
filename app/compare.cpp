// The viewer's comparison of two maps (--compare OLD NEW): the shown map coloured by change,
// the old map's removed lattices in red, N and Shift+N from change to change, and the rows the
// panels add.
#include "compare.h"

#include "selection.h"

#include "render/compare.h"

#include <cctype>

namespace {

const Lattice* oldLattice(const Viewer& v, const LatticeChange& c) {
  return c.oldIndex >= 0 ? latticeAt(v.compare.lat, c.oldIndex) : nullptr;
}
const Lattice* newLattice(const Viewer& v, const LatticeChange& c) {
  return c.newIndex >= 0 ? latticeAt(v.lat, c.newIndex) : nullptr;
}

// The change the selection panel describes: the selected lattice's, or with nothing selected
// the removed lattice N went to; null when there is none.
const LatticeChange* shownChange(const Viewer& v) {
  const std::vector<LatticeChange>& all = v.compare.diff.changes;
  if (v.selected < 0) {
    size_t at = size_t(v.compare.at);
    return v.compare.at >= 0 && at < all.size() && all[at].newIndex < 0 ? &all[at] : nullptr;
  }
  for (const LatticeChange& c : all)
    if (c.newIndex == v.selected) return &c;
  return nullptr;
}

} // namespace

bool compareNames(const std::string& line, std::string& old, std::string& now) {
  const std::string flag = "--compare";
  if (line.compare(0, flag.size(), flag) || line.size() == flag.size() ||
      !std::isspace(static_cast<unsigned char>(line[flag.size()])))
    return false;
  size_t i = flag.size();
  std::string rest;
  return nextName(line, i, old) && nextName(line, i, now) && !nextName(line, i, rest);
}

void compareScene(Viewer& v) {
  Comparison& c = v.compare;
  if (c.name.empty() || !c.lat || !v.lat) return;
  c.diff = diffMaps({*c.store, c.lat, c.lengths}, {*v.store, v.lat, v.lengths});
  v.maps++; // the page's outline marks the changes afresh
  if (c.at >= int(c.diff.changes.size())) c.at = -1;
  // Few lattices are removed: they are drawn triangle by triangle, and take no arrays.
  buildRetained(c.lat, v.vs, 0, c.scene, v.start.frameTriangles);
  styleComparison(c.diff, v.scene, c.scene);
  v.redraw = true;
}

void compareEdited(Viewer& v, int index) {
  Comparison& c = v.compare;
  if (c.name.empty() || !c.lat || !v.lat) return;
  rediffLattice(c.diff, {*c.store, c.lat, c.lengths}, {*v.store, v.lat, v.lengths}, index);
  v.maps++; // the page's outline marks the changes afresh
  if (c.at >= int(c.diff.changes.size())) c.at = -1;
  styleComparison(c.diff, v.scene, c.scene);
  v.redraw = true;
}

FitAlso removedLattices(const Viewer& v) {
  if (v.compare.name.empty() || !v.compare.lat) return {};
  return {v.compare.lat, allButRemoved(v.compare.diff, v.compare.lat)};
}

void leaveChange(Viewer& v) {
  v.compare.at = -1;
}

void addComparison(Viewer& v, ViewDraw& d) {
  Comparison& c = v.compare;
  if (!c.lat) return;
  d.old = &c.scene;
  if (v.selected >= 0) {
    d.outlined = &v.scene;
    d.outlinedIndex = v.selected;
  } else if (const LatticeChange* at = shownChange(v)) { // the removed lattice N went to
    d.outlined = &c.scene;
    d.outlinedIndex = at->oldIndex;
  }
}

void stepChange(Viewer& v, int dir) {
  Comparison& c = v.compare;
  if (c.name.empty()) {
    say(v, "N and Shift+N step through the changes of kelvane-viewer --compare OLD NEW");
    return;
  }
  int n = int(c.diff.changes.size());
  if (!n) {
    say(v, "no changes: the lattices of " + c.name + " and " + v.watch.name + " are the same");
    return;
  }
  int from = c.at;
  leaveChange(v);
  c.at = from < 0 ? (dir > 0 ? 0 : n - 1) : (from + dir + n) % n;
  const LatticeChange& ch = c.diff.changes[size_t(c.at)];
  selectLattice(v, ch.newIndex);
  v.redraw = true; // the frame outlines a removed lattice (addComparison)
  say(v, "change " + std::to_string(c.at + 1) + " of " + std::to_string(n) + ": " +
             changeLine(ch, oldLattice(v, ch), newLattice(v, ch)));
}

std::vector<std::string> changePanelLines(const Viewer& v) {
  const LatticeChange* c = v.compare.name.empty() ? nullptr : shownChange(v);
  if (!c) return {};
  // "moved 1 (id 3): position ... -> ...; cells ..." as a heading and a row a part.
  std::string text = changeLine(*c, oldLattice(v, *c), newLattice(v, *c));
  std::vector<std::string> rows;
  size_t colon = text.find(": ");
  rows.push_back(text.substr(0, colon));
  for (size_t from = colon + 2, end; from < text.size(); from = end + 2) {
    end = text.find("; ", from);
    if (end == std::string::npos) end = text.size();
    rows.push_back("  " + text.substr(from, end - from));
  }
  return rows;
}

std::string changeKinds(const Viewer& v) {
  std::string s;
  for (const LatticeChange& c : v.compare.diff.changes) {
    if (c.newIndex < 0) continue;
    LatticeStyle style = changeStyle(c);
    s += std::to_string(c.newIndex);
    s += style == LatticeStyle::added   ? " added\n"
         : style == LatticeStyle::moved ? " moved\n"
         : style == LatticeStyle::both  ? " both\n"
                                        : " reshaped\n";
  }
  return s;
}

std::vector<std::string> compareInfoLines(const Viewer& v) {
  const Comparison& c = v.compare;
  if (c.name.empty()) return {};
  const MapDiff& d = c.diff;
  std::string changed = std::to_string(d.moved) + " moved, " + std::to_string(d.reshaped) +
                        " reshaped, " + std::to_string(d.both) + " both";
  return {"compared   " + c.name.substr(c.name.find_last_of("/\\") + 1), "changed    " + changed,
          "added      " + std::to_string(d.added) + ", removed " + std::to_string(d.removed) +
              ", unchanged " + std::to_string(d.unchanged),
          std::string("other      bytes ") + (d.otherBytesSame ? "same" : "differ")};
}
