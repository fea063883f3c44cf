// Key table and camera step.
#include "app/camera.h"
#include "render/world.h"
#include "platform/matrix.h"
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

TEST(KeyTable, PressesAndReleasesOfEitherNameTouchIt) {
  unsigned char key[256] = {};
  updateKeyTable(key, decodeInput(keyMsg(WM_KEYDOWN, 'E'), key));
  EXPECT_EQ(key['E'], 1);
  updateKeyTable(key, decodeInput(keyMsg(WM_KEYDOWN, 'E', true), key)); // auto-repeat
  EXPECT_EQ(key['E'], 1);
  updateKeyTable(key, decodeInput(keyMsg(WM_SYSKEYUP, 'E'), key)); // let go while Alt is down
  EXPECT_EQ(key['E'], 0);
  updateKeyTable(key, decodeInput(keyMsg(WM_SYSKEYDOWN, VK_CONTROL), key));
  EXPECT_EQ(key[VK_CONTROL], 1);
  updateKeyTable(key, decodeInput(keyMsg(WM_MOUSEMOVE, 'F'), key)); // not a key message
  EXPECT_EQ(key['F'], 0);
  updateKeyTable(key, decodeInput(keyMsg(WM_KEYUP, VK_CONTROL), key));
  EXPECT_EQ(key[VK_CONTROL], 0);
}

MSG mouse(UINT message, int x, int y, WPARAM keys = 0) {
  MSG m{};
  m.message = message;
  m.wParam = keys;
  m.lParam = MAKELPARAM(x, y);
  return m;
}

MSG wheel(int delta) {
  MSG m{};
  m.message = WM_MOUSEWHEEL;
  m.wParam = MAKEWPARAM(0, delta);
  m.lParam = MAKELPARAM(900, 700); // screen coordinates: not a move of the pointer
  return m;
}

// The same camera through float steps of double arithmetic, as the keys make them.
void addTo(float* t, int at, double d) {
  t[at] = float(double(t[at]) + d);
}

// A left drag turns (a quarter of an arrow step per pixel, up is +pitch), a right drag pans (a
// tenth of an S step per pixel right, of a W step per pixel up), the wheel moves four E or D steps
// a notch; moves with no button down, and coordinates off the window, move nothing by themselves.
TEST(PointerStep, DragPanAndWheel) {
  Pointer p;
  float t[Trot::size] = {0, 0, 0, 0, 30};
  float want[Trot::size] = {0, 0, 0, 0, 30};
  pointerStep(p, mouse(WM_MOUSEMOVE, 100, 100), t);
  EXPECT_EQ(std::memcmp(t, want, sizeof t), 0) << "a move with no button";
  pointerStep(p, mouse(WM_LBUTTONDOWN, 100, 100, MK_LBUTTON), t);
  pointerStep(p, mouse(WM_MOUSEMOVE, 112, 92, MK_LBUTTON), t);
  addTo(want, yaw, 0.25 * 12);
  addTo(want, pitch, 0.25 * 8);
  pointerStep(p, mouse(WM_LBUTTONUP, 110, 95), t);
  addTo(want, yaw, 0.25 * -2);
  addTo(want, pitch, 0.25 * -3);
  for (int i : {tx, ty, tz, pitch, yaw}) EXPECT_EQ(t[i], want[i]) << "turn, " << i;

  {
    pointerStep(p, mouse(WM_RBUTTONDOWN, 110, 95), t);
    pointerStep(p, mouse(WM_MOUSEMOVE, 130, 85, MK_RBUTTON), t);
    double a = double(want[yaw]) / 57.2958;
    addTo(want, tz, std::sin(a) * 0.1 * 20);
    addTo(want, tx, std::cos(a) * 0.1 * 20);
    addTo(want, ty, 0.1 * 10);
    pointerStep(p, mouse(WM_RBUTTONUP, 110, 95), t);
    addTo(want, tz, std::sin(a) * 0.1 * -20);
    addTo(want, tx, std::cos(a) * 0.1 * -20);
    addTo(want, ty, 0.1 * -10);
    for (int i : {tx, ty, tz, pitch, yaw}) EXPECT_EQ(t[i], want[i]) << "pan, " << i;
  }

  // The wheel: a notch away is four E steps, exactly what four presses of E make.
  Flight keys;
  std::memcpy(keys.trot, t, sizeof t);
  keys.hold({'E'});
  for (int i = 0; i < 4; i++) cameraStep(keys.key, keys.trot, keys.vs);
  pointerStep(p, wheel(120), t);
  for (int i : {tx, ty, tz, pitch, yaw}) EXPECT_EQ(t[i], keys.trot[i]) << "wheel away, " << i;
  keys.key['E'] = 0;
  keys.hold({'D'});
  for (int i = 0; i < 8; i++) cameraStep(keys.key, keys.trot, keys.vs);
  pointerStep(p, wheel(-120), t);
  pointerStep(p, wheel(-60), t); // half notches add up
  pointerStep(p, wheel(-60), t);
  for (int i : {tx, ty, tz, pitch, yaw}) EXPECT_EQ(t[i], keys.trot[i]) << "wheel back, " << i;

  // With Alt (ten steps a wheel step) a notch is forty E steps.
  for (int i = 0; i < 40; i++) cameraStep(keys.key, keys.trot, keys.vs);
  pointerStep(p, wheel(-120), t, fastSteps);
  for (int i : {tx, ty, tz, pitch, yaw}) EXPECT_EQ(t[i], keys.trot[i]) << "Alt wheel, " << i;
}

// Shift with movement keys and arrows: one pass is exactly ten passes without it; Shift alone
// moves nothing, and T is not stepped.
TEST(CameraStep, ShiftTakesTenStepsAPass) {
  const std::vector<int> sets[] = {
      {'E'}, {'D', 'S'}, {VK_LEFT, 'E'}, {'F', 'W', VK_UP}, {'R', VK_RIGHT, VK_DOWN}, {'T'}, {}};
  for (const auto& keys : sets) {
    Flight fast, slow;
    fast.trot[yaw] = slow.trot[yaw] = 20;
    fast.hold({VK_SHIFT});
    for (int k : keys) fast.key[k] = slow.key[k] = 1;
    cameraStep(fast.key, fast.trot, fast.vs);
    for (int i = 0; i < fastSteps; i++) cameraStep(slow.key, slow.trot, slow.vs);
    EXPECT_EQ(std::memcmp(fast.trot, slow.trot, sizeof fast.trot), 0) << keys.size();
    EXPECT_EQ(fast.vs.axisFlag, slow.vs.axisFlag);
  }
}

// The pivot's pixel in a 640 x 480 perspective frame of camera t.
void pixelOf(const float* t, const double p[3], double& x, double& y) {
  Matrix m = multiply(perspectiveMatrix(45, 640.0 / 480, 1, 1000), cameraMatrix(t));
  double c[3], w = m.m[3] * p[0] + m.m[7] * p[1] + m.m[11] * p[2] + m.m[15];
  transformPoint(m, p, c);
  x = (c[0] / w + 1) * 320;
  y = (1 - c[1] / w) * 240;
}

// An orbit (a middle drag, or a left one begun with Shift) keeps its pivot at the same pixel
// through the drag while the view turns about it.
TEST(PointerStep, OrbitKeepsThePivotInPlace) {
  struct Case {
    UINT down, up;
    WPARAM keys;
    double pivot[3];
  } cases[] = {{WM_MBUTTONDOWN, WM_MBUTTONUP, MK_MBUTTON, {3, -2, -40}},
               {WM_LBUTTONDOWN, WM_LBUTTONUP, MK_LBUTTON | MK_SHIFT, {-120, 15, -700}},
               {WM_MBUTTONDOWN, WM_MBUTTONUP, MK_MBUTTON, {0.5, 0, -50}}};
  for (const Case& c : cases) {
    Pointer p;
    float t[Trot::size] = {4, -6, 10, 20, 30};
    std::copy(c.pivot, c.pivot + 3, p.pivot);
    double x0, y0;
    pixelOf(t, c.pivot, x0, y0);
    pointerStep(p, mouse(c.down, 300, 200, c.keys), t);
    EXPECT_NE(p.orbiting, 0);
    const int path[][2] = {{340, 200}, {340, 260}, {200, 120}, {600, 400}};
    for (const auto& at : path) {
      float before[Trot::size];
      std::copy(t, t + Trot::size, before);
      pointerStep(p, mouse(WM_MOUSEMOVE, at[0], at[1], c.keys), t);
      double x, y;
      pixelOf(t, c.pivot, x, y);
      EXPECT_NEAR(x, x0, 0.01) << at[0] << "," << at[1];
      EXPECT_NEAR(y, y0, 0.01) << at[0] << "," << at[1];
      EXPECT_NE(std::memcmp(before, t, sizeof t), 0);
    }
    EXPECT_FLOAT_EQ(t[yaw], 30 + 0.25 * 300);
    EXPECT_FLOAT_EQ(t[pitch], 20 + 0.25 * 200);
    pointerStep(p, mouse(c.up, 600, 400), t);
    EXPECT_EQ(p.orbiting, 0);
  }
}

// A click is a left press released within 4 pixels of where it went down, with no other
// button pressed meanwhile; its place is where it was released.
TEST(PointerStep, Clicks) {
  struct Case {
    std::vector<MSG> msgs;
    bool click;
  } cases[] = {
      {{mouse(WM_LBUTTONDOWN, 50, 60), mouse(WM_LBUTTONUP, 50, 60)}, true},
      {{mouse(WM_LBUTTONDOWN, 50, 60), mouse(WM_MOUSEMOVE, 54, 56, MK_LBUTTON),
        mouse(WM_LBUTTONUP, 54, 56)},
       true},
      {{mouse(WM_LBUTTONDOWN, 50, 60), mouse(WM_LBUTTONUP, 55, 60)}, false},
      {{mouse(WM_LBUTTONDOWN, 50, 60), mouse(WM_MOUSEMOVE, 90, 60, MK_LBUTTON),
        mouse(WM_LBUTTONUP, 50, 60)},
       true}, // back where it started: Windows counts that as a click too
      {{mouse(WM_LBUTTONDOWN, 50, 60), mouse(WM_RBUTTONDOWN, 50, 60), mouse(WM_LBUTTONUP, 50, 60)},
       false}, // a second finger or button: a pan, not a click
      {{mouse(WM_RBUTTONDOWN, 50, 60), mouse(WM_RBUTTONUP, 50, 60)}, false},
      {{mouse(WM_LBUTTONUP, 50, 60)}, false},
  };
  for (size_t c = 0; c < std::size(cases); c++) {
    Pointer p;
    float t[Trot::size] = {};
    bool click = false;
    for (const MSG& m : cases[c].msgs) click = pointerStep(p, m, t);
    EXPECT_EQ(click, cases[c].click) << "case " << c;
    if (click) {
      EXPECT_EQ(p.x, GET_X_LPARAM(cases[c].msgs.back().lParam));
      EXPECT_EQ(p.y, GET_Y_LPARAM(cases[c].msgs.back().lParam));
    }
  }
}

} // namespace

// Home looks down at least 10 degrees: a level (or upward) view becomes 30 degrees down, whole
// turns kept; a view already looking down keeps its pitch.
TEST(HomePitch, LevelViewsLookDown) {
  struct Case {
    float pitch, home;
  } cases[] = {{0, 30},    {9.5f, 30}, {-20, 30},  {10, 10},   {45, 45},     {170, 170},
               {-179, 30}, {360, 390}, {365, 390}, {400, 400}, {-360, -330}, {725, 750}};
  for (const Case& c : cases) EXPECT_EQ(homePitch(c.pitch), c.home) << c.pitch;
}

// While the help sheet takes typing, what types a character goes into its filter (Backspace
// edits it) and Escape closes it where it may; Ctrl or Alt keeps a key's binding, and with
// typing off every key is as before.
TEST(KeyTable, TypingIntoTheHelpSheet) {
  unsigned char key[256] = {};
  struct Case {
    Typing typing;
    int vk;
    bool ctrl;
    Action action;
    int arg;
  } cases[] = {
      {Typing::filter, 'G', false, Action::helpType, 'g'},
      {Typing::filter, '7', false, Action::helpType, '7'},
      {Typing::filter, VK_OEM_MINUS, false, Action::helpType, '-'},
      {Typing::filter, VK_BACK, false, Action::helpType, '\b'},
      {Typing::filter, VK_ESCAPE, false, Action::none, VK_ESCAPE}, // the start screen quits
      {Typing::filterAndClose, VK_ESCAPE, false, Action::closeHelp, VK_ESCAPE},
      {Typing::filterAndClose, 'S', true, Action::saveMap, 'S'},
      {Typing::filterAndClose, VK_F1, false, Action::toggleHelp, VK_F1},
      {Typing::off, 'G', false, Action::toggleGrid, 'G'},
      // The focused outline takes digits, Backspace and its own keys; letters stay as they are.
      {Typing::outline, '4', false, Action::outlineType, '4'},
      {Typing::outline, VK_BACK, false, Action::outlineType, '\b'},
      {Typing::outline, VK_DOWN, false, Action::outlineDown, VK_DOWN},
      {Typing::outline, VK_LEFT, false, Action::outlineFold, VK_LEFT},
      {Typing::outline, VK_RETURN, false, Action::outlineFrame, VK_RETURN},
      {Typing::outline, VK_SPACE, false, Action::outlineHide, VK_SPACE},
      {Typing::outline, VK_ESCAPE, false, Action::outlineLeave, VK_ESCAPE},
      {Typing::outline, 'H', false, Action::hideSelected, 'H'},
      {Typing::outline, 'L', false, Action::toggleOutline, 'L'},
      {Typing::outline, 'Z', true, Action::undoEdit, 'Z'},
  };
  for (const Case& c : cases) {
    key[VK_CONTROL] = c.ctrl;
    Input in = decodeInput(keyMsg(WM_KEYDOWN, WPARAM(c.vk)), key, onDesktop, false, c.typing);
    EXPECT_EQ(int(in.action), int(c.action)) << c.vk;
    EXPECT_EQ(in.arg, c.arg) << c.vk;
  }
}
