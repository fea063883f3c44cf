// The map changing under the viewer: the watch, F5, dropped maps, maps that change while they
// are read, and the buffers rebuilt each time, against the doubles.
#include "viewer_fixture.h"

namespace {

// The watch loads a changed map once it has settled, keeping the camera and the selection; a
// file that is not a map keeps the scene and says so once; a selection the new map does not
// draw is cleared; F5 loads at once.
// A named pipe put in the map's place is not opened (that would wait for a writer and stop the
// viewer for good): the watch and F5 say why, the scene stays, and Escape still ends the run.
TEST_F(ViewerTest, ANamedPipeInTheMapsPlaceIsRefused) {
  write("live.map", mapBytes(threeBoxes(7)));
  std::string path = (dir / "live.map").string();
  std::vector<std::optional<MSG>> s;
  idle(s, 5);
  size_t swapped = s.size();
  idle(s, 80);
  s.push_back(keyMsg(WM_KEYDOWN, VK_F5));
  s.push_back(keyMsg(WM_KEYDOWN, VK_ESCAPE));
  winDouble.script = s;
  winDouble.at[swapped] = [&] {
    fs::remove(path);
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
  };
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  EXPECT_EQ(run(path), 0);
  testing::internal::GetCapturedStdout();
  std::string err = testing::internal::GetCapturedStderr();
  std::string refused =
      "kelvane-viewer: " + path + ": not reloaded: a named pipe, not a regular file";
  EXPECT_NE(err.find(refused), std::string::npos) << err;
  EXPECT_NE(err.find(refused), err.rfind(refused)) << "F5 said it again: " << err;
  EXPECT_FALSE(winDouble.scriptRanOut);
}

TEST_F(ViewerTest, ReloadKeepsTheViewAndFailureKeepsTheScene) {
  write("live.map", mapBytes(threeBoxes(7)));
  std::string path = (dir / "live.map").string();
  std::vector<std::optional<MSG>> s = {keyMsg(WM_KEYDOWN, 'E'), keyMsg(WM_KEYUP, 'E'),
                                       keyMsg(WM_KEYDOWN, VK_TAB), keyMsg(WM_KEYDOWN, VK_TAB)};
  size_t changed = s.size();
  idle(s, 60);
  size_t broken = s.size();
  idle(s, 120); // long enough to see the failure said once only
  size_t dropped = s.size();
  idle(s, 60);
  s.push_back(keyMsg(WM_KEYDOWN, VK_F5));
  s.push_back(keyMsg(WM_KEYDOWN, VK_ESCAPE));
  script({});
  winDouble.script = s;
  MapDesc bigger = threeBoxes(7);
  bigger.lattices[0].nx = 6;
  winDouble.at[changed] = [&] { write("live.map", mapBytes(bigger)); };
  winDouble.at[broken] = [&] { write("live.map", "not a map at all"); };
  winDouble.at[dropped] = [&] { write("live.map", mapBytes(threeBoxes(0))); };
  size_t framesBefore = 0;
  winDouble.at[broken + 100] = [&] { framesBefore = glDouble.calls.size(); };
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  EXPECT_EQ(run(path), 0);
  std::string out = testing::internal::GetCapturedStdout(),
              err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(out, "selected lattice 0: id 1, 4 x 2 x 4 cells, at (0, 0, 0), parent none\n"
                 "selected lattice 2: id 7, 2 x 1 x 2 cells, at (0, 0, 0), parent none\n"
                 "reloaded " +
                     path +
                     ": 2 lattices\n"
                     "selection cleared\n"
                     "reloaded " +
                     path +
                     ": 1 lattices\n"
                     "reloaded " +
                     path + ": 1 lattices\n");
  std::string failed = "kelvane-viewer: " + path + ": not reloaded: not a map: ";
  EXPECT_NE(err.find(failed), std::string::npos) << err;
  EXPECT_EQ(err.find(failed), err.rfind(failed)) << "said more than once: " << err;
  EXPECT_EQ(findWinCall("MessageBoxA"), nullptr); // no box after start-up
  std::vector<double> tz = cameraTzPerFrame();
  ASSERT_FALSE(tz.empty());
  EXPECT_EQ(tz.front(), 1);
  for (double z : tz) EXPECT_EQ(z, 1); // the camera stayed through every reload
  EXPECT_GT(framesBefore, 0u);
}

// A map file dropped on the window opens as a new map: the view starts again, nothing is
// selected, and the dropped file is watched from then on.
TEST_F(ViewerTest, ADroppedMapOpens) {
  std::string first = map("first.map");
  write("second.map", mapBytes(threeBoxes(7)));
  std::string second = (dir / "second.map").string();
  MSG drop = keyMsg(WM_DROPFILES, 0);
  drop.lParam = 0;
  std::vector<std::optional<MSG>> s = {keyMsg(WM_KEYDOWN, 'E'), keyMsg(WM_KEYUP, 'E'),
                                       keyMsg(WM_KEYDOWN, VK_TAB)};
  size_t dropAt = s.size();
  s.push_back(drop);
  size_t changed = s.size();
  idle(s, 60);
  s.push_back(keyMsg(WM_KEYDOWN, VK_ESCAPE));
  winDouble.script = s;
  winDouble.at[dropAt] = [&] { winDouble.script[dropAt]->wParam = WPARAM(newDrop({second})); };
  MapDesc changedMap = threeBoxes(9);
  winDouble.at[changed] = [&] { write("second.map", mapBytes(changedMap)); };
  testing::internal::CaptureStdout();
  EXPECT_EQ(run(first), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "selected lattice 0: id 1, 2 x 1 x 2 cells, at (0, 0, 0), parent none\n"
            "selection cleared\n"
            "opened " +
                second +
                ": 2 lattices\n"
                "reloaded " +
                second + ": 2 lattices\n");
  std::vector<double> tz = cameraTzPerFrame();
  ASSERT_GE(tz.size(), 5u);
  EXPECT_EQ(tz[1], 1);
  EXPECT_EQ(tz.back(), 0); // back at the start view
}

// A keyframe file dropped on the window becomes the flight and the map stays; a broken one is
// said, on stderr, and changes nothing.
TEST_F(ViewerTest, ADroppedKeyframeFileBecomesTheFlight) {
  std::string first = map("first.map");
  write("fly.txt", "# kelvane flight\n--camera 0,0,5,0,0\n  --camera 1,2,3,10,20\n");
  write("bad.txt", "--camera 0,0,5,0,0\n--camera 1,2\n");
  std::string fly = (dir / "fly.txt").string(), bad = (dir / "bad.txt").string();
  MSG drop = keyMsg(WM_DROPFILES, 0);
  drop.lParam = 0;
  winDouble.script = {drop, drop, keyMsg(WM_KEYDOWN, '2'), keyMsg(WM_KEYDOWN, VK_ESCAPE)};
  winDouble.at[0] = [&] { winDouble.script[0]->wParam = WPARAM(newDrop({fly})); };
  winDouble.at[1] = [&] { winDouble.script[1]->wParam = WPARAM(newDrop({bad})); };
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  EXPECT_EQ(run(first), 0);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "flight from " + fly +
                ": 2 keyframes, 2 seconds (Shift+Enter plays it)\n"
                "keyframe 2: --camera 1,2,3,10,20\n");
  EXPECT_NE(err.find(bad + ": line 2: --camera: "), std::string::npos) << err;
  EXPECT_NE(err.find("; the flight stays as it was"), std::string::npos) << err;
}

// Writes `bytes` to `path`, then gives the file a new modification time every half
// millisecond until `stop`: a file that changes while the viewer reads it. The map is large
// (millions of heights), so reading it takes long enough to see a change.
std::thread changingFile(const fs::path& path, const std::string& bytes, std::atomic<bool>& stop) {
  std::ofstream(path, std::ios::binary) << bytes;
  return std::thread([path, &stop] {
    for (long us = 1; !stop; us++) {
      struct timespec t[2] = {{1000000000 + us / 1000000, us % 1000000 * 1000},
                              {1000000000 + us / 1000000, us % 1000000 * 1000}};
      utimensat(AT_FDCWD, path.c_str(), t, 0);
      std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
  });
}

// threeBoxes(7) with 60 undrawn lattices of 32,767 heights after it: 8 MB to read.
MapDesc slowToRead() {
  MapDesc m = threeBoxes(7);
  for (int i = 0; i < 60; i++) {
    LatticeRecord L = box(1, 1, 1, 0);
    L.heights.assign(32767, 0.5f);
    m.lattices.push_back(L);
  }
  return m;
}

// A map that changes while F5 or a drop reads it is not lost: the viewer says so and loads it
// once it has settled, as a reload or as the drop it was.
TEST_F(ViewerTest, AMapThatChangesWhileItIsReadIsLoadedOnceItSettles) {
  const std::string slow = mapBytes(slowToRead());
  for (bool drop : {false, true}) {
    winDoubleReset();
    glDoubleReset();
    std::string first = map("first.map");
    fs::path live = dir / "live.map";
    std::string path = drop ? live.string() : first;
    std::thread toucher;
    std::atomic<bool> stop = false;
    MSG f5 = keyMsg(WM_KEYDOWN, VK_F5), dropMsg = keyMsg(WM_DROPFILES, 0);
    dropMsg.lParam = 0;
    std::vector<std::optional<MSG>> s = {std::nullopt, drop ? dropMsg : f5, std::nullopt};
    idle(s, 60);
    s.push_back(keyMsg(WM_KEYDOWN, VK_ESCAPE));
    winDouble.script = s;
    winDouble.at[1] = [&] {
      toucher = changingFile(path, slow, stop);
      if (drop) winDouble.script[1]->wParam = WPARAM(newDrop({path}));
    };
    winDouble.at[2] = [&] { // settled: a plain file again, after the read
      stop = true;
      toucher.join();
      std::string bytes = mapBytes(threeBoxes(9));
      write("settled.map", bytes);
      fs::rename(dir / "settled.map", path);
    };
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(run(first), 0);
    std::string out = testing::internal::GetCapturedStdout(),
                err = testing::internal::GetCapturedStderr();
    stop = true;
    if (toucher.joinable()) toucher.join();
    EXPECT_NE(err.find("kelvane-viewer: " + path +
                       ": changed while it was read; loading it again once it settles"),
              std::string::npos)
        << err;
    EXPECT_EQ(out, std::string(drop ? "opened " : "reloaded ") + path + ": 2 lattices\n");
  }
}

// A hundred reloads leave the heap where one does: each frees the map and arrays before.
TEST_F(ViewerTest, RepeatedReloadsFreeTheOldMap) {
  MapDesc m;
  m.lattices = {box(64, 1, 64)};
  m.lattices[0].heights.assign(65 * 65, 0.5f);
  write("big.map", mapBytes(m));
  std::vector<std::optional<MSG>> s;
  for (int i = 0; i < 101; i++) s.push_back(keyMsg(WM_KEYDOWN, VK_F5));
  s.push_back(keyMsg(WM_KEYDOWN, VK_ESCAPE));
  winDouble.script = s;
  size_t afterOne = 0, afterHundred = 0;
  glDouble.record = false; // the double's own record of every frame is no measure of the viewer
  winDouble.at[2] = [&] { afterOne = mallinfo2().uordblks; };
  winDouble.at[101] = [&] { afterHundred = mallinfo2().uordblks; };
  testing::internal::CaptureStdout();
  EXPECT_EQ(run((dir / "big.map").string()), 0);
  glDouble.record = true;
  testing::internal::GetCapturedStdout();
  if (afterOne == 0) GTEST_SKIP() << "this allocator does not say what it holds";
  // One map's store and arrays take over a megabyte; a hundred kept would take 100 times that.
  EXPECT_LT(double(afterHundred), double(afterOne) + 256 * 1024)
      << afterOne << " bytes after one reload, " << afterHundred << " after a hundred";
}

// The viewer draws the same call stream and triangles whether the context has buffer objects
// or only client arrays, through moves, a selection and a reload; buffer objects are deleted
// when the scene is rebuilt and when the viewer ends.
TEST_F(ViewerTest, SameFramesWithAndWithoutBufferObjects) {
  std::string path = selectionMap(*this);
  std::vector<GlCall> calls[2];
  std::vector<DrawnTriangle> drawn[2];
  int live = -1;
  for (GlBuffers offers : {GlBuffers::core, GlBuffers::none}) {
    int k = offers == GlBuffers::none;
    glDoubleNewContext(offers);
    script({keyMsg(WM_KEYDOWN, 'E'), keyMsg(WM_KEYUP, 'E'), keyMsg(WM_KEYDOWN, VK_LEFT),
            keyMsg(WM_KEYUP, VK_LEFT), keyMsg(WM_KEYDOWN, VK_TAB), keyMsg(WM_KEYDOWN, VK_F5),
            std::nullopt, keyMsg(WM_KEYDOWN, VK_ESCAPE)});
    if (!k) winDouble.at[6] = [&] { live = glDoubleLiveBuffers(); };
    testing::internal::CaptureStdout();
    EXPECT_EQ(run(path), 0);
    testing::internal::GetCapturedStdout();
    calls[k] = glDouble.calls;
    drawn[k] = glDouble.drawn;
    EXPECT_EQ(glDoubleLiveBuffers(), 0);
    winDoubleReset();
  }
  EXPECT_EQ(live, 2); // after the reload: the new scene's two, the old ones gone
  ASSERT_EQ(calls[0].size(), calls[1].size());
  for (size_t i = 0; i < calls[0].size(); i++) {
    EXPECT_EQ(calls[0][i].fn, calls[1][i].fn) << i;
    for (int a = 0; a < 4; a++) EXPECT_EQ(calls[0][i].a[a], calls[1][i].a[a]) << i;
  }
  EXPECT_GT(drawn[0].size(), 100u);
  EXPECT_TRUE(drawn[0] == drawn[1]);
  glDoubleNewContext(GlBuffers::core);
}

} // namespace
