// A viewer frame (the scene's pass and the panels') of a map of 65,535 lattices into a no-op GL,
// with the outline closed and open, scrolled to the middle and filtered: what the outline adds.
#include "app/outline.h"
#include "app/overlay.h"
#include "app/scene.h"
#include "bench_maps.h"
#include "render/retained.h"
#include "render/view_frame.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <map>

namespace {

std::map<std::string, double> best;

struct Wide {
  LoadedMap map;
  Viewer v;
  Wide() {
    MapDesc m;
    m.lattices.resize(65535);
    for (size_t i = 0; i < m.lattices.size(); i++) {
      m.lattices[i].pos[0] = float(i % 256) * 2;
      m.lattices[i].pos[2] = -float(i / 256) * 2;
    }
    for (int p = 0; p < 500; p++) // flat, but for 500 parents of one lattice each
      m.lattices[size_t(p * 64)].refs = {p * 64 + 2};
    loadBenchMap(m, map);
    v.lat = map.lat;
    v.watch.name = "wide.map";
    v.maps = 1;
    buildRetained(v.lat, v.vs, size_t(1) << 30, v.scene);
  }
};
Wide& wide() {
  static Wide w;
  return w;
}

void frame(Viewer& v) {
  ViewDraw d = sceneView(v);
  std::vector<OverlayPanel> panels;
  addPanels(v, d, panels);
  drawView(d);
}

void run(benchmark::State& st, const char* key, bool open, const char* filter) {
  Viewer& v = wide().v;
  v.outline.open = open;
  v.outline.focus = open;
  v.outline.filter = filter;
  v.selected = 32000; // the same selection panel in each
  v.outline.followed = -1;
  for (auto _ : st) {
    auto t0 = std::chrono::steady_clock::now();
    frame(v);
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (!best.count(key) || s < best[key]) best[key] = s;
  }
}

void BM_OutlineClosed(benchmark::State& st) {
  run(st, "closed", false, "");
}
void BM_OutlineOpen(benchmark::State& st) {
  run(st, "open", true, "");
}
void BM_OutlineFiltered(benchmark::State& st) {
  run(st, "filtered", true, "12");
}
// Each frame after a new filter: the 65,535 rows built again.
void BM_OutlineTyping(benchmark::State& st) {
  Viewer& v = wide().v;
  v.outline.open = v.outline.focus = true;
  int k = 0;
  for (auto _ : st) {
    v.outline.filter = k++ % 2 ? "3" : "31";
    auto t0 = std::chrono::steady_clock::now();
    frame(v);
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (!best.count("typing") || s < best["typing"]) best["typing"] = s;
  }
}

BENCHMARK(BM_OutlineClosed)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OutlineOpen)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OutlineFiltered)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OutlineTyping)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::printf("\nA frame of 65,535 lattices into a no-op GL, fastest of this run:\n");
  std::printf("outline closed: %.3f ms\n", best["closed"] * 1e3);
  for (const char* k : {"open", "filtered", "typing"})
    std::printf("outline %s: %.3f ms = %.2fx the closed frame\n", k, best[k] * 1e3,
                best[k] / best["closed"]);
  return 0;
}
