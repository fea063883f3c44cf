// The viewer's entry, played against the window-system and GL doubles: file choice,
// start-up and shutdown order, the main loop and exit codes.
#include "app/viewer.h"
#include "app/window.h"
#include "app/viewer_state.h"
#include "platform/gl.h"
#include "doubles/gl_double.h"
#include "doubles/win_double.h"
#include "test_maps.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

struct ViewerTest : testing::Test {
  fs::path dir, before;
  void SetUp() override {
    winDoubleReset();
    glDoubleReset();
    viewerState = ViewerState{};
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
  void script(std::initializer_list<std::optional<MSG>> msgs) { winDouble.script = msgs; }
};

// The camera's tz in each frame drawn, read from the translation after its two rotations.
std::vector<double> cameraTzPerFrame() {
  std::vector<double> tz;
  const auto& g = glDouble.calls;
  for (size_t i = 0; i + 4 < g.size(); i++)
    if (g[i].fn == Gl::LoadIdentity && g[i + 1].fn == Gl::Translate && g[i + 1].a[2] == -50)
      tz.push_back(g[i + 4].a[2]);
  return tz;
}

MSG closeMsg() {
  MSG m = keyMsg(WM_CLOSE, 0);
  m.lParam = 0;
  return m;
}

TEST(StripQuotes, RemovesEveryQuoteOnly) {
  struct Case {
    std::string in, out;
  } cases[] = {{"\"C:\\My Maps\\a.map\"", "C:\\My Maps\\a.map"},
               {"a\"b\"c", "abc"},
               {"\"\"\"", ""},
               {"  two words ", "  two words "},
               {"", ""}};
  for (Case c : cases) {
    stripQuotes(c.in.data());
    EXPECT_STREQ(c.in.c_str(), c.out.c_str());
  }
}

TEST_F(ViewerTest, FirstWordOfInfile) {
  struct Case {
    std::string text;
    bool ok;
    std::string word;
  } cases[] = {{"  first.map second.map", true, "first.map"},
               {"\n\n\tlevel.map\nnext", true, "level.map"},
               {std::string(5000, 'x') + " y", true, std::string(5000, 'x')},
               {"   \n ", false, ""},
               {"", false, ""}};
  for (const Case& c : cases) {
    write("infile.txt", c.text);
    std::string word, err;
    EXPECT_EQ(readFirstWord("infile.txt", word, err), c.ok) << c.text;
    EXPECT_EQ(word, c.word);
  }
  std::string word, err;
  EXPECT_FALSE(readFirstWord("missing.txt", word, err));
  EXPECT_EQ(err, "No such file or directory");
}

TEST_F(ViewerTest, StartUpLoopAndShutdownOrder) {
  std::string path = map("level.map");
  script({keyMsg(WM_KEYDOWN, VK_ESCAPE)});
  EXPECT_EQ(run(path), 0); // not the Escape message's wParam
  EXPECT_EQ(winDouble.swaps, 1);
  EXPECT_FALSE(winDouble.scriptRanOut);
  std::vector<std::string> want = {
      "LoadIconA",         "LoadCursorA",     "LoadIconA",        "RegisterClassExA",
      "CreateWindowExA",   "ShowWindow",      "UpdateWindow",     "GetDC",
      "ChoosePixelFormat", "SetPixelFormat",  "wglCreateContext", "wglMakeCurrent",
      "PeekMessageA",      "SwapBuffers",     "TranslateMessage", "DispatchMessageA",
      "DefWindowProcA",    "PeekMessageA",    "wglMakeCurrent",   "ReleaseDC",
      "DestroyWindow",     "UnregisterClassA"};
  ASSERT_EQ(winCallNames(), want); // the calls below are indexed
  const auto& c = winDouble.calls;
  EXPECT_EQ(c[18].args, (std::vector<std::string>{"null", "null"}));
  EXPECT_EQ(c[21].args[0], "MainWindowClass");
  EXPECT_EQ(c[12].args, (std::vector<std::string>{"handle", "0", "0", "1"}));
  // GL: the size message during creation, then depth test and the 640 x 480 view.
  const auto& g = glDouble.calls;
  ASSERT_GE(g.size(), 14u);
  EXPECT_EQ(g[0].fn, Gl::Viewport);
  EXPECT_EQ(g[0].a[2], 624);
  EXPECT_EQ(g[6].fn, Gl::Enable);
  EXPECT_EQ(g[6].a[0], GL_DEPTH_TEST);
  EXPECT_EQ(g[7].fn, Gl::Viewport);
  EXPECT_EQ(g[7].a[2], 640);
  EXPECT_EQ(g[7].a[3], 480);
  EXPECT_EQ(g[13].fn, Gl::Clear);
}

TEST_F(ViewerTest, QuotedPathWithBlank) {
  std::string path = map("my level.map");
  script({keyMsg(WM_KEYDOWN, VK_ESCAPE)});
  EXPECT_EQ(run("\"" + path + "\""), 0);
  EXPECT_EQ(winDouble.swaps, 1);
  EXPECT_EQ(findWinCall("MessageBoxA"), nullptr);
}

TEST_F(ViewerTest, MissingMapShowsTheMessageBoxAndDrawsNothing) {
  testing::internal::CaptureStderr();
  EXPECT_EQ(run("no such.map"), 1);
  std::string err = testing::internal::GetCapturedStderr();
  const WinCall* box = findWinCall("MessageBoxA");
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->args, (std::vector<std::string>{"null", "no such.map", "Error opening file.",
                                                 std::to_string(0x30)}));
  EXPECT_EQ(winDouble.swaps, 0);
  EXPECT_EQ(findWinCall("PeekMessageA"), nullptr);
  EXPECT_NE(err.find("kelvane-viewer: no such.map: No such file or directory"), std::string::npos);
  EXPECT_EQ(winCallNames({"ShowWindow", "MessageBoxA", "DestroyWindow"}),
            (std::vector<std::string>{"ShowWindow", "MessageBoxA", "DestroyWindow"}));
}

TEST_F(ViewerTest, NameFromInfile) {
  map("level.map");
  write("infile.txt", "  level.map other.map\n");
  script({keyMsg(WM_KEYDOWN, VK_ESCAPE)});
  EXPECT_EQ(run("\"\""), 0); // only quotes: the tail is empty
  EXPECT_EQ(winDouble.swaps, 1);

  winDoubleReset();
  write("infile.txt", "gone.map");
  EXPECT_EQ(run(""), 1);
  const WinCall* box = findWinCall("MessageBoxA");
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->args[1], "gone.map");
}

TEST_F(ViewerTest, NoNameAnywhereEndsWithoutAMessageBox) {
  for (bool empty : {false, true}) {
    winDoubleReset();
    if (empty) write("infile.txt", " \n ");
    testing::internal::CaptureStderr();
    EXPECT_EQ(run(""), 1);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(findWinCall("ShowWindow"), nullptr);
    EXPECT_EQ(findWinCall("MessageBoxA"), nullptr);
    EXPECT_EQ(winDouble.swaps, 0);
    EXPECT_NE(err.find(empty ? "infile.txt: holds no map file name"
                             : "infile.txt: No such file or directory"),
              std::string::npos)
        << err;
  }
}

TEST_F(ViewerTest, CloseBoxEndsWithZero) {
  std::string path = map("level.map");
  script({std::nullopt, closeMsg(), std::nullopt});
  EXPECT_EQ(run(path), 0);
  EXPECT_FALSE(winDouble.scriptRanOut);
  EXPECT_EQ(winCallNames({"PostQuitMessage"}).size(), 1u);
  EXPECT_EQ(winDouble.swaps, 3); // the pass that took WM_QUIT draws nothing
}

TEST_F(ViewerTest, HeldKeyMovesOncePerPass) {
  std::string path = map("level.map");
  script({keyMsg(WM_KEYDOWN, 'E'), std::nullopt, keyMsg(WM_KEYDOWN, 'E', true), std::nullopt,
          keyMsg(WM_KEYUP, 'E'), keyMsg(WM_KEYDOWN, VK_ESCAPE)});
  EXPECT_EQ(run(path), 0);
  EXPECT_EQ(cameraTzPerFrame(), (std::vector<double>{1, 2, 3, 4, 4, 4}));
}

TEST_F(ViewerTest, PPrintsTheCameraOncePerPress) {
  std::string path = map("level.map");
  script({keyMsg(WM_KEYDOWN, VK_LEFT), keyMsg(WM_KEYUP, VK_LEFT), keyMsg(WM_KEYDOWN, 'P'),
          keyMsg(WM_KEYDOWN, 'P', true), keyMsg(WM_KEYUP, 'P'), keyMsg(WM_KEYDOWN, VK_ESCAPE)});
  testing::internal::CaptureStdout();
  EXPECT_EQ(run(path), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "--camera 0,0,0,0,-1\n");
}

TEST_F(ViewerTest, PAddsTheSizeWhenTheViewIsNot640By480) {
  std::string path = map("level.map");
  MSG size = keyMsg(WM_SIZE, 0);
  size.lParam = MAKELPARAM(800, 600);
  script({size, keyMsg(WM_KEYDOWN, 'P'), keyMsg(WM_KEYDOWN, VK_ESCAPE)});
  testing::internal::CaptureStdout();
  EXPECT_EQ(run(path), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "--camera 0,0,0,0,0 --size 800x600\n");
}

// Losing the focus releases held keys: the camera stops instead of flying on.
TEST_F(ViewerTest, FocusLossReleasesHeldKeys) {
  std::string path = map("level.map");
  MSG lost = keyMsg(WM_KILLFOCUS, 0);
  lost.lParam = 0;
  MSG released = keyMsg(keysReleasedMessage, 0);
  released.lParam = 0;
  script({keyMsg(WM_KEYDOWN, 'E'), std::nullopt, lost, released, std::nullopt,
          keyMsg(WM_KEYDOWN, VK_ESCAPE)});
  EXPECT_EQ(run(path), 0);
  const WinCall* post = findWinCall("PostMessageA");
  ASSERT_NE(post, nullptr); // the window procedure asked for the release
  EXPECT_EQ(post->args[1], std::to_string(keysReleasedMessage));
  EXPECT_EQ(cameraTzPerFrame(), (std::vector<double>{1, 2, 3, 3, 3, 3}));
}

TEST_F(ViewerTest, LoaderWarningsGoToStderr) {
  MapDesc m;
  m.lattices = {box(2, 1, 2)};
  std::string bytes = mapBytes(m);
  write("short.map", bytes.substr(0, bytes.size() - 2));
  script({keyMsg(WM_KEYDOWN, VK_ESCAPE)});
  testing::internal::CaptureStderr();
  EXPECT_EQ(run("short.map"), 0);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("kelvane-viewer: short.map: warning: file ends inside lattice record 0"),
            std::string::npos)
      << err;
}

// Anything that is not a loadable map gets the box users know, and the reason on stderr.
TEST_F(ViewerTest, WhatIsNotAMapGetsTheBox) {
  write("empty.map", "");
  write("noise.map", std::string(4096, '\x5A'));
  fs::create_directories(dir / "folder.map");
  struct Case {
    std::string name, reason;
  } cases[] = {
      {"empty.map", "empty.map: not a map: the file is empty"},
      {"noise.map", "noise.map: not a map: file ends inside type entry 63 of 23130"},
      {"folder.map", "folder.map: Is a directory"},
      {"missing.map", "missing.map: No such file or directory"},
      {"small.map", "small.map: out of memory"}, // no memory even for the root
  };
  map("small.map");
  for (const Case& c : cases) {
    winDoubleReset();
    glDoubleReset();
    testing::internal::CaptureStderr();
    mapStoreLimit = c.name == "small.map" ? 1 : size_t(-1);
    EXPECT_EQ(run(c.name), 1) << c.name;
    mapStoreLimit = size_t(-1);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("kelvane-viewer: " + c.reason), std::string::npos) << err;
    const WinCall* box = findWinCall("MessageBoxA");
    ASSERT_NE(box, nullptr) << c.name;
    EXPECT_EQ(box->args[1], c.name);
    EXPECT_EQ(box->args[2], "Error opening file.");
    EXPECT_EQ(winDouble.swaps, 0); // not a single frame
  }
}

// A window whose pixel format or GL context fails is not shown as a black window.
TEST_F(ViewerTest, NoPixelFormatOrContextIsNoWindow) {
  struct Case {
    bool WinDouble::*fail;
    std::string reason;
  } cases[] = {
      {&WinDouble::failPixelFormat, "no usable pixel format"},
      {&WinDouble::failContext, "no OpenGL rendering context"},
      {&WinDouble::failMakeCurrent, "the OpenGL rendering context cannot be made current"},
  };
  std::string path = map("level.map");
  for (const Case& c : cases) {
    winDoubleReset();
    winDouble.*c.fail = true;
    testing::internal::CaptureStderr();
    EXPECT_EQ(run(path), 1) << c.reason;
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("kelvane-viewer: no window could be created: " + c.reason),
              std::string::npos)
        << err;
    EXPECT_EQ(winDouble.swaps, 0);
    EXPECT_EQ(findWinCall("PeekMessageA"), nullptr);
    std::vector<std::string> end = winCallNames({"ReleaseDC", "DestroyWindow", "UnregisterClassA"});
    EXPECT_EQ(end, (std::vector<std::string>{"ReleaseDC", "DestroyWindow", "UnregisterClassA"}));
  }
}

TEST_F(ViewerTest, HelpAndVersionPrintWithoutAWindow) {
  for (std::string arg : {"--help", "--version"}) {
    winDoubleReset();
    testing::internal::CaptureStdout();
    EXPECT_EQ(run(arg), 0);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find(arg == "--help" ? "Usage: kelvane-viewer MAP" : "kelvane-viewer "),
              std::string::npos)
        << out;
    EXPECT_TRUE(winDouble.calls.empty());
  }
}

TEST_F(ViewerTest, NoWindowEndsWithOne) {
  winDouble.failCreate = true;
  testing::internal::CaptureStderr();
  EXPECT_EQ(run(map("level.map")), 1);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("no window could be created"),
            std::string::npos);
  EXPECT_EQ(findWinCall("GetDC"), nullptr);
}

} // namespace
