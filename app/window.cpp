// Window class, window creation, pixel format, view setup and the window procedure.
#include "window.h"

#include "render/view.h"

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
  viewSize = {width, height};
  viewProjection(width, height);
}

LRESULT CALLBACK mainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
  case WM_CREATE:
    return 0;
  case WM_SIZE:
    resizeView(LOWORD(lParam), HIWORD(lParam));
    return 0;
  case WM_KILLFOCUS:
    // The key table lives in the main loop; a key released elsewhere sends no key-up here.
    PostMessageA(window, keysReleasedMessage, 0, 0);
    return 0;
  case WM_CLOSE:
    PostQuitMessage(0);
    return 0;
  default:
    return DefWindowProcA(window, message, wParam, lParam);
  }
}
