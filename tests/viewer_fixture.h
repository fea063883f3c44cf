// The viewer played against the window-system and GL doubles: the fixture that runs it on a
// script of messages, and what the viewer tests share to read what it did.
#pragma once

#include "app/selection.h"
#include "app/commands.h"
#include "app/compare.h"
#include "app/edit.h"
#include "app/flight.h"
#include "app/measure.h"
#include "app/overlay.h"
#include "app/page_view.h"
#include "app/picture.h"
#include "app/scene.h"
#include "app/section.h"
#include "app/viewer.h"
#include "app/views.h"
#include "app/winmain.h"
#include "platform/gl.h"
#include "platform/messages.h"
#include "render/marks.h"
#include "render/camera_text.h"
#include "render/view.h"
#include "render/world.h"
#include "doubles/gl_double.h"
#include "doubles/win_double.h"
#include "platform/win32_files.h"
#include "test_maps.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

struct ViewerTest : testing::Test {
  fs::path dir, before;
  void SetUp() override {
    winDoubleReset();
    glDoubleReset();
    before = fs::current_path();
    dir = fs::path(testing::TempDir()) / ("viewer-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    fs::current_path(dir);
  }
  void TearDown() override {
    fs::current_path(before);
    fs::remove_all(dir);
  }
  void write(const std::string& name, const std::string& bytes) {
    std::ofstream(dir / name, std::ios::binary) << bytes;
  }
  std::string map(const std::string& name) {
    MapDesc m;
    m.lattices = {box(2, 1, 2)};
    write(name, mapBytes(m));
    return (dir / name).string();
  }
  int run(std::string cmdLine) {
    return WinMain(reinterpret_cast<HINSTANCE>(0x400000), nullptr, cmdLine.data(), 10);
  }
  int runFrom(std::string cmdLine, const ViewerStart& start) {
    return runViewer(reinterpret_cast<HINSTANCE>(0x400000), cmdLine.data(), start);
  }
  void script(std::initializer_list<std::optional<MSG>> msgs) { winDouble.script = msgs; }
};

// The calls of the scene passes: each frame's calls up to its overlay pass, which begins by
// turning the depth test off (the scene never does).
inline std::vector<GlCall> sceneCalls() {
  std::vector<GlCall> out;
  bool overlay = false;
  for (const GlCall& c : glDouble.calls) {
    if (c.fn == Gl::Clear) overlay = false;
    if (c.fn == Gl::Disable && c.a[0] == GL_DEPTH_TEST) overlay = true;
    if (!overlay) out.push_back(c);
  }
  return out;
}

// The camera's tz in each frame drawn, read from the translation after its two rotations.
inline std::vector<double> cameraTzPerFrame() {
  std::vector<double> tz;
  const auto& g = glDouble.calls;
  for (size_t i = 0; i + 4 < g.size(); i++)
    if (g[i].fn == Gl::LoadIdentity && g[i + 1].fn == Gl::Translate && g[i + 1].a[2] == -50)
      tz.push_back(g[i + 4].a[2]);
  return tz;
}

// Where the n-th call (from 0) to `fn` stands in the GL call stream; the stream's length when
// there is no such call.
inline size_t glCallAt(Gl fn, int n = 0) {
  const auto& g = glDouble.calls;
  for (size_t i = 0; i < g.size(); i++)
    if (g[i].fn == fn && n-- == 0) return i;
  return g.size();
}

inline MSG closeMsg() {
  MSG m = keyMsg(WM_CLOSE, 0);
  m.lParam = 0;
  return m;
}

// Where in the recorded window calls `fn` (with `args`, when given) first comes; the count of
// calls when it never does.
inline size_t callAt(const std::string& fn, const std::vector<std::string>& args = {}) {
  const auto& c = winDouble.calls;
  size_t i = 0;
  while (i < c.size() && !(c[i].fn == fn && (args.empty() || c[i].args == args))) i++;
  return i;
}

inline MSG mouseMsg(UINT message, int x, int y) {
  MSG m = keyMsg(message, message == WM_LBUTTONDOWN ? MK_LBUTTON : 0);
  m.lParam = MAKELPARAM(x, y);
  return m;
}

// Lattices 0, 2 and 3 are drawn, 1 is not; 2 is a child of 0.
inline std::string selectionMap(ViewerTest& t) {
  MapDesc m;
  m.lattices = {box(4, 2, 4), box(1, 1, 1, 0), box(2, 1, 2, 7), box(3, 3, 3, 9)};
  m.lattices[2].pos[1] = 3;
  m.lattices[3].pos[0] = 30;
  m.lattices[0].refs = {3};
  t.write("sel.map", mapBytes(m));
  return (t.dir / "sel.map").string();
}

inline std::vector<std::string> titles() {
  std::vector<std::string> out;
  for (const WinCall& c : winDouble.calls)
    if (c.fn == "SetWindowTextA") out.push_back(c.args[1]);
  return out;
}

// A parent chain 0 <- 1 <- 3, with 2 undrawn and 4 a second child of 0.
inline MapDesc familyDesc() {
  MapDesc m;
  m.lattices = {box(4, 2, 4), box(2, 1, 2, 5), box(1, 1, 1, 0), box(1, 1, 1, 6), box(3, 1, 3, 8)};
  m.lattices[0].refs = {2, 5}; // records count from 1
  m.lattices[1].refs = {4};
  m.lattices[4].pos[0] = 20;
  return m;
}

inline std::string familyMap(ViewerTest& t) {
  t.write("family.map", mapBytes(familyDesc()));
  return (t.dir / "family.map").string();
}

// `n` passes with no message: with the double's 20 ms a pass, n / 50 seconds.
inline void idle(std::vector<std::optional<MSG>>& s, int n) {
  for (int i = 0; i < n; i++) s.push_back(std::nullopt);
}

inline MapDesc threeBoxes(int idOfThird) {
  MapDesc m;
  m.lattices = {box(4, 2, 4), box(1, 1, 1, 0), box(2, 1, 2, idOfThird)};
  return m;
}
