// Maps under version control. Three-way merges: each kind of change on one side, on both alike
// and on both differently, structure on one side and on both, checked byte for byte against
// patch applied twice and for symmetry; then random edits on generated maps. The dump git's
// line diffs read.
#include "mapfile/merge.h"
#include "test_maps.h"
#include "tools/toolkit.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

// Three lattices of 2 x 1 x 2 cells with heights and insets, ids 1 to 3.
MapDesc baseDesc() {
  MapDesc m;
  for (int k = 0; k < 3; k++) {
    LatticeRecord L = box(2, 1, 2, k + 1);
    L.pos[0] = float(10 * k);
    L.heights = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    L.minInsets = {{0, 0}, {0.5f, 0}};
    L.maxInsets = {{0, 0.25f}, {0, 0}};
    m.lattices.push_back(L);
  }
  return m;
}

struct Merged {
  MergeResult ab, ba; // merge(BASE, A, B) and merge(BASE, B, A)
};

Merged merge3(const MapDesc& base, const MapDesc& a, const MapDesc& b) {
  LoadedMap lb, la1, lb1, la2, lb2;
  loadDesc(base, lb);
  loadDesc(a, la1);
  loadDesc(b, lb1);
  loadDesc(a, la2);
  loadDesc(b, lb2);
  return {mergeMaps(lb, la1, lb1), mergeMaps(lb, lb2, la2)};
}

// patch(patch(BASE, diff(BASE, A)), diff(BASE, B)), or why a patch was refused.
std::string patchedTwice(const MapDesc& base, const MapDesc& a, const MapDesc& b) {
  LoadedMap lb, la, lbb;
  loadDesc(base, lb);
  loadDesc(a, la);
  loadDesc(b, lbb);
  std::string dA = diffJson(lb, la, diffMaps(lb, la)), dB = diffJson(lb, lbb, diffMaps(lb, lbb));
  std::string err;
  LoadedMap m;
  loadDesc(base, m);
  if (!patchMap(m, dA, err) || !patchMap(m, dB, err)) return "patch refused: " + err;
  return savedMap(m.lat, m.store);
}

using Edit = std::function<void(MapDesc&)>;

void moveFirst(MapDesc& m) {
  m.lattices[0].pos[1] = 4;
}
void moveFirstElsewhere(MapDesc& m) {
  m.lattices[0].pos[1] = 6;
}
void raiseThird(MapDesc& m) {
  m.lattices[2].heights[4] = 20;
}
void turnSecond(MapDesc& m) {
  m.lattices[1].rot[1] = 0.5f;
}
void insetSecond(MapDesc& m) {
  m.lattices[1].maxInsets[1] = {0.125f, 0.5f};
}
void addOne(MapDesc& m) {
  m.lattices.push_back(box(1, 1, 1, 9));
}
void removeSecond(MapDesc& m) {
  m.lattices.erase(m.lattices.begin() + 1);
}
void reshapeThird(MapDesc& m) {
  m.lattices[2].nx = 3;
  m.lattices[2].heights.resize(12, 1);
}
void nothing(MapDesc&) {}

TEST(Merge, EachKindOfChange) {
  struct Case {
    const char* what;
    Edit a, b;
    std::vector<Edit> want;             // the result: these edits of the base
    std::vector<std::string> conflicts; // the report's lines
    bool disjoint;                      // the result is patch applied twice
    const char*
        origins; // a lattice of the result each: - none, o ours, t theirs, b both, ! conflict
  } cases[] = {
      {"one side", moveFirst, nothing, {moveFirst}, {}, true, "o--"},
      {"each side another lattice",
       moveFirst,
       raiseThird,
       {moveFirst, raiseThird},
       {},
       true,
       "o-t"},
      {"each side another value of one lattice",
       turnSecond,
       insetSecond,
       {turnSecond, insetSecond},
       {},
       true,
       "-b-"},
      {"both the same", moveFirst, moveFirst, {moveFirst}, {}, false, "b--"},
      {"both differently",
       moveFirst,
       moveFirstElsewhere,
       {moveFirst},
       {"conflict: lattice 0 (id 1) position: base (0, 0, 0), ours (0, 4, 0), theirs (0, 6, 0)"},
       false,
       "!--"},
      {"structure on one side, a value on the other",
       addOne,
       raiseThird,
       {addOne, raiseThird},
       {},
       false,
       "--to"},
      {"a removal and a value elsewhere",
       removeSecond,
       moveFirst,
       {moveFirst, removeSecond},
       {},
       false,
       "t-"},
      {"structure on both alike", addOne, addOne, {addOne}, {}, false, "---b"},
      {"structure on both differently",
       addOne,
       removeSecond,
       {addOne},
       {"conflict: both sides changed the map's structure; the result is ours"},
       false,
       "---o"},
      {"a value on a lattice the other side removed",
       removeSecond,
       turnSecond,
       {removeSecond},
       {"conflict: lattice 1 (id 2) of the base: removed on one side, changed on the other"},
       false,
       "--"},
      {"a height on a lattice the other side reshaped",
       reshapeThird,
       raiseThird,
       {reshapeThird},
       {"conflict: lattice 2 (id 3) heights: one side changed how many there are, the other "
        "their values"},
       false,
       "--!"},
  };
  MapDesc base = baseDesc();
  for (const Case& c : cases) {
    MapDesc a = base, b = base, want = base;
    c.a(a);
    c.b(b);
    for (const Edit& e : c.want) e(want);
    Merged m = merge3(base, a, b);
    std::string lines;
    for (const std::string& l : c.conflicts) lines += l + "\n";
    EXPECT_EQ(conflictsText(m.ab.conflicts), lines) << c.what;
    EXPECT_EQ(m.ab.bytes, mapBytes(want)) << c.what;
    std::string origins;
    for (uint8_t o : m.ab.origins)
      origins += o & inConflict ? '!' : "-otb"[o & (fromOurs | fromTheirs)];
    EXPECT_EQ(origins, c.origins) << c.what;
    if (c.conflicts.empty()) {
      EXPECT_EQ(m.ab.bytes, m.ba.bytes) << c.what << ": not symmetric";
    }
    if (c.disjoint) {
      EXPECT_EQ(m.ab.bytes, patchedTwice(base, a, b)) << c.what;
    }
  }
}

// A conflict keeps ours, and the clean changes around it are all there; --conflicts' JSON
// names each value.
TEST(Merge, AConflictKeepsOursAndTheRest) {
  MapDesc base = baseDesc(), a = base, b = base;
  moveFirst(a);
  moveFirstElsewhere(b);
  raiseThird(b);
  Merged m = merge3(base, a, b);
  MapDesc want = a;
  raiseThird(want);
  EXPECT_EQ(m.ab.bytes, mapBytes(want));
  EXPECT_EQ(conflictsJson(m.ab.conflicts),
            "{\"conflicts\": [\n  {\"kind\": \"value\", \"lattice\": 0, \"id\": 1, \"what\": "
            "\"position\", \"base\": [0, 0, 0], \"ours\": [0, 4, 0], \"theirs\": [0, 6, 0]}\n]}\n");
  EXPECT_EQ(conflictsJson({}), "{\"conflicts\": []}\n");
}

// 200 generated maps, each edited at random on both sides in disjoint values: the merge is
// patch applied twice, byte for byte, whichever side is ours.
TEST(Merge, DisjointRandomEditsMergeAsPatchesDo) {
  unsigned seed = 7;
  auto pick = [&](unsigned n) { return unsigned((seed = seed * 1664525u + 1013904223u) >> 8) % n; };
  for (int round = 0; round < 200; round++) {
    MapDesc base;
    int n = 1 + int(pick(5));
    for (int k = 0; k < n; k++) {
      LatticeRecord L = box(1 + int(pick(3)), 1, 1 + int(pick(3)), k + 1);
      L.heights.assign(size_t((L.nx + 1) * (L.nz + 1)), 1.0f);
      base.lattices.push_back(L);
    }
    MapDesc a = base, b = base;
    for (int e = 0; e < 6; e++) {
      // Ours moves and changes even-numbered heights, theirs turns and changes odd ones: never
      // the same value, nor the same position or rotation, which patch changes whole.
      bool theirs = e & 1;
      LatticeRecord& L = (theirs ? b : a).lattices[pick(unsigned(n))];
      float v = float(pick(1000)) / 8;
      if (pick(2))
        (theirs ? L.rot : L.pos)[pick(3)] = v;
      else
        L.heights[(2 * pick(unsigned(L.heights.size() / 2)) + theirs) % L.heights.size()] = v;
    }
    Merged m = merge3(base, a, b);
    ASSERT_TRUE(m.ab.conflicts.empty()) << round << ": " << conflictsText(m.ab.conflicts);
    EXPECT_EQ(m.ab.bytes, m.ba.bytes) << round;
    EXPECT_EQ(m.ab.bytes, patchedTwice(base, a, b)) << round;
  }
}

// The dump: each lattice's lines led by its index and id, heights in rows of the grid's width;
// a change shows as exactly the lines it touches.
TEST(Dump, LinesALineDiffReads) {
  MapDesc base = baseDesc();
  LoadedMap m;
  loadDesc(base, m);
  std::string text = dumpText(m);
  for (const char* line :
       {"kelvane map dump: 3 lattices\n",
        "\n1 id 2: position (10, 0, 0), rotation (0, 0, 0), cell size (1, 1, 1)\n",
        "\n1 id 2: min insets (0, 0) (0.5, 0)\n", "\n1 id 2: max insets (0, 0.25) (0, 0)\n",
        "\n2 id 3: heights row 1: 4 5 6\n"})
    EXPECT_NE(text.find(line), std::string::npos) << line << text;
  auto differing = [&](const MapDesc& other) {
    LoadedMap o;
    loadDesc(other, o);
    std::vector<std::string> a, b, out;
    for (auto [t, v] : {std::pair{&text, &a}, {nullptr, &b}}) {
      std::string s = t ? *t : dumpText(o);
      for (size_t at = 0, end; at < s.size(); at = end + 1) {
        end = s.find('\n', at);
        v->push_back(s.substr(at, end - at));
      }
    }
    for (size_t k = 0; k < a.size() && k < b.size(); k++)
      if (a[k] != b[k]) out.push_back(b[k]);
    return out;
  };
  MapDesc raised = base, tail = base;
  raiseThird(raised);
  EXPECT_EQ(differing(raised), std::vector<std::string>{"2 id 3: heights row 1: 4 20 6"});
  tail.lattices[0].tail = "x"; // bytes no line shows: its hash changes
  std::vector<std::string> changed = differing(tail);
  ASSERT_EQ(changed.size(), 1u);
  EXPECT_EQ(changed[0].rfind("0 id 1: cells 2 x 1 x 2, parent none, 0 refs, other bytes hash ", 0),
            0u);
  EXPECT_TRUE(differing(base).empty()); // the same map: the same text
}

} // namespace
