// Flights: a list of cameras (keyframes) played in order with smooth motion, as the viewer
// plays them and `kelvane render --path` draws them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct Keyframe {
  float camera[5] = {}; // trot positions 0-4: TX, TY, TZ, PITCH, YAW
  double hold = 0;      // seconds the flight stays at this keyframe before moving on
};

// Seconds from one keyframe to the next.
constexpr double flightLeg = 2.0;

// How long the flight takes, in seconds: every hold plus a leg between each two keyframes.
double flightDuration(const std::vector<Keyframe>& keys);

// The camera `t` seconds into the flight (clamped to the flight): positions along a uniform
// Catmull-Rom curve through the keyframes, pitch and yaw along the shortest turn. At a
// keyframe's time, and past the end, exactly that keyframe's camera. `keys` is not empty.
void flightCamera(const std::vector<Keyframe>& keys, double t, float camera[5]);

// How many frames a flight takes at `fps` frames a second: one at the start, one every 1/fps
// seconds, and one at the very end (a long flight's count does not fit an int). Frame f shows
// the flight at flightFrameTime.
int64_t flightFrames(const std::vector<Keyframe>& keys, int fps);
double flightFrameTime(const std::vector<Keyframe>& keys, int fps, int64_t frame);
