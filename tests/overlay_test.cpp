// The overlay: which panels show and what they say, and the pass that draws them over the
// scene without changing what the scene draws.
#include "app/controls.h"
#include "app/selection.h"
#include "app/measure.h"
#include "app/outline.h"
#include "app/overlay.h"
#include "app/viewer.h"
#include "render/numbers.h"
#include "doubles/gl_double.h"
#include "doubles/win_double.h"
#include "platform/gl.h"
#include "render/font.h"
#include "test_maps.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

const OverlayPanel* panelWith(const std::vector<OverlayPanel>& panels, const std::string& text) {
  for (const OverlayPanel& p : panels)
    for (const OverlayLine& l : p.lines)
      if (l.text.find(text) != std::string::npos) return &p;
  return nullptr;
}

bool has(const OverlayPanel& p, const std::string& text) {
  return std::any_of(p.lines.begin(), p.lines.end(),
                     [&](const OverlayLine& l) { return l.text.find(text) != std::string::npos; });
}

bool overlayCall(const GlCall& c) {
  return c.fn == Gl::Disable || c.fn == Gl::BlendFunc || c.fn == Gl::Color4 ||
         c.fn == Gl::TexCoord || c.fn == Gl::BindTexture || c.fn == Gl::TexImage;
}

// Lattices 0 and 2 are drawn, 1 is not; 2 is a child of 0, turned a quarter about y.
MapDesc family() {
  MapDesc m;
  m.lattices = {box(4, 2, 4), box(1, 1, 1, 0), box(2, 1, 2, 7)};
  m.lattices[0].refs = {3};
  m.lattices[2].rot[1] = 1.5708f;
  return m;
}

struct OverlayTest : testing::Test {
  fs::path path;
  void SetUp() override {
    winDoubleReset();
    glDoubleReset();
    path = fs::path(testing::TempDir()) / ("overlay-" + std::to_string(getpid()) + ".map");
    std::ofstream(path, std::ios::binary) << mapBytes(family());
  }
  void TearDown() override { fs::remove(path); }
  int run(std::vector<std::optional<MSG>> script) {
    winDouble.script = std::move(script);
    std::string cmdLine = path.string();
    testing::internal::CaptureStdout();
    int rc = WinMain(reinterpret_cast<HINSTANCE>(0x400000), nullptr, cmdLine.data(), 10);
    testing::internal::GetCapturedStdout();
    return rc;
  }
};

// With no overlay showing (nothing selected, nothing said, help and info off, or O) the frame
// is the frame without the overlay, call for call: not one call of the pass.
TEST_F(OverlayTest, NothingShowingCallsNothing) {
  ASSERT_EQ(run({keyMsg(WM_KEYDOWN, 'E'), keyMsg(WM_KEYUP, 'E'), std::nullopt,
                 keyMsg(WM_KEYDOWN, VK_ESCAPE)}),
            0);
  EXPECT_TRUE(std::none_of(glDouble.calls.begin(), glDouble.calls.end(), overlayCall));

  // O hides a selection's panel and its message too.
  winDoubleReset();
  glDoubleReset();
  size_t hidden = 0;
  winDouble.at[3] = [&] { hidden = glDouble.calls.size(); };
  ASSERT_EQ(run({keyMsg(WM_KEYDOWN, 'O'), keyMsg(WM_KEYDOWN, VK_TAB), keyMsg(WM_KEYDOWN, VK_F1),
                 std::nullopt, keyMsg(WM_KEYDOWN, VK_ESCAPE)}),
            0);
  EXPECT_TRUE(std::none_of(glDouble.calls.begin(), glDouble.calls.end(), overlayCall));
  EXPECT_GT(hidden, 0u);
}

// A frame with overlays leaves the GL state as it found it, so the scene calls of the frames
// after it are those of frames that had none.
TEST_F(OverlayTest, ThePassPutsBackWhatItChanged) {
  std::vector<GlState> after; // the state at the start of each pass: after the last frame
  for (size_t k = 0; k < 7; k++) winDouble.at[k] = [&] { after.push_back(glDoubleState()); };
  // (I before F1: letters typed while the help sheet is shown go to its filter.)
  ASSERT_EQ(run({std::nullopt, keyMsg(WM_KEYDOWN, 'I'), keyMsg(WM_KEYDOWN, VK_F1),
                 keyMsg(WM_KEYDOWN, VK_TAB), std::nullopt, keyMsg(WM_KEYDOWN, VK_F1),
                 keyMsg(WM_KEYDOWN, VK_ESCAPE)}),
            0);
  ASSERT_EQ(after.size(), 7u);
  EXPECT_TRUE(std::any_of(glDouble.calls.begin(), glDouble.calls.end(), overlayCall));
  for (size_t k = 2; k < after.size(); k++) EXPECT_TRUE(after[k] == after[1]) << "pass " << k;
  EXPECT_TRUE(after[1].depthTest);
  EXPECT_FALSE(after[1].blend || after[1].texture2d);
  EXPECT_EQ(glDouble.texturesMade, 1u); // the atlas went to the driver once
  EXPECT_EQ(glDouble.texturesLive, 0);  // and was deleted at the end
  std::vector<GlCall> withOverlays = glDouble.calls;

  // The same passes with keys that do nothing: the same scene calls, frame for frame.
  winDoubleReset();
  glDoubleReset();
  ASSERT_EQ(run({std::nullopt, keyMsg(WM_KEYDOWN, 'Z'), keyMsg(WM_KEYDOWN, 'Y'),
                 keyMsg(WM_KEYDOWN, VK_TAB), std::nullopt, keyMsg(WM_KEYDOWN, 'X'),
                 keyMsg(WM_KEYDOWN, VK_ESCAPE)}),
            0);
  std::vector<GlCall> scene;
  bool overlay = false;
  for (const GlCall& c : withOverlays) {
    if (c.fn == Gl::Clear) overlay = false;
    if (c.fn == Gl::Disable && c.a[0] == GL_DEPTH_TEST) overlay = true;
    if (!overlay) scene.push_back(c);
  }
  std::vector<GlCall> plain;
  overlay = false;
  for (const GlCall& c : glDouble.calls) { // the selection's panel shows here too
    if (c.fn == Gl::Clear) overlay = false;
    if (c.fn == Gl::Disable && c.a[0] == GL_DEPTH_TEST) overlay = true;
    if (!overlay) plain.push_back(c);
  }
  ASSERT_EQ(scene.size(), plain.size());
  for (size_t i = 0; i < scene.size(); i++) {
    EXPECT_EQ(scene[i].fn, plain[i].fn) << i;
    for (int a = 0; a < 4; a++) EXPECT_EQ(scene[i].a[a], plain[i].a[a]) << i;
  }
}

// The help sheet and --help list every row of the bindings, one line for rows that share
// keys and words, and nothing else.
TEST(OverlayPanels, HelpListsEveryBinding) {
  Viewer v; // no map and no name: the start screen shows the help until F1 hides it
  std::vector<OverlayPanel> panels = overlayPanels(v, 0);
  const OverlayPanel* help = panelWith(panels, "Keys and mouse");
  ASSERT_NE(help, nullptr);
  std::string text = helpText();
  for (int i = 0; i < bindingCount; i++) {
    if (!(bindings[i].where & onDesktop)) continue;
    EXPECT_LE(std::string(bindings[i].keys).size(), 17u)
        << "runs into its words: " << bindings[i].keys;
    EXPECT_TRUE(has(*help, bindings[i].keys)) << bindings[i].keys;
    EXPECT_TRUE(has(*help, bindings[i].does)) << bindings[i].does;
    EXPECT_NE(text.find(std::string(bindings[i].keys) + " "), std::string::npos);
    EXPECT_NE(text.find(bindings[i].does), std::string::npos) << bindings[i].does;
  }
  size_t from = text.find("Keys and mouse:\n") + 16, to = text.find("\n\n", from);
  EXPECT_EQ(size_t(std::count(text.begin() + long(from), text.begin() + long(to) + 1, '\n')),
            helpLines().size());
  size_t listed = 0;
  for (const HelpLine& h : helpLines()) {
    std::string want = h.keys;
    want.resize(18, ' ');
    for (const OverlayLine& l : help->lines) listed += l.text == want + h.does;
  }
  EXPECT_EQ(listed, helpLines().size());
  EXPECT_EQ(help->lines.size(), helpLines().size() + 4); // the start screen's three, the heading
  // No map and no name: the start screen says how to open one, and all of it fits 640 x 480.
  EXPECT_NE(panelWith(panels, "No map open. Ctrl+O opens one; so does a map file dropped"),
            nullptr);
  size_t rows = help->lines.size();
  layoutPanels(panels, 640, 480);
  EXPECT_EQ(panelWith(panels, "Keys and mouse")->lines.size(), rows);
  v.overlay.help = true;
  EXPECT_TRUE(overlayPanels(v, 0).empty());
  v.overlay.help = false;
  v.overlay.shown = false;
  EXPECT_TRUE(overlayPanels(v, 0).empty());
}

// Each platform's sheet lists exactly the rows marked for it: a page's has no F5, F12 or Escape to
// quit, and its Escape leaves a mode; the desktop's lacks the page's rows.
TEST(OverlayPanels, EachPlatformsHelpListsItsOwnRows) {
  for (bool page : {false, true}) {
    Viewer v;
    v.watch.name = "x.map";
    v.start.windowPanels = !page;
    v.overlay.help = true;
    const uint8_t here = page ? onPage : onDesktop;
    std::vector<OverlayPanel> panels = overlayPanels(v, 0);
    const OverlayPanel* help = panelWith(panels, "Keys and mouse");
    ASSERT_NE(help, nullptr);
    std::vector<std::string> shown;
    for (size_t i = 1; i < help->lines.size(); i++) shown.push_back(help->lines[i].text);
    std::vector<std::string> want;
    for (int i = 0; i < bindingCount; i++) {
      const Binding& b = bindings[i];
      std::string line = b.keys;
      line.resize(18, ' ');
      line += b.does;
      if ((b.where & here) && (want.empty() || want.back() != line)) want.push_back(line);
    }
    EXPECT_EQ(shown, want) << "page " << page;
    auto lists = [&](const std::string& s) {
      return std::any_of(shown.begin(), shown.end(),
                         [&](const std::string& l) { return l.find(s) != std::string::npos; });
    };
    EXPECT_EQ(lists("F12"), !page);
    EXPECT_EQ(lists("F5"), !page);
    EXPECT_EQ(lists("quit"), !page);
    EXPECT_EQ(lists("leave the help, moving"), page);
  }
}

// A press finds the row with the most of its modifiers down (Alt, then Shift, then Ctrl on a
// tie, as the keys were handled before the table); a repeat only rows that repeat;
// a system key (Alt on Windows) only rows that need Alt; held keys are never looked up.
TEST(Bindings, APressFindsItsRow) {
  struct Case {
    UINT message;
    int key;
    bool shift, ctrl, alt, repeat;
    Action want;
  } cases[] = {
      {WM_KEYDOWN, 'P', false, false, false, false, Action::printView},
      {WM_KEYDOWN, 'P', false, false, false, true, Action::none},
      {WM_KEYDOWN, 'P', false, true, false, false, Action::printView}, // other modifiers ignored
      {WM_SYSKEYDOWN, 'P', false, false, true, false, Action::none},
      {WM_KEYDOWN, 'H', false, false, false, false, Action::hideSelected},
      {WM_KEYDOWN, 'H', true, false, false, false, Action::hideOthers},
      {WM_KEYDOWN, 'H', false, false, true, false, Action::showAll}, // the page sends Alt so
      {WM_SYSKEYDOWN, 'H', false, false, false, false, Action::showAll},
      {WM_KEYDOWN, 'H', true, false, true, false, Action::showAll}, // Alt outranks Shift
      {WM_KEYDOWN, VK_TAB, true, false, false, true, Action::selectPrevious},
      {WM_KEYDOWN, VK_BACK, false, false, false, true, Action::clearSelection},
      {WM_KEYDOWN, VK_BACK, false, true, false, false, Action::forgetFlight},
      {WM_KEYDOWN, VK_BACK, false, true, false, true, Action::none},         // not a clear either
      {WM_KEYDOWN, VK_RETURN, true, true, false, false, Action::playFlight}, // Shift, Ctrl
      {WM_KEYDOWN, 'E', false, false, false, false, Action::none}, // held: the camera step's
      {WM_KEYDOWN, VK_ESCAPE, false, false, false, false, Action::none},
      {WM_KEYUP, 'P', false, false, false, false, Action::none},
  };
  for (const Case& c : cases) {
    unsigned char key[256] = {};
    key[VK_SHIFT] = c.shift;
    key[VK_CONTROL] = c.ctrl;
    key[VK_MENU] = c.alt;
    MSG msg = {};
    msg.message = c.message;
    msg.wParam = WPARAM(c.key);
    msg.lParam = c.repeat ? LPARAM(1L << 30) : 0;
    Input k = decodeInput(msg, key);
    EXPECT_EQ(k.key ? lookUpAction(k.key, k.mods, k.repeat) : Action::none, c.want)
        << c.message << " " << c.key << (c.shift ? " shift" : "") << (c.ctrl ? " ctrl" : "")
        << (c.alt ? " alt" : "") << (c.repeat ? " repeat" : "");
  }
  // The keypad by place: Home, End, PageDown and Clear without the extended flag are keypad
  // 7, 1, 3 and 5 (Num Lock off); with it, the dedicated keys. Alt+digit stands in for them.
  struct Pad {
    UINT message;
    int key;
    bool extended, ctrl;
    Action want;
  } pads[] = {
      {WM_KEYDOWN, VK_HOME, true, false, Action::fit},
      {WM_KEYDOWN, VK_HOME, false, false, Action::viewTop},
      {WM_KEYDOWN, VK_HOME, false, true, Action::viewBottom},
      {WM_KEYDOWN, VK_NEXT, true, false, Action::selectChild},
      {WM_KEYDOWN, VK_NEXT, false, false, Action::viewRight},
      {WM_KEYDOWN, VK_END, false, true, Action::viewBack},
      {WM_KEYDOWN, VK_CLEAR, false, false, Action::toggleOrtho},
      {WM_KEYDOWN, VK_NUMPAD7, false, false, Action::viewTop},
      {WM_KEYDOWN, '7', false, false, Action::recallKeyframe},
      {WM_SYSKEYDOWN, '7', false, false, Action::viewTop},
      {WM_SYSKEYDOWN, '7', false, true, Action::viewBottom},
      {WM_SYSKEYDOWN, '5', false, false, Action::toggleOrtho},
  };
  for (const Pad& c : pads) {
    unsigned char key[256] = {};
    key[VK_CONTROL] = c.ctrl;
    MSG msg = {};
    msg.message = c.message;
    msg.wParam = WPARAM(c.key);
    msg.lParam = c.extended ? LPARAM(1) << 24 : 0;
    Input k = decodeInput(msg, key);
    EXPECT_EQ(lookUpAction(k.key, k.mods, k.repeat), c.want)
        << c.key << (c.extended ? " extended" : "") << (c.ctrl ? " ctrl" : "");
  }
  EXPECT_EQ(lookUpAction(inputClick, modCtrl), Action::measurePoint);
  EXPECT_EQ(lookUpAction(inputClick, 0), Action::pickLattice);
}

TEST(OverlayPanels, InfoAndSelection) {
  LoadedMap map;
  loadDesc(family(), map);
  Viewer v;
  v.lat = map.lat;
  v.watch.name = "family.map";
  buildRetained(v.lat, v.vs, 0, v.scene);
  v.triangles = 96;
  v.overlay.info = true;
  v.overlay.frames = {100, 900, 1500, 1900};
  v.selected = 2;
  v.trot[Trot::tz] = 3;
  std::vector<OverlayPanel> panels = overlayPanels(v, 2000);
  const OverlayPanel* info = panelWith(panels, "map        family.map");
  ASSERT_NE(info, nullptr);
  for (const char* row :
       {"lattices   2 drawn of 3", "triangles  96", "geometry   triangle by triangle",
        "frames/s   2", "hidden     0", "pointer    -", "--camera 0,0,3,0,0 --select 2"})
    EXPECT_TRUE(has(*info, row)) << row;
  // The point under the pointer, once looked for: where the pick meets the scene.
  v.view = {640, 480};
  v.pointer.x = 320;
  v.pointer.y = 240;
  hoverCommand(v);
  PickHit hit = pickPoint(v.lat, v.trot, 640, 480, 320, 240);
  ASSERT_GE(hit.index, 0);
  std::string row = "pointer    (" + readableNumber(hit.at[0]) + ", " + readableNumber(hit.at[1]) +
                    ", " + readableNumber(hit.at[2]) + ") on lattice " + std::to_string(hit.index);
  EXPECT_TRUE(has(*panelWith(overlayPanels(v, 2000), "map        family.map"), row)) << row;
  v.triangles = 3'000'000; // too many to follow the pointer and keep the frames coming
  EXPECT_TRUE(
      has(*panelWith(overlayPanels(v, 2000), "map        family.map"), "pointer    not followed"));
  const OverlayPanel* sel = panelWith(panels, "lattice 2");
  ASSERT_NE(sel, nullptr);
  EXPECT_EQ(sel->kind, PanelKind::selection);
  for (const char* row : {"id 7", "cells 2 x 1 x 2", "cell size (1, 1, 1)", "position (0, 0, 0)",
                          "rotation (0, 90.000", "parent 0", "children none", "references 0"})
    EXPECT_TRUE(has(*sel, row)) << row;
  EXPECT_EQ(selectionPanelLines(map.lat, 0)[7], "children 2");
  // A web page shows the selection in its own panel.
  v.start.windowPanels = false;
  panels = overlayPanels(v, 2000);
  EXPECT_EQ(panelWith(panels, "lattice 2"), nullptr);
}

// Every line said shows for five seconds, four at most, newest last; warnings are tinted.
TEST(OverlayPanels, MessagesFadeAfterFiveSeconds) {
  winDoubleReset();
  Viewer v;
  v.watch.name = "x.map"; // a map was named: no start screen
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  for (int i = 1; i <= 5; i++) {
    winDouble.tick = DWORD(1000 * i);
    say(v, "line " + std::to_string(i));
  }
  sayWarning(v, "kelvane-viewer: x.map: not reloaded: gone");
  std::string out = testing::internal::GetCapturedStdout(),
              err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(out, "line 1\nline 2\nline 3\nline 4\nline 5\n");
  EXPECT_EQ(err, "kelvane-viewer: x.map: not reloaded: gone\n");
  std::vector<OverlayPanel> panels = overlayPanels(v, 5500);
  const OverlayPanel* m = panelWith(panels, "line");
  ASSERT_NE(m, nullptr);
  ASSERT_EQ(m->lines.size(), 4u);
  EXPECT_EQ(m->lines[0].text, "line 3");
  EXPECT_EQ(m->lines[3].text, "kelvane-viewer: x.map: not reloaded: gone");
  EXPECT_GT(m->lines[3].rgb[0], m->lines[3].rgb[2]); // warm
  EXPECT_EQ(m->lines[0].rgb[0], m->lines[0].rgb[2]);
  EXPECT_EQ(m->kind, PanelKind::messages);
  panels = overlayPanels(v, 4000 + messageTime);
  EXPECT_EQ(panelWith(panels, "line 4"), nullptr);
  EXPECT_NE(panelWith(panels, "line 5"), nullptr);
  panels = overlayPanels(v, 5000 + messageTime);
  EXPECT_TRUE(panels.empty());
}

// Every panel the viewer shows at once, laid out at the smallest, the default and a large
// window: no two overlap, all lie inside the window, and every line inside its panel. Long
// message lines wrap, other long lines end in "..."; the help has the window above the
// messages to itself.
TEST_F(OverlayTest, PanelsNeverCollide) {
  LoadedMap map;
  loadMap(path.string(), map);
  Viewer v;
  v.lat = map.lat;
  v.watch.name = std::string(200, 'd') + "/famille \u00e9t\u00e9 \u5730\u56f3.map";
  v.selected = 2;
  v.overlay.info = true;
  v.hidden = {false, false, true};
  v.measure = {2, {{1.5, -2.25, 1000.125}, {-3, 4, 5}}, {0, 2}};
  v.hoverLooked = true;
  v.hover = {0, {1.25, 2.5, -3.75}};
  v.overlay.axes = true;
  v.compare.name = "old.map"; // a comparison: its legend shows
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  say(v, "selected lattice 2: id 7, 2 x 1 x 2 cells, at (0, 0, 0), parent 0");
  sayWarning(v, "kelvane-viewer: " + v.watch.name +
                    ": not reloaded: not a map: the file ends "
                    "inside type entry 3 of 9 at byte 420");
  say(v, measureLine(v.measure));
  testing::internal::GetCapturedStdout();
  testing::internal::GetCapturedStderr();
  // With the outline open it has the left side (the whole window below 480 wide), and the
  // others share the rest; the help sheet covers it.
  for (bool outline : {false, true})
    for (bool help : {false, true})
      for (auto [w, h] : {std::pair{320, 240}, {640, 480}, {1920, 1080}}) {
        v.overlay.help = help;
        v.outline.open = outline;
        v.view = {w, h};
        std::vector<OverlayPanel> panels = outlinePanels(v);
        for (OverlayPanel& p : overlayPanels(v, 100)) panels.push_back(p);
        layoutPanels(panels, w, h);
        std::string at = std::to_string(w) + "x" + std::to_string(h) + (help ? " help" : "") +
                         (outline ? " outline" : "");
        std::vector<PanelKind> kinds;
        for (const OverlayPanel& p : panels) kinds.push_back(p.kind);
        // At 320 x 240 the panels at the top show what fits above the messages.
        std::vector<PanelKind> all = {PanelKind::info,   PanelKind::selection, PanelKind::measure,
                                      PanelKind::legend, PanelKind::axes,      PanelKind::messages};
        if (help) all = {PanelKind::messages, PanelKind::help};
        if (w < 640 && !help) all = {PanelKind::info, PanelKind::axes, PanelKind::messages};
        if (outline && !help && w < outlineWide) all = {PanelKind::outline};
        if (outline && !help && w > 1000) all.insert(all.begin(), PanelKind::outline);
        if (outline && !help && w == 640) {
          EXPECT_EQ(kinds.front(), PanelKind::outline);
          EXPECT_GT(kinds.size(), 3u) << at;
        } else {
          EXPECT_EQ(kinds, all) << at;
        }
        if (outline && !help) { // the outline's rows fill it: none is cut
          EXPECT_EQ(int(panels[0].lines.size()), 1 + std::min(2, rowsInView(v))) << at;
        }
        for (size_t i = 0; i < panels.size(); i++) {
          const int* b = panels[i].box;
          EXPECT_TRUE(b[0] >= 0 && b[1] >= 0 && b[2] <= w && b[3] <= h) << at << " panel " << i;
          int rows = int(panels[i].lines.size());
          EXPECT_LE(rows * fontAtlas.lineHeight + 2 * panelPadding, b[3] - b[1]) << at;
          for (const OverlayLine& l : panels[i].lines)
            EXPECT_LE(int(l.text.size()) * fontAtlas.advance + 2 * panelPadding, b[2] - b[0])
                << at << ": " << l.text;
          for (size_t j = 0; j < i; j++) {
            const int* c = panels[j].box;
            EXPECT_TRUE(b[2] <= c[0] || c[2] <= b[0] || b[3] <= c[1] || c[3] <= b[1])
                << at << ": panels " << j << " and " << i;
          }
        }
        if (outline && !help && w < outlineWide) continue;
        const OverlayPanel& m =
            *std::find_if(panels.begin(), panels.end(),
                          [](const OverlayPanel& p) { return p.kind == PanelKind::messages; });
        EXPECT_EQ(m.box[3], h - panelMargin) << at; // the messages stand at the bottom
        std::string said;
        for (const OverlayLine& l : m.lines) said += l.text;
        if (w >= 640) { // wrapped, not cut: every word of the three lines is there
          EXPECT_NE(said.find("at byte 420point B (-3, 4, 5)"), std::string::npos)
              << at << ": " << said;
        }
      }
  v.outline.open = false;
  // The info panel names the map by its base name, a character outside ASCII as one '?'.
  EXPECT_NE(panelWith(overlayPanels(v, 100), "map        famille ?t? ??.map"), nullptr);
  // At 640 x 480 the help shows every row; at 320 x 240 its last row says how many are left.
  v.overlay.help = true;
  v.overlay.messages.clear();
  std::vector<OverlayPanel> panels = overlayPanels(v, 100);
  size_t rows = panels.back().lines.size();
  layoutPanels(panels, 640, 480);
  EXPECT_EQ(panels.back().lines.size(), rows);
  panels = overlayPanels(v, 100);
  layoutPanels(panels, 320, 240);
  EXPECT_NE(panels.back().lines.back().text.find("more rows: enlarge the window"),
            std::string::npos);
}

// A row too long for the window wraps onto a second line; one too long for two keeps its head
// and its last field (what names the lattice), at any window size.
TEST(OverlayPanels, LongRowsWrapAndKeepTheirEnd) {
  const std::string pointer = "pointer    (9.0500002, -12.4700003, -9.96000004), lattice 12 (id 7)";
  std::string huge = "note       " + std::string(400, 'x') + ", the end";
  for (auto [w, h] : {std::pair{320, 240}, {480, 360}, {640, 480}}) {
    std::vector<OverlayPanel> panels(1);
    panels[0].kind = PanelKind::info;
    panels[0].lines.resize(2);
    panels[0].lines[0].text = pointer;
    panels[0].lines[1].text = huge;
    layoutPanels(panels, w, h);
    ASSERT_EQ(panels.size(), 1u);
    const std::vector<OverlayLine>& l = panels[0].lines;
    std::string at = std::to_string(w) + "x" + std::to_string(h);
    ASSERT_GE(l.size(), 2u) << at;
    if (l.size() == 3) // the pointer row fits on one line, the note takes two
      EXPECT_EQ(l[0].text, pointer) << at;
    else // wrapped, nothing lost
      EXPECT_EQ(l[0].text + l[1].text.substr(2), pointer) << at;
    const std::string tail = "..., the end";
    const std::string& end = l.back().text;
    ASSERT_GE(end.size(), tail.size()) << at;
    EXPECT_EQ(end.substr(end.size() - tail.size()), tail) << at;
    EXPECT_EQ(l[l.size() - 2].text.rfind("note ", 0), 0u) << at;
  }
}

// Glyphs land on whole pixels (crisp), one textured quad per visible character; the atlas is
// made once per context; no panels, no calls.
TEST(OverlayPass, GlyphsOnWholePixels) {
  glDoubleNewContext(GlBuffers::core);
  unsigned texture = 0;
  drawOverlay({}, 640, 480, texture);
  EXPECT_TRUE(glDouble.calls.empty());
  EXPECT_EQ(texture, 0u);
  OverlayPanel p;
  p.lines = {{"Ab c"}};
  for (int frame = 0; frame < 2; frame++) drawOverlay({p}, 640, 480, texture);
  EXPECT_EQ(glDouble.texturesMade, 1u);
  EXPECT_EQ(glDouble.textureBytes, long(fontAtlas.width) * fontAtlas.height);
  size_t texCoords = 0;
  for (const GlCall& c : glDouble.calls) texCoords += c.fn == Gl::TexCoord;
  EXPECT_EQ(texCoords, 2u * 3 * 6); // two frames of three glyphs (the blank draws nothing)
  for (const DrawnTriangle& t : glDouble.drawn)
    for (const auto& v : t.v) {
      double x = (v[0] + 1) * 320, y = (1 - v[1]) * 240;
      EXPECT_NEAR(x, std::round(x), 1e-3);
      EXPECT_NEAR(y, std::round(y), 1e-3);
    }
  glDoubleNewContext(GlBuffers::core);
}

} // namespace

// The help sheet keeps the rows whose keys or words hold what was typed, whatever the case,
// and says when none does.
TEST(OverlayPanels, HelpFiltersItsRowsAsTheUserTypes) {
  Viewer v;
  struct Case {
    const char* filter;
    std::vector<std::string> keys; // the rows kept, by their keys
  } cases[] = {
      {"grid", {"G / Home"}},
      {"ctrl+z", {"Ctrl+Z / Ctrl+Y"}},
      {"merge", {"Alt+O / Alt+T"}},
      {"zzz", {}},
  };
  for (const Case& c : cases) {
    v.overlay.helpFilter = c.filter;
    std::vector<OverlayPanel> panels = overlayPanels(v, 0);
    const OverlayPanel* help = panelWith(panels, "Keys and mouse with \"" + std::string(c.filter));
    ASSERT_NE(help, nullptr) << c.filter;
    std::vector<std::string> rows;
    for (size_t k = 4; k < help->lines.size(); k++) // after the start screen's and the heading
      rows.push_back(help->lines[k].text.substr(0, help->lines[k].text.find("  ")));
    if (c.keys.empty()) {
      EXPECT_EQ(rows, (std::vector<std::string>{"no key or word holds \"zzz\""}));
    } else {
      EXPECT_EQ(rows, c.keys) << c.filter;
    }
  }
}
