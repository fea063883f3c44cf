// The fuzzers' seed corpus, made with the container writer: every count form, marker near
// misses, cycles, huge counts, out-of-range references, truncations.
#include "seeds.h"

#include "mapfile/writer.h"

#include <cstdio>

namespace {

// The file for a seed description; the seeds hold only values the format can encode.
std::string bytesOf(const MapDesc& m) {
  std::string bytes, err;
  if (!writeMap(m, bytes, err)) std::fprintf(stderr, "make_seeds: %s\n", err.c_str());
  return bytes;
}

LatticeRecord lattice(int nx, int ny, int nz) {
  LatticeRecord L;
  L.nx = nx;
  L.ny = ny;
  L.nz = nz;
  for (int i = 0; i < (nx + 1) * (nz + 1) && i < maxVarCount; i++)
    L.heights.push_back(float(i % 3));
  for (int k = 0; k <= ny && k < 255; k++) { // an inset list holds 255 levels at most
    L.minInsets.push_back({0.25f * k, 0.1f * k});
    L.maxInsets.push_back({-0.25f * k, 0});
  }
  return L;
}

} // namespace

std::vector<SeedFile> seedFiles() {
  std::vector<SeedFile> seeds;
  MapDesc plain;
  plain.lattices = {lattice(2, 2, 2), lattice(3, 1, 2)};
  plain.lattices[0].refs = {2};
  seeds.push_back({"plain", bytesOf(plain)});

  MapDesc wide = plain;
  wide.longCounts = true;
  wide.extraCount = 3;
  wide.strings = {"", "name", ""};
  wide.otherRecords = {"CCTNR", "CTNXCTN", ""};
  wide.lattices[1].refs = {4, 5, 6, 0, 32767};
  wide.lattices[1].skippedCounts = {200, 5};
  wide.lattices[1].skippedWords = {0x52544E43u};
  seeds.push_back({"long-counts", bytesOf(wide)});

  MapDesc cycle;
  cycle.lattices = {lattice(1, 1, 1), lattice(1, 1, 1), lattice(1, 1, 1)};
  cycle.lattices[0].refs = {2};
  cycle.lattices[1].refs = {3};
  cycle.lattices[2].refs = {1, 3};
  seeds.push_back({"cycle", bytesOf(cycle)});

  MapDesc huge;
  huge.nlatOverride = 65535;
  huge.lattices = {lattice(255, 255, 255)};
  huge.lattices[0].refs.assign(300, 32767);
  std::string h = bytesOf(huge);
  seeds.push_back({"huge-counts", h + std::string("\xFF\xFF", 2)});

  MapDesc none;
  none.withLandFrameStore = false;
  none.otherRecords = {"x"};
  seeds.push_back({"no-lattices", bytesOf(none)});

  std::string full = bytesOf(plain);
  for (size_t cut : {size_t(10), size_t(70), full.size() / 2, full.size() - 3})
    seeds.push_back({"cut-" + std::to_string(cut), full.substr(0, cut)});
  return seeds;
}
