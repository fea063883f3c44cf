// The viewer running out of memory inside its loop (fitting the view to a big lattice)
// says so and goes on with the scene it had. Its own executable: it replaces the global
// operator new, so large allocations can be made to fail on cue.
#include "app/viewer.h"
#include "doubles/gl_double.h"
#include "doubles/win_double.h"
#include "test_maps.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>

namespace {

// Allocations of more than this many bytes fail while it is not 0.
std::atomic<size_t> failAbove{0};

} // namespace

void* operator new(size_t n) {
  size_t limit = failAbove.load();
  if (limit && n > limit) throw std::bad_alloc();
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, size_t) noexcept {
  std::free(p);
}

namespace {

namespace fs = std::filesystem;

MSG mouseAt(UINT message, int x, int y) {
  MSG m = keyMsg(message, message == WM_LBUTTONDOWN ? MK_LBUTTON : 0);
  m.lParam = MAKELPARAM(x, y);
  return m;
}

TEST(OutOfMemory, InTheLoopIsSaidAndTheViewerGoesOn) {
  winDoubleReset();
  glDoubleReset();
  // One lattice of 40 800 triangles in front of the eye: fitting it collects more than a
  // megabyte of triangles (a pick tests a chunk at a time, and needs far less).
  MapDesc m;
  m.lattices = {box(100, 1, 100)};
  m.lattices[0].pos[2] = -120;
  fs::path path = fs::path(testing::TempDir()) / ("oom-" + std::to_string(getpid()) + ".map");
  std::ofstream(path, std::ios::binary) << mapBytes(m);
  winDouble.script = {keyMsg(WM_KEYDOWN, VK_HOME), std::nullopt, mouseAt(WM_LBUTTONDOWN, 320, 240),
                      mouseAt(WM_LBUTTONUP, 320, 240), keyMsg(WM_KEYDOWN, VK_ESCAPE)};
  // The doubles' records must not grow while allocations fail: room for every frame first.
  glDouble.drawn.reserve(8 * 40800);
  glDouble.calls.reserve(100000);
  winDouble.calls.reserve(1000);
  winDouble.at[0] = [] { failAbove = 1 << 20; };
  winDouble.at[1] = [] { failAbove = 0; };
  std::string cmdLine = path.string();
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  int rc = WinMain(reinterpret_cast<HINSTANCE>(0x400000), nullptr, cmdLine.data(), 10);
  failAbove = 0;
  std::string out = testing::internal::GetCapturedStdout(),
              err = testing::internal::GetCapturedStderr();
  fs::remove(path);
  EXPECT_EQ(rc, 0);
  size_t said = 0;
  for (size_t at = 0; (at = err.find("kelvane-viewer: out of memory; the scene stays as it was",
                                     at)) != std::string::npos;
       at++)
    said++;
  EXPECT_EQ(said, 1u) << err; // Home
  // The click after it selects the lattice.
  EXPECT_EQ(out, "selected lattice 0: id 1, 100 x 1 x 100 cells, at (0, 0, -120), parent none\n");
  EXPECT_EQ(winDouble.swaps, 5); // a frame for every pass: Home is held from its press on
}

} // namespace
