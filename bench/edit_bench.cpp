// Edits of the 2.1 M-triangle map timed from the key to the line it prints and to the frame that
// shows it (glFinish), against the median frame with nothing changed: the viewer's own code on
// the real driver through headless EGL, the window calls answered by the window double; plain,
// in compare mode and in the orthographic top view.
#include "app/compare.h"
#include "app/edit.h"
#include "app/overlay.h"
#include "app/scene.h"
#include "app/views.h"
#include "bench_maps.h"
#include "platform/gl.h"
#include "platform/headless.h"
#include "render/view.h"
#include "render/view_frame.h"
#include "tests/doubles/win_double.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double since(Clock::time_point t) {
  return std::chrono::duration<double>(Clock::now() - t).count();
}

void frame(Viewer& v) {
  ViewDraw d = sceneView(v);
  std::vector<OverlayPanel> panels;
  addPanels(v, d, panels);
  drawView(d);
  glFinish();
}

double median(std::vector<double> t) {
  std::sort(t.begin(), t.end());
  return t[t.size() / 2];
}

struct Timed {
  std::vector<double> plain, line, shown; // the frame before each key, the key's line and frame
};

// `rounds` presses of `key` (the edit, then its frame), each after a plain frame.
Timed press(Viewer& v, int rounds, const std::function<void()>& key) {
  Timed t;
  for (int r = 0; r < rounds; r++) {
    auto t0 = Clock::now();
    frame(v);
    t.plain.push_back(since(t0));
    t0 = Clock::now();
    key();
    t.line.push_back(since(t0));
    frame(v);
    t.shown.push_back(since(t0));
  }
  return t;
}

void report(const char* what, const Timed& t) {
  auto mm = [](std::vector<double> x) {
    std::sort(x.begin(), x.end());
    static char s[64];
    std::snprintf(s, sizeof s, "%.1f/%.1f/%.1f", x.front() * 1e3, x[x.size() / 2] * 1e3,
                  x.back() * 1e3);
    return std::string(s);
  };
  std::fprintf(stderr,
               "  %-9s key to line %s ms, to frame %s ms; plain frame %s ms: %.2fx (goal 1.5)\n",
               what, mm(t.line).c_str(), mm(t.shown).c_str(), mm(t.plain).c_str(),
               median(t.shown) / median(t.plain));
}

} // namespace

int main() {
  HeadlessContext ctx;
  std::string err;
  if (!openHeadless(ctx, 640, 480, err)) {
    std::fprintf(stderr, "bench_edit: %s\n", err.c_str());
    return 1;
  }
  fs::path dir = fs::temp_directory_path() / ("kelvane-edit-" + std::to_string(getpid()));
  fs::create_directories(dir);
  std::string bytes;
  if (!writeMap(bigFrameMap(), bytes, err)) {
    std::fprintf(stderr, "bench_edit: %s\n", err.c_str());
    return 1;
  }
  for (const char* name : {"old.map", "big.map"})
    std::ofstream(dir / name, std::ios::binary) << bytes;
  int out = dup(1); // the lines the edits print go nowhere
  if (!std::freopen("/dev/null", "w", stdout)) return 1;
  std::fprintf(stderr, "Edits of the 2.1 M-triangle map, min/median/max of 5 in this run, "
                       "headless EGL:\n");
  const int rounds = 5;
  for (int mode = 0; mode < 3; mode++) {
    winDoubleReset();
    Viewer v;
    v.view.width = 640;
    v.view.height = 480;
    std::string line = mode == 1 ? "--compare \"" + (dir / "old.map").string() + "\" \"" +
                                       (dir / "big.map").string() + "\""
                                 : (dir / "big.map").string();
    if (!openStartMap(v, line.c_str())) {
      std::fprintf(stderr, "bench_edit: %s does not open\n", line.c_str());
      return 1;
    }
    glViewport(0, 0, 640, 480); // as the window's first size sets them
    viewProjection(640, 480);
    if (mode == 2) viewAction(v, Action::viewTop);
    // The pointer on the lattice nearest the middle of the view (from the start view the
    // lattices lie level with the eye, a band across the middle).
    int best = -1, bx = 0, by = 0;
    for (int y = 0; y < 480; y += 2)
      for (int x = 0; x < 640; x += 16) {
        int d = (x - 320) * (x - 320) + (y - 240) * (y - 240);
        if (best >= 0 && d >= (bx - 320) * (bx - 320) + (by - 240) * (by - 240)) continue;
        if (pickBounded(boundsOf(v), v.trot, 640, 480, x, y, v.hidden, {}, v.vs.ortho,
                        v.vs.farPlane)
                .index < 0)
          continue;
        best = 0;
        bx = x;
        by = y;
      }
    v.pointer.x = bx;
    v.pointer.y = by;
    if (best >= 0)
      selectLattice(v, pickBounded(boundsOf(v), v.trot, 640, 480, bx, by, v.hidden, {}, v.vs.ortho,
                                   v.vs.farPlane)
                           .index);
    if (v.selected < 0) {
      std::fprintf(stderr, "bench_edit: no lattice at the middle of the view\n");
      return 1;
    }
    std::fprintf(stderr, "%s:\n",
                 mode == 0   ? "perspective"
                 : mode == 1 ? "compare mode"
                             : "orthographic top view");
    report("+", press(v, rounds, [&] { sculpt(v, 1); }));
    v.edits.brush = true;
    report("brush +", press(v, rounds, [&] { sculpt(v, 1); }));
    v.edits.brush = false;
    toggleMoving(v);
    report("M then E", press(v, rounds, [&] { moveLattice(v, 'E'); }));
    toggleMoving(v);
    report("undo", press(v, rounds, [&] { undoOrRedo(v, true); }));
  }
  std::fflush(stdout);
  dup2(out, 1);
  closeHeadless(ctx);
  fs::remove_all(dir);
  return 0;
}
