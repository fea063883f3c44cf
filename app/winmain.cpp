// Program entry: window and context, the map file, the polling main loop, shutdown.
#include "camera.h"
#include "viewer.h"
#include "window.h"

#include "render/frame.h"
#include "render/gl.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

const char* const programName = "kelvane-viewer";

// Loads the map into `lat`, or says why not: on stderr, and for a file that does not open
// also in the message box users of the viewer know.
bool openMap(const std::string& name, Lattice* lat, MapStore& store) {
  std::FILE* f = std::fopen(name.c_str(), "rb");
  if (!f) {
    std::fprintf(stderr, "%s: %s: %s\n", programName, name.c_str(), std::strerror(errno));
    MessageBoxA(nullptr, name.c_str(), "Error opening file.", MB_OK | MB_ICONEXCLAMATION);
    return false;
  }
  std::fclose(f);
  LoadReport rep = loadLandFrames(name.c_str(), lat, store);
  for (const std::string& w : rep.warnings)
    std::fprintf(stderr, "%s: %s: warning: %s\n", programName, name.c_str(), w.c_str());
  if (!rep.opened) {
    std::fprintf(stderr, "%s: %s: %s\n", programName, name.c_str(), rep.openError.c_str());
    return false;
  }
  return true;
}

void printCamera(const float* trot) {
  std::printf("--camera %.9g,%.9g,%.9g,%.9g,%.9g\n", trot[tx], trot[ty], trot[tz], trot[pitch],
              trot[yaw]);
  std::fflush(stdout);
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
  drawFrame(lat, trot);
  SwapBuffers(dc);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR cmdLine, int) {
  HWND hWnd = nullptr;
  if (!createMainWindow(&hWnd, instance, 640, 480)) {
    std::fprintf(stderr, "%s: no window could be created (error %lu)\n", programName,
                 (unsigned long)GetLastError());
    UnregisterClassA(windowClassName, instance);
    return 1;
  }
  HDC dc = GetDC(hWnd);
  setupPixelFormat(dc);
  HGLRC rc = wglCreateContext(dc);
  wglMakeCurrent(dc, rc);
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
  }
  if (quit) exitCode = 1;
  float trot[trotSize] = {};
  for (int i = 0; i <= selectedLattice; i++) trot[i] = 0.0f;

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

  wglMakeCurrent(nullptr, nullptr);
  ReleaseDC(hWnd, dc);
  DestroyWindow(hWnd);
  UnregisterClassA(windowClassName, instance);
  return exitCode;
}
