// Keyboard flight: a fixed step per pass for each key that is down (ten with Shift).
#include "camera.h"

#include "controls.h"

#include "platform/messages.h"
#include "platform/matrix.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

using namespace Trot;

namespace {

void add(float* trot, int at, double d) {
  trot[at] = float(double(trot[at]) + d);
}

// The yaw in radians, through the double constant, not the float of ViewerState.
double yawRadians(const float* trot) {
  return double(trot[yaw]) / 57.2958;
}

// One 'E' step (sign 1) or 'D' step (sign -1) of one unit.
void forwardStep(float* trot, int sign) {
  double a = yawRadians(trot);
  if (sign > 0) {
    add(trot, tz, std::cos(a));
    add(trot, tx, -std::sin(a));
  } else {
    add(trot, tz, -std::cos(a));
    add(trot, tx, std::sin(a));
  }
}

// Whether the key bound to held action `a` is down.
bool held(const unsigned char key[256], Action a) {
  return key[heldKey(a)];
}

} // namespace

void updateKeyTable(unsigned char key[256], const Input& in) {
  // While Alt is down Windows names presses and releases system keys: a key let go is up
  // however its release is named (decodeInput), or Ctrl let go before Alt would stay down.
  if (in.key) key[in.vk] = 1;
  if (in.released) key[in.vk] = 0;
  if (in.allUp) std::memset(key, 0, 256);
}

void cameraStep(const unsigned char key[256], float trot[Trot::size], ViewerState& vs) {
  const double step = 1.0;
  int n[int(Action::tiltDown) + 1] = {};
  int passes = 0;
  for (Action a :
       {Action::forward, Action::back, Action::left, Action::right, Action::up, Action::down,
        Action::turnLeft, Action::turnRight, Action::tiltUp, Action::tiltDown}) {
    n[int(a)] = heldSteps(key, a);
    passes = std::max(passes, n[int(a)]);
  }
  // Shift's ten steps are ten of these passes, as ten frames would take them.
  for (int i = 0; i < passes; i++) {
    auto on = [&](Action a) { return n[int(a)] > i; };
    // The turns come first: the moves go along the new yaw.
    if (on(Action::tiltUp)) add(trot, pitch, step);
    if (on(Action::tiltDown)) add(trot, pitch, -step);
    if (on(Action::turnLeft)) add(trot, yaw, -step);
    if (on(Action::turnRight)) add(trot, yaw, step);
    if (on(Action::forward)) forwardStep(trot, 1);
    if (on(Action::back)) forwardStep(trot, -1);
    double a = yawRadians(trot);
    if (on(Action::left)) {
      add(trot, tz, std::sin(a) * step);
      add(trot, tx, std::cos(a) * step);
    }
    if (on(Action::right)) {
      add(trot, tz, -std::sin(a) * step);
      add(trot, tx, -std::cos(a) * step);
    }
    if (on(Action::up)) add(trot, ty, step);
    if (on(Action::down)) add(trot, ty, -step);
  }
  vs.axisFlag = held(key, Action::showAxes) ? 1 : 0;
}

namespace {

// The pointer moved by (dx, dy) pixels, y down. An orbit turns the near side of the pivot the
// way the pointer goes, as grabbing it would.
void drag(const Pointer& p, int dx, int dy, float* trot) {
  if (p.orbiting) {
    if (dx || dy) orbitStep(trot, p.pivot, 0.25 * dx, 0.25 * dy);
  } else if (p.panning) {
    double a = yawRadians(trot);
    add(trot, tz, std::sin(a) * 0.1 * dx);
    add(trot, tx, std::cos(a) * 0.1 * dx);
    add(trot, ty, 0.1 * -dy);
  } else if (p.turning) {
    add(trot, yaw, 0.25 * dx);
    add(trot, pitch, 0.25 * -dy);
  }
}

void turnWheel(Pointer& p, int delta, float* trot, int wheelSteps) {
  p.wheel += delta;
  for (; p.wheel >= wheelStep; p.wheel -= wheelStep)
    for (int i = 0; i < wheelSteps; i++) forwardStep(trot, 1);
  for (; p.wheel <= -wheelStep; p.wheel += wheelStep)
    for (int i = 0; i < wheelSteps; i++) forwardStep(trot, -1);
}

} // namespace

void orbitStep(float trot[Trot::size], const double pivot[3], double yaw, double pitch) {
  // The pivot in the eye's space (the camera matrix less its fixed 50 units back) is
  // turn (pivot + t); the new translation puts it back there: turn'^T turn (pivot + t) - pivot.
  Matrix turn = multiply(rotationMatrix(trot[Trot::pitch], 1, 0, 0),
                         rotationMatrix(trot[Trot::yaw], 0, 1, 0));
  double moved[3] = {pivot[0] + trot[tx], pivot[1] + trot[ty], pivot[2] + trot[tz]}, q[3];
  transformPoint(turn, moved, q);
  add(trot, Trot::yaw, yaw);
  add(trot, Trot::pitch, pitch);
  turn = multiply(rotationMatrix(trot[Trot::pitch], 1, 0, 0),
                  rotationMatrix(trot[Trot::yaw], 0, 1, 0));
  for (int k = 0; k < 3; k++)
    trot[tx + k] = float(turn.m[k * 4] * q[0] + turn.m[k * 4 + 1] * q[1] +
                         turn.m[k * 4 + 2] * q[2] - pivot[k]);
}

bool pointerStep(Pointer& p, const MSG& msg, float trot[Trot::size], int wheelSteps) {
  int x = GET_X_LPARAM(msg.lParam), y = GET_Y_LPARAM(msg.lParam);
  bool click = false;
  switch (msg.message) {
  case WM_LBUTTONDOWN:
    if (msg.wParam & MK_SHIFT)
      p.orbiting = p.orbiting ? p.orbiting : 1;
    else
      p.turning = true;
    p.clickable = !p.panning && p.orbiting != 2;
    p.downX = x;
    p.downY = y;
    break;
  case WM_RBUTTONDOWN: // a press moves nothing: motion comes as WM_MOUSEMOVE
    p.panning = true;
    p.clickable = false;
    break;
  case WM_MBUTTONDOWN:
    p.orbiting = 2;
    p.clickable = false;
    break;
  case WM_MOUSEMOVE:
    drag(p, x - p.x, y - p.y, trot);
    break;
  case WM_LBUTTONUP:
    drag(p, x - p.x, y - p.y, trot);
    click = p.clickable && std::abs(x - p.downX) <= 4 && std::abs(y - p.downY) <= 4;
    p.turning = p.clickable = false;
    if (p.orbiting == 1) p.orbiting = 0;
    break;
  case WM_RBUTTONUP:
    drag(p, x - p.x, y - p.y, trot);
    p.panning = false;
    break;
  case WM_MBUTTONUP:
    drag(p, x - p.x, y - p.y, trot);
    if (p.orbiting == 2) p.orbiting = 0;
    break;
  case WM_MOUSEWHEEL: // its point is on the screen, not in the window
    turnWheel(p, GET_WHEEL_DELTA_WPARAM(msg.wParam), trot, wheelSteps);
    return false;
  default:
    return false;
  }
  p.x = x;
  p.y = y;
  return click;
}
