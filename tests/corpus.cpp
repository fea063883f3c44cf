// The corpus of map files the tests run over.
#include "corpus.h"

#include "test_maps.h"
#include "tools/toolkit.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace {

std::string readAll(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

} // namespace

// A map with a bit of everything the reader skips or keeps: strings, other records, tails,
// skipped words and counts, both count forms, signalling and quiet NaNs with payloads.
MapDesc variedMap(unsigned seed) {
  std::mt19937 rng(seed);
  auto pick = [&](int n) { return int(rng() % unsigned(n)); };
  MapDesc m;
  m.longCounts = seed % 2;
  m.extraCount = pick(4);
  for (int s = pick(4); s > 0; s--)
    m.strings.push_back(std::string(size_t(pick(6)), 'a' + char(s)));
  for (int r = pick(3); r > 0; r--) m.otherRecords.push_back(std::string(size_t(pick(9)), 'r'));
  for (int l = 1 + pick(4); l > 0; l--) {
    LatticeRecord L = box(1 + pick(5), 1 + pick(3), 1 + pick(5), pick(3));
    for (int i = 0; i < (L.nx + 1) * (L.nz + 1); i++) {
      uint32_t bits = pick(7) == 0 ? 0x7F800001u + rng() % 0x3FFFFF : 0;
      float h = float(pick(100)) / 7;
      if (bits) std::memcpy(&h, &bits, 4);
      L.heights.push_back(h);
    }
    for (int k = pick(3); k > 0; k--) {
      L.minInsets.push_back({float(pick(9)) / 3, -float(pick(9)) / 5});
      L.maxInsets.push_back({-float(pick(9)) / 3, float(pick(9)) / 5});
    }
    L.pos[0] = float(pick(50)) - 25.5f;
    L.rot[1] = float(pick(7)) / 3;
    L.tail = std::string(size_t(pick(5)), 'T');
    L.skippedWords.assign(size_t(pick(3)), rng());
    L.skippedCounts.assign(size_t(pick(3)), 130);
    m.lattices.push_back(L);
  }
  return m;
}

// The corpus: the fuzzers' seeds, the hostile maps and the make-map examples of the
// repository, the demo and varied generated maps.
std::vector<SeedFile> corpus() {
  std::vector<SeedFile> maps = seedFiles();
  std::filesystem::path data = std::filesystem::path(KELVANE_SOURCE_DIR) / "tests" / "data";
  for (const auto& e : std::filesystem::directory_iterator(data / "hostile"))
    maps.push_back({e.path().filename().string(), readAll(e.path())});
  for (const char* name : {"box.json", "side.json"}) {
    MapDesc m;
    std::string err;
    EXPECT_TRUE(mapFromJson(readAll(data / name), m, err)) << name << ": " << err;
    maps.push_back({name, mapBytes(m)});
  }
  maps.push_back({"demo", mapBytes(demoMap())});
  for (unsigned s = 0; s < 20; s++)
    maps.push_back({"varied " + std::to_string(s), mapBytes(variedMap(s))});
  return maps;
}
