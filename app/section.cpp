// The section: C cuts the scene at a horizontal plane and hides what lies above it (Shift+C:
// below); [ and ] move the plane; C again removes it.
#include "section.h"
#include "compare.h"

#include "render/camera_text.h"
#include "render/world.h"

#include <cstdio>

namespace {

// The lowest and highest height of the whole map.
bool mapHeights(Viewer& v, double& lo, double& hi) {
  SceneBox box;
  if (!mapBox(v, box)) return false;
  lo = box.lo[1];
  hi = box.hi[1];
  return true;
}

void sayCut(Viewer& v) {
  const Section& s = v.vs.section;
  char line[160];
  std::snprintf(line, sizeof line, "section at %.9g: %s hidden ([ ] move it, C removes it)",
                double(s.y), s.keeps == SectionKeeps::below ? "above" : "below");
  say(v, line);
  v.redraw = true;
}

// Where a new cut goes: the point under the pointer, else the selected lattice's middle, else
// the map's.
bool cutHeight(Viewer& v, double& y) {
  PickHit hit = pickBounded(boundsOf(v), v.trot, v.view.width, v.view.height, v.pointer.x,
                            v.pointer.y, v.hidden, {}, v.vs.ortho, v.vs.farPlane);
  double lo, hi;
  SceneBox box;
  if (hit.index >= 0)
    y = hit.at[1];
  else if (const Lattice* L = latticeAt(v.lat, v.selected);
           L && worldBox(v.lat, box, L, v.start.frameTriangles))
    y = (box.lo[1] + box.hi[1]) / 2;
  else if (mapHeights(v, lo, hi))
    y = (lo + hi) / 2;
  else
    return false;
  return true;
}

} // namespace

bool mapBox(Viewer& v, SceneBox& box) {
  if (v.boxFor != v.maps || v.boxEdits != v.edits.applied || !v.lat) {
    v.boxFor = v.maps;
    v.boxEdits = v.edits.applied;
    // The shown map's box from its lattices' chunk boxes (kept up with the edits), then the
    // comparison's removed lattices (few, and never edited).
    FitAlso removed = removedLattices(v);
    SceneBox old;
    bool mine = boundedWorldBox(boundsOf(v), v.box);
    bool theirs =
        removed.lat && worldBox(removed.lat, old, nullptr, v.start.frameTriangles, removed.hidden);
    if (theirs && !mine) v.box = old;
    for (int a = 0; a < 3 && theirs && mine; a++) {
      v.box.lo[a] = std::min(v.box.lo[a], old.lo[a]);
      v.box.hi[a] = std::max(v.box.hi[a], old.hi[a]);
    }
    v.boxKnown = mine || theirs;
  }
  box = v.box;
  return v.boxKnown;
}

void cutScene(Viewer& v, SectionKeeps keeps) {
  Section& s = v.vs.section;
  if (s.keeps != SectionKeeps::all && keeps == SectionKeeps::below) { // C again
    s.keeps = SectionKeeps::all;
    say(v, "section removed");
    v.redraw = true;
    return;
  }
  if (s.keeps != SectionKeeps::all) { // Shift+C on a cut: the other side
    s.keeps = s.keeps == SectionKeeps::below ? SectionKeeps::above : SectionKeeps::below;
    sayCut(v);
    return;
  }
  double y;
  if (!cutHeight(v, y)) {
    say(v, "nothing drawn to cut");
    return;
  }
  s = {keeps, float(y)};
  sayCut(v);
}

void moveCut(Viewer& v, int steps) {
  Section& s = v.vs.section;
  double lo, hi;
  if (s.keeps == SectionKeeps::all || !mapHeights(v, lo, hi)) return;
  double step = hi > lo ? (hi - lo) / 10 : 1;
  s.y = float(double(s.y) + steps * step);
  sayCut(v);
}
