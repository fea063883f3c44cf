// The retained picture is the immediate one, pixel for pixel, through the real driver: every
// map of the corpus at its fitted view and from above, and the 2.1 M-triangle map at the start
// camera and a near one.
#include "big_maps.h"
#include "corpus.h"
#include "platform/gl.h"
#include "platform/headless.h"
#include "render/frame.h"
#include "render/retained.h"
#include "render/view.h"
#include "render/world.h"
#include "test_maps.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr int W = 800, H = 600;

std::vector<unsigned char> pixels(int w, int h) {
  std::vector<unsigned char> px(size_t(w) * h * 4);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
  return px;
}

// Pixels of a w x h frame of `map` at camera `trot` that the two paths draw differently.
size_t differing(const LoadedMap& map, const float* trot, int w, int h, float farPlane = 0) {
  glViewport(0, 0, w, h);
  viewProjection(w, h, farPlane);
  ViewerState vs;
  FaceTables ft;
  drawFrame(map.lat, trot, vs, ft);
  std::vector<unsigned char> immediate = pixels(w, h);
  RetainedScene scene;
  buildRetained(map.lat, vs, size_t(1) << 30, scene);
  uploadRetained(scene, glProc);
  viewProjection(w, h, farPlane);
  drawRetainedFrame(scene, trot, vs);
  std::vector<unsigned char> retained = pixels(w, h);
  releaseRetained(scene);
  size_t n = 0;
  for (size_t i = 0; i < retained.size(); i += 4)
    if (retained[i] != immediate[i] || retained[i + 1] != immediate[i + 1] ||
        retained[i + 2] != immediate[i + 2]) {
      if (n++ < 5)
        ADD_FAILURE() << "pixel (" << i / 4 % size_t(w) << ", " << size_t(h) - 1 - i / 4 / size_t(w)
                      << ") from the top left: retained " << int(retained[i]) << ", immediate "
                      << int(immediate[i]);
    }
  return n;
}

TEST(PathsPicture, RetainedIsImmediateOnTheCorpus) {
  HeadlessContext hc;
  std::string err;
  ASSERT_TRUE(openHeadless(hc, W, H, err)) << err;
  sceneContext();
  int drawn = 0;
  for (const SeedFile& f : corpus()) {
    LoadedMap map;
    loadMapBytes(f.bytes, map);
    if (map.rep.status != LoadStatus::loaded) continue;
    for (float pitch : {30.0f, 90.0f}) {
      float trot[Trot::size] = {0, 0, 0, pitch, -45};
      double depth = 0;
      if (!fitCamera(map.lat, 320, 240, trot, depth)) continue;
      drawn++;
      EXPECT_EQ(differing(map, trot, 320, 240, fittedFar(depth)), 0u)
          << f.name << " pitch " << pitch;
    }
  }
  EXPECT_GE(drawn, 40);
  closeHeadless(hc);
}

TEST(PathsPicture, RetainedIsImmediateOnTheBigMap) {
  HeadlessContext hc;
  std::string err;
  ASSERT_TRUE(openHeadless(hc, W, H, err)) << err;
  sceneContext();
  LoadedMap map;
  loadDesc(bigFrameMap(), map);
  const float start[Trot::size] = {0, 0, 0, 0, 0}, near[Trot::size] = {40, -60, 250, 35, -30};
  EXPECT_EQ(differing(map, start, 640, 480), 0u) << "the start camera";
  EXPECT_EQ(differing(map, near, 800, 600), 0u) << "--camera 40,-60,250,35,-30";
  closeHeadless(hc);
}

} // namespace
