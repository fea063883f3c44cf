// The viewer's run: the record one run holds, and the pieces of the run that live in their own
// files (the window, the scene, the commands) and that tests reach.
#pragma once

#include "camera.h"
#include "controls.h"
#include "watch.h"
#include "window.h"

#include "mapfile/diff.h"
#include "mapfile/lattice.h"
#include "platform/output.h"
#include "platform/page.h"
#include "platform/win32.h"
#include "render/flight.h"
#include "render/overlay.h"
#include "render/retained.h"
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
  size_t triangles = 0; // in a frame of the scene
  Measurement measure;
  Comparison compare;
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
  bool farSaid = false; // Home said that the scene reaches past the far plane
  double frameDue = 0;
  bool drawn = false;
  // The map's world box (the section's step, the orthographic depth range), for maps number
  // boxFor after boxEdits edits; boxKnown false when nothing is drawn.
  SceneBox box;
  unsigned boxFor = 0, boxEdits = 0;
  bool boxKnown = false;
  bool orthoProjected = false; // the projection set last is orthographic
};

// Triangles a frame may take on a web page (ViewerStart::frameTriangles): all of them fit the
// page's geometry buffers, so no frame sends triangles one by one and every key and field
// answers within a frame; the desktop's 20 M would leave millions to be sent every frame.
constexpr size_t pageFrameTriangles = 3'000'000;

extern const char* const programName; // "kelvane-viewer"

// Runs the viewer on the map `cmdLine` names (quotes are stripped in place), from `start`;
// the exit status. WinMain is this with the default start.
int runViewer(HINSTANCE instance, LPSTR cmdLine, const ViewerStart& start);

// Removes every double quote from the NUL-terminated text, in place; nothing else changes.
void stripQuotes(char* text);

// The first whitespace-delimited word of the text file `path`, of any length. False with
// `err` set when the file does not open or holds no word.
bool readFirstWord(const char* path, std::string& word, std::string& err);

// The window (window.cpp): opens it with a current GL context, the 640 x 480 view and the
// viewer's record attached, or says why not; closes it again.
bool openViewerWindow(Viewer& v);
void closeViewerWindow(Viewer& v);

// The scene (scene.cpp).
// Loads the map the command line or infile.txt names and builds its geometry; false after
// saying why it does not open. With no name anywhere there is no map: the start screen.
bool openStartMap(Viewer& v, const char* cmdLine);
// Loads the watched file again in place of the scene: the camera stays, and the selection
// where it still names a drawn lattice. A failure keeps the scene and says why, once.
void reloadMap(Viewer& v);
// Opens `name` in place of the scene, from the start view with nothing selected; it is
// watched from then on. A failure keeps the scene and says why.
void openDroppedMap(Viewer& v, const std::string& name);
// Builds the scene's geometry for the current map, in buffer objects where the context has
// them.
void buildScene(Viewer& v);
// Looks at the map file (and a dropped file still changing) when it is time; loads it once a
// change has settled.
void watchCommand(Viewer& v);
// A file dropped on the window opens as a new map.
void dropCommand(Viewer& v, const MSG& msg);
// Draws the scene's frame into the current context.
void drawScene(Viewer& v);
// Numpad 5 and the axis views (views.cpp).
void viewAction(Viewer& v, Action a);
// Home in an orthographic view: frames the selection, or what is shown, orthographically;
// false in a perspective view, or when nothing is drawn.
bool fitOrthoView(Viewer& v);
// Sets the orthographic projection for the frame, or the perspective one again when the view
// has just left it; nothing otherwise, so perspective frames make no more calls than before.
void setProjection(Viewer& v);
// The map's world box, hidden lattices too, worked out once a map; false when nothing is drawn.
bool mapBox(Viewer& v, SceneBox& box);
// C and Shift+C: a cut keeping what is below (above) the point under the pointer, else the
// selected lattice's middle, else the map's; C on a cut removes it, Shift+C turns it over.
void cutScene(Viewer& v, SectionKeeps keeps);
// [ and ]: moves the cut down or up `steps` tenths of the map's height.
void moveCut(Viewer& v, int steps);
// The cut and the orthographic view as the page's link writes them ("section=Y&ortho=H"), ""
// with neither.
std::string viewLink(const ViewerState& vs);
// F12: saves the scene, drawn again without the panels, as a PNG in the pictures folder
// (freePictureName) and says where; on a page, hands it to the page to download.
void takePicture(Viewer& v);

// Comparing two maps (compare.cpp).
// Whether the command line is "--compare OLD NEW" (each name plain or in double quotes, with
// nothing after them), and the two names when it is.
bool compareNames(const std::string& line, std::string& old, std::string& now);
// Compares the shown map with the old one and colours the scene by change: called whenever
// either map's scene is built. Nothing without a comparison.
void compareScene(Viewer& v);
// The old map's removed lattices, for the fits and the map's box to take in; none without a
// comparison.
FitAlso removedLattices(const Viewer& v);
// N and Shift+N (dir 1, -1): selects the next or previous change and says what it is; a
// removed lattice is outlined in amber, from the old map, while nothing else is selected.
void stepChange(Viewer& v, int dir);
// Leaves the change N went to.
void leaveChange(Viewer& v);
// After the scene of a comparison: the removed lattices' edges in red over it, and the
// selection (or the removed lattice N went to) outlined in amber. Nothing without one.
void drawChangeEdges(Viewer& v);
// What the selection panel adds in a comparison: the selected lattice's change (or the removed
// one N went to, with nothing selected) as a heading and a row for each value that differs.
std::vector<std::string> changePanelLines(const Viewer& v);
// For the page's outline: "INDEX KIND" a line for each changed lattice of the shown map, KIND
// added, moved, reshaped or both; "" without a comparison.
std::string changeKinds(const Viewer& v);
// The info panel's rows in a comparison: the old map, the summary, the other bytes.
std::vector<std::string> compareInfoLines(const Viewer& v);
// Loads the old map again after its file changed; a failure keeps the comparison and says why.
void reloadOldMap(Viewer& v);

// Editing in place (edit.cpp).
// Runs an editing action: M, the move keys while moving, + and -, B, undo, redo and save.
void editAction(Viewer& v, Action a, int key);
// The height samples of L's top face near (x, z) in its own frame (list positions of its
// heights), with their weights: the nearest alone, or with the brush every sample within two
// cells, weighted 1 - distance / 2 cells, the nearest first.
std::vector<std::pair<int, double>> samplesNear(const Lattice* L, const ViewerState& vs, bool brush,
                                                double x, double z);
// Shift+wheel: raises (notches > 0) or lowers the height under the pointer.
void sculptWheel(Viewer& v, int notches);
// The key table the camera reads: while moving a lattice the move keys are the lattice's, and
// while Ctrl is down a letter is a command's, so neither moves the camera.
void cameraKeys(const Viewer& v, unsigned char out[256]);
// Whether the map has edits that are not saved.
bool unsavedEdits(const Viewer& v);
// Asks "Save changes to NAME?" when edits are unsaved, and saves on Yes; false when the user
// cancels (or the save failed): whatever was to happen then does not.
bool settleEdits(Viewer& v);
// Forgets the edits: a new map is open.
void forgetEdits(Viewer& v);
// The window's title: the viewer's name, the selected lattice, "*" while edits are unsaved.
void showTitle(Viewer& v);

// Commands (commands.cpp).
// Selects the lattice at list index `index` (-1: none): the amber highlight, the stdout line,
// the window title and what the page shows. Nothing happens when it is selected already.
void selectLattice(Viewer& v, int index);
// A key press: looked up in the bindings and run. Any press stops a playing flight (the key
// does what it does, unless it is one of the flight's own keys).
void keyCommand(Viewer& v, const MSG& msg);
// Runs one pressed action (see Action).
void runAction(Viewer& v, Action a, int key = 0);
// Which of the binding table's rows apply: the desktop's, or a page's (whose panels are its own).
inline uint8_t bindingsHere(const Viewer& v) {
  return v.start.windowPanels ? onDesktop : onPage;
}
// What the web page's outline asks (pageAskMessage): select a lattice, select and fit it (a
// hidden one is shown first), hide or show it.
void pageCommand(Viewer& v, const MSG& msg);
// The list indices of the hidden drawn lattices, in increasing order.
std::vector<int> hiddenIndices(const Viewer& v);
// Mouse messages: drags and the wheel move the camera; a click selects what it is on.
void pointerCommand(Viewer& v, const MSG& msg);
// The view as P prints it: "--camera TX,TY,TZ,PITCH,YAW" and --size, --select, --hide as they
// apply.
std::string cameraLine(const Viewer& v);
// Fills v.page from the viewer, for the page: after every frame, before it is shown.
void fillPageView(Viewer& v);

// Points, distances and cells (measure.cpp).
// A coordinate as a user reads it: %.4f with trailing zeros dropped, 0 for -0.
std::string readableNumber(double x);
// The line the latest point of `m` prints: "point A (X, Y, Z) on lattice L", or for B the same
// followed by ": distance D (dx DX, dy DY, dz DZ)". "" with no point.
std::string measureLine(const Measurement& m);
// Sets the next point of the measurement where pixel (x, y) meets the scene (after B, a new
// A) and says it; the background sets nothing.
void measureAt(Viewer& v, int x, int y);
// The measurement panel's rows: a heading, A and B with their lattices, the distance and its
// parts; none without a point.
std::vector<std::string> measurePanelLines(const Measurement& m);
void clearMeasurement(Viewer& v);
// Looks for the point under the pointer while the info panel shows it, when the pointer or the
// camera moved, at most every 100 ms, in scenes of at most 2 M triangles.
void hoverCommand(Viewer& v);
// Milliseconds from `now` until hoverCommand wants to look again; INFINITE when it does not.
DWORD hoverWait(const Viewer& v, DWORD now);
// The info panel's pointer row: "(X, Y, Z) on lattice L", or "-" over the background.
std::string pointerRow(const Viewer& v);
// Draws the cell grid of the selected lattice (when G shows it) and the measurement's marks
// over the scene.
void drawMarks(Viewer& v);

// Flights (flight.cpp).
// While a flight plays, the camera follows it; the page's Play starts it.
void flightCommand(Viewer& v, const MSG& msg, bool got);
// Enter: the view becomes the flight's next keyframe.
void addKeyframe(Viewer& v);
// Ctrl+Enter: prints the flight as a keyframe file.
void sayFlight(Viewer& v);
// Shift+Enter: plays the flight from its start.
void startFlight(Viewer& v);
// Stops a flight where it is, saying `why`.
void stopFlight(Viewer& v, const char* why);
// Ctrl+Backspace: forgets the keyframes.
void forgetFlight(Viewer& v);
// Makes the keyframe file `name` the flight, when the file is one (it starts, after blank space,
// with '#' or "--camera"); what is wrong with it is said and the flight kept. False when it is
// no keyframe file (or cannot be read): a map, then.
bool openDroppedFlight(Viewer& v, const std::string& name);
// Puts the camera where keyframe `n` (from 1) of the flight has it, or says there is none.
void recallKeyframe(Viewer& v, int n);
// Runs the flight action `a`: addKeyframe, startFlight, sayFlight or forgetFlight.
void flightAction(Viewer& v, Action a);

// What the viewer says (messages.cpp): a line on stdout, or a warning or error on stderr,
// also shown at the bottom of the window. `line` has no newline.
void say(Viewer& v, const std::string& line);
void sayWarning(Viewer& v, const std::string& line);

// The overlay (overlay.cpp).
// F1, I and O: shows or hides the help sheet, the info panel, or every panel at once.
void toggleOverlay(Overlays& o, Action a);
// The panels to draw at `now`: none while O hides them.
std::vector<OverlayPanel> overlayPanels(const Viewer& v, DWORD now);
// Draws them over the frame, after the scene; counts the frame for the info panel.
void drawOverlays(Viewer& v);
// Frees what the overlay made in the GL context.
void releaseOverlays(Viewer& v);
