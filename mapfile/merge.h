// A three-way merge of maps, as git merges text: each side is paired with the common base as
// diff pairs them, a value changed on one side is taken, on both alike once, and on both
// differently is a conflict that keeps ours. Structure (lattices added or removed, cells,
// list lengths, ids, references, other records) changed on one side only makes that side's
// bytes the result's; changed on both, it must be the same change.
#pragma once

#include "reader.h"

#include <cstdint>
#include <string>
#include <vector>

// Where the two sides disagree. `values` hold base, ours and theirs in turn, `width` floats
// each (3 for a position, rotation or cell size, 1 for a height, 2 for an inset's dx and dz);
// `hasBase` is false for a lattice both sides added.
struct MergeConflict {
  enum Kind { value, removed, structure } kind = value;
  int lattice = -1; // list index in the result (for `removed`: in the base)
  int id = 0;
  std::string what; // "position", "rotation", "cell size", "height 17", "min inset 2", ...
  int width = 0;
  bool hasBase = true;
  std::vector<float> values;
};

// Where a lattice of the result has changes from: bits of a MergeResult's `origins`.
enum MergeOrigin : uint8_t { fromOurs = 1, fromTheirs = 2, inConflict = 4 };

struct MergeResult {
  std::string bytes; // the merged map: every clean change, ours at each conflict
  std::vector<MergeConflict> conflicts;
  std::vector<uint8_t> origins;  // by list index of the result: MergeOrigin bits
  bool startsFromTheirs = false; // theirs alone changed the structure: its bytes are the result's
  size_t dropped = 0; // changed values with no place in the file (see savedMap): no result
};

// Merges `ours` and `theirs`, both made from `base`. The lattices of `ours` or `theirs` (the
// side whose bytes the result starts from) take the merged values.
MergeResult mergeMaps(const LoadedMap& base, LoadedMap& ours, LoadedMap& theirs);

// The origins of `r` for the lattices of `lat` (a map made from the result, as a merge tool
// saved it): each lattice takes those of the result's lattice it pairs with by id, as diff
// pairs them; one the result lacks has none.
std::vector<uint8_t> mapOrigins(const Lattice* lat, const MergeResult& r);
