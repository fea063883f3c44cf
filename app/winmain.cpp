// Program entry: the window, the map named on the command line, the polling main loop and
// shutdown.
#include "viewer.h"

#include "controls.h"

#include "mapfile/index_list.h"

#include "platform/messages.h"

#include <cstdio>
#include <cstring>
#include <new>

const char* const programName = "kelvane-viewer";

namespace {

// A lost context came back empty (the web page's): everything made in it is made again.
void restoreGl(Viewer& v) {
  v.overlay.texture = 0;
  buildScene(v);
}

// What the message (when `got`) and the watch ask for. Running out of memory in any of it is
// said and ends only that command: the last scene stays and the viewer goes on.
void commands(Viewer& v, const MSG& msg, bool got) {
  try {
    if (got) keyCommand(v, msg);
    if (got) overlayCommand(v, msg);
    if (got) pointerCommand(v, msg);
    if (got) dropCommand(v, msg);
    if (got) pageCommand(v, msg);
    flightCommand(v, msg, got);
    hoverCommand(v);
    if (got && msg.message == glRestoredMessage) restoreGl(v);
    watchCommand(v);
  } catch (const std::bad_alloc&) {
    sayWarning(v, std::string(programName) + ": out of memory; the scene stays as it was");
  }
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
    cameraStep(v.key, v.trot, v.vs);
    commands(v, msg, got);
    drawScene(v);
    drawMarks(v);
    drawOverlays(v);
    SwapBuffers(v.dc);
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

int runViewer(HINSTANCE instance, LPSTR cmdLine, const ViewerStart& start) {
  Viewer v;
  v.instance = instance;
  v.start = start;
  for (int i : start.hidden) {
    if (size_t(i) >= v.hidden.size()) v.hidden.resize(size_t(i) + 1, false);
    v.hidden[size_t(i)] = true;
  }
  if (!openViewerWindow(v)) return 1;
  stripQuotes(cmdLine);
  bool opened = openStartMap(v, cmdLine);
  for (int i = 0; i < 5; i++) v.trot[i] = start.camera[i];
  v.page.camera = v.trot;
  v.page.hidden = formatIndexList(hiddenIndices(v));
  if (opened && drawnOrdinal(v.lat, start.selection) >= 0) selectLattice(v, start.selection);
  int exitCode = opened ? runLoop(v) : 1;
  releaseOverlays(v);
  releaseRetained(v.scene);
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
