// Program entry: window and context, the map file, the polling main loop, shutdown.
#include "camera.h"
#include "selection.h"
#include "viewer.h"
#include "watch.h"
#include "window.h"

#include "viewer_state.h"

#include "mapfile/reader.h"
#include "platform/gl.h"
#include "platform/system.h"
#include "render/frame.h"
#include "render/retained.h"
#include "render/world.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace {

const char* const programName = "kelvane-viewer";

// The loaded map's triangles, built once after loading; frames draw from it.
RetainedScene scene;

// Everything one run of the viewer holds: the window and its context, the key table, the
// camera record and the map.
struct Viewer {
  HINSTANCE instance = nullptr;
  HWND hWnd = nullptr;
  HDC dc = nullptr;
  HGLRC rc = nullptr;
  unsigned char key[256] = {};
  float trot[Trot::size] = {};
  Pointer pointer;
  std::unique_ptr<MapStore> store = std::make_unique<MapStore>();
  Lattice* lat = nullptr;
  int selected = -1; // list index of the selected lattice, -1 for none
  Watch watch;       // the map file, loaded again when it changes
};

const char* const helpText =
    "Usage: kelvane-viewer MAP\n"
    "Shows the landscape lattices of a Kelvane map file in a 640 x 480 window.\n"
    "\n"
    "The whole command line, with every double quote removed, is the map file name. With\n"
    "no command line the first word of infile.txt in the working directory names the map.\n"
    "\n"
    "Keys (one step per frame while held):\n"
    "  E / D        move forward / back\n"
    "  S / F        move left / right\n"
    "  W / R        move the scene up / down\n"
    "  arrows       turn left / right, tilt up / down\n"
    "  T (held)     show the red-to-blue axis lines from each parent to its lattice\n"
    "  P            print the view as --camera TX,TY,TZ,PITCH,YAW for 'kelvane render'\n"
    "               (with --select INDEX while a lattice is selected)\n"
    "  Tab          select the next drawn lattice (Shift+Tab the previous); Backspace clears\n"
    "  Home         fit the view to the selected lattice, or to the whole map\n"
    "  F5           load the map file again now\n"
    "  Escape       quit\n"
    "\n"
    "Mouse: drag with the left button to turn, with the right or middle button to pan;\n"
    "the wheel moves forward and back; a click selects the lattice under the pointer (or\n"
    "clears the selection on the background). The selected lattice is drawn in amber, its\n"
    "description goes to stdout and its index into the window title.\n"
    "\n"
    "The map file is watched: when it changes (and then stays the same for half a second)\n"
    "it is loaded again, keeping the view and the selection, and 'reloaded FILE: N lattices'\n"
    "goes to stdout; a reload that fails keeps the picture and says why on stderr. A map\n"
    "file dropped on the window opens in its place ('opened FILE: N lattices').\n"
    "\n"
    "Exit status: 0 when you quit; 1 when no map could be opened (the \"Error opening\n"
    "file.\" box) or no window could be created, with the reason on stderr.\n";

// Allocates a root into `lat` and loads the map into it from `store`; warnings go to stderr.
// The reason, when it did not load, is "not a map: ..." or what failed.
bool loadInto(const std::string& name, MapStore& store, Lattice*& lat, std::string& why) {
  store.limit = mapStoreLimit;
  LoadReport rep;
  try {
    lat = newLattice(store);
    rep = loadLandFrames(name.c_str(), lat, store);
  } catch (const std::bad_alloc&) {
    lat = nullptr;
    rep.status = LoadStatus::outOfMemory;
    rep.error = "out of memory";
  }
  for (const std::string& w : rep.warnings)
    std::fprintf(stderr, "%s: %s: warning: %s\n", programName, name.c_str(), w.c_str());
  why = (rep.status == LoadStatus::notMap ? "not a map: " : "") + rep.error;
  return rep.status == LoadStatus::loaded;
}

// Loads the map at start-up, or says why not: on stderr, and in the message box users of the
// viewer know.
bool openMap(const std::string& name, Lattice*& lat, MapStore& store) {
  std::string why;
  if (loadInto(name, store, lat, why)) return true;
  std::fprintf(stderr, "%s: %s: %s\n", programName, name.c_str(), why.c_str());
  MessageBoxA(nullptr, name.c_str(), "Error opening file.", MB_OK | MB_ICONEXCLAMATION);
  return false;
}

int drawnCount(const Lattice* lat) {
  int n = 0;
  for (; lat; lat = lat->next) n += lat->id != 0;
  return n;
}

void printCamera(const float* trot, int selected) {
  using namespace Trot;
  std::printf("--camera %.9g,%.9g,%.9g,%.9g,%.9g", trot[tx], trot[ty], trot[tz], trot[pitch],
              trot[yaw]);
  if (viewSize.width != 640 || viewSize.height != 480)
    std::printf(" --size %dx%d", viewSize.width, viewSize.height);
  if (selected >= 0) std::printf(" --select %d", selected);
  std::printf("\n");
  std::fflush(stdout);
}

// Makes a GL context current on the window's device context; the reason when it cannot.
const char* setupContext(HDC dc, HGLRC& rc) {
  if (!setupPixelFormat(dc)) return "no usable pixel format";
  rc = wglCreateContext(dc);
  if (!rc) return "no OpenGL rendering context";
  if (!wglMakeCurrent(dc, rc)) return "the OpenGL rendering context cannot be made current";
  return nullptr;
}

void closeWindow(HWND hWnd, HDC dc, HINSTANCE instance) {
  wglMakeCurrent(nullptr, nullptr);
  ReleaseDC(hWnd, dc);
  DestroyWindow(hWnd);
  UnregisterClassA(windowClassName, instance);
}

// The window with a current GL context and the start view; false after saying why not.
bool openViewerWindow(Viewer& v) {
  if (!createMainWindow(&v.hWnd, v.instance, 640, 480)) {
    std::fprintf(stderr, "%s: no window could be created (error %lu)\n", programName,
                 (unsigned long)GetLastError());
    UnregisterClassA(windowClassName, v.instance);
    return false;
  }
  v.dc = GetDC(v.hWnd);
  if (const char* why = setupContext(v.dc, v.rc)) {
    std::fprintf(stderr, "%s: no window could be created: %s\n", programName, why);
    closeWindow(v.hWnd, v.dc, v.instance);
    return false;
  }
  glEnable(GL_DEPTH_TEST);
  resizeView(640, 480);
  DragAcceptFiles(v.hWnd, TRUE);
  return true;
}

// Bytes the retained arrays may take, from KELVANE_GEOMETRY_MB and the machine's memory.
size_t geometryBudgetHere() {
  std::string warning;
  size_t budget = geometryBudget(std::getenv("KELVANE_GEOMETRY_MB"), physicalMemory(), warning);
  if (!warning.empty()) std::fprintf(stderr, "%s: warning: %s\n", programName, warning.c_str());
  return budget;
}

// Builds the scene for the map, in buffer objects where the context has them; says so when
// lattices are past the budget (they are drawn triangle by triangle, much more slowly).
void buildScene(const Lattice* lat) {
  size_t budget = geometryBudgetHere();
  buildRetained(lat, viewerState, budget, scene);
  uploadRetained(scene);
  size_t past = 0;
  for (const RetainedLattice& r : scene.lattices) past += !r.arrays;
  if (past && budget)
    std::fprintf(stderr,
                 "%s: warning: %zu of %zu lattices are past the %zu MB the geometry may take "
                 "(KELVANE_GEOMETRY_MB) and are drawn triangle by triangle, more slowly\n",
                 programName, past, scene.lattices.size(), budget >> 20);
}

// Loads the map the command line (quotes stripped) or infile.txt names and builds its
// geometry; false after saying why there is none.
bool openStartMap(Viewer& v, const char* cmdLine) {
  std::string name = cmdLine, err;
  if (name.empty() && !readFirstWord("infile.txt", name, err)) {
    std::fprintf(stderr, "%s: no map named on the command line, and infile.txt: %s\n", programName,
                 err.c_str());
    return false;
  }
  FileStamp stamp = fileStamp(name);
  if (!openMap(name, v.lat, *v.store)) return false;
  buildScene(v.lat);
  watchFile(v.watch, name, stamp, GetTickCount());
  return true;
}

// Selects the lattice at list index `index` (-1: none): the amber highlight, the stdout line,
// the window title and what the page shows. Nothing happens when it is selected already.
void select(Viewer& v, int index) {
  if (index == v.selected) return;
  v.selected = index;
  v.trot[Trot::selectedLattice] = float(index >= 0 ? drawnOrdinal(v.lat, index) : 0);
  viewerState.selectionShown = index >= 0 ? 1 : 0;
  std::printf("%s\n", selectionLine(v.lat, index).c_str());
  std::fflush(stdout);
  std::string title = windowTitle;
  if (index >= 0) title += " - lattice " + std::to_string(index);
  SetWindowTextA(v.hWnd, title.c_str());
  pageView.selected = index;
  pageView.lattice = latticeDetails(v.lat, index);
}

// Loads `name` in place of the scene: `opened` for a map the user dropped (the view starts
// again, nothing selected), else the same file again (the camera stays, and the selection
// where it still names a drawn lattice). A failure keeps the scene and says why, once; a file
// that changed while it was read is tried again once it settles. Watches `name` after.
void reloadMap(Viewer& v, const std::string& name, bool opened) {
  FileStamp before = fileStamp(name);
  auto store = std::make_unique<MapStore>();
  Lattice* lat = nullptr;
  std::string why;
  bool ok = loadInto(name, *store, lat, why);
  if (!(fileStamp(name) == before)) return;
  if (!ok) {
    std::fprintf(stderr, "%s: %s: not %s: %s\n", programName, name.c_str(),
                 opened ? "opened" : "reloaded", why.c_str());
    if (!opened) watchFile(v.watch, name, before, GetTickCount());
    return;
  }
  int keep = opened || drawnOrdinal(lat, v.selected) < 0 ? -1 : v.selected;
  if (keep < 0) select(v, -1);
  std::swap(v.store, store); // the old map goes when `store` does, after the scene is rebuilt
  v.lat = lat;
  buildScene(v.lat);
  if (opened)
    for (int i = 0; i < Trot::size; i++) v.trot[i] = i < 5 ? startCamera[i] : 0.0f;
  if (keep >= 0) { // the same index stays selected; its ordinal and details may differ
    v.trot[Trot::selectedLattice] = float(drawnOrdinal(v.lat, keep));
    pageView.lattice = latticeDetails(v.lat, keep);
  }
  std::printf("%s %s: %d lattices\n", opened ? "opened" : "reloaded", name.c_str(),
              drawnCount(v.lat));
  std::fflush(stdout);
  watchFile(v.watch, name, before, GetTickCount());
}

// Looks at the map file when it is time; loads it again once a change has settled.
void watchCommand(Viewer& v) {
  DWORD now = GetTickCount();
  if (watchDue(v.watch, now) && watchLooked(v.watch, fileStamp(v.watch.name), now))
    reloadMap(v, v.watch.name, false);
}

// A file dropped on the window opens as a new map.
void dropCommand(Viewer& v, const MSG& msg) {
  if (msg.message != WM_DROPFILES) return;
  HDROP drop = reinterpret_cast<HDROP>(msg.wParam);
  std::vector<char> name(DragQueryFileA(drop, 0, nullptr, 0) + 1, '\0');
  if (DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0) > 0)
    DragQueryFileA(drop, 0, name.data(), UINT(name.size()));
  DragFinish(drop);
  if (name[0]) reloadMap(v, name.data(), true);
}

// Home: the view keeps its pitch and yaw and frames the selected lattice, or the whole map.
void fitView(Viewer& v) {
  double depth = 0;
  fitCamera(v.lat, viewSize.width, viewSize.height, v.trot, depth, latticeAt(v.lat, v.selected));
}

// What a key press asks for beyond flying: P prints the view; Tab, Shift+Tab and Backspace
// change the selection; Home fits the view.
void keyCommand(Viewer& v, const MSG& msg) {
  if (msg.message != WM_KEYDOWN) return;
  bool repeat = msg.lParam & (1L << 30);
  if (msg.wParam == 'P' && !repeat) printCamera(v.trot, v.selected);
  if (msg.wParam == VK_TAB) select(v, stepSelection(v.lat, v.selected, v.key[VK_SHIFT] ? -1 : 1));
  if (msg.wParam == VK_BACK) select(v, -1);
  if (msg.wParam == VK_HOME) fitView(v);
  if (msg.wParam == VK_F5 && !repeat) reloadMap(v, v.watch.name, false);
}

// Mouse messages: drags and the wheel move the camera; a click selects what it is on.
void pointerCommand(Viewer& v, const MSG& msg) {
  if (msg.message == WM_LBUTTONDOWN || msg.message == WM_RBUTTONDOWN ||
      msg.message == WM_MBUTTONDOWN)
    SetCapture(v.hWnd);
  if (pointerStep(v.pointer, msg, v.trot))
    select(v,
           pickLattice(v.lat, v.trot, viewSize.width, viewSize.height, v.pointer.x, v.pointer.y));
  bool up =
      msg.message == WM_LBUTTONUP || msg.message == WM_RBUTTONUP || msg.message == WM_MBUTTONUP;
  if (up && !v.pointer.turning && !v.pointer.panning) ReleaseCapture();
}

// One window message at most per pass, then the camera step and a frame; returns the exit
// status when the user quits.
int runLoop(Viewer& v) {
  MSG msg = {};
  for (;;) {
    bool got = PeekMessageA(&msg, v.hWnd, 0, 0, PM_REMOVE);
    if (got && msg.message == WM_QUIT) return int(msg.wParam);
    if (v.key[VK_ESCAPE]) return 0;
    if (got) updateKeyTable(v.key, msg);
    cameraStep(v.key, v.trot, viewerState);
    if (got) keyCommand(v, msg);
    if (got) pointerCommand(v, msg);
    if (got) dropCommand(v, msg);
    if (got && msg.message == glRestoredMessage) buildScene(v.lat);
    watchCommand(v);
    drawScene(v.dc, v.lat, v.trot);
    if (got) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
}

} // namespace

void stripQuotes(char* text) {
  char* out = text;
  for (char* p = text; *p; p++)
    if (*p != '"') *out++ = *p;
  *out = 0;
}

bool readFirstWord(const char* path, std::string& word, std::string& err) {
  std::FILE* f = std::fopen(path, "r");
  if (!f) {
    err = std::strerror(errno);
    return false;
  }
  word.clear();
  int c;
  while ((c = std::fgetc(f)) != EOF && std::isspace(c)) {
  }
  for (; c != EOF && !std::isspace(c); c = std::fgetc(f)) word += char(c);
  std::fclose(f);
  if (word.empty()) err = "holds no map file name";
  return !word.empty();
}

void drawScene(HDC dc, const Lattice* lat, const float* trot) {
  if (scene.lat == lat)
    drawRetainedFrame(scene, trot, viewerState);
  else
    drawFrame(lat, trot, viewerState);
  SwapBuffers(dc);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR cmdLine, int) {
  if (!std::strcmp(cmdLine, "--help") || !std::strcmp(cmdLine, "--version")) {
    std::fputs(cmdLine[2] == 'h' ? helpText : "kelvane-viewer " KELVANE_VERSION "\n", stdout);
    return 0;
  }
  Viewer v;
  v.instance = instance;
  if (!openViewerWindow(v)) return 1;
  stripQuotes(cmdLine);
  bool opened = openStartMap(v, cmdLine);
  for (int i = 0; i < 5; i++) v.trot[i] = startCamera[i];
  pageView.camera = v.trot;
  if (opened && drawnOrdinal(v.lat, startSelection) >= 0) select(v, startSelection);
  int exitCode = opened ? runLoop(v) : 1;
  releaseRetained(scene);
  closeWindow(v.hWnd, v.dc, v.instance);
  scene = RetainedScene{};
  viewerState.selectionShown = 0;
  pageView = PageView{};
  return exitCode;
}
