// Writes the fuzzers' seed corpus with the container writer: every count form, marker near
// misses, cycles, huge counts, out-of-range references, truncations.
#include "mapfile/writer.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

void save(const std::string& dir, const std::string& name, const std::string& bytes) {
  std::FILE* f = std::fopen((dir + "/" + name).c_str(), "wb");
  if (!f) return;
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

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

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_seeds DIR\n");
    return 2;
  }
  std::string dir = argv[1];
  MapDesc plain;
  plain.lattices = {lattice(2, 2, 2), lattice(3, 1, 2)};
  plain.lattices[0].refs = {2};
  save(dir, "plain", bytesOf(plain));

  MapDesc wide = plain;
  wide.longCounts = true;
  wide.extraCount = 3;
  wide.strings = {"", "name", ""};
  wide.otherRecords = {"CCTNR", "CTNXCTN", ""};
  wide.lattices[1].refs = {4, 5, 6, 0, 32767};
  wide.lattices[1].skippedCounts = {200, 5};
  wide.lattices[1].skippedWords = {0x52544E43u};
  save(dir, "long-counts", bytesOf(wide));

  MapDesc cycle;
  cycle.lattices = {lattice(1, 1, 1), lattice(1, 1, 1), lattice(1, 1, 1)};
  cycle.lattices[0].refs = {2};
  cycle.lattices[1].refs = {3};
  cycle.lattices[2].refs = {1, 3};
  save(dir, "cycle", bytesOf(cycle));

  MapDesc huge;
  huge.nlatOverride = 65535;
  huge.lattices = {lattice(255, 255, 255)};
  huge.lattices[0].refs.assign(300, 32767);
  std::string h = bytesOf(huge);
  save(dir, "huge-counts", h + std::string("\xFF\xFF", 2));

  MapDesc none;
  none.withLandFrameStore = false;
  none.otherRecords = {"x"};
  save(dir, "no-lattices", bytesOf(none));

  std::string full = bytesOf(plain);
  for (size_t cut : {size_t(10), size_t(70), full.size() / 2, full.size() - 3})
    save(dir, "cut-" + std::to_string(cut), full.substr(0, cut));
  return 0;
}
