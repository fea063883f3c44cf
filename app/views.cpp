// Orthographic and axis views: numpad 5 (Alt+5) switches between the perspective projection
// and an orthographic one fitted to the scene; numpad 7 / 1 / 3 (Alt+7 / 1 / 3) look from the
// top / front / right, with Ctrl from the bottom / back / left, framed as Home frames.
#include "views.h"
#include "compare.h"
#include "section.h"

#include "render/view.h"

#include <algorithm>
#include <cstdio>

namespace {

// The axis views' pitch and yaw, by action.
struct AxisView {
  Action action;
  float pitch, yaw;
  const char* from;
};
const AxisView axisViews[] = {
    {Action::viewTop, 90, 0, "the top"},      {Action::viewBottom, -90, 0, "the bottom"},
    {Action::viewFront, 0, 0, "the front"},   {Action::viewBack, 0, 180, "the back"},
    {Action::viewRight, 0, -90, "the right"}, {Action::viewLeft, 0, 90, "the left"},
};

// Frames the selection, or what is shown, orthographically from the view's pitch and yaw;
// false, the view unchanged, when nothing is drawn.
bool frameOrtho(Viewer& v) {
  float trot[Trot::size], half = 0;
  std::copy(v.trot, v.trot + Trot::size, trot);
  const Lattice* only = latticeAt(v.lat, v.selected);
  FitAlso removed = removedLattices(v);
  if (!fitOrtho(v.lat, v.view.width, v.view.height, trot, half, only, v.start.frameTriangles,
                v.hidden, &removed))
    return false;
  std::copy(trot, trot + Trot::size, v.trot);
  v.vs.ortho = half;
  return true;
}

void sayOrtho(Viewer& v, const char* what) {
  char line[160];
  // The half-height, the one quantity P prints as --ortho H.
  std::snprintf(line, sizeof line,
                "%s, orthographic, half-height %.9g (--ortho; numpad 5: perspective)", what,
                double(v.vs.ortho));
  say(v, line);
}

} // namespace

void viewAction(Viewer& v, Action a) {
  if (a == Action::toggleOrtho) {
    if (v.vs.ortho > 0) {
      v.vs.ortho = 0;
      say(v, "perspective view");
    } else if (frameOrtho(v)) {
      sayOrtho(v, "the view");
    }
    v.redraw = true;
    return;
  }
  for (const AxisView& view : axisViews)
    if (view.action == a) {
      float pitch = v.trot[Trot::pitch], yaw = v.trot[Trot::yaw];
      v.trot[Trot::pitch] = view.pitch;
      v.trot[Trot::yaw] = view.yaw;
      if (!frameOrtho(v)) { // nothing drawn: the view stays as it was
        v.trot[Trot::pitch] = pitch;
        v.trot[Trot::yaw] = yaw;
        say(v, "nothing drawn to look at");
        return;
      }
      sayOrtho(v, (std::string("from ") + view.from).c_str());
      v.redraw = true;
    }
}

bool fitOrthoView(Viewer& v) {
  return v.vs.ortho > 0 && frameOrtho(v);
}

void frameProjection(Viewer& v, ViewDraw& d) {
  d.width = v.view.width;
  d.height = v.view.height;
  if (v.vs.ortho > 0 && mapBox(v, d.box)) {
    d.projection = Projection::orthographic;
    d.ortho = v.vs.ortho;
    v.orthoProjected = true;
  } else if (v.orthoProjected || v.vs.farPlane > 0 || v.projectedFar > 0) {
    // A pushed far plane is set every frame (a resize sets the plain one), and the plain one
    // once when it comes back.
    d.projection = Projection::perspective;
    d.farPlane = v.vs.farPlane;
    v.orthoProjected = false;
    v.projectedFar = v.vs.farPlane;
  }
}

// Home: the view keeps its yaw, looks down at least 10 degrees, and frames the selected
// lattice, or what is shown; a scene deeper than the plain view pushes its far plane out.
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
  v.vs.farPlane = fittedFar(depth); // deeper than the plain view: pushed out to hold it all
}

void orbitPivot(Viewer& v, int x, int y, double pivot[3]) {
  PickHit hit = pickBounded(boundsOf(v), v.trot, v.view.width, v.view.height, x, y, v.hidden,
                            v.vs.section, v.vs.ortho, v.vs.farPlane);
  SceneBox box;
  if (hit.index >= 0) {
    std::copy(hit.at, hit.at + 3, pivot);
    return;
  }
  const Lattice* L = latticeAt(v.lat, v.selected);
  if ((L && worldBox(v.lat, box, L, v.start.frameTriangles)) || mapBox(v, box)) {
    for (int k = 0; k < 3; k++) pivot[k] = (box.lo[k] + box.hi[k]) / 2;
    return;
  }
  for (int k = 0; k < 3; k++) pivot[k] = -double(v.trot[Trot::tx + k]);
}
