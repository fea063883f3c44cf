// Program entry: window and context, the map file, the polling main loop, shutdown.
#include "camera.h"
#include "viewer.h"
#include "window.h"

#include "viewer_state.h"

#include "mapfile/reader.h"
#include "render/frame.h"
#include "render/gl.h"
#include "render/retained.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

const char* const programName = "kelvane-viewer";

// The loaded map's triangles, built once after loading; frames draw from it.
RetainedScene scene;

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
    "  Escape       quit\n"
    "\n"
    "Exit status: 0 when you quit; 1 when no map could be opened (the \"Error opening\n"
    "file.\" box) or no window could be created, with the reason on stderr.\n";

// Loads the map into `lat`, or says why not: on stderr, and in the message box users of the
// viewer know.
bool openMap(const std::string& name, Lattice* lat, MapStore& store) {
  LoadReport rep = loadLandFrames(name.c_str(), lat, store);
  for (const std::string& w : rep.warnings)
    std::fprintf(stderr, "%s: %s: warning: %s\n", programName, name.c_str(), w.c_str());
  if (rep.status == LoadStatus::loaded) return true;
  std::fprintf(stderr, "%s: %s: %s%s\n", programName, name.c_str(),
               rep.status == LoadStatus::notMap ? "not a map: " : "", rep.error.c_str());
  MessageBoxA(nullptr, name.c_str(), "Error opening file.", MB_OK | MB_ICONEXCLAMATION);
  return false;
}

void printCamera(const float* trot) {
  using namespace Trot;
  std::printf("--camera %.9g,%.9g,%.9g,%.9g,%.9g", trot[tx], trot[ty], trot[tz], trot[pitch],
              trot[yaw]);
  if (viewSize.width != 640 || viewSize.height != 480)
    std::printf(" --size %dx%d", viewSize.width, viewSize.height);
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
  HWND hWnd = nullptr;
  if (!createMainWindow(&hWnd, instance, 640, 480)) {
    std::fprintf(stderr, "%s: no window could be created (error %lu)\n", programName,
                 (unsigned long)GetLastError());
    UnregisterClassA(windowClassName, instance);
    return 1;
  }
  HDC dc = GetDC(hWnd);
  HGLRC rc = nullptr;
  if (const char* why = setupContext(dc, rc)) {
    std::fprintf(stderr, "%s: no window could be created: %s\n", programName, why);
    closeWindow(hWnd, dc, instance);
    return 1;
  }
  glEnable(GL_DEPTH_TEST);
  resizeView(640, 480);
  unsigned char key[256];
  std::memset(key, 0, sizeof key);
  stripQuotes(cmdLine);

  bool quit = false;
  int exitCode = 0;
  MapStore store;
  Lattice* lat = nullptr;
  std::string name = cmdLine, err;
  if (name.empty() && !readFirstWord("infile.txt", name, err)) {
    std::fprintf(stderr, "%s: no map named on the command line, and infile.txt: %s\n", programName,
                 err.c_str());
    quit = true;
  }
  if (!quit) {
    lat = newLattice(store);
    quit = !openMap(name, lat, store);
    if (!quit) buildRetained(lat, viewerState, geometryBudget(), scene);
  }
  if (quit) exitCode = 1;
  float trot[Trot::size] = {};
  for (int i = 0; i <= Trot::selectedLattice; i++) trot[i] = i < 5 ? startCamera[i] : 0.0f;
  liveCamera = trot;

  MSG msg = {};
  while (!quit) {
    bool got = PeekMessageA(&msg, hWnd, 0, 0, PM_REMOVE);
    quit = got && msg.message == WM_QUIT;
    if (key[VK_ESCAPE]) quit = true;
    if (quit) {
      exitCode = got && msg.message == WM_QUIT ? int(msg.wParam) : 0;
      break;
    }
    if (got) updateKeyTable(key, msg);
    cameraStep(key, trot, viewerState);
    if (got && msg.message == WM_KEYDOWN && msg.wParam == 'P' && !(msg.lParam & (1L << 30)))
      printCamera(trot);
    drawScene(dc, lat, trot);
    if (got) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }

  closeWindow(hWnd, dc, instance);
  scene = RetainedScene{};
  liveCamera = nullptr;
  return exitCode;
}
