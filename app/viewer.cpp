// The bottom of the viewer: what it says, the selection, the hidden lattices, the camera line
// and the title, which every unit above uses.
#include "viewer.h"

#include "selection.h"

#include "mapfile/index_list.h"
#include "render/camera_text.h"
#include "render/compare.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

const char* const programName = "kelvane-viewer";

namespace {

void remember(Viewer& v, const std::string& line, bool warning) {
  std::deque<Message>& m = v.overlay.messages;
  m.push_back({line, warning, GetTickCount()});
  v.redraw = true;
  while (m.size() > messageCount) m.pop_front();
}

} // namespace

void say(Viewer& v, const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
  remember(v, line, false);
}

void sayWarning(Viewer& v, const std::string& line) {
  std::fprintf(stderr, "%s\n", line.c_str());
  remember(v, line, true);
}

bool nextName(const std::string& s, size_t& i, std::string& name) {
  while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) i++;
  if (i == s.size()) return false;
  if (s[i] == '"') {
    size_t end = s.find('"', i + 1);
    if (end == std::string::npos) return false;
    name = s.substr(i + 1, end - i - 1);
    i = end + 1;
    return !name.empty() && (i == s.size() || std::isspace(static_cast<unsigned char>(s[i])));
  }
  size_t from = i;
  while (i < s.size() && !std::isspace(static_cast<unsigned char>(s[i]))) i++;
  name = s.substr(from, i - from);
  return name.find('"') == std::string::npos;
}

LatticeStyle mergeStyle(const Viewer& v, int index) {
  const MergeView& m = v.merge;
  for (size_t k = 0; k < m.conflicts.size(); k++)
    if (m.conflicts[k].kind != MergeConflict::removed && m.conflicts[k].lattice == index &&
        !m.taken[k])
      return LatticeStyle::conflict;
  uint8_t o = size_t(index) < m.origins.size() ? m.origins[size_t(index)] : 0;
  return originStyle(o & (fromOurs | fromTheirs));
}

bool startScreen(const Viewer& v) {
  return !v.lat && v.watch.name.empty();
}

Typing helpTyping(const Viewer& v) {
  const Overlays& o = v.overlay;
  if (!o.shown || o.help == startScreen(v))
    return outlineShown(v) && v.outline.focus ? Typing::outline : Typing::off;
  return startScreen(v) ? Typing::filter : Typing::filterAndClose;
}

bool outlineShown(const Viewer& v) {
  const Overlays& o = v.overlay;
  return v.outline.open && o.shown && v.start.windowPanels && v.lat && o.help == startScreen(v);
}

int openConflicts(const Viewer& v) {
  return int(std::count(v.merge.taken.begin(), v.merge.taken.end(), 0));
}

std::vector<int> hiddenIndices(const Viewer& v) {
  std::vector<int> out;
  int i = 0;
  for (const Lattice* L = v.lat; L && size_t(i) < v.hidden.size(); L = L->next, i++)
    if (L->id && v.hidden[size_t(i)]) out.push_back(i);
  return out;
}

std::string cameraLine(const Viewer& v) {
  std::string s = cameraText(v.trot);
  if (v.view.width != 640 || v.view.height != 480)
    s += " --size " + std::to_string(v.view.width) + "x" + std::to_string(v.view.height);
  if (v.selected >= 0) s += " --select " + std::to_string(v.selected);
  std::vector<int> hidden = hiddenIndices(v);
  if (!hidden.empty()) s += " --hide " + formatIndexList(hidden);
  if (v.vs.section.keeps != SectionKeeps::all) {
    s += ' ';
    s += sectionText(v.vs.section);
  }
  if (v.vs.ortho > 0) {
    s += ' ';
    s += orthoText(v.vs.ortho);
  }
  if (v.vs.farPlane > 0) {
    s += ' ';
    s += farText(v.vs.farPlane);
  }
  if (!v.compare.name.empty()) {
    // A page's old map lives in its memory: the line names the file the user chose.
    std::string old = v.start.windowPanels
                          ? v.compare.name
                          : v.compare.name.substr(v.compare.name.find_last_of('/') + 1);
    bool blank = old.find_first_of(" \t") != std::string::npos;
    s += blank ? " --compare \"" + old + '"' : " --compare " + old;
  }
  return s;
}

void selectLattice(Viewer& v, int index) {
  if (index == v.selected) return;
  v.selected = index;
  v.trot[Trot::selectedLattice] = float(index >= 0 ? drawnOrdinal(v.lat, index) : 0);
  v.vs.selectionShown = index >= 0 ? 1 : 0;
  say(v, selectionLine(v.lat, index));
  showTitle(v);
  if (v.edits.moving) { // moving ends with the lattice it moved
    v.edits.moving = false;
    say(v, "moving ended");
  }
}

bool unsavedEdits(const Viewer& v) {
  return v.edits.done.size() != v.edits.saved;
}

void showTitle(Viewer& v) {
  std::string title = unsavedEdits(v) ? std::string("*") + windowTitle : windowTitle;
  if (v.folderCount)
    title += " - " + std::to_string(v.folderAt) + " of " + std::to_string(v.folderCount);
  if (v.selected >= 0) title += " - lattice " + std::to_string(v.selected);
  SetWindowTextA(v.hWnd, title.c_str());
}

void stripQuotes(char* text) {
  char* out = text;
  for (char* p = text; *p; p++)
    if (*p != '"') *out++ = *p;
  *out = 0;
}

// Hides the lattices `hide` says (by list index; all others shown), in the scene too, and says
// how many are hidden now.
void setHidden(Viewer& v, std::vector<bool> hide) {
  if (hide == v.hidden) return;
  v.hidden = std::move(hide);
  hideLattices(v.scene, v.hidden);
  std::vector<int> now = hiddenIndices(v);
  say(v, "hidden " + std::to_string(now.size()) + " of " + std::to_string(drawnCount(v.lat)) +
             " lattices");
}

// Hides or shows the one lattice at `index`; a hidden lattice is no longer selected.
void hideOne(Viewer& v, int index, bool hide) {
  std::vector<bool> now = v.hidden;
  now.resize(size_t(latticeCount(v.lat)), false);
  now[size_t(index)] = hide;
  if (hide && index == v.selected) selectLattice(v, -1);
  setHidden(v, now);
}

// H hides the selected lattice (and clears the selection); Shift+H hides every drawn lattice
// but the selected one; Alt+H shows all again.
void hideCommand(Viewer& v, bool shift, bool alt) {
  if (alt) {
    setHidden(v, {});
    return;
  }
  if (v.selected < 0) return;
  if (!shift) {
    hideOne(v, v.selected, true);
    return;
  }
  std::vector<bool> hide = v.hidden;
  hide.resize(size_t(latticeCount(v.lat)), false);
  int i = 0;
  for (const Lattice* L = v.lat; L; L = L->next, i++)
    if (L->id && i != v.selected) hide[size_t(i)] = true;
  setHidden(v, hide);
}
