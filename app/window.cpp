// Window class, window creation, pixel format, the GL context, view setup and the window
// procedure.
#include "window.h"

#include "viewer.h"

#include "platform/gl.h"
#include "render/frame.h"
#include "render/view.h"

#include <cstdio>

const char* const windowClassName = "MainWindowClass";
const char* const windowTitle = "Kelvane Map Viewer by Ruq";

bool createMainWindow(HWND* window, HINSTANCE instance, int width, int height) {
  WNDCLASSEXA windowClass;
  windowClass.cbSize = sizeof(WNDCLASSEXA);
  windowClass.style = CS_VREDRAW | CS_HREDRAW;
  windowClass.lpfnWndProc = mainWndProc;
  windowClass.cbClsExtra = 0;
  windowClass.cbWndExtra = 0;
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.hbrBackground = nullptr;
  windowClass.lpszMenuName = nullptr;
  windowClass.lpszClassName = windowClassName;
  windowClass.hIconSm = LoadIconA(nullptr, IDI_WINLOGO);
  if (!RegisterClassExA(&windowClass)) return false;

  *window = CreateWindowExA(0, windowClassName, windowTitle,
                            WS_OVERLAPPEDWINDOW | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0,
                            0, width, height, nullptr, nullptr, instance, nullptr);
  if (!*window) return false;
  ShowWindow(*window, SW_SHOW);
  UpdateWindow(*window);
  return true;
}

bool setupPixelFormat(HDC dc) {
  PIXELFORMATDESCRIPTOR pfd = {};
  pfd.nSize = sizeof(PIXELFORMATDESCRIPTOR);
  pfd.nVersion = 1;
  pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
  pfd.iPixelType = PFD_TYPE_RGBA;
  pfd.cColorBits = 32;
  pfd.cDepthBits = 16;
  pfd.iLayerType = PFD_MAIN_PLANE;
  int format = ChoosePixelFormat(dc, &pfd);
  return format != 0 && SetPixelFormat(dc, format, &pfd);
}

void resizeView(int width, int height) {
  viewProjection(width, height);
}

namespace {

// Makes a GL context current on the window's device context; the reason when it cannot.
const char* setupContext(HDC dc, HGLRC& rc) {
  if (!setupPixelFormat(dc)) return "no usable pixel format";
  rc = wglCreateContext(dc);
  if (!rc) return "no OpenGL rendering context";
  if (!wglMakeCurrent(dc, rc)) return "the OpenGL rendering context cannot be made current";
  return nullptr;
}

} // namespace

bool openViewerWindow(Viewer& v) {
  if (!createMainWindow(&v.hWnd, v.instance, 640, 480)) {
    std::fprintf(stderr, "%s: no window could be created (error %lu)\n", programName,
                 (unsigned long)GetLastError());
    UnregisterClassA(windowClassName, v.instance);
    return false;
  }
  SetPropA(v.hWnd, viewSizeProp, &v.view);
  SetPropA(v.hWnd, pageViewProp, &v.page);
  v.dc = GetDC(v.hWnd);
  if (const char* why = setupContext(v.dc, v.rc)) {
    std::fprintf(stderr, "%s: no window could be created: %s\n", programName, why);
    closeViewerWindow(v);
    return false;
  }
  sceneContext();
  v.view = {640, 480};
  resizeView(640, 480);
  DragAcceptFiles(v.hWnd, TRUE);
  return true;
}

void closeViewerWindow(Viewer& v) {
  wglMakeCurrent(nullptr, nullptr);
  ReleaseDC(v.hWnd, v.dc);
  RemovePropA(v.hWnd, pageViewProp);
  RemovePropA(v.hWnd, viewSizeProp);
  DestroyWindow(v.hWnd);
  UnregisterClassA(windowClassName, v.instance);
}

LRESULT CALLBACK mainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
  case WM_CREATE:
    return 0;
  case WM_SIZE:
    if (auto* view = static_cast<ViewSize*>(GetPropA(window, viewSizeProp)))
      *view = {LOWORD(lParam), HIWORD(lParam)};
    resizeView(LOWORD(lParam), HIWORD(lParam));
    return 0;
  case WM_KILLFOCUS:
    // The key table lives in the main loop; a key released elsewhere sends no key-up here.
    PostMessageA(window, keysReleasedMessage, 0, 0);
    return 0;
  case WM_SETFOCUS:
    // An Escape pressed in another program while this window lacked the focus set Windows'
    // one "pressed since" mark for all programs: spent here, it is not taken as the viewer's.
    quitPressedSince(onDesktop);
    return 0;
  case WM_CLOSE:
    PostQuitMessage(0);
    return 0;
  default:
    return DefWindowProcA(window, message, wParam, lParam);
  }
}
