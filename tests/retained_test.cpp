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

#include <algorithm>
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
                                          RetainedScene* scene) {
  glDoubleReset();
  viewProjection(640, 480);
  ViewerState vs;
  FaceTables ft;
  if (scene)
    drawRetainedFrame(*scene, trot, vs);
  else
    drawFrame(map.lat, trot, vs, ft);
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
    EXPECT_EQ(4 * scene.xyz.capacity() + scene.rgba.capacity(), buffers ? 0 : bytes);
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
  EXPECT_EQ(scene.xyz.size() * 4 + scene.rgba.size(), scene.bytes);
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
  buildRetained(map.lat, ViewerState{}, first * 48, one);
  EXPECT_EQ(one.bytes, first * 48);
  ASSERT_GE(one.lattices.size(), 2u);
  EXPECT_TRUE(one.lattices[0].arrays);
  EXPECT_FALSE(one.lattices[1].arrays);
  EXPECT_TRUE(frameTriangles(map, trot, &one) == imm);
}

// Two scenes built and uploaded side by side (comparing two maps) each draw, call for call,
// what they draw alone: neither shares tables, buffers or entry points with the other. Each
// keeps one lattice out of its arrays, so the immediate path runs through its own tables.
TEST(Retained, TwoScenesSideBySideDrawAsAlone) {
  LoadedMap a, b;
  loadDesc(richMap(), a);
  loadDesc(demoMap(), b);
  float trot[Trot::size] = {0, 0, -150, 20, 0};
  auto budget = [](const LoadedMap& m) { return faceTriangles(m.lat) * 48; };
  auto stream = [&](const LoadedMap& m, RetainedScene& s) {
    std::vector<DrawnTriangle> t = frameTriangles(m, trot, &s);
    std::vector<Gl> fns;
    for (const GlCall& c : glDouble.calls) fns.push_back(c.fn);
    return std::make_pair(t, fns);
  };
  auto alone = [&](const LoadedMap& m) {
    glDoubleNewContext(GlBuffers::core);
    RetainedScene s;
    buildRetained(m.lat, ViewerState{}, budget(m), s);
    EXPECT_TRUE(uploadRetained(s, glProc));
    return stream(m, s);
  };
  auto soloA = alone(a), soloB = alone(b);
  glDoubleNewContext(GlBuffers::core);
  RetainedScene sa, sb;
  buildRetained(a.lat, ViewerState{}, budget(a), sa);
  buildRetained(b.lat, ViewerState{}, budget(b), sb);
  ASSERT_TRUE(uploadRetained(sa, glProc));
  ASSERT_TRUE(uploadRetained(sb, glProc));
  EXPECT_FALSE(sa.lattices.back().arrays);
  EXPECT_TRUE(stream(b, sb) == soloB);
  EXPECT_TRUE(stream(a, sa) == soloA);
  EXPECT_FALSE(soloA.first == soloB.first);
  releaseRetained(sa);
  EXPECT_EQ(glDoubleLiveBuffers(), 2); // b's stay
  EXPECT_TRUE(stream(b, sb) == soloB);
}

// Every lattice is drawn from the arrays in its style, the selected one too, as the immediate
// frame draws it; a change of selection or style recolours only the lattices it touches, and
// an edited lattice is rebuilt alone (with buffer objects and with client arrays).
TEST(Retained, StylesAndRebuildsTouchOnlyTheirLattice) {
  LoadedMap map;
  loadDesc(richMap(), map);
  float trot[Trot::size] = {0, 0, -150, 20, 0};
  for (GlBuffers offers : {GlBuffers::core, GlBuffers::none}) {
    glDoubleNewContext(offers);
    RetainedScene scene;
    buildRetained(map.lat, ViewerState{}, size_t(1) << 30, scene);
    uploadRetained(scene, glProc);
    ASSERT_GE(scene.lattices.size(), 3u);
    const RetainedLattice &a = scene.lattices[0], &b = scene.lattices.back();
    long bytesA = 4L * a.count, bytesB = 4L * b.count; // colours: 4 bytes a vertex
    bool buffers = offers != GlBuffers::none;
    auto frame = [&](int selected, bool retained) {
      trot[Trot::selectedLattice] = float(selected);
      ViewerState vs;
      vs.selectionShown = selected >= 0;
      glDoubleReset();
      viewProjection(640, 480);
      FaceTables ft;
      if (retained)
        drawRetainedFrame(scene, trot, vs);
      else
        drawFrame(map.lat, trot, vs, ft);
      return glDouble.drawn;
    };
    int last = int(scene.lattices.size()) - 1;
    std::vector<DrawnTriangle> ret = frame(0, true);
    EXPECT_EQ(glDouble.replacedBytes, buffers ? bytesA : 0); // lattice 0 takes amber
    EXPECT_TRUE(ret == frame(0, false));
    ret = frame(last, true);
    EXPECT_EQ(glDouble.replacedBytes, buffers ? bytesA + bytesB : 0);
    EXPECT_TRUE(ret == frame(last, false));
    frame(last, true);
    EXPECT_EQ(glDouble.replacedBytes, 0); // nothing changed
    // A style set on a lattice that is not selected.
    setLatticeStyle(scene, a.index, LatticeStyle::amber);
    ret = frame(-1, true);
    EXPECT_EQ(glDouble.replacedBytes, buffers ? bytesA + bytesB : 0);
    EXPECT_TRUE(ret == frame(0, false)); // lattice 0 amber, the rest grey
    setLatticeStyle(scene, a.index, LatticeStyle::grey);
    // An edit rebuilds its lattice alone: positions and colours, the chunks' boxes too.
    Lattice* L = const_cast<Lattice*>(b.L);
    ASSERT_NE(L->heights, nullptr);
    L->heights->value += 2.5f;
    glDoubleReset();
    ASSERT_TRUE(rebuildLattice(scene, b.index));
    EXPECT_EQ(glDouble.replacedBytes, buffers ? 4 * bytesB : 0); // 16 bytes a vertex
    ret = frame(-1, true);
    EXPECT_TRUE(ret == frame(-1, false));
    L->heights->value -= 2.5f;
    ASSERT_TRUE(rebuildLattice(scene, b.index));
  }
  glDoubleNewContext(GlBuffers::core);
}

// Past the triangle budget, lattices are drawn as their boxes: in list order, each keeps its
// faces while they fit in what is left; undrawn lattices take nothing.
TEST(Boxes, WhichLatticesArePastTheBudget) {
  MapDesc m;
  m.lattices = {box(10, 1, 10), box(1, 1, 1, 0), box(20, 1, 20), box(2, 1, 2)};
  LoadedMap map;
  loadDesc(m, map);
  // Faces: 4*100 + 4*20 = 480; undrawn; 4*400 + 4*40 = 1760; 16 + 16 = 32.
  struct Case {
    size_t budget;
    std::vector<bool> boxed;
  } cases[] = {{SIZE_MAX, {false, false, false, false}},
               {480 + 1760 + 32, {false, false, false, false}},
               {480 + 1760 + 31, {false, false, false, true}},
               {480 + 100, {false, false, true, false}}, // a later small lattice still fits
               {479, {true, false, true, false}},
               {0, {true, false, true, true}}};
  for (const Case& c : cases) EXPECT_EQ(boxedLattices(map.lat, c.budget), c.boxed) << c.budget;
}

// A box holds every corner its lattice's faces draw, touches each side of them, and is shaded
// as the faces of a box are: bottom 0.4, top 0.8, walls 0.6.
TEST(Boxes, ABoxHoldsItsLattice) {
  MapDesc m = richMap();
  LatticeRecord odd = box(5, 3, 4);
  odd.cell[0] = -1.5f; // a negative cell size turns the lattice inside out
  odd.heights.assign(6 * 5, 0);
  odd.heights[7] = 4;
  odd.heights[20] = -3;
  odd.minInsets = {{1, 0}, {2, -1}, {0.5f, 0.5f}, {3, 1}};
  odd.maxInsets = {{0, 0}, {-1, 2}, {1, 1}, {0, -2}};
  m.lattices.push_back(odd);
  LoadedMap map;
  loadDesc(m, map);
  int drawn = 0;
  for (const Lattice* L = map.lat; L; L = L->next) {
    if (!L->id) continue;
    drawn++;
    std::vector<Triangle> faces, boxTris;
    CollectEmitter f{&faces}, b{&boxTris};
    FaceTables ft;
    drawLatticeFaces(L, ViewerState{}, ft, f);
    drawLatticeBox(L, ViewerState{}, ft, b);
    ASSERT_EQ(boxTris.size(), boxTriangles);
    float lo[3] = {INFINITY, INFINITY, INFINITY}, hi[3] = {-INFINITY, -INFINITY, -INFINITY};
    for (const Triangle& t : faces)
      for (const auto& v : t.v)
        for (int a = 0; a < 3; a++) {
          lo[a] = std::min(lo[a], v[a]);
          hi[a] = std::max(hi[a], v[a]);
        }
    float blo[3] = {INFINITY, INFINITY, INFINITY}, bhi[3] = {-INFINITY, -INFINITY, -INFINITY};
    for (const Triangle& t : boxTris) {
      for (const auto& v : t.v)
        for (int a = 0; a < 3; a++) {
          blo[a] = std::min(blo[a], v[a]);
          bhi[a] = std::max(bhi[a], v[a]);
        }
      float want = t.face == Face::bottom ? 0.4f : t.face == Face::top ? 0.8f : 0.6f;
      EXPECT_NEAR(t.grey, want, 1e-6) << int(t.face);
    }
    for (int a = 0; a < 3; a++) {
      float slack = 1e-4f * std::max(1.0f, std::abs(hi[a] - lo[a]));
      EXPECT_NEAR(blo[a], lo[a], slack) << "lattice " << drawn << " axis " << a;
      EXPECT_NEAR(bhi[a], hi[a], slack) << "lattice " << drawn << " axis " << a;
    }
  }
  EXPECT_GT(drawn, 5);
}

// The scene draws boxes past its triangle budget, from the arrays and in immediate mode alike;
// within the budget it is the scene without one, call for call.
TEST(Boxes, TheSceneDrawsBoxesPastItsBudget) {
  LoadedMap map;
  loadDesc(richMap(), map);
  float trot[Trot::size] = {0, 0, -150, 20, 0};
  RetainedScene plain, within;
  buildRetained(map.lat, ViewerState{}, size_t(1) << 30, plain);
  buildRetained(map.lat, ViewerState{}, size_t(1) << 30, within, plain.vertices / 3);
  EXPECT_EQ(within.boxes, 0u);
  std::vector<DrawnTriangle> want = frameTriangles(map, trot, &plain);
  std::vector<GlCall> wantCalls = glDouble.calls;
  EXPECT_TRUE(frameTriangles(map, trot, &within) == want);
  EXPECT_EQ(glDouble.calls.size(), wantCalls.size());

  std::vector<bool> boxed = boxedLattices(map.lat, 1000);
  size_t expect = 0, drawn = 0, index = 0;
  for (const Lattice* L = map.lat; L; L = L->next, index++)
    if (L->id) {
      drawn++;
      expect += boxed[index] ? boxTriangles : faceTriangles(L);
    }
  for (size_t bytes : {size_t(1) << 30, size_t(0)}) { // arrays, then immediate mode
    RetainedScene tight;
    buildRetained(map.lat, ViewerState{}, bytes, tight, 1000);
    EXPECT_GT(tight.boxes, 0u);
    EXPECT_LT(tight.boxes, drawn);
    float far[Trot::size] = {0, 0, -900, 20, 0}; // everything in view
    EXPECT_EQ(frameTriangles(map, far, &tight).size(), expect) << bytes;
  }
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
