// Maps and shared timings for the frame benchmarks.
#include "bench_maps.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {
const char* timesFile = "frame-times.txt"; // in the benchmark's working directory
}

MapDesc bigFrameMap() {
  MapDesc m;
  for (int i = 0; i < 8; i++) {
    LatticeRecord L;
    L.nx = L.nz = 255;
    L.ny = 1;
    L.pos[0] = float(i % 4) * 300 - 450;
    L.pos[2] = float(i / 4) * -300 - 200;
    // A height list holds at most 32767 values: the first half of the grid's rows roll, the
    // rest read 0.
    for (int s = 0; s < 32767; s++)
      L.heights.push_back(float(std::sin(s / 256 * 0.1) + std::cos(s % 256 * 0.2)));
    m.lattices.push_back(std::move(L));
  }
  return m;
}

void loadBenchMap(const MapDesc& desc, LoadedMap& map) {
  std::string err;
  if (!loadDescribed(desc, map, err)) {
    std::fprintf(stderr, "benchmark map: %s\n", err.c_str());
    std::exit(1);
  }
}

void saveFrameTime(const std::string& name, double seconds) {
  std::ofstream(timesFile, std::ios::app) << name << ' ' << seconds << '\n';
}

bool loadFrameTime(const std::string& name, double& seconds) {
  std::ifstream in(timesFile);
  std::string n;
  double s;
  bool found = false;
  while (in >> n >> s)
    if (n == name) {
      seconds = s;
      found = true;
    }
  return found;
}
