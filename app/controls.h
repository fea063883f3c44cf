// Every key and mouse binding of the viewer, one row each, in one table: the dispatch looks
// presses up in it, and --help, the man page (made from --help) and the window's help sheet
// (F1) list it, so what the keys do and what the help says cannot drift apart.
#pragma once

#include "platform/win32.h"

#include <cstdint>
#include <string>
#include <vector>

// What a binding does. Held actions are read from the key table on every pass (the camera
// step, the main loop's quit); pressed ones run once a press, through runAction; pointer ones
// belong to the pointer's drag, wheel and click.
enum class Action : uint8_t {
  none,
  forward,
  back,
  left,
  right,
  up,
  down,
  turnLeft,
  turnRight,
  tiltUp,
  tiltDown,
  showAxes,
  quit,
  leaveMode,
  printView,
  selectNext,
  selectPrevious,
  nextChange,
  previousChange,
  takeOurs,
  takeTheirs,
  nextMap,
  previousMap,
  helpType,  // a character typed into the help sheet's filter (arg; '\b' edits it)
  closeHelp, // Escape while the help sheet takes typing
  toggleOutline,
  // The keys of the outline while it has the focus: a digit typed into its filter (arg; '\b'
  // edits it), Up and Down, Left and Right, Enter, Space and Escape.
  outlineType,
  outlineUp,
  outlineDown,
  outlineFold,
  outlineUnfold,
  outlineFrame,
  outlineHide,
  outlineLeave,
  selectParent,
  selectChild,
  clearSelection,
  hideSelected,
  hideOthers,
  showAll,
  toggleGrid,
  fit,
  addKeyframe,
  recallKeyframe,
  playFlight,
  printFlight,
  forgetFlight,
  reload,
  openMap,
  savePicture,
  cutBelow,
  cutAbove,
  cutDown,
  cutUp,
  cutWheel,
  toggleOrtho,
  viewTop,
  viewBottom,
  viewFront,
  viewBack,
  viewRight,
  viewLeft,
  toggleHelp,
  toggleInfo,
  toggleAxes,
  togglePanels,
  turnView,
  pan,
  orbit,
  wheelMove,
  wheelFast,
  pickLattice,
  measurePoint,
  moveMode,
  moveLattice,
  turnLattice,
  raiseHeight,
  lowerHeight,
  toggleBrush,
  sculptWheel,
  undoEdit,
  redoEdit,
  saveMap,
  // What only a page asks, with a lattice's list index or a file's name.
  pageSelect,
  pageSelectFit,
  pageHide,
  pageShow,
  openFlight,
};

// Modifiers a binding needs down; others may be down too. modSystem marks a system key press
// (one Windows sends with Alt down), which finds only rows that need Alt; modMoving marks a
// press while M moves a lattice, which the move keys' rows need.
enum : uint8_t { modShift = 1, modCtrl = 2, modAlt = 4, modMoving = 0x40, modSystem = 0x80 };

// Where a binding applies: the desktop's window, the web page, or both.
enum : uint8_t { onDesktop = 1, onPage = 2, onBoth = onDesktop | onPage };

// Pointer inputs, past the virtual-key codes.
enum : int { inputLeftDrag = 0x100, inputRightDrag, inputWheel, inputClick, inputMiddleDrag };

struct Binding {
  int input;    // virtual-key code, or a pointer input
  uint8_t mods; // modifiers that must be down
  bool repeats; // a held key's auto-repeats act again
  bool held;    // read from the key table every pass, not looked up on a press
  Action action;
  const char* keys; // for the help: as a user presses it ("E / D"); rows next to each
  const char* does; // other with the same keys and words share one help line
  uint8_t where = onBoth;
};

extern const Binding bindings[];
extern const int bindingCount;

// One window message decoded once, at the top of the main loop's pass, into what every command
// reads (as sokol_app's event): a key pressed or let go, with the modifiers down once it is,
// and the action it asks for with its argument. A page's request is an action too.
struct Input {
  UINT message = 0;      // the message decoded; 0: none this pass
  int vk = 0;            // a key message's virtual-key code as sent (the key table's index)
  int key = 0;           // a press's key by its place (the keypad's as keypad keys); 0: no press
  bool released = false; // a key let go (under Alt too)
  bool allUp = false;    // the window lost the focus: every key counts as up
  bool repeat = false;   // an auto-repeat (the key was already down)
  uint8_t mods = 0;      // with a press: modShift, modCtrl, modAlt (modSystem, modMoving)
  Action action = Action::none; // the press's binding, or what the page asks
  int arg = 0;                  // the pressed key, or the lattice (list index) the page names
  std::string name;             // the keyframe file the page hands over (openFlight)
};

// Decodes `msg` with the key table `key` (as it stands before the message): a press finds its
// binding among the rows that apply `where`, with modMoving while a lattice is `moving`. A
// page's keyframe file name is taken out of the message (its sender's allocation is freed).
// How presses are read while the help sheet is shown: as they are; typed into its filter
// (letters, digits, blanks and the signs of typedChar, and Backspace, unless Ctrl or Alt is
// down); or so too, with Escape closing the sheet. While the outline has the focus (outline),
// digits and Backspace go to its filter and the arrows, Enter, Space and Escape are its own
// (unless Ctrl or Alt is down); every other key is as it is.
enum class Typing : uint8_t { off, filter, filterAndClose, outline };
Input decodeInput(const MSG& msg, const unsigned char* key, uint8_t where = onDesktop,
                  bool moving = false, Typing typing = Typing::off);

// The character key `vk` types into a filter: a letter (lower case), a digit, a blank, + - / .
// , [ or ]; 0 for a key that types none.
char typedChar(int vk);

// Whether the key of the quit row that applies `where` (Escape) was pressed since this was last
// asked: Windows keeps one such mark for all programs, and asking spends it.
bool quitPressedSince(uint8_t where);

// The action of the row for `input` with the most modifiers, all in `mods` (on a tie, Alt
// outranks Shift and Shift outranks Ctrl); none when no row matches. A repeat finds only rows that
// repeat; held rows are never found. Only rows that apply `where` (onDesktop or onPage) count.
Action lookUpAction(int input, uint8_t mods, bool repeat = false, uint8_t where = onDesktop);

// The steps a pass held with Shift takes (and a notch of the wheel with Alt).
constexpr int fastSteps = 10;

// How many steps held action `a` takes this pass with the keys `key` down: 0 when none of its
// keys is, fastSteps when one is with Shift (its row needs Shift), else 1.
int heldSteps(const unsigned char key[256], Action a, uint8_t where = onDesktop);

// The virtual-key code of held action `a`'s row that applies `where` (0, no key, when it has
// none).
int heldKey(Action a, uint8_t where = onDesktop);

// One line of the help: keys and what they do.
struct HelpLine {
  std::string keys, does;
};
// The help's lines for the rows that apply `where`, in table order.
std::vector<HelpLine> helpLines(uint8_t where = onDesktop);

// What `kelvane-viewer --help` prints.
std::string helpText();
