// The frame's GL call stream, placement, face geometry and slope shading.
#include "chain_placement.h"
#include "doubles/gl_double.h"
#include "platform/gl.h"
#include "render/frame.h"
#include "render/placement.h"
#include "render/view.h"
#include "render/world.h"
#include "test_maps.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>

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
  FaceTables ft;
  drawLatticeFaces(L, vs, ft, e);
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
  FaceTables ft;
  drawFrame(l.lat, trot, vs, ft);
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
  FaceTables ft;
  drawFrame(nullptr, trot, vs, ft);
  ASSERT_EQ(glDouble.calls.size(), 1u);
  EXPECT_EQ(glDouble.calls[0].fn, Gl::Clear);
}

// A cut is user clip plane 0, given in the world right after the camera and kept on for the
// frame; the plane keeps exactly the heights sectionKeeps keeps.
TEST_F(RenderTest, SectionIsClipPlaneZero) {
  struct Case {
    SectionKeeps keeps;
    float y;
    double eq[4];
  } cases[] = {{SectionKeeps::below, 2.5f, {0, -1, 0, 2.5}},
               {SectionKeeps::above, 2.5f, {0, 1, 0, -2.5}},
               {SectionKeeps::below, -4, {0, -1, 0, -4}},
               {SectionKeeps::all, 7, {0, 0, 0, 0}}};
  MapDesc m;
  m.lattices = {box(1, 1, 1)};
  LoadedMap l;
  loadDesc(m, l);
  float trot[Trot::size] = {1, 2, 3, 10, 20};
  for (const Case& c : cases) {
    double eq[4];
    sectionPlane({c.keeps, c.y}, eq);
    for (int i = 0; i < 4; i++) EXPECT_EQ(eq[i], c.eq[i]);
    for (double y : {double(c.y) - 0.5, double(c.y), double(c.y) + 0.5})
      EXPECT_EQ(sectionKeeps({c.keeps, c.y}, y), eq[1] * y + eq[3] >= 0) << y;
    glDoubleReset();
    vs.section = {c.keeps, c.y};
    FaceTables ft;
    drawFrame(l.lat, trot, vs, ft);
    const auto& k = glDouble.calls;
    bool cut = c.keeps != SectionKeeps::all;
    ASSERT_EQ(count(Gl::ClipPlane), cut ? 1 : 0);
    EXPECT_EQ(count(Gl::Enable, GL_CLIP_PLANE0), cut ? 1 : 0);
    EXPECT_EQ(count(Gl::Disable, GL_CLIP_PLANE0), cut ? 1 : 0);
    if (!cut) continue;
    // Clear, the camera (identity, back 50, pitch, yaw, translation), the plane, then on.
    ASSERT_GT(k.size(), 8u);
    EXPECT_EQ(k[5].fn, Gl::Translate);
    EXPECT_EQ(k[6].fn, Gl::ClipPlane);
    for (int i = 0; i < 4; i++) EXPECT_EQ(k[6].a[i], c.eq[i]);
    EXPECT_EQ(k[7].fn, Gl::Enable);
    EXPECT_EQ(k.back().fn, Gl::Disable);
  }
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
  Matrix sw = chainPlacement(l.lat, vs);
  for (int i = 0; i < 16; i++) EXPECT_NEAR(sw.m[i], M[i], 1e-6) << i;
}

// Angles go to glRotatef as radians times the single-precision 57.2958, not 180 / pi: rz, ry
// and rx of 2, 0.5 and 1 radians turn by exactly 114.5916, 28.6479 and 57.2958 degrees.
TEST_F(RenderTest, RadiansTurnIntoDegreesBy57_2958) {
  MapDesc m;
  m.lattices = {box(1, 1, 1)};
  m.lattices[0].rot[0] = 1;
  m.lattices[0].rot[1] = 0.5f;
  m.lattices[0].rot[2] = 2;
  LoadedMap l;
  loadDesc(m, l);
  applyLatticeTransform(l.lat, vs);
  std::vector<double> angles;
  for (const GlCall& c : glDouble.calls)
    if (c.fn == Gl::Rotate) angles.push_back(c.a[0]);
  EXPECT_EQ(angles, (std::vector<double>{114.5916f, 28.6479f, 57.2958f}));
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
  FaceTables ft;
  drawFrame(l.lat, trot, vs, ft);
  // The model-view matrix left behind is the second lattice's alone.
  EXPECT_EQ(glDouble.modelview[14], -52);
  EXPECT_EQ(count(Gl::LoadIdentity), 2);
}

} // namespace

namespace {

// Every triangle of a lattice computed straight from the face definitions, one corner at a time:
// corners in double precision, stored as 32-bit floats where the picture depends on it, the
// high corner of a cell as the stored low corner plus one step. Greys come from slopeGrey.
std::vector<Triangle> referenceTriangles(const Lattice* L) {
  int nx = L->nx, ny = L->ny, nz = L->nz;
  float ex = float(double(L->sx) * nx), ey = float(double(L->sy) * ny),
        ez = float(double(L->sz) * nz);
  std::vector<std::array<float, 4>> lyr(size_t(ny) + 1, {0, 0, 0, 0});
  const InsetNode *a = L->minInsets, *b = L->maxInsets;
  for (size_t k = 0; a && b && k < lyr.size(); a = a->next, b = b->next, k++)
    lyr[k] = {float(double(L->sx) * a->dx), float(double(L->sz) * a->dz),
              float(double(L->sx) * b->dx), float(double(L->sz) * b->dz)};
  std::vector<float> h(size_t(nx + 1) * (nz + 1), 0);
  size_t m = 0;
  for (const HeightNode* n = L->heights; n && m < h.size(); n = n->next) {
    h[m++] = float(double(L->sy) * n->value);
  }
  // Edges and spans of level k: along x (axis 0) or z (axis 1).
  auto low = [&](int k, int axis) { return -(double(axis ? ez : ex) / 2) + lyr[k][axis]; };
  auto high = [&](int k, int axis) { return double(axis ? ez : ex) / 2 + lyr[k][2 + axis]; };
  auto span = [&](int k, int axis) {
    return float((double(axis ? ez : ex) - lyr[k][axis]) + lyr[k][2 + axis]);
  };
  auto sample = [&](int i, int j) { return h[size_t(j) * (nx + 1) + i]; };
  std::vector<Triangle> out;
  auto cell = [&](const Corners& c, float first, float second, Face f) {
    out.push_back(
        {{{c.x[0], c.y[0], c.z[0]}, {c.x[1], c.y[1], c.z[1]}, {c.x[2], c.y[2], c.z[2]}}, first, f});
    out.push_back({{{c.x[1], c.y[1], c.z[1]}, {c.x[2], c.y[2], c.z[2]}, {c.x[3], c.y[3], c.z[3]}},
                   second,
                   f});
  };
  for (bool top : {false, true}) {
    int k = top ? ny : 0;
    if (nx == 0 || nz == 0) continue;
    double stepX = double(span(k, 0)) / nx, stepZ = double(span(k, 1)) / nz;
    float y0 = float(top ? double(ey) / 2 : -(double(ey) / 2));
    for (int i = 0; i < nx; i++)
      for (int j = 0; j < nz; j++) {
        Corners c;
        c.x[0] = c.x[1] = float(low(k, 0) + i * stepX);
        c.x[2] = c.x[3] = float(stepX + c.x[0]);
        c.z[0] = c.z[2] = float(low(k, 1) + j * stepZ);
        c.z[1] = c.z[3] = float(stepZ + c.z[0]);
        int si[4] = {i, i, i + 1, i + 1}, sj[4] = {j, j + 1, j, j + 1};
        for (int q = 0; q < 4; q++) c.y[q] = float(double(y0) + sample(si[q], sj[q]));
        int s = top ? 1 : -1;
        cell(c, slopeGrey(c, top ? 3 : 0, s), slopeGrey(c, 3, s), top ? Face::top : Face::bottom);
      }
  }
  // Walls: low-x, high-x (along z, first and last column), low-z, high-z (along x, first and
  // last row).
  for (int wall = 0; wall < 4; wall++) {
    int axis = wall / 2, run = 1 - axis, cells = axis == 0 ? nz : nx;
    bool hi = wall % 2 == 1;
    for (int k = 0; k < ny; k++)
      for (int j = 0; j < cells; j++) {
        Corners c;
        float* fixed = axis == 0 ? c.x : c.z;
        float* along = axis == 0 ? c.z : c.x;
        for (int lv = 0; lv < 2; lv++) {
          double step = double(span(k + lv, run)) / cells;
          fixed[2 * lv] = fixed[2 * lv + 1] = float(hi ? high(k + lv, axis) : low(k + lv, axis));
          along[2 * lv] = float(low(k + lv, run) + j * step);
          along[2 * lv + 1] = float(double(along[2 * lv]) + step);
        }
        int edge = hi ? (axis == 0 ? nx : nz) : 0;
        float s0 = axis == 0 ? sample(edge, j) : sample(j, edge);
        float s1 = axis == 0 ? sample(edge, j + 1) : sample(j + 1, edge);
        double base = -(double(ey) / 2) + k * double(L->sy);
        c.y[0] = float(base + s0);
        c.y[1] = float(base + s1);
        c.y[2] = float(double(c.y[0]) + L->sy);
        c.y[3] = float(double(c.y[1]) + L->sy);
        float g = slopeGrey(c, 3, 1);
        cell(c, g, g, Face(2 + wall));
      }
  }
  return out;
}

// A lattice with every feature the face passes read: cell sizes other than 1 on each axis,
// insets that differ per level and per side, heights everywhere.
LatticeRecord featureLattice() {
  LatticeRecord L = box(4, 3, 3);
  L.cell[0] = 0.7f;
  L.cell[1] = 1.3f;
  L.cell[2] = 0.45f;
  float lo[4][2] = {{0.5f, 0.25f}, {0.3f, -0.2f}, {0.9f, 0.1f}, {0.15f, 0.6f}};
  float hi[4][2] = {{-0.5f, 0.1f}, {-0.35f, -0.3f}, {0.2f, -0.7f}, {-1.1f, 0.05f}};
  for (int k = 0; k < 4; k++) {
    L.minInsets.push_back({lo[k][0], lo[k][1]});
    L.maxInsets.push_back({hi[k][0], hi[k][1]});
  }
  for (int s = 0; s < 5 * 4; s++) L.heights.push_back(float(std::sin(s * 1.7) * 0.8 + s * 0.01));
  return L;
}

bool sameBits(float a, float b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

// Each corner of every triangle, to the bit, against the definitions: catches a level, step,
// edge, sample or rounding taken from the wrong place in any of the six passes.
TEST_F(RenderTest, EveryCornerMatchesTheDefinitions) {
  for (bool unitCells : {false, true}) {
    MapDesc m;
    m.lattices = {featureLattice()};
    if (unitCells) m.lattices[0].cell[0] = m.lattices[0].cell[1] = m.lattices[0].cell[2] = 1;
    LoadedMap l;
    loadDesc(m, l);
    std::vector<Triangle> got = trianglesOf(l.lat), want = referenceTriangles(l.lat);
    ASSERT_EQ(got.size(), want.size());
    int wrong = 0;
    for (size_t t = 0; t < got.size() && wrong < 5; t++) {
      bool same = sameBits(got[t].grey, want[t].grey) && got[t].face == want[t].face;
      for (int c = 0; c < 3; c++)
        for (int a = 0; a < 3; a++) same = same && sameBits(got[t].v[c][a], want[t].v[c][a]);
      if (!same) {
        wrong++;
        ADD_FAILURE() << "triangle " << t << " corner 0 (" << got[t].v[0][0] << ", "
                      << got[t].v[0][1] << ", " << got[t].v[0][2] << "), want (" << want[t].v[0][0]
                      << ", " << want[t].v[0][1] << ", " << want[t].v[0][2] << ")";
      }
    }
  }
}

// The worked example: level-0 insets 0.5 and -0.5 on x with nx = 4 and cells 2 wide; the
// bottom face runs from -ex/2 + 0.5 sx to ex/2 - 0.5 sx in four columns of 0.75 sx, and the
// top face (level ny, no insets) over the full width in columns of sx.
TEST_F(RenderTest, InsetFacesSpanTheirLevel) {
  MapDesc m;
  m.lattices = {box(4, 2, 1)};
  m.lattices[0].cell[0] = 2;
  m.lattices[0].minInsets = {{0.5f, 0}, {0, 0}, {0, 0}};
  m.lattices[0].maxInsets = {{-0.5f, 0}, {0, 0}, {0, 0}};
  LoadedMap l;
  loadDesc(m, l);
  auto t = trianglesOf(l.lat);
  for (int i = 0; i < 4; i++) {
    EXPECT_EQ(t[2 * i].v[0][0], -4 + 1 + 1.5f * i) << i; // bottom: low edge -4 + 0.5 * 2
    EXPECT_EQ(t[2 * i].v[2][0], -4 + 1 + 1.5f * (i + 1)) << i;
    EXPECT_EQ(t[8 + 2 * i].v[0][0], -4 + 2.0f * i) << i; // top: level 2 has no inset
    EXPECT_EQ(t[8 + 2 * i].v[0][1], 1.0f) << i;          // at +ey/2
  }
  // The low-x wall's band 0 runs from the inset edge of level 0 to the full edge of level 1.
  EXPECT_EQ(t[16].v[0][0], -3.0f);
  EXPECT_EQ(t[16].v[2][0], -4.0f);
}

// Heights are in units of sy and insets in units of sx and sz.
TEST_F(RenderTest, CellSizesScaleHeightsAndInsets) {
  MapDesc m;
  m.lattices = {box(1, 1, 1)};
  m.lattices[0].cell[0] = 2;
  m.lattices[0].cell[1] = 3;
  m.lattices[0].cell[2] = 5;
  m.lattices[0].heights = {0.5f, 0, 0, 0};
  m.lattices[0].minInsets = {{0.25f, 0.1f}, {0, 0}};
  m.lattices[0].maxInsets = {{0, 0}, {0, 0}};
  LoadedMap l;
  loadDesc(m, l);
  auto t = trianglesOf(l.lat);
  expectCorner(t[0], 0, -1 + 0.5f, -1.5f + 1.5f, float(-2.5 + 0.5));
  expectCorner(t[0], 1, -1 + 0.5f, -1.5f, 2.5f);
}

} // namespace

// A fit of a scene 10,000 units deep, seen along its length or across it, puts every corner
// inside the view volume: within the frame, beyond the near plane and short of the far plane
// the fitted view sets. A scene within the plain 1000 units keeps the plain planes.
TEST(FittedFar, EveryCornerOfADeepSceneIsInsideTheViewVolume) {
  MapDesc m;
  for (int k = 0; k < 6; k++) {
    LatticeRecord L = box(4, 2, 4, k + 1);
    // The first is small: fitted alone, the eye would come closer than the pushed near plane.
    L.cell[0] = L.cell[1] = L.cell[2] = k ? 10.0f : 0.25f;
    L.pos[2] = -2000.0f * float(k);
    m.lattices.push_back(L);
  }
  LoadedMap map;
  loadDesc(m, map);
  for (float yaw : {0.0f, 90.0f, -45.0f}) {
    float trot[Trot::size] = {0, 0, 0, 10, yaw};
    double depth = 0;
    ASSERT_TRUE(fitCamera(map.lat, 640, 480, trot, depth));
    float farPlane = fittedFar(depth);
    ASSERT_GT(farPlane, plainFar) << yaw;
    double nearPlaneAt = nearPlane(farPlane), ky = std::tan(22.5 * M_PI / 180), kx = ky * 640 / 480;
    Matrix camera = cameraMatrix(trot);
    for (const Lattice* L = map.lat; L; L = L->next) {
      std::vector<Triangle> tris;
      CollectEmitter emit{&tris};
      FaceTables ft;
      drawLatticeFaces(L, ViewerState{}, ft, emit);
      Matrix place = multiply(camera, latticePlacements(L, ViewerState{})[0]);
      for (const Triangle& t : tris)
        for (const float* c : t.v) {
          double w[3] = {c[0], c[1], c[2]}, e[3];
          transformPoint(place, w, e);
          double z = -e[2];
          EXPECT_TRUE(z > nearPlaneAt && z < farPlane && std::fabs(e[0]) <= kx * z &&
                      std::fabs(e[1]) <= ky * z)
              << "yaw " << yaw << ": corner at eye (" << e[0] << ", " << e[1] << ", " << e[2]
              << "), near " << nearPlaneAt << ", far " << farPlane;
        }
    }
  }
  EXPECT_EQ(fittedFar(900), 0);
  EXPECT_EQ(nearPlane(0), 1);
}
