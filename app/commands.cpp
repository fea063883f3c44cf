// What the user asks of the viewer beyond flying: the selection, printing the view, fitting it,
// loading the map again, and what the mouse selects.
#include "viewer.h"

#include "selection.h"

#include "render/world.h"

#include <cstdio>

namespace {

// Home: the view keeps its pitch and yaw and frames the selected lattice, or the whole map.
void fitView(Viewer& v) {
  double depth = 0;
  fitCamera(v.lat, v.view.width, v.view.height, v.trot, depth, latticeAt(v.lat, v.selected),
            frameTriangleBudget);
}

} // namespace

std::string cameraLine(const Viewer& v) {
  using namespace Trot;
  const float* t = v.trot;
  char line[200];
  int n = std::snprintf(line, sizeof line, "--camera %.9g,%.9g,%.9g,%.9g,%.9g", t[tx], t[ty], t[tz],
                        t[pitch], t[yaw]);
  std::string s(line, size_t(n));
  if (v.view.width != 640 || v.view.height != 480)
    s += " --size " + std::to_string(v.view.width) + "x" + std::to_string(v.view.height);
  if (v.selected >= 0) s += " --select " + std::to_string(v.selected);
  return s;
}

void selectLattice(Viewer& v, int index) {
  if (index == v.selected) return;
  v.selected = index;
  v.trot[Trot::selectedLattice] = float(index >= 0 ? drawnOrdinal(v.lat, index) : 0);
  v.vs.selectionShown = index >= 0 ? 1 : 0;
  say(v, selectionLine(v.lat, index));
  std::string title = windowTitle;
  if (index >= 0) title += " - lattice " + std::to_string(index);
  SetWindowTextA(v.hWnd, title.c_str());
  v.page.selected = index;
  v.page.lattice = latticeDetails(v.lat, index);
}

void keyCommand(Viewer& v, const MSG& msg) {
  if (msg.message != WM_KEYDOWN) return;
  bool repeat = msg.lParam & (1L << 30);
  if (msg.wParam == 'P' && !repeat) say(v, cameraLine(v));
  if (msg.wParam == VK_TAB)
    selectLattice(v, stepSelection(v.lat, v.selected, v.key[VK_SHIFT] ? -1 : 1));
  if (msg.wParam == VK_BACK) selectLattice(v, -1);
  if (msg.wParam == VK_HOME) fitView(v);
  if (msg.wParam == VK_F5 && !repeat) reloadMap(v);
}

void pointerCommand(Viewer& v, const MSG& msg) {
  if (msg.message == WM_LBUTTONDOWN || msg.message == WM_RBUTTONDOWN ||
      msg.message == WM_MBUTTONDOWN)
    SetCapture(v.hWnd);
  if (pointerStep(v.pointer, msg, v.trot))
    selectLattice(v, pickLattice(v.lat, v.trot, v.view.width, v.view.height, v.pointer.x,
                                 v.pointer.y, frameTriangleBudget));
  bool up =
      msg.message == WM_LBUTTONUP || msg.message == WM_RBUTTONUP || msg.message == WM_MBUTTONUP;
  if (up && !v.pointer.turning && !v.pointer.panning) ReleaseCapture();
}
