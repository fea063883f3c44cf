// Two maps compared: the change colours of the scenes and the words for each change.
#include "compare.h"

#include "numbers.h"
#include "placement.h"

#include "mapfile/merge.h"
#include "platform/gl.h"

#include <algorithm>

LatticeStyle changeStyle(const LatticeChange& c) {
  if (c.oldIndex < 0) return LatticeStyle::added;
  if (c.newIndex < 0) return LatticeStyle::removed;
  bool moved = c.what & changedMoved, reshaped = c.what & changedReshaped;
  return moved && reshaped ? LatticeStyle::both
         : moved           ? LatticeStyle::moved
                           : LatticeStyle::reshaped;
}

std::vector<bool> allButRemoved(const MapDiff& d, const Lattice* old) {
  std::vector<bool> flags(size_t(latticeCount(old)), true);
  for (const LatticeChange& c : d.changes)
    if (c.newIndex < 0) flags[size_t(c.oldIndex)] = false;
  return flags;
}

void styleComparison(const MapDiff& d, RetainedScene& now, RetainedScene& old) {
  for (const RetainedLattice& r : now.lattices) setLatticeStyle(now, r.index, LatticeStyle::grey);
  for (const LatticeChange& c : d.changes) {
    setLatticeStyle(c.newIndex >= 0 ? now : old, c.newIndex >= 0 ? c.newIndex : c.oldIndex,
                    changeStyle(c));
    // A moved lattice's old place keeps its style in the old scene, where it is hidden: its
    // edges show there (drawComparisonEdges).
    LatticeStyle s = changeStyle(c);
    if (c.oldIndex >= 0 && (s == LatticeStyle::moved || s == LatticeStyle::both))
      setLatticeStyle(old, c.oldIndex, s);
  }
  hideLattices(old, allButRemoved(d, old.lat));
}

LatticeStyle originStyle(uint8_t origin) {
  if (origin & inConflict) return LatticeStyle::conflict;
  static const LatticeStyle bySide[] = {LatticeStyle::grey, LatticeStyle::ours,
                                        LatticeStyle::theirs, LatticeStyle::fromBoth};
  return bySide[origin & (fromOurs | fromTheirs)];
}

void styleMerge(const std::vector<uint8_t>& origins, RetainedScene& scene) {
  for (const RetainedLattice& r : scene.lattices)
    setLatticeStyle(scene, r.index,
                    size_t(r.index) < origins.size() ? originStyle(origins[size_t(r.index)])
                                                     : LatticeStyle::grey);
}

bool latticeBoxCorners(const Lattice* L, const ViewerState& vs, FaceTables& ft, float lo[3],
                       float hi[3]) {
  std::vector<Triangle> tris;
  CollectEmitter box{&tris};
  drawLatticeBox(L, vs, ft, box);
  if (tris.empty()) return false;
  std::copy(tris[0].v[0], tris[0].v[0] + 3, lo);
  std::copy(tris[0].v[0], tris[0].v[0] + 3, hi);
  for (const Triangle& t : tris)
    for (const float* p : t.v)
      for (int a = 0; a < 3; a++) {
        lo[a] = std::min(lo[a], p[a]);
        hi[a] = std::max(hi[a], p[a]);
      }
  return true;
}

namespace {

// The twelve edges of the box of lattice `r`, placed as the frame placed it, in `colour` (`pale`:
// halfway from it to white).
void drawBoxEdges(RetainedScene& s, const RetainedLattice& r, const float* trot,
                  const ViewerState& vs, LatticeStyle colour, bool pale = false) {
  float lo[3], hi[3], rgb[3];
  if (!latticeBoxCorners(r.L, vs, s.faces, lo, hi)) return;
  loadPlacement(s.placements, r.index, trot, vs);
  styleColour(colour, 1, rgb);
  if (pale)
    for (float& c : rgb) c = 0.5f + 0.5f * c;
  glColor3f(rgb[0], rgb[1], rgb[2]);
  glBegin(GL_LINES);
  for (int a = 0; a < 3; a++) // four edges run along each axis
    for (int k = 0; k < 4; k++) {
      int b = (a + 1) % 3, c = (a + 2) % 3;
      float p[3];
      p[b] = k & 1 ? hi[b] : lo[b];
      p[c] = k & 2 ? hi[c] : lo[c];
      p[a] = lo[a];
      glVertex3f(p[0], p[1], p[2]);
      p[a] = hi[a];
      glVertex3f(p[0], p[1], p[2]);
    }
  glEnd();
}

} // namespace

void drawComparisonEdges(RetainedScene& old, const float* trot, const ViewerState& vs,
                         RetainedScene* scene, int index) {
  ViewerState plain = vs;
  plain.axisFlag = 0; // the axis lines are the frame's
  glDisable(GL_DEPTH_TEST);
  beginSection(trot, vs);
  for (const RetainedLattice& r : old.lattices) // the moved lattices' old places first
    if (r.hidden && (r.style == LatticeStyle::moved || r.style == LatticeStyle::both))
      drawBoxEdges(old, r, trot, plain, r.style, true);
  for (const RetainedLattice& r : old.lattices)
    if (!r.hidden) drawBoxEdges(old, r, trot, plain, LatticeStyle::removed);
  if (scene)
    for (const RetainedLattice& r : scene->lattices)
      if (r.index == index && !r.hidden) drawBoxEdges(*scene, r, trot, plain, LatticeStyle::amber);
  endSection(vs);
  glEnable(GL_DEPTH_TEST);
}

const char* changeVerb(unsigned what) {
  bool moved = what & changedMoved, reshaped = what & changedReshaped;
  return moved && reshaped ? "moved and reshaped" : moved ? "moved" : "reshaped";
}

std::vector<float> listValues(const HeightNode* n) {
  std::vector<float> v;
  for (; n; n = n->next) v.push_back(n->value);
  return v;
}
std::vector<float> listValues(const InsetNode* n) {
  std::vector<float> v;
  for (; n; n = n->next) v.insert(v.end(), {n->dx, n->dz});
  return v;
}

std::vector<size_t> differingEntries(const std::vector<float>& a, const std::vector<float>& b,
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

namespace {

std::string cells(const Lattice* L) {
  return std::to_string(L->nx) + " x " + std::to_string(L->ny) + " x " + std::to_string(L->nz);
}

// "heights: 3 of 25 differ", or "heights: 25 -> 36" when their counts differ.
std::string listLine(const char* name, const std::vector<float>& a, const std::vector<float>& b,
                     size_t width) {
  std::string s = std::string(name) + ": ";
  if (a.size() != b.size())
    return s + std::to_string(a.size() / width) + " -> " + std::to_string(b.size() / width);
  return s + std::to_string(differingEntries(a, b, width).size()) + " of " +
         std::to_string(a.size() / width) + " differ";
}

} // namespace

std::string changeLine(const LatticeChange& c, const Lattice* a, const Lattice* b) {
  if (c.oldIndex < 0)
    return "added " + std::to_string(c.newIndex) + " (id " + std::to_string(b->id) +
           "): " + cells(b) + " cells at " + triple(&b->x);
  if (c.newIndex < 0)
    return "removed " + std::to_string(c.oldIndex) + " (id " + std::to_string(a->id) +
           "): " + cells(a) + " cells at " + triple(&a->x);
  std::vector<std::string> parts;
  auto three = [&](unsigned bit, const char* name, const float* x, const float* y) {
    if (c.what & bit) parts.push_back(std::string(name) + " " + triple(x) + " -> " + triple(y));
  };
  three(changedPosition, "position", &a->x, &b->x);
  three(changedRotation, "rotation", &a->rx, &b->rx);
  three(changedCellSize, "cell size", &a->sx, &b->sx);
  if (c.what & changedCells) parts.push_back("cells " + cells(a) + " -> " + cells(b));
  if (c.what & changedHeights)
    parts.push_back(listLine("heights", listValues(a->heights), listValues(b->heights), 1));
  if (c.what & changedMinInsets)
    parts.push_back(listLine("min insets", listValues(a->minInsets), listValues(b->minInsets), 2));
  if (c.what & changedMaxInsets)
    parts.push_back(listLine("max insets", listValues(a->maxInsets), listValues(b->maxInsets), 2));
  std::string s = std::string(changeVerb(c.what)) + " " + std::to_string(c.newIndex) + " (id " +
                  std::to_string(b->id) + "): ";
  for (size_t k = 0; k < parts.size(); k++) s += (k ? "; " : "") + parts[k];
  return s;
}

std::string summaryLine(const MapDiff& d) {
  std::string s = std::to_string(d.moved) + " moved, " + std::to_string(d.reshaped) + " reshaped, ";
  if (d.both) s += std::to_string(d.both) + " moved and reshaped, ";
  s += std::to_string(d.added) + " added, " + std::to_string(d.removed) + " removed, " +
       std::to_string(d.unchanged) + " unchanged; other bytes: ";
  s += d.otherBytesSame
           ? "same"
           : "differ (the files first differ at byte " + std::to_string(d.firstDifference) + ")";
  if (!d.exactPairing) s += "; ids repeat too often to pair exactly: paired in order";
  return s;
}
