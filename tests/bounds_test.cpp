// Edits answered in place: a height edit sends only its cells' triangles and leaves what a full
// build makes; picks and the map's box through chunk boxes give the full pass's answers, before
// and after edits.
#include "doubles/gl_double.h"
#include "platform/gl.h"
#include "render/bounds.h"
#include "render/frame.h"
#include "render/retained.h"
#include "render/world.h"
#include "test_maps.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

// A lattice of several chunks with heights; one with insets; one folded (its insets cross its
// levels over); a turned parent carrying a child.
MapDesc editMap() {
  MapDesc m;
  LatticeRecord plain = box(30, 2, 20), inset = box(6, 4, 5), folded = box(5, 3, 4),
                parent = box(3, 1, 3), child = box(8, 3, 7);
  for (int s = 0; s < 31 * 21; s++) plain.heights.push_back(float(std::sin(s * 0.7)));
  for (int k = 0; k < 5; k++) {
    inset.minInsets.push_back({0.3f * k, 0.1f * k});
    inset.maxInsets.push_back({-0.2f * k, 0.15f * k});
  }
  for (int s = 0; s < 7 * 6; s++) inset.heights.push_back(float(s % 5) * 0.2f);
  for (int k = 0; k < 4; k++) {
    folded.minInsets.push_back({4.0f * (k % 2), 3.5f * (k % 2)});
    folded.maxInsets.push_back({-4.5f * (k % 2), -3.0f * (k % 2)});
  }
  for (int s = 0; s < 9 * 8; s++) child.heights.push_back(float(std::cos(s * 0.9)));
  inset.pos[0] = -20;
  folded.pos[2] = -18;
  parent.pos[0] = 25;
  parent.rot[1] = 0.7f;
  parent.rot[0] = 0.2f;
  child.pos[1] = 3;
  child.rot[2] = 0.3f;
  parent.refs = {5}; // the child is record 5
  m.lattices = {plain, inset, folded, parent, child};
  return m;
}

// Samples at the grid's four corners, the middle of its four edges and its middle.
std::vector<int> probeSamples(const Lattice* L) {
  int nx = L->nx, nz = L->nz, w = nx + 1;
  return {0,
          nx,
          nz * w,
          nz * w + nx,
          nx / 2,
          nz * w + nx / 2,
          nz / 2 * w,
          nz / 2 * w + nx,
          nz / 2 * w + nx / 2};
}

HeightNode* node(Lattice* L, int m) {
  HeightNode* n = L->heights;
  for (int k = 0; n && k < m; k++) n = n->next;
  return n;
}

// The arrays a full build makes of lattice L.
void fullArrays(const Lattice* L, std::vector<float>& xyz, std::vector<uint8_t>& rgba) {
  size_t n = 3 * faceTriangles(L);
  xyz.assign(3 * n, 0);
  rgba.assign(4 * n, 0);
  FaceTables ft;
  ArrayEmitter emit{xyz.data(), rgba.data()};
  drawLatticeFaces(L, ViewerState{}, ft, emit);
}

TEST(EditedCells, AreSentAloneAndMatchAFullBuild) {
  LoadedMap map;
  loadDesc(editMap(), map);
  std::vector<Lattice*> lats = latticesOf(map.lat);
  for (GlBuffers offers : {GlBuffers::core, GlBuffers::none})
    for (size_t li = 0; li < lats.size(); li++) {
      Lattice* L = lats[li];
      if (!L->heights) continue;
      for (int m : probeSamples(L)) {
        SCOPED_TRACE("lattice " + std::to_string(li) + " sample " + std::to_string(m) +
                     (offers == GlBuffers::none ? " client arrays" : " buffers"));
        glDoubleNewContext(offers);
        RetainedScene scene;
        buildRetained(map.lat, ViewerState{}, size_t(1) << 30, scene);
        bool buffers = uploadRetained(scene, glProc);
        HeightNode* n = node(L, m);
        ASSERT_NE(n, nullptr);
        float was = n->value;
        n->value += 1.75f;
        std::vector<TriangleRange> ranges;
        addSampleTriangles(L, m, ranges);
        mergeRanges(ranges);
        glDoubleReset();
        ASSERT_TRUE(rebuildTriangles(scene, int(li), ranges));
        const RetainedLattice& r = scene.lattices[li];
        // Only the cells' triangles crossed: each send lies inside one range, and together they
        // are the ranges' bytes (16 a vertex).
        size_t want = 0;
        for (const TriangleRange& t : ranges) want += 3 * (t.to - t.from);
        EXPECT_EQ(glDouble.replacedBytes, buffers ? long(16 * want) : 0);
        for (const GlDouble::SubData& d : glDouble.subData) {
          bool colours = d.buffer == scene.rgbaBuffer;
          long per = colours ? 4 : 12, v = d.at / per - r.first;
          bool inside = false;
          for (const TriangleRange& t : ranges)
            inside = inside || (v >= long(3 * t.from) && v + d.bytes / per <= long(3 * t.to));
          EXPECT_TRUE(inside) << "bytes " << d.at << " + " << d.bytes;
        }
        // What the arrays hold now is a full build's, and so are the chunk boxes.
        std::vector<float> xyz;
        std::vector<uint8_t> rgba;
        fullArrays(L, xyz, rgba);
        const float* gotXyz =
            buffers ? reinterpret_cast<const float*>(glDouble.buffers[scene.xyzBuffer - 1].data())
                    : scene.xyz.data();
        const uint8_t* gotRgba =
            buffers
                ? reinterpret_cast<const uint8_t*>(glDouble.buffers[scene.rgbaBuffer - 1].data())
                : scene.rgba.data();
        EXPECT_EQ(std::memcmp(gotXyz + 3 * size_t(r.first), xyz.data(), xyz.size() * 4), 0);
        EXPECT_EQ(std::memcmp(gotRgba + 4 * size_t(r.first), rgba.data(), rgba.size()), 0);
        RetainedScene fresh;
        buildRetained(map.lat, ViewerState{}, size_t(1) << 30, fresh);
        ASSERT_EQ(fresh.chunks.size(), scene.chunks.size());
        for (size_t c = 0; c < scene.chunks.size(); c++)
          EXPECT_EQ(std::memcmp(&fresh.chunks[c], &scene.chunks[c], sizeof(GeometryChunk)), 0)
              << "chunk " << c;
        n->value = was;
        releaseRetained(scene);
      }
    }
  glDoubleNewContext(GlBuffers::core);
}

// Every pixel of a coarse grid picks what the full pass picks, and the map's box is worldBox's:
// from the start, after heights change (at corners, edges and the middle) and after the turned
// parent moves, carrying its child; in perspective, orthographic and with lattices past the
// triangle budget drawn as boxes, some hidden.
TEST(SceneBounds, PickAndBoxAsTheFullPass) {
  LoadedMap map;
  loadDesc(editMap(), map);
  std::vector<Lattice*> lats = latticesOf(map.lat);
  struct View {
    float trot[Trot::size];
    float ortho, far;
    size_t budget;
    std::vector<bool> hidden;
  } views[] = {
      {{0, 0, 0, 25, -20}, 0, 0, SIZE_MAX, {}},
      {{0, 0, 0, 70, 10}, 0, 0, 2000, {}},
      {{0, 0, 0, 90, 0}, 1, 0, SIZE_MAX, {false, true}},
      {{0, 0, 0, 10, 60}, 0, 3000, SIZE_MAX, {}},
  };
  for (View& w : views) { // each framing the whole map
    double depth;
    if (w.ortho)
      ASSERT_TRUE(fitOrtho(map.lat, 160, 120, w.trot, w.ortho));
    else
      ASSERT_TRUE(fitCamera(map.lat, 160, 120, w.trot, depth));
  }
  auto agree = [&](SceneBounds& b, const View& w, const char* when) {
    SCOPED_TRACE(when);
    int hits = 0;
    for (int y = 2; y < 120; y += 9)
      for (int x = 3; x < 160; x += 7) {
        PickHit full =
            pickPoint(map.lat, w.trot, 160, 120, x, y, w.budget, w.hidden, {}, w.ortho, w.far);
        PickHit fast = pickBounded(b, w.trot, 160, 120, x, y, w.hidden, {}, w.ortho, w.far);
        ASSERT_EQ(fast.index, full.index) << x << "," << y;
        for (int a = 0; a < 3; a++) ASSERT_EQ(fast.at[a], full.at[a]) << x << "," << y;
        hits += full.index >= 0;
      }
    EXPECT_GT(hits, 20); // the grid meets the lattices, not only the background
    SceneBox a, e;
    ASSERT_TRUE(worldBox(map.lat, e, nullptr, w.budget));
    ASSERT_TRUE(boundedWorldBox(b, a));
    for (int k = 0; k < 3; k++) {
      EXPECT_EQ(a.lo[k], e.lo[k]);
      EXPECT_EQ(a.hi[k], e.hi[k]);
    }
  };
  for (const View& w : views) {
    SceneBounds b;
    resetBounds(b, map.lat, w.budget);
    agree(b, w, "as loaded");
    for (size_t li : {size_t(0), size_t(4)})
      for (int m : probeSamples(lats[li])) {
        node(lats[li], m)->value += 6;
        std::vector<TriangleRange> ranges;
        addSampleTriangles(lats[li], m, ranges);
        boundsAfterReshape(b, int(li), ranges);
      }
    agree(b, w, "heights raised");
    lats[3]->x += 4;
    lats[3]->ry += 0.5f;
    boundsAfterMove(b, 3);
    agree(b, w, "parent moved");
    // Back as it was, for the next view.
    lats[3]->x -= 4;
    lats[3]->ry -= 0.5f;
    for (size_t li : {size_t(0), size_t(4)})
      for (int m : probeSamples(lats[li])) node(lats[li], m)->value -= 6;
  }
}

} // namespace
