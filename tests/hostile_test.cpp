// Maps built to hurt: absurd counts in tiny files, very long parent chains, the largest
// lattice, non-finite numbers everywhere. Each must load and draw without a crash, with
// memory bounded by 4 MiB + 4 x the file size + one Lattice record per lattice, and with a
// warning wherever data was refused.
#include "chain_placement.h"
#include "doubles/gl_double.h"
#include "render/frame.h"
#include "render/placement.h"
#include "test_maps.h"
#include "tools/toolkit.h"

#include <gtest/gtest.h>

#include <cstring>

#include <atomic>
#include <csignal>
#include <cmath>
#include <random>
#include <thread>
#include <unistd.h>
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
  float trot[Trot::size] = {};
  FaceTables ft;
  drawFrame(lat, trot, ViewerState{}, ft);
  glDouble.record = true;
}

TEST(Hostile, TinyFileClaimingEverything) {
  MapDesc m;
  m.nlatOverride = m.recordCountOverride = 65535;
  LatticeRecord L = box(255, 255, 255);
  L.refs.assign(32767, 70000 % 32768); // each names a lattice far down the list
  m.lattices = {L};
  std::string bytes = mapBytes(m);
  bytes.resize(bytes.size() - 32767); // the references stop after about half of them
  LoadedMap l;
  loadMapBytes(bytes, l);
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
  std::string bytes = mapBytes(m);
  size_t cut = bytes.size() - 16; // just after the cells
  bytes.resize(cut);
  bytes += std::string("\xFF\xFF", 2);
  LoadedMap l;
  loadMapBytes(bytes, l);
  EXPECT_LE(l.store.bytes, bound(bytes, 65535));
  EXPECT_EQ(l.lat->heights, nullptr);
  EXPECT_EQ(l.lat->nx, 1);
  ASSERT_FALSE(l.rep.warnings.empty());
  EXPECT_NE(l.rep.warnings[0].find("file ends inside lattice record 0"), std::string::npos);

  std::string insets = mapBytes(m);
  insets.resize(insets.size() - 21); // just after the 19 floats
  insets += char(255);               // a low-edge inset count of 255 with nothing behind it
  LoadedMap k;
  loadMapBytes(insets, k);
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
  LoadedMap l;
  loadDesc(m, l);
  auto L = latticesOf(l.lat);
  EXPECT_EQ(L.back()->parent, L[4998]);
  EXPECT_TRUE(l.rep.warnings.empty());
  drawAll(l.lat);
  EXPECT_EQ(glDouble.vertices, 5000L * 12 * 3);
  EXPECT_NEAR(chainPlacement(L.back(), ViewerState{}).m[12], 5.0, 1e-3);
  // Past 4 M chain steps a frame makes each placement from its parent's: the last lattice's
  // model-view matrix is the walk's, bit for bit (the camera 50 units away).
  float trot[Trot::size] = {};
  glDoubleReset();
  loadCamera(trot);
  applyLatticeTransform(L.back(), ViewerState{});
  double walked[16];
  std::memcpy(walked, glDouble.modelview, sizeof walked);
  FramePlacements fp;
  preparePlacements(fp, l.lat);
  beginPlacements(fp);
  glDoubleReset();
  loadPlacement(fp, 4999, trot, ViewerState{});
  EXPECT_EQ(std::memcmp(walked, glDouble.modelview, sizeof walked), 0);
  EXPECT_NEAR(glDouble.modelview[12], 5.0, 1e-3);
  EXPECT_NEAR(glDouble.modelview[14], -50.0, 1e-3);
  // Every placement, made once from its parent's, is the chain's product bit for bit.
  std::vector<Matrix> all = latticePlacements(l.lat, ViewerState{});
  ASSERT_EQ(all.size(), 5000u);
  for (size_t i : {size_t(0), size_t(1), size_t(2500), size_t(4999)})
    EXPECT_EQ(std::memcmp(all[i].m, chainPlacement(L[i], ViewerState{}).m, sizeof all[i].m), 0)
        << i;
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
  LoadedMap l;
  loadDesc(m, l);
  for (Lattice* L = l.lat; L; L = L->next) {
    std::vector<Triangle> tris;
    CollectEmitter e{&tris};
    FaceTables ft;
    drawLatticeFaces(L, ViewerState{}, ft, e);
    EXPECT_EQ(tris.size(), 4u * L->nx * L->nz + 4u * L->ny * (L->nx + L->nz));
    for (const Triangle& t : tris) {
      EXPECT_GE(t.grey, 0.4f);
      EXPECT_LE(t.grey, 0.8f);
    }
  }
  drawAll(l.lat);
  LoadedMap map;
  std::string path = testing::TempDir() + "nonfinite.map";
  std::ofstream(path, std::ios::binary) << mapBytes(m);
  loadMap(path, map);
  ASSERT_EQ(map.rep.status, LoadStatus::loaded);
  std::string json = infoJson(map);
  char* obj = nullptr;
  size_t objSize = 0;
  std::FILE* f = open_memstream(&obj, &objSize);
  ExportCounts counts;
  std::string err;
  EXPECT_TRUE(exportMap(map.lat, path, ExportFormat::obj, f, false, counts, err)) << err;
  std::fclose(f);
  EXPECT_NE(std::string(obj, objSize).find("o lattice3"), std::string::npos);
  std::free(obj);
  EXPECT_NE(json.find("\"nan\""), std::string::npos);
  EXPECT_NE(json.find("\"-inf\""), std::string::npos);
  std::filesystem::remove(path);
}

// Feeds `total` bytes made by `next` (a chunk at a time) through a pipe to the reader, as
// `kelvane info -` reads a pipe; returns how many bytes the reader took before it stopped.
template <class Next> size_t loadPipe(LoadedMap& map, size_t total, Next next) {
  int fd[2];
  EXPECT_EQ(pipe(fd), 0);
  std::signal(SIGPIPE, SIG_IGN); // the reader may stop early and close its end
  std::atomic<size_t> sent{0};
  std::thread writer([&] {
    std::string chunk;
    while (sent < total) {
      next(chunk);
      ssize_t n = write(fd[1], chunk.data(), std::min(chunk.size(), total - sent));
      if (n <= 0) break;
      sent += size_t(n);
    }
    close(fd[1]);
  });
  std::FILE* f = fdopen(fd[0], "rb");
  map.lat = newLattice(map.store);
  map.rep = loadLandFramesFromStream(f, map.lat, map.store);
  std::fclose(f); // the writer sees a broken pipe and stops
  writer.join();
  return sent;
}

// Streams have no size to check counts against: what the reader keeps must follow the bytes
// that arrived, and a stream that is not a map must be dropped once its type table shows it.
TEST(Hostile, StreamsAreReadInBoundedMemory) {
  const size_t hundredMB = 100u << 20;
  LoadedMap zeros;
  size_t took = loadPipe(zeros, hundredMB, [](std::string& c) { c.assign(1 << 16, '\0'); });
  EXPECT_EQ(zeros.rep.status, LoadStatus::notMap);
  EXPECT_LT(took, 8u << 20); // a buffer or two and the pipe's own, not the whole stream
  EXPECT_LE(zeros.store.bytes, 16u << 10);

  std::mt19937 rng(7);
  LoadedMap noise;
  took = loadPipe(noise, hundredMB, [&](std::string& c) {
    c.resize(1 << 16);
    for (char& b : c) b = char(rng());
  });
  EXPECT_EQ(noise.rep.status, LoadStatus::notMap);
  EXPECT_LT(took, 8u << 20); // the header and at most 65,535 type entries are read
  EXPECT_LE(noise.store.bytes, 16u << 10);

  // A real map whose last lattice claims 32767 heights per record and ends early: every node
  // kept stands for bytes that arrived. Bound: 4 MiB + 4 x input + one Lattice per lattice.
  MapDesc m;
  for (int i = 0; i < 300; i++) {
    LatticeRecord L = box(2, 2, 2);
    L.heights.assign(30000, float(i));
    m.lattices.push_back(L);
  }
  m.nlatOverride = 65535;
  std::string bytes = mapBytes(m);
  bytes.resize(bytes.size() - 1000);
  size_t at = 0;
  LoadedMap real;
  took = loadPipe(real, bytes.size(), [&](std::string& c) {
    c = bytes.substr(at, 1 << 16);
    at += c.size();
  });
  EXPECT_EQ(real.rep.status, LoadStatus::loaded);
  EXPECT_EQ(took, bytes.size());
  EXPECT_EQ(heightsOf(latticesOf(real.lat)[10]).size(), 30000u);
  EXPECT_LE(real.store.bytes, bound(bytes, 65535));
}

// Inputs built to break the reader or the renderer, and any the fuzzers found, kept as files.
TEST(Hostile, RecordedInputs) {
  std::filesystem::path dir = std::filesystem::path(KELVANE_SOURCE_DIR) / "tests/data/hostile";
  int files = 0;
  for (const auto& f : std::filesystem::directory_iterator(dir)) {
    files++;
    std::ifstream in(f.path(), std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LoadedMap l;
    loadMapBytes(bytes, l);
    for (Lattice* L = l.lat; L; L = L->next) {
      std::vector<Triangle> tris;
      CollectEmitter e{&tris, 100000};
      FaceTables ft;
      drawLatticeFaces(L, ViewerState{}, ft, e);
      for (const Triangle& t : tris) EXPECT_TRUE(t.grey >= 0.4f && t.grey <= 0.8f);
    }
  }
  EXPECT_GE(files, 4);
}

} // namespace
