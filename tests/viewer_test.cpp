// The viewer's entry, played against the window-system and GL doubles: file choice,
// start-up and shutdown order, the main loop and exit codes.
#include "app/selection.h"
#include "app/viewer.h"
#include "platform/gl.h"
#include "platform/messages.h"
#include "render/marks.h"
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

namespace {

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
std::vector<GlCall> sceneCalls() {
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

// Where in the recorded window calls `fn` (with `args`, when given) first comes; the count of
// calls when it never does.
size_t callAt(const std::string& fn, const std::vector<std::string>& args = {}) {
  const auto& c = winDouble.calls;
  size_t i = 0;
  while (i < c.size() && !(c[i].fn == fn && (args.empty() || c[i].args == args))) i++;
  return i;
}

// The window exists with a current context before the first frame; the context is let go
// before the window goes, and the window's properties before it is destroyed.
TEST_F(ViewerTest, StartUpLoopAndShutdownOrder) {
  std::string path = map("level.map");
  script({keyMsg(WM_KEYDOWN, VK_ESCAPE)});
  EXPECT_EQ(run(path), 0); // not the Escape message's wParam
  EXPECT_EQ(winDouble.swaps, 1);
  EXPECT_FALSE(winDouble.scriptRanOut);
  size_t end = winDouble.calls.size();
  size_t created = callAt("CreateWindowExA"), current = callAt("wglMakeCurrent"),
         frame = callAt("SwapBuffers"), released = callAt("wglMakeCurrent", {"null", "null"}),
         destroyed = callAt("DestroyWindow");
  EXPECT_LT(callAt("RegisterClassExA"), created);
  EXPECT_LT(created, callAt("ChoosePixelFormat"));
  EXPECT_LT(callAt("SetPixelFormat"), current);
  EXPECT_LT(current, callAt("PeekMessageA"));
  EXPECT_LT(callAt("PeekMessageA"), frame);
  EXPECT_LT(frame, released);
  EXPECT_LT(released, callAt("ReleaseDC"));
  EXPECT_LT(callAt("ReleaseDC"), destroyed);
  EXPECT_LT(destroyed, callAt("UnregisterClassA", {"MainWindowClass", "handle"}));
  EXPECT_LT(callAt("UnregisterClassA"), end);
  EXPECT_EQ(winCallNames({"SetPropA"}).size(), winCallNames({"RemovePropA"}).size());
  EXPECT_TRUE(winDouble.props.empty());
  EXPECT_LT(callAt("RemovePropA"), destroyed);
  EXPECT_EQ(findWinCall("PeekMessageA")->args, (std::vector<std::string>{"handle", "0", "0", "1"}));
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
  // The name and the reason, for users with no terminal; the caption as users know it.
  EXPECT_EQ(box->args, (std::vector<std::string>{"null", "no such.map: No such file or directory",
                                                 "Error opening file.", std::to_string(0x30)}));
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
  EXPECT_EQ(box->args[1], "gone.map: No such file or directory");
}

// With no map named anywhere (a start from a menu) the window opens on the start screen,
// without a message box, and a map dropped on it opens; Escape then ends with 0.
TEST_F(ViewerTest, NoNameAnywhereOpensTheStartScreen) {
  MapDesc two;
  two.lattices = {box(4, 2, 4), box(2, 1, 2)};
  write("dropped.map", mapBytes(two));
  std::string dropped = (dir / "dropped.map").string();
  for (bool empty : {false, true}) {
    winDoubleReset();
    glDoubleReset();
    if (empty) write("infile.txt", " \n ");
    MSG drop = keyMsg(WM_DROPFILES, 0);
    drop.lParam = 0;
    script({std::nullopt, drop, std::nullopt, keyMsg(WM_KEYDOWN, VK_ESCAPE)});
    size_t textAtStart = 0;
    winDouble.at[1] = [&] {
      textAtStart = size_t(std::count_if(glDouble.calls.begin(), glDouble.calls.end(),
                                         [](const GlCall& c) { return c.fn == Gl::TexCoord; }));
      winDouble.script[1]->wParam = WPARAM(newDrop({dropped}));
    };
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(run(""), 0);
    std::string out = testing::internal::GetCapturedStdout(),
                err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(findWinCall("MessageBoxA"), nullptr);
    EXPECT_EQ(winDouble.swaps, 3); // the empty pass after the drop has nothing new to draw
    EXPECT_NE(err.find(empty ? "infile.txt: holds no map file name"
                             : "infile.txt: No such file or directory"),
              std::string::npos)
        << err;
    EXPECT_GT(textAtStart, 300u); // the start screen's text was drawn
    EXPECT_EQ(out, "opened " + dropped + ": 2 lattices\n");
  }
}

TEST_F(ViewerTest, CloseBoxEndsWithZero) {
  std::string path = map("level.map");
  script({std::nullopt, closeMsg(), std::nullopt});
  EXPECT_EQ(run(path), 0);
  EXPECT_FALSE(winDouble.scriptRanOut);
  EXPECT_EQ(winCallNames({"PostQuitMessage"}).size(), 1u);
  // The first frame and the close's; the empty pass and the one that took WM_QUIT draw nothing.
  EXPECT_EQ(winDouble.swaps, 2);
}

TEST_F(ViewerTest, HeldKeyMovesOncePerPass) {
  std::string path = map("level.map");
  script({keyMsg(WM_KEYDOWN, 'E'), std::nullopt, keyMsg(WM_KEYDOWN, 'E', true), std::nullopt,
          keyMsg(WM_KEYUP, 'E'), keyMsg(WM_KEYDOWN, VK_ESCAPE)});
  EXPECT_EQ(run(path), 0);
  // The pass that takes the release moves nothing and draws nothing; Escape's pass draws.
  EXPECT_EQ(cameraTzPerFrame(), (std::vector<double>{1, 2, 3, 4, 4}));
}

// Input never queues behind frames: every press and release has its own pass (a tap is one
// step), auto-repeats of a held key are dropped while other messages wait behind them (and kept
// when nothing does), and a close or an Escape waiting behind other input acts at once.
TEST_F(ViewerTest, InputDoesNotQueue) {
  std::string path = map("level.map");
  script({keyMsg(WM_KEYDOWN, 'E'), keyMsg(WM_KEYUP, 'E'), keyMsg(WM_KEYDOWN, 'E'),
          keyMsg(WM_KEYUP, 'E'), std::nullopt, keyMsg(WM_KEYDOWN, VK_ESCAPE)});
  EXPECT_EQ(run(path), 0);
  EXPECT_EQ(cameraTzPerFrame(), (std::vector<double>{1, 2, 2})); // two taps, two steps

  winDoubleReset();
  glDoubleReset();
  MSG repeat = keyMsg(WM_KEYDOWN, 'E', true);
  script({keyMsg(WM_KEYDOWN, 'E'), repeat, repeat, repeat, keyMsg(WM_KEYDOWN, 'P'), std::nullopt,
          repeat, std::nullopt, keyMsg(WM_KEYUP, 'E'), keyMsg(WM_KEYDOWN, VK_ESCAPE)});
  testing::internal::CaptureStdout();
  EXPECT_EQ(run(path), 0);
  // The three repeats waiting before P are dropped: P comes on the second pass, one step on.
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "--camera 0,0,2,0,0\n");
  // A repeat with nothing behind it keeps its pass; P, still held, keeps the frames coming.
  EXPECT_EQ(cameraTzPerFrame(), (std::vector<double>{1, 2, 3, 4, 5, 5, 5}));

  std::vector<std::optional<MSG>> taps;
  for (int i = 0; i < 20; i++) {
    taps.push_back(keyMsg(WM_KEYDOWN, 'E'));
    taps.push_back(keyMsg(WM_KEYUP, 'E'));
  }
  for (bool close : {true, false}) {
    winDoubleReset();
    glDoubleReset();
    winDouble.script = taps;
    if (close)
      winDouble.script.push_back(closeMsg());
    else
      winDouble.asyncKeys[VK_ESCAPE] = short(0x8001); // pressed after the taps
    EXPECT_EQ(run(path), 0);
    EXPECT_LE(winDouble.swaps, 1) << (close ? "close" : "Escape");
    EXPECT_LT(winDouble.next, 3u) << "the taps were worked off first";
  }
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

MSG mouseMsg(UINT message, int x, int y) {
  MSG m = keyMsg(message, message == WM_LBUTTONDOWN ? MK_LBUTTON : 0);
  m.lParam = MAKELPARAM(x, y);
  return m;
}

// Lattices 0, 2 and 3 are drawn, 1 is not; 2 is a child of 0.
std::string selectionMap(ViewerTest& t) {
  MapDesc m;
  m.lattices = {box(4, 2, 4), box(1, 1, 1, 0), box(2, 1, 2, 7), box(3, 3, 3, 9)};
  m.lattices[2].pos[1] = 3;
  m.lattices[3].pos[0] = 30;
  m.lattices[0].refs = {3};
  t.write("sel.map", mapBytes(m));
  return (t.dir / "sel.map").string();
}

std::vector<std::string> titles() {
  std::vector<std::string> out;
  for (const WinCall& c : winDouble.calls)
    if (c.fn == "SetWindowTextA") out.push_back(c.args[1]);
  return out;
}

// Tab steps through the drawn lattices in list order and Shift+Tab back, both wrapping and
// both starting from none; Backspace clears. Each change prints its line and sets the title;
// P adds --select while a lattice is selected.
TEST_F(ViewerTest, TabShiftTabAndBackspaceSelect) {
  std::string path = selectionMap(*this);
  MSG shiftDown = keyMsg(WM_KEYDOWN, VK_SHIFT), shiftUp = keyMsg(WM_KEYUP, VK_SHIFT);
  script({keyMsg(WM_KEYDOWN, VK_TAB), keyMsg(WM_KEYDOWN, VK_TAB), shiftDown,
          keyMsg(WM_KEYDOWN, VK_TAB), shiftUp, keyMsg(WM_KEYDOWN, 'P'), keyMsg(WM_KEYUP, 'P'),
          keyMsg(WM_KEYDOWN, VK_BACK), keyMsg(WM_KEYDOWN, VK_BACK), shiftDown,
          keyMsg(WM_KEYDOWN, VK_TAB), shiftUp, keyMsg(WM_KEYDOWN, VK_TAB),
          keyMsg(WM_KEYDOWN, VK_ESCAPE)});
  testing::internal::CaptureStdout();
  EXPECT_EQ(run(path), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "selected lattice 0: id 1, 4 x 2 x 4 cells, at (0, 0, 0), parent none\n"
            "selected lattice 2: id 7, 2 x 1 x 2 cells, at (0, 3, 0), parent 0\n"
            "selected lattice 0: id 1, 4 x 2 x 4 cells, at (0, 0, 0), parent none\n"
            "--camera 0,0,0,0,0 --select 0\n"
            "selection cleared\n"
            "selected lattice 3: id 9, 3 x 3 x 3 cells, at (30, 0, 0), parent none\n"
            "selected lattice 0: id 1, 4 x 2 x 4 cells, at (0, 0, 0), parent none\n");
  std::string t = "Kelvane Map Viewer by Ruq";
  EXPECT_EQ(titles(),
            (std::vector<std::string>{t + " - lattice 0", t + " - lattice 2", t + " - lattice 0", t,
                                      t + " - lattice 3", t + " - lattice 0"}));
}

// The selected lattice is drawn in amber, (g, 0.8 g, 0.35 g); nothing else changes, and with
// nothing selected every colour is grey.
TEST_F(ViewerTest, TheSelectedLatticeIsAmber) {
  std::string path = selectionMap(*this);
  script({std::nullopt, keyMsg(WM_KEYDOWN, VK_TAB), keyMsg(WM_KEYDOWN, VK_TAB),
          keyMsg(WM_KEYDOWN, VK_ESCAPE)});
  testing::internal::CaptureStdout();
  EXPECT_EQ(run(path), 0);
  testing::internal::GetCapturedStdout();
  // Per frame, the colours of each drawn lattice, all from the retained arrays (one draw call
  // a lattice, no colour of its own): grey or amber.
  std::vector<std::string> frames;
  size_t call = 0; // glDrawArrays calls so far
  for (const GlCall& c : glDouble.calls) {
    if (c.fn == Gl::Clear) frames.push_back("");
    EXPECT_TRUE(c.fn != Gl::Color || c.a[0] <= 0.3f); // the overlay's own colours aside
    if (c.fn != Gl::DrawArrays || frames.empty()) continue;
    size_t from = glDouble.drawArraysAt[call++];
    char kind = '?';
    for (size_t t = from; t < from + size_t(c.a[2] / 3); t++) {
      const float* rgb = glDouble.drawn[t].rgb;
      bool grey = rgb[1] == rgb[0] && rgb[2] == rgb[0];
      bool amber = rgb[1] == float(0.8 * double(rgb[0])) && rgb[2] == float(0.35 * double(rgb[0]));
      char now = grey ? 'g' : amber ? 'a' : 'x';
      if (kind == '?') kind = now;
      EXPECT_EQ(kind, now); // one lattice, one kind of colour
    }
    frames.back() += kind;
  }
  ASSERT_GE(frames.size(), 3u); // the lattice at x = 30 is out of view, its chunks culled
  EXPECT_EQ(frames[0], "gg");
  EXPECT_EQ(frames[1], "ag");
  EXPECT_EQ(frames[2], "ga");
  EXPECT_EQ(frames.back(), "ga");
}

// A click selects what is under the pointer and a click on the background clears; a drag
// is no click. Home then frames the selected lattice, keeping the yaw; the view, looking up
// 7.25 degrees, turns to look 30 degrees down.
TEST_F(ViewerTest, ClickSelectsAndHomeFits) {
  std::string path = selectionMap(*this);
  const int cx = 320, cy = 240; // the view is set up at 640 x 480 after the window is made
  script({mouseMsg(WM_LBUTTONDOWN, cx, cy), mouseMsg(WM_LBUTTONUP, cx + 2, cy - 1),
          mouseMsg(WM_LBUTTONDOWN, 5, 5), mouseMsg(WM_LBUTTONUP, 5, 5),
          mouseMsg(WM_LBUTTONDOWN, cx, cy), mouseMsg(WM_LBUTTONUP, cx, cy + 30),
          mouseMsg(WM_LBUTTONDOWN, cx, cy), mouseMsg(WM_LBUTTONUP, cx, cy),
          keyMsg(WM_KEYDOWN, VK_HOME), keyMsg(WM_KEYDOWN, 'P'), keyMsg(WM_KEYDOWN, VK_ESCAPE)});
  testing::internal::CaptureStdout();
  EXPECT_EQ(run(path), 0);
  std::string out = testing::internal::GetCapturedStdout();
  LoadedMap map;
  loadMap(path, map);
  // The first click moved 2 pixels right and 1 up, the 30-pixel drag turned the view down.
  float trot[Trot::size] = {0, 0, 0, 30, 0.5f};
  double depth;
  ASSERT_TRUE(fitCamera(map.lat, 640, 480, trot, depth, map.lat));
  char p[200];
  std::snprintf(p, sizeof p, "--camera %.9g,%.9g,%.9g,30,0.5 --select 0\n", trot[0], trot[1],
                trot[2]);
  EXPECT_EQ(out, "selected lattice 0: id 1, 4 x 2 x 4 cells, at (0, 0, 0), parent none\n"
                 "selection cleared\n"
                 "selected lattice 0: id 1, 4 x 2 x 4 cells, at (0, 0, 0), parent none\n" +
                     std::string(p));
  EXPECT_EQ(findWinCall("SetCapture") != nullptr, true);
}

// The measurement's line: the point as a user reads it (4 decimals at most, no -0) and, for B,
// the distance and its parts from A.
TEST(Measure, LinesAndDistances) {
  struct Case {
    double a[3], b[3];
    const char* line;
  } cases[] = {
      {{0, 0, 0}, {3, 4, 0}, "point B (3, 4, 0) on lattice 2: distance 5 (dx 3, dy 4, dz 0)"},
      {{1, 1, 1},
       {1, 1, -11},
       "point B (1, 1, -11) on lattice 2: distance 12 (dx 0, dy 0, dz -12)"},
      {{0.5, -2.25, 7},
       {-0.00004, 1e-7, 7.123456},
       "point B (0, 0, 7.1235) on lattice 2: distance 2.3082 (dx -0.5, dy 2.25, dz 0.1235)"},
      {{-1e6, 0, 0},
       {1e6, 0, 0},
       "point B (1000000, 0, 0) on lattice 2: distance 2000000 (dx 2000000, dy 0, dz 0)"},
  };
  for (const Case& c : cases) {
    Measurement m;
    m.count = 1;
    std::copy(c.a, c.a + 3, m.at[0]);
    m.lattice[0] = 5;
    EXPECT_EQ(measureLine(m).substr(0, 8), "point A ");
    m.count = 2;
    std::copy(c.b, c.b + 3, m.at[1]);
    m.lattice[1] = 2;
    EXPECT_EQ(measureLine(m), c.line);
  }
  EXPECT_EQ(measureLine(Measurement{}), "");
}

// Ctrl+click sets A, then B, then A again; the background sets nothing; Backspace clears. The
// marks are drawn over the scene in their colour; G draws the selected lattice's grid only.
TEST_F(ViewerTest, CtrlClickMeasuresAndGShowsTheGrid) {
  std::string path = selectionMap(*this);
  auto ctrlClick = [](int x, int y) {
    MSG down = mouseMsg(WM_LBUTTONDOWN, x, y), up = mouseMsg(WM_LBUTTONUP, x, y);
    down.wParam |= MK_CONTROL;
    up.wParam |= MK_CONTROL;
    return std::vector<std::optional<MSG>>{down, up};
  };
  std::vector<std::optional<MSG>> s = {keyMsg(WM_KEYDOWN, 'G')}; // nothing selected: nothing
  for (auto [x, y] : {std::pair{320, 240}, {5, 5}, {330, 250}, {320, 240}})
    for (auto& m : ctrlClick(x, y)) s.push_back(m);
  s.insert(s.end(),
           {std::nullopt, keyMsg(WM_KEYDOWN, VK_BACK), std::nullopt, keyMsg(WM_KEYDOWN, VK_TAB),
            keyMsg(WM_KEYDOWN, 'G'), std::nullopt, keyMsg(WM_KEYDOWN, VK_ESCAPE)});
  winDouble.script = s;
  testing::internal::CaptureStdout();
  EXPECT_EQ(run(path), 0);
  std::string out = testing::internal::GetCapturedStdout();
  // The box's front face is at z 2, in front of the eye 50 away.
  std::istringstream lines(out);
  std::string a1, b, a2, cleared;
  std::getline(lines, a1);
  std::getline(lines, b);
  std::getline(lines, a2);
  EXPECT_TRUE(a1.starts_with("point A (") && a1.ends_with(", 2) on lattice 0")) << a1;
  EXPECT_TRUE(b.starts_with("point B (") && b.find(", 2) on lattice 0: distance ") != b.npos &&
              b.ends_with(", dz 0)"))
      << b;
  EXPECT_EQ(a2, a1); // the third starts again
  std::getline(lines, cleared);
  EXPECT_TRUE(cleared.starts_with("selected lattice 0")) << cleared; // nothing more printed
  // Per frame: the vertices of magenta lines (the marks) and of lines drawn with the depth
  // range pulled in (the grid).
  std::vector<std::pair<int, int>> frames;
  bool magenta = false, pulled = false, lines_ = false;
  for (const GlCall& c : glDouble.calls) {
    if (c.fn == Gl::Clear) frames.push_back({0, 0});
    if (c.fn == Gl::Color) magenta = c.a[0] == markColour[0] && c.a[1] == markColour[1];
    if (c.fn == Gl::DepthRange) pulled = c.a[1] < 1;
    if (c.fn == Gl::Begin) lines_ = c.a[0] == GL_LINES;
    if (c.fn == Gl::Vertex && lines_ && !frames.empty()) {
      if (magenta) frames.back().first++;
      if (pulled) frames.back().second++;
    }
  }
  // A frame a message: G, then A, a click on the background, B and A again (two messages a
  // click), Backspace, Tab and G.
  ASSERT_EQ(frames.size(), 16u);
  EXPECT_EQ(frames[0], std::pair(0, 0));
  EXPECT_EQ(frames[2].first, 6);          // A: a cross
  EXPECT_EQ(frames[6].first, 14);         // B: two crosses and the segment
  EXPECT_EQ(frames[8].first, 6);          // A again
  EXPECT_EQ(frames[4].first, 6);          // the background set nothing
  EXPECT_EQ(frames[10], std::pair(0, 0)); // Backspace cleared it
  // The grid of the 4 x 2 x 4 box: its 2 * 16 + 4 * 8 cell quads, four edges each.
  EXPECT_EQ(frames.back().second, 64 * 4 * 2);
  EXPECT_EQ(glDouble.depthRange[1], 1.0);
}

// Flights: Enter adds the view, Ctrl+Enter prints the keyframe file, Shift+Enter plays it to
// the last keyframe (20 ms a frame here: 4 s is 200 frames), a key stops it, Backspace keeps
// the keyframes and Ctrl+Backspace forgets them.
TEST_F(ViewerTest, FlightsAddPrintAndPlay) {
  std::string path = map("level.map");
  MSG ctrl = keyMsg(WM_KEYDOWN, VK_CONTROL), ctrlUp = keyMsg(WM_KEYUP, VK_CONTROL);
  MSG shift = keyMsg(WM_KEYDOWN, VK_SHIFT), shiftUp = keyMsg(WM_KEYUP, VK_SHIFT);
  MSG enter = keyMsg(WM_KEYDOWN, VK_RETURN), p = keyMsg(WM_KEYDOWN, 'P');
  std::vector<std::optional<MSG>> s = {enter};
  for (int i = 0; i < 10; i++) s.push_back(keyMsg(WM_KEYDOWN, 'E'));
  s.push_back(keyMsg(WM_KEYUP, 'E'));
  s.insert(s.end(), {enter, keyMsg(WM_KEYDOWN, VK_UP), keyMsg(WM_KEYUP, VK_UP), enter, ctrl, enter,
                     ctrlUp, keyMsg(WM_KEYDOWN, VK_BACK), shift, enter, shiftUp});
  s.insert(s.end(), 250, std::nullopt); // the flight plays out
  s.insert(s.end(), {p, shift, enter, shiftUp, std::nullopt, keyMsg(WM_KEYDOWN, 'S'), ctrl,
                     keyMsg(WM_KEYDOWN, VK_BACK), ctrlUp, shift, enter, shiftUp,
                     keyMsg(WM_KEYDOWN, VK_ESCAPE)});
  winDouble.script = s;
  testing::internal::CaptureStdout();
  EXPECT_EQ(run(path), 0);
  std::string out = testing::internal::GetCapturedStdout();
  // E moves 1 a frame while held and the up arrow turns 1 a frame.
  size_t ups = out.find("keyframe 3: --camera 0,0,10,");
  ASSERT_NE(ups, std::string::npos) << out;
  std::string third = out.substr(ups + 12, out.find('\n', ups) - ups - 12);
  EXPECT_EQ(out.substr(0, ups),
            "keyframe 1: --camera 0,0,0,0,0\nkeyframe 2: --camera 0,0,10,0,0\n");
  std::string rest = out.substr(out.find('\n', ups) + 1);
  EXPECT_EQ(rest, "# kelvane flight: 3 keyframes, 4 seconds\n--camera 0,0,0,0,0\n"
                  "--camera 0,0,10,0,0\n" +
                      third + "\nplaying 3 keyframes, 4 seconds\nflight played\n" + third +
                      "\nplaying 3 keyframes, 4 seconds\nflight stopped\nflight cleared\n"
                      "no keyframes to play: Enter adds the view as one\n");
}

// The web page runs the viewer again for each map: a second run starts from its own start
// view with nothing selected, whatever the first left behind.
TEST_F(ViewerTest, ASecondRunStartsClean) {
  std::string first = selectionMap(*this), second = map("level.map");
  ViewerStart start;
  start.camera[Trot::tz] = 5;
  start.camera[Trot::yaw] = 30;
  start.selection = 2;
  MSG size = keyMsg(WM_SIZE, 0);
  size.lParam = MAKELPARAM(800, 600);
  script({keyMsg(WM_KEYDOWN, 'E'), keyMsg(WM_KEYUP, 'E'), keyMsg(WM_KEYDOWN, VK_TAB), size,
          keyMsg(WM_KEYDOWN, 'P'), keyMsg(WM_KEYDOWN, VK_ESCAPE)});
  testing::internal::CaptureStdout();
  EXPECT_EQ(runFrom(first, start), 0);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("--size 800x600 --select 3"), std::string::npos) << out;

  winDoubleReset();
  glDoubleReset();
  script({std::nullopt, keyMsg(WM_KEYDOWN, 'P'), keyMsg(WM_KEYDOWN, VK_ESCAPE)});
  testing::internal::CaptureStdout();
  EXPECT_EQ(run(second), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "--camera 0,0,0,0,0\n");
  EXPECT_EQ(cameraTzPerFrame(), (std::vector<double>{0, 0, 0}));
  EXPECT_EQ(titles(), std::vector<std::string>{}); // nothing selected, the title untouched
  for (const GlCall& c : sceneCalls())             // no amber anywhere
    if (c.fn == Gl::Color) {
      EXPECT_TRUE(c.a[1] == c.a[0] && c.a[2] == c.a[0]) << c.a[1];
    }
}

// A parent chain 0 <- 1 <- 3, with 2 undrawn and 4 a second child of 0.
MapDesc familyDesc() {
  MapDesc m;
  m.lattices = {box(4, 2, 4), box(2, 1, 2, 5), box(1, 1, 1, 0), box(1, 1, 1, 6), box(3, 1, 3, 8)};
  m.lattices[0].refs = {2, 5}; // records count from 1
  m.lattices[1].refs = {4};
  m.lattices[4].pos[0] = 20;
  return m;
}

std::string familyMap(ViewerTest& t) {
  t.write("family.map", mapBytes(familyDesc()));
  return (t.dir / "family.map").string();
}

// PageUp selects the parent, PageDown the first child in list order; H hides the selected
// lattice, Shift+H all but it, Alt+H shows all; hidden lattices are skipped by Tab, PageUp and
// PageDown, left out of the frame and of P's line as --hide.
TEST_F(ViewerTest, HierarchyKeysAndHiding) {
  std::string path = familyMap(*this);
  MSG shiftDown = keyMsg(WM_KEYDOWN, VK_SHIFT), shiftUp = keyMsg(WM_KEYUP, VK_SHIFT);
  MSG altH = keyMsg(WM_SYSKEYDOWN, 'H');
  std::vector<std::optional<MSG>> s = {keyMsg(WM_KEYDOWN, VK_PRIOR), // nothing selected: nothing
                                       keyMsg(WM_KEYDOWN, VK_TAB),   // 0
                                       keyMsg(WM_KEYDOWN, VK_PRIOR), // 0 has no parent: nothing
                                       keyMsg(WM_KEYDOWN, VK_NEXT),  // 1
                                       keyMsg(WM_KEYDOWN, VK_NEXT),  // 3
                                       keyMsg(WM_KEYDOWN, VK_NEXT),  // 3 has no child: nothing
                                       keyMsg(WM_KEYDOWN, VK_PRIOR), // 1
                                       keyMsg(WM_KEYDOWN, 'H'),      // hide 1, clear
                                       keyMsg(WM_KEYDOWN, VK_TAB),   // 0
                                       keyMsg(WM_KEYDOWN, VK_NEXT),  // 1 is hidden: 4
                                       keyMsg(WM_KEYDOWN, VK_TAB),   // past 4: wraps to 0
                                       keyMsg(WM_KEYDOWN, VK_TAB),   // 1 hidden: 3
                                       keyMsg(WM_KEYDOWN, VK_PRIOR), // 1 hidden: 0
                                       keyMsg(WM_KEYDOWN, 'P'),
                                       keyMsg(WM_KEYUP, 'P'),
                                       shiftDown,
                                       keyMsg(WM_KEYDOWN, 'H'),
                                       shiftUp, // all but 0
                                       std::nullopt,
                                       keyMsg(WM_KEYDOWN, 'P'),
                                       keyMsg(WM_KEYUP, 'P'),
                                       altH, // all shown
                                       keyMsg(WM_KEYDOWN, 'P'),
                                       keyMsg(WM_KEYDOWN, VK_ESCAPE)};
  winDouble.script = s;
  testing::internal::CaptureStdout();
  EXPECT_EQ(run(path), 0);
  std::string out = testing::internal::GetCapturedStdout();
  auto line = [](int i, int id, const char* cells, const char* at, const char* parent) {
    return "selected lattice " + std::to_string(i) + ": id " + std::to_string(id) + ", " + cells +
           " cells, at " + at + ", parent " + parent + "\n";
  };
  std::string l0 = line(0, 1, "4 x 2 x 4", "(0, 0, 0)", "none"),
              l1 = line(1, 5, "2 x 1 x 2", "(0, 0, 0)", "0"),
              l3 = line(3, 6, "1 x 1 x 1", "(0, 0, 0)", "1"),
              l4 = line(4, 8, "3 x 1 x 3", "(20, 0, 0)", "0");
  EXPECT_EQ(out, l0 + l1 + l3 + l1 + "selection cleared\nhidden 1 of 4 lattices\n" + l0 + l4 + l0 +
                     l3 + l0 + "--camera 0,0,0,0,0 --select 0 --hide 1\n" +
                     "hidden 3 of 4 lattices\n--camera 0,0,0,0,0 --select 0 --hide 1,3,4\n" +
                     "hidden 0 of 4 lattices\n--camera 0,0,0,0,0 --select 0\n");
}

// The page's outline: its rows are the drawn lattices with their nearest drawn parent, and what
// a row asks (select, select and fit, hide, show) goes through as the keys' commands do; asks
// about a lattice the map does not draw change nothing.
TEST_F(ViewerTest, TheOutlineAsksLikeTheKeys) {
  std::string path = familyMap(*this);
  LoadedMap map;
  loadDesc(familyDesc(), map);
  EXPECT_EQ(outlineText(map.lat), "0 1 4 2 4 -1\n1 5 2 1 2 0\n3 6 1 1 1 1\n4 8 3 1 3 0\n");
  auto ask = [&](PageAsk what, int index) {
    return MSG{nullptr, pageAskMessage, what, index, 0, {}};
  };
  winDouble.script = {ask(pageSelect, 2),
                      ask(pageSelect, 99),
                      ask(pageHide, -1),
                      ask(pageSelect, 3),
                      ask(pageHide, 3),
                      ask(pageSelectFit, 3),
                      ask(pageHide, 4),
                      keyMsg(WM_KEYDOWN, 'P'),
                      keyMsg(WM_KEYUP, 'P'),
                      ask(pageShow, 4),
                      keyMsg(WM_KEYDOWN, VK_ESCAPE)};
  testing::internal::CaptureStdout();
  EXPECT_EQ(run(path), 0);
  std::string out = testing::internal::GetCapturedStdout();
  std::string l3 = "selected lattice 3: id 6, 1 x 1 x 1 cells, at (0, 0, 0), parent 1\n";
  std::string fitted = out.substr(out.find("--camera"));
  EXPECT_EQ(out, l3 + "selection cleared\nhidden 1 of 4 lattices\nhidden 0 of 4 lattices\n" + l3 +
                     "hidden 1 of 4 lattices\n" + fitted);
  EXPECT_NE(fitted.find(" --select 3 --hide 4\nhidden 0 of 4 lattices\n"), std::string::npos);
  EXPECT_NE(fitted.substr(0, 26), "--camera 0,0,0,0,0 --sele"); // the double click fitted it
}

// Hidden lattices are not drawn, not picked, and left out of Home's fit; with nothing hidden
// the frame is the frame without hiding.
TEST(Hiding, TheFrameLeavesHiddenLatticesOut) {
  MapDesc m;
  m.lattices = {box(4, 2, 4), box(2, 1, 2)};
  m.lattices[1].pos[0] = 10;
  m.lattices[0].refs = {2};
  LoadedMap map;
  loadDesc(m, map);
  RetainedScene scene;
  buildRetained(map.lat, ViewerState{}, size_t(1) << 30, scene);
  float trot[Trot::size] = {0, 0, -60, 20, 0};
  auto frame = [&] {
    glDoubleReset();
    viewProjection(640, 480);
    drawRetainedFrame(scene, trot, ViewerState{});
    return glDouble.drawn;
  };
  std::vector<DrawnTriangle> all = frame();
  hideLattices(scene, {false, false});
  EXPECT_TRUE(frame() == all);
  hideLattices(scene, {true});
  std::vector<DrawnTriangle> second = frame();
  EXPECT_EQ(second.size(), faceTriangles(map.lat->next));
  hideLattices(scene, {});
  EXPECT_TRUE(frame() == all);
  // The parent hidden, its child is still placed by it: the child's triangles are the same.
  EXPECT_TRUE(std::equal(second.begin(), second.end(), all.end() - long(second.size())));

  float fitAll[Trot::size] = {0, 0, 0, 20, 0}, fitShown[Trot::size] = {0, 0, 0, 20, 0};
  double depth;
  ASSERT_TRUE(fitCamera(map.lat, 640, 480, fitAll, depth));
  ASSERT_TRUE(fitCamera(map.lat, 640, 480, fitShown, depth, nullptr, SIZE_MAX, {true}));
  float fitChild[Trot::size] = {0, 0, 0, 20, 0};
  ASSERT_TRUE(fitCamera(map.lat, 640, 480, fitChild, depth, map.lat->next));
  for (int i = 0; i < 3; i++) EXPECT_EQ(fitShown[i], fitChild[i]);
  EXPECT_NE(fitShown[0], fitAll[0]);
  float straight[Trot::size] = {-10, 0, 0, 0, 0}; // the child ahead
  EXPECT_EQ(pickLattice(map.lat, straight, 640, 480, 320, 240), 1);
  EXPECT_EQ(pickLattice(map.lat, straight, 640, 480, 320, 240, SIZE_MAX, {false, true}), -1);
}

// `n` passes with no message: with the double's 20 ms a pass, n / 50 seconds.
void idle(std::vector<std::optional<MSG>>& s, int n) {
  for (int i = 0; i < n; i++) s.push_back(std::nullopt);
}

MapDesc threeBoxes(int idOfThird) {
  MapDesc m;
  m.lattices = {box(4, 2, 4), box(1, 1, 1, 0), box(2, 1, 2, idOfThird)};
  return m;
}

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
  // Once the keys are released, an empty pass draws nothing.
  EXPECT_EQ(cameraTzPerFrame(), (std::vector<double>{1, 2, 3, 3, 3}));
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
      {"noise.map", "noise.map: not a map: file ends inside type entry 63 of 23130 at byte 4096"},
      {"folder.map", "folder.map: Is a directory"},
      {"missing.map", "missing.map: No such file or directory"},
      {"small.map", "small.map: out of memory"}, // no memory even for the root
  };
  map("small.map");
  for (const Case& c : cases) {
    winDoubleReset();
    glDoubleReset();
    testing::internal::CaptureStderr();
    ViewerStart start;
    if (c.name == "small.map") start.storeLimit = 1;
    EXPECT_EQ(runFrom(c.name, start), 1) << c.name;
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("kelvane-viewer: " + c.reason), std::string::npos) << err;
    const WinCall* box = findWinCall("MessageBoxA");
    ASSERT_NE(box, nullptr) << c.name;
    EXPECT_EQ(box->args[1], c.reason);
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
