// The dispatcher: each action the binding table names runs here, as do the page's requests and
// what the mouse does; the work itself is the units'.
#include "commands.h"
#include "compare.h"
#include "edit.h"
#include "flight.h"
#include "measure.h"
#include "merge.h"
#include "outline.h"
#include "overlay.h"
#include "page_view.h"
#include "picture.h"
#include "scene.h"
#include "section.h"
#include "views.h"

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

// A page's Escape: leaves what the user is in, one thing a press, the help sheet (drawn over
// everything) first, then moving, the measurement, the selection. It never stops the viewer.
void leaveMode(Viewer& v) {
  if (v.overlay.help)
    closeHelp(v);
  else if (v.edits.moving)
    toggleMoving(v);
  else if (v.measure.count)
    clearMeasurement(v);
  else if (v.selected >= 0 || v.compare.at >= 0) {
    selectLattice(v, -1);
    leaveChange(v);
  }
}

} // namespace

void pageCommand(Viewer& v, const Input& in) {
  if (in.message == pageAskMessage) runAction(v, in.action, in.arg, in.name);
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

void runAction(Viewer& v, Action a, int key, const std::string& name) {
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
    v.merge.at = -1;
    break;
  case Action::nextChange:
  case Action::previousChange:
    if (!v.merge.out.empty())
      stepConflict(v, a == Action::nextChange ? 1 : -1);
    else
      stepChange(v, a == Action::nextChange ? 1 : -1);
    break;
  case Action::helpType:
    typeInHelp(v, key);
    break;
  case Action::closeHelp:
    closeHelp(v);
    break;
  case Action::toggleOutline:
    toggleOutline(v);
    break;
  case Action::outlineType:
  case Action::outlineUp:
  case Action::outlineDown:
  case Action::outlineFold:
  case Action::outlineUnfold:
  case Action::outlineFrame:
  case Action::outlineHide:
  case Action::outlineLeave:
    outlineKey(v, a, key);
    break;
  case Action::nextMap:
  case Action::previousMap:
    stepFolder(v, a == Action::nextMap ? 1 : -1);
    break;
  case Action::takeOurs:
  case Action::takeTheirs:
    takeSide(v, a == Action::takeOurs ? 1 : 2);
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
    if (!v.merge.out.empty()) // loading OUT would end the merge and lose its conflicts
      say(v, "F5 does not load " + v.merge.out + " again in the merge view: Ctrl+S writes it");
    else if (settleEdits(v))
      reloadMap(v); // a map that loads forgets the edits
    break;
  case Action::openMap:
    openChosenMap(v);
    break;
  case Action::moveMode:
    toggleMoving(v);
    break;
  case Action::moveLattice:
    moveLattice(v, key);
    break;
  case Action::turnLattice:
    turnLattice(v, key == VK_LEFT ? -1 : 1);
    break;
  case Action::raiseHeight:
  case Action::lowerHeight:
    sculpt(v, a == Action::raiseHeight ? 1 : -1);
    break;
  case Action::toggleBrush:
    toggleBrush(v);
    break;
  case Action::undoEdit:
  case Action::redoEdit:
    undoOrRedo(v, a == Action::undoEdit);
    break;
  case Action::saveMap:
    saveMap(v);
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
    v.overlay.help = !v.overlay.help;
    v.overlay.helpFilter.clear();
    break;
  case Action::toggleInfo:
    v.overlay.info = !v.overlay.info;
    break;
  case Action::toggleAxes:
    v.overlay.axes = !v.overlay.axes;
    break;
  case Action::togglePanels:
    v.overlay.shown = !v.overlay.shown;
    break;
  case Action::leaveMode:
    leaveMode(v);
    break;
  case Action::addKeyframe:
    addKeyframe(v);
    break;
  case Action::playFlight:
    startFlight(v);
    break;
  case Action::printFlight:
    sayFlight(v);
    break;
  case Action::forgetFlight:
    forgetFlight(v);
    break;
  case Action::recallKeyframe:
    recallKeyframe(v, key - '0');
    break;
  case Action::pageSelect:
  case Action::pageSelectFit:
    if (drawnOrdinal(v.lat, key) < 0) break; // the page's outline is of an earlier map
    if (flagged(v.hidden, size_t(key))) hideOne(v, key, false);
    selectLattice(v, key);
    if (a == Action::pageSelectFit) fitView(v);
    break;
  case Action::pageHide:
  case Action::pageShow:
    if (drawnOrdinal(v.lat, key) >= 0) hideOne(v, key, a == Action::pageHide);
    break;
  case Action::openFlight:
    if (!openDroppedFlight(v, name)) sayWarning(v, name + ": not a keyframe file");
    break;
  default: // held and pointer actions have their own paths
    break;
  }
}

void keyCommand(Viewer& v, const Input& in) {
  if (!in.key) return;
  Action a = in.action;
  bool stops = v.playing && in.message == WM_KEYDOWN && !in.repeat;
  bool flightKey = a == Action::addKeyframe || a == Action::playFlight ||
                   a == Action::printFlight || a == Action::forgetFlight;
  if (!(stops && flightKey)) runAction(v, a, in.arg); // the key, or the character typed
  if (stops) stopFlight(v, "flight stopped");
}

void pointerCommand(Viewer& v, const MSG& msg) {
  if (outlinePointer(v, msg)) return;
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
  bool alt = v.key[VK_MENU] != 0;
  int wheelSteps =
      msg.message == WM_MOUSEWHEEL && alt &&
              lookUpAction(inputWheel, modAlt, false, bindingsHere(v)) == Action::wheelFast
          ? fastSteps
          : 1;
  bool orbits = msg.message == WM_MBUTTONDOWN ||
                (msg.message == WM_LBUTTONDOWN && shift && !v.pointer.orbiting);
  if (orbits) orbitPivot(v, GET_X_LPARAM(msg.lParam), GET_Y_LPARAM(msg.lParam), v.pointer.pivot);
  MSG m = msg;
  if (msg.message == WM_LBUTTONDOWN && shift) m.wParam |= MK_SHIFT;
  if (pointerStep(v.pointer, m, v.trot, wheelSteps)) {
    if (lookUpAction(inputClick, ctrl ? modCtrl : 0, false, bindingsHere(v)) ==
        Action::measurePoint)
      measureAt(v, v.pointer.x, v.pointer.y);
    else
      selectLattice(v, pickBounded(boundsOf(v), v.trot, v.view.width, v.view.height, v.pointer.x,
                                   v.pointer.y, v.hidden, v.vs.section, v.vs.ortho, v.vs.farPlane)
                           .index);
  }
  bool up =
      msg.message == WM_LBUTTONUP || msg.message == WM_RBUTTONUP || msg.message == WM_MBUTTONUP;
  if (up && !v.pointer.turning && !v.pointer.panning && !v.pointer.orbiting) ReleaseCapture();
}
