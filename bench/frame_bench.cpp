// One frame of a 2-million-triangle map: geometry alone (collected for export) against the
// GL emitter calling a no-op GL, in triangles per second.
#include "bench_maps.h"
#include "render/frame.h"
#include "render/retained.h"
#include "tools/toolkit.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <map>

namespace {

std::map<std::string, double> best;

struct Big {
  LoadedMap map;
  long triangles = 0;
  Big() {
    loadBenchMap(bigFrameMap(), map);
    for (Lattice* L = map.lat; L; L = L->next)
      triangles += 4L * L->nx * L->nz + 4L * L->ny * (L->nx + L->nz);
  }
};
Big& big() {
  static Big b;
  return b;
}

void keep(const std::string& key, std::chrono::steady_clock::time_point t0) {
  double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  if (!best.count(key) || s < best[key]) best[key] = s;
}

void BM_Geometry(benchmark::State& st) {
  std::vector<Triangle> tris;
  tris.reserve(size_t(big().triangles));
  FaceTables ft;
  for (auto _ : st) {
    auto t0 = std::chrono::steady_clock::now();
    tris.clear();
    CollectEmitter e{&tris};
    for (Lattice* L = big().map.lat; L; L = L->next) drawLatticeFaces(L, ViewerState{}, ft, e);
    benchmark::DoNotOptimize(tris.data());
    keep("geometry", t0);
  }
  st.counters["triangles/s"] =
      benchmark::Counter(double(big().triangles), benchmark::Counter::kIsIterationInvariantRate);
}

void BM_GlFrame(benchmark::State& st) {
  float trot[Trot::size] = {};
  FaceTables ft;
  for (auto _ : st) {
    auto t0 = std::chrono::steady_clock::now();
    drawFrame(big().map.lat, trot, ViewerState{}, ft);
    keep("gl", t0);
  }
  st.counters["triangles/s"] =
      benchmark::Counter(double(big().triangles), benchmark::Counter::kIsIterationInvariantRate);
}

void BM_GlFrameDemo(benchmark::State& st) {
  LoadedMap demo;
  loadBenchMap(demoMap(), demo);
  float trot[Trot::size] = {};
  FaceTables ft;
  for (auto _ : st) {
    auto t0 = std::chrono::steady_clock::now();
    drawFrame(demo.lat, trot, ViewerState{}, ft);
    keep("demo", t0);
  }
}

// The retained frame into a no-op GL: our own CPU time per frame once the arrays exist.
void BM_RetainedFrame(benchmark::State& st) {
  RetainedScene scene;
  buildRetained(big().map.lat, ViewerState{}, size_t(1) << 30, scene);
  float trot[Trot::size] = {};
  for (auto _ : st) {
    auto t0 = std::chrono::steady_clock::now();
    drawRetainedFrame(scene, trot, ViewerState{});
    keep("retained", t0);
  }
}

BENCHMARK(BM_Geometry)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_GlFrame)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_GlFrameDemo)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RetainedFrame)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::remove("frame-times.txt");
  saveFrameTime("big", best["gl"]);
  saveFrameTime("demo", best["demo"]);
  saveFrameTime("big-retained", best["retained"]);
  std::printf("\n%ld triangles a frame. Fastest frames, this run:\n", big().triangles);
  std::printf("geometry only (collected): %.1f ms, %.1f M triangles/s\n", best["geometry"] * 1e3,
              big().triangles / best["geometry"] / 1e6);
  std::printf("GL emitter into a no-op GL: %.1f ms, %.1f M triangles/s\n", best["gl"] * 1e3,
              big().triangles / best["gl"] / 1e6);
  std::printf("GL emitter / geometry only: %.2f\n", best["gl"] / best["geometry"]);
  std::printf("retained frame into a no-op GL: %.3f ms = %.2f%% of the immediate frame's\n",
              best["retained"] * 1e3, 100 * best["retained"] / best["gl"]);
  return 0;
}
