// The axes marker drawn for real: each axis's colour lies where the view's turn puts it.
#include "platform/gl.h"
#include "platform/headless.h"
#include "render/overlay.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

constexpr int W = 200, H = 160;

// Where the pixels of colour `c` (0 red, 1 green, 2 blue: that component well above the
// others) lie on average, relative to the marker's middle (x right, y up); n counts them.
struct Spot {
  double x = 0, y = 0;
  int n = 0;
};

Spot spotOf(const std::vector<unsigned char>& rgb, int c, const int box[4]) {
  Spot s;
  double mx = (box[0] + box[2]) / 2.0, my = (box[1] + box[3]) / 2.0;
  for (int y = box[1]; y < box[3]; y++)
    for (int x = box[0]; x < box[2]; x++) {
      const unsigned char* p = &rgb[(size_t(H - 1 - y) * W + size_t(x)) * 3];
      if (p[c] > 150 && p[c] > p[(c + 1) % 3] + 60 && p[c] > p[(c + 2) % 3] + 60) {
        s.x += x + 0.5 - mx;
        s.y += my - (y + 0.5);
        s.n++;
      }
    }
  if (s.n) s.x /= s.n, s.y /= s.n;
  return s;
}

} // namespace

TEST(MarkerPicture, AxesTurnWithTheView) {
  HeadlessContext hc;
  std::string err;
  ASSERT_TRUE(openHeadless(hc, W, H, err)) << err;
  glEnable(GL_DEPTH_TEST);
  unsigned texture = 0;
  struct Case {
    float pitch, yaw;
    double dir[3][2]; // each axis's direction on the picture (x right, y up); 0, 0: end-on
  } cases[] = {
      {0, 0, {{1, 0}, {0, 1}, {0, 0}}},
      {0, 90, {{0, 0}, {0, 1}, {1, 0}}},
      {90, 0, {{1, 0}, {0, 0}, {0, -1}}},
  };
  for (const Case& c : cases) {
    OverlayPanel p;
    p.kind = PanelKind::axes;
    p.lines = {{"x", {1, 0.3f, 0.3f}}, {"y", {0.3f, 1, 0.3f}}, {"z", {0.3f, 0.3f, 1}}};
    p.turn[0] = c.pitch;
    p.turn[1] = c.yaw;
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    std::vector<OverlayPanel> panels = {p};
    drawOverlay(panels, W, H, texture);
    layoutPanels(panels, W, H);
    ASSERT_EQ(panels.size(), 1u);
    std::vector<unsigned char> rgb(size_t(W) * H * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, W, H, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    for (int a = 0; a < 3; a++) {
      Spot s = spotOf(rgb, a, panels[0].box);
      ASSERT_GT(s.n, 4) << c.pitch << " " << c.yaw << " axis " << a;
      // The bar and its label lie along the axis's direction; an axis seen end-on (its label
      // on the middle) stays near the middle.
      double along = s.x * c.dir[a][0] + s.y * c.dir[a][1];
      if (c.dir[a][0] || c.dir[a][1])
        EXPECT_GT(along, 12) << c.pitch << " " << c.yaw << " axis " << a;
      else
        EXPECT_LT(std::hypot(s.x, s.y), 6) << c.pitch << " " << c.yaw << " axis " << a;
    }
  }
  closeHeadless(hc);
}
