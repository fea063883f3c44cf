// Maps and shared timings for the frame benchmarks.
#include "bench_maps.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {
const char* timesFile = "frame-times.txt"; // in the benchmark's working directory
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
