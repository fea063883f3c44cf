// Headless frames through EGL and the real GL driver, for the demo map and the
// 2-million-triangle map, and our own share of each frame (the same frame into a no-op GL,
// measured by bench_frame just before in the same `make bench`).
#include "bench_maps.h"
#include "platform/gl.h"
#include "platform/headless.h"
#include "render/frame.h"
#include "render/overlay.h"
#include "render/retained.h"
#include "render/view.h"
#include "render/world.h"
#include "tools/toolkit.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <map>

namespace {

std::map<std::string, double> best;

// How a benchmark frame is drawn: triangle by triangle, from client arrays, or from buffer
// objects (where the driver has them).
enum class Path { immediate, client, buffers };

// The most the viewer's overlay shows at once: the info panel, a selection's panel, a
// measurement and four messages (the help sheet shows alone).
std::vector<OverlayPanel> fullOverlay() {
  auto panel = [](PanelKind k, int lines, int chars) {
    OverlayPanel p;
    p.kind = k;
    for (int i = 0; i < lines; i++) p.lines.push_back({std::string(size_t(chars), char('A' + i))});
    return p;
  };
  return {panel(PanelKind::info, 8, 40), panel(PanelKind::selection, 9, 30),
          panel(PanelKind::measure, 5, 38), panel(PanelKind::messages, 4, 70)};
}

// Frames of `desc` at camera `trot`, drawn along `path`, with `panels` over them.
void frames(benchmark::State& st, const MapDesc& desc, const std::string& key, Path path,
            const float* trot, const std::vector<OverlayPanel>& panels = {}) {
  LoadedMap map;
  loadBenchMap(desc, map);
  HeadlessContext ctx;
  std::string err;
  if (!openHeadless(ctx, 640, 480, err)) {
    st.SkipWithError(err.c_str());
    return;
  }
  glEnable(GL_DEPTH_TEST);
  viewProjection(640, 480);
  RetainedScene scene;
  buildRetained(map.lat, ViewerState{}, path == Path::immediate ? 0 : size_t(1) << 30, scene);
  if (path == Path::buffers && !uploadRetained(scene, glProc)) {
    st.SkipWithError("the driver has no buffer objects");
    closeHeadless(ctx);
    return;
  }
  unsigned texture = 0;
  for (auto _ : st) {
    auto t0 = std::chrono::steady_clock::now();
    drawRetainedFrame(scene, trot, ViewerState{});
    drawOverlay(panels, 640, 480, texture);
    glFinish();
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (!best.count(key) || s < best[key]) best[key] = s;
  }
  releaseRetained(scene);
  closeHeadless(ctx);
  st.counters["frames/s"] = benchmark::Counter(1, benchmark::Counter::kIsIterationInvariantRate);
}

// The retained arrays of `desc` drawn lattice by lattice from buffer objects at the fitted view
// (render --fit's), with the colours as the scene keeps them (4 bytes a vertex) or, as they
// were kept before, as 3 floats a vertex: the same triangles, the same pixels.
constexpr GLenum arrayBuffer = 0x8892, staticDraw = 0x88E4; // OpenGL 1.5's names

void colourFormat(benchmark::State& st, const MapDesc& desc, const std::string& key, bool floats) {
  LoadedMap map;
  loadBenchMap(desc, map);
  HeadlessContext ctx;
  std::string err;
  GlBufferCalls gl;
  if (!openHeadless(ctx, 640, 480, err) || !findBufferObjects(glProc, gl)) {
    st.SkipWithError(err.empty() ? "the driver has no buffer objects" : err.c_str());
    return;
  }
  glEnable(GL_DEPTH_TEST);
  viewProjection(640, 480);
  RetainedScene scene;
  buildRetained(map.lat, ViewerState{}, size_t(1) << 30, scene);
  float trot[Trot::size] = {0, 0, 0, 30, -45};
  double depth = 0;
  fitCamera(map.lat, 640, 480, trot, depth);
  std::vector<float> rgb;
  if (floats)
    for (size_t i = 0; i < scene.rgba.size(); i++)
      if (i % 4 != 3) rgb.push_back(float(scene.rgba[i]) / 255);
  GLuint b[2];
  gl.genBuffers(2, b);
  gl.bindBuffer(arrayBuffer, b[0]);
  gl.bufferData(arrayBuffer, ptrdiff_t(scene.xyz.size() * 4), scene.xyz.data(), staticDraw);
  glVertexPointer(3, GL_FLOAT, 0, nullptr);
  gl.bindBuffer(arrayBuffer, b[1]);
  if (floats)
    gl.bufferData(arrayBuffer, ptrdiff_t(rgb.size() * 4), rgb.data(), staticDraw);
  else
    gl.bufferData(arrayBuffer, ptrdiff_t(scene.rgba.size()), scene.rgba.data(), staticDraw);
  if (floats)
    glColorPointer(3, GL_FLOAT, 0, nullptr);
  else
    glColorPointer(4, GL_UNSIGNED_BYTE, 0, nullptr);
  gl.bindBuffer(arrayBuffer, 0);
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_COLOR_ARRAY);
  for (auto _ : st) {
    auto t0 = std::chrono::steady_clock::now();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    beginPlacements(scene.placements);
    for (const RetainedLattice& r : scene.lattices) {
      loadPlacement(scene.placements, r.index, trot, ViewerState{});
      glDrawArrays(GL_TRIANGLES, r.first, r.count);
    }
    glFinish();
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (!best.count(key) || s < best[key]) best[key] = s;
  }
  glDisableClientState(GL_VERTEX_ARRAY);
  glDisableClientState(GL_COLOR_ARRAY);
  gl.deleteBuffers(2, b);
  st.counters["bytes/triangle"] =
      double(floats ? scene.xyz.size() * 4 + rgb.size() * 4 : scene.bytes) /
      double(scene.vertices / 3);
  closeHeadless(ctx);
  st.counters["frames/s"] = benchmark::Counter(1, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_HeadlessBigFittedFloatColours(benchmark::State& st) {
  colourFormat(st, bigFrameMap(), "big-fitted-floats", true);
}
void BM_HeadlessBigFittedByteColours(benchmark::State& st) {
  colourFormat(st, bigFrameMap(), "big-fitted-bytes", false);
}

const float start[Trot::size] = {};
const float away[Trot::size] = {0, 0, -2000, 0, 180}; // every lattice behind the eye

void BM_HeadlessDemo(benchmark::State& st) {
  frames(st, demoMap(), "demo", Path::immediate, start);
}
void BM_HeadlessDemoRetained(benchmark::State& st) {
  frames(st, demoMap(), "demo-retained", Path::buffers, start);
}
void BM_HeadlessDemoOverlay(benchmark::State& st) {
  frames(st, demoMap(), "demo-overlay", Path::buffers, start, fullOverlay());
}
void BM_HeadlessBig(benchmark::State& st) {
  frames(st, bigFrameMap(), "big", Path::immediate, start);
}
void BM_HeadlessBigClientArrays(benchmark::State& st) {
  frames(st, bigFrameMap(), "big-client", Path::client, start);
}
void BM_HeadlessBigRetained(benchmark::State& st) {
  frames(st, bigFrameMap(), "big-retained", Path::buffers, start);
}
void BM_HeadlessBigAway(benchmark::State& st) {
  frames(st, bigFrameMap(), "big-away", Path::immediate, away);
}
void BM_HeadlessBigAwayRetained(benchmark::State& st) {
  frames(st, bigFrameMap(), "big-away-retained", Path::buffers, away);
}

BENCHMARK(BM_HeadlessDemo)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_HeadlessDemoRetained)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_HeadlessDemoOverlay)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_HeadlessBig)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_HeadlessBigClientArrays)->Unit(benchmark::kMillisecond)->Iterations(8);
BENCHMARK(BM_HeadlessBigRetained)->Unit(benchmark::kMillisecond)->Iterations(8);
BENCHMARK(BM_HeadlessBigFittedFloatColours)->Unit(benchmark::kMillisecond)->Iterations(8);
BENCHMARK(BM_HeadlessBigFittedByteColours)->Unit(benchmark::kMillisecond)->Iterations(8);
BENCHMARK(BM_HeadlessBigAway)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_HeadlessBigAwayRetained)->Unit(benchmark::kMillisecond)->Iterations(10);

} // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::printf("\nHeadless frames, fastest of this run, and our code's share of them:\n");
  for (const char* key : {"demo", "big", "big-retained"}) {
    double ours = 0;
    if (!best.count(key)) continue;
    std::printf("%-5s %.2f ms a frame (%.1f frames/s)", key, best[key] * 1e3, 1 / best[key]);
    if (loadFrameTime(key, ours))
      std::printf(", our code %.2f ms = %.1f%% of the frame", ours * 1e3, 100 * ours / best[key]);
    std::printf("\n");
  }
  auto ratio = [](const char* what, const char* a, const char* b) {
    if (best.count(a) && best.count(b)) std::printf("%s: %.2f\n", what, best[a] / best[b]);
  };
  std::printf("\nImmediate / retained frame time, this run:\n");
  ratio("demo map, start camera", "demo", "demo-retained");
  ratio("2.1 M-triangle map, start camera", "big", "big-retained");
  ratio("2.1 M-triangle map, turned away from every lattice", "big-away", "big-away-retained");
  std::printf("\nColours as 3 floats a vertex / as 4 bytes, frame time at the fitted view (goal "
              "above 1; 72 against 48 bytes a triangle), this run:\n");
  ratio("2.1 M-triangle map", "big-fitted-floats", "big-fitted-bytes");
  std::printf("\nRetained frame from buffer objects against client arrays (frames/s ratio, goal "
              "0.95 or more), this run:\n");
  ratio("2.1 M-triangle map, start camera", "big-client", "big-retained");
  if (best.count("demo-overlay") && best.count("demo-retained"))
    std::printf(
        "\nThe overlay pass (help, info, selection, four messages) over the demo: %.2f ms a "
        "frame; frame with it / without: %.2f\n",
        (best["demo-overlay"] - best["demo-retained"]) * 1e3,
        best["demo-overlay"] / best["demo-retained"]);
  return 0;
}
