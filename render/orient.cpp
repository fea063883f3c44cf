// Winding by shared edges: corners are numbered by position, edges sorted by their corners,
// and a union-find with parity joins the triangles each shared edge relates; then each piece
// turns as a whole to face out.
#include "orient.h"

#include "world.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

// One corner's position as bits (+0 for -0, so the two zeros are one place) and its corner.
struct CornerKey {
  uint32_t x, y, z, corner;
};

uint32_t bitsOf(float v) {
  if (v == 0) v = 0;
  uint32_t b;
  std::memcpy(&b, &v, 4);
  return b;
}

// The corners of all triangles numbered by place: equal positions, equal numbers.
std::vector<uint32_t> cornerPlaces(const std::vector<Triangle>& tris) {
  std::vector<CornerKey> keys(3 * tris.size());
  for (size_t t = 0; t < tris.size(); t++)
    for (int c = 0; c < 3; c++) {
      const float* v = tris[t].v[c];
      keys[3 * t + size_t(c)] = {bitsOf(v[0]), bitsOf(v[1]), bitsOf(v[2]), uint32_t(3 * t + c)};
    }
  auto less = [](const CornerKey& a, const CornerKey& b) {
    return a.x != b.x ? a.x < b.x : a.y != b.y ? a.y < b.y : a.z < b.z;
  };
  std::sort(keys.begin(), keys.end(), less);
  std::vector<uint32_t> place(keys.size());
  uint32_t n = 0;
  for (size_t i = 0; i < keys.size(); i++) {
    if (i && less(keys[i - 1], keys[i])) n++;
    place[keys[i].corner] = n;
  }
  return place;
}

// An edge of a triangle between two places, lo < hi; `forward` when the triangle runs lo to hi.
struct Edge {
  uint32_t lo, hi, tri;
  bool forward;
};

std::vector<Edge> edgesByPlace(const std::vector<uint32_t>& place) {
  std::vector<Edge> edges;
  edges.reserve(place.size());
  for (uint32_t t = 0; 3 * size_t(t) < place.size(); t++)
    for (int c = 0; c < 3; c++) {
      uint32_t a = place[3 * t + uint32_t(c)], b = place[3 * t + uint32_t(c + 1) % 3];
      if (a != b) edges.push_back({std::min(a, b), std::max(a, b), t, a < b});
    }
  std::sort(edges.begin(), edges.end(), [](const Edge& a, const Edge& b) {
    return a.lo != b.lo ? a.lo < b.lo : a.hi != b.hi ? a.hi < b.hi : a.tri < b.tri;
  });
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
void addTriangle(PieceSums& s, const Triangle& t, const float origin[3], const Matrix& m,
                 double sign) {
  double p[3][3];
  for (int c = 0; c < 3; c++)
    for (int a = 0; a < 3; a++) p[c][a] = double(t.v[c][a]) - origin[a];
  double n[3], axis[3];
  triangleNormal(t, n);
  worldOutwardAxis(t.face, m, axis);
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
    std::vector<Edge> edges = edgesByPlace(cornerPlaces(tris));
    joinAlongEdges(edges, pieces, open);
  }
  std::vector<uint8_t> turnIt(tris.size());
  std::vector<uint32_t> root(tris.size());
  for (uint32_t t = 0; t < tris.size(); t++) root[t] = pieces.find(t, turnIt[t]);
  pieces = Pieces(0);
  std::vector<PieceSums> sums(tris.size());
  std::vector<uint8_t> openPiece(tris.size(), 0);
  for (uint32_t t = 0; t < tris.size(); t++) {
    addTriangle(sums[root[t]], tris[t], tris[0].v[0], m, turnIt[t] ? -1.0 : 1.0);
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
