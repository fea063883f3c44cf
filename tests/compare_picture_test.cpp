// Comparisons against real pictures: a removed lattice that an added one covers still shows, as
// red edges over the frame, and a selected lattice keeps its change colour under an amber outline.
#include "mapfile/diff.h"
#include "platform/gl.h"
#include "platform/headless.h"
#include "render/compare.h"
#include "render/view.h"
#include "test_maps.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr int W = 160, H = 120;

// Pixels of each hue in a frame read back: red (removed), green (added), amber (the outline).
struct Hues {
  int red = 0, green = 0, amber = 0;
};

Hues huesOf(const std::vector<unsigned char>& rgb) {
  Hues h;
  for (size_t p = 0; p + 2 < rgb.size(); p += 3) {
    int r = rgb[p], g = rgb[p + 1], b = rgb[p + 2];
    h.red += r > 2 * g && r > 2 * b;
    h.green += g > 2 * r && g > 2 * b;
    h.amber += r > g && g > b && 10 * g > 7 * r && 2 * b < g;
  }
  return h;
}

std::vector<unsigned char> readFrame() {
  std::vector<unsigned char> rgb(size_t(W) * H * 3);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, W, H, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
  return rgb;
}

// Two maps compared in a headless context: the old map's scene `sa` (client arrays), the new
// one's `sb` (buffer objects up to `budget` triangles), styled by their diff `d`.
struct ComparePicture : testing::Test {
  HeadlessContext hc;
  bool open = false;
  LoadedMap a, b;
  MapDiff d;
  ViewerState vs;
  RetainedScene sa, sb;
  void compare(const MapDesc& old, const MapDesc& now, size_t budget = 0) {
    std::string err;
    ASSERT_TRUE(open = openHeadless(hc, W, H, err)) << err;
    glEnable(GL_DEPTH_TEST);
    viewProjection(W, H);
    loadDesc(old, a);
    loadDesc(now, b);
    d = diffMaps(a, b);
    buildRetained(a.lat, vs, 0, sa);
    buildRetained(b.lat, vs, budget, sb);
    styleComparison(d, sb, sa);
  }
  void TearDown() override {
    releaseRetained(sb);
    if (open) closeHeadless(hc);
  }
};

} // namespace

TEST_F(ComparePicture, CoveredRemovalsShowAndTheSelectionKeepsItsColour) {
  MapDesc old, now;
  old.lattices = {box(4, 2, 4, 1)};   // removed
  now.lattices = {box(12, 6, 12, 2)}; // added, all around where it was
  compare(old, now, size_t(1) << 30);
  ASSERT_EQ(d.removed, 1);
  ASSERT_EQ(d.added, 1);
  float trot[Trot::size] = {0, 0, 0, 25, 30};
  // frame(selected, outline): the comparison drawn, the selection shown or not, then its edges
  // with the outline on lattice `index` of `outlined`.
  auto frame = [&](bool selected, RetainedScene* outlined, int index, bool edges = true) {
    vs.selectionShown = selected;
    trot[Trot::selectedLattice] = 0;
    drawRetainedFrame(sb, trot, vs, &sa);
    if (edges) drawComparisonEdges(sa, trot, vs, outlined, index);
    return huesOf(readFrame());
  };
  Hues covered = frame(false, nullptr, -1, false);
  EXPECT_EQ(covered.red, 0); // the added lattice hides the removed one
  ASSERT_GT(covered.green, 500);
  Hues plain = frame(false, nullptr, -1);
  EXPECT_GT(plain.red, 20);
  EXPECT_EQ(plain.amber, 0);
  EXPECT_GT(plain.green, covered.green * 9 / 10);
  // Selected, the added lattice stays green inside an amber box.
  Hues selected = frame(true, &sb, 0);
  EXPECT_GT(selected.amber, 40);
  EXPECT_GT(selected.green, covered.green * 8 / 10);
  EXPECT_GT(selected.red, 20);
  // The removed lattice N went to (nothing selected) is outlined in amber over its red.
  Hues atHand = frame(false, &sa, 0);
  EXPECT_GT(atHand.amber, 20);
  EXPECT_LT(atHand.red, plain.red);
  // An index the scene does not draw outlines nothing.
  EXPECT_EQ(frame(false, &sb, 5).amber, 0);
}

// A moved lattice's old place shows as its box's edges in a pale blue, where nothing else is.
TEST_F(ComparePicture, AMovedLatticesOldPlaceShowsPale) {
  MapDesc old, now;
  old.lattices = {box(4, 2, 4, 1)};
  now.lattices = old.lattices;
  now.lattices[0].pos[0] = 14;
  compare(old, now);
  ASSERT_EQ(d.moved, 1);
  float trot[Trot::size] = {0, 0, 0, 25, 0};
  auto pale = [&](bool edges) {
    drawRetainedFrame(sb, trot, vs, &sa);
    if (edges) drawComparisonEdges(sa, trot, vs, nullptr, -1);
    int n = 0;
    std::vector<unsigned char> rgb = readFrame();
    for (size_t p = 0; p + 2 < rgb.size(); p += 3) // (0.7, 0.8, 1): pale, and bluish
      n += rgb[p] > 150 && rgb[p + 2] > rgb[p + 1] && rgb[p + 1] > rgb[p] && rgb[p + 2] > 240;
    return n;
  };
  EXPECT_EQ(pale(false), 0);
  EXPECT_GT(pale(true), 20);
}
