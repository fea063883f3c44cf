// Selecting, measuring, flights, the hierarchy keys, hiding and the page's outline in the
// running viewer, against the doubles.
#include "viewer_fixture.h"

namespace {

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

// --compare OLD NEW (names plain or quoted, nothing after them): N and Shift+N step through
// the changes, wrapping, and say each; a removed lattice selects nothing in NEW.
TEST_F(ViewerTest, CompareStepsThroughTheChanges) {
  struct {
    const char* line;
    bool compare;
    const char *old, *now;
  } lines[] = {{"--compare a b", true, "a", "b"},  {"--compare \"a b\"  c", true, "a b", "c"},
               {"--compare a", false, "", ""},     {"--compare a b c", false, "", ""},
               {"--compare \"a b", false, "", ""}, {"--comparea b", false, "", ""},
               {"a --compare b c", false, "", ""}};
  for (const auto& l : lines) {
    std::string old, now;
    EXPECT_EQ(compareNames(l.line, old, now), l.compare) << l.line;
    if (l.compare) {
      EXPECT_EQ(old + "|" + now, std::string(l.old) + "|" + l.now) << l.line;
    }
  }
  MapDesc m;
  m.lattices = {box(2, 1, 2, 1), box(2, 1, 2, 2), box(2, 1, 2, 3)};
  write("old map.map", mapBytes(m));
  m.lattices.erase(m.lattices.begin() + 1);
  m.lattices[1].pos[1] = 4;
  m.lattices.push_back(box(1, 1, 1, 4));
  write("new.map", mapBytes(m));
  MSG shiftDown = keyMsg(WM_KEYDOWN, VK_SHIFT), shiftUp = keyMsg(WM_KEYUP, VK_SHIFT);
  script({keyMsg(WM_KEYDOWN, 'N'), keyMsg(WM_KEYDOWN, 'N'), keyMsg(WM_KEYDOWN, 'N'),
          keyMsg(WM_KEYDOWN, 'N'), shiftDown, keyMsg(WM_KEYDOWN, 'N'), shiftUp,
          keyMsg(WM_KEYDOWN, 'P'), keyMsg(WM_KEYDOWN, VK_ESCAPE)});
  testing::internal::CaptureStdout();
  EXPECT_EQ(run("--compare \"old map.map\" new.map"), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "change 1 of 3: removed 1 (id 2): 2 x 1 x 2 cells at (0, 0, 0)\n"
            "selected lattice 1: id 3, 2 x 1 x 2 cells, at (0, 4, 0), parent none\n"
            "change 2 of 3: moved 1 (id 3): position (0, 0, 0) -> (0, 4, 0)\n"
            "selected lattice 2: id 4, 1 x 1 x 1 cells, at (0, 0, 0), parent none\n"
            "change 3 of 3: added 2 (id 4): 1 x 1 x 1 cells at (0, 0, 0)\n"
            "selection cleared\n"
            "change 1 of 3: removed 1 (id 2): 2 x 1 x 2 cells at (0, 0, 0)\n"
            "selected lattice 2: id 4, 1 x 1 x 1 cells, at (0, 0, 0), parent none\n"
            "change 3 of 3: added 2 (id 4): 1 x 1 x 1 cells at (0, 0, 0)\n"
            "--camera 0,0,0,0,0 --select 2 --compare \"old map.map\"\n");
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
      const uint8_t* rgb = glDouble.drawn[t].rgb;
      bool grey = rgb[1] == rgb[0] && rgb[2] == rgb[0];
      bool amber = rgb[0] > rgb[1] && rgb[1] > rgb[2];
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

// The digits jump to the flight's keyframes, and one past its end says so.
TEST_F(ViewerTest, DigitsRecallKeyframes) {
  std::string path = map("level.map");
  MSG enter = keyMsg(WM_KEYDOWN, VK_RETURN), p = keyMsg(WM_KEYDOWN, 'P');
  std::vector<std::optional<MSG>> s = {enter};
  for (int i = 0; i < 10; i++) s.push_back(keyMsg(WM_KEYDOWN, 'E'));
  s.insert(s.end(),
           {keyMsg(WM_KEYUP, 'E'), enter, keyMsg(WM_KEYDOWN, '1'), p, keyMsg(WM_KEYDOWN, '2'), p,
            keyMsg(WM_KEYDOWN, '9'), p, keyMsg(WM_KEYDOWN, VK_ESCAPE)});
  winDouble.script = s;
  testing::internal::CaptureStdout();
  EXPECT_EQ(run(path), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "keyframe 1: --camera 0,0,0,0,0\nkeyframe 2: --camera 0,0,10,0,0\n"
            "keyframe 1: --camera 0,0,0,0,0\n--camera 0,0,0,0,0\n"
            "keyframe 2: --camera 0,0,10,0,0\n--camera 0,0,10,0,0\n"
            "no keyframe 9: the flight has 2 (Enter adds the view as one)\n--camera 0,0,10,0,0\n");
}

// C cuts at the height under the pointer, ] moves the cut up a tenth of the map's height,
// Shift+C turns it over, C removes it; P prints each, and a click picks only what is drawn.
TEST_F(ViewerTest, TheSectionCutsMovesAndPrints) {
  MapDesc m;
  m.lattices = {box(2, 1, 2), box(2, 1, 2)};
  m.lattices[1].pos[1] = 4; // a box above the first, hiding nothing from the front
  m.lattices[1].pos[2] = -20;
  write("cut.map", mapBytes(m));
  MSG p = keyMsg(WM_KEYDOWN, 'P'), c = keyMsg(WM_KEYDOWN, 'C');
  MSG shift = keyMsg(WM_KEYDOWN, VK_SHIFT), shiftUp = keyMsg(WM_KEYUP, VK_SHIFT);
  auto click = [](int x, int y) {
    return std::vector<std::optional<MSG>>{mouseMsg(WM_LBUTTONDOWN, x, y),
                                           mouseMsg(WM_LBUTTONUP, x, y)};
  };
  std::vector<std::optional<MSG>> s = {mouseMsg(WM_MOUSEMOVE, 320, 236), c, p,
                                       keyMsg(WM_KEYDOWN, VK_OEM_6), p};
  for (auto& m : click(320, 207)) s.push_back(m); // the upper box is cut away: nothing
  s.insert(s.end(), {shift, c, shiftUp, p});
  for (auto& m : click(320, 207)) s.push_back(m); // now it is kept
  s.insert(s.end(), {c, p, keyMsg(WM_KEYDOWN, VK_ESCAPE)});
  winDouble.script = s;
  testing::internal::CaptureStdout();
  EXPECT_EQ(run((dir / "cut.map").string()), 0);
  const std::string y = "0.295990109", up = "0.795990109"; // half a step: the boxes span 5
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "section at " + y + ": above hidden ([ ] move it, C removes it)\n" +
                "--camera 0,0,0,0,0 --section " + y + "\n" + "section at " + up +
                ": above hidden ([ ] move it, C removes it)\n" + "--camera 0,0,0,0,0 --section " +
                up + "\n" + "section at " + up + ": below hidden ([ ] move it, C removes it)\n" +
                "--camera 0,0,0,0,0 --section-above " + up + "\n" +
                "selected lattice 1: id 1, 2 x 1 x 2 cells, at (0, 4, -20), parent none\n" +
                "section removed\n--camera 0,0,0,0,0 --select 1\n");
}

// Numpad 7 (or Alt+7) looks from the top, orthographic and framed; Ctrl from the bottom;
// numpad 5 goes back to the perspective projection, keeping the view; P prints --ortho.
TEST_F(ViewerTest, AxisViewsAreOrthographic) {
  std::string path = map("level.map");
  MSG p = keyMsg(WM_KEYDOWN, 'P'), ctrl = keyMsg(WM_KEYDOWN, VK_CONTROL),
      ctrlUp = keyMsg(WM_KEYUP, VK_CONTROL), num7 = keyMsg(WM_KEYDOWN, VK_NUMPAD7);
  MSG alt7 = keyMsg(WM_SYSKEYDOWN, '7');
  winDouble.script = {num7,
                      p,
                      ctrl,
                      num7,
                      ctrlUp,
                      p,
                      alt7,
                      p,
                      keyMsg(WM_KEYDOWN, VK_NUMPAD5),
                      p,
                      keyMsg(WM_KEYDOWN, VK_ESCAPE)};
  testing::internal::CaptureStdout();
  EXPECT_EQ(run(path), 0);
  // The message and P name one quantity the same: the half-height.
  const std::string top = "from the top, orthographic, half-height 1.04999995 (--ortho; numpad 5: "
                          "perspective)\n--camera 0,0,0,90,0 --ortho 1.04999995\n";
  EXPECT_EQ(
      testing::internal::GetCapturedStdout(),
      top +
          "from the bottom, orthographic, half-height 1.04999995 (--ortho; numpad 5: perspective)\n"
          "--camera 0,0,0,-90,0 --ortho 1.04999995\n" +
          top + "perspective view\n--camera 0,0,0,90,0\n");
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

// Home on a scene deeper than the plain view's 1000 units pushes the far plane out to hold it
// (the near plane with it), P prints it as render's --far, the camera keys keep it, and F5 goes
// back to the plain view.
TEST_F(ViewerTest, HomeOnADeepScenePushesTheFarPlane) {
  MapDesc m;
  for (int k = 0; k < 4; k++) {
    m.lattices.push_back(box(2, 1, 2, k + 1));
    m.lattices.back().pos[2] = -3000.0f * float(k);
  }
  write("deep.map", mapBytes(m));
  script({keyMsg(WM_KEYDOWN, VK_HOME), keyMsg(WM_KEYDOWN, 'P'), keyMsg(WM_KEYDOWN, 'E'),
          keyMsg(WM_KEYUP, 'E'), keyMsg(WM_KEYDOWN, 'P'), keyMsg(WM_KEYDOWN, VK_F5),
          keyMsg(WM_KEYDOWN, 'P'), keyMsg(WM_KEYDOWN, VK_ESCAPE)});
  testing::internal::CaptureStdout();
  EXPECT_EQ(run("deep.map"), 0);
  std::string out = testing::internal::GetCapturedStdout();
  LoadedMap map;
  loadMap("deep.map", map);
  float trot[Trot::size] = {0, 0, 0, homePitch(0), 0};
  double depth = 0;
  ASSERT_TRUE(fitCamera(map.lat, 640, 480, trot, depth));
  float far = fittedFar(depth);
  ASSERT_GT(far, plainFar);
  std::vector<std::string> lines;
  for (size_t at = 0, end; (end = out.find('\n', at)) != std::string::npos; at = end + 1)
    if (out.compare(at, 9, "--camera ") == 0) lines.push_back(out.substr(at, end - at));
  ASSERT_EQ(lines.size(), 3u) << out;
  EXPECT_NE(lines[0].find(" " + farText(far)), std::string::npos) << lines[0];
  EXPECT_NE(lines[1].find(" " + farText(far)), std::string::npos) << lines[1];
  EXPECT_EQ(lines[2].find("--far"), std::string::npos) << lines[2];
  // The projections set: the plain one, the pushed one (near far / 1000), then the plain again.
  std::vector<std::pair<double, double>> planes;
  for (const GlCall& c : glDouble.calls)
    if (c.fn == Gl::Perspective && (planes.empty() || planes.back().second != c.a[3]))
      planes.push_back({c.a[2], c.a[3]});
  EXPECT_EQ(planes, (std::vector<std::pair<double, double>>{
                        {1, 1000}, {double(far) / 1000, double(far)}, {1, 1000}}));
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

} // namespace

// Ctrl+PageDown and Ctrl+PageUp go through the folder's map files in name order, wrapping; one
// that does not load is said and passed over; the camera stays where the user moved it, and the
// title says where the map is among them.
TEST_F(ViewerTest, CtrlPageDownStepsThroughTheFolderKeepingTheView) {
  for (const char* name : {"a.map", "b.map", "c.map"}) map(name);
  write("d.map", "not a map");
  write("e.txt", "not a map either");
  std::string a = (dir / "a.map").string();
  MSG down = keyMsg(WM_KEYDOWN, VK_CONTROL), up = keyMsg(WM_KEYUP, VK_CONTROL);
  MSG next = keyMsg(WM_KEYDOWN, VK_NEXT), prior = keyMsg(WM_KEYDOWN, VK_PRIOR);
  script({keyMsg(WM_KEYDOWN, 'E'), keyMsg(WM_KEYUP, 'E'), keyMsg(WM_KEYDOWN, 'P'),
          keyMsg(WM_KEYUP, 'P'), down, next, keyMsg(WM_KEYUP, VK_NEXT), next,
          keyMsg(WM_KEYUP, VK_NEXT), next, keyMsg(WM_KEYUP, VK_NEXT), prior,
          keyMsg(WM_KEYUP, VK_PRIOR), up, keyMsg(WM_KEYDOWN, 'P'), keyMsg(WM_KEYUP, 'P'),
          keyMsg(WM_KEYDOWN, VK_ESCAPE)});
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  int rc = run(a);
  std::string out = testing::internal::GetCapturedStdout();
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(rc, 0);
  std::vector<std::string> lines;
  for (size_t at = 0, end; at < out.size(); at = end + 1) {
    end = out.find('\n', at);
    lines.push_back(out.substr(at, end - at));
  }
  std::string d = dir.string() + "/";
  ASSERT_EQ(lines.size(), 10u) << out;
  EXPECT_EQ(lines[0].rfind("--camera ", 0), 0u);
  EXPECT_NE(lines[0], "--camera 0,0,0,0,0"); // E moved it
  EXPECT_EQ(lines[1], "opened " + d + "b.map: 1 lattices");
  EXPECT_EQ(lines[2], d + "b.map is map 2 of 4 in its folder");
  EXPECT_EQ(lines[3], "opened " + d + "c.map: 1 lattices");
  EXPECT_EQ(lines[5], "opened " + d + "a.map: 1 lattices"); // d.map passed over, wrapping
  EXPECT_EQ(lines[6], d + "a.map is map 1 of 4 in its folder");
  EXPECT_EQ(lines[7], "opened " + d + "c.map: 1 lattices"); // back over d.map
  EXPECT_EQ(lines[9], lines[0]);                            // the camera as it was
  EXPECT_NE(err.find(d + "d.map: not opened: not a map"), std::string::npos) << err;
  EXPECT_EQ(titles().back(), "Kelvane Map Viewer by Ruq - 3 of 4");
}

// With F1's sheet shown, letters go to its filter (G toggles no grid, E moves nothing) and
// Escape closes the sheet; the viewer goes on, and the next Escape quits.
// The same for the outline with the keys: its Escape gives them back. Neither Escape's "pressed
// since" mark ends the viewer later, when P's press waits before its release (the Escape came
// alone: nothing waited behind it to spend the mark).
TEST_F(ViewerTest, EscapeClosesTheHelpSheetBeforeItQuits) {
  std::string path = selectionMap(*this);
  for (auto [open, typed] : {std::pair{VK_F1, int('E')}, {int('L'), int('7')}}) {
    winDoubleReset();
    script({keyMsg(WM_KEYDOWN, VK_TAB), keyMsg(WM_KEYDOWN, WPARAM(open)),
            keyMsg(WM_KEYUP, WPARAM(open)), keyMsg(WM_KEYDOWN, WPARAM(typed)),
            keyMsg(WM_KEYUP, WPARAM(typed)), keyMsg(WM_KEYDOWN, VK_ESCAPE), std::nullopt,
            keyMsg(WM_KEYUP, VK_ESCAPE), std::nullopt, keyMsg(WM_KEYDOWN, 'P'),
            keyMsg(WM_KEYUP, 'P'), keyMsg(WM_KEYDOWN, VK_ESCAPE)});
    winDouble.at[5] = [] { winDouble.asyncKeys[VK_ESCAPE] = 1; }; // as the platform marks it
    testing::internal::CaptureStdout();
    int rc = run(path);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(rc, 0) << open;
    EXPECT_NE(out.find("--camera 0,0,0,0,0 --select 0\n"), std::string::npos) << out;
  }
}
