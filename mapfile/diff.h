// Comparing two maps: lattices paired by a longest common subsequence of their ids in list
// order (as diff pairs lines), each pair compared value by value, and the rest of the files
// compared as bytes.
#pragma once

#include "reader.h"

#include <cstdint>
#include <string>
#include <vector>

// What differs in a pair of lattices, as bits.
enum : unsigned {
  changedPosition = 1,
  changedRotation = 2,
  changedCellSize = 4,
  changedCells = 8,
  changedHeights = 16,
  changedMinInsets = 32,
  changedMaxInsets = 64,
  changedMoved = changedPosition | changedRotation | changedCellSize,
  changedReshaped = changedCells | changedHeights | changedMinInsets | changedMaxInsets,
};

// One lattice of either map that is not the same in both: a pair that differs (both indices),
// or a lattice only one map has (the other index -1).
struct LatticeChange {
  int oldIndex = -1, newIndex = -1; // list indices
  unsigned what = 0;                // changed... bits; 0 for added and removed lattices
};

struct MapDiff {
  std::vector<LatticeChange> changes; // in list order of NEW, a removed lattice where it stood
  int moved = 0, reshaped = 0, both = 0, added = 0, removed = 0, unchanged = 0;
  bool exactPairing = true;     // false: too many repeated ids, paired greedily (pairIds)
  std::vector<int> oldOf;       // by new list index: the old lattice paired with it; -1: added
  bool piecesSame = true;       // the otherBytes of both maps are equal
  bool otherBytesSame = true;   // header, other records and the unread bytes of paired records
  uint64_t firstDifference = 0; // when they differ: the first byte where the files differ
};

// Lattice ids in list order paired as diff pairs lines: pairs[k] = {old index, new index},
// increasing in both. Common runs at the start and end pair first; the rest by a longest
// common subsequence: from a table where that takes at most `cells` entries, else by
// Hunt and Szymanski's method (its time and memory grow with the pairs of equal ids, at most
// `matches` of them); past that, greedily in order, and `exact` (when given) is set false.
std::vector<std::pair<int, int>> pairIds(const std::vector<int>& a, const std::vector<int>& b,
                                         size_t cells = size_t(1) << 24,
                                         size_t matches = size_t(1) << 24, bool* exact = nullptr);

// One map to compare: its store's bytes and offsets, its list, and the list lengths its
// records gave.
struct MapSide {
  const MapStore& store;
  const Lattice* lat;
  const std::vector<ListLengths>& lengths;
};

// The bytes of `map` no lattice value takes, for lattices `records` (list indices, in order):
// everything before the first lattice record, then of each record every byte but its nine
// placement floats and its lists' values; each piece led by its length (8 bytes).
std::string otherBytes(const MapSide& map, const std::vector<int>& records);

// What differs between lattices `a` and `b`, as changed... bits (values compared by their bits).
unsigned latticeDifferences(const Lattice* a, const Lattice* b);

// Compares two maps.
MapDiff diffMaps(const MapSide& a, const MapSide& b);
inline MapDiff diffMaps(const LoadedMap& a, const LoadedMap& b) {
  return diffMaps({a.store, a.lat, a.rep.lengths}, {b.store, b.lat, b.rep.lengths});
}

// Compares again only the pair of new lattice `newIndex` after its values changed (the lists
// and their lengths did not): `d` becomes what diffMaps(a, b) gives.
void rediffLattice(MapDiff& d, const MapSide& a, const MapSide& b, int newIndex);

// Whether two floats are the same value as stored: equal bits (NaNs with other payloads
// differ, as any other bits do).
bool sameFloat(float a, float b);
