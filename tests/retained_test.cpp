// Retained geometry against the immediate path: the same triangles, greys and order, chunks
// culled only when wholly outside the view, the budget's fallback to immediate mode.
#include "doubles/gl_double.h"
#include "platform/gl.h"
#include "render/frame.h"
#include "render/placement.h"
#include "render/retained.h"
#include "render/view.h"
#include "test_maps.h"
#include "tools/toolkit.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// The demo and a generated map with parents, rotations, insets, heights and lattices of
// many chunks, so culling has something to skip.
MapDesc richMap() {
  MapDesc m = demoMap();
  LatticeRecord big = box(40, 3, 30);
  big.pos[0] = 30;
  big.rot[1] = 0.4f;
  for (int s = 0; s < 41 * 31; s++) big.heights.push_back(float(std::sin(s * 0.3) * 0.7));
  for (int k = 0; k < 4; k++) {
    big.minInsets.push_back({0.4f * k, 0.2f * k});
    big.maxInsets.push_back({-0.3f * k, -0.1f * k});
  }
  m.lattices[0].refs.push_back(int(m.lattices.size()) + 1); // a child of the floor
  m.lattices.push_back(big);
  return m;
}

std::vector<DrawnTriangle> frameTriangles(const LoadedMap& map, const float* trot,
                                          const RetainedScene* scene) {
  glDoubleReset();
  viewProjection(640, 480);
  ViewerState vs;
  if (scene)
    drawRetainedFrame(*scene, trot, vs);
  else
    drawFrame(map.lat, trot, vs);
  return glDouble.drawn;
}

// Whether a triangle of the lattice drawn under the double's current matrices could show:
// not wholly beyond one clip plane.
bool couldShow(const DrawnTriangle& t) {
  double m[16];
  for (int c = 0; c < 4; c++)
    for (int r = 0; r < 4; r++) {
      double s = 0;
      for (int k = 0; k < 4; k++)
        s += glDouble.projection[k * 4 + r] * glDouble.modelview[c * 4 + k];
      m[c * 4 + r] = s;
    }
  for (int axis = 0; axis < 3; axis++)
    for (double side : {-1.0, 1.0}) {
      bool out = true;
      for (const auto& v : t.v) {
        double p = m[axis] * v[0] + m[4 + axis] * v[1] + m[8 + axis] * v[2] + m[12 + axis];
        double w = m[3] * v[0] + m[7] * v[1] + m[11] * v[2] + m[15];
        out = out && side * p > w;
      }
      if (out) return false;
    }
  return true;
}

// Whichever way the context keeps the arrays (buffer objects under their OpenGL 1.5 or ARB
// names, or client arrays on OpenGL 1.1), the frame draws the immediate frame's triangles.
TEST(Retained, SameTrianglesAsImmediateWhenAllIsInView) {
  LoadedMap map;
  loadDesc(richMap(), map);
  for (GlBuffers offers : {GlBuffers::core, GlBuffers::arb, GlBuffers::none}) {
    glDoubleNewContext(offers);
    RetainedScene scene;
    buildRetained(map.lat, ViewerState{}, size_t(1) << 30, scene);
    EXPECT_EQ(uploadRetained(scene, glProc), offers != GlBuffers::none);
    EXPECT_GT(scene.chunks.size(), scene.lattices.size()); // the big lattice has many chunks
    float far[Trot::size] = {0, 0, -150, 20, 0};           // everything in front of the eye
    std::vector<DrawnTriangle> imm = frameTriangles(map, far, nullptr);
    std::vector<DrawnTriangle> ret = frameTriangles(map, far, &scene);
    ASSERT_EQ(ret.size(), imm.size());
    EXPECT_TRUE(ret == imm);
    // All of a lattice's visible chunks go out in one call.
    int calls = 0;
    for (const GlCall& c : glDouble.calls) calls += c.fn == Gl::DrawArrays;
    EXPECT_EQ(calls, int(scene.lattices.size()));
  }
  glDoubleNewContext(GlBuffers::core);
}

// Once the buffer objects exist a frame sends no vertex data: nothing uploaded, nothing read
// from client memory, no immediate-mode vertex; the CPU copy is gone. On OpenGL 1.1 the arrays
// stay and are read from client memory.
TEST(Retained, AFrameFromBufferObjectsSendsNoVertexData) {
  LoadedMap map;
  loadDesc(richMap(), map);
  float far[Trot::size] = {0, 0, -150, 20, 0};
  for (GlBuffers offers : {GlBuffers::core, GlBuffers::arb, GlBuffers::none}) {
    glDoubleNewContext(offers);
    RetainedScene scene;
    buildRetained(map.lat, ViewerState{}, size_t(1) << 30, scene);
    size_t bytes = scene.bytes;
    bool buffers = offers != GlBuffers::none;
    ASSERT_EQ(uploadRetained(scene, glProc), buffers);
    EXPECT_EQ(glDouble.uploadedBytes, buffers ? long(bytes) : 0);
    EXPECT_EQ(scene.xyz.capacity() + scene.rgb.capacity(), buffers ? 0 : bytes / 4);
    EXPECT_EQ(glDoubleLiveBuffers(), buffers ? 2 : 0);
    for (int frame = 0; frame < 2; frame++) {
      frameTriangles(map, far, &scene);
      EXPECT_EQ(glDouble.uploadedBytes, 0);
      EXPECT_EQ(glDouble.clientVertices, buffers ? 0 : long(scene.vertices));
      for (const GlCall& c : glDouble.calls) EXPECT_NE(c.fn, Gl::Vertex);
    }
    // Building again (a reload) deletes the old buffer objects before making new ones.
    buildRetained(map.lat, ViewerState{}, size_t(1) << 30, scene);
    EXPECT_EQ(glDoubleLiveBuffers(), 0);
    EXPECT_EQ(uploadRetained(scene, glProc), buffers);
    releaseRetained(scene);
    EXPECT_EQ(glDoubleLiveBuffers(), 0);
  }
  glDoubleNewContext(GlBuffers::core);
}

// A context out of memory for the upload keeps the client arrays and draws the same frame.
TEST(Retained, AFailedUploadKeepsTheClientArrays) {
  LoadedMap map;
  loadDesc(richMap(), map);
  float far[Trot::size] = {0, 0, -150, 20, 0};
  std::vector<DrawnTriangle> imm = frameTriangles(map, far, nullptr);
  glDoubleNewContext(GlBuffers::core);
  glDouble.uploadFails = true;
  RetainedScene scene;
  buildRetained(map.lat, ViewerState{}, size_t(1) << 30, scene);
  EXPECT_FALSE(uploadRetained(scene, glProc));
  EXPECT_EQ(glDoubleLiveBuffers(), 0);
  EXPECT_EQ(scene.xyz.size() * 4 * 2, scene.bytes);
  EXPECT_TRUE(frameTriangles(map, far, &scene) == imm);
  glDoubleNewContext(GlBuffers::core);
}

// At cameras that put lattices partly or wholly out of view the retained frame draws a
// subsequence of the immediate frame's triangles, in the same order, and every triangle it
// leaves out lies wholly outside the view volume.
TEST(Retained, CullsOnlyWhatCannotShow) {
  LoadedMap map;
  loadDesc(richMap(), map);
  RetainedScene scene;
  buildRetained(map.lat, ViewerState{}, size_t(1) << 30, scene);
  ASSERT_TRUE(uploadRetained(scene, glProc));
  float cameras[][Trot::size] = {{0, 0, 0, 0, 0},     {0, 0, 0, 30, -45},
                                 {-30, 0, 10, 0, 90}, {0, 0, 0, 0, 180},
                                 {0, 20, 0, 90, 0},   {0, 0, -200, 0, 180}}; // the last faces away
  for (const auto& trot : cameras) {
    std::vector<DrawnTriangle> imm = frameTriangles(map, trot, nullptr);
    std::vector<DrawnTriangle> ret = frameTriangles(map, trot, &scene);
    // Walk both lists per lattice so each skipped triangle is judged under its own matrices.
    size_t i = 0, r = 0, skipped = 0;
    glDoubleReset();
    viewProjection(640, 480);
    for (const RetainedLattice& rl : scene.lattices) {
      loadCamera(trot);
      applyLatticeTransform(rl.L, ViewerState{});
      for (size_t n = faceTriangles(rl.L); n > 0; n--, i++) {
        ASSERT_LT(i, imm.size());
        if (r < ret.size() && ret[r] == imm[i]) {
          r++;
        } else {
          skipped++;
          EXPECT_FALSE(couldShow(imm[i])) << "camera " << trot[3] << "," << trot[4];
        }
      }
    }
    EXPECT_EQ(r, ret.size());
    EXPECT_EQ(i, imm.size());
    if (trot[2] == -200) {
      EXPECT_EQ(skipped, imm.size()); // turned away from every lattice: all culled
    }
  }
}

// Lattices past the budget are drawn in immediate mode, with the same call stream as the
// immediate frame; with no budget the whole frame is the immediate one.
TEST(Retained, BudgetFallsBackToImmediate) {
  LoadedMap map;
  loadDesc(richMap(), map);
  float trot[Trot::size] = {0, 0, -150, 20, 0};
  std::vector<DrawnTriangle> imm = frameTriangles(map, trot, nullptr);
  std::vector<GlCall> immCalls = glDouble.calls;
  RetainedScene none;
  buildRetained(map.lat, ViewerState{}, 0, none);
  EXPECT_TRUE(none.xyz.empty());
  EXPECT_TRUE(frameTriangles(map, trot, &none) == imm);
  ASSERT_EQ(glDouble.calls.size(), immCalls.size());
  for (size_t c = 0; c < immCalls.size(); c++) EXPECT_EQ(glDouble.calls[c].fn, immCalls[c].fn);

  size_t first = faceTriangles(map.lat);
  RetainedScene one;
  buildRetained(map.lat, ViewerState{}, first * 72, one);
  EXPECT_EQ(one.bytes, first * 72);
  ASSERT_GE(one.lattices.size(), 2u);
  EXPECT_TRUE(one.lattices[0].arrays);
  EXPECT_FALSE(one.lattices[1].arrays);
  EXPECT_TRUE(frameTriangles(map, trot, &one) == imm);
}

TEST(Retained, NothingDrawnForAnEmptyList) {
  LoadedMap map;
  loadDesc(MapDesc{}, map);
  RetainedScene scene;
  buildRetained(map.lat, ViewerState{}, size_t(1) << 30, scene);
  float trot[Trot::size] = {};
  EXPECT_TRUE(frameTriangles(map, trot, &scene).empty());
  EXPECT_TRUE(scene.lattices.empty());
}

// KELVANE_GEOMETRY_MB is a whole number of megabytes in range, or one warning and the default
// (1 GiB, or a quarter of the machine's memory when that is less); never a wrapped value.
TEST(Retained, BudgetFromTheSetting) {
  const size_t mib = size_t(1) << 20, gib = size_t(1) << 30;
  struct Case {
    const char* setting;
    size_t memory, want;
    bool warns;
  } cases[] = {
      {nullptr, 0, gib, false},
      {nullptr, 16 * gib, gib, false},
      {nullptr, 2 * gib, gib / 2, false},
      {"0", 16 * gib, 0, false},
      {"64", 16 * gib, 64 * mib, false},
      {"-1", 16 * gib, gib, true},
      {"-0", 16 * gib, gib, true},
      {"", 16 * gib, gib, true},
      {"lots", 2 * gib, gib / 2, true},
      {"12MB", 16 * gib, gib, true},
      {" 64", 16 * gib, gib, true},
      {"1e3", 16 * gib, gib, true},
      {"99999999999999999999999", 16 * gib, gib, true},
      {"18446744073709551615", 16 * gib, gib, true},
  };
  for (const Case& c : cases) {
    std::string warning;
    EXPECT_EQ(geometryBudget(c.setting, c.memory, warning), c.want)
        << (c.setting ? c.setting : "unset");
    EXPECT_EQ(!warning.empty(), c.warns) << warning;
    if (c.warns) {
      EXPECT_NE(warning.find(std::string("KELVANE_GEOMETRY_MB=") + c.setting), std::string::npos);
    }
  }
  std::string warning, largest = std::to_string(maxGeometryMb);
  EXPECT_EQ(geometryBudget(largest.c_str(), 0, warning), maxGeometryMb << 20);
  EXPECT_EQ(geometryBudget((largest + "0").c_str(), 0, warning), gib);
  EXPECT_FALSE(warning.empty());
}

} // namespace
