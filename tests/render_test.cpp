// The frame's GL call stream, placement, face geometry and slope shading.
#include "doubles/gl_double.h"
#include "render/frame.h"
#include "render/gl.h"
#include "render/placement.h"
#include "test_maps.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

ViewerState vs; // what the frames of these tests are drawn with

struct RenderTest : testing::Test {
  void SetUp() override {
    glDoubleReset();
    vs = ViewerState{};
  }
  void TearDown() override { vs = ViewerState{}; }
};

std::vector<Triangle> trianglesOf(const Lattice* L) {
  std::vector<Triangle> out;
  CollectEmitter e{&out};
  drawLatticeFaces(L, vs, e);
  return out;
}

void expectCorner(const Triangle& t, int i, float x, float y, float z) {
  EXPECT_EQ(t.v[i][0], x);
  EXPECT_EQ(t.v[i][1], y);
  EXPECT_EQ(t.v[i][2], z);
}

int count(Gl fn, double a0 = -1) {
  int n = 0;
  for (const GlCall& c : glDouble.calls) n += c.fn == fn && (a0 < 0 || c.a[0] == a0);
  return n;
}

TEST_F(RenderTest, FrameCallStream) {
  MapDesc m;
  m.lattices = {box(1, 1, 1), box(2, 2, 2, 0), box(1, 1, 1)};
  m.lattices[0].pos[0] = 3;
  m.lattices[2].pos[1] = -4;
  LoadedMap l;
  loadDesc(m, l);
  float trot[Trot::size] = {1, 2, 3, 10, 20, 0, 0, 0, 0, 0};
  drawFrame(l.lat, trot, vs);
  const auto& k = glDouble.calls;
  ASSERT_FALSE(k.empty());
  EXPECT_EQ(k[0].fn, Gl::Clear);
  EXPECT_EQ(k[0].a[0], 0x4100);
  size_t at = 1;
  for (float y : {0.0f, -4.0f}) { // the id 0 lattice is passed over
    std::vector<std::pair<Gl, std::vector<double>>> head = {
        {Gl::LoadIdentity, {}},      {Gl::Translate, {0, 0, -50}},
        {Gl::Rotate, {10, 1, 0, 0}}, {Gl::Rotate, {20, 0, 1, 0}},
        {Gl::Translate, {1, 2, 3}},  {Gl::Translate, {y ? 0.0 : 3.0, y, 0}},
        {Gl::Rotate, {0, 0, 0, 1}},  {Gl::Rotate, {0, 0, 1, 0}},
        {Gl::Rotate, {0, 1, 0, 0}}};
    for (auto& [fn, args] : head) {
      ASSERT_LT(at, k.size());
      EXPECT_EQ(k[at].fn, fn) << at;
      for (size_t i = 0; i < args.size(); i++) EXPECT_EQ(k[at].a[i], args[i]) << at;
      at++;
    }
    // 1 x 1 x 1: two faces and four walls of one cell each, two triangles per cell.
    for (int t = 0; t < 12; t++) {
      Gl want[] = {Gl::Color, Gl::Begin, Gl::Vertex, Gl::Vertex, Gl::Vertex, Gl::End};
      for (Gl fn : want) EXPECT_EQ(k[at++].fn, fn);
      EXPECT_EQ(k[at - 5].a[0], GL_TRIANGLES);
    }
  }
  EXPECT_EQ(at, k.size());
}

TEST_F(RenderTest, NullListIsOnlyCleared) {
  float trot[Trot::size] = {};
  drawFrame(nullptr, trot, vs);
  ASSERT_EQ(glDouble.calls.size(), 1u);
  EXPECT_EQ(glDouble.calls[0].fn, Gl::Clear);
}

TEST_F(RenderTest, TriangleCounts) {
  int sizes[][3] = {{1, 1, 1}, {3, 2, 4}, {0, 3, 2}, {2, 3, 0}, {2, 0, 3}, {0, 0, 0}, {5, 1, 1}};
  for (auto& s : sizes) {
    MapDesc m;
    m.lattices = {box(s[0], s[1], s[2])};
    LoadedMap l;
    loadDesc(m, l);
    int nx = s[0], ny = s[1], nz = s[2];
    EXPECT_EQ(int(trianglesOf(l.lat).size()), 4 * nx * nz + 4 * ny * (nx + nz))
        << nx << " " << ny << " " << nz;
  }
}

TEST_F(RenderTest, FlatBoxGreys) {
  MapDesc m;
  m.lattices = {box(2, 1, 2)};
  LoadedMap l;
  loadDesc(m, l);
  auto t = trianglesOf(l.lat);
  ASSERT_EQ(t.size(), 32u);
  const float bottom = std::nextafter(0.4f, 1.0f); // 0.40000004
  for (int i = 0; i < 8; i++) EXPECT_EQ(t[i].grey, bottom) << i;
  for (int i = 8; i < 16; i++) EXPECT_EQ(t[i].grey, 0.8f) << i;
  for (int i = 16; i < 32; i++) EXPECT_EQ(t[i].grey, 0.6f) << i;
  // Bottom face, cell (0, 0): corners 0, 1, 2 then 1, 2, 3 at y = -0.5.
  expectCorner(t[0], 0, -1, -0.5f, -1);
  expectCorner(t[0], 1, -1, -0.5f, 0);
  expectCorner(t[0], 2, 0, -0.5f, -1);
  expectCorner(t[1], 2, 0, -0.5f, 0);
  // Cells go column by column: the second cell is (i 0, j 1).
  expectCorner(t[2], 0, -1, -0.5f, 0);
  // The first low-x wall cell.
  expectCorner(t[16], 0, -1, -0.5f, -1);
  expectCorner(t[16], 1, -1, -0.5f, 0);
  expectCorner(t[16], 2, -1, 0.5f, -1);
  expectCorner(t[17], 2, -1, 0.5f, 0);
}

TEST_F(RenderTest, SlopingBandGrey) {
  MapDesc m;
  m.lattices = {box(2, 1, 2)};
  m.lattices[0].minInsets = {{0, 0}, {1, 0}};
  m.lattices[0].maxInsets = {{0, 0}, {0, 0}};
  LoadedMap l;
  loadDesc(m, l);
  auto t = trianglesOf(l.lat);
  expectCorner(t[16], 2, 0, 0.5f, -1);
  expectCorner(t[17], 2, 0, 0.5f, 0);
  float want = float(1 / std::sqrt(2.0) * double(0.2f) + double(0.6f));
  EXPECT_EQ(t[16].grey, want);
  EXPECT_EQ(t[17].grey, want);
  EXPECT_NEAR(want, 0.7414, 1e-4);
}

TEST_F(RenderTest, NonPlanarCellShading) {
  MapDesc m;
  m.lattices = {box(1, 1, 1)};
  m.lattices[0].heights = {0, 0, 0, 1}; // samples (0,0) (1,0) (0,1) (1,1): corner 3 raised
  LoadedMap l;
  loadDesc(m, l);
  auto t = trianglesOf(l.lat);
  EXPECT_EQ(t[0].grey, std::nextafter(0.4f, 1.0f)); // bottom, own normal: flat
  EXPECT_GT(t[1].grey, t[0].grey);                  // bottom, tilted
  EXPECT_EQ(t[2].grey, t[3].grey);                  // top: both take the second's grey
  EXPECT_LT(t[2].grey, 0.8f);
}

TEST_F(RenderTest, HeightSamplesByIndex) {
  // Heights equal to their index, so each corner's y names the sample it read.
  MapDesc m;
  m.lattices = {box(3, 1, 2)};
  for (int i = 0; i < 12; i++) m.lattices[0].heights.push_back(float(i));
  m.lattices[0].cell[1] = 1;
  LoadedMap l;
  loadDesc(m, l);
  auto t = trianglesOf(l.lat);
  float base = -0.5f;
  auto sample = [&](const Triangle& tri, int corner) { return tri.v[corner][1] - base; };
  // Walls start after 4 * 3 * 2 face triangles; low-x has nz = 2 cells, high-x next.
  size_t highX = 24 + 4, lowZ = 24 + 8, highZ = 24 + 8 + 6;
  int pairs4[][2] = {{3, 7}, {7, 11}};
  for (int j = 0; j < 2; j++) {
    EXPECT_EQ(sample(t[highX + 2 * j], 0), pairs4[j][0]);
    EXPECT_EQ(sample(t[highX + 2 * j], 1), pairs4[j][1]);
  }
  int pairs6[][2] = {{8, 9}, {9, 10}, {10, 11}};
  for (int i = 0; i < 3; i++) {
    EXPECT_EQ(sample(t[highZ + 2 * i], 0), pairs6[i][0]);
    EXPECT_EQ(sample(t[highZ + 2 * i], 1), pairs6[i][1]);
    EXPECT_EQ(sample(t[lowZ + 2 * i], 0), i);
  }
  // Bottom face of a 2 x 1 grid with heights 10..15: cell i = 1 lifts by h[1], h[4], h[2], h[5].
  MapDesc g;
  g.lattices = {box(2, 1, 1)};
  g.lattices[0].heights = {10, 11, 12, 13, 14, 15};
  LoadedMap gl;
  loadDesc(g, gl);
  auto b = trianglesOf(gl.lat);
  EXPECT_EQ(b[2].v[0][1], 11 - 0.5f);
  EXPECT_EQ(b[2].v[1][1], 14 - 0.5f);
  EXPECT_EQ(b[2].v[2][1], 12 - 0.5f);
  EXPECT_EQ(b[3].v[2][1], 15 - 0.5f);
}

TEST_F(RenderTest, UnequalInsetListsAndUnfilledEntries) {
  // Level k is lifted by k insets of 0.25 on the low-x edge for k < 3 only: the min list has
  // three nodes, the max list five; levels 3 and 4 read 0.
  MapDesc m;
  m.lattices = {box(1, 4, 1)};
  for (int k = 0; k < 3; k++) m.lattices[0].minInsets.push_back({0.25f * k, 0});
  for (int k = 0; k < 5; k++) m.lattices[0].maxInsets.push_back({0, 0});
  LoadedMap l;
  loadDesc(m, l);
  auto t = trianglesOf(l.lat);
  size_t lowX = 4; // after 2 + 2 face triangles; one cell per band
  float want[] = {-0.5f, -0.25f, 0.0f, -0.5f, -0.5f};
  for (int k = 0; k < 4; k++) {
    EXPECT_EQ(t[lowX + 2 * k].v[0][0], want[k]) << k;
    EXPECT_EQ(t[lowX + 2 * k].v[2][0], want[k + 1]) << k;
  }
}

TEST_F(RenderTest, UnfilledEntriesReadZeroAfterABiggerLattice) {
  MapDesc m;
  m.lattices = {box(3, 3, 3), box(3, 3, 3)};
  m.lattices[0].heights.assign(16, 5);
  m.lattices[0].minInsets.assign(4, {1, 1});
  m.lattices[0].maxInsets.assign(4, {1, 1});
  LoadedMap l;
  loadDesc(m, l);
  trianglesOf(l.lat);
  auto t = trianglesOf(l.lat->next);
  for (int c = 0; c < 3; c++) EXPECT_EQ(t[0].v[c][1], -1.5f);
  EXPECT_EQ(t[0].v[0][0], -1.5f);
}

TEST_F(RenderTest, DegenerateTrianglesAreMidGrey) {
  float nan = std::nanf("");
  MapDesc m;
  m.lattices = {box(2, 1, 2), box(1, 1, 1)};
  m.lattices[0].cell[0] = 0; // no x extent: every face triangle is a line
  m.lattices[1].heights = {nan, 0, 0, 0};
  LoadedMap l;
  loadDesc(m, l);
  for (const Triangle& t : trianglesOf(l.lat)) {
    EXPECT_TRUE(std::isfinite(t.grey));
    EXPECT_GE(t.grey, 0.4f);
    EXPECT_LE(t.grey, 0.8f);
  }
  auto t = trianglesOf(l.lat);
  EXPECT_EQ(t[0].grey, 0.6f);
  EXPECT_EQ(trianglesOf(l.lat->next)[0].grey, 0.6f);
}

TEST_F(RenderTest, LargestLatticeStaysInBounds) {
  MapDesc m;
  m.lattices = {box(255, 255, 255)};
  m.lattices[0].heights.assign(32767, 0.5f);
  m.lattices[0].minInsets.assign(255, {0.1f, 0.1f});
  m.lattices[0].maxInsets.assign(255, {-0.1f, -0.1f});
  LoadedMap l;
  loadDesc(m, l);
  EXPECT_EQ(trianglesOf(l.lat).size(), size_t(4 * 255 * 255 + 4 * 255 * 510));
}

TEST_F(RenderTest, RotationOrder) {
  MapDesc m;
  m.lattices = {box(1, 1, 1)};
  m.lattices[0].rot[0] = float(M_PI / 2);
  m.lattices[0].rot[2] = float(M_PI / 2);
  LoadedMap l;
  loadDesc(m, l);
  applyLatticeTransform(l.lat, vs);
  const double* M = glDouble.modelview;
  // Column 1 is the image of the local y axis, column 2 of the local z axis.
  EXPECT_NEAR(M[4], 0, 1e-5);
  EXPECT_NEAR(M[5], 0, 1e-5);
  EXPECT_NEAR(M[6], 1, 1e-5);
  EXPECT_NEAR(M[8], 1, 1e-5);
  EXPECT_NEAR(M[9], 0, 1e-5);
  EXPECT_NEAR(M[10], 0, 1e-5);
  double sw[16];
  latticePlacement(l.lat, vs, sw);
  for (int i = 0; i < 16; i++) EXPECT_NEAR(sw[i], M[i], 1e-6) << i;
}

TEST_F(RenderTest, ParentChainsAndAxisLines) {
  MapDesc m;
  m.lattices = {box(1, 1, 1), box(1, 1, 1), box(1, 1, 1)};
  m.lattices[0].refs = {2}; // 0 -> parent of 1
  m.lattices[1].refs = {3}; // 1 -> parent of 2
  for (int i = 0; i < 3; i++) m.lattices[i].pos[0] = float(i + 1);
  LoadedMap l;
  loadDesc(m, l);
  const Lattice* leaf = l.lat->next->next;
  applyLatticeTransform(nullptr, vs);
  EXPECT_TRUE(glDouble.calls.empty());

  applyLatticeTransform(leaf, vs);
  EXPECT_EQ(count(Gl::Translate), 3);
  EXPECT_EQ(count(Gl::Rotate), 9);
  EXPECT_EQ(count(Gl::Begin), 0);
  EXPECT_EQ(count(Gl::Color), 0);
  EXPECT_EQ(glDouble.calls[0].a[0], 1); // the root first
  EXPECT_EQ(glDouble.modelview[12], 6); // translations add up with no rotation

  glDoubleReset();
  vs.axisFlag = 1;
  applyLatticeTransform(leaf, vs);
  EXPECT_EQ(count(Gl::Begin, GL_LINES), 3);
  const GlCall& last = glDouble.calls[glDouble.calls.size() - 5];
  EXPECT_EQ(last.fn, Gl::End);
  const GlCall& blue = glDouble.calls[glDouble.calls.size() - 7];
  EXPECT_EQ(blue.fn, Gl::Color);
  EXPECT_EQ(blue.a[2], 1);
  EXPECT_EQ(glDouble.calls[1].fn, Gl::Color);
  EXPECT_EQ(glDouble.calls[1].a[0], 1); // red at the frame's origin
}

TEST_F(RenderTest, EveryLatticeStartsFromIdentity) {
  MapDesc m;
  m.lattices = {box(1, 1, 1), box(1, 1, 1)};
  m.lattices[0].pos[2] = 7;
  m.lattices[1].pos[2] = -2;
  LoadedMap l;
  loadDesc(m, l);
  float trot[Trot::size] = {};
  drawFrame(l.lat, trot, vs);
  // The model-view matrix left behind is the second lattice's alone.
  EXPECT_EQ(glDouble.modelview[14], -52);
  EXPECT_EQ(count(Gl::LoadIdentity), 2);
}

} // namespace
