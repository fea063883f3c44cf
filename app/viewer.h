// The bottom of the viewer: the record one run holds and the operations on it every unit uses
// (saying a line, the selection, the hidden lattices, the camera line, the title). The units
// (scene, compare, edit, ...) each have a header above this one; none of this calls them.
#pragma once

#include "camera.h"
#include "controls.h"
#include "watch.h"
#include "window.h"

#include "mapfile/diff.h"
#include "mapfile/merge.h"
#include "mapfile/lattice.h"
#include "platform/output.h"
#include "platform/page.h"
#include "platform/win32.h"
#include "render/bounds.h"
#include "render/flight.h"
#include "render/overlay.h"
#include "render/retained.h"
#include "render/view_frame.h"
#include "render/view_state.h"
#include "render/world.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

// Where a run starts: the camera (trot positions 0-4) and the selected lattice (a list index,
// -1 for none), as a link to the web page may ask; and the bytes the map may take in memory,
// past which loading fails as out of memory (tests lower it to reach that failure).
struct ViewerStart {
  float camera[5] = {};
  int selection = -1;
  std::vector<int> hidden; // list indices hidden at start (a link's &hide=)
  Section section;         // the cut at start (a link's &section=)
  float ortho = 0;         // an orthographic view's half-height at start (a link's &ortho=)
  float farPlane = 0;      // a fitted view's far plane at start (a link's &far=)
  size_t storeLimit = SIZE_MAX;
  // The window shows the selection, the messages and P's view; a web page shows them in its own
  // panels instead.
  bool windowPanels = true;
  size_t frameTriangles = 20'000'000; // a frame draws at most this many; lattices past it are
                                      // their bounding boxes
};

// A line the viewer printed, shown at the bottom of the window for a while.
struct Message {
  std::string text;
  bool warning; // went to stderr: shown tinted
  DWORD at;     // when it was said (GetTickCount)
};

// What the window shows over the scene, and what it needs to.
struct Overlays {
  bool shown = true;               // O hides and shows them all
  bool help = false, info = false; // F1, I
  bool axes = false;               // X: the axes marker
  std::string helpFilter;          // typed while the help sheet is shown: the rows it keeps
  std::deque<Message> messages;    // newest last
  std::deque<DWORD> frames;        // when the frames of the last second were drawn
  unsigned texture = 0;            // the glyph atlas in the current context; 0: not made
};

// The points Ctrl+click set, in world coordinates, and the lattices they are on: A, then B.
struct Measurement {
  int count = 0; // 0 to 2
  double at[2][3] = {};
  int lattice[2] = {-1, -1};
};

// --compare OLD NEW: the old map, how the shown map differs from it, and the change N went to.
struct Comparison {
  std::string name; // the old map's file; empty: no comparison
  std::unique_ptr<MapStore> store = std::make_unique<MapStore>();
  Lattice* lat = nullptr;
  std::vector<ListLengths> lengths;
  MapDiff diff;
  RetainedScene scene; // the old map's removed lattices, drawn after the shown map's
  Watch watch;         // the old map's file
  int at = -1;         // the change N or Shift+N went to (in diff.changes); -1: none
};

// --merge BASE OURS THEIRS OUT: the merge shown, its conflicts and the side taken at each.
struct MergeView {
  std::string out;      // OUT, which Ctrl+S writes; empty: no merge
  std::string names[3]; // BASE, OURS and THEIRS
  std::vector<MergeConflict> conflicts;
  std::vector<uint8_t> origins; // by list index of the shown map: MergeOrigin bits
  std::vector<uint8_t> taken;   // by conflict: 0 open, 1 ours, 2 theirs
  bool startsFromTheirs = false;
  std::string outAtStart; // OUT's bytes when the viewer started ("" when there was no OUT)
  RetainedScene none;     // no old map: the frame only outlines the selection, as comparing
  int at = -1;            // the conflict N went to; -1: none
};

// One float an edit changed, in the map's store: its bits before and after.
struct ValueChange {
  float* value;
  uint32_t before, after;
};

// One edit of one lattice: the values it changed and the line it printed.
struct EditStep {
  int lattice;        // list index
  bool shape = false; // heights changed: the lattice's triangles are built again
  std::vector<ValueChange> values;
  std::string line;
  int conflict = -1; // the merge's conflict whose side it took, and the sides before and after
  uint8_t takenBefore = 0, takenAfter = 0;
  std::vector<int> samples = {}; // with `shape`: the grid samples whose heights changed; none: all
};

// The edits of the open map, for undo and redo, and the modes that make them.
struct Edits {
  std::vector<EditStep> done, undone;
  size_t saved = 0;      // done.size() when the map was opened or saved; SIZE_MAX: unreachable
  bool moving = false;   // M: the move keys move the selected lattice
  bool brush = false;    // B: + and - raise a brush of two cells' radius, not one sample
  bool diskSaid = false; // the file changed on disk while edits were unsaved, and it was said
  unsigned applied = 0;  // edits made, undone and redone: what is made from the list follows it
};

// A row of the outline: a drawn lattice (list index), how deep it stands under drawn ancestors,
// and whether drawn lattices stand under it.
struct OutlineRow {
  int index = 0, depth = 0;
  bool parent = false;
};

// L's outline of the lattice hierarchy: whether it is open and has the keys, its filter, the
// folded lattices, the row the keys act on and the first row in view. The rows are built again
// only when the map, the filter or the folding changed.
struct Outline {
  bool open = false, focus = false;
  std::string filter;       // digits: the rows whose index or id holds them
  std::vector<bool> folded; // by list index
  int at = -1;              // the lattice (list index) the keys act on; -1: none
  int top = 0;              // the first row in view
  int followed = -1;        // the selection the rows last followed
  int inView = -1;          // the lattice last scrolled into view
  bool pressed = false;     // the left button went down over it
  std::vector<OutlineRow> rows;
  std::vector<int> rowOf;           // by list index: its row, or -1
  std::vector<int> parents;         // by list index: the nearest drawn ancestor, or -1
  std::vector<const Lattice*> list; // by list index
  unsigned builtFor = ~0u;          // Viewer::maps when the rows were built
  const Lattice* builtLat = nullptr;
  std::string builtFilter;
  unsigned foldings = 0, builtFoldings = ~0u; // folds and unfolds made; when the rows were built
};

// Messages stay this long (ms) and this many at most.
constexpr DWORD messageTime = 5000;
constexpr size_t messageCount = 4;

// Everything one run of the viewer holds: the window and its context, the key table, the
// camera record, the map and its geometry, and what the page shows of them. A run starts
// from a new one, so nothing carries over from an earlier run.
struct Viewer {
  HINSTANCE instance = nullptr;
  HWND hWnd = nullptr;
  HDC dc = nullptr;
  HGLRC rc = nullptr;
  ViewSize view; // kept up to date by the window procedure
  unsigned char key[256] = {};
  float trot[Trot::size] = {};
  ViewerState vs;
  Pointer pointer;
  ViewerStart start;
  std::unique_ptr<MapStore> store = std::make_unique<MapStore>();
  Lattice* lat = nullptr;
  std::vector<ListLengths> lengths; // the list lengths the map's records gave (comparing)
  RetainedScene scene;      // the map's triangles, built once after loading; frames draw from it
  int selected = -1;        // list index of the selected lattice, -1 for none
  std::vector<bool> hidden; // by list index: lattices the user hid (H); none when empty
  Watch watch;              // the map file, loaded again when it changes
  FileIdentity opened;      // what its name stood for when it was loaded: a save goes only there
  Watch dropped;            // a dropped file that changed while it was read: opened once it settles
  PageView page;            // what a platform that shows more than the window shows
  unsigned maps = 0;        // maps built into the scene so far
  // The view P printed last (cameraLine) with its parts, and how many times P was pressed.
  struct {
    std::string line, camera, hidden, section;
    int selected = -1;
    unsigned count = 0;
  } printed;
  Overlays overlay;
  Outline outline;
  size_t triangles = 0; // in a frame of the scene
  Measurement measure;
  Comparison compare;
  MergeView merge;
  // Where Ctrl+PageDown and Ctrl+PageUp last opened a map: its place (from 1) among the map
  // files of its folder, and how many there are; 0 when the map was opened otherwise.
  int folderAt = 0, folderCount = 0;
  Edits edits;
  // The point under the pointer, for the info panel: what was found, and for which pointer
  // position and camera, when.
  PickHit hover;
  bool hoverLooked = false;
  int hoverX = 0, hoverY = 0;
  float hoverTrot[5] = {};
  DWORD hoverAt = 0;
  bool grid = false;                // G: the selected lattice's cell grid is drawn
  const Lattice* gridFor = nullptr; // the lattice gridLines were made for; null: none yet
  std::vector<float> gridLines;
  std::vector<Keyframe> flight; // Enter's keyframes
  bool playing = false;         // Shift+Enter plays the flight, from playStart (GetTickCount)
  DWORD playStart = 0;
  // Frames: whether something changed that the next pass must draw although no message came
  // and nothing moves; when the last frame was due (ms, for pacing); whether one was drawn.
  bool redraw = false;
  float projectedFar = 0; // the far plane the perspective projection was set with last
  double frameDue = 0;
  bool drawn = false;
  // The drawn lattices' chunk boxes, for picks and the map's box; kept up with the edits.
  SceneBounds bounds;
  // The map's world box (the section's step, the orthographic depth range), for maps number
  // boxFor after boxEdits edits; boxKnown false when nothing is drawn.
  SceneBox box;
  unsigned boxFor = 0, boxEdits = 0;
  bool boxKnown = false;
  bool orthoProjected = false; // the projection set last is orthographic
};

// The viewer's chunk boxes, for the list it shows now.
inline SceneBounds& boundsOf(Viewer& v) {
  followList(v.bounds, v.lat, v.start.frameTriangles);
  return v.bounds;
}

// Triangles a frame may take on a web page (ViewerStart::frameTriangles): all of them fit the
// page's geometry buffers, so no frame sends triangles one by one and every key and field
// answers within a frame; the desktop's 20 M would leave millions to be sent every frame.
constexpr size_t pageFrameTriangles = 3'000'000;

extern const char* const programName; // "kelvane-viewer"

// Removes every double quote from the NUL-terminated text, in place; nothing else changes.
void stripQuotes(char* text);

// What the viewer says: a line on stdout, or a warning or error on stderr,
// also shown at the bottom of the window. `line` has no newline.
void say(Viewer& v, const std::string& line);
void sayWarning(Viewer& v, const std::string& line);

// Selects the lattice at list index `index` (-1: none): the amber highlight, the stdout line,
// the window title and what the page shows. Nothing happens when it is selected already.
void selectLattice(Viewer& v, int index);
// Which of the binding table's rows apply: the desktop's, or a page's (whose panels are its own).
inline uint8_t bindingsHere(const Viewer& v) {
  return v.start.windowPanels ? onDesktop : onPage;
}
// The list indices of the hidden drawn lattices, in increasing order.
std::vector<int> hiddenIndices(const Viewer& v);
// The view as P prints it: "--camera TX,TY,TZ,PITCH,YAW" and --size, --select, --hide as they
// apply.
std::string cameraLine(const Viewer& v);
// The next name of a command line from `i`: a run of non-blanks, or the text between double
// quotes; false when there is none.
bool nextName(const std::string& s, size_t& i, std::string& name);

// The merge view's style for lattice `index`: magenta while a conflict of it is open, else the
// colour of where its changes came from.
LatticeStyle mergeStyle(const Viewer& v, int index);
// The merge's conflicts no side was taken for yet.
int openConflicts(const Viewer& v);

// Whether the window shows the start screen: no map open and none named.
bool startScreen(const Viewer& v);
// How presses are read now: typed into the help sheet's filter while it is shown (Escape then
// closes it, but on the start screen, where it still quits).
Typing helpTyping(const Viewer& v);

// Whether the outline is on the screen: open, the panels shown, a map open and no help sheet
// over it.
bool outlineShown(const Viewer& v);

// Whether the map has edits that are not saved.
bool unsavedEdits(const Viewer& v);
// The window's title: the viewer's name, the selected lattice, "*" while edits are unsaved.
void showTitle(Viewer& v);
// Hides the lattices `hide` says (by list index; all others shown), in the scene too, and says
// how many are hidden now.
void setHidden(Viewer& v, std::vector<bool> hide);
// Hides or shows the one lattice at `index`; a hidden lattice is no longer selected.
void hideOne(Viewer& v, int index, bool hide);
// H hides the selected lattice (and clears the selection); Shift+H hides every drawn lattice
// but the selected one; Alt+H shows all again.
void hideCommand(Viewer& v, bool shift, bool alt);
