// Keyboard flight: a fixed step per pass for each key that is down.
#include "camera.h"

#include "window.h"

#include <cmath>
#include <cstring>

using namespace Trot;

void updateKeyTable(unsigned char key[256], const MSG& msg) {
  if (msg.message == WM_KEYDOWN) key[msg.wParam & 0xFF] = 1;
  if (msg.message == WM_KEYUP) key[msg.wParam & 0xFF] = 0;
  if (msg.message == keysReleasedMessage) std::memset(key, 0, 256);
}

void cameraStep(const unsigned char key[256], float trot[Trot::size], ViewerState& vs) {
  const double step = 1.0;
  auto add = [&](int at, double d) { trot[at] = float(double(trot[at]) + d); };
  if (key[VK_UP]) add(pitch, step);
  if (key[VK_DOWN]) add(pitch, -step);
  if (key[VK_LEFT]) add(yaw, -step);
  if (key[VK_RIGHT]) add(yaw, step);
  double a = double(trot[yaw]) / 57.2958; // the double constant, not the float of ViewerState
  if (key[int('E')]) {
    add(tz, std::cos(a) * step);
    add(tx, -std::sin(a) * step);
  }
  if (key[int('D')]) {
    add(tz, -std::cos(a) * step);
    add(tx, std::sin(a) * step);
  }
  if (key[int('S')]) {
    add(tz, std::sin(a) * step);
    add(tx, std::cos(a) * step);
  }
  if (key[int('F')]) {
    add(tz, -std::sin(a) * step);
    add(tx, -std::cos(a) * step);
  }
  if (key[int('W')]) add(ty, step);
  if (key[int('R')]) add(ty, -step);
  vs.axisFlag = key[int('T')] ? 1 : 0;
}
