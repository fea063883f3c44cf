// Winding by shared edges: corners are numbered by position, edges ordered by their corners,
// and a union-find with parity joins the triangles each shared edge relates; then each piece
// turns as a whole to face out.
#include "orient.h"

#include "world.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

// A distinct corner position as bits (+0 for -0, so the two zeros are one place), and which
// distinct position it is in the order found.
struct CornerKey {
  uint32_t x, y, z, id;
};

uint32_t bitsOf(float v) {
  if (v == 0) v = 0;
  uint32_t b;
  std::memcpy(&b, &v, 4);
  return b;
}

bool keyLess(const CornerKey& a, const CornerKey& b) {
  return a.x != b.x ? a.x < b.x : a.y != b.y ? a.y < b.y : a.z < b.z;
}

// The slot of a position in a table of 2^bits slots: the top bits of a multiplicative hash.
size_t slotOf(uint32_t x, uint32_t y, uint32_t z, int bits) {
  uint64_t h =
      (uint64_t(x) << 32 | y) * 0x9E3779B97F4A7C15ull ^ uint64_t(z) * 0xC2B2AE3D27D4EB4Full;
  h ^= h >> 31;
  h *= 0xD6E8FEB86659FD93ull;
  return size_t(h >> (64 - bits));
}

// Puts `k` into an open-addressed table of 2^bits slots (an empty one's id is UINT32_MAX) that
// has room; the slot.
size_t placeKey(std::vector<CornerKey>& table, int bits, const CornerKey& k) {
  const size_t mask = (size_t(1) << bits) - 1;
  size_t s = slotOf(k.x, k.y, k.z, bits);
  while (table[s].id != UINT32_MAX && (table[s].x != k.x || table[s].y != k.y || table[s].z != k.z))
    s = (s + 1) & mask;
  return s;
}

// The corners of all triangles numbered by place: equal positions, equal numbers, and the
// numbers in the (x, y, z) order of the positions' bits. Distinct positions are found through
// a hash table that holds them whole (one memory access a corner), so only they are sorted (a
// surface's corner is shared by about six triangles). `places`: how many distinct there are.
std::vector<uint32_t> cornerPlaces(const std::vector<Triangle>& tris, uint32_t& places) {
  const size_t n = 3 * tris.size();
  std::vector<uint32_t> id(n);
  int bits = 10;
  while ((size_t(1) << bits) < n / 3) bits++;
  const CornerKey empty{0, 0, 0, UINT32_MAX};
  std::vector<CornerKey> table(size_t(1) << bits, empty);
  uint32_t found = 0;
  for (size_t c = 0; c < n; c++) {
    const float* v = tris[c / 3].v[c % 3];
    const CornerKey k{bitsOf(v[0]), bitsOf(v[1]), bitsOf(v[2]), found};
    size_t s = placeKey(table, bits, k);
    if (table[s].id == UINT32_MAX) {
      table[s] = k;
      found++;
    }
    id[c] = table[s].id;
    if (2 * size_t(found) > table.size()) { // keep the table at most half full
      std::vector<CornerKey> old(size_t(1) << ++bits, empty);
      old.swap(table);
      for (const CornerKey& o : old)
        if (o.id != UINT32_MAX) table[placeKey(table, bits, o)] = o;
    }
  }
  std::vector<CornerKey> keys;
  keys.reserve(found);
  for (const CornerKey& k : table)
    if (k.id != UINT32_MAX) keys.push_back(k);
  table = {};
  std::sort(keys.begin(), keys.end(), keyLess);
  std::vector<uint32_t> rank(keys.size());
  for (size_t r = 0; r < keys.size(); r++) rank[keys[r].id] = uint32_t(r);
  for (uint32_t& c : id) c = rank[c];
  places = found;
  return id;
}

// An edge of a triangle between two places, lo < hi; `forward` when the triangle runs lo to hi.
struct Edge {
  uint32_t lo, hi, tri;
  bool forward;
};

// The triangles' edges between distinct places, in the order of (lo, hi, triangle): counted
// into one bucket per lo in triangle order, then each bucket (a place's few edges) sorted by hi,
// keeping the triangle order.
std::vector<Edge> edgesByPlace(const std::vector<uint32_t>& place, uint32_t places) {
  std::vector<uint32_t> start(size_t(places) + 1, 0);
  const uint32_t tris = uint32_t(place.size() / 3);
  auto each = [&](auto f) {
    for (uint32_t t = 0; t < tris; t++)
      for (uint32_t c = 0; c < 3; c++) {
        uint32_t a = place[3 * t + c], b = place[3 * t + (c + 1) % 3];
        if (a != b) f(Edge{std::min(a, b), std::max(a, b), t, a < b});
      }
  };
  each([&](const Edge& e) { start[e.lo + 1]++; });
  for (size_t p = 0; p < places; p++) start[p + 1] += start[p];
  std::vector<Edge> edges(start[places]);
  {
    std::vector<uint32_t> at(start.begin(), start.end() - 1);
    each([&](const Edge& e) { edges[at[e.lo]++] = e; });
  }
  for (size_t p = 0; p < places; p++)
    for (uint32_t i = start[p] + 1; i < start[p + 1]; i++) {
      Edge e = edges[i];
      uint32_t j = i;
      for (; j > start[p] && edges[j - 1].hi > e.hi; j--) edges[j] = edges[j - 1];
      edges[j] = e;
    }
  return edges;
}

// Union-find over triangles with the parity of each one's turn relative to its parent.
struct Pieces {
  std::vector<uint32_t> up;
  std::vector<uint8_t> parity;

  explicit Pieces(size_t n) : up(n), parity(n, 0) {
    for (size_t i = 0; i < n; i++) up[i] = uint32_t(i);
  }
  // The root of t, with t's turn relative to it in `p`; compresses the path.
  uint32_t find(uint32_t t, uint8_t& p) {
    uint32_t r = t;
    uint8_t acc = 0;
    while (up[r] != r) {
      acc ^= parity[r];
      r = up[r];
    }
    for (uint32_t s = t, sp = acc; up[s] != s;) {
      uint32_t next = up[s];
      uint8_t own = parity[s];
      up[s] = r;
      parity[s] = uint8_t(sp);
      sp ^= own;
      s = next;
    }
    p = acc;
    return r;
  }
  // Asks that a and b turn alike (differ = 0) or oppositely (1); a request that contradicts
  // what is already joined is left out.
  void join(uint32_t a, uint32_t b, uint8_t differ) {
    uint8_t pa, pb;
    uint32_t ra = find(a, pa), rb = find(b, pb);
    if (ra == rb) return;
    up[rb] = ra;
    parity[rb] = uint8_t(pa ^ pb ^ differ);
  }
};

// The end of the run of edges from i that join the same two places.
size_t sameEdgeEnd(const std::vector<Edge>& edges, size_t i) {
  size_t j = i + 1;
  while (j < edges.size() && edges[j].lo == edges[i].lo && edges[j].hi == edges[i].hi) j++;
  return j;
}

// Joins the triangles of each shared edge: two that run it the same way must turn oppositely.
// Edges with exactly two triangles go first, so the ordinary surface wins over folds where
// more meet; `open` marks the triangles with an edge not shared by exactly two.
void joinAlongEdges(const std::vector<Edge>& edges, Pieces& pieces, std::vector<uint8_t>& open) {
  for (int pass = 0; pass < 2; pass++)
    for (size_t i = 0, j; i < edges.size(); i = j) {
      j = sameEdgeEnd(edges, i);
      if ((j - i == 2) != (pass == 0)) continue;
      for (size_t k = i + 1; k < j; k++)
        pieces.join(edges[i].tri, edges[k].tri, edges[i].forward == edges[k].forward);
      if (pass == 1)
        for (size_t k = i; k < j; k++) open[edges[k].tri] = 1;
    }
}

// Per piece (by root): signed volume, its size, and area facing along the faces' axes, each as
// the triangles stand now.
struct PieceSums {
  double volume = 0, volumeSize = 0, facing = 0;
};

// `origin` is any fixed point: near the triangles, for precision.
// `axes`: each face's outward axis in the world (worldOutwardAxis), by face.
void addTriangle(PieceSums& s, const Triangle& t, const float origin[3], const double axes[6][3],
                 double sign) {
  double p[3][3];
  for (int c = 0; c < 3; c++)
    for (int a = 0; a < 3; a++) p[c][a] = double(t.v[c][a]) - origin[a];
  double n[3];
  triangleNormal(t, n);
  const double* axis = axes[int(t.face)];
  double v = p[0][0] * (p[1][1] * p[2][2] - p[1][2] * p[2][1]) -
             p[0][1] * (p[1][0] * p[2][2] - p[1][2] * p[2][0]) +
             p[0][2] * (p[1][0] * p[2][1] - p[1][1] * p[2][0]);
  s.volume += sign * v;
  s.volumeSize += std::fabs(v);
  double along = n[0] * axis[0] + n[1] * axis[1] + n[2] * axis[2];
  double area = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
  if (along != 0) s.facing += sign * (along > 0 ? area : -area);
}

void turn(Triangle& t) {
  for (int a = 0; a < 3; a++) std::swap(t.v[1][a], t.v[2][a]);
}

} // namespace

void orientOutward(std::vector<Triangle>& tris, const Matrix& m) {
  if (tris.empty()) return;
  Pieces pieces(tris.size());
  std::vector<uint8_t> open(tris.size(), 0);
  {
    uint32_t places = 0;
    std::vector<uint32_t> place = cornerPlaces(tris, places);
    std::vector<Edge> edges = edgesByPlace(place, places);
    joinAlongEdges(edges, pieces, open);
  }
  std::vector<uint8_t> turnIt(tris.size());
  std::vector<uint32_t> root(tris.size());
  for (uint32_t t = 0; t < tris.size(); t++) root[t] = pieces.find(t, turnIt[t]);
  pieces = Pieces(0);
  double axes[6][3];
  for (int f = 0; f < 6; f++) worldOutwardAxis(Face(f), m, axes[f]);
  std::vector<PieceSums> sums(tris.size());
  std::vector<uint8_t> openPiece(tris.size(), 0);
  for (uint32_t t = 0; t < tris.size(); t++) {
    addTriangle(sums[root[t]], tris[t], tris[0].v[0], axes, turnIt[t] ? -1.0 : 1.0);
    openPiece[root[t]] |= open[t];
  }
  for (uint32_t t = 0; t < tris.size(); t++) {
    const PieceSums& s = sums[root[t]];
    // A closed piece with room inside faces out by its volume; others by their facing area.
    bool byVolume = !openPiece[root[t]] && std::fabs(s.volume) > 1e-9 * s.volumeSize;
    bool inward = byVolume ? s.volume < 0 : s.facing < 0;
    if ((turnIt[t] != 0) != inward) turn(tris[t]);
  }
}
