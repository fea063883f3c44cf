// The merge view: the merged map shown as any map (so edits, undo and Ctrl+S apply to it), the
// lattices coloured by origin, and each conflict's side taken as an edit of its floats.
#include "merge.h"
#include "edit.h"

#include "render/compare.h"
#include "render/numbers.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

std::string baseName(const std::string& path) {
  return path.substr(path.find_last_of("/\\") + 1);
}

// `width` floats as a user reads them: "1.5", "(1, 2)" or "(1, 2, 3)".
std::string valueText(const float* f, int width) {
  if (width == 3) return triple(f);
  char b[64];
  if (width == 1)
    std::snprintf(b, sizeof b, "%g", double(f[0]));
  else
    std::snprintf(b, sizeof b, "(%g, %g)", double(f[0]), double(f[1]));
  return b;
}

const char* sideName(int side) {
  return side == 1 ? "ours" : "theirs";
}

// The conflict's values for `side` (0 base, 1 ours, 2 theirs); null for a base it lacks.
const float* sideValues(const MergeConflict& c, int side) {
  if (c.kind != MergeConflict::value || (!c.hasBase && side == 0)) return nullptr;
  int at = c.hasBase ? side : side - 1;
  return c.values.data() + size_t(at * c.width);
}

// "conflict 2 of 3: lattice 1 (id 2) position: base (..), ours (..), theirs (..)".
std::string conflictText(const MergeView& m, size_t k) {
  const MergeConflict& c = m.conflicts[k];
  std::string at = "lattice " + std::to_string(c.lattice) + " (id " + std::to_string(c.id) + ")";
  if (c.kind == MergeConflict::structure && c.lattice < 0)
    return "both sides changed the map's structure; the result is ours";
  if (c.kind == MergeConflict::structure)
    return at + " " + c.what + ": one side changed how many there are, the other their values";
  if (c.kind == MergeConflict::removed)
    return at + " of the base: removed " + (m.startsFromTheirs ? "by theirs" : "by ours") +
           ", changed by " + (m.startsFromTheirs ? "ours" : "theirs") +
           "; the result has it removed";
  std::string s = at + " " + c.what + ": ";
  if (const float* b = sideValues(c, 0)) s += "base " + valueText(b, c.width) + ", ";
  return s + "ours " + valueText(sideValues(c, 1), c.width) + ", theirs " +
         valueText(sideValues(c, 2), c.width);
}

// The floats of the result that value conflict `c` is about, in the order of its values.
std::vector<float*> conflictFloats(Viewer& v, const MergeConflict& c) {
  Lattice* L = const_cast<Lattice*>(latticeAt(v.lat, c.lattice));
  std::vector<float*> f;
  if (!L || c.kind != MergeConflict::value) return f;
  int entry = -1;
  size_t space = c.what.rfind(' ');
  if (space != std::string::npos && std::isdigit(static_cast<unsigned char>(c.what[space + 1])))
    entry = std::atoi(c.what.c_str() + space + 1);
  if (c.what == "position" || c.what == "rotation" || c.what == "cell size") {
    float* at = &L->x + (c.what == "position" ? 0 : c.what == "rotation" ? 3 : 6);
    for (int k = 0; k < 3; k++) f.push_back(at + k);
  } else if (c.what.rfind("height ", 0) == 0) {
    HeightNode* n = L->heights;
    for (int k = 0; n && k < entry; k++) n = n->next;
    if (n) f.push_back(&n->value);
  } else {
    InsetNode* n = c.what.rfind("min inset ", 0) == 0 ? L->minInsets : L->maxInsets;
    for (int k = 0; n && k < entry; k++) n = n->next;
    if (n) f.insert(f.end(), {&n->dx, &n->dz});
  }
  if (f.size() != size_t(c.width)) f.clear();
  return f;
}

} // namespace

bool mergeNames(const std::string& line, std::string names[4]) {
  const std::string flag = "--merge";
  if (line.compare(0, flag.size(), flag) || line.size() == flag.size() ||
      !std::isspace(static_cast<unsigned char>(line[flag.size()])))
    return false;
  size_t i = flag.size();
  std::string rest;
  for (int k = 0; k < 4; k++)
    if (!nextName(line, i, names[k])) return false;
  return !nextName(line, i, rest);
}

bool startMerge(Viewer& v, const std::string names[4], LoadedMap sides[3], std::string& bytes,
                std::string& err) {
  MergeResult r = mergeMaps(sides[0], sides[1], sides[2]);
  if (r.dropped) {
    err = std::to_string(r.dropped) + " merged value(s) lie where the map's file has ended";
    return false;
  }
  MergeView& m = v.merge;
  m.out = names[3];
  for (int k = 0; k < 3; k++) m.names[k] = names[k];
  m.conflicts = std::move(r.conflicts);
  m.origins = std::move(r.origins);
  m.taken.assign(m.conflicts.size(), 0);
  m.startsFromTheirs = r.startsFromTheirs;
  bytes = std::move(r.bytes);
  return true;
}

void mergeScene(Viewer& v) {
  if (v.merge.out.empty()) return;
  for (const RetainedLattice& r : v.scene.lattices)
    setLatticeStyle(v.scene, r.index, mergeStyle(v, r.index));
  v.redraw = true;
}

void stepConflict(Viewer& v, int dir) {
  MergeView& m = v.merge;
  int n = int(m.conflicts.size());
  if (!n) {
    say(v, "no conflicts: every change of ours and theirs is merged");
    return;
  }
  m.at = m.at < 0 ? (dir > 0 ? 0 : n - 1) : (m.at + dir + n) % n;
  const MergeConflict& c = m.conflicts[size_t(m.at)];
  if (c.kind != MergeConflict::removed && c.lattice >= 0) selectLattice(v, c.lattice);
  uint8_t t = m.taken[size_t(m.at)];
  say(v, "conflict " + std::to_string(m.at + 1) + " of " + std::to_string(n) + ": " +
             conflictText(m, size_t(m.at)) + (t ? std::string(" (took ") + sideName(t) + ")" : ""));
}

void takeSide(Viewer& v, int side) {
  MergeView& m = v.merge;
  if (m.out.empty()) {
    say(v, "Alt+O and Alt+T take ours or theirs at a conflict of kelvane-viewer --merge");
    return;
  }
  int k = m.at;
  if (k < 0 || (v.selected >= 0 && m.conflicts[size_t(k)].lattice != v.selected)) {
    k = -1; // the selected lattice's first open conflict
    for (size_t j = 0; j < m.conflicts.size() && k < 0; j++)
      if (m.conflicts[j].lattice == v.selected && !m.taken[j]) k = int(j);
  }
  if (k < 0) {
    say(v, openConflicts(v) ? "N goes to a conflict first; then Alt+O or Alt+T takes a side"
                            : "no conflicts remain");
    return;
  }
  const MergeConflict& c = m.conflicts[size_t(k)];
  EditStep s;
  s.lattice = c.lattice;
  s.conflict = k;
  s.takenBefore = m.taken[size_t(k)];
  s.takenAfter = uint8_t(side);
  s.line = "conflict " + std::to_string(k + 1) + ": took " + sideName(side) + ": " +
           conflictText(m, size_t(k));
  if (c.kind == MergeConflict::value) {
    std::vector<float*> f = conflictFloats(v, c);
    const float* want = sideValues(c, side);
    for (size_t j = 0; j < f.size(); j++) {
      uint32_t before, after;
      std::memcpy(&before, f[j], 4);
      std::memcpy(&after, want + j, 4);
      s.values.push_back({f[j], before, after});
    }
    // Heights, cell sizes and insets shape the triangles; a position or rotation places them.
    s.shape = c.what != "position" && c.what != "rotation";
    if (c.what.rfind("height ", 0) == 0)
      s.samples.push_back(std::atoi(c.what.c_str() + c.what.rfind(' ') + 1));
  } else {
    // The result holds the side that changed the structure: a structure change cannot be
    // taken from the other side here.
    int held = m.startsFromTheirs ? 2 : 1;
    if (side != held) {
      say(v, std::string("taking ") + sideName(side) + " here would change the map's structure, " +
                 "which the merge view does not do: keep " + sideName(held) + " (Alt+" +
                 (held == 1 ? "O" : "T") + "), or resolve " + baseName(m.out) + " by hand");
      return;
    }
    s.lattice = c.lattice < 0 ? 0 : c.lattice;
  }
  m.at = k;
  recordEdit(v, std::move(s));
}

std::vector<std::string> mergePanelLines(const Viewer& v) {
  const MergeView& m = v.merge;
  if (m.out.empty() || v.selected < 0) return {};
  uint8_t o = size_t(v.selected) < m.origins.size() ? m.origins[size_t(v.selected)] : 0;
  o &= fromOurs | fromTheirs;
  static const char* const from[] = {"unchanged by either side", "changes from ours",
                                     "changes from theirs", "changes from both"};
  std::vector<std::string> rows{from[o]};
  for (size_t k = 0; k < m.conflicts.size(); k++) {
    const MergeConflict& c = m.conflicts[k];
    if (c.lattice != v.selected || c.kind == MergeConflict::removed) continue;
    rows.push_back("  conflict " + std::to_string(k + 1) + ": " + c.what +
                   (m.taken[k] ? std::string(", took ") + sideName(m.taken[k]) : ", open"));
    for (int side = 0; side < 3; side++)
      if (const float* f = sideValues(c, side))
        rows.push_back(std::string("    ") + (side ? sideName(side) : "base") + " " +
                       valueText(f, c.width));
  }
  return rows;
}

std::vector<std::string> mergeInfoLines(const Viewer& v) {
  const MergeView& m = v.merge;
  if (m.out.empty()) return {};
  return {"merged     " + baseName(m.names[1]) + " + " + baseName(m.names[2]) + " (base " +
              baseName(m.names[0]) + ")",
          "conflicts  " + std::to_string(openConflicts(v)) + " open of " +
              std::to_string(m.conflicts.size())};
}

void addMerge(Viewer& v, ViewDraw& d) {
  if (v.merge.out.empty()) return;
  d.old = &v.merge.none;
  d.outlined = &v.scene;
  d.outlinedIndex = v.selected;
}

int mergeStatus(const Viewer& v) {
  if (v.merge.out.empty()) return 0;
  return openConflicts(v) || unsavedEdits(v) ? 1 : 0;
}
