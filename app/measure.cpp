// Points, distances and cells: the world point under the pointer for the info panel, the
// measurement Ctrl+click (or a long press) sets, and G's cell grid of the selected lattice.
#include "measure.h"

#include "render/marks.h"
#include "render/numbers.h"
#include "render/world.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

// The point under the pointer is looked for at most this often (ms), and only in scenes of at
// most this many triangles: a pick reads every triangle, and the frames must keep coming.
constexpr DWORD hoverEvery = 100;
constexpr size_t hoverTriangles = 2'000'000;

// "(X, Y, Z)", appended piece by piece (one long sum of strings trips a false -Wrestrict in
// the cross compiler).
std::string pointText(const double* p) {
  std::string s = "(";
  s += readableNumber(p[0]);
  s += ", ";
  s += readableNumber(p[1]);
  s += ", ";
  s += readableNumber(p[2]);
  s += ")";
  return s;
}

} // namespace

namespace {

// B's distance from A ("distance D") and its parts along the axes ("dx DX, dy DY, dz DZ").
std::string distanceFromA(const Measurement& m, std::string& parts) {
  double d[3] = {m.at[1][0] - m.at[0][0], m.at[1][1] - m.at[0][1], m.at[1][2] - m.at[0][2]};
  parts = "dx ";
  parts += readableNumber(d[0]);
  parts += ", dy ";
  parts += readableNumber(d[1]);
  parts += ", dz ";
  parts += readableNumber(d[2]);
  return "distance " + readableNumber(std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]));
}

} // namespace

std::string measureLine(const Measurement& m) {
  if (m.count == 0) return "";
  std::string s = m.count == 1 ? "point A " : "point B ";
  s += pointText(m.at[m.count - 1]);
  s += " on lattice ";
  s += std::to_string(m.lattice[m.count - 1]);
  if (m.count < 2) return s;
  std::string parts;
  s += ": ";
  s += distanceFromA(m, parts);
  s += " (";
  s += parts;
  s += ")";
  return s;
}

std::vector<std::string> measurePanelLines(const Measurement& m) {
  if (m.count == 0) return {};
  std::vector<std::string> lines = {"measurement"};
  for (int i = 0; i < m.count; i++)
    lines.push_back(std::string(i ? "B  " : "A  ") + pointText(m.at[i]) + " on lattice " +
                    std::to_string(m.lattice[i]));
  if (m.count == 2) {
    std::string parts;
    lines.push_back(distanceFromA(m, parts));
    lines.push_back("   " + parts);
  }
  return lines;
}

void measureAt(Viewer& v, int x, int y) {
  PickHit h = pickBounded(boundsOf(v), v.trot, v.view.width, v.view.height, x, y, v.hidden,
                          v.vs.section, v.vs.ortho, v.vs.farPlane);
  if (h.index < 0) return; // the background: no point
  Measurement& m = v.measure;
  if (m.count == 2) m = {};
  std::memcpy(m.at[m.count], h.at, sizeof h.at);
  m.lattice[m.count++] = h.index;
  std::string line = measureLine(m);
  say(v, line);
}

void clearMeasurement(Viewer& v) {
  v.measure = {};
}

namespace {

bool hoverMoved(const Viewer& v) {
  const Pointer& p = v.pointer;
  return p.x != v.hoverX || p.y != v.hoverY || std::memcmp(v.trot, v.hoverTrot, sizeof v.hoverTrot);
}

bool hoverFollowed(const Viewer& v) {
  return v.overlay.info && v.overlay.shown && v.triangles <= hoverTriangles;
}

} // namespace

void hoverCommand(Viewer& v) {
  if (!hoverFollowed(v)) return;
  DWORD now = GetTickCount();
  if (v.hoverLooked && (!hoverMoved(v) || DWORD(now - v.hoverAt) < hoverEvery)) return;
  v.hover = pickBounded(boundsOf(v), v.trot, v.view.width, v.view.height, v.pointer.x, v.pointer.y,
                        v.hidden, v.vs.section, v.vs.ortho, v.vs.farPlane);
  v.hoverX = v.pointer.x;
  v.hoverY = v.pointer.y;
  std::memcpy(v.hoverTrot, v.trot, sizeof v.hoverTrot);
  v.hoverAt = now;
  v.hoverLooked = true;
  v.redraw = true;
}

DWORD hoverWait(const Viewer& v, DWORD now) {
  if (!hoverFollowed(v) || (v.hoverLooked && !hoverMoved(v))) return INFINITE;
  DWORD since = now - v.hoverAt;
  return since >= hoverEvery ? 0 : hoverEvery - since;
}

std::string pointerRow(const Viewer& v) {
  if (v.triangles > hoverTriangles) return "not followed in a scene of over 2 M triangles";
  if (!v.hoverLooked || v.hover.index < 0) return "-";
  return pointText(v.hover.at) + " on lattice " + std::to_string(v.hover.index);
}

void addMarks(Viewer& v, ViewDraw& d) {
  const Lattice* L = v.grid ? latticeAt(v.lat, v.selected) : nullptr;
  if (L) {
    if (v.gridFor != L) {
      v.gridLines = latticeGridLines(L, v.vs);
      v.gridFor = L;
    }
    d.gridOf = L;
    d.grid = &v.gridLines;
  }
  d.points = v.measure.at;
  d.pointCount = v.measure.count;
}
