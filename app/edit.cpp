// Editing the open map in place: moving and turning the selected lattice, raising and lowering
// its heights, undo and redo, and saving the bytes that were opened with only the edited floats
// changed.
#include "edit.h"
#include "compare.h"

#include "mapfile/save.h"
#include "platform/output.h"
#include "platform/system.h"
#include "platform/matrix.h"
#include "render/numbers.h"
#include "render/placement.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace {

uint32_t bitsOf(float f) {
  uint32_t b;
  std::memcpy(&b, &f, 4);
  return b;
}

void setBits(float* f, uint32_t b) {
  std::memcpy(f, &b, 4);
}

Lattice* selectedLattice(Viewer& v) {
  return v.selected >= 0 ? const_cast<Lattice*>(latticeAt(v.lat, v.selected)) : nullptr;
}

std::string baseName(const std::string& path) {
  return path.substr(path.find_last_of("/\\") + 1);
}

// Puts the values of `s` to their `after` (or `before`, undoing) bits and shows the result.
void applyStep(Viewer& v, const EditStep& s, bool undo) {
  for (const ValueChange& c : s.values) setBits(c.value, undo ? c.before : c.after);
  if (s.shape) {
    // Only the triangles of the cells around the changed samples are made and sent again (a
    // lattice drawn immediately needs none).
    std::vector<TriangleRange> ranges;
    if (const Lattice* L = latticeAt(v.lat, s.lattice); L && s.samples.empty())
      ranges.push_back({0, faceTriangles(L)});
    else if (L)
      for (int m : s.samples) addSampleTriangles(L, m, ranges);
    mergeRanges(ranges);
    rebuildTriangles(v.scene, s.lattice, ranges);
    boundsAfterReshape(boundsOf(v), s.lattice, ranges);
  } else if (!s.values.empty()) {
    boundsAfterMove(boundsOf(v), s.lattice); // placed by its matrix: no triangle changes
  }
  if (s.conflict >= 0 && size_t(s.conflict) < v.merge.taken.size()) {
    v.merge.taken[size_t(s.conflict)] = undo ? s.takenBefore : s.takenAfter;
    setLatticeStyle(v.scene, s.lattice, mergeStyle(v, s.lattice));
  }
  v.gridFor = nullptr;         // the grid follows the heights
  v.edits.applied++;           // the map's box and the page's panel follow it
  compareEdited(v, s.lattice); // the changes include the edit
  v.redraw = true;
}

// Whether the file holds the selected lattice's floats `from` to `to` (0-8: position,
// rotation, cell size) whole; says why not when it does not, for `what` ("moved").
bool editable(Viewer& v, int from, int to, const char* what) {
  for (int k = from; k <= to; k++)
    if (!holdsFixed(*v.store, v.selected, k)) {
      sayWarning(v, std::string(programName) + ": lattice " + std::to_string(v.selected) +
                        " is not " + what + ": the file ends inside its " +
                        (k < 3 ? "position" : "rotation") + ", so the change could not be saved");
      return false;
    }
  return true;
}

} // namespace

void recordEdit(Viewer& v, EditStep s) {
  if (s.values.empty() && s.conflict < 0) return;
  if (v.edits.saved > v.edits.done.size()) v.edits.saved = SIZE_MAX; // the saved state is gone
  v.edits.undone.clear();
  say(v, s.line);
  applyStep(v, s, false);
  v.edits.done.push_back(std::move(s));
  showTitle(v);
}

namespace {

// Sets `*f` to `to` for step `s`; false, with nothing changed, when `to` is not finite.
bool change(EditStep& s, float* f, double to) {
  float now = float(to);
  if (!std::isfinite(now)) return false;
  s.values.push_back({f, bitsOf(*f), bitsOf(now)});
  *f = now;
  return true;
}

} // namespace

std::vector<std::pair<int, double>> samplesNear(const Lattice* L, const ViewerState& vs, bool brush,
                                                double x, double z) {
  const InsetNode *lo = L->minInsets, *hi = L->maxInsets;
  for (int k = 0; k < L->ny && lo && hi; k++) {
    lo = lo->next;
    hi = hi->next;
  }
  double hx = double(L->sx) * vs.horizontalScale, hz = double(L->sz) * vs.horizontalScale;
  double ex = double(L->sx) * L->nx, ez = double(L->sz) * L->nz;
  double x0 = -ex / 2 + (lo ? hx * lo->dx : 0), z0 = -ez / 2 + (lo ? hz * lo->dz : 0);
  double x1 = ex / 2 + (hi ? hx * hi->dx : 0), z1 = ez / 2 + (hi ? hz * hi->dz : 0);
  double sx = (x1 - x0) / L->nx, sz = (z1 - z0) / L->nz;
  if (!(sx != 0 && sz != 0)) return {};
  // In cells, kept near the grid (a point past it still finds its edge's samples).
  double fi = std::clamp((x - x0) / sx, -3.0, L->nx + 3.0);
  double fj = std::clamp((z - z0) / sz, -3.0, L->nz + 3.0);
  if (!brush) {
    int i = std::clamp(int(std::lround(fi)), 0, L->nx);
    int j = std::clamp(int(std::lround(fj)), 0, L->nz);
    return {{j * (L->nx + 1) + i, 1.0}};
  }
  std::vector<std::pair<int, double>> out;
  for (int j = std::max(0, int(std::ceil(fj - 2))); j <= std::min(L->nz, int(std::floor(fj + 2)));
       j++)
    for (int i = std::max(0, int(std::ceil(fi - 2))); i <= std::min(L->nx, int(std::floor(fi + 2)));
         i++) {
      double dist = std::hypot(i - fi, j - fj);
      if (dist < 2) out.push_back({j * (L->nx + 1) + i, 1 - dist / 2});
    }
  std::stable_sort(out.begin(), out.end(), [](auto& a, auto& b) { return a.second > b.second; });
  return out;
}

namespace {} // namespace

bool settleEdits(Viewer& v) {
  if (unsavedEdits(v)) {
    int answer = MessageBoxA(v.hWnd, ("Save changes to " + baseName(v.watch.name) + "?").c_str(),
                             "Unsaved changes", MB_YESNOCANCEL | MB_ICONQUESTION);
    if (answer == IDYES && !saveMap(v)) return false;
    if (answer == IDCANCEL) return false;
  }
  // A merge left with conflicts open stays unresolved (the exit status says so to git).
  int open = v.merge.out.empty() ? 0 : openConflicts(v);
  if (!open) return true;
  std::string text = std::to_string(open) + " conflict(s) of the merge into " +
                     baseName(v.merge.out) + " have no side taken. Close all the same?";
  return MessageBoxA(v.hWnd, text.c_str(), "Conflicts remain", MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void forgetEdits(Viewer& v) {
  v.edits = Edits{};
  showTitle(v);
}

void cameraKeys(const Viewer& v, unsigned char out[256]) {
  std::memcpy(out, v.key, 256);
  if (v.edits.moving)
    for (int k : {int('E'), int('D'), int('S'), int('F'), int('W'), int('R'), VK_LEFT, VK_RIGHT})
      out[k] = 0;
  if (v.key[VK_CONTROL])
    for (int k : {'E', 'D', 'S', 'F', 'W', 'R'}) out[k] = 0;
  Typing typing = helpTyping(v);
  for (int k = 0; k < 256; k++) {
    if (typing == Typing::outline && ((k >= '0' && k <= '9') || (k >= VK_LEFT && k <= VK_DOWN)))
      out[k] = 0; // the outline's keys, not held
    if (typing != Typing::off && typing != Typing::outline && typedChar(k))
      out[k] = 0; // typed into the help sheet's filter, not held
  }
}

void sculptWheel(Viewer& v, int notches) {
  for (; notches > 0; notches--) sculpt(v, 1);
  for (; notches < 0; notches++) sculpt(v, -1);
}

// The move key `key` while moving: one cell size along the view's horizontal forward, back,
// left or right, or one cell height up or down, in the world; put into the lattice's parent's
// frame.
void moveLattice(Viewer& v, int key) {
  Lattice* L = selectedLattice(v);
  if (!L || !editable(v, 0, 2, "moved")) return;
  double a = double(v.trot[Trot::yaw]) / 57.2958; // as the camera's own steps turn
  double fwd[3] = {std::sin(a), 0, -std::cos(a)}, right[3] = {std::cos(a), 0, std::sin(a)};
  double d[3] = {};
  double h = std::fabs(double(L->sx)), up = std::fabs(double(L->sy));
  for (int k = 0; k < 3; k++) {
    double f = fwd[k] * h, r = right[k] * h;
    d[k] = key == 'E' ? f : key == 'D' ? -f : key == 'F' ? r : key == 'S' ? -r : 0;
  }
  d[1] = key == 'W' ? up : key == 'R' ? -up : d[1];
  // World direction to the parent's frame: the inverse (transpose) of the turn of the parent's
  // placement, as the frames place it.
  int parent = parentIndexes(v.lat)[size_t(v.selected)];
  const Matrix turn =
      parent >= 0 ? latticePlacements(v.lat, v.vs)[size_t(parent)] : identityMatrix();
  const double* m = turn.m;
  double scale = v.vs.positionScale ? double(v.vs.positionScale) : 1;
  EditStep s{v.selected, false, {}, ""};
  float* pos[3] = {&L->x, &L->y, &L->z};
  for (int k = 0; k < 3; k++) {
    double local = (m[k * 4] * d[0] + m[k * 4 + 1] * d[1] + m[k * 4 + 2] * d[2]) / scale;
    if (local != 0 && !change(s, pos[k], double(*pos[k]) + local)) {
      for (const ValueChange& c : s.values) setBits(c.value, c.before);
      sayWarning(
          v, std::string(programName) + ": lattice " + std::to_string(v.selected) +
                 " is not moved: its position is not a finite number, or would leave the range of "
                 "a float");
      return;
    }
  }
  s.line = "moved lattice " + std::to_string(v.selected) + " to " + triple(&L->x);
  recordEdit(v, std::move(s));
}

// Left (dir -1) or Right while moving: 15 degrees about the lattice's vertical axis.
void turnLattice(Viewer& v, int dir) {
  Lattice* L = selectedLattice(v);
  if (!L || !editable(v, 4, 4, "turned")) return;
  EditStep s{v.selected, false, {}, ""};
  if (!change(s, &L->ry, double(L->ry) + dir * 15 / double(v.vs.radToDeg))) return;
  float deg[3] = {L->rx * v.vs.radToDeg, L->ry * v.vs.radToDeg, L->rz * v.vs.radToDeg};
  s.line = "turned lattice " + std::to_string(v.selected) + " to " + triple(deg) + " degrees";
  recordEdit(v, std::move(s));
}

// + (dir 1) and - (dir -1): the height sample under the pointer on the selected lattice's top
// face, or the brush around it, a tenth of a cell height up or down.
void sculpt(Viewer& v, int dir) {
  Lattice* L = selectedLattice(v);
  if (!L) {
    say(v, "select a lattice first: + and - raise and lower its heights under the pointer");
    return;
  }
  PickHit hit = pickBounded(boundsOf(v), v.trot, v.view.width, v.view.height, v.pointer.x,
                            v.pointer.y, v.hidden, v.vs.section, v.vs.ortho, v.vs.farPlane);
  if (hit.index != v.selected) {
    say(v, "point at lattice " + std::to_string(v.selected) + " to raise or lower its heights");
    return;
  }
  // The world point into the lattice's own frame: the inverse of its placement.
  Matrix place = latticePlacements(v.lat, v.vs)[size_t(v.selected)];
  double p[3], local[3];
  for (int k = 0; k < 3; k++) p[k] = hit.at[k] - place.m[12 + k];
  for (int k = 0; k < 3; k++)
    local[k] = place.m[k * 4] * p[0] + place.m[k * 4 + 1] * p[1] + place.m[k * 4 + 2] * p[2];
  std::vector<HeightNode*> nodes;
  for (HeightNode* n = L->heights; n; n = n->next) nodes.push_back(n);
  // A tenth of the cell height in the world, in sample units (the samples are drawn scaled);
  // a flat cell (height 0) steps by a tenth of a unit so + and - still act.
  double step = std::fabs(double(L->sy)) / 10;
  if (!(step > 0)) step = 0.1;
  if (v.vs.verticalScale != 0) step /= std::fabs(double(v.vs.verticalScale));
  EditStep s{v.selected, true, {}, ""};
  int first = -1;
  for (auto [m, w] : samplesNear(L, v.vs, v.edits.brush, local[0], local[2])) {
    if (size_t(m) >= nodes.size()) continue; // past what the file holds
    if (first < 0) first = m;
    s.samples.push_back(m);
    if (!change(s, &nodes[size_t(m)]->value, double(nodes[size_t(m)]->value) + dir * w * step)) {
      for (const ValueChange& c : s.values) setBits(c.value, c.before);
      sayWarning(v,
                 std::string(programName) + ": lattice " + std::to_string(v.selected) + " height " +
                     std::to_string(m) +
                     " is not a finite number, or would leave the range of a float; not changed");
      return;
    }
  }
  if (s.values.empty()) {
    say(v, "lattice " + std::to_string(v.selected) + " has no height there in its file");
    return;
  }
  const char* verb = dir > 0 ? "raised" : "lowered";
  s.line = std::string(verb) + " lattice " + std::to_string(v.selected) +
           (v.edits.brush ? " heights around " : " height ") + std::to_string(first) + " to " +
           readableNumber(nodes[size_t(first)]->value);
  recordEdit(v, std::move(s));
}

// Ctrl+Z (undo) and Ctrl+Y: the newest edit undone, or the newest undone edit done again.
void undoOrRedo(Viewer& v, bool undo) {
  Edits& e = v.edits;
  std::vector<EditStep>& from = undo ? e.done : e.undone;
  std::vector<EditStep>& to = undo ? e.undone : e.done;
  if (from.empty()) {
    say(v, undo ? "nothing to undo" : "nothing to redo");
    return;
  }
  applyStep(v, from.back(), undo);
  say(v, (undo ? "undid: " : "redid: ") + from.back().line);
  to.push_back(std::move(from.back()));
  from.pop_back();
  showTitle(v);
}

// Ctrl+S: the opened bytes with the edited floats put in, written in place of the map file
// (never half-written); asks first when the file on disk no longer holds the opened bytes.
bool saveMap(Viewer& v) {
  const std::string& name = v.watch.name;
  if (!v.lat || name.empty()) return false;
  if (!unsavedEdits(v) && v.start.windowPanels) { // a page still downloads the map
    say(v, "no changes to save");
    return true;
  }
  std::string err, disk, note;
  if (!saveTargetAllowed(name, v.opened, err)) {
    sayWarning(v, std::string(programName) + ": " + name + ": not saved: " + err);
    return false;
  }
  if (std::FILE* f = openRegularFile(name, err)) {
    char buf[1 << 16];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) disk.append(buf, n);
    std::fclose(f);
  }
  // A merge's result was made in memory: OUT must still hold what it held at the start.
  const std::vector<unsigned char>& file = v.store->file;
  std::string_view opened(reinterpret_cast<const char*>(file.data()), file.size());
  if (!v.merge.out.empty() && v.merge.out == name) opened = v.merge.outAtStart;
  bool same = disk == opened;
  if (!same &&
      MessageBoxA(v.hWnd,
                  (baseName(name) + " changed on disk since it was opened. Overwrite it?").c_str(),
                  "File changed on disk", MB_YESNO | MB_ICONEXCLAMATION) != IDYES) {
    say(v, "not saved: " + name + " changed on disk since it was opened");
    return false;
  }
  size_t dropped = 0;
  std::string bytes = savedMap(v.lat, *v.store, &dropped);
  if (dropped) err = std::to_string(dropped) + " edited value(s) lie where the file has ended";
  if (dropped || !writeFile(name, bytes, err, OutputMode::save, &v.opened, &note)) {
    sayWarning(v, std::string(programName) + ": " + name + ": not saved: " + err);
    return false;
  }
  bool created = v.merge.out == name && !v.opened.exists; // a merge's OUT made anew: no news
  if (!note.empty() && !created)
    sayWarning(v, std::string(programName) + ": " + name + ": " + note);
  v.opened = fileIdentity(name); // the saved file is the one opened from now on
  v.store->file.assign(bytes.begin(), bytes.end());
  if (v.merge.out == name) v.merge.outAtStart = bytes;
  if (!v.start.windowPanels) { // a page downloads what was saved
    v.page.savedMapName = baseName(name);
    v.page.savedMap = std::move(bytes);
    v.page.saves++;
  }
  v.edits.saved = v.edits.done.size();
  v.edits.diskSaid = false;
  watchFile(v.watch, name, fileStamp(name), GetTickCount()); // our own write is no change
  if (v.merge.out.empty())
    say(v, "saved " + name);
  else if (int open = openConflicts(v))
    say(v, "saved " + name + ": " + std::to_string(open) + " conflict(s) remain");
  else
    say(v, "saved " + name + ": no conflicts remain; close the viewer to end the merge");
  showTitle(v);
  return true;
}

void toggleMoving(Viewer& v) {
  if (!v.edits.moving && v.selected < 0) {
    say(v, "select a lattice first: M moves the selected lattice");
    return;
  }
  v.edits.moving = !v.edits.moving;
  say(v, v.edits.moving ? "moving lattice " + std::to_string(v.selected) +
                              ": E D S F W R move, Left Right turn, M ends"
                        : "moving ended");
}

void toggleBrush(Viewer& v) {
  v.edits.brush = !v.edits.brush;
  say(v, v.edits.brush ? "+ and - raise and lower a brush of two cells' radius"
                       : "+ and - raise and lower the one height under the pointer");
}
