// Chunk boxes of the drawn lattices in their own frames and in the world, for picks and the
// map's box, made once and then only where an edit changed triangles or placements.
#include "bounds.h"

#include "placement.h"
#include "retained.h"

#include <algorithm>
#include <cmath>

namespace {

const ViewerState plain{}; // picks and boxes see the world export writes

void emptyBox(BoundChunk& c) {
  for (int a = 0; a < 3; a++) {
    c.lo[a] = INFINITY;
    c.hi[a] = -INFINITY;
    c.wlo[a] = INFINITY;
    c.whi[a] = -INFINITY;
  }
}

// The own-frame box of `tris`; a corner that is not finite makes it unbounded (never passed
// over).
void boundOwn(const std::vector<Triangle>& tris, BoundChunk& c) {
  for (int a = 0; a < 3; a++) {
    c.lo[a] = INFINITY;
    c.hi[a] = -INFINITY;
  }
  for (const Triangle& t : tris)
    for (const float* p : t.v)
      for (int a = 0; a < 3; a++) {
        if (!std::isfinite(p[a])) {
          c.lo[a] = -INFINITY;
          c.hi[a] = INFINITY;
        }
        c.lo[a] = std::min(c.lo[a], p[a]);
        c.hi[a] = std::max(c.hi[a], p[a]);
      }
}

// The world box of `tris`, placed (the finite ones kept, as worldBox counts them).
void boundWorld(const Matrix& m, std::vector<Triangle>& tris, BoundChunk& c) {
  placeTriangles(m, tris);
  for (int a = 0; a < 3; a++) {
    c.wlo[a] = INFINITY;
    c.whi[a] = -INFINITY;
  }
  for (const Triangle& t : tris)
    for (const float* p : t.v)
      for (int a = 0; a < 3; a++) {
        c.wlo[a] = std::min(c.wlo[a], double(p[a]));
        c.whi[a] = std::max(c.whi[a], double(p[a]));
      }
}

// Triangles of chunk `c` of lattice `i` into b.tris, own frame; its tables prepared.
void emitChunk(SceneBounds& b, size_t i, size_t c) {
  const LatticeBounds& l = b.lattices[i];
  b.tris.clear();
  CollectEmitter emit{&b.tris};
  size_t from = c * chunkTriangles;
  drawLatticeRange(b.list[i], plain, l.box, b.faces, from,
                   std::min(l.triangles, from + chunkTriangles), emit);
}

void makeOwnBoxes(SceneBounds& b) {
  if (b.known) return;
  b.chunks.clear();
  std::vector<bool> boxed = boxedLattices(b.lat, b.triangleBudget);
  for (size_t i = 0; i < b.list.size(); i++) {
    LatticeBounds& l = b.lattices[i];
    const Lattice* L = b.list[i];
    l = LatticeBounds{};
    l.drawn = L->id != 0;
    l.box = boxed[i];
    l.firstChunk = b.chunks.size();
    if (!l.drawn) continue;
    l.triangles = l.box ? boxTriangles : faceTriangles(L);
    l.chunkCount = (l.triangles + chunkTriangles - 1) / chunkTriangles;
    if (l.chunkCount) prepareFaceTables(L, plain, b.faces);
    for (size_t c = 0; c < l.chunkCount; c++) {
      BoundChunk k;
      emptyBox(k);
      emitChunk(b, i, c);
      boundOwn(b.tris, k);
      b.chunks.push_back(k);
    }
  }
  b.known = true;
}

void makePlacements(SceneBounds& b) {
  if (b.placed) return;
  b.placements = latticePlacements(b.lat, plain);
  b.placed = true;
}

void makeWorldBoxes(SceneBounds& b, size_t i) {
  LatticeBounds& l = b.lattices[i];
  if (l.worldKnown) return;
  if (l.chunkCount) prepareFaceTables(b.list[i], plain, b.faces);
  for (size_t c = 0; c < l.chunkCount; c++) {
    emitChunk(b, i, c);
    boundWorld(b.placements[i], b.tris, b.chunks[l.firstChunk + c]);
  }
  l.worldKnown = true;
}

// Whether the pick ray surely misses every triangle in own-frame box lo..hi of a lattice placed
// by `place`: the box's corners in the eye's frame, widened by far more than the rounding of
// the placed corners, lie beside the ray.
bool rayMisses(const PickRay& r, const Matrix& place, const Matrix& eye, const float lo[3],
               const float hi[3]) {
  if (!(lo[0] <= hi[0] && lo[1] <= hi[1] && lo[2] <= hi[2])) return true; // nothing drawn
  for (int a = 0; a < 3; a++)
    if (!std::isfinite(lo[a]) || !std::isfinite(hi[a])) return false;
  double elo[3] = {INFINITY, INFINITY, INFINITY}, ehi[3] = {-INFINITY, -INFINITY, -INFINITY};
  double size = 1;
  for (int k = 0; k < 8; k++) {
    double p[3] = {k & 1 ? hi[0] : lo[0], k & 2 ? hi[1] : lo[1], k & 4 ? hi[2] : lo[2]}, w[3], e[3];
    transformPoint(place, p, w);
    transformPoint(eye, p, e);
    for (int a = 0; a < 3; a++) {
      e[a] -= r.from[a];
      elo[a] = std::min(elo[a], e[a]);
      ehi[a] = std::max(ehi[a], e[a]);
      size = std::max({size, std::fabs(w[a]), std::fabs(e[a])});
    }
  }
  double eps = 1e-5 * size, tmin = -INFINITY, tmax = INFINITY;
  for (int a = 0; a < 3; a++) {
    double l = elo[a] - eps, h = ehi[a] + eps;
    if (!std::isfinite(l) || !std::isfinite(h)) return false;
    if (r.d[a] == 0) {
      if (l > 0 || h < 0) return true;
      continue;
    }
    double t1 = l / r.d[a], t2 = h / r.d[a];
    tmin = std::max(tmin, std::min(t1, t2));
    tmax = std::min(tmax, std::max(t1, t2));
  }
  return tmin > tmax;
}

} // namespace

void resetBounds(SceneBounds& b, const Lattice* lat, size_t triangleBudget) {
  b.lat = lat;
  b.triangleBudget = triangleBudget;
  b.known = b.placed = false;
  b.list = latticeList(lat);
  b.parent = parentIndexes(lat);
  b.lattices.assign(b.list.size(), LatticeBounds{});
  b.chunks.clear();
  b.placements.clear();
}

void boundsAfterReshape(SceneBounds& b, int index, const std::vector<TriangleRange>& ranges) {
  if (!b.known || index < 0 || size_t(index) >= b.list.size()) return;
  size_t i = size_t(index);
  LatticeBounds& l = b.lattices[i];
  if (!l.drawn || !l.chunkCount) return;
  std::vector<size_t> touched;
  if (l.box) {
    touched.push_back(0);
  } else {
    for (const TriangleRange& t : ranges)
      for (size_t c = t.from / chunkTriangles; c * chunkTriangles < t.to && c < l.chunkCount; c++)
        touched.push_back(c);
    std::sort(touched.begin(), touched.end());
    touched.erase(std::unique(touched.begin(), touched.end()), touched.end());
  }
  prepareFaceTables(b.list[i], plain, b.faces);
  for (size_t c : touched) {
    BoundChunk& k = b.chunks[l.firstChunk + c];
    emitChunk(b, i, c);
    boundOwn(b.tris, k);
    if (l.worldKnown && b.placed) boundWorld(b.placements[i], b.tris, k);
  }
  if (!b.placed) l.worldKnown = false;
}

void boundsAfterMove(SceneBounds& b, int index) {
  b.placed = false;
  if (index < 0 || size_t(index) >= b.list.size()) return;
  // 1: carried by `index` (or it), 2: not; 0: not yet known.
  std::vector<uint8_t> carried(b.list.size(), 0);
  carried[size_t(index)] = 1;
  std::vector<size_t> chain;
  for (size_t i = 0; i < b.list.size(); i++) {
    chain.clear();
    size_t j = i;
    while (!carried[j] && chain.size() <= b.list.size()) {
      chain.push_back(j);
      int p = b.parent[j];
      if (p < 0 || size_t(p) >= b.list.size()) break;
      j = size_t(p);
    }
    uint8_t answer = carried[j] ? carried[j] : 2;
    for (size_t k : chain) carried[k] = answer;
  }
  for (size_t i = 0; i < b.list.size(); i++)
    if (carried[i] == 1) b.lattices[i].worldKnown = false;
}

bool boundedWorldBox(SceneBounds& b, SceneBox& box, const std::vector<bool>& hidden) {
  makeOwnBoxes(b);
  makePlacements(b);
  SceneBox out;
  for (int a = 0; a < 3; a++) {
    out.lo[a] = INFINITY;
    out.hi[a] = -INFINITY;
  }
  for (size_t i = 0; i < b.list.size(); i++) {
    const LatticeBounds& l = b.lattices[i];
    if (!l.drawn || flagged(hidden, i)) continue;
    makeWorldBoxes(b, i);
    for (size_t c = l.firstChunk; c < l.firstChunk + l.chunkCount; c++)
      for (int a = 0; a < 3; a++) {
        out.lo[a] = std::min(out.lo[a], b.chunks[c].wlo[a]);
        out.hi[a] = std::max(out.hi[a], b.chunks[c].whi[a]);
      }
  }
  if (!(out.lo[0] <= out.hi[0])) return false;
  box = out;
  return true;
}

PickHit pickBounded(SceneBounds& b, const float* trot, int width, int height, int x, int y,
                    const std::vector<bool>& hidden, const Section& cut, float ortho,
                    float farPlane) {
  PickRay ray;
  if (!b.lat || !pickRay(trot, width, height, x, y, ortho, farPlane, cut, ray)) return {};
  makeOwnBoxes(b);
  makePlacements(b);
  for (size_t i = 0; i < b.list.size(); i++) {
    const LatticeBounds& l = b.lattices[i];
    if (!l.drawn || flagged(hidden, i)) continue;
    const Matrix& place = b.placements[i];
    Matrix eye = multiply(ray.camera, place);
    bool prepared = false;
    // Chunks the ray may meet, runs of them emitted together, in draw order.
    for (size_t c = 0; c < l.chunkCount;) {
      const BoundChunk& k = b.chunks[l.firstChunk + c];
      if (rayMisses(ray, place, eye, k.lo, k.hi)) {
        c++;
        continue;
      }
      size_t end = c + 1;
      while (end < l.chunkCount) {
        const BoundChunk& n = b.chunks[l.firstChunk + end];
        if (rayMisses(ray, place, eye, n.lo, n.hi)) break;
        end++;
      }
      if (!prepared) prepareFaceTables(b.list[i], plain, b.faces);
      prepared = true;
      b.tris.clear();
      CollectEmitter emit{&b.tris};
      drawLatticeRange(b.list[i], plain, l.box, b.faces, c * chunkTriangles,
                       std::min(l.triangles, end * chunkTriangles), emit);
      placeTriangles(place, b.tris);
      pickTriangles(ray, int(i), b.tris.data(), b.tris.size());
      c = end + 1; // the chunk at `end` misses
    }
  }
  return ray.hit;
}
