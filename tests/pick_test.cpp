// Picking against real pictures: a headless OpenGL context draws the frame, each lattice's
// pixels are those that turn amber when it alone is selected, and the lattice picked at every
// pixel well inside one lattice's pixels (or the background's) must be that lattice.
#include "platform/gl.h"
#include "platform/headless.h"
#include "render/frame.h"
#include "render/retained.h"
#include "render/view.h"
#include "render/world.h"
#include "test_maps.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr int W = 200, H = 150;

std::vector<unsigned char> frame(const RetainedScene& scene, const float* trot,
                                 const ViewerState& vs) {
  drawRetainedFrame(scene, trot, vs);
  std::vector<unsigned char> rgb(size_t(W) * H * 3);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, W, H, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
  return rgb;
}

// Overlapping boxes at several depths, a turned child, heights and an undrawn lattice.
MapDesc pickMap() {
  MapDesc m;
  LatticeRecord a = box(6, 3, 6), b = box(3, 5, 3), c = box(4, 2, 4), hidden = box(2, 2, 2, 0),
                d = box(5, 1, 5);
  a.pos[2] = -5;
  b.pos[0] = 4;
  b.pos[2] = 2;
  b.rot[1] = 0.6f;
  c.pos[1] = 4;
  c.rot[2] = 0.4f;
  for (int s = 0; s < 25; s++) c.heights.push_back(float(std::sin(s * 1.3)));
  d.pos[0] = -7;
  d.pos[1] = -3;
  d.rot[0] = 0.5f;
  a.refs = {3}; // c sits in a's frame
  m.lattices = {a, b, c, hidden, d};
  return m;
}

// A headless context with the view set up, and the map loaded.
struct Pick : testing::Test {
  HeadlessContext hc;
  LoadedMap map;
  void SetUp() override {
    std::string err;
    ASSERT_TRUE(openHeadless(hc, W, H, err)) << err;
    glEnable(GL_DEPTH_TEST);
    viewProjection(W, H);
    loadDesc(pickMap(), map);
  }
  void TearDown() override { closeHeadless(hc); }
};

TEST_F(Pick, AgreesWithThePixelsDrawn) {
  RetainedScene scene;
  buildRetained(map.lat, ViewerState{}, size_t(1) << 30, scene);
  ASSERT_TRUE(uploadRetained(scene, glProc));
  std::vector<int> indexOfOrdinal;
  int index = 0;
  for (const Lattice* L = map.lat; L; L = L->next, index++)
    if (L->id) indexOfOrdinal.push_back(index);
  const float cameras[][5] = {{0, 0, 20, 0, 0}, {2, -1, 25, 25, -40}, {-3, 2, 10, -15, 70}};
  long checked = 0, inside = 0;
  for (const auto& cam : cameras) {
    float trot[Trot::size] = {cam[0], cam[1], cam[2], cam[3], cam[4]};
    ViewerState vs;
    std::vector<unsigned char> base = frame(scene, trot, vs);
    std::vector<int> owner(size_t(W) * H, -1); // bottom-up rows, as read back
    vs.selectionShown = 1;
    for (size_t o = 0; o < indexOfOrdinal.size(); o++) {
      trot[Trot::selectedLattice] = float(o);
      std::vector<unsigned char> lit = frame(scene, trot, vs);
      for (size_t p = 0; p < owner.size(); p++)
        if (lit[3 * p + 1] != base[3 * p + 1]) owner[p] = indexOfOrdinal[o];
    }
    trot[Trot::selectedLattice] = 0;
    for (int row = 1; row + 1 < H; row++)
      for (int x = 1; x + 1 < W; x++) {
        int own = owner[size_t(row) * W + x];
        bool solid = true;
        for (int dy = -1; dy <= 1; dy++)
          for (int dx = -1; dx <= 1; dx++)
            solid = solid && owner[size_t(row + dy) * W + x + dx] == own;
        if (!solid) continue;
        checked++;
        inside += own >= 0;
        int y = H - 1 - row; // picking counts rows from the top
        EXPECT_EQ(pickLattice(map.lat, trot, W, H, x, y), own)
            << "pixel " << x << "," << y << " camera " << cam[0] << "," << cam[1] << "," << cam[2]
            << "," << cam[3] << "," << cam[4];
      }
  }
  EXPECT_GT(inside, 3000); // the lattices cover much of the pictures
  EXPECT_GT(checked - inside, 5000);
}

} // namespace

// The driver's buffer objects draw the pictures the client arrays and immediate mode draw,
// pixel for pixel, selection included.
TEST_F(Pick, BufferObjectsDrawTheSamePixels) {
  RetainedScene buffers, client, immediate;
  buildRetained(map.lat, ViewerState{}, size_t(1) << 30, buffers);
  ASSERT_TRUE(uploadRetained(buffers, glProc));
  EXPECT_TRUE(buffers.xyz.empty());
  buildRetained(map.lat, ViewerState{}, size_t(1) << 30, client);
  buildRetained(map.lat, ViewerState{}, 0, immediate);
  const float cameras[][Trot::size] = {{0, 0, 20, 0, 0}, {2, -1, 25, 25, -40, 0, 1}};
  for (const auto& trot : cameras) {
    ViewerState vs;
    vs.axisFlag = 1;
    vs.selectionShown = trot[Trot::selectedLattice] > 0;
    std::vector<unsigned char> want = frame(immediate, trot, vs);
    EXPECT_TRUE(frame(buffers, trot, vs) == want);
    EXPECT_TRUE(frame(client, trot, vs) == want);
    // Something drawn, and background around it.
    long lit = std::count_if(want.begin(), want.end(), [](unsigned char c) { return c > 0; });
    EXPECT_GT(lit, 1000);
    EXPECT_LT(lit, long(want.size()) / 2);
  }
  releaseRetained(buffers);
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}
