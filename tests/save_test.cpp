// Maps written back over their own bytes: unedited, byte for byte; edited, only inside the
// floats edited; read from memory, a file or a pipe alike.
#include "corpus.h"
#include "mapfile/save.h"
#include "test_maps.h"
#include "tools/toolkit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace {

TEST(Save, EveryMapWrittenBackUneditedIsTheSameFile) {
  int loaded = 0;
  for (const SeedFile& f : corpus()) {
    LoadedMap map;
    loadMapBytes(f.bytes, map);
    if (map.rep.status != LoadStatus::loaded) {
      EXPECT_TRUE(map.store.file.empty()) << f.name; // nothing kept of what did not load
      continue;
    }
    loaded++;
    EXPECT_TRUE(savedMap(map.lat, map.store) == f.bytes) << f.name;
    // An edit of the last lattice's height (y) that the file holds: its 4 bytes and no other;
    // put back, the file again.
    Lattice* L = latticesOf(map.lat).back();
    uint64_t y = map.store.offsets.back().fixed + 4;
    if (!map.store.offsets.back().fixed || y + 4 > f.bytes.size()) continue;
    float was = L->y;
    L->y = std::isfinite(was) && was != 7.25f ? 7.25f : 1.5f;
    std::string out = savedMap(map.lat, map.store);
    ASSERT_EQ(out.size(), f.bytes.size()) << f.name;
    for (size_t b = 0; b < out.size(); b++)
      EXPECT_TRUE(out[b] == f.bytes[b] || (b >= y && b < y + 4)) << f.name << " byte " << b;
    L->y = was;
    EXPECT_TRUE(savedMap(map.lat, map.store) == f.bytes) << f.name;
  }
  EXPECT_GE(loaded, 30);
}

// Each kind of editable value, changed, moves exactly its own four bytes.
TEST(Save, AnEditChangesOnlyTheBytesOfTheFloatsEdited) {
  std::string bytes = mapBytes(variedMap(3));
  LoadedMap map;
  loadMapBytes(bytes, map);
  ASSERT_EQ(map.rep.status, LoadStatus::loaded);
  Lattice* L = latticesOf(map.lat).back();
  ASSERT_TRUE(L->heights && L->heights->next);
  struct Edit {
    float* value;
    uint64_t at;
  };
  const ValueOffsets& at = map.store.offsets.back();
  std::vector<Edit> edits = {{&L->y, at.fixed + 4},
                             {&L->rz, at.fixed + 20},
                             {&L->sx, at.fixed + 24},
                             {&L->heights->next->value, at.heights + 4}};
  if (L->minInsets) edits.push_back({&L->minInsets->dz, at.minInsets + 4});
  if (L->maxInsets) edits.push_back({&L->maxInsets->dx, at.maxInsets});
  for (const Edit& e : edits) {
    float was = *e.value;
    *e.value = 1234.5f;
    std::string out = savedMap(map.lat, map.store);
    ASSERT_EQ(out.size(), bytes.size());
    for (size_t b = 0; b < bytes.size(); b++) {
      bool inside = b >= e.at && b < e.at + 4;
      EXPECT_TRUE(out[b] == bytes[b] || inside) << "byte " << b;
    }
    float put;
    std::memcpy(&put, out.data() + e.at, 4);
    EXPECT_EQ(put, 1234.5f);
    *e.value = was;
  }
  EXPECT_TRUE(savedMap(map.lat, map.store) == bytes);
}

// A map larger than the reader's block, from a file and from a pipe: every byte kept, once (a
// regular file takes one allocation of its size).
TEST(Save, FilesAndPipesAreKeptWhole) {
  MapDesc m = variedMap(5);
  LatticeRecord big = box(180, 1, 180);
  big.heights.assign(181 * 181, 0.5f);
  for (int k = 0; k < 20; k++) m.lattices.push_back(big);
  m.lattices.back().tail = "the end";
  std::string bytes = mapBytes(m);
  ASSERT_GT(bytes.size(), size_t(2) << 20);
  std::string path = testing::TempDir() + "/kept.map";
  std::FILE* f = std::fopen(path.c_str(), "wb");
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  LoadedMap file;
  loadMap(path, file);
  ASSERT_EQ(file.rep.status, LoadStatus::loaded);
  EXPECT_TRUE(savedMap(file.lat, file.store) == bytes);
  EXPECT_LE(file.store.file.capacity(), bytes.size() + 1);

  LoadedMap piped;
  piped.lat = newLattice(piped.store);
  std::FILE* p = popen(("cat " + path).c_str(), "r");
  piped.rep = loadLandFramesFromStream(p, piped.lat, piped.store);
  pclose(p);
  ASSERT_EQ(piped.rep.status, LoadStatus::loaded);
  EXPECT_TRUE(savedMap(piped.lat, piped.store) == bytes);
  std::remove(path.c_str());
}

} // namespace
