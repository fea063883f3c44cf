// The three-way merge: who changed the structure decides whose bytes the result starts from;
// then every editable value of each lattice the three maps share is merged on its own.
#include "merge.h"

#include "diff.h"
#include "save.h"

#include <algorithm>

namespace {

std::vector<int> idsOf(const Lattice* lat) {
  std::vector<int> ids;
  for (const Lattice* L = lat; L; L = L->next) ids.push_back(L->id);
  return ids;
}

std::vector<Lattice*> listOf(Lattice* lat) {
  std::vector<Lattice*> l;
  for (Lattice* L = lat; L; L = L->next) l.push_back(L);
  return l;
}

template <class N> size_t lengthOf(const N* n) {
  size_t k = 0;
  for (; n; n = n->next) k++;
  return k;
}

// Whether the side that `d` compares with the base changed the structure: a lattice added or
// removed, a pair's cells or list lengths, or any byte that is no editable value.
bool structureChanged(const MapDiff& d, const Lattice* base, const Lattice* side) {
  if (d.added || d.removed || !d.otherBytesSame) return true;
  std::vector<const Lattice*> b = latticeList(base), s = latticeList(side);
  for (const LatticeChange& c : d.changes) {
    if (c.what & changedCells) return true;
    const Lattice *x = b[size_t(c.oldIndex)], *y = s[size_t(c.newIndex)];
    if (lengthOf(x->heights) != lengthOf(y->heights) ||
        lengthOf(x->minInsets) != lengthOf(y->minInsets) ||
        lengthOf(x->maxInsets) != lengthOf(y->maxInsets))
      return true;
  }
  return false;
}

// One lattice's values merged: base `b` (null when both sides added it), `o`urs and `t`heirs,
// into `out` (o or t: the lattice of the side the result starts from, at list index `index`).
struct LatticeMerge {
  const Lattice *b, *o, *t;
  Lattice* out;
  int index;
  std::vector<MergeConflict>& conflicts;

  // The merged value of one float (`bv` counts only with `hasBase`); `clash` is set when the
  // sides changed it differently.
  static float pick(bool hasBase, float bv, float ov, float tv, bool& clash) {
    if (hasBase && sameFloat(ov, bv)) return tv;
    if (hasBase && sameFloat(tv, bv)) return ov;
    if (sameFloat(ov, tv)) return ov;
    clash = true;
    return ov;
  }

  void conflict(MergeConflict::Kind kind, const std::string& what, int width, bool hasBase,
                std::vector<float> values) {
    conflicts.push_back({kind, index, out->id, what, width, hasBase, std::move(values)});
  }

  // Position, rotation or cell size: three floats from `at` (0, 3, 6) after x.
  void fixed(int at, const char* name) {
    const float *bv = b ? &b->x + at : nullptr, *ov = &o->x + at, *tv = &t->x + at;
    float merged[3];
    bool clash = false;
    for (int k = 0; k < 3; k++) merged[k] = pick(bv, bv ? bv[k] : 0, ov[k], tv[k], clash);
    if (clash) {
      std::vector<float> v;
      if (bv) v.insert(v.end(), bv, bv + 3);
      v.insert(v.end(), ov, ov + 3);
      v.insert(v.end(), tv, tv + 3);
      conflict(MergeConflict::value, name, 3, bv != nullptr, v);
    }
    std::copy(merged, merged + 3, &out->x + at);
  }

  static float get(const HeightNode* n, int) { return n->value; }
  static float get(const InsetNode* n, int k) { return k ? n->dz : n->dx; }
  static float& ref(HeightNode* n, int) { return n->value; }
  static float& ref(InsetNode* n, int k) { return k ? n->dz : n->dx; }

  // A list of `width` floats an entry, named `name` ("height", "min inset").
  template <class N>
  void list(const N* bl, const N* ol, const N* tl, N* outl, int width, const char* name) {
    size_t on = lengthOf(ol), tn = lengthOf(tl), bn = b ? lengthOf(bl) : on;
    if (on != tn) {
      // One side changed how many there are (the result has its list); the other may not
      // have changed their values meanwhile.
      const N* kept = bn == on ? ol : bn == tn ? tl : nullptr;
      bool touched = !kept;
      for (const N *x = kept, *y = bl; x && y && !touched; x = x->next, y = y->next)
        for (int k = 0; k < width; k++) touched = touched || !sameFloat(get(x, k), get(y, k));
      if (touched) conflict(MergeConflict::structure, std::string(name) + "s", width, true, {});
      return;
    }
    bool hasBase = b && bn == on; // both sides changed the count alike: no base to go by
    if (!hasBase) bl = nullptr;
    size_t entry = 0;
    for (; ol && tl && outl; ol = ol->next, tl = tl->next, outl = outl->next, entry++) {
      float merged[2], bv[2] = {}, ov[2], tv[2];
      bool clash = false;
      for (int k = 0; k < width; k++) {
        bv[k] = bl ? get(bl, k) : 0;
        ov[k] = get(ol, k);
        tv[k] = get(tl, k);
        merged[k] = pick(hasBase, bv[k], ov[k], tv[k], clash);
      }
      if (clash) {
        std::vector<float> v;
        if (hasBase) v.insert(v.end(), bv, bv + width);
        v.insert(v.end(), ov, ov + width);
        v.insert(v.end(), tv, tv + width);
        conflict(MergeConflict::value, std::string(name) + " " + std::to_string(entry), width,
                 hasBase, v);
      }
      for (int k = 0; k < width; k++) ref(outl, k) = merged[k];
      if (bl) bl = bl->next;
    }
  }

  void run() {
    fixed(0, "position");
    fixed(3, "rotation");
    fixed(6, "cell size");
    list(b ? b->minInsets : nullptr, o->minInsets, t->minInsets, out->minInsets, 2, "min inset");
    list(b ? b->maxInsets : nullptr, o->maxInsets, t->maxInsets, out->maxInsets, 2, "max inset");
    list(b ? b->heights : nullptr, o->heights, t->heights, out->heights, 1, "height");
  }
};

} // namespace

std::vector<uint8_t> mapOrigins(const Lattice* lat, const MergeResult& r) {
  LoadedMap result;
  loadMapBytes(r.bytes, result);
  std::vector<uint8_t> o(size_t(latticeCount(lat)), 0);
  for (auto [i, j] : pairIds(idsOf(result.lat), idsOf(lat)))
    if (size_t(i) < r.origins.size()) o[size_t(j)] = r.origins[size_t(i)];
  return o;
}

MergeResult mergeMaps(const LoadedMap& base, LoadedMap& ours, LoadedMap& theirs) {
  MergeResult r;
  MapDiff dO = diffMaps(base, ours), dT = diffMaps(base, theirs);
  bool so = structureChanged(dO, base.lat, ours.lat),
       st = structureChanged(dT, base.lat, theirs.lat);
  std::vector<const Lattice*> lb = latticeList(base.lat);
  std::vector<Lattice*> lo = listOf(ours.lat), lt = listOf(theirs.lat);
  LoadedMap* start = &ours;
  // The result's list index of each side's lattice: the same, or for the side whose structure
  // is not the result's (its list is the base's), where its base lattice went.
  std::vector<int> toResultO(lo.size()), toResultT(lt.size());
  for (size_t k = 0; k < lo.size(); k++) toResultO[k] = int(k);
  for (size_t k = 0; k < lt.size(); k++) toResultT[k] = int(k);
  if (!so && !st) {
    // The same lattices in the same order on all three: each merged in ours.
    for (size_t k = 0; k < lo.size(); k++)
      LatticeMerge{lb[k], lo[k], lt[k], lo[k], int(k), r.conflicts}.run();
  } else if (so != st) {
    // One side changed the structure: its bytes are the result's, and the other side's values
    // go to the lattices they pair with there.
    start = so ? &ours : &theirs;
    std::vector<Lattice*>& ls = so ? lo : lt;
    std::vector<Lattice*>& lx = so ? lt : lo; // paired with the base one to one
    std::vector<int> at(lb.size(), -1);
    for (auto [i, j] : pairIds(idsOf(base.lat), idsOf(start->lat))) at[size_t(i)] = j;
    std::vector<int>& moved = so ? toResultT : toResultO;
    for (size_t i = 0; i < moved.size(); i++) moved[i] = i < at.size() ? at[i] : -1;
    r.startsFromTheirs = !so;
    for (size_t i = 0; i < lb.size(); i++) {
      int j = at[i];
      if (j < 0) {
        if (latticeDifferences(lb[i], lx[i]))
          r.conflicts.push_back(
              {MergeConflict::removed, int(i), lb[i]->id, "removed", 0, true, {}});
        continue;
      }
      Lattice* s = ls[size_t(j)];
      LatticeMerge{lb[i], so ? s : lx[i], so ? lx[i] : s, s, j, r.conflicts}.run();
    }
  } else {
    // Both changed the structure: only the same change on both merges.
    MapDiff d = diffMaps(ours, theirs);
    bool same = !structureChanged(d, ours.lat, theirs.lat);
    if (same) {
      std::vector<int> at(lo.size(), -1);
      for (auto [i, j] : pairIds(idsOf(base.lat), idsOf(ours.lat))) at[size_t(j)] = i;
      for (size_t k = 0; k < lo.size(); k++)
        LatticeMerge{
            at[k] < 0 ? nullptr : lb[size_t(at[k])], lo[k], lt[k], lo[k], int(k), r.conflicts}
            .run();
    } else {
      r.conflicts.push_back({MergeConflict::structure, -1, 0, "map", 0, true, {}});
      toResultT.assign(lt.size(), -1); // nothing of theirs is in the result
    }
  }
  r.origins.assign(size_t(latticeCount(start->lat)), 0);
  auto mark = [&](const MapDiff& d, const std::vector<int>& to, uint8_t bit) {
    for (const LatticeChange& c : d.changes)
      if (c.newIndex >= 0 && to[size_t(c.newIndex)] >= 0 &&
          size_t(to[size_t(c.newIndex)]) < r.origins.size())
        r.origins[size_t(to[size_t(c.newIndex)])] |= bit;
  };
  mark(dO, toResultO, fromOurs);
  mark(dT, toResultT, fromTheirs);
  for (const MergeConflict& c : r.conflicts)
    if (c.kind != MergeConflict::removed && c.lattice >= 0 && size_t(c.lattice) < r.origins.size())
      r.origins[size_t(c.lattice)] |= inConflict;
  r.bytes = savedMap(start->lat, start->store, &r.dropped);
  return r;
}
