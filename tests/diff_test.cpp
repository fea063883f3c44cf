// Comparing maps: pairing by ids as diff pairs lines, what each pair changed, the other bytes,
// and the report.
#include "mapfile/diff.h"
#include "render/compare.h"
#include "render/world.h"
#include "test_maps.h"
#include "tools/toolkit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

using Pairs = std::vector<std::pair<int, int>>;

TEST(Diff, IdsPairAsDiffPairsLines) {
  struct Case {
    const char* what;
    std::vector<int> a, b;
    size_t cells;
    Pairs want;
  } cases[] = {
      {"same", {1, 2, 3}, {1, 2, 3}, 1u << 20, {{0, 0}, {1, 1}, {2, 2}}},
      {"one inserted shifts nothing", {1, 2, 3}, {1, 9, 2, 3}, 1u << 20, {{0, 0}, {1, 2}, {2, 3}}},
      {"one removed", {1, 2, 3, 4}, {1, 3, 4}, 1u << 20, {{0, 0}, {2, 1}, {3, 2}}},
      {"moved to the end", {5, 1, 2, 3}, {1, 2, 3, 5}, 1u << 20, {{1, 0}, {2, 1}, {3, 2}}},
      {"repeated ids", {0, 0, 7, 0}, {0, 7, 0, 0}, 1u << 20, {{0, 0}, {2, 1}, {3, 3}}},
      {"nothing in common", {1, 2}, {3, 4}, 1u << 20, {}},
      {"empty", {}, {4}, 1u << 20, {}},
      // Past the table's size the middle pairs by Hunt and Szymanski's method, as exactly.
      {"past the table", {1, 8, 9, 2, 1}, {1, 9, 8, 3, 1}, 4, {{0, 0}, {2, 1}, {4, 4}}},
      {"past the table, repeated", {0, 0, 7, 0}, {0, 7, 0, 0}, 0, {{0, 0}, {2, 1}, {3, 3}}},
  };
  for (const Case& c : cases) {
    bool exact = false;
    EXPECT_EQ(pairIds(c.a, c.b, c.cells, size_t(1) << 24, &exact), c.want) << c.what;
    EXPECT_TRUE(exact) << c.what;
  }
  // Past the pairs of equal ids allowed too, the middle pairs greedily in order, and says so.
  bool exact = true;
  EXPECT_EQ(pairIds({1, 8, 9, 2, 1}, {1, 9, 8, 3, 1}, 4, 1, &exact),
            (Pairs{{0, 0}, {1, 2}, {4, 4}}));
  EXPECT_FALSE(exact);
}

// A pairing is increasing in both lists and pairs equal ids only.
bool validPairs(const std::vector<int>& a, const std::vector<int>& b, const Pairs& p) {
  for (size_t k = 0; k < p.size(); k++) {
    if (a[size_t(p[k].first)] != b[size_t(p[k].second)]) return false;
    if (k && (p[k].first <= p[k - 1].first || p[k].second <= p[k - 1].second)) return false;
  }
  return true;
}

// Hunt and Szymanski's pairing is as long as the table's on lists with many repeated ids.
TEST(Diff, BothPairingsFindALongestCommonSubsequence) {
  unsigned seed = 12345;
  auto next = [&](int n) { return int((seed = seed * 1103515245u + 12345u) >> 16) % n; };
  for (int round = 0; round < 300; round++) {
    std::vector<int> a(size_t(next(40))), b(size_t(next(40)));
    int ids = 1 + next(8);
    for (int& x : a) x = next(ids);
    for (int& x : b) x = next(ids);
    Pairs table = pairIds(a, b), hunt = pairIds(a, b, 0);
    EXPECT_TRUE(validPairs(a, b, hunt)) << round;
    EXPECT_EQ(hunt.size(), table.size()) << round;
  }
}

// Lists too long for the table: moving the first lattice to the end is one removed and one
// added, for 5,000 and for 65,535 lattices; a reversed list keeps one pair.
TEST(Diff, LongListsPairExactly) {
  for (int n : {5000, 65535}) {
    std::vector<int> a(static_cast<size_t>(n)), b;
    for (int k = 0; k < n; k++) a[size_t(k)] = k + 1;
    b.assign(a.begin() + 1, a.end());
    b.push_back(a[0]);
    bool exact = false;
    Pairs p = pairIds(a, b, size_t(1) << 24, size_t(1) << 24, &exact);
    EXPECT_TRUE(exact);
    ASSERT_EQ(p.size(), size_t(n - 1)) << n;
    EXPECT_EQ(p.front(), std::make_pair(1, 0));
    EXPECT_EQ(p.back(), std::make_pair(n - 1, n - 2));
    std::vector<int> r(a.rbegin(), a.rend());
    EXPECT_EQ(pairIds(a, r).size(), 1u) << n;
  }
}

// `n` lattices of 2 x 1 x 2 cells with ids 1 to n, heights and two levels of insets.
MapDesc withValues(int n) {
  MapDesc m;
  for (int id = 1; id <= n; id++) {
    LatticeRecord L = box(2, 1, 2, id);
    L.heights.assign(9, 0.5f);
    L.minInsets = L.maxInsets = {{0, 0}, {0.25f, 0}};
    m.lattices.push_back(L);
  }
  return m;
}

// Each kind of change, found and counted; bytes outside the values compare as bytes.
TEST(Diff, EachKindOfChangeAndTheOtherBytes) {
  MapDesc old = withValues(6);
  MapDesc now = old;
  now.lattices[0].pos[1] = 2.5f;                // moved
  now.lattices[1].heights[4] = 1;               // reshaped
  now.lattices[2].rot[2] = 0.5f;                // moved and
  now.lattices[2].maxInsets[1].second = 0.125f; // reshaped
  now.lattices.erase(now.lattices.begin() + 3); // removed (id 4)
  now.lattices.push_back(box(1, 1, 1, 9));      // added
  LoadedMap a, b;
  loadDesc(old, a);
  loadDesc(now, b);
  MapDiff d = diffMaps(a, b);
  EXPECT_EQ(d.moved, 1);
  EXPECT_EQ(d.reshaped, 1);
  EXPECT_EQ(d.both, 1);
  EXPECT_EQ(d.removed, 1);
  EXPECT_EQ(d.added, 1);
  EXPECT_EQ(d.unchanged, 2);
  EXPECT_TRUE(d.otherBytesSame); // as many lattices: the same header
  EXPECT_EQ(diffText(a, b, d), "moved 0 (id 1): position (0, 0, 0) -> (0, 2.5, 0)\n"
                               "reshaped 1 (id 2): heights: 1 of 9 differ\n"
                               "moved and reshaped 2 (id 3): rotation (0, 0, 0) -> (0, 0, 0.5); "
                               "max insets: 1 of 2 differ\n"
                               "removed 3 (id 4): 2 x 1 x 2 cells at (0, 0, 0)\n"
                               "added 5 (id 9): 1 x 1 x 1 cells at (0, 0, 0)\n"
                               "1 moved, 1 reshaped, 1 moved and reshaped, 1 added, 1 removed, "
                               "2 unchanged; other bytes: same\n");
  // Drawn compared: the new map's lattices in their change's colour, the old map's removed one
  // alone, in red; the moved ones' old places keep their style there, hidden.
  RetainedScene sa, sb;
  buildRetained(a.lat, ViewerState{}, 0, sa);
  buildRetained(b.lat, ViewerState{}, 0, sb);
  styleComparison(d, sb, sa);
  using S = LatticeStyle;
  std::vector<S> styles, want = {S::moved, S::reshaped, S::both, S::grey, S::grey, S::added};
  for (const RetainedLattice& r : sb.lattices) styles.push_back(r.style);
  EXPECT_EQ(styles, want);
  for (const RetainedLattice& r : sa.lattices) {
    EXPECT_EQ(r.hidden, r.index != 3) << r.index;
    S want = r.index == 3 ? S::removed : r.index == 0 ? S::moved : r.index == 2 ? S::both : S::grey;
    EXPECT_EQ(r.style, want) << r.index;
  }
  // Bytes the viewer does not read, in a paired record, or a header count: other bytes.
  for (int k = 0; k < 2; k++) {
    MapDesc other = now;
    if (k == 0) other.lattices[4].tail = "x";
    if (k == 1) other.extraCount = 1;
    LoadedMap c;
    loadDesc(other, c);
    MapDiff e = diffMaps(b, c);
    EXPECT_TRUE(e.changes.empty()) << k;
    EXPECT_FALSE(e.otherBytesSame) << k;
  }
  EXPECT_TRUE(diffMaps(a, a).changes.empty());
  EXPECT_TRUE(diffMaps(a, a).otherBytesSame);
}

// diff --json put into the old map with patch gives the new map byte for byte, whatever values
// changed; what is not a value, or does not fit the map, is refused with its place named.
// An edit compared again pair by pair gives what comparing the whole maps gives: a change made,
// altered, undone (the pair unchanged again), next to removed and added lattices, and the other
// bytes said once the values alone are the same.
TEST(Diff, AnEditedPairComparedAgainAsTheWholeMap) {
  MapDesc old;
  old.lattices = {box(2, 1, 2, 1), box(2, 1, 2, 2), box(3, 1, 3, 3), box(2, 2, 2, 4),
                  box(1, 1, 1, 5)};
  for (LatticeRecord& r : old.lattices) r.heights.assign(size_t((r.nx + 1) * (r.nz + 1)), 0.5f);
  MapDesc now = old;
  now.lattices.erase(now.lattices.begin() + 1);                   // id 2 removed
  now.lattices.insert(now.lattices.begin() + 2, box(1, 1, 1, 9)); // id 9 added
  now.lattices[3].pos[0] = 1;                                     // id 4 moved
  LoadedMap a, b;
  loadDesc(old, a);
  loadDesc(now, b);
  std::vector<Lattice*> l = latticesOf(b.lat);
  MapDiff d = diffMaps(a, b);
  auto same = [&](const char* what) {
    MapDiff want = diffMaps(a, b);
    ASSERT_EQ(d.changes.size(), want.changes.size()) << what;
    for (size_t k = 0; k < d.changes.size(); k++) {
      EXPECT_EQ(d.changes[k].oldIndex, want.changes[k].oldIndex) << what << " " << k;
      EXPECT_EQ(d.changes[k].newIndex, want.changes[k].newIndex) << what << " " << k;
      EXPECT_EQ(d.changes[k].what, want.changes[k].what) << what << " " << k;
    }
    EXPECT_EQ(summaryLine(d), summaryLine(want)) << what;
    EXPECT_EQ(d.otherBytesSame, want.otherBytesSame) << what;
    EXPECT_EQ(d.firstDifference, want.firstDifference) << what;
  };
  struct Step {
    const char* what;
    int index;
    float* value;
    float to;
  } steps[] = {
      {"first reshaped", 0, &l[0]->heights->value, 2},
      {"last reshaped", 4, &l[4]->heights->next->value, -1},
      {"moved one reshaped too", 3, &l[3]->heights->value, 3},
      {"first back", 0, &l[0]->heights->value, 0.5f},
      {"moved one back in place", 3, &l[3]->x, 0},
      {"added one edited", 2, &l[2]->x, 5},
      {"middle reshaped", 1, &l[1]->heights->value, 7},
  };
  for (const Step& st : steps) {
    *st.value = st.to;
    rediffLattice(d, {a.store, a.lat, a.rep.lengths}, {b.store, b.lat, b.rep.lengths}, st.index);
    same(st.what);
  }
  // A map whose file differs from the old one by a height alone, edited back to it: no change
  // is left, and the bytes still tell the files apart.
  MapDesc one = old;
  one.lattices[2].heights[4] = 9;
  LoadedMap c;
  loadDesc(one, c);
  d = diffMaps(a, c);
  ASSERT_EQ(d.changes.size(), 1u);
  latticesOf(c.lat)[2]->heights->next->next->next->next->value = 0.5f;
  rediffLattice(d, {a.store, a.lat, a.rep.lengths}, {c.store, c.lat, c.rep.lengths}, 2);
  MapDiff want = diffMaps(a, c);
  EXPECT_TRUE(d.changes.empty());
  EXPECT_FALSE(d.otherBytesSame);
  EXPECT_EQ(d.firstDifference, want.firstDifference);
  EXPECT_EQ(summaryLine(d), summaryLine(want));
}

TEST(Patch, DiffThenPatchGivesTheNewMapAndRefusesTheRest) {
  MapDesc old = withValues(4);
  for (LatticeRecord& L : old.lattices) L.tail = "tail";
  old.strings = {"kept"};
  std::string oldBytes = mapBytes(old);
  auto patched = [&](const MapDesc& now, std::string& err) {
    LoadedMap a, b, c;
    loadMapBytes(oldBytes, a);
    loadDesc(now, b);
    loadMapBytes(oldBytes, c);
    if (!patchMap(c, diffJson(a, b, diffMaps(a, b)), err)) return std::string();
    return savedMap(c.lat, c.store);
  };
  MapDesc now = old;
  now.lattices[0].pos[2] = -3.5f;
  now.lattices[1].rot[0] = std::nanf("");
  now.lattices[2].cell[1] = 0.75f;
  now.lattices[3].heights[8] = -0.0f;
  now.lattices[3].minInsets[1].first = 1e-30f;
  now.lattices[0].maxInsets[0].second = 7;
  std::string err;
  EXPECT_EQ(patched(now, err), mapBytes(now)) << err;
  struct Refused {
    const char* what;
    void (*change)(MapDesc&);
    const char* says;
  } refused[] = {
      {"added", [](MapDesc& m) { m.lattices.push_back(box(1, 1, 1, 9)); }, "added lattice (id 9)"},
      {"cells", [](MapDesc& m) { m.lattices[1] = box(3, 1, 2, 2); }, "lattice 1: cells"},
      {"other bytes", [](MapDesc& m) { m.lattices[2].tail = "tale"; }, "besides their values"},
      {"heights' count", [](MapDesc& m) { m.lattices[2].heights.push_back(1); }, "count changed"},
  };
  for (const Refused& r : refused) {
    MapDesc m = old;
    r.change(m);
    EXPECT_EQ(patched(m, err), "") << r.what;
    EXPECT_NE(err.find(r.says), std::string::npos) << r.what << ": " << err;
  }
  // Changes made from another map do not fit this one.
  LoadedMap a, b;
  loadDesc(now, a);
  loadDesc(old, b);
  std::string back = diffJson(a, b, diffMaps(a, b)); // from `now` to `old`
  LoadedMap c;
  loadMapBytes(oldBytes, c);
  EXPECT_FALSE(patchMap(c, back, err));
  EXPECT_NE(err.find("changes[0]: lattice 0: position[2] is 0 in the map, not -3.5"),
            std::string::npos)
      << err;
  EXPECT_FALSE(patchMap(c, "{\"changes\": ", err));
  EXPECT_EQ(err.rfind("not JSON: ", 0), 0u);
}

} // namespace

// A comparison's fits take in the old map's removed lattices: fitting the new map with them is
// fitting one map that holds both.
TEST(Diff, FitsTakeInTheRemovedLattices) {
  MapDesc both;
  both.lattices = {box(2, 2, 2, 1), box(3, 1, 3, 2)};
  both.lattices[1].pos[0] = 40;
  MapDesc now = both, old = both;
  now.lattices.pop_back();
  LoadedMap a, b, c;
  loadDesc(old, a);
  loadDesc(now, b);
  loadDesc(both, c);
  MapDiff d = diffMaps(a, b);
  ASSERT_EQ(d.removed, 1);
  FitAlso removed{a.lat, allButRemoved(d, a.lat)};
  EXPECT_EQ(removed.hidden, (std::vector<bool>{true, false}));
  for (bool ortho : {false, true}) {
    float t1[Trot::size] = {0, 0, 0, 30, -45}, t2[Trot::size] = {0, 0, 0, 30, -45};
    double depth = 0;
    float h1 = 0, h2 = 0;
    if (ortho) {
      ASSERT_TRUE(fitOrtho(b.lat, 640, 480, t1, h1, nullptr, SIZE_MAX, {}, &removed));
      ASSERT_TRUE(fitOrtho(c.lat, 640, 480, t2, h2));
    } else {
      ASSERT_TRUE(fitCamera(b.lat, 640, 480, t1, depth, nullptr, SIZE_MAX, {}, &removed));
      ASSERT_TRUE(fitCamera(c.lat, 640, 480, t2, depth));
    }
    EXPECT_EQ(std::vector<float>(t1, t1 + 5), std::vector<float>(t2, t2 + 5)) << ortho;
    EXPECT_EQ(h1, h2);
  }
}

namespace {

// diff says "same" only for files equal byte for byte: counts written in another form and NaNs
// with other payloads are differences, and patch puts such a NaN back exactly.
TEST(Diff, SameOnlyForEqualBytes) {
  MapDesc m = withValues(2);
  MapDesc longer = m;
  longer.longCounts = true;
  LoadedMap a, b;
  loadDesc(m, a);
  loadDesc(longer, b);
  ASSERT_NE(a.store.file, b.store.file);
  MapDiff d = diffMaps(a, b);
  EXPECT_FALSE(d.otherBytesSame);
  EXPECT_NE(summaryLine(d).find("other bytes: differ (the files first differ at byte "),
            std::string::npos);

  m.lattices[1].heights[3] = std::nanf("");
  std::string bytes = mapBytes(m);
  LoadedMap c, e, p;
  loadMapBytes(bytes, c);
  uint32_t payload = 0x7fc00001;
  std::memcpy(&bytes[size_t(c.store.offsets[1].heights + 12)], &payload, 4);
  loadMapBytes(bytes, e);
  d = diffMaps(c, e);
  ASSERT_EQ(d.reshaped, 1);
  std::string json = diffJson(c, e, d);
  EXPECT_NE(json.find("\"new\": \"nan:0x7fc00001\""), std::string::npos) << json;
  loadMapBytes(mapBytes(m), p);
  std::string err;
  ASSERT_TRUE(patchMap(p, json, err)) << err;
  EXPECT_EQ(savedMap(p.lat, p.store), bytes);
}

// Malformed changes are refused with their place and what is wrong, never read past or taken
// as 0; nothing of the map changes.
TEST(Patch, MalformedChangesAreRefusedNamingThem) {
  std::string bytes = mapBytes(withValues(2));
  struct Case {
    const char* json;
    const char* says;
  } cases[] = {
      {R"({"changes": [1]})", "changes[0]: expected a change"},
      {R"({"changes": [{"change": 5, "old": 0}]})", "changes[0]: expected \"change\""},
      {R"({"changes": [{"old": 0}]})", "changes[0]: expected \"change\""},
      {R"({"changes": [{"change": "moved"}]})", "changes[0]: \"old\": expected a lattice index"},
      {R"({"changes": [{"change": "moved", "old": -1}]})", "\"old\": expected a lattice index"},
      {R"({"changes": [{"change": "moved", "old": 0.5}]})", "\"old\": expected a lattice index"},
      {R"({"changes": [{"change": "moved", "old": 0, "position": {"new": [1, 2, 3]}}]})",
       "changes[0]: lattice 0: position: expected {\"old\""},
      {R"({"changes": [{"change": "moved", "old": 0, "position": {"old": [0, 0], "new": [1, 2, 3]}}]})",
       "position: expected"},
      {R"({"changes": [{"change": "moved", "old": 0, "position": {"old": [0, "x", 0], "new": [1, 2, 3]}}]})",
       "position[1]: expected old and new numbers"},
      {R"({"changes": [{"change": "reshaped", "old": 1, "heights": [{"old": 0.5, "new": 1}]}]})",
       "changes[0]: heights: entry 0: expected its \"index\""},
      {R"({"changes": [{"change": "reshaped", "old": 1, "heights": [{"index": 2, "new": 1}]}]})",
       "heights: entry 0: expected \"old\" and \"new\""},
      {R"({"changes": [{"change": "reshaped", "old": 1, "heights": [7]}]})",
       "heights: entry 0: expected {"},
      {R"({"changes": [{"change": "reshaped", "old": 1, "heights": [{"index": 99, "old": 0.5, "new": 1}]}]})",
       "lattice 1: heights[99]: the lattice has 9"},
      {R"({"changes": [{"change": "reshaped", "old": 1, "minInsets": [{"index": 0, "old": 0, "new": 1}]}]})",
       "minInsets: entry 0: expected [dx, dz] pairs"},
      {R"({"changes": [{"change": "reshaped", "old": 1, "heights": 3}]})",
       "heights: expected a list of entries"},
      {R"({"changes": [{"change": "moved", "change": "added", "old": 0}]})",
       "changes[0]: the key \"change\" is given twice"},
      {R"({"changes": [], "changes": [{"change": "moved", "old": 0}]})",
       "the key \"changes\" is given twice"},
      {R"({"changes": [{"change": "moved", "old": 0, "id": "1"}]})", "its id is 1 in the map"},
      {R"({"changes": {}})", "an object with \"changes\""},
      {R"([])", "an object with \"changes\""},
      {R"({"changes": [{"change": "moved", "old": 0, "position": {"old": [0, 0, 0], "new": [1e39, 0, 0]}}]})",
       "position[0]: expected old and new numbers"},
  };
  for (const Case& c : cases) {
    LoadedMap map;
    loadMapBytes(bytes, map);
    std::string err;
    EXPECT_FALSE(patchMap(map, c.json, err)) << c.json;
    EXPECT_NE(err.find(c.says), std::string::npos) << c.json << "\n  said: " << err;
  }
  // One good change after a bad one changes nothing either: the caller writes nothing.
  LoadedMap map;
  loadMapBytes(bytes, map);
  std::string err;
  EXPECT_TRUE(patchMap(
      map,
      R"({"changes": [{"change": "reshaped", "old": 1, "heights": [{"index": 2, "old": 0.5, "new": 1}, {"index": 3, "old": 0.5, "new": 2}]}]})",
      err))
      << err;
  EXPECT_EQ(heightsOf(latticesOf(map.lat)[1])[3], 2);
}

// A value the file ends inside of cannot be saved, so it is not editable: patch refuses it by
// name, and nothing is written as if it had been.
TEST(Patch, AValueTheFileEndsInsideIsNotEditable) {
  std::string bytes = mapBytes(withValues(2));
  LoadedMap whole;
  loadMapBytes(bytes, whole);
  bytes.resize(size_t(whole.store.offsets[1].fixed + 6)); // inside the last record's y
  LoadedMap cut;
  loadMapBytes(bytes, cut);
  EXPECT_FALSE(holdsFixed(cut.store, 1, 1));
  EXPECT_TRUE(holdsFixed(cut.store, 1, 0));
  std::string err;
  EXPECT_FALSE(patchMap(
      cut,
      R"({"changes": [{"change": "moved", "old": 1, "position": {"old": [0, 0, 0], "new": [0, 1, 0]}}]})",
      err));
  EXPECT_NE(err.find("changes[0]: lattice 1: position[1]: the file ends inside it; not editable"),
            std::string::npos)
      << err;
  // An edit made in memory past the end is counted, not silently dropped.
  latticesOf(cut.lat)[1]->y = 1;
  size_t dropped = 0;
  EXPECT_EQ(savedMap(cut.lat, cut.store, &dropped), bytes);
  EXPECT_EQ(dropped, 1u);
}

} // namespace
