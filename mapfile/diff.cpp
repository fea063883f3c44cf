// Map comparison: pairing by ids, value by value comparison of pairs, the other bytes.
#include "diff.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_map>

namespace {

bool sameList(const HeightNode* a, const HeightNode* b) {
  for (; a && b; a = a->next, b = b->next)
    if (!sameFloat(a->value, b->value)) return false;
  return !a && !b;
}

bool sameList(const InsetNode* a, const InsetNode* b) {
  for (; a && b; a = a->next, b = b->next)
    if (!sameFloat(a->dx, b->dx) || !sameFloat(a->dz, b->dz)) return false;
  return !a && !b;
}

bool sameThree(const float* a, const float* b) {
  return sameFloat(a[0], b[0]) && sameFloat(a[1], b[1]) && sameFloat(a[2], b[2]);
}

unsigned differences(const Lattice* a, const Lattice* b) {
  unsigned what = 0;
  if (!sameThree(&a->x, &b->x)) what |= changedPosition;
  if (!sameThree(&a->rx, &b->rx)) what |= changedRotation;
  if (!sameThree(&a->sx, &b->sx)) what |= changedCellSize;
  if (a->nx != b->nx || a->ny != b->ny || a->nz != b->nz) what |= changedCells;
  if (!sameList(a->heights, b->heights)) what |= changedHeights;
  if (!sameList(a->minInsets, b->minInsets)) what |= changedMinInsets;
  if (!sameList(a->maxInsets, b->maxInsets)) what |= changedMaxInsets;
  return what;
}

// Sets otherBytesSame and firstDifference from piecesSame and the changes: whatever else
// tells the files apart (nothing should) is said as other bytes, never as the same map.
void sayOtherBytes(MapDiff& d, const MapSide& a, const MapSide& b) {
  const std::vector<unsigned char>&fa = a.store.file, &fb = b.store.file;
  d.otherBytesSame = d.piecesSame && !(d.changes.empty() && fa != fb);
  d.firstDifference = 0;
  if (!d.otherBytesSame)
    d.firstDifference = uint64_t(
        std::mismatch(fa.begin(), fa.begin() + long(std::min(fa.size(), fb.size())), fb.begin())
            .first -
        fa.begin());
}

} // namespace

// A record's id, counts and cells count in the form the file writes them. Each piece is led by
// its length, so bytes cannot move from one piece to the next unseen. A record cut short counts
// whole.
std::string otherBytes(const MapSide& map, const std::vector<int>& records) {
  const std::vector<unsigned char>& f = map.store.file;
  const std::vector<ValueOffsets>& at = map.store.offsets;
  auto bytes = [&](uint64_t from, uint64_t to) {
    to = std::min<uint64_t>(to ? to : f.size(), f.size());
    std::string piece =
        from < to ? std::string(f.begin() + long(from), f.begin() + long(to)) : std::string();
    uint64_t n = piece.size();
    return std::string(reinterpret_cast<const char*>(&n), 8) + piece;
  };
  uint64_t first = at.empty() || !at[0].record ? f.size() : at[0].record;
  std::string out = bytes(0, first);
  for (int i : records) {
    const ValueOffsets& o = at[size_t(i)];
    if (!o.record) continue;
    const ListLengths& len = map.lengths[size_t(i)];
    if (!o.fixed || !o.minInsets || !o.maxInsets || !o.heights) {
      out += bytes(o.record, o.end);
      continue;
    }
    out += bytes(o.record, o.fixed);
    out += bytes(o.fixed + 36, o.minInsets);
    out += bytes(o.minInsets + 8 * uint64_t(len.minInsets), o.maxInsets);
    out += bytes(o.maxInsets + 8 * uint64_t(len.maxInsets), o.heights);
    out += bytes(o.heights + 4 * uint64_t(len.heights), o.end);
  }
  return out;
}

unsigned latticeDifferences(const Lattice* a, const Lattice* b) {
  return differences(a, b);
}

bool sameFloat(float a, float b) {
  return std::memcmp(&a, &b, 4) == 0;
}

namespace {

// The longest common subsequence of a[from, from + an) and b[from, from + bn), by Hunt and
// Szymanski: for each element of a in turn, each equal element of b (from the last back)
// lowers the least end in b of the common subsequences of its length. `where` holds each id's
// places in b's middle, increasing. Appends the pairs in order.
void huntSzymanski(const std::vector<int>& a, int from, int an,
                   const std::unordered_map<int, std::vector<int>>& where,
                   std::vector<std::pair<int, int>>& pairs) {
  struct Node {
    int i, j, prev; // a pair, and the node of the pair before it (-1: none)
  };
  std::vector<Node> nodes;
  std::vector<int> ends, last; // per length - 1: the least end in b, and its node
  for (int i = from; i < from + an; i++) {
    auto it = where.find(a[size_t(i)]);
    if (it == where.end()) continue;
    const std::vector<int>& js = it->second;
    for (auto j = js.rbegin(); j != js.rend(); ++j) {
      size_t k = size_t(std::lower_bound(ends.begin(), ends.end(), *j) - ends.begin());
      if (k < ends.size() && ends[k] == *j) continue; // no lower end
      nodes.push_back({i, *j, k ? last[k - 1] : -1});
      if (k == ends.size()) {
        ends.push_back(*j);
        last.push_back(int(nodes.size() - 1));
      } else {
        ends[k] = *j;
        last[k] = int(nodes.size() - 1);
      }
    }
  }
  size_t at = pairs.size();
  for (int n = last.empty() ? -1 : last.back(); n >= 0; n = nodes[size_t(n)].prev)
    pairs.push_back({nodes[size_t(n)].i, nodes[size_t(n)].j});
  std::reverse(pairs.begin() + long(at), pairs.end());
}

} // namespace

std::vector<std::pair<int, int>> pairIds(const std::vector<int>& a, const std::vector<int>& b,
                                         size_t cells, size_t matches, bool* exact) {
  if (exact) *exact = true;
  std::vector<std::pair<int, int>> pairs;
  int n = int(a.size()), m = int(b.size()), lo = 0;
  while (lo < n && lo < m && a[size_t(lo)] == b[size_t(lo)]) {
    pairs.push_back({lo, lo});
    lo++;
  }
  int tail = 0;
  while (tail < n - lo && tail < m - lo && a[size_t(n - 1 - tail)] == b[size_t(m - 1 - tail)])
    tail++;
  int an = n - lo - tail, bn = m - lo - tail; // the middle of each
  if (size_t(an + 1) * size_t(bn + 1) <= cells) {
    // L[i][j]: the longest common subsequence of a's middle from i and b's from j (at most
    // 65,535 lattices, so 16 bits hold it).
    std::vector<uint16_t> L(size_t(an + 1) * size_t(bn + 1), 0);
    auto at = [&](int i, int j) -> uint16_t& { return L[size_t(i) * size_t(bn + 1) + size_t(j)]; };
    for (int i = an - 1; i >= 0; i--)
      for (int j = bn - 1; j >= 0; j--)
        at(i, j) = a[size_t(lo + i)] == b[size_t(lo + j)] ? uint16_t(at(i + 1, j + 1) + 1)
                                                          : std::max(at(i + 1, j), at(i, j + 1));
    for (int i = 0, j = 0; i < an && j < bn;) {
      if (a[size_t(lo + i)] == b[size_t(lo + j)]) {
        pairs.push_back({lo + i++, lo + j++});
      } else if (at(i + 1, j) >= at(i, j + 1)) {
        i++;
      } else {
        j++;
      }
    }
  } else {
    // Too large a middle for the table: by the pairs of equal ids, where they are few enough.
    std::unordered_map<int, std::vector<int>> where;
    for (int j = 0; j < bn; j++) where[b[size_t(lo + j)]].push_back(lo + j);
    size_t r = 0;
    for (int i = lo; i < lo + an && r <= matches; i++) {
      auto it = where.find(a[size_t(i)]);
      if (it != where.end()) r += it->second.size();
    }
    if (r <= matches) {
      huntSzymanski(a, lo, an, where, pairs);
      for (int k = tail; k > 0; k--) pairs.push_back({n - k, m - k});
      return pairs;
    }
    // Too many: each lattice of a, in order, pairs with the next lattice of b with its id.
    if (exact) *exact = false;
    for (auto& [id, js] : where) std::reverse(js.begin(), js.end());
    int next = lo;
    for (int i = lo; i < lo + an; i++) {
      auto it = where.find(a[size_t(i)]);
      if (it == where.end()) continue;
      std::vector<int>& js = it->second; // decreasing: the next candidate at the back
      while (!js.empty() && js.back() < next) js.pop_back();
      if (js.empty()) continue;
      pairs.push_back({i, js.back()});
      next = js.back() + 1;
      js.pop_back();
    }
  }
  for (int k = tail; k > 0; k--) pairs.push_back({n - k, m - k});
  return pairs;
}

MapDiff diffMaps(const MapSide& a, const MapSide& b) {
  std::vector<const Lattice*> la = latticeList(a.lat), lb = latticeList(b.lat);
  std::vector<int> ia, ib;
  for (const Lattice* L : la) ia.push_back(L->id);
  for (const Lattice* L : lb) ib.push_back(L->id);
  MapDiff d;
  std::vector<int> pairedA, pairedB;
  int i = 0, j = 0;
  auto unpaired = [&](int toA, int toB) {
    for (; i < toA; i++, d.removed++) d.changes.push_back({i, -1, 0});
    for (; j < toB; j++, d.added++) d.changes.push_back({-1, j, 0});
  };
  for (auto [pa, pb] : pairIds(ia, ib, size_t(1) << 24, size_t(1) << 24, &d.exactPairing)) {
    unpaired(pa, pb);
    pairedA.push_back(pa);
    pairedB.push_back(pb);
    unsigned what = differences(la[size_t(pa)], lb[size_t(pb)]);
    if (!what) {
      d.unchanged++;
    } else {
      d.changes.push_back({pa, pb, what});
      bool moved = what & changedMoved, reshaped = what & changedReshaped;
      (moved && reshaped ? d.both : moved ? d.moved : d.reshaped)++;
    }
    i = pa + 1;
    j = pb + 1;
  }
  unpaired(int(la.size()), int(lb.size()));
  d.oldOf.assign(lb.size(), -1);
  for (size_t k = 0; k < pairedB.size(); k++) d.oldOf[size_t(pairedB[k])] = pairedA[k];
  d.piecesSame = otherBytes(a, pairedA) == otherBytes(b, pairedB);
  sayOtherBytes(d, a, b);
  return d;
}

void rediffLattice(MapDiff& d, const MapSide& a, const MapSide& b, int j) {
  if (j < 0 || size_t(j) >= d.oldOf.size() || d.oldOf[size_t(j)] < 0) return; // added: stays so
  int i = d.oldOf[size_t(j)];
  const Lattice *la = latticeAt(a.lat, i), *lb = latticeAt(b.lat, j);
  if (!la || !lb) return;
  unsigned what = differences(la, lb);
  auto at = std::find_if(d.changes.begin(), d.changes.end(),
                         [&](const LatticeChange& c) { return c.newIndex == j; });
  auto count = [&](unsigned w, int by) {
    if (!w) {
      d.unchanged += by;
      return;
    }
    bool moved = w & changedMoved, reshaped = w & changedReshaped;
    (moved && reshaped ? d.both : moved ? d.moved : d.reshaped) += by;
  };
  count(at == d.changes.end() ? 0 : at->what, -1);
  count(what, 1);
  if (at != d.changes.end() && what) {
    at->what = what;
  } else if (at != d.changes.end()) {
    d.changes.erase(at);
  } else if (what) {
    // Where the sweep of diffMaps puts the pair: after what lies before both of its lattices.
    auto after = std::find_if(d.changes.begin(), d.changes.end(), [&](const LatticeChange& c) {
      return c.newIndex >= 0 ? c.newIndex > j : c.oldIndex > i;
    });
    d.changes.insert(after, {i, j, what});
  }
  sayOtherBytes(d, a, b);
}
