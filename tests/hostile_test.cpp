// Maps built to hurt: absurd counts in tiny files, very long parent chains, the largest
// lattice, non-finite numbers everywhere. Each must load and draw without a crash, with
// memory bounded by 4 MiB + 4 x the file size + one Lattice record per lattice, and with a
// warning wherever data was refused.
#include "doubles/gl_double.h"
#include "render/frame.h"
#include "render/placement.h"
#include "test_maps.h"
#include "tools/toolkit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>

namespace {

size_t bound(const std::string& bytes, size_t lattices) {
  return (4u << 20) + 4 * bytes.size() + lattices * sizeof(Lattice);
}

void drawAll(const Lattice* lat) {
  glDoubleReset();
  glDouble.record = false;
  float trot[10] = {};
  drawFrame(lat, trot);
  glDouble.record = true;
}

TEST(Hostile, TinyFileClaimingEverything) {
  MapDesc m;
  m.nlatOverride = m.recordCountOverride = 65535;
  LatticeRecord L = box(255, 255, 255);
  L.refs.assign(32767, 70000 % 32768); // each names a lattice far down the list
  m.lattices = {L};
  std::string bytes = writeMap(m);
  bytes.resize(bytes.size() - 32767); // the references stop after about half of them
  Loaded l;
  loadBytes(bytes, l);
  EXPECT_EQ(latticesOf(l.lat).size(), 65535u);
  EXPECT_LE(l.store.bytes, bound(bytes, 65535));
  ASSERT_FALSE(l.rep.warnings.empty());
  EXPECT_NE(l.rep.warnings.back().find("file ends inside lattice record 0"), std::string::npos);
  drawAll(l.lat); // one 255-cube; the zeroed rest is not drawn
  EXPECT_EQ(glDouble.vertices, 3L * (4 * 255 * 255 + 4 * 255 * 510));
}

TEST(Hostile, CountsAskingForGigabytes) {
  // Every lattice claims 32767 heights and 255 insets per list, and the file has none.
  MapDesc m;
  m.nlatOverride = m.recordCountOverride = 65535;
  m.lattices = {box(1, 1, 1)};
  std::string bytes = writeMap(m);
  size_t cut = bytes.size() - 16; // just after the cells
  bytes.resize(cut);
  bytes += std::string("\xFF\xFF", 2);
  Loaded l;
  loadBytes(bytes, l);
  EXPECT_LE(l.store.bytes, bound(bytes, 65535));
  EXPECT_EQ(l.lat->heights, nullptr);
  EXPECT_EQ(l.lat->nx, 1);
  ASSERT_FALSE(l.rep.warnings.empty());
  EXPECT_NE(l.rep.warnings[0].find("file ends inside lattice record 0"), std::string::npos);

  std::string insets = writeMap(m);
  insets.resize(insets.size() - 21); // just after the 19 floats
  insets += char(255);               // a low-edge inset count of 255 with nothing behind it
  Loaded k;
  loadBytes(insets, k);
  EXPECT_LE(k.store.bytes, bound(insets, 65535));
  EXPECT_EQ(k.lat->minInsets, nullptr);
  ASSERT_FALSE(k.rep.warnings.empty());
  EXPECT_NE(k.rep.warnings[0].find("file ends inside lattice record 0"), std::string::npos);
}

TEST(Hostile, ParentChainOfFiveThousand) {
  MapDesc m;
  for (int i = 0; i < 5000; i++) {
    LatticeRecord L = box(1, 1, 1);
    L.pos[0] = 0.001f;
    if (i + 1 < 5000) L.refs = {i + 2}; // each is the parent of the next
    m.lattices.push_back(L);
  }
  Loaded l;
  loadBytes(writeMap(m), l);
  auto L = latticesOf(l.lat);
  EXPECT_EQ(L.back()->parent, L[4998]);
  EXPECT_TRUE(l.rep.warnings.empty());
  drawAll(l.lat);
  EXPECT_EQ(glDouble.vertices, 5000L * 12 * 3);
  double m16[16];
  latticePlacement(L.back(), viewerState, m16);
  EXPECT_NEAR(m16[12], 5.0, 1e-3);
}

TEST(Hostile, NonFiniteNumbersEverywhere) {
  float inf = std::numeric_limits<float>::infinity(), nan = std::nanf("");
  MapDesc m;
  for (float v : {nan, inf, -inf}) {
    LatticeRecord L = box(3, 2, 3);
    for (float* f : {L.pos, L.rot, L.cell})
      for (int i = 0; i < 3; i++) f[i] = v;
    for (float& f : L.frameData) f = v;
    L.heights.assign(16, v);
    L.minInsets.assign(3, {v, v});
    L.maxInsets.assign(3, {v, v});
    m.lattices.push_back(L);
  }
  m.lattices.push_back(box(2, 2, 2));
  m.lattices.back().heights = {nan, inf, -inf, 0, 1, 2, 3, 4, 5};
  Loaded l;
  loadBytes(writeMap(m), l);
  for (Lattice* L = l.lat; L; L = L->next) {
    std::vector<Triangle> tris;
    CollectEmitter e{&tris};
    drawLatticeFaces(L, viewerState, e);
    EXPECT_EQ(tris.size(), 4u * L->nx * L->nz + 4u * L->ny * (L->nx + L->nz));
    for (const Triangle& t : tris) {
      EXPECT_GE(t.grey, 0.4f);
      EXPECT_LE(t.grey, 0.8f);
    }
  }
  drawAll(l.lat);
  LoadedMap map;
  std::string err;
  std::string path = testing::TempDir() + "nonfinite.map";
  std::ofstream(path, std::ios::binary) << writeMap(m);
  ASSERT_TRUE(loadMap(path, map, err));
  std::string json = infoJson(map), obj = exportObj(map.lat, path);
  EXPECT_NE(json.find("\"nan\""), std::string::npos);
  EXPECT_NE(json.find("\"-inf\""), std::string::npos);
  EXPECT_NE(obj.find("o lattice3"), std::string::npos);
  std::filesystem::remove(path);
}

// Inputs built to break the reader or the renderer, and any the fuzzers found, kept as files.
TEST(Hostile, RecordedInputs) {
  std::filesystem::path dir = std::filesystem::path(KELVANE_SOURCE_DIR) / "tests/data/hostile";
  int files = 0;
  for (const auto& f : std::filesystem::directory_iterator(dir)) {
    files++;
    std::ifstream in(f.path(), std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Loaded l;
    loadBytes(bytes, l);
    for (Lattice* L = l.lat; L; L = L->next) {
      std::vector<Triangle> tris;
      CollectEmitter e{&tris, 100000};
      drawLatticeFaces(L, viewerState, e);
      for (const Triangle& t : tris) EXPECT_TRUE(t.grey >= 0.4f && t.grey <= 0.8f);
    }
  }
  EXPECT_GE(files, 4);
}

} // namespace
