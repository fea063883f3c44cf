// Map reader: counts, type matching, marker scans, record decoding, references,
// truncated input and the guards against broken files.
#include "mapfile/cursor.h"
#include "test_maps.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

Cursor over(const std::string& s) {
  return memoryCursor(reinterpret_cast<const unsigned char*>(s.data()), s.size());
}

TEST(ReadVarCount, Forms) {
  struct Case {
    std::string bytes;
    bool ok;
    int value;
    uint64_t used;
  } cases[] = {
      {"\x05", true, 5, 1},
      {std::string("\x85\x02", 2), true, 261, 2},
      {std::string("\x80\x00", 2), true, 0, 2},
      {std::string("\xFF\xFF\x07", 3), true, 32767, 2}, // never a third byte
      {"\x7F", true, 127, 1},
      {"\x85", false, -1, 1}, // ends inside the count: nothing stored
      {"", false, -1, 0},
  };
  for (const Case& k : cases) {
    Cursor c = over(k.bytes);
    int v = -1;
    EXPECT_EQ(readVarCount(c, v), k.ok) << k.bytes.size();
    EXPECT_EQ(v, k.value);
    EXPECT_EQ(cursorOffset(c), k.used);
  }
}

TEST(StrEquals, ExactMatchOnly) {
  EXPECT_EQ(strEquals("LandFrameStore", "LandFrameStore"), 1);
  EXPECT_EQ(strEquals("LandFrameStore", "LandFrameStores"), 0);
  EXPECT_EQ(strEquals("LandFrameStore", "landFrameStore"), 0);
  EXPECT_EQ(strEquals("LandFrameStore", "LandFrameStor"), 0);
  EXPECT_EQ(strEquals("", ""), 1);
}

TEST(SkipPastMarker, NearMisses) {
  struct Case {
    std::string bytes;
    bool found;
    uint64_t stop;
  } cases[] = {
      {"CTNR", true, 4},     {"CCTNR", false, 5}, // the C that breaks the match is not a new start
      {"CTNXCTNR", true, 8}, {"xxCTNRyy", true, 6}, {"CTN", false, 3}, {"CTNCTNR", false, 7},
  };
  for (const Case& k : cases) {
    Cursor c = over(k.bytes);
    EXPECT_EQ(skipPastMarker(c), k.found) << k.bytes;
    EXPECT_EQ(cursorOffset(c), k.stop) << k.bytes;
  }
}

LatticeRecord rich() {
  LatticeRecord L = box(3, 2, 4, 300);
  float v = 0.5f;
  for (float* f : {&L.pos[0], &L.pos[1], &L.pos[2], &L.rot[0], &L.rot[1], &L.rot[2], &L.cell[0],
                   &L.cell[1], &L.cell[2]})
    *f = v += 1.25f;
  for (int i = 0; i < 19; i++) L.frameData[i] = float(i) * -0.5f;
  L.minInsets = {{0.25f, -0.5f}, {1, 2}};
  L.maxInsets = {{-1, 3}};
  for (int i = 0; i < 20; i++) L.heights.push_back(float(i) / 3);
  L.skipped12 = std::vector<unsigned char>(12, 0xEE);
  L.skippedWords = {0x52544E43u, 7}; // "CTNR" in the skipped table must not matter
  L.skippedCounts = {5, 200, 32767};
  return L;
}

void expectSame(const Lattice* a, const LatticeRecord& r) {
  EXPECT_EQ(a->id, r.id);
  EXPECT_EQ(std::memcmp(&a->x, r.pos, 12), 0);
  EXPECT_EQ(std::memcmp(&a->rx, r.rot, 12), 0);
  EXPECT_EQ(std::memcmp(&a->sx, r.cell, 12), 0);
  EXPECT_EQ(std::memcmp(a->frameData, r.frameData, sizeof r.frameData), 0);
  EXPECT_EQ(insetsOf(a->minInsets), r.minInsets);
  EXPECT_EQ(insetsOf(a->maxInsets), r.maxInsets);
  EXPECT_EQ(a->nx, r.nx);
  EXPECT_EQ(a->ny, r.ny);
  EXPECT_EQ(a->nz, r.nz);
  EXPECT_EQ(heightsOf(a), r.heights);
  EXPECT_EQ(a->refCount, int(r.refs.size()));
}

TEST(LoadLandFrames, DecodesEveryFieldThroughAllSkippedParts) {
  for (bool longCounts : {false, true}) {
    MapDesc m;
    m.extraCount = 255;
    m.strings = {"", "terrain", "", "x"};
    m.otherRecords = {"body of another type", ""};
    m.longCounts = longCounts;
    m.lattices = {rich(), box(1, 1, 1, 7)};
    m.lattices[0].refs = {1, 2, 4}; // 1 and 2 are other records, 4 the second lattice
    LoadedMap l;
    loadDesc(m, l);
    EXPECT_TRUE(l.rep.warnings.empty()) << l.rep.warnings[0];
    EXPECT_EQ(l.rep.nlat, 2);
    EXPECT_EQ(l.rep.recordCount, 4);
    EXPECT_EQ(l.rep.stringCount, 4);
    auto L = latticesOf(l.lat);
    ASSERT_EQ(L.size(), 2u);
    expectSame(L[0], m.lattices[0]);
    expectSame(L[1], m.lattices[1]);
    EXPECT_EQ(L[1]->parent, L[0]);
    EXPECT_EQ(L[0]->parent, nullptr);
  }
}

TEST(LoadLandFrames, TypeNameMatching) {
  struct Case {
    std::string name;
    bool match;
  } cases[] = {{"LandFrameStore", true},
               {std::string("LandFrameStore\0trailing", 23), true},
               {"LandFrameStoreX", false},
               {"landFrameStore", false},
               {"LandFrameStor", false}};
  for (const Case& k : cases) {
    MapDesc m;
    m.lattices = {box(1, 1, 1, 9)};
    std::string bytes = mapBytes(m);
    std::memset(&bytes[64 + 32], 0, 32);
    std::memcpy(&bytes[64 + 32], k.name.data(), k.name.size());
    LoadedMap l;
    loadMapBytes(bytes, l);
    EXPECT_EQ(l.rep.status, k.match ? LoadStatus::loaded : LoadStatus::notMap) << k.name.c_str();
    EXPECT_EQ(l.lat->id, k.match ? 9 : 0) << k.name.c_str();
  }
}

TEST(LoadLandFrames, LastLandFrameStoreEntryWins) {
  MapDesc m;
  m.lattices = {box(1, 1, 1, 1), box(1, 1, 1, 2), box(1, 1, 1, 3)};
  std::string bytes = mapBytes(m);
  std::string entry = bytes.substr(64, 64);
  std::string first = entry;
  first[8] = 1; // an earlier entry claiming one lattice
  bytes[24] = 2;
  bytes.insert(64, first);
  LoadedMap l;
  loadMapBytes(bytes, l);
  EXPECT_EQ(l.rep.nlat, 3);
  EXPECT_EQ(latticesOf(l.lat).size(), 3u);
}

TEST(LoadLandFrames, PositionsPastOtherRecords) {
  for (int others : {0, 5}) {
    MapDesc m;
    for (int i = 0; i < others; i++) m.otherRecords.push_back("CTNX other");
    m.lattices = {box(1, 1, 1, 11), box(1, 1, 1, 12)};
    LoadedMap l;
    loadDesc(m, l);
    auto L = latticesOf(l.lat);
    ASSERT_EQ(L.size(), 2u);
    EXPECT_EQ(L[0]->id, 11) << others;
    EXPECT_EQ(L[1]->id, 12) << others;
  }
}

TEST(LoadLandFrames, FewerRecordsThanLatticesStartsAfterTheStrings) {
  MapDesc m;
  m.lattices = {box(1, 1, 1, 5)};
  m.recordCountOverride = 0;
  LoadedMap l;
  loadDesc(m, l);
  EXPECT_EQ(l.lat->id, 'R'); // "CTN" is skipped as the 3 leading bytes, then 'R' is the id
}

TEST(LoadLandFrames, ReferenceNumbering) {
  // recordCount 10, nlat 4: the lattices are records 7 to 10.
  MapDesc m;
  m.otherRecords.assign(6, "other");
  m.lattices = {box(1, 1, 1, 1), box(1, 1, 1, 2), box(1, 1, 1, 3), box(1, 1, 1, 4)};
  m.lattices[0].refs = {8, 6, 0};
  m.lattices[2].refs = {7};
  m.lattices[3].refs = {10, 9};
  LoadedMap l;
  loadDesc(m, l);
  auto L = latticesOf(l.lat);
  ASSERT_EQ(L.size(), 4u);
  EXPECT_EQ(L[1]->parent, L[0]);
  EXPECT_EQ(L[0]->parent, L[2]);
  EXPECT_EQ(L[2]->parent, L[3]);
  // 10 names lattice 3 itself: a cycle of one, which is broken with a warning.
  EXPECT_EQ(L[3]->parent, nullptr);
  ASSERT_EQ(l.rep.warnings.size(), 1u);
  EXPECT_NE(l.rep.warnings[0].find("lattice 3"), std::string::npos);
}

TEST(LoadLandFrames, LaterReferenceWinsAndForwardReferencesSurvive) {
  MapDesc m;
  m.lattices = {box(1, 1, 1, 1), box(1, 1, 1, 2), box(1, 1, 1, 3)};
  m.lattices[0].refs = {3, 2}; // forward: set before records 2 and 3 are decoded
  m.lattices[1].refs = {3};    // overrides lattice 0's claim on lattice 2
  LoadedMap l;
  loadDesc(m, l);
  auto L = latticesOf(l.lat);
  EXPECT_EQ(L[1]->parent, L[0]);
  EXPECT_EQ(L[2]->parent, L[1]);
  EXPECT_TRUE(l.rep.warnings.empty());
}

TEST(LoadLandFrames, ListsOfEveryLength) {
  MapDesc m;
  m.lattices = {box(1, 1, 1), box(1, 1, 1), box(1, 1, 1)};
  for (int i = 0; i < 200; i++) m.lattices[0].minInsets.push_back({float(i), -float(i)});
  m.lattices[1].maxInsets = {{1, 1}, {2, 2}, {3, 3}};
  m.lattices[2].heights.assign(128, 2.5f);
  std::string bytes = mapBytes(m);
  LoadedMap l;
  loadMapBytes(bytes, l);
  auto L = latticesOf(l.lat);
  EXPECT_EQ(insetsOf(L[0]->minInsets).size(), 200u);
  EXPECT_EQ(insetsOf(L[0]->minInsets)[199], std::make_pair(199.f, -199.f));
  EXPECT_EQ(L[0]->maxInsets, nullptr);
  EXPECT_EQ(L[0]->heights, nullptr);
  EXPECT_EQ(L[1]->minInsets, nullptr);
  EXPECT_EQ(insetsOf(L[1]->maxInsets).size(), 3u);
  EXPECT_EQ(heightsOf(L[2]).size(), 128u);
  EXPECT_NE(bytes.find(std::string("\x80\x01", 2)), std::string::npos); // 128 in two bytes
}

TEST(LoadLandFrames, LatticeCounts) {
  for (int n : {0, 1}) {
    MapDesc m;
    if (n) m.lattices = {box(2, 2, 2, 4)};
    LoadedMap l;
    loadDesc(m, l);
    EXPECT_EQ(l.rep.nlat, n);
    EXPECT_EQ(l.lat->next, nullptr);
    EXPECT_EQ(l.lat->parent, nullptr);
    EXPECT_EQ(l.lat->id, n ? 4 : 0);
    EXPECT_TRUE(l.rep.warnings.empty());
  }
}

TEST(LoadLandFrames, NoLandFrameStoreEntryIsNotAMap) {
  MapDesc m;
  m.withLandFrameStore = false;
  m.otherRecords = {"a", "b"};
  LoadedMap l;
  loadDesc(m, l);
  EXPECT_EQ(l.rep.status, LoadStatus::notMap);
  EXPECT_EQ(l.rep.error, "no LandFrameStore type entry");
  EXPECT_EQ(latticesOf(l.lat).size(), 1u);
  EXPECT_EQ(l.lat->id, 0);
}

TEST(LoadLandFrames, ReferencePastTheLastLatticeIsIgnored) {
  MapDesc m;
  m.lattices = {box(1, 1, 1), box(1, 1, 1)};
  m.lattices[1].refs = {3, 500};
  LoadedMap l;
  loadDesc(m, l);
  for (Lattice* L : latticesOf(l.lat)) EXPECT_EQ(L->parent, nullptr);
  ASSERT_EQ(l.rep.warnings.size(), 1u);
  EXPECT_NE(l.rep.warnings[0].find("record 3"), std::string::npos);
}

TEST(LoadLandFrames, CyclesAreBrokenAtTheirLowestIndex) {
  // 0 -> 1 -> 2 -> 1 (a cycle of 1 and 2 reached from 0), 3 -> 4 -> 3, 5 alone.
  MapDesc m;
  for (int i = 0; i < 6; i++) m.lattices.push_back(box(1, 1, 1));
  m.lattices[1].refs = {1, 3}; // 1 is parent of 0 and 2
  m.lattices[2].refs = {2};    // 2 is parent of 1
  m.lattices[3].refs = {5};
  m.lattices[4].refs = {4};
  LoadedMap l;
  loadDesc(m, l);
  auto L = latticesOf(l.lat);
  EXPECT_EQ(L[0]->parent, L[1]);
  EXPECT_EQ(L[1]->parent, nullptr);
  EXPECT_EQ(L[2]->parent, L[1]);
  EXPECT_EQ(L[3]->parent, nullptr);
  EXPECT_EQ(L[4]->parent, L[3]);
  EXPECT_EQ(l.rep.warnings.size(), 2u);
}

TEST(LoadLandFrames, MarkerInsideARecordTailRestartsThere) {
  MapDesc m;
  m.lattices = {box(1, 1, 1, 1), box(1, 1, 1, 2)};
  std::string fake = "CTNR";
  fake += std::string(3, '\0');
  fake += char(77);
  m.lattices[0].tail = fake;
  LoadedMap l;
  loadDesc(m, l);
  EXPECT_EQ(latticesOf(l.lat)[1]->id, 77);
}

TEST(LoadLandFrames, TruncationAtEveryByte) {
  MapDesc m;
  m.strings = {"a", ""};
  m.extraCount = 1;
  m.otherRecords = {"zz"};
  m.lattices = {rich(), rich(), box(2, 1, 2, 3)};
  m.lattices[0].refs = {3};
  m.lattices[2].refs = {2};
  std::string full = mapBytes(m);
  // Each lattice record ends where the next marker begins.
  std::vector<size_t> ends;
  size_t at = full.find("CTNR", full.find("CTNRzz") + 4);
  for (size_t next = at; (next = full.find("CTNR", next + 4)) != std::string::npos;)
    ends.push_back(next);
  ends.push_back(full.size());
  ASSERT_EQ(ends.size(), 3u);
  size_t typeTableEnd = 64 + 2 * 64;
  for (size_t cut = 0; cut <= full.size(); cut++) {
    LoadedMap l;
    loadMapBytes(full.substr(0, cut), l);
    auto L = latticesOf(l.lat);
    // Cut inside the header or the type table: not a map, and nothing loaded.
    EXPECT_EQ(l.rep.status, cut < typeTableEnd ? LoadStatus::notMap : LoadStatus::loaded) << cut;
    if (cut < typeTableEnd) {
      EXPECT_EQ(L.size(), 1u);
      EXPECT_EQ(l.rep.error.find(cut == 0 ? "the file is empty" : "file ends inside"), 0u)
          << l.rep.error;
      continue;
    }
    // The lengths the loader reports are those of the lists it built, cut or whole.
    ASSERT_EQ(l.rep.lengths.size(), L.size());
    for (size_t i = 0; i < L.size(); i++) {
      int mins = 0, maxs = 0;
      for (const InsetNode* n = L[i]->minInsets; n; n = n->next) mins++;
      for (const InsetNode* n = L[i]->maxInsets; n; n = n->next) maxs++;
      EXPECT_EQ(l.rep.lengths[i].heights, int(heightsOf(L[i]).size())) << cut;
      EXPECT_EQ(l.rep.lengths[i].minInsets, mins) << cut;
      EXPECT_EQ(l.rep.lengths[i].maxInsets, maxs) << cut;
    }
    if (cut == full.size()) {
      EXPECT_TRUE(l.rep.warnings.empty());
      continue;
    }
    ASSERT_FALSE(l.rep.warnings.empty()) << cut;
    EXPECT_NE(l.rep.warnings[0].find("file ends"), std::string::npos) << l.rep.warnings[0];
    for (size_t i = 0; i < L.size() && i < ends.size(); i++) {
      if (ends[i] <= cut) {
        expectSame(L[i], m.lattices[i]);
      } else {
        EXPECT_LE(heightsOf(L[i]).size(), m.lattices[i].heights.size());
        for (size_t j = i + 1; j < L.size(); j++) EXPECT_EQ(L[j]->id, 0) << cut;
        break;
      }
    }
  }
}

TEST(LoadLandFrames, FileReadInBlocksMatchesMemory) {
  MapDesc m;
  for (int i = 0; i < 40; i++) {
    LatticeRecord L = rich();
    L.id = i + 1;
    L.heights.assign(20000 + i, float(i) + 0.25f); // ~3 MB: several refills, odd seams
    L.refs = {(i + 1) % 40 + 1};
    m.lattices.push_back(L);
  }
  m.lattices[39].refs = {};
  std::string bytes = mapBytes(m);
  std::string path = testing::TempDir() + "blocks.map";
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_TRUE(f);
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  LoadedMap mem;
  loadMapBytes(bytes, mem);
  // The same bytes from a file and through a pipe, each refilled a buffer at a time.
  for (std::string source : {path, "cat " + path}) {
    LoadedMap map;
    bool piped = source != path;
    std::FILE* f = piped ? popen(source.c_str(), "r") : std::fopen(path.c_str(), "rb");
    ASSERT_TRUE(f);
    map.lat = newLattice(map.store);
    map.rep = loadLandFramesFromStream(f, map.lat, map.store);
    piped ? pclose(f) : std::fclose(f);
    EXPECT_EQ(map.rep.status, LoadStatus::loaded) << source;
    EXPECT_EQ(map.rep.warnings, mem.rep.warnings);
    auto a = latticesOf(map.lat);
    ASSERT_EQ(a.size(), 40u);
    for (int i = 0; i < 40; i++) expectSame(a[i], m.lattices[i]);
    EXPECT_EQ(parentIndexes(map.lat), parentIndexes(mem.lat));
  }
  std::remove(path.c_str());
}

TEST(LoadLandFrames, InputsThatCannotBeReadSayWhy) {
  struct Case {
    const char* path;
    LoadStatus status;
    const char* error;
  } cases[] = {
      {"/nonexistent/dir/x.map", LoadStatus::openFailed, "No such file or directory"},
      {"/", LoadStatus::openFailed, "Is a directory"},
      {"/dev/null", LoadStatus::notMap, "the file is empty"},
      {"/dev/zero", LoadStatus::notMap, "no LandFrameStore type entry"},
  };
  for (const Case& c : cases) {
    LoadedMap map;
    loadMap(c.path, map);
    EXPECT_EQ(map.rep.status, c.status) << c.path;
    EXPECT_EQ(map.rep.error, c.error) << c.path;
    EXPECT_EQ(map.lat->next, nullptr);
    EXPECT_EQ(map.lat->id, 0);
  }
}

TEST(LoadLandFrames, RunningOutOfMemoryIsReportedNotThrown) {
  MapDesc m;
  LatticeRecord L = box(1, 1, 1);
  L.heights.assign(30000, 1.0f);
  m.lattices = {L, L, L};
  LoadedMap map;
  map.store.limit = 256u << 10; // room for the root and about 16,000 heights
  map.lat = newLattice(map.store);
  std::string bytes = mapBytes(m);
  map.rep = loadLandFramesFromMemory(reinterpret_cast<const unsigned char*>(bytes.data()),
                                     bytes.size(), map.lat, map.store);
  EXPECT_EQ(map.rep.status, LoadStatus::outOfMemory);
  EXPECT_EQ(map.rep.error, "out of memory");
  EXPECT_EQ(map.lat->next, nullptr);
  EXPECT_LE(map.store.bytes, map.store.limit);
}

} // namespace
