// The viewer's entry, played against the window-system and GL doubles: file choice,
// start-up and shutdown order, the main loop and exit codes.
#include "viewer_fixture.h"

namespace {

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
  // GL: the size message's view during creation (its six calls), then the depth test, the
  // 640 x 480 view (six calls again) and the first frame's clear.
  const auto& g = glDouble.calls;
  size_t sized = glCallAt(Gl::Viewport), depth = glCallAt(Gl::Enable),
         view = glCallAt(Gl::Viewport, 1), clear = glCallAt(Gl::Clear);
  ASSERT_LT(clear, g.size());
  EXPECT_EQ(sized, 0u);
  EXPECT_EQ(g[sized].a[2], 624);
  EXPECT_EQ(depth, sized + 6);
  EXPECT_EQ(g[depth].a[0], GL_DEPTH_TEST);
  EXPECT_EQ(view, depth + 1);
  EXPECT_EQ(g[view].a[2], 640);
  EXPECT_EQ(g[view].a[3], 480);
  EXPECT_EQ(clear, view + 6);
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
  // A close, an Escape held, and an Escape pressed and released while the map loaded (on a busy
  // machine the taps and the Escape all come before the loop starts).
  for (const char* end : {"close", "Escape", "Escape while loading"}) {
    winDoubleReset();
    glDoubleReset();
    winDouble.script = taps;
    if (end == std::string("close"))
      winDouble.script.push_back(closeMsg());
    else if (end == std::string("Escape"))
      winDouble.asyncKeys[VK_ESCAPE] = short(0x8001); // pressed after the taps
    else
      winDouble.shown = [] { winDouble.asyncKeys[VK_ESCAPE] = 1; };
    EXPECT_EQ(run(path), 0) << end;
    EXPECT_LE(winDouble.swaps, 1) << end;
    EXPECT_LT(winDouble.next, 3u) << end << ": the taps were worked off first";
  }
}

// An Escape pressed in another program does not end the viewer when its messages next wait
// behind one another (Windows keeps one "pressed since" mark for all programs): neither one
// pressed before the viewer ran, nor one pressed while it lacked the focus it then got back.
TEST_F(ViewerTest, AnEscapeFromAnotherProgramDoesNotEndIt) {
  std::string path = map("level.map");
  MSG focus = keyMsg(WM_SETFOCUS, 0);
  focus.lParam = 0;
  std::vector<std::optional<MSG>> keys = {keyMsg(WM_KEYDOWN, 'P'), keyMsg(WM_KEYUP, 'P'),
                                          keyMsg(WM_KEYDOWN, VK_ESCAPE)};
  for (bool beforeTheRun : {true, false}) {
    winDoubleReset();
    glDoubleReset();
    winDouble.script = keys;
    if (beforeTheRun) {
      winDouble.asyncKeys[VK_ESCAPE] = 1;
    } else {
      winDouble.script.insert(winDouble.script.begin(), {std::nullopt, focus, std::nullopt});
      winDouble.at[1] = [] { winDouble.asyncKeys[VK_ESCAPE] = 1; }; // before the focus is back
    }
    testing::internal::CaptureStdout();
    EXPECT_EQ(run(path), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "--camera 0,0,0,0,0\n") << beforeTheRun;
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
      // A whole line that names no file keeps its reason and adds the likely intent.
      {"empty.map noise.map", "empty.map noise.map: No such file or directory\n"
                              "to compare two maps: kelvane-viewer --compare OLD NEW"},
      {"empty.map gone.map", "empty.map gone.map: No such file or directory"},
      {"--compare empty.map", "--compare empty.map: No such file or directory\n"
                              "--compare needs two maps: OLD and NEW"},
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
    std::string said = c.reason;
    if (size_t nl = said.find('\n'); nl != std::string::npos)
      said.replace(nl, 1, "\nkelvane-viewer: ");
    EXPECT_NE(err.find("kelvane-viewer: " + said), std::string::npos) << err;
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
