// Keyframe interpolation and the keyframe file's text.
#include "render/flight.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

// The turn from angle a to angle b (degrees) the short way round: -180 to 180.
double shortestTurn(double a, double b) {
  double d = std::fmod(b - a, 360.0);
  if (d > 180) d -= 360;
  if (d < -180) d += 360;
  return d;
}

// Uniform Catmull-Rom between p1 (u = 0) and p2 (u = 1).
double catmullRom(double p0, double p1, double p2, double p3, double u) {
  return 0.5 * (2 * p1 + (p2 - p0) * u + (2 * p0 - 5 * p1 + 4 * p2 - p3) * u * u +
                (3 * p1 - p0 - 3 * p2 + p3) * u * u * u);
}

// The leg from keyframe i to i + 1, `u` of the way (0 < u < 1).
void legCamera(const std::vector<Keyframe>& keys, size_t i, double u, float camera[5]) {
  size_t n = keys.size();
  const float* k0 = keys[i > 0 ? i - 1 : 0].camera;
  const float* k1 = keys[i].camera;
  const float* k2 = keys[i + 1].camera;
  const float* k3 = keys[std::min(i + 2, n - 1)].camera;
  for (int a = 0; a < 3; a++) camera[a] = float(catmullRom(k0[a], k1[a], k2[a], k3[a], u));
  // Angles are unwrapped around keyframe i, so each step between keyframes is the short one.
  for (int a = 3; a < 5; a++) {
    double p1 = k1[a], p2 = p1 + shortestTurn(k1[a], k2[a]);
    double p0 = p1 - shortestTurn(k0[a], k1[a]), p3 = p2 + shortestTurn(k2[a], k3[a]);
    camera[a] = float(catmullRom(p0, p1, p2, p3, u));
  }
}

} // namespace

double flightDuration(const std::vector<Keyframe>& keys) {
  double d = keys.empty() ? 0 : flightLeg * double(keys.size() - 1);
  for (const Keyframe& k : keys) d += k.hold;
  return d;
}

void flightCamera(const std::vector<Keyframe>& keys, double t, float camera[5]) {
  double at = 0;
  for (size_t i = 0; i < keys.size(); i++) {
    at += keys[i].hold;
    if (t <= at || i + 1 == keys.size()) {
      std::copy(keys[i].camera, keys[i].camera + 5, camera);
      return;
    }
    if (t < at + flightLeg) {
      legCamera(keys, i, (t - at) / flightLeg, camera);
      return;
    }
    at += flightLeg;
  }
}

int64_t flightFrames(const std::vector<Keyframe>& keys, int fps) {
  // A hair under a whole frame counts as one: 4 s at 30 frames a second is 121 frames.
  return int64_t(std::ceil(flightDuration(keys) * fps - 1e-9)) + 1;
}

double flightFrameTime(const std::vector<Keyframe>& keys, int fps, int64_t frame) {
  return std::min(double(frame) / fps, flightDuration(keys));
}
