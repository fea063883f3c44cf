// Editing in the viewer: moves, turns and undo give back the opened bytes, a save changes only
// the edited floats, and the questions before overwriting and before quitting.
#include "viewer_fixture.h"

#include <cmath>
#include <cstring>

namespace {

std::string readFile(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

// The byte positions where two files of the same length differ.
std::vector<size_t> differingBytes(const std::string& a, const std::string& b) {
  std::vector<size_t> at;
  for (size_t i = 0; i < std::min(a.size(), b.size()); i++)
    if (a[i] != b[i]) at.push_back(i);
  return at;
}

MSG ctrl(WPARAM vk, bool down) {
  return keyMsg(down ? WM_KEYDOWN : WM_KEYUP, vk);
}

} // namespace

// M, E and Right move and turn the selected lattice; Ctrl+Z twice and Ctrl+Y leave the move;
// Ctrl+S writes it into the position's floats alone. Then a second move, undone, and a save
// give the opened file back byte for byte.
TEST_F(ViewerTest, EditsUndoAndSaveChangeOnlyTheEditedFloats) {
  MapDesc m;
  m.lattices = {box(2, 1, 2, 1), box(1, 1, 1, 2)};
  m.lattices[0].cell[0] = m.lattices[0].cell[2] = 4;
  m.lattices[1].tail = "keep me";
  write("edit.map", mapBytes(m));
  std::string opened = readFile(dir / "edit.map");
  MSG down = ctrl(VK_CONTROL, true), up = ctrl(VK_CONTROL, false);
  script({keyMsg(WM_KEYDOWN, VK_TAB),
          keyMsg(WM_KEYDOWN, 'M'),
          keyMsg(WM_KEYDOWN, 'E'),
          keyMsg(WM_KEYDOWN, VK_RIGHT),
          keyMsg(WM_KEYDOWN, 'M'),
          down,
          keyMsg(WM_KEYDOWN, 'Z'),
          keyMsg(WM_KEYDOWN, 'Z'),
          keyMsg(WM_KEYDOWN, 'Y'),
          keyMsg(WM_KEYDOWN, 'S'),
          up,
          keyMsg(WM_KEYDOWN, 'M'),
          keyMsg(WM_KEYDOWN, 'W'),
          keyMsg(WM_KEYDOWN, 'M'),
          down,
          keyMsg(WM_KEYDOWN, 'Z'),
          keyMsg(WM_KEYDOWN, 'Z'),
          keyMsg(WM_KEYDOWN, 'S'),
          up,
          keyMsg(WM_KEYDOWN, VK_ESCAPE)});
  testing::internal::CaptureStdout();
  EXPECT_EQ(run("edit.map"), 0);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("moving lattice 0: E D S F W R move, Left Right turn, M ends\n"
                     "moved lattice 0 to (0, 0, -4)\n"
                     "turned lattice 0 to (0, 15, 0) degrees\n"
                     "moving ended\n"
                     "undid: turned lattice 0 to (0, 15, 0) degrees\n"
                     "undid: moved lattice 0 to (0, 0, -4)\n"
                     "redid: moved lattice 0 to (0, 0, -4)\n"
                     "saved "),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("moved lattice 0 to (0, 1, -4)\n"), std::string::npos) << out;
  // The second save: the first move undone too, so the file is the opened one again.
  EXPECT_EQ(readFile(dir / "edit.map"), opened);
  std::vector<std::string> t = titles();
  EXPECT_NE(std::find(t.begin(), t.end(), "*Kelvane Map Viewer by Ruq - lattice 0"), t.end());
  EXPECT_EQ(t.back(), "Kelvane Map Viewer by Ruq - lattice 0");
}

// The first save alone: the position's z float, nothing else.
TEST_F(ViewerTest, ASaveWritesOnlyTheEditedFloat) {
  MapDesc m;
  m.lattices = {box(2, 1, 2, 1)};
  write("one.map", mapBytes(m));
  std::string opened = readFile(dir / "one.map");
  MSG down = ctrl(VK_CONTROL, true), up = ctrl(VK_CONTROL, false);
  script({keyMsg(WM_KEYDOWN, VK_TAB), keyMsg(WM_KEYDOWN, 'M'), keyMsg(WM_KEYDOWN, 'D'), down,
          keyMsg(WM_KEYDOWN, 'S'), up, keyMsg(WM_KEYDOWN, VK_ESCAPE)});
  testing::internal::CaptureStdout();
  EXPECT_EQ(run("one.map"), 0);
  testing::internal::GetCapturedStdout();
  std::string saved = readFile(dir / "one.map");
  ASSERT_EQ(saved.size(), opened.size());
  std::vector<size_t> at = differingBytes(opened, saved);
  ASSERT_FALSE(at.empty());
  LoadedMap map;
  loadMap((dir / "one.map").string(), map);
  size_t z = size_t(map.store.offsets[0].fixed) + 8; // x, y, then z
  for (size_t i : at) EXPECT_TRUE(i >= z && i < z + 4) << i;
  EXPECT_EQ(map.lat->z, 1.0f); // one cell back, towards the eye
}

// Quitting with unsaved edits asks: Cancel keeps the viewer, No quits without saving. A file
// changed on disk is said rather than loaded, and the save asks before overwriting it (No
// keeps it).
TEST_F(ViewerTest, QuestionsBeforeLosingEditsOrOverwriting) {
  std::string path = map("ask.map");
  std::string opened = readFile(path);
  MSG down = ctrl(VK_CONTROL, true), up = ctrl(VK_CONTROL, false);
  script({keyMsg(WM_KEYDOWN, VK_TAB), keyMsg(WM_KEYDOWN, 'M'), keyMsg(WM_KEYDOWN, 'E'), down,
          keyMsg(WM_KEYDOWN, 'S'), up, keyMsg(WM_KEYDOWN, VK_ESCAPE), keyMsg(WM_KEYUP, VK_ESCAPE),
          keyMsg(WM_KEYDOWN, VK_ESCAPE)});
  winDouble.at[3] = [&] { write("ask.map", opened + "changed"); };
  winDouble.answers = {IDNO, IDCANCEL, IDNO};
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  EXPECT_EQ(run(path), 0);
  std::string out = testing::internal::GetCapturedStdout();
  testing::internal::GetCapturedStderr();
  EXPECT_NE(out.find("not saved: " + path + " changed on disk since it was opened"),
            std::string::npos)
      << out;
  EXPECT_EQ(readFile(path), opened + "changed"); // neither the save nor the quit wrote it
  std::vector<std::string> asked;
  for (const WinCall& c : winDouble.calls)
    if (c.fn == "MessageBoxA") asked.push_back(c.args[2] + ": " + c.args[1]);
  EXPECT_EQ(asked, (std::vector<std::string>{
                       "File changed on disk: ask.map changed on disk since it was opened. "
                       "Overwrite it?",
                       "Unsaved changes: Save changes to ask.map?",
                       "Unsaved changes: Save changes to ask.map?"}));
}

// Cancel keeps the viewer for good: the Escape it answered is not taken again when messages
// later wait behind one another (its "pressed since" mark is spent).
TEST_F(ViewerTest, CancelledEscapeDoesNotAskAgain) {
  std::string path = map("cancel.map");
  MSG escape = keyMsg(WM_KEYDOWN, VK_ESCAPE);
  script({keyMsg(WM_KEYDOWN, VK_TAB), keyMsg(WM_KEYDOWN, 'M'), keyMsg(WM_KEYDOWN, 'E'),
          keyMsg(WM_KEYDOWN, 'M'), escape, std::nullopt, std::nullopt, keyMsg(WM_KEYUP, VK_ESCAPE),
          mouseMsg(WM_MOUSEMOVE, 10, 10), mouseMsg(WM_MOUSEMOVE, 20, 20), keyMsg(WM_KEYDOWN, 'P'),
          std::nullopt, escape});
  winDouble.at[4] = [] { winDouble.asyncKeys[VK_ESCAPE] = 1; }; // as the platform marks a press
  winDouble.answers = {IDCANCEL, IDNO};
  testing::internal::CaptureStdout();
  EXPECT_EQ(run(path), 0);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("--camera "), std::string::npos) << "quit before P: " << out;
  EXPECT_TRUE(winDouble.answers.empty());
}

// One sample: the nearest grid point of the top face. The brush: every sample within two
// cells, weighted 1 - distance / 2, nearest first.
TEST(Sculpt, SamplesAndBrushWeights) {
  Lattice L{};
  L.nx = L.nz = 4;
  L.ny = 1;
  L.sx = L.sy = L.sz = 2; // the top face runs from -4 to 4 in x and z
  ViewerState vs;
  auto one = samplesNear(&L, vs, false, -3.1, 3.2);
  ASSERT_EQ(one.size(), 1u);
  EXPECT_EQ(one[0].first, 4 * 5 + 0); // row 4 (z = 4), column 0 (x = -4)
  auto brush = samplesNear(&L, vs, true, 0, 0);
  ASSERT_FALSE(brush.empty());
  EXPECT_EQ(brush[0], std::make_pair(12, 1.0)); // the middle sample, in full
  double sum = 0;
  for (auto [m, w] : brush) {
    int i = m % 5 - 2, j = m / 5 - 2;
    EXPECT_NEAR(w, 1 - std::hypot(i, j) / 2, 1e-12) << m;
    EXPECT_GT(w, 0);
    sum += w;
  }
  EXPECT_EQ(brush.size(), 9u); // the middle, its 4 neighbours and 4 diagonals (at 1.41 cells)
  EXPECT_NEAR(sum, 1 + 4 * 0.5 + 4 * (1 - std::sqrt(2.0) / 2), 1e-12);
  EXPECT_TRUE(samplesNear(&L, vs, true, 100, 100).empty()); // far past the face
}

// A NaN in the file cannot be moved from, and keeps its exact bits when another value of the
// lattice is saved.
TEST_F(ViewerTest, ANonFiniteValueIsRefusedAndKeptAsItIs) {
  MapDesc m;
  m.lattices = {box(2, 1, 2, 1)};
  uint32_t payload = 0x7fc01234;
  std::memcpy(&m.lattices[0].pos[0], &payload, 4);
  write("nan.map", mapBytes(m));
  std::string opened = readFile(dir / "nan.map");
  MSG down = ctrl(VK_CONTROL, true), up = ctrl(VK_CONTROL, false);
  script({keyMsg(WM_KEYDOWN, VK_TAB), keyMsg(WM_KEYDOWN, 'M'), keyMsg(WM_KEYDOWN, 'F'),
          keyMsg(WM_KEYDOWN, 'W'), keyMsg(WM_KEYDOWN, 'M'), down, keyMsg(WM_KEYDOWN, 'S'), up,
          keyMsg(WM_KEYDOWN, VK_ESCAPE)});
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  EXPECT_EQ(run("nan.map"), 0);
  testing::internal::GetCapturedStdout();
  EXPECT_NE(testing::internal::GetCapturedStderr().find(
                "lattice 0 is not moved: its position is not a finite number"),
            std::string::npos);
  LoadedMap map;
  loadMap((dir / "nan.map").string(), map);
  size_t x = size_t(map.store.offsets[0].fixed);
  std::string saved = readFile(dir / "nan.map");
  for (size_t i : differingBytes(opened, saved)) EXPECT_TRUE(i >= x + 4 && i < x + 8) << i; // y
  EXPECT_EQ(saved.substr(x, 4), opened.substr(x, 4));
  EXPECT_EQ(map.lat->y, 1.0f);
}

// + raises the height nearest the pointer by a tenth of a cell height, B makes it a brush, and
// undoing both gives the opened bytes back.
TEST_F(ViewerTest, SculptingAndItsUndo) {
  MapDesc m;
  m.lattices = {box(4, 1, 4, 1)};
  m.lattices[0].heights.assign(25, 0);
  for (float& c : m.lattices[0].cell) c = 8;
  write("hills.map", mapBytes(m));
  std::string opened = readFile(dir / "hills.map");
  MSG down = ctrl(VK_CONTROL, true), up = ctrl(VK_CONTROL, false);
  script({keyMsg(WM_KEYDOWN, VK_TAB), mouseMsg(WM_MOUSEMOVE, 312, 220),
          keyMsg(WM_KEYDOWN, VK_OEM_PLUS), keyMsg(WM_KEYDOWN, 'B'), keyMsg(WM_KEYDOWN, VK_ADD),
          down, keyMsg(WM_KEYDOWN, 'S'), keyMsg(WM_KEYDOWN, 'Z'), keyMsg(WM_KEYDOWN, 'Z'),
          keyMsg(WM_KEYDOWN, 'S'), up, keyMsg(WM_KEYDOWN, VK_ESCAPE)});
  testing::internal::CaptureStdout();
  EXPECT_EQ(run("hills.map"), 0);
  std::string out = testing::internal::GetCapturedStdout();
  // The pointer is on the front wall, over the middle of the face's front row of samples.
  EXPECT_NE(out.find("raised lattice 0 height 22 to 0.8\n"), std::string::npos) << out;
  // The brush around it: the nearest sample, not quite under the pointer, a little less.
  EXPECT_NE(out.find("raised lattice 0 heights around 22 to 1.54"), std::string::npos) << out;
  EXPECT_EQ(readFile(dir / "hills.map"), opened);
}

// A viewer on a page showing one 2 x 1 x 2 box, held in `map`, as opening e.map leaves it.
static void openBoxOnPage(Viewer& v, LoadedMap& map) {
  MapDesc m;
  m.lattices = {box(2, 1, 2)};
  loadDesc(m, map);
  v.lat = map.lat;
  v.store->offsets = map.store.offsets; // where the file holds the values an edit may change
  v.watch.name = "e.map";
  v.start.windowPanels = false;
}

// What is made from the list follows an edit: the map's box (the orthographic depth range, the
// section's steps) and the page's selection panel.
TEST(Editing, TheBoxAndThePagePanelFollowAnEdit) {
  winDoubleReset();
  LoadedMap map;
  Viewer v;
  openBoxOnPage(v, map);
  buildRetained(v.lat, v.vs, 0, v.scene);
  v.maps = 1; // as opening the map counts it
  v.selected = 0;
  v.edits.moving = true;
  SceneBox before, after;
  ASSERT_TRUE(mapBox(v, before));
  fillPageView(v);
  testing::internal::CaptureStdout();
  moveLattice(v, 'W');
  testing::internal::GetCapturedStdout();
  ASSERT_TRUE(mapBox(v, after));
  EXPECT_EQ(after.hi[1], before.hi[1] + 1);
  fillPageView(v);
  EXPECT_NE(v.page.lattice.find("position (0, 1, 0)"), std::string::npos) << v.page.lattice;
}

// A lattice whose position the file ends inside of is not moved (the move could not be saved),
// and Ctrl+S with nothing to save writes nothing.
TEST_F(ViewerTest, AValueTheFileDoesNotHoldWholeIsNotEdited) {
  MapDesc m;
  m.lattices = {box(2, 1, 2, 1), box(1, 1, 1, 2)};
  std::string bytes = mapBytes(m);
  LoadedMap whole;
  loadMapBytes(bytes, whole);
  bytes.resize(size_t(whole.store.offsets[1].fixed + 6)); // inside lattice 1's y
  write("cut.map", bytes);
  MSG down = ctrl(VK_CONTROL, true), up = ctrl(VK_CONTROL, false);
  script({keyMsg(WM_KEYDOWN, VK_TAB), keyMsg(WM_KEYDOWN, VK_TAB), keyMsg(WM_KEYDOWN, 'M'),
          keyMsg(WM_KEYDOWN, 'W'), keyMsg(WM_KEYDOWN, 'M'), down, keyMsg(WM_KEYDOWN, 'S'), up,
          keyMsg(WM_KEYDOWN, VK_ESCAPE)});
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  EXPECT_EQ(run("cut.map"), 0);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(testing::internal::GetCapturedStderr().find(
                "lattice 1 is not moved: the file ends inside its position"),
            std::string::npos);
  EXPECT_EQ(out.find("moved lattice 1"), std::string::npos) << out;
  EXPECT_NE(out.find("no changes to save\n"), std::string::npos) << out;
  EXPECT_EQ(readFile(dir / "cut.map"), bytes);
}

// On a page Escape leaves what the user is in, one a press (the help sheet, moving, the
// measurement, the selection), asks nothing and never stops the viewer; on the desktop it quits.
TEST_F(ViewerTest, EscapeOnAPageLeavesAModeAndNeverStopsTheViewer) {
  LoadedMap map;
  Viewer v;
  openBoxOnPage(v, map);
  v.selected = 0;
  v.edits.moving = true;
  v.measure.count = 1;
  v.overlay.help = true;
  Action esc = lookUpAction(VK_ESCAPE, 0, false, onPage);
  EXPECT_EQ(lookUpAction(VK_ESCAPE, 0, false, onDesktop), Action::none); // held: the loop's
  EXPECT_EQ(heldKey(Action::quit, onPage), 0);
  EXPECT_EQ(heldKey(Action::quit, onDesktop), VK_ESCAPE);
  testing::internal::CaptureStdout();
  runAction(v, esc);
  EXPECT_TRUE(!v.overlay.help && v.edits.moving && v.measure.count == 1 && v.selected == 0);
  runAction(v, esc);
  EXPECT_TRUE(!v.edits.moving && v.measure.count == 1 && v.selected == 0);
  runAction(v, esc);
  EXPECT_TRUE(v.measure.count == 0 && v.selected == 0);
  runAction(v, esc);
  EXPECT_EQ(v.selected, -1);
  runAction(v, esc); // nothing left: nothing happens
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "moving ended\nselection cleared\n");

  // In the page's loop an Escape with unsaved edits asks nothing and the next key still acts.
  MapDesc m;
  m.lattices = {box(2, 1, 2)};
  write("page.map", mapBytes(m));
  ViewerStart start;
  start.windowPanels = false;
  script({keyMsg(WM_KEYDOWN, VK_TAB), keyMsg(WM_KEYDOWN, 'M'), keyMsg(WM_KEYDOWN, 'W'),
          keyMsg(WM_KEYDOWN, VK_ESCAPE), keyMsg(WM_KEYUP, VK_ESCAPE), keyMsg(WM_KEYDOWN, VK_ESCAPE),
          keyMsg(WM_KEYUP, VK_ESCAPE), keyMsg(WM_KEYDOWN, VK_TAB)});
  winDouble.at[8] = [] { PostQuitMessage(int(pageQuitCode)); }; // the page's next map
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  EXPECT_EQ(runFrom("page.map", start), int(pageQuitCode));
  std::string out = testing::internal::GetCapturedStdout();
  std::string err = testing::internal::GetCapturedStderr();
  size_t ended = out.find("moving ended"), cleared = out.find("selection cleared"),
         again = out.find("selected lattice 0", cleared);
  EXPECT_TRUE(ended < cleared && cleared != std::string::npos && again != std::string::npos)
      << out << err;
  EXPECT_EQ(callAt("MessageBoxA"), winDouble.calls.size()) << "asked about the edits";
}

// Ctrl+O asks about unsaved edits first (Cancel: no dialog), then opens the map the dialog
// picks; a cancelled dialog changes nothing, and where no dialog can be shown it says how else
// to open a map.
TEST_F(ViewerTest, CtrlOAsksAboutEditsThenOpensTheChosenMap) {
  std::string path = map("first.map");
  write("second.map", mapBytes(threeBoxes(7)));
  std::string second = (dir / "second.map").string();
  MSG down = ctrl(VK_CONTROL, true), up = ctrl(VK_CONTROL, false), o = keyMsg(WM_KEYDOWN, 'O');
  script({keyMsg(WM_KEYDOWN, VK_TAB), keyMsg(WM_KEYDOWN, 'M'), keyMsg(WM_KEYDOWN, 'E'),
          keyMsg(WM_KEYDOWN, 'M'), down, o, o, o, o, up, keyMsg(WM_KEYDOWN, VK_ESCAPE)});
  winDouble.answers = {IDCANCEL, IDNO};
  winDouble.at[6] = [&] { winDouble.chosenFile = second; };
  winDouble.at[7] = [] { winDouble.chosenFile = ""; };  // the user cancels
  winDouble.at[8] = [] { winDouble.chosenFile = "!"; }; // no dialog at all
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  EXPECT_EQ(run(path), 0);
  std::string out = testing::internal::GetCapturedStdout();
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(winCallNames({"MessageBoxA", "GetOpenFileNameA"}),
            (std::vector<std::string>{"MessageBoxA", "MessageBoxA", "GetOpenFileNameA",
                                      "GetOpenFileNameA", "GetOpenFileNameA"}));
  EXPECT_NE(out.find("opened " + second + ": 2 lattices\n"), std::string::npos) << out;
  EXPECT_NE(err.find("no open dialog could be shown; drop a map file on the window"),
            std::string::npos)
      << err;
}

// The merge view shows kelvane merge's result: N goes to the conflict, Alt+T takes theirs as an
// edit (Ctrl+Z takes it back, Ctrl+Y again), Ctrl+S writes OUT, and left with none open the
// viewer exits 0. Closed with the conflict open and OUT unwritten, it asks twice and exits 1.
TEST_F(ViewerTest, MergeViewTakesASideAndEndsAsGitExpects) {
  MapDesc base;
  base.lattices = {box(2, 1, 2, 1), box(2, 1, 2, 2)};
  base.lattices[1].pos[0] = 10;
  MapDesc ours = base, theirs = base;
  ours.lattices[0].pos[1] = 1;
  theirs.lattices[0].pos[1] = 2;
  theirs.lattices[1].pos[2] = 3;
  write("base.map", mapBytes(base));
  write("ours.map", mapBytes(ours));
  write("theirs.map", mapBytes(theirs));
  std::string out = (dir / "out.map").string();
  std::string line = "--merge base.map ours.map theirs.map " + out;
  MSG down = ctrl(VK_CONTROL, true), up = ctrl(VK_CONTROL, false);
  script({keyMsg(WM_KEYDOWN, 'N'), keyMsg(WM_SYSKEYDOWN, 'T'), keyMsg(WM_SYSKEYUP, 'T'), down,
          keyMsg(WM_KEYDOWN, 'Z'), keyMsg(WM_KEYDOWN, 'Y'), keyMsg(WM_KEYDOWN, 'S'), up,
          keyMsg(WM_KEYDOWN, VK_ESCAPE)});
  testing::internal::CaptureStdout();
  int rc = run(line);
  std::string said = testing::internal::GetCapturedStdout();
  EXPECT_EQ(rc, 0) << said;
  EXPECT_EQ(readFile(out), mapBytes(theirs)); // lattice 0 from theirs, lattice 1 merged
  for (const char* want :
       {"conflict 1 of 1: lattice 0 (id 1) position: base (0, 0, 0), ours (0, 1, 0), theirs "
        "(0, 2, 0)",
        "undid: conflict 1: took theirs", "redid: conflict 1: took theirs",
        ": no conflicts remain; close the viewer to end the merge"})
    EXPECT_NE(said.find(want), std::string::npos) << want << " in\n" << said;

  fs::remove(out);
  winDoubleReset();
  script({closeMsg()});
  winDouble.answers = {IDNO, IDYES};
  testing::internal::CaptureStdout();
  rc = run(line);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(rc, 1);
  EXPECT_FALSE(fs::exists(out));
  std::vector<std::string> asked;
  for (const WinCall& c : winDouble.calls)
    if (c.fn == "MessageBoxA") asked.push_back(c.args[2] + ": " + c.args[1]);
  EXPECT_EQ(asked, (std::vector<std::string>{
                       "Unsaved changes: Save changes to out.map?",
                       "Conflicts remain: 1 conflict(s) of the merge into out.map have no side "
                       "taken. Close all the same?"}));
}
