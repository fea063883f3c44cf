// Key table and camera step.
#include "app/camera.h"
#include "doubles/win_double.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace {

using namespace Trot;

struct Flight {
  unsigned char key[256] = {};
  float trot[Trot::size] = {};
  ViewerState vs;
  void hold(std::initializer_list<int> keys) {
    for (int k : keys) key[k] = 1;
  }
};

TEST(CameraStep, EachKeyAlone) {
  struct Case {
    int key;
    float tx, ty, tz, pitch, yaw;
    int axis;
  } cases[] = {
      {VK_UP, 0, 0, 0, 1, 0, 0},    {VK_DOWN, 0, 0, 0, -1, 0, 0}, {VK_LEFT, 0, 0, 0, 0, -1, 0},
      {VK_RIGHT, 0, 0, 0, 0, 1, 0}, {'E', 0, 0, 1, 0, 0, 0},      {'D', 0, 0, -1, 0, 0, 0},
      {'S', 1, 0, 0, 0, 0, 0},      {'F', -1, 0, 0, 0, 0, 0},     {'W', 0, 1, 0, 0, 0, 0},
      {'R', 0, -1, 0, 0, 0, 0},     {'T', 0, 0, 0, 0, 0, 1},      {VK_ESCAPE, 0, 0, 0, 0, 0, 0},
      {'Q', 0, 0, 0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    Flight f;
    f.hold({c.key});
    cameraStep(f.key, f.trot, f.vs);
    EXPECT_EQ(f.trot[tx], c.tx) << c.key;
    EXPECT_EQ(f.trot[ty], c.ty) << c.key;
    EXPECT_EQ(f.trot[tz], c.tz) << c.key;
    EXPECT_EQ(f.trot[pitch], c.pitch) << c.key;
    EXPECT_EQ(f.trot[yaw], c.yaw) << c.key;
    EXPECT_EQ(f.vs.axisFlag, c.axis) << c.key;
  }
}

TEST(CameraStep, KeysTogether) {
  Flight es;
  es.hold({'E', 'S'});
  cameraStep(es.key, es.trot, es.vs);
  EXPECT_EQ(es.trot[tz], 1.0f); // forward
  EXPECT_EQ(es.trot[tx], 1.0f); // and to the left

  Flight ed;
  ed.hold({'E', 'D', VK_LEFT});
  for (int i = 0; i < 50; i++) cameraStep(ed.key, ed.trot, ed.vs);
  EXPECT_NEAR(ed.trot[tx], 0, 1e-5);
  EXPECT_NEAR(ed.trot[tz], 0, 1e-5);

  Flight lr;
  lr.hold({VK_LEFT, VK_RIGHT});
  cameraStep(lr.key, lr.trot, lr.vs);
  EXPECT_EQ(lr.trot[yaw], 0.0f);
}

// Motion follows the yaw, and the arrows turn before the step takes its angle: at yaw 30 with
// Left held the step moves along 29 degrees.
TEST(CameraStep, MotionFollowsTheTurnedYaw) {
  const double c30 = std::cos(30 / 57.2958), s30 = std::sin(30 / 57.2958);
  const double c29 = std::cos(29 / 57.2958), s29 = std::sin(29 / 57.2958);
  struct Case {
    float yaw;
    std::vector<int> keys;
    double tx, tz;
  } cases[] = {
      {30, {'E'}, -s30, c30},
      {30, {'D'}, s30, -c30},
      {30, {'S'}, c30, s30},
      {30, {'F'}, -c30, -s30},
      {30, {'S', VK_LEFT}, c29, s29},
      {30, {'F', VK_LEFT}, -c29, -s29},
      {-150, {'S'}, -c30, -s30},
      {-150, {'F'}, c30, s30},
      {28, {'E', VK_RIGHT}, -s29, c29},
      {30, {'E', 'S'}, c30 - s30, s30 + c30},
  };
  for (const Case& c : cases) {
    Flight f;
    f.trot[yaw] = c.yaw;
    for (int k : c.keys) f.key[k] = 1;
    cameraStep(f.key, f.trot, f.vs);
    EXPECT_NEAR(f.trot[tx], c.tx, 1e-6) << c.yaw << " " << c.keys[0];
    EXPECT_NEAR(f.trot[tz], c.tz, 1e-6) << c.yaw << " " << c.keys[0];
  }
}

TEST(CameraStep, YawIsNeverWrapped) {
  Flight f;
  f.hold({VK_LEFT});
  for (int i = 0; i < 360; i++) cameraStep(f.key, f.trot, f.vs);
  EXPECT_EQ(f.trot[yaw], -360.0f);
}

TEST(CameraStep, YawDivisorIsTheDoubleConstant) {
  Flight f;
  f.trot[yaw] = 90.0f;
  f.hold({'E'});
  cameraStep(f.key, f.trot, f.vs);
  EXPECT_EQ(f.trot[tx], -1.0f);
  // a = 90 / 57.2958 is a little below pi/2, so cos a is not 0.
  EXPECT_EQ(f.trot[tz], float(std::cos(90.0 / 57.2958)));
  EXPECT_NEAR(f.trot[tz], 5.6e-7, 0.05e-7);
}

TEST(CameraStep, AxisFlagFollowsTheKey) {
  Flight f;
  for (int pass = 0; pass < 6; pass++) {
    f.key['T'] = pass >= 2 && pass < 4;
    cameraStep(f.key, f.trot, f.vs);
    EXPECT_EQ(f.vs.axisFlag, pass >= 2 && pass < 4 ? 1 : 0) << pass;
  }
}

TEST(KeyTable, OnlyKeyDownAndUpTouchIt) {
  unsigned char key[256] = {};
  updateKeyTable(key, keyMsg(WM_KEYDOWN, 'E'));
  EXPECT_EQ(key['E'], 1);
  updateKeyTable(key, keyMsg(WM_KEYDOWN, 'E', true)); // auto-repeat
  EXPECT_EQ(key['E'], 1);
  updateKeyTable(key, keyMsg(WM_SYSKEYUP, 'E'));
  EXPECT_EQ(key['E'], 1);
  updateKeyTable(key, keyMsg(WM_SYSKEYDOWN, 'F'));
  EXPECT_EQ(key['F'], 0);
  updateKeyTable(key, keyMsg(WM_KEYUP, 'E'));
  EXPECT_EQ(key['E'], 0);
}

} // namespace
