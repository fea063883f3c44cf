// Picking against real pictures: a headless OpenGL context draws the frame, each lattice's
// pixels are those that turn amber when it alone is selected, and the lattice picked at every
// pixel well inside one lattice's pixels (or the background's) must be that lattice; the point
// picked there lies on one of that lattice's exported triangles and is drawn at that pixel.
#include "chain_placement.h"
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

std::vector<unsigned char> frame(RetainedScene& scene, const float* trot, const ViewerState& vs) {
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

// Whether world point `p` lies on one of the lattice's triangles as export writes them, to
// within float rounding.
bool onExportedTriangle(const Lattice* L, const double p[3]) {
  PlacedLattice placed;
  placeLattice(L, chainPlacement(L, ViewerState{}), ViewerState{}, placed);
  for (const Triangle& t : placed.tris) {
    double e1[3], e2[3], q[3], n[3];
    for (int a = 0; a < 3; a++) {
      e1[a] = double(t.v[1][a]) - t.v[0][a];
      e2[a] = double(t.v[2][a]) - t.v[0][a];
      q[a] = p[a] - t.v[0][a];
    }
    triangleNormal(t, n);
    double nn = n[0] * n[0] + n[1] * n[1] + n[2] * n[2];
    if (nn == 0) continue;
    double off = (q[0] * n[0] + q[1] * n[1] + q[2] * n[2]) / std::sqrt(nn);
    // Where q falls in the triangle's own coordinates (e1, e2).
    double d11 = e1[0] * e1[0] + e1[1] * e1[1] + e1[2] * e1[2];
    double d12 = e1[0] * e2[0] + e1[1] * e2[1] + e1[2] * e2[2];
    double d22 = e2[0] * e2[0] + e2[1] * e2[1] + e2[2] * e2[2];
    double q1 = q[0] * e1[0] + q[1] * e1[1] + q[2] * e1[2];
    double q2 = q[0] * e2[0] + q[1] * e2[1] + q[2] * e2[2];
    double det = d11 * d22 - d12 * d12;
    double u = (q1 * d22 - q2 * d12) / det, v = (q2 * d11 - q1 * d12) / det;
    const double eps = 1e-5;
    if (std::fabs(off) < 1e-4 && u > -eps && v > -eps && u + v < 1 + eps) return true;
  }
  return false;
}

// Where world point `p` is drawn with camera `trot`: window pixels, rows from the bottom.
void drawnAt(const float* trot, const double p[3], double& wx, double& wy) {
  loadCamera(trot);
  double model[16], proj[16], wz;
  int viewport[4];
  glGetDoublev(GL_MODELVIEW_MATRIX, model);
  glGetDoublev(GL_PROJECTION_MATRIX, proj);
  glGetIntegerv(GL_VIEWPORT, viewport);
  gluProject(p[0], p[1], p[2], model, proj, viewport, &wx, &wy, &wz);
}

// Which lattice (list index) each pixel shows with camera `trot` (bottom-up rows, as read
// back), -1 for the background: the pixels that turn amber when it alone is selected.
std::vector<int> ownerMap(RetainedScene& scene, const float* camera, const Lattice* lat) {
  float trot[Trot::size] = {};
  std::copy(camera, camera + 5, trot);
  ViewerState vs;
  std::vector<unsigned char> base = frame(scene, trot, vs);
  std::vector<int> owner(size_t(W) * H, -1);
  vs.selectionShown = 1;
  int index = 0, ordinal = 0;
  for (const Lattice* L = lat; L; L = L->next, index++) {
    if (!L->id) continue;
    trot[Trot::selectedLattice] = float(ordinal++);
    std::vector<unsigned char> lit = frame(scene, trot, vs);
    for (size_t p = 0; p < owner.size(); p++)
      if (lit[3 * p + 1] != base[3 * p + 1]) owner[p] = index;
  }
  return owner;
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
  const float cameras[][5] = {{0, 0, 20, 0, 0}, {2, -1, 25, 25, -40}, {-3, 2, 10, -15, 70}};
  long checked = 0, inside = 0, points = 0;
  for (const auto& cam : cameras) {
    float trot[Trot::size] = {cam[0], cam[1], cam[2], cam[3], cam[4]};
    std::vector<int> owner = ownerMap(scene, trot, map.lat);
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
        PickHit hit = pickPoint(map.lat, trot, W, H, x, y);
        EXPECT_EQ(hit.index, own) << "pixel " << x << "," << y << " camera " << cam[0] << ","
                                  << cam[1] << "," << cam[2] << "," << cam[3] << "," << cam[4];
        if (own < 0 || (x + row) % 4) continue;
        points++;
        EXPECT_TRUE(onExportedTriangle(latticeAt(map.lat, own), hit.at))
            << "pixel " << x << "," << y;
        double wx, wy;
        drawnAt(trot, hit.at, wx, wy);
        EXPECT_NEAR(wx, x + 0.5, 0.01) << "pixel " << x << "," << y;
        EXPECT_NEAR(wy, row + 0.5, 0.01) << "pixel " << x << "," << y;
      }
  }
  EXPECT_GT(inside, 3000); // the lattices cover much of the pictures
  EXPECT_GT(checked - inside, 5000);
  EXPECT_GT(points, 700);
}

// From the top, orthographic and fitted, a map 10,000 units wide shows every lattice, and the
// parallel pick rays find each lattice where it is drawn.
TEST_F(Pick, OrthographicTopViewOfAWideMap) {
  MapDesc m;
  LatticeRecord a = box(4, 1, 4), b = box(4, 1, 4), c = box(3, 2, 3);
  for (LatticeRecord* r : {&a, &b, &c}) r->cell[0] = r->cell[1] = r->cell[2] = 100;
  a.pos[0] = -5000;
  b.pos[0] = 5000;
  c.pos[2] = 300;
  c.rot[1] = 0.5f;
  m.lattices = {a, b, c};
  loadDesc(m, map);
  float trot[Trot::size] = {0, 0, 0, 90, 0}, half = 0;
  ASSERT_TRUE(fitOrtho(map.lat, W, H, trot, half));
  EXPECT_GT(half * W / H, 5200); // the whole width, 10,400 units, with a margin
  SceneBox box;
  ASSERT_TRUE(worldBox(map.lat, box));
  viewOrtho(W, H, half, trot, box);
  RetainedScene scene;
  buildRetained(map.lat, ViewerState{}, size_t(1) << 30, scene);
  ASSERT_TRUE(uploadRetained(scene, glProc));
  std::vector<int> owner = ownerMap(scene, trot, map.lat);
  int seen[3] = {};
  for (int row = 0; row < H; row++)
    for (int x = 0; x < W; x++) {
      int own = owner[size_t(row) * W + x];
      if (own >= 0) seen[own]++;
      // Pixels well inside one lattice or the background.
      bool solid = row > 0 && row + 1 < H && x > 0 && x + 1 < W;
      for (int dy = -1; dy <= 1 && solid; dy++)
        for (int dx = -1; dx <= 1 && solid; dx++)
          solid = owner[size_t(row + dy) * W + x + dx] == own;
      if (!solid) continue;
      EXPECT_EQ(pickLattice(map.lat, trot, W, H, x, H - 1 - row, SIZE_MAX, {}, {}, half), own)
          << "pixel " << x << "," << H - 1 - row;
    }
  for (int i = 0; i < 3; i++) EXPECT_GT(seen[i], 4) << "lattice " << i;
  releaseRetained(scene);
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

// The levels kept for retained colours are those the rasterizer stores for the floats the
// immediate path sends: over an even sweep and floats on and either side of each tie between two
// levels, drawn as one-pixel squares; and a level sent as a byte stays that level.
TEST(ColourLevels, MatchTheRasterizer) {
  constexpr int side = 512, n = side * side;
  HeadlessContext hc;
  std::string err;
  ASSERT_TRUE(openHeadless(hc, side, side, err)) << err;
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0, side, 0, side, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  std::vector<float> c(n);
  std::vector<unsigned char> px(size_t(n) * 4);
  for (int sweep = 0; sweep < 3; sweep++) {
    for (int i = 0; i < n; i++) {
      if (sweep == 0) {
        c[i] = float(i) / (n - 1);
      } else if (sweep == 1) {
        // Next to the ties halfway between levels, a step or two either way and on them.
        float f = (float((i / 5) % 255) + 0.5f) / 255.0f;
        for (int k = 0; k < i % 5; k++) f = std::nextafter(f, i % 2 ? 0.0f : 1.0f);
        c[i] = f;
      } else {
        c[i] = float(i % 256) / 255; // bytes, as a colour array sends them
      }
    }
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glBegin(GL_TRIANGLES);
    for (int i = 0; i < n; i++) {
      float x = float(i % side), y = float(i / side);
      if (sweep == 2)
        glColor4ub(GLubyte(i % 256), GLubyte(i % 256), GLubyte(i % 256), 255);
      else
        glColor3f(c[i], c[i], c[i]);
      const float q[12] = {x, y, x + 1, y, x, y + 1, x + 1, y, x + 1, y + 1, x, y + 1};
      for (int k = 0; k < 12; k += 2) glVertex2f(q[k], q[k + 1]);
    }
    glEnd();
    glReadPixels(0, 0, side, side, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
    int wrong = 0;
    for (int i = 0; i < n; i++)
      if (px[4 * size_t(i)] != colourLevel(c[i]) && wrong++ < 5)
        ADD_FAILURE() << "sweep " << sweep << ": " << c[i] << " draws level " << int(px[4 * i])
                      << ", not " << int(colourLevel(c[i]));
  }
  closeHeadless(hc);
}
