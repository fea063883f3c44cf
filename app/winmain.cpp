// Program entry: the window, the map named on the command line, the polling main loop and
// shutdown.
#include "winmain.h"
#include "commands.h"
#include "edit.h"
#include "flight.h"
#include "measure.h"
#include "merge.h"
#include "overlay.h"
#include "page_view.h"
#include "scene.h"

#include "controls.h"

#include "mapfile/index_list.h"

#include "platform/messages.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

// A lost context came back empty (the web page's): everything made in it is made again.
void restoreGl(Viewer& v) {
  v.overlay.texture = 0;
  buildScene(v);
}

// What the message (when `got`) and the watch ask for. Running out of memory in any of it is
// said and ends only that command: the last scene stays and the viewer goes on.
void commands(Viewer& v, const MSG& msg, const Input& in, bool got) {
  try {
    if (got) keyCommand(v, in);
    if (got) pointerCommand(v, msg);
    if (got) dropCommand(v, msg);
    if (got) pageCommand(v, in);
    flightCommand(v);
    hoverCommand(v);
    if (got && msg.message == glRestoredMessage) restoreGl(v);
    watchCommand(v);
  } catch (const std::bad_alloc&) {
    sayWarning(v, std::string(programName) + ": out of memory; the scene stays as it was");
  }
}

// Frames a second at most where the swap does not wait for the display (no vsync): a held key
// then moves the camera at most this many steps a second on any machine.
constexpr double frameRate = 60;

// Whether `msg` changes nothing while `next` waits behind it: an auto-repeat of a key that is
// down (bit 30: the key was down before), or a pointer move that a later move supersedes.
bool passedOver(const Viewer& v, const MSG& msg, const MSG& next) {
  bool keyDown = msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN;
  if (keyDown) {
    Input in = decodeInput(msg, v.key);
    if (in.repeat && in.key && v.key[in.vk]) return true;
  }
  return msg.message == WM_MOUSEMOVE && next.message == WM_MOUSEMOVE;
}

// Takes the message for this pass. What changes nothing is dropped while others wait, so input
// never queues up behind slow frames; the last waiting message keeps its pass, and so does every
// press and release. `waiting`: messages wait behind the one taken (userQuits then looks among
// them for a close or an Escape press).
bool takeMessage(Viewer& v, MSG& msg, bool& waiting) {
  MSG next;
  bool got = PeekMessageA(&msg, v.hWnd, 0, 0, PM_REMOVE);
  waiting = false;
  while (got && msg.message != WM_QUIT && PeekMessageA(&next, v.hWnd, 0, 0, PM_NOREMOVE)) {
    if (!passedOver(v, msg, next)) {
      waiting = true;
      break;
    }
    got = PeekMessageA(&msg, v.hWnd, 0, 0, PM_REMOVE);
  }
  return got;
}

bool anyKeyDown(const unsigned char key[256]) {
  for (int i = 0; i < 256; i++)
    if (key[i]) return true;
  return false;
}

// Waits, taking no message, until the frame after the last is due: at most frameRate frames a
// second. Where the swap waits for the display this never waits.
void paceFrame(Viewer& v) {
  const double step = 1000 / frameRate;
  DWORD now = GetTickCount();
  double due = std::min(v.frameDue + step, double(now) + step);
  while (double(now) < std::floor(due)) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, DWORD(std::floor(due)) - now, QS_ALLINPUT);
    now = GetTickCount();
  }
  v.frameDue = std::max(due, double(now));
}

// Milliseconds until something changes by itself that a frame shows (a message fades, the info
// panel's frame counter, the point under the pointer) or the watch looks at the file again.
DWORD idleWait(const Viewer& v, DWORD now) {
  DWORD wait = 1000;
  auto until = [&](DWORD at) {
    wait = std::min(wait, DWORD(at - now) < 0x80000000 ? at - now : 0);
  };
  if (v.overlay.shown && v.start.windowPanels)
    for (const Message& m : v.overlay.messages)
      if (DWORD(now - m.at) < messageTime) until(m.at + messageTime);
  if (!v.watch.name.empty()) until(v.watch.lastLook + watchInterval);
  if (!v.dropped.name.empty()) until(v.dropped.lastLook + watchInterval);
  if (!v.compare.name.empty()) until(v.compare.watch.lastLook + watchInterval);
  return std::min(wait, hoverWait(v, now));
}

// Whether a message has faded since the last frame, or the info panel's counter is a second old.
bool overlayStale(const Viewer& v, DWORD now) {
  const Overlays& o = v.overlay;
  if (!o.shown) return false;
  if (o.info && (o.frames.empty() || DWORD(now - o.frames.back()) >= 1000)) return true;
  if (!v.start.windowPanels || o.frames.empty()) return false;
  for (const Message& m : o.messages)
    if (DWORD(now - m.at) >= messageTime && DWORD(o.frames.back() - m.at) < messageTime)
      return true;
  return false;
}

// Whether the viewer ends now, with `status`: the quit message taken for this pass (`got` is
// cleared when the user keeps the viewer), the quit key held, or, while messages are `waiting`
// behind it, a close, a quit message or an Escape press among them, which act at once. Each
// asks first while edits are unsaved, and Cancel keeps the viewer; the page asks before it
// stops the viewer for another map. The one place the viewer decides to end.
bool userQuits(Viewer& v, const MSG& msg, bool& got, bool waiting, int& status) {
  int escape = heldKey(Action::quit, bindingsHere(v));
  int quit = -1;
  if (waiting) {
    MSG close;
    if (PeekMessageA(&close, v.hWnd, WM_CLOSE, WM_CLOSE, PM_REMOVE) ||
        PeekMessageA(&close, v.hWnd, WM_QUIT, WM_QUIT, PM_REMOVE))
      quit = close.message == WM_QUIT ? int(close.wParam) : 0;
    // taken as down, but by the help sheet while it takes typing (its Escape closes it)
    Typing typing = helpTyping(v);
    if (quitPressedSince(bindingsHere(v)) && typing != Typing::filterAndClose &&
        typing != Typing::outline)
      v.key[escape] = 1;
  }
  if (quit >= 0 && (WPARAM(quit) == pageQuitCode || settleEdits(v))) {
    status = quit;
    return true;
  }
  if (got && msg.message == WM_QUIT) {
    if (msg.wParam == pageQuitCode || settleEdits(v)) {
      status = int(msg.wParam);
      return true;
    }
    got = false;
  }
  if (!v.key[escape]) return false;
  if (settleEdits(v)) {
    status = 0;
    return true;
  }
  v.key[escape] = 0;
  // Cancel answered that press: its "pressed since" mark must not ask again when messages next
  // wait behind one another.
  quitPressedSince(bindingsHere(v));
  return false;
}

// The main loop: one window message at most per pass, then the camera step and a frame. A pass
// with no message, nothing moving and nothing changed draws nothing and waits for the next
// message instead. Returns the exit status when the user quits.
int runLoop(Viewer& v) {
  MSG msg = {};
  for (;;) {
    bool waiting;
    bool got = takeMessage(v, msg, waiting);
    int status = 0;
    if (userQuits(v, msg, got, waiting, status)) return status;
    Input in =
        got ? decodeInput(msg, v.key, bindingsHere(v), v.edits.moving, helpTyping(v)) : Input{};
    // An Escape that closes the help sheet or leaves the outline is not the quit key held, and
    // its "pressed since" mark must not end the viewer when messages next wait.
    if (got && (in.action == Action::closeHelp || in.action == Action::outlineLeave))
      quitPressedSince(bindingsHere(v));
    else if (got)
      updateKeyTable(v.key, in);
    // Frames that move the camera are paced; a release with nothing held moves nothing and
    // changes nothing a frame shows but the axis lines.
    bool moving = anyKeyDown(v.key) || v.playing || !v.drawn;
    bool released = got && in.released;
    if (moving) paceFrame(v);
    int axes = v.vs.axisFlag;
    unsigned char keys[256];
    cameraKeys(v, keys);
    cameraStep(keys, v.trot, v.vs);
    released = released && axes == v.vs.axisFlag;
    commands(v, msg, in, got);
    DWORD now = GetTickCount();
    bool draw = moving || (got && !released) || v.redraw || overlayStale(v, now);
    if (draw) {
      ViewDraw d = sceneView(v);
      addMarks(v, d);
      std::vector<OverlayPanel> panels;
      addPanels(v, d, panels);
      drawView(d);
      if (!v.start.windowPanels) fillPageView(v); // only a page reads it
      SwapBuffers(v.dc);
      v.redraw = false;
      v.drawn = true;
    }
    if (got) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    } else if (!draw)
      MsgWaitForMultipleObjects(0, nullptr, FALSE, idleWait(v, now), QS_ALLINPUT);
  }
}

} // namespace

int runViewer(HINSTANCE instance, LPSTR cmdLine, const ViewerStart& start) {
  Viewer v;
  v.instance = instance;
  v.start = start;
  for (int i : start.hidden) {
    if (size_t(i) >= v.hidden.size()) v.hidden.resize(size_t(i) + 1, false);
    v.hidden[size_t(i)] = true;
  }
  // Spends the "pressed since" mark of an Escape from before this run: Windows keeps one mark
  // for all programs, so an Escape that closed another program would end this one at once.
  // Spent before the window exists: an Escape pressed in it while the map loads is the user's.
  quitPressedSince(bindingsHere(v));
  if (!openViewerWindow(v)) return 1;
  bool opened = openStartMap(v, cmdLine);
  for (int i = 0; i < 5; i++) v.trot[i] = start.camera[i];
  v.vs.section = start.section;
  v.vs.ortho = start.ortho;
  v.vs.farPlane = start.farPlane;
  if (opened && drawnOrdinal(v.lat, start.selection) >= 0) selectLattice(v, start.selection);
  int exitCode = opened ? runLoop(v) : 1;
  if (!exitCode) exitCode = mergeStatus(v); // a merge closed unresolved fails for git
  releaseOverlays(v);
  releaseRetained(v.scene);
  releaseRetained(v.compare.scene);
  closeViewerWindow(v);
  return exitCode;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR cmdLine, int) {
  if (!std::strcmp(cmdLine, "--help") || !std::strcmp(cmdLine, "--version")) {
    std::string text = cmdLine[2] == 'h' ? helpText() : "kelvane-viewer " KELVANE_VERSION "\n";
    std::fputs(text.c_str(), stdout);
    return 0;
  }
  return runViewer(instance, cmdLine, ViewerStart{});
}
