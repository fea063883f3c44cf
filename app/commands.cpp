// What the user asks of the viewer beyond flying: the selection, printing the view, fitting it,
// loading the map again, and what the mouse selects.
#include "viewer.h"

#include "selection.h"

#include "mapfile/index_list.h"
#include "platform/messages.h"
#include "render/frame.h"
#include "render/camera_text.h"
#include "render/world.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>

namespace {

// Home: the view keeps its yaw, looks down at least 10 degrees, and frames the selected
// lattice, or what is shown. A scene deeper than the view reaches is said once a map.
void fitView(Viewer& v) {
  if (v.vs.ortho > 0) {
    fitOrthoView(v);
    return;
  }
  double depth = 0;
  float trot[Trot::size];
  std::copy(v.trot, v.trot + Trot::size, trot);
  trot[Trot::pitch] = homePitch(trot[Trot::pitch]);
  // Worked on a copy: running out of memory midway leaves the view as it was.
  FitAlso removed = removedLattices(v);
  if (!fitCamera(v.lat, v.view.width, v.view.height, trot, depth, latticeAt(v.lat, v.selected),
                 v.start.frameTriangles, v.hidden, &removed))
    return;
  std::copy(trot, trot + Trot::size, v.trot);
  if (depth > 1000 && !v.farSaid) {
    v.farSaid = true;
    char line[200];
    std::snprintf(line, sizeof line,
                  "the scene is %.0f units deep from this view; the view ends at 1000 units, so "
                  "the part beyond is not drawn",
                  depth);
    sayWarning(v, line);
  }
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

// A page's Escape: leaves what the user is in, one thing a press, the help sheet (drawn over
// everything) first, then moving, the measurement, the selection. It never stops the viewer.
void leaveMode(Viewer& v) {
  if (v.overlay.help)
    v.overlay.help = false;
  else if (v.edits.moving)
    editAction(v, Action::moveMode, 0);
  else if (v.measure.count)
    clearMeasurement(v);
  else if (v.selected >= 0 || v.compare.at >= 0) {
    selectLattice(v, -1);
    leaveChange(v);
  }
}

} // namespace

void pageCommand(Viewer& v, const MSG& msg) {
  if (msg.message != pageAskMessage) return;
  if (msg.wParam == pagePicture) {
    takePicture(v);
    return;
  }
  if (msg.wParam == pageSaveMap) {
    editAction(v, Action::saveMap, 0);
    return;
  }
  if (msg.wParam == pageFlight) {
    std::unique_ptr<std::string> name(reinterpret_cast<std::string*>(msg.lParam));
    if (!openDroppedFlight(v, *name)) sayWarning(v, *name + ": not a keyframe file");
    return;
  }
  int index = int(msg.lParam);
  const Lattice* L = latticeAt(v.lat, index);
  if (!L || !L->id) return; // the page's outline is of an earlier map
  switch (msg.wParam) {
  case pageSelect:
  case pageSelectFit:
    if (flagged(v.hidden, size_t(index))) hideOne(v, index, false);
    selectLattice(v, index);
    if (msg.wParam == pageSelectFit) fitView(v);
    break;
  case pageHide:
  case pageShow:
    hideOne(v, index, msg.wParam == pageHide);
    break;
  default:
    break;
  }
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

void printView(Viewer& v) {
  v.printed.line = cameraLine(v);
  v.printed.camera = cameraText(v.trot).substr(9); // the numbers after "--camera "
  v.printed.selected = v.selected;
  v.printed.hidden = formatIndexList(hiddenIndices(v));
  v.printed.section = viewLink(v.vs);
  v.printed.count++;
  // A page shows the view in its own line and link, from the page view.
  if (v.start.windowPanels) say(v, v.printed.line);
}

void runAction(Viewer& v, Action a, int key) {
  switch (a) {
  case Action::printView:
    printView(v);
    break;
  case Action::selectNext:
  case Action::selectPrevious:
    selectLattice(v, stepSelection(v.lat, v.selected, a == Action::selectNext ? 1 : -1, v.hidden));
    break;
  case Action::selectParent:
  case Action::selectChild:
    if (v.selected >= 0) {
      int to = a == Action::selectParent ? parentSelection(v.lat, v.selected, v.hidden)
                                         : childSelection(v.lat, v.selected, v.hidden);
      if (to >= 0) selectLattice(v, to);
    }
    break;
  case Action::clearSelection:
    selectLattice(v, -1);
    clearMeasurement(v);
    leaveChange(v);
    break;
  case Action::nextChange:
  case Action::previousChange:
    stepChange(v, a == Action::nextChange ? 1 : -1);
    break;
  case Action::hideSelected:
  case Action::hideOthers:
  case Action::showAll:
    hideCommand(v, a == Action::hideOthers, a == Action::showAll);
    break;
  case Action::toggleGrid:
    if (v.selected >= 0) v.grid = !v.grid;
    break;
  case Action::fit:
    fitView(v);
    break;
  case Action::reload:
    if (settleEdits(v)) reloadMap(v); // a map that loads forgets the edits
    break;
  case Action::moveMode:
  case Action::moveLattice:
  case Action::turnLattice:
  case Action::raiseHeight:
  case Action::lowerHeight:
  case Action::toggleBrush:
  case Action::undoEdit:
  case Action::redoEdit:
  case Action::saveMap:
    editAction(v, a, key);
    break;
  case Action::savePicture:
    takePicture(v);
    break;
  case Action::cutBelow:
  case Action::cutAbove:
    cutScene(v, a == Action::cutBelow ? SectionKeeps::below : SectionKeeps::above);
    break;
  case Action::cutDown:
  case Action::cutUp:
    moveCut(v, a == Action::cutUp ? 1 : -1);
    break;
  case Action::toggleOrtho:
  case Action::viewTop:
  case Action::viewBottom:
  case Action::viewFront:
  case Action::viewBack:
  case Action::viewRight:
  case Action::viewLeft:
    viewAction(v, a);
    break;
  case Action::toggleHelp:
  case Action::toggleInfo:
  case Action::togglePanels:
    toggleOverlay(v.overlay, a);
    break;
  case Action::leaveMode:
    leaveMode(v);
    break;
  case Action::addKeyframe:
  case Action::playFlight:
  case Action::printFlight:
  case Action::forgetFlight:
    flightAction(v, a);
    break;
  case Action::recallKeyframe:
    recallKeyframe(v, key - '0');
    break;
  default: // held and pointer actions have their own paths
    break;
  }
}

void keyCommand(Viewer& v, const MSG& msg) {
  KeyPress k = decodeKeyPress(msg, v.key);
  if (!k.key) return;
  if (v.edits.moving) k.mods |= modMoving;
  Action a = lookUpAction(k.key, k.mods, k.repeat, bindingsHere(v));
  bool stops = v.playing && msg.message == WM_KEYDOWN && !k.repeat;
  bool flightKey = a == Action::addKeyframe || a == Action::playFlight ||
                   a == Action::printFlight || a == Action::forgetFlight;
  if (!(stops && flightKey)) runAction(v, a, k.key);
  if (stops) stopFlight(v, "flight stopped");
}

void pointerCommand(Viewer& v, const MSG& msg) {
  if (msg.message == WM_LBUTTONDOWN || msg.message == WM_RBUTTONDOWN ||
      msg.message == WM_MBUTTONDOWN)
    SetCapture(v.hWnd);
  bool ctrl = (msg.wParam & MK_CONTROL) || v.key[VK_CONTROL];
  if (msg.message == WM_MOUSEWHEEL && ctrl &&
      lookUpAction(inputWheel, modCtrl, false, bindingsHere(v)) == Action::cutWheel) {
    if (v.vs.section.keeps == SectionKeeps::all) return; // no cut: no zoom either
    v.pointer.wheel += GET_WHEEL_DELTA_WPARAM(msg.wParam);
    int notches = v.pointer.wheel / 120;
    v.pointer.wheel -= notches * 120;
    if (notches) moveCut(v, notches);
    return;
  }
  bool shift = (msg.wParam & MK_SHIFT) || v.key[VK_SHIFT];
  if (msg.message == WM_MOUSEWHEEL && shift && !ctrl &&
      lookUpAction(inputWheel, modShift, false, bindingsHere(v)) == Action::sculptWheel) {
    v.pointer.wheel += GET_WHEEL_DELTA_WPARAM(msg.wParam);
    int notches = v.pointer.wheel / 120;
    v.pointer.wheel -= notches * 120;
    if (notches) sculptWheel(v, notches);
    return;
  }
  if (pointerStep(v.pointer, msg, v.trot)) {
    if (lookUpAction(inputClick, ctrl ? modCtrl : 0, false, bindingsHere(v)) ==
        Action::measurePoint)
      measureAt(v, v.pointer.x, v.pointer.y);
    else
      selectLattice(v, pickLattice(v.lat, v.trot, v.view.width, v.view.height, v.pointer.x,
                                   v.pointer.y, v.start.frameTriangles, v.hidden, v.vs.section,
                                   v.vs.ortho));
  }
  bool up =
      msg.message == WM_LBUTTONUP || msg.message == WM_RBUTTONUP || msg.message == WM_MBUTTONUP;
  if (up && !v.pointer.turning && !v.pointer.panning) ReleaseCapture();
}
