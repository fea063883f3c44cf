// Keyboard flight: a fixed step per pass for each key that is down.
#include "camera.h"

#include "controls.h"

#include "platform/messages.h"

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
  // The turns come first: the moves go along the new yaw.
  if (held(key, Action::tiltUp)) add(trot, pitch, step);
  if (held(key, Action::tiltDown)) add(trot, pitch, -step);
  if (held(key, Action::turnLeft)) add(trot, yaw, -step);
  if (held(key, Action::turnRight)) add(trot, yaw, step);
  if (held(key, Action::forward)) forwardStep(trot, 1);
  if (held(key, Action::back)) forwardStep(trot, -1);
  double a = yawRadians(trot);
  if (held(key, Action::left)) {
    add(trot, tz, std::sin(a) * step);
    add(trot, tx, std::cos(a) * step);
  }
  if (held(key, Action::right)) {
    add(trot, tz, -std::sin(a) * step);
    add(trot, tx, -std::cos(a) * step);
  }
  if (held(key, Action::up)) add(trot, ty, step);
  if (held(key, Action::down)) add(trot, ty, -step);
  vs.axisFlag = held(key, Action::showAxes) ? 1 : 0;
}

namespace {

// The pointer moved by (dx, dy) pixels, y down.
void drag(const Pointer& p, int dx, int dy, float* trot) {
  if (p.panning) {
    double a = yawRadians(trot);
    add(trot, tz, std::sin(a) * 0.1 * dx);
    add(trot, tx, std::cos(a) * 0.1 * dx);
    add(trot, ty, 0.1 * -dy);
  } else if (p.turning) {
    add(trot, yaw, 0.25 * dx);
    add(trot, pitch, 0.25 * -dy);
  }
}

void turnWheel(Pointer& p, int delta, float* trot) {
  p.wheel += delta;
  for (; p.wheel >= wheelStep; p.wheel -= wheelStep) forwardStep(trot, 1);
  for (; p.wheel <= -wheelStep; p.wheel += wheelStep) forwardStep(trot, -1);
}

} // namespace

bool pointerStep(Pointer& p, const MSG& msg, float trot[Trot::size]) {
  int x = GET_X_LPARAM(msg.lParam), y = GET_Y_LPARAM(msg.lParam);
  bool click = false;
  switch (msg.message) {
  case WM_LBUTTONDOWN:
    p.turning = true;
    p.clickable = !p.panning;
    p.downX = x;
    p.downY = y;
    break;
  case WM_RBUTTONDOWN: // a press moves nothing: motion comes as WM_MOUSEMOVE
  case WM_MBUTTONDOWN:
    p.panning = true;
    p.clickable = false;
    break;
  case WM_MOUSEMOVE:
    drag(p, x - p.x, y - p.y, trot);
    break;
  case WM_LBUTTONUP:
    drag(p, x - p.x, y - p.y, trot);
    click = p.clickable && std::abs(x - p.downX) <= 4 && std::abs(y - p.downY) <= 4;
    p.turning = p.clickable = false;
    break;
  case WM_RBUTTONUP:
  case WM_MBUTTONUP:
    drag(p, x - p.x, y - p.y, trot);
    p.panning = (msg.wParam & (MK_RBUTTON | MK_MBUTTON)) != 0;
    break;
  case WM_MOUSEWHEEL: // its point is on the screen, not in the window
    turnWheel(p, GET_WHEEL_DELTA_WPARAM(msg.wParam), trot);
    return false;
  default:
    return false;
  }
  p.x = x;
  p.y = y;
  return click;
}
