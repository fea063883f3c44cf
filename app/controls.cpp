// The table of bindings, the look-up of a press in it, and the help made from it.
#include "controls.h"

#include "platform/messages.h"

#include <algorithm>
#include <bit>
#include <iterator>
#include <memory>

// Rows sharing keys and words next to each other make one help line. A press finds the row
// with the most of its modifiers down; on a tie, Alt outranks Shift and Shift outranks Ctrl
// (Shift+Alt+H shows all, Ctrl+Shift+Enter plays).
const Binding bindings[] = {
    {'E', 0, true, true, Action::forward, "E D / S F / W R",
     "move forward back / left right / the scene up down"},
    {'D', 0, true, true, Action::back, "E D / S F / W R",
     "move forward back / left right / the scene up down"},
    {'S', 0, true, true, Action::left, "E D / S F / W R",
     "move forward back / left right / the scene up down"},
    {'F', 0, true, true, Action::right, "E D / S F / W R",
     "move forward back / left right / the scene up down"},
    {'W', 0, true, true, Action::up, "E D / S F / W R",
     "move forward back / left right / the scene up down"},
    {'R', 0, true, true, Action::down, "E D / S F / W R",
     "move forward back / left right / the scene up down"},
    {VK_LEFT, 0, true, true, Action::turnLeft, "arrows", "turn left / right, tilt up / down"},
    {VK_RIGHT, 0, true, true, Action::turnRight, "arrows", "turn left / right, tilt up / down"},
    {VK_UP, 0, true, true, Action::tiltUp, "arrows", "turn left / right, tilt up / down"},
    {VK_DOWN, 0, true, true, Action::tiltDown, "arrows", "turn left / right, tilt up / down"},
    {'E', modShift, true, true, Action::forward, "Shift, Alt+wheel",
     "with a move key or arrow: ten steps a frame / a notch"},
    {'D', modShift, true, true, Action::back, "Shift, Alt+wheel",
     "with a move key or arrow: ten steps a frame / a notch"},
    {'S', modShift, true, true, Action::left, "Shift, Alt+wheel",
     "with a move key or arrow: ten steps a frame / a notch"},
    {'F', modShift, true, true, Action::right, "Shift, Alt+wheel",
     "with a move key or arrow: ten steps a frame / a notch"},
    {'W', modShift, true, true, Action::up, "Shift, Alt+wheel",
     "with a move key or arrow: ten steps a frame / a notch"},
    {'R', modShift, true, true, Action::down, "Shift, Alt+wheel",
     "with a move key or arrow: ten steps a frame / a notch"},
    {VK_LEFT, modShift, true, true, Action::turnLeft, "Shift, Alt+wheel",
     "with a move key or arrow: ten steps a frame / a notch"},
    {VK_RIGHT, modShift, true, true, Action::turnRight, "Shift, Alt+wheel",
     "with a move key or arrow: ten steps a frame / a notch"},
    {VK_UP, modShift, true, true, Action::tiltUp, "Shift, Alt+wheel",
     "with a move key or arrow: ten steps a frame / a notch"},
    {VK_DOWN, modShift, true, true, Action::tiltDown, "Shift, Alt+wheel",
     "with a move key or arrow: ten steps a frame / a notch"},
    {inputWheel, modAlt, true, false, Action::wheelFast, "Shift, Alt+wheel",
     "with a move key or arrow: ten steps a frame / a notch"},
    {'T', 0, true, true, Action::showAxes, "T (held)",
     "show the axis lines from each parent to its lattice"},
    {'P', 0, false, false, Action::printView, "P",
     "print the view as --camera ... for 'kelvane render'"},
    {VK_TAB, 0, true, false, Action::selectNext, "Tab / N (+Shift)",
     "select the next (previous) lattice / change or conflict"},
    {VK_TAB, modShift, true, false, Action::selectPrevious, "Tab / N (+Shift)",
     "select the next (previous) lattice / change or conflict"},
    {'N', 0, true, false, Action::nextChange, "Tab / N (+Shift)",
     "select the next (previous) lattice / change or conflict"},
    {'N', modShift, true, false, Action::previousChange, "Tab / N (+Shift)",
     "select the next (previous) lattice / change or conflict"},
    {VK_PRIOR, 0, true, false, Action::selectParent, "(Ctrl+)PgUp/PgDn",
     "select the parent / first child; Ctrl: previous/next map", onDesktop},
    {VK_NEXT, 0, true, false, Action::selectChild, "(Ctrl+)PgUp/PgDn",
     "select the parent / first child; Ctrl: previous/next map", onDesktop},
    {VK_PRIOR, modCtrl, false, false, Action::previousMap, "(Ctrl+)PgUp/PgDn",
     "select the parent / first child; Ctrl: previous/next map", onDesktop},
    {VK_NEXT, modCtrl, false, false, Action::nextMap, "(Ctrl+)PgUp/PgDn",
     "select the parent / first child; Ctrl: previous/next map", onDesktop},
    {VK_PRIOR, 0, true, false, Action::selectParent, "PageUp / PageDown",
     "select the parent / the first child of the selection", onPage},
    {VK_NEXT, 0, true, false, Action::selectChild, "PageUp / PageDown",
     "select the parent / the first child of the selection", onPage},
    {VK_BACK, 0, true, false, Action::clearSelection, "(Ctrl+)Backspace",
     "clear the selection, the measurement / the keyframes"},
    {VK_BACK, modCtrl, false, false, Action::forgetFlight, "(Ctrl+)Backspace",
     "clear the selection, the measurement / the keyframes"},
    {'O', modAlt, false, false, Action::takeOurs, "Alt+O / Alt+T",
     "at a conflict of --merge: take ours / theirs", onDesktop},
    {'T', modAlt, false, false, Action::takeTheirs, "Alt+O / Alt+T",
     "at a conflict of --merge: take ours / theirs", onDesktop},
    {'H', 0, false, false, Action::hideSelected, "H, Shift+H, Alt+H",
     "hide the selection / all but it / show all"},
    {'H', modShift, false, false, Action::hideOthers, "H, Shift+H, Alt+H",
     "hide the selection / all but it / show all"},
    {'H', modAlt, false, false, Action::showAll, "H, Shift+H, Alt+H",
     "hide the selection / all but it / show all"},
    {'G', 0, false, false, Action::toggleGrid, "G / Home",
     "show the selection's cell grid / fit the view to it or all"},
    {VK_HOME, 0, true, false, Action::fit, "G / Home",
     "show the selection's cell grid / fit the view to it or all"},
    {'M', 0, false, false, Action::moveMode, "M / Ctrl+S",
     "move the selection (E D S F W R, Left Right) / save"},
    {'E', modMoving, true, false, Action::moveLattice, "M / Ctrl+S",
     "move the selection (E D S F W R, Left Right) / save"},
    {'D', modMoving, true, false, Action::moveLattice, "M / Ctrl+S",
     "move the selection (E D S F W R, Left Right) / save"},
    {'S', modMoving, true, false, Action::moveLattice, "M / Ctrl+S",
     "move the selection (E D S F W R, Left Right) / save"},
    {'F', modMoving, true, false, Action::moveLattice, "M / Ctrl+S",
     "move the selection (E D S F W R, Left Right) / save"},
    {'W', modMoving, true, false, Action::moveLattice, "M / Ctrl+S",
     "move the selection (E D S F W R, Left Right) / save"},
    {'R', modMoving, true, false, Action::moveLattice, "M / Ctrl+S",
     "move the selection (E D S F W R, Left Right) / save"},
    {VK_LEFT, modMoving, true, false, Action::turnLattice, "M / Ctrl+S",
     "move the selection (E D S F W R, Left Right) / save"},
    {VK_RIGHT, modMoving, true, false, Action::turnLattice, "M / Ctrl+S",
     "move the selection (E D S F W R, Left Right) / save"},
    {'S', modCtrl, false, false, Action::saveMap, "M / Ctrl+S",
     "move the selection (E D S F W R, Left Right) / save"},
    {VK_OEM_PLUS, 0, true, false, Action::raiseHeight, "+ / - / B",
     "raise / lower the height under the pointer / brush"},
    {VK_ADD, 0, true, false, Action::raiseHeight, "+ / - / B",
     "raise / lower the height under the pointer / brush"},
    {VK_OEM_MINUS, 0, true, false, Action::lowerHeight, "+ / - / B",
     "raise / lower the height under the pointer / brush"},
    {VK_SUBTRACT, 0, true, false, Action::lowerHeight, "+ / - / B",
     "raise / lower the height under the pointer / brush"},
    {inputWheel, modShift, true, false, Action::sculptWheel, "+ / - / B",
     "raise / lower the height under the pointer / brush"},
    {'B', 0, false, false, Action::toggleBrush, "+ / - / B",
     "raise / lower the height under the pointer / brush"},
    {'Z', modCtrl, true, false, Action::undoEdit, "Ctrl+Z / Ctrl+Y",
     "undo / redo an edit (Ctrl+Shift+Z redoes too)"},
    {'Y', modCtrl, true, false, Action::redoEdit, "Ctrl+Z / Ctrl+Y",
     "undo / redo an edit (Ctrl+Shift+Z redoes too)"},
    {'Z', modCtrl | modShift, true, false, Action::redoEdit, "Ctrl+Z / Ctrl+Y",
     "undo / redo an edit (Ctrl+Shift+Z redoes too)"},
    {VK_RETURN, 0, false, false, Action::addKeyframe, "Enter / 1 to 9",
     "add the view as a keyframe / jump to keyframe 1 to 9"},
    {'1', 0, false, false, Action::recallKeyframe, "Enter / 1 to 9",
     "add the view as a keyframe / jump to keyframe 1 to 9"},
    {'2', 0, false, false, Action::recallKeyframe, "Enter / 1 to 9",
     "add the view as a keyframe / jump to keyframe 1 to 9"},
    {'3', 0, false, false, Action::recallKeyframe, "Enter / 1 to 9",
     "add the view as a keyframe / jump to keyframe 1 to 9"},
    {'4', 0, false, false, Action::recallKeyframe, "Enter / 1 to 9",
     "add the view as a keyframe / jump to keyframe 1 to 9"},
    {'5', 0, false, false, Action::recallKeyframe, "Enter / 1 to 9",
     "add the view as a keyframe / jump to keyframe 1 to 9"},
    {'6', 0, false, false, Action::recallKeyframe, "Enter / 1 to 9",
     "add the view as a keyframe / jump to keyframe 1 to 9"},
    {'7', 0, false, false, Action::recallKeyframe, "Enter / 1 to 9",
     "add the view as a keyframe / jump to keyframe 1 to 9"},
    {'8', 0, false, false, Action::recallKeyframe, "Enter / 1 to 9",
     "add the view as a keyframe / jump to keyframe 1 to 9"},
    {'9', 0, false, false, Action::recallKeyframe, "Enter / 1 to 9",
     "add the view as a keyframe / jump to keyframe 1 to 9"},
    {VK_RETURN, modShift, false, false, Action::playFlight, "Shift/Ctrl+Enter",
     "play the flight (a key stops it) / print it (--path)"},
    {VK_RETURN, modCtrl, false, false, Action::printFlight, "Shift/Ctrl+Enter",
     "play the flight (a key stops it) / print it (--path)"},
    {VK_NUMPAD5, 0, false, false, Action::toggleOrtho, "Alt/num 5 7 1 3",
     "perspective/ortho; top, front, right (Ctrl: opposite)"},
    {'5', modAlt, false, false, Action::toggleOrtho, "Alt/num 5 7 1 3",
     "perspective/ortho; top, front, right (Ctrl: opposite)"},
    {VK_NUMPAD7, 0, false, false, Action::viewTop, "Alt/num 5 7 1 3",
     "perspective/ortho; top, front, right (Ctrl: opposite)"},
    {VK_NUMPAD7, modCtrl, false, false, Action::viewBottom, "Alt/num 5 7 1 3",
     "perspective/ortho; top, front, right (Ctrl: opposite)"},
    {'7', modAlt, false, false, Action::viewTop, "Alt/num 5 7 1 3",
     "perspective/ortho; top, front, right (Ctrl: opposite)"},
    {'7', modAlt | modCtrl, false, false, Action::viewBottom, "Alt/num 5 7 1 3",
     "perspective/ortho; top, front, right (Ctrl: opposite)"},
    {VK_NUMPAD1, 0, false, false, Action::viewFront, "Alt/num 5 7 1 3",
     "perspective/ortho; top, front, right (Ctrl: opposite)"},
    {VK_NUMPAD1, modCtrl, false, false, Action::viewBack, "Alt/num 5 7 1 3",
     "perspective/ortho; top, front, right (Ctrl: opposite)"},
    {'1', modAlt, false, false, Action::viewFront, "Alt/num 5 7 1 3",
     "perspective/ortho; top, front, right (Ctrl: opposite)"},
    {'1', modAlt | modCtrl, false, false, Action::viewBack, "Alt/num 5 7 1 3",
     "perspective/ortho; top, front, right (Ctrl: opposite)"},
    {VK_NUMPAD3, 0, false, false, Action::viewRight, "Alt/num 5 7 1 3",
     "perspective/ortho; top, front, right (Ctrl: opposite)"},
    {VK_NUMPAD3, modCtrl, false, false, Action::viewLeft, "Alt/num 5 7 1 3",
     "perspective/ortho; top, front, right (Ctrl: opposite)"},
    {'3', modAlt, false, false, Action::viewRight, "Alt/num 5 7 1 3",
     "perspective/ortho; top, front, right (Ctrl: opposite)"},
    {'3', modAlt | modCtrl, false, false, Action::viewLeft, "Alt/num 5 7 1 3",
     "perspective/ortho; top, front, right (Ctrl: opposite)"},
    {VK_F5, 0, false, false, Action::reload, "F5 / F12 / Ctrl+O",
     "load the map again / save a picture / open a map", onDesktop},
    {VK_F12, 0, false, false, Action::savePicture, "F5 / F12 / Ctrl+O",
     "load the map again / save a picture / open a map", onDesktop},
    {'O', modCtrl, false, false, Action::openMap, "F5 / F12 / Ctrl+O",
     "load the map again / save a picture / open a map", onDesktop},
    {'C', 0, false, false, Action::cutBelow, "C [ ] Ctrl+wheel",
     "cut off above the pointer (Shift+C: below) / move it"},
    {'C', modShift, false, false, Action::cutAbove, "C [ ] Ctrl+wheel",
     "cut off above the pointer (Shift+C: below) / move it"},
    {VK_OEM_4, 0, true, false, Action::cutDown, "C [ ] Ctrl+wheel",
     "cut off above the pointer (Shift+C: below) / move it"},
    {VK_OEM_6, 0, true, false, Action::cutUp, "C [ ] Ctrl+wheel",
     "cut off above the pointer (Shift+C: below) / move it"},
    {inputWheel, modCtrl, true, false, Action::cutWheel, "C [ ] Ctrl+wheel",
     "cut off above the pointer (Shift+C: below) / move it"},
    {VK_F1, 0, false, false, Action::toggleHelp, "F1, I, L, X, O",
     "show/hide this help / info / the outline / axes / all", onDesktop},
    {'I', 0, false, false, Action::toggleInfo, "F1, I, L, X, O",
     "show/hide this help / info / the outline / axes / all", onDesktop},
    {'L', 0, false, false, Action::toggleOutline, "F1, I, L, X, O",
     "show/hide this help / info / the outline / axes / all", onDesktop},
    {'X', 0, false, false, Action::toggleAxes, "F1, I, L, X, O",
     "show/hide this help / info / the outline / axes / all", onDesktop},
    {'O', 0, false, false, Action::togglePanels, "F1, I, L, X, O",
     "show/hide this help / info / the outline / axes / all", onDesktop},
    {VK_F1, 0, false, false, Action::toggleHelp, "F1 / I / X / O",
     "show/hide this help / the info panel / axes / all panels", onPage},
    {'I', 0, false, false, Action::toggleInfo, "F1 / I / X / O",
     "show/hide this help / the info panel / axes / all panels", onPage},
    {'X', 0, false, false, Action::toggleAxes, "F1 / I / X / O",
     "show/hide this help / the info panel / axes / all panels", onPage},
    {'O', 0, false, false, Action::togglePanels, "F1 / I / X / O",
     "show/hide this help / the info panel / axes / all panels", onPage},
    {VK_ESCAPE, 0, false, true, Action::quit, "Escape", "quit", onDesktop},
    {VK_ESCAPE, 0, false, false, Action::leaveMode, "Escape",
     "leave the help, moving, the measurement, the selection", onPage},
    {inputLeftDrag, 0, true, false, Action::turnView, "left / right drag", "turn the view / pan"},
    {inputRightDrag, 0, true, false, Action::pan, "left / right drag", "turn the view / pan"},
    {inputMiddleDrag, 0, true, false, Action::orbit, "middle/Shift+drag",
     "orbit about the point under the pointer; touch: twist"},
    {inputLeftDrag, modShift, true, false, Action::orbit, "middle/Shift+drag",
     "orbit about the point under the pointer; touch: twist"},
    {inputWheel, 0, true, false, Action::wheelMove, "wheel", "move forward / back"},
    {inputClick, 0, false, false, Action::pickLattice, "click",
     "select the lattice under the pointer; on nothing, clear"},
    {inputClick, modCtrl, false, false, Action::measurePoint, "Ctrl+click",
     "set measuring point A, then B: prints the distance"},
};
const int bindingCount = int(sizeof bindings / sizeof bindings[0]);

namespace {

// With Num Lock off Windows reports keypad 7, 1, 3 and 5 as Home, End, PageDown and Clear, told
// apart from the keys of those names by the extended-key flag (lParam bit 24), which only the
// dedicated keys carry: the keypad's count by their place.
int keyByPlace(int vk, LPARAM lParam) {
  static const int pad[][2] = {
      {VK_HOME, VK_NUMPAD7}, {VK_END, VK_NUMPAD1}, {VK_NEXT, VK_NUMPAD3}, {VK_CLEAR, VK_NUMPAD5}};
  if (lParam & (LPARAM(1) << 24)) return vk;
  for (const auto& p : pad)
    if (p[0] == vk) return p[1];
  return vk;
}

} // namespace

Input decodeInput(const MSG& msg, const unsigned char* key, uint8_t where, bool moving,
                  Typing typing) {
  Input in;
  in.message = msg.message;
  in.allUp = msg.message == keysReleasedMessage;
  if (msg.message == pageAskMessage) {
    static const Action asks[] = {Action::pageSelect, Action::pageSelectFit, Action::pageHide,
                                  Action::pageShow,   Action::playFlight,    Action::savePicture,
                                  Action::saveMap,    Action::openFlight};
    if (msg.wParam == pageFlight) { // the name is the taker's to delete
      std::unique_ptr<std::string> name(reinterpret_cast<std::string*>(msg.lParam));
      in.name = *name;
    }
    in.action = msg.wParam < std::size(asks) ? asks[msg.wParam] : Action::none;
    in.arg = msg.wParam == pageFlight ? 0 : int(msg.lParam);
    return in;
  }
  bool system = msg.message == WM_SYSKEYDOWN || msg.message == WM_SYSKEYUP;
  bool press = msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN;
  in.released = msg.message == WM_KEYUP || msg.message == WM_SYSKEYUP;
  if (!press && !in.released) return in;
  in.vk = int(msg.wParam & 0xFF);
  if (!press || msg.wParam >= 256) return in;
  in.key = keyByPlace(int(msg.wParam), msg.lParam);
  in.repeat = msg.lParam & (1L << 30);
  // The modifiers as the key table holds them once this press is in it.
  auto down = [&](int vk) { return vk == in.vk || key[vk]; };
  in.mods = uint8_t((down(VK_SHIFT) ? modShift : 0) | (down(VK_CONTROL) ? modCtrl : 0) |
                    (down(VK_MENU) || system ? modAlt : 0) | (system ? modSystem : 0) |
                    (moving ? modMoving : 0));
  in.action = lookUpAction(in.key, in.mods, in.repeat, where);
  in.arg = in.key;
  if (typing == Typing::outline && !(in.mods & (modCtrl | modAlt | modShift))) {
    static const int keys[][2] = {
        {VK_UP, int(Action::outlineUp)},        {VK_DOWN, int(Action::outlineDown)},
        {VK_LEFT, int(Action::outlineFold)},    {VK_RIGHT, int(Action::outlineUnfold)},
        {VK_RETURN, int(Action::outlineFrame)}, {VK_SPACE, int(Action::outlineHide)},
        {VK_ESCAPE, int(Action::outlineLeave)}, {VK_BACK, int(Action::outlineType)}};
    for (const auto& k : keys)
      if (k[0] == in.key) in.action = Action(k[1]);
    if (in.key == VK_BACK) in.arg = '\b';
    if (in.key >= '0' && in.key <= '9') {
      in.action = Action::outlineType;
      in.arg = in.key;
    }
  } else if (typing != Typing::off && !(in.mods & (modCtrl | modAlt))) {
    char c = in.key == VK_BACK ? '\b' : typedChar(in.key);
    if (c) {
      in.action = Action::helpType;
      in.arg = c;
    } else if (in.key == VK_ESCAPE && typing == Typing::filterAndClose) {
      in.action = Action::closeHelp;
    }
  }
  return in;
}

char typedChar(int vk) {
  if ((vk >= 'A' && vk <= 'Z')) return char(vk - 'A' + 'a');
  if (vk >= '0' && vk <= '9') return char(vk);
  static const int signs[][2] = {{VK_SPACE, ' '},   {VK_OEM_PLUS, '+'},   {VK_OEM_MINUS, '-'},
                                 {VK_OEM_2, '/'},   {VK_OEM_PERIOD, '.'}, {VK_OEM_COMMA, ','},
                                 {VK_OEM_4, '['},   {VK_OEM_6, ']'},      {VK_ADD, '+'},
                                 {VK_SUBTRACT, '-'}};
  for (const auto& s : signs)
    if (s[0] == vk) return char(s[1]);
  return 0;
}

bool quitPressedSince(uint8_t where) {
  return GetAsyncKeyState(heldKey(Action::quit, where)) & 0x8001;
}

Action lookUpAction(int input, uint8_t mods, bool repeat, uint8_t where) {
  const Binding* best = nullptr;
  int bestCount = -1;
  bool system = mods & modSystem;
  for (const Binding& b : bindings) {
    if (b.input != input || b.held || (b.mods & mods) != b.mods || !(b.where & where)) continue;
    if (system && !(b.mods & modAlt)) continue;
    int count = std::popcount(unsigned(b.mods)) << 3 | (b.mods & modAlt ? 4 : 0) |
                (b.mods & modShift ? 2 : 0) | (b.mods & modCtrl ? 1 : 0);
    if (count > bestCount) {
      best = &b;
      bestCount = count;
    }
  }
  if (!best || (repeat && !best->repeats)) return Action::none;
  return best->action;
}

int heldSteps(const unsigned char key[256], Action a, uint8_t where) {
  int steps = 0;
  for (const Binding& b : bindings) {
    if (!b.held || b.action != a || b.input >= 256 || !(b.where & where) || !key[b.input]) continue;
    if (b.mods == 0) steps = std::max(steps, 1);
    if (b.mods == modShift && key[VK_SHIFT]) steps = fastSteps;
  }
  return steps;
}

int heldKey(Action a, uint8_t where) {
  for (const Binding& b : bindings)
    if (b.held && b.action == a && b.input < 256 && (b.where & where)) return b.input;
  return 0;
}

std::vector<HelpLine> helpLines(uint8_t where) {
  std::vector<HelpLine> lines;
  for (const Binding& b : bindings) {
    if (!(b.where & where)) continue;
    if (!lines.empty() && lines.back().keys == b.keys && lines.back().does == b.does) continue;
    lines.push_back({b.keys, b.does});
  }
  return lines;
}

std::string helpText() {
  std::string t =
      "Usage: kelvane-viewer MAP\n"
      "  or:  kelvane-viewer --compare OLD NEW\n"
      "  or:  kelvane-viewer --merge BASE OURS THEIRS OUT\n"
      "Shows the landscape lattices of a Kelvane map file in a 640 x 480 window.\n"
      "\n"
      "The whole command line, with every double quote removed, is the map file name. With\n"
      "no command line the first word of infile.txt in the working directory names the map;\n"
      "with neither, the window opens on a start screen and a map dropped on it opens.\n"
      "\n"
      "--compare OLD NEW shows NEW with each lattice coloured by how it changed from OLD:\n"
      "added green, moved blue, reshaped orange, moved and reshaped violet, unchanged grey;\n"
      "lattices OLD has and NEW lacks are drawn from OLD in red. Lattices are paired by id,\n"
      "in list order, as 'kelvane diff OLD NEW' pairs and lists them. N and Shift+N select\n"
      "the next and previous change. Both files are watched.\n"
      "\n"
      "--merge BASE OURS THEIRS OUT shows the three-way merge of OURS and THEIRS, both made\n"
      "from BASE, as 'kelvane merge' makes it: each lattice coloured by where its changes came\n"
      "from (ours blue, theirs green, both cyan, neither grey), a lattice with a conflict\n"
      "magenta. N and Shift+N go from conflict to conflict; Alt+O and Alt+T take ours or\n"
      "theirs there (Ctrl+Z undoes it); Ctrl+S writes the merge to OUT. Closed with no\n"
      "conflict left and OUT written, the viewer exits with status 0, else 1, as 'git\n"
      "mergetool' expects ('kelvane git-setup' sets it up).\n"
      "\n"
      "Keys and mouse:\n";
  for (const HelpLine& h : helpLines())
    t += "  " + h.keys + std::string(h.keys.size() < 19 ? 19 - h.keys.size() : 1, ' ') + h.does +
         "\n";
  t += "\n"
       "The selected lattice is drawn in amber; its description goes to stdout, its index into\n"
       "the window title, and a panel in the window shows more. P adds --select INDEX while a\n"
       "lattice is selected. Every line the viewer prints also shows at the bottom of the\n"
       "window for five seconds.\n"
       "\n"
       "The map file is watched: when it changes (and then stays the same for half a second)\n"
       "it is loaded again, keeping the view and the selection, and 'reloaded FILE: N lattices'\n"
       "goes to stdout; a reload that fails keeps the picture and says why on stderr. A map\n"
       "file dropped on the window opens in its place ('opened FILE: N lattices'); a keyframe\n"
       "file dropped on it (as Ctrl+Enter prints one) becomes the flight.\n"
       "\n"
       "Exit status: 0 when you quit; 1 when no map could be opened (the \"Error opening\n"
       "file.\" box) or no window could be created, with the reason on stderr.\n";
  return t;
}
