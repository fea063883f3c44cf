// Headless frames through EGL and the real GL driver, for the demo map and the
// 2-million-triangle map, and our own share of each frame (the same frame into a no-op GL,
// measured by bench_frame just before in the same `make bench`).
#include "bench_maps.h"
#include "platform/headless.h"
#include "render/frame.h"
#include "render/gl.h"
#include "render/view.h"
#include "tools/toolkit.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <map>

namespace {

std::map<std::string, double> best;

void frames(benchmark::State& st, const MapDesc& desc, const std::string& key) {
  LoadedMap map;
  std::string err;
  loadDescribed(desc, map, err);
  HeadlessContext ctx;
  if (!openHeadless(ctx, 640, 480, err)) {
    st.SkipWithError(err.c_str());
    return;
  }
  glEnable(GL_DEPTH_TEST);
  viewProjection(640, 480);
  float trot[Trot::size] = {};
  for (auto _ : st) {
    auto t0 = std::chrono::steady_clock::now();
    drawFrame(map.lat, trot, ViewerState{});
    glFinish();
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (!best.count(key) || s < best[key]) best[key] = s;
  }
  closeHeadless(ctx);
  st.counters["frames/s"] = benchmark::Counter(1, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_HeadlessDemo(benchmark::State& st) {
  frames(st, demoMap(), "demo");
}
void BM_HeadlessBig(benchmark::State& st) {
  frames(st, bigFrameMap(), "big");
}

BENCHMARK(BM_HeadlessDemo)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_HeadlessBig)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::printf("\nHeadless frames, fastest of this run, and our code's share of them:\n");
  for (const char* key : {"demo", "big"}) {
    double ours = 0;
    if (!best.count(key)) continue;
    std::printf("%-5s %.2f ms a frame (%.1f frames/s)", key, best[key] * 1e3, 1 / best[key]);
    if (loadFrameTime(key, ours))
      std::printf(", our code %.2f ms = %.1f%% of the frame", ours * 1e3, 100 * ours / best[key]);
    std::printf("\n");
  }
  return 0;
}
