// Flights: the interpolated camera passes through every keyframe at its time, turns the short
// way, holds where told, and moves smoothly; the keyframe file's errors name their line.
#include "render/flight.h"
#include "tools/parse.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

Keyframe key(float tx, float ty, float tz, float pitch, float yaw, double hold = 0) {
  Keyframe k;
  float c[5] = {tx, ty, tz, pitch, yaw};
  std::copy(c, c + 5, k.camera);
  k.hold = hold;
  return k;
}

std::vector<float> at(const std::vector<Keyframe>& keys, double t) {
  std::vector<float> c(5);
  flightCamera(keys, t, c.data());
  return c;
}

std::vector<float> of(const Keyframe& k) {
  return std::vector<float>(k.camera, k.camera + 5);
}

} // namespace

TEST(Flight, PassesThroughEveryKeyframeAtItsTime) {
  std::vector<Keyframe> keys = {key(0, 0, 0, 0, 0), key(10, -2, 5, 20, 90, 1.5),
                                key(3.25f, 7, -1, -10, 200), key(-4, 0, 9, 45, 10)};
  EXPECT_EQ(flightDuration(keys), 3 * 2 + 1.5);
  // Keyframe 1 is reached at 2 s and held until 3.5 s; 2 at 5.5 s; 3 at 7.5 s.
  const double times[] = {0, 2, 2.7, 3.5, 5.5, 7.5, 100};
  const int which[] = {0, 1, 1, 1, 2, 3, 3};
  for (size_t i = 0; i < std::size(times); i++)
    EXPECT_EQ(at(keys, times[i]), of(keys[size_t(which[i])])) << times[i];
  // Between keyframes it moves, and continuously: no step larger than the motion allows.
  std::vector<float> before = at(keys, 3.5);
  for (double t = 3.5 + 1e-3; t < 5.5; t += 1e-3) {
    std::vector<float> now = at(keys, t);
    for (int a = 0; a < 5; a++) EXPECT_LT(std::fabs(now[a] - before[a]), 0.5f) << t << " " << a;
    before = now;
  }
  EXPECT_NE(at(keys, 1), of(keys[0]));
  EXPECT_NE(at(keys, 1), of(keys[1]));
}

TEST(Flight, TurnsTheShortWay) {
  struct Case {
    float from, to;
    float mid; // halfway, on a two-keyframe flight (Catmull-Rom with ends repeated: the middle)
  } cases[] = {{359, 1, 360}, {1, 359, 0}, {-170, 170, -180}, {10, 50, 30}, {0, 180, 90}};
  for (const Case& c : cases) {
    std::vector<Keyframe> keys = {key(0, 0, 0, c.from, c.from), key(0, 0, 0, c.to, c.to)};
    std::vector<float> mid = at(keys, 1);
    EXPECT_NEAR(mid[3], c.mid, 1e-4) << c.from << " to " << c.to;
    EXPECT_NEAR(mid[4], c.mid, 1e-4) << c.from << " to " << c.to;
    // Every frame of the leg stays within the short arc.
    for (double t = 0; t <= 2; t += 0.05) {
      float yaw = at(keys, t)[4];
      float d = std::fabs(std::remainder(yaw - c.from, 360.0f));
      EXPECT_LE(d, std::fabs(std::remainder(c.to - c.from, 360.0f)) + 1e-3f) << t;
    }
  }
}

TEST(Flight, FramesStartAndEndOnTheKeyframes) {
  std::vector<Keyframe> keys = {key(0, 0, 0, 0, 0), key(1, 0, 0, 0, 0), key(2, 0, 0, 0, 0)};
  EXPECT_EQ(flightFrames(keys, 30), 121);
  EXPECT_EQ(flightFrames(keys, 7), 29); // 4 s: 28 frames a 1/7 s apart, and the end
  EXPECT_EQ(flightFrameTime(keys, 7, 28), 4.0);
  EXPECT_EQ(flightFrames({key(0, 0, 0, 0, 0)}, 30), 1);
  EXPECT_EQ(flightFrames({key(0, 0, 0, 0, 0, 1)}, 30), 31);
}

TEST(Flight, KeyframeFiles) {
  std::vector<Keyframe> keys = {key(0, 0, 0, 0, 0), key(1.5f, -2, 1e-3f, 30, -45, 2.5),
                                key(123456.789f, 0, 0, 359, 1)};
  std::vector<Keyframe> back;
  std::string err;
  ASSERT_TRUE(parseFlight(flightText(keys), back, err)) << err;
  ASSERT_EQ(back.size(), keys.size());
  for (size_t i = 0; i < keys.size(); i++) {
    EXPECT_EQ(of(back[i]), of(keys[i]));
    EXPECT_EQ(back[i].hold, keys[i].hold);
  }
  EXPECT_TRUE(parseFlight(
      "# a flight\n\n  --camera 0,0,0,0,0   # start\n--camera 1,2,3,4,5 --hold 0\n", back, err));
  EXPECT_EQ(back.size(), 2u);
  struct Bad {
    const char* text;
    const char* err;
  } bad[] = {
      {"", "no keyframe"},
      {"# only a comment\n", "no keyframe"},
      {"--camera 0,0,0,0,0\ncamera 1,1,1,1,1\n", "line 2: expected --camera"},
      {"--camera 0,0,0,0\n", "line 1: --camera: expected five"},
      {"\n\n--camera 0,0,0,0,nan\n", "line 3: --camera: expected five"},
      {"--camera 0,0,0,0,0 --hold\n", "line 1: --hold: expected seconds"},
      {"--camera 0,0,0,0,0 --hold -1\n", "line 1: --hold: expected seconds"},
      {"--camera 0,0,0,0,0 --hold 4000\n", "line 1: --hold: expected seconds"},
      {"--camera 0,0,0,0,0 --hold 1 2\n", "line 1: --hold: expected seconds"},
      {"--camera 0,0,0,0,0 --select 2\n", "line 1: after the camera only --hold"},
      {"--camera\n", "line 1: expected --camera"},
  };
  for (const Bad& b : bad) {
    EXPECT_FALSE(parseFlight(b.text, back, err)) << b.text;
    EXPECT_NE(err.find(b.err), std::string::npos) << b.text << ": " << err;
  }
}
