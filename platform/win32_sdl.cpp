// The Win32 subset over SDL2: one window class table, windows that send WM_CREATE and
// WM_SIZE while they are created, a message queue fed from SDL events in Windows order, and
// WGL-style GL contexts.
#include "win32.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <string>
#include <vector>

struct HDC__ {
  HWND wnd;
};

struct HWND__ {
  SDL_Window* sdl;
  WNDPROC proc;
  HDC__ dc;
};

namespace {

std::map<std::string, WNDCLASSEXA> classes;
std::vector<HWND> windows;
std::deque<MSG> queue;
bool quitPosted = false;
int quitCode = 0;
DWORD lastError = 0;
HWND current = nullptr; // the window whose context is current

// Windows virtual-key codes by SDL scancode; 0 is "no key".
struct KeyTable {
  unsigned char vk[SDL_NUM_SCANCODES] = {};
  constexpr KeyTable() {
    for (int i = 0; i < 26; i++) vk[SDL_SCANCODE_A + i] = 'A' + i;
    for (int i = 0; i < 9; i++) vk[SDL_SCANCODE_1 + i] = '1' + i;
    vk[SDL_SCANCODE_0] = '0';
    for (int i = 0; i < 12; i++) vk[SDL_SCANCODE_F1 + i] = VK_F1 + i;
    for (int i = 0; i < 9; i++) vk[SDL_SCANCODE_KP_1 + i] = VK_NUMPAD0 + 1 + i;
    vk[SDL_SCANCODE_KP_0] = VK_NUMPAD0;
    vk[SDL_SCANCODE_RETURN] = VK_RETURN;
    vk[SDL_SCANCODE_KP_ENTER] = VK_RETURN;
    vk[SDL_SCANCODE_ESCAPE] = VK_ESCAPE;
    vk[SDL_SCANCODE_BACKSPACE] = VK_BACK;
    vk[SDL_SCANCODE_TAB] = VK_TAB;
    vk[SDL_SCANCODE_SPACE] = VK_SPACE;
    vk[SDL_SCANCODE_LEFT] = VK_LEFT;
    vk[SDL_SCANCODE_UP] = VK_UP;
    vk[SDL_SCANCODE_RIGHT] = VK_RIGHT;
    vk[SDL_SCANCODE_DOWN] = VK_DOWN;
    vk[SDL_SCANCODE_INSERT] = VK_INSERT;
    vk[SDL_SCANCODE_DELETE] = VK_DELETE;
    vk[SDL_SCANCODE_HOME] = VK_HOME;
    vk[SDL_SCANCODE_END] = VK_END;
    vk[SDL_SCANCODE_PAGEUP] = VK_PRIOR;
    vk[SDL_SCANCODE_PAGEDOWN] = VK_NEXT;
    vk[SDL_SCANCODE_PAUSE] = VK_PAUSE;
    vk[SDL_SCANCODE_CAPSLOCK] = VK_CAPITAL;
    vk[SDL_SCANCODE_NUMLOCKCLEAR] = VK_NUMLOCK;
    vk[SDL_SCANCODE_SCROLLLOCK] = VK_SCROLL;
    vk[SDL_SCANCODE_LSHIFT] = VK_SHIFT;
    vk[SDL_SCANCODE_RSHIFT] = VK_SHIFT;
    vk[SDL_SCANCODE_LCTRL] = VK_CONTROL;
    vk[SDL_SCANCODE_RCTRL] = VK_CONTROL;
    vk[SDL_SCANCODE_LALT] = VK_MENU;
    vk[SDL_SCANCODE_RALT] = VK_MENU;
    vk[SDL_SCANCODE_KP_MULTIPLY] = VK_MULTIPLY;
    vk[SDL_SCANCODE_KP_PLUS] = VK_ADD;
    vk[SDL_SCANCODE_KP_MINUS] = VK_SUBTRACT;
    vk[SDL_SCANCODE_KP_PERIOD] = VK_DECIMAL;
    vk[SDL_SCANCODE_KP_DIVIDE] = VK_DIVIDE;
    vk[SDL_SCANCODE_SEMICOLON] = VK_OEM_1;
    vk[SDL_SCANCODE_EQUALS] = VK_OEM_PLUS;
    vk[SDL_SCANCODE_COMMA] = VK_OEM_COMMA;
    vk[SDL_SCANCODE_MINUS] = VK_OEM_MINUS;
    vk[SDL_SCANCODE_PERIOD] = VK_OEM_PERIOD;
    vk[SDL_SCANCODE_SLASH] = VK_OEM_2;
    vk[SDL_SCANCODE_GRAVE] = VK_OEM_3;
    vk[SDL_SCANCODE_LEFTBRACKET] = VK_OEM_4;
    vk[SDL_SCANCODE_BACKSLASH] = VK_OEM_5;
    vk[SDL_SCANCODE_RIGHTBRACKET] = VK_OEM_6;
    vk[SDL_SCANCODE_APOSTROPHE] = VK_OEM_7;
  }
};
constexpr KeyTable keyTable;

// Letters follow the keyboard layout, as Windows virtual-key codes do (the key labelled E is
// 'E' on any layout); every other key goes by its position.
unsigned char virtualKey(const SDL_Keysym& k) {
  if (k.sym >= SDLK_a && k.sym <= SDLK_z) return (unsigned char)('A' + (k.sym - SDLK_a));
  return k.scancode >= 0 && k.scancode < SDL_NUM_SCANCODES ? keyTable.vk[k.scancode] : 0;
}

HWND windowOf(Uint32 sdlId) {
  SDL_Window* w = SDL_GetWindowFromID(sdlId);
  return w ? static_cast<HWND>(SDL_GetWindowData(w, "hwnd")) : nullptr;
}

LPARAM drawableSize(HWND w) {
  int cw = 0, ch = 0;
  SDL_GL_GetDrawableSize(w->sdl, &cw, &ch);
  return MAKELPARAM(cw, ch);
}

void post(HWND w, UINT message, WPARAM wParam, LPARAM lParam) {
  MSG m = {};
  m.hwnd = w;
  m.message = message;
  m.wParam = wParam;
  m.lParam = lParam;
  m.time = SDL_GetTicks();
  queue.push_back(m);
}

// Key messages as Windows sends them: system-key messages while Alt is held and for F10,
// bit 30 for a key that was already down, bits 30 and 31 on release.
void postKey(const SDL_KeyboardEvent& k) {
  HWND w = windowOf(k.windowID);
  unsigned char vk = virtualKey(k.keysym);
  if (!w || !vk) return;
  bool down = k.type == SDL_KEYDOWN;
  bool sys = (k.keysym.mod & KMOD_ALT) || vk == VK_F10 || vk == VK_MENU;
  UINT msg = down ? (sys ? WM_SYSKEYDOWN : WM_KEYDOWN) : (sys ? WM_SYSKEYUP : WM_KEYUP);
  LPARAM lp = 1 | LPARAM(k.keysym.scancode & 0xFF) << 16;
  if (!down || k.repeat) lp |= LPARAM(1) << 30;
  if (!down) lp |= LPARAM(1) << 31;
  post(w, msg, vk, lp);
}

void translate(const SDL_Event& e) {
  switch (e.type) {
  case SDL_KEYDOWN:
  case SDL_KEYUP:
    postKey(e.key);
    break;
  case SDL_WINDOWEVENT:
    if (HWND w = windowOf(e.window.windowID)) {
      if (e.window.event == SDL_WINDOWEVENT_CLOSE) post(w, WM_CLOSE, 0, 0);
      if (e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) post(w, WM_SIZE, 0, drawableSize(w));
      // Sent, not posted, as Windows does.
      if (e.window.event == SDL_WINDOWEVENT_FOCUS_LOST) w->proc(w, WM_KILLFOCUS, 0, 0);
    }
    break;
  case SDL_QUIT: // a termination signal: ask the windows to close, as their close boxes would
    for (HWND w : windows) post(w, WM_CLOSE, 0, 0);
    break;
  default:
    break;
  }
}

bool refused(const char* driver) {
  const char* asked = std::getenv("SDL_VIDEODRIVER");
  bool headless = !std::strcmp(driver, "offscreen") || !std::strcmp(driver, "dummy");
  return headless && !(asked && std::strstr(asked, driver));
}

bool initVideo() {
  if (SDL_WasInit(SDL_INIT_VIDEO)) return true;
  SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    std::fprintf(stderr, "window system: %s\n", SDL_GetError());
    return false;
  }
  const char* driver = SDL_GetCurrentVideoDriver();
  if (refused(driver)) {
    // A window nobody can see is not a window: SDL falls back to these without a display.
    std::fprintf(stderr,
                 "window system: no display to show a window on (SDL chose the '%s' "
                 "driver; is DISPLAY or WAYLAND_DISPLAY set?)\n",
                 driver);
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return false;
  }
  return true;
}

} // namespace

ATOM RegisterClassExA(const WNDCLASSEXA* wc) {
  if (!wc || wc->cbSize != sizeof(WNDCLASSEXA) || !wc->lpszClassName || !wc->lpfnWndProc ||
      classes.count(wc->lpszClassName)) {
    lastError = 87; // invalid parameter, or 1410 "class already exists" on Windows
    return 0;
  }
  classes[wc->lpszClassName] = *wc;
  return ATOM(0xC000 + classes.size());
}

BOOL UnregisterClassA(LPCSTR className, HINSTANCE) {
  return className && classes.erase(className) ? TRUE : FALSE;
}

HWND CreateWindowExA(DWORD, LPCSTR className, LPCSTR title, DWORD style, int x, int y, int width,
                     int height, HWND, HMENU, HINSTANCE, LPVOID) {
  auto it = classes.find(className ? className : "");
  if (it == classes.end()) {
    lastError = 1407; // class not found
    return nullptr;
  }
  if (!initVideo()) {
    lastError = 1400;
    return nullptr;
  }
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
  SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
  Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_ALLOW_HIGHDPI;
  if (style & WS_THICKFRAME) flags |= SDL_WINDOW_RESIZABLE;
  flags |= (style & WS_VISIBLE) ? SDL_WINDOW_SHOWN : SDL_WINDOW_HIDDEN;
  SDL_Window* sdl = SDL_CreateWindow(title ? title : "", x, y, width, height, flags);
  if (!sdl) {
    std::fprintf(stderr, "window system: %s\n", SDL_GetError());
    lastError = 1400;
    return nullptr;
  }
  // Windows sizes count the frame; take it off where the window manager tells us its size.
  int top = 0, left = 0, bottom = 0, right = 0;
  if (SDL_GetWindowBordersSize(sdl, &top, &left, &bottom, &right) == 0 && top + bottom > 0 &&
      width > left + right && height > top + bottom)
    SDL_SetWindowSize(sdl, width - left - right, height - top - bottom);
  HWND w = new HWND__{sdl, it->second.lpfnWndProc, {}};
  w->dc.wnd = w;
  SDL_SetWindowData(sdl, "hwnd", w);
  windows.push_back(w);
  w->proc(w, WM_CREATE, 0, 0);
  w->proc(w, WM_SIZE, 0, drawableSize(w));
  return w;
}

BOOL DestroyWindow(HWND w) {
  if (!w) return FALSE;
  if (current == w) current = nullptr;
  std::erase(windows, w);
  for (auto m = queue.begin(); m != queue.end();) m = m->hwnd == w ? queue.erase(m) : m + 1;
  SDL_DestroyWindow(w->sdl);
  delete w;
  return TRUE;
}

BOOL ShowWindow(HWND w, int cmd) {
  if (!w) return FALSE;
  bool was = SDL_GetWindowFlags(w->sdl) & SDL_WINDOW_SHOWN;
  if (cmd == SW_HIDE)
    SDL_HideWindow(w->sdl);
  else
    SDL_ShowWindow(w->sdl);
  return was;
}

BOOL UpdateWindow(HWND w) {
  return w ? TRUE : FALSE;
}

// Icons and cursors are the system's; the handles only need to be non-null.
HICON LoadIconA(HINSTANCE, LPCSTR name) {
  return reinterpret_cast<HICON>(uintptr_t(name));
}
HCURSOR LoadCursorA(HINSTANCE, LPCSTR name) {
  return reinterpret_cast<HCURSOR>(uintptr_t(name));
}

HDC GetDC(HWND w) {
  return w ? &w->dc : nullptr;
}
int ReleaseDC(HWND w, HDC dc) {
  return w && dc == &w->dc;
}

BOOL PeekMessageA(MSG* msg, HWND, UINT, UINT, UINT remove) {
  SDL_Event e;
  if (SDL_WasInit(SDL_INIT_VIDEO))
    while (SDL_PollEvent(&e)) translate(e);
  if (!queue.empty()) {
    *msg = queue.front();
    if (remove & PM_REMOVE) queue.pop_front();
    return TRUE;
  }
  if (quitPosted) {
    *msg = MSG{};
    msg->message = WM_QUIT;
    msg->wParam = WPARAM(quitCode);
    msg->time = SDL_GetTicks();
    if (remove & PM_REMOVE) quitPosted = false;
    return TRUE;
  }
  return FALSE;
}

BOOL TranslateMessage(const MSG*) {
  return FALSE;
}

LRESULT DispatchMessageA(const MSG* msg) {
  if (!msg || !msg->hwnd) return 0;
  return msg->hwnd->proc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

LRESULT DefWindowProcA(HWND, UINT, WPARAM, LPARAM) {
  return 0;
}

BOOL PostMessageA(HWND w, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!w) return FALSE;
  post(w, message, wParam, lParam);
  return TRUE;
}

void PostQuitMessage(int code) {
  quitPosted = true;
  quitCode = code;
}

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  std::fprintf(stderr, "%s: %s\n", caption ? caption : "Error", text ? text : "");
  const char* driver = SDL_WasInit(SDL_INIT_VIDEO) ? SDL_GetCurrentVideoDriver() : nullptr;
  if (driver && (!std::strcmp(driver, "offscreen") || !std::strcmp(driver, "dummy")))
    return IDOK; // nobody could see or dismiss the dialog
  Uint32 flags = (type & 0xF0) == MB_ICONEXCLAMATION ? SDL_MESSAGEBOX_WARNING
                 : (type & 0xF0) == MB_ICONHAND      ? SDL_MESSAGEBOX_ERROR
                                                     : SDL_MESSAGEBOX_INFORMATION;
  // The line above already told the user; say too why no dialog appeared (on X11 SDL's
  // dialog needs the core fonts, for one).
  if (SDL_ShowSimpleMessageBox(flags, caption ? caption : "Error", text ? text : "",
                               owner ? owner->sdl : nullptr) != 0)
    std::fprintf(stderr, "window system: the message box could not be shown: %s\n", SDL_GetError());
  return IDOK;
}

DWORD GetLastError() {
  return lastError;
}

// One format: double-buffered RGBA with a depth buffer, chosen when the window was made.
int ChoosePixelFormat(HDC dc, const PIXELFORMATDESCRIPTOR* pfd) {
  return dc && pfd ? 1 : 0;
}

BOOL SetPixelFormat(HDC dc, int format, const PIXELFORMATDESCRIPTOR* pfd) {
  return dc && pfd && format == 1 && (pfd->dwFlags & PFD_SUPPORT_OPENGL) ? TRUE : FALSE;
}

BOOL SwapBuffers(HDC dc) {
  if (!dc) return FALSE;
  SDL_GL_SwapWindow(dc->wnd->sdl);
  return TRUE;
}

HGLRC wglCreateContext(HDC dc) {
  if (!dc) return nullptr;
  SDL_GLContext rc = SDL_GL_CreateContext(dc->wnd->sdl);
  if (!rc) {
    std::fprintf(stderr, "window system: no OpenGL context: %s\n", SDL_GetError());
    return nullptr;
  }
  SDL_GL_MakeCurrent(dc->wnd->sdl, nullptr); // a new WGL context is not current yet
  return static_cast<HGLRC>(rc);
}

BOOL wglMakeCurrent(HDC dc, HGLRC rc) {
  if (!dc || !rc) {
    if (current) SDL_GL_MakeCurrent(current->sdl, nullptr);
    current = nullptr;
    return TRUE;
  }
  if (SDL_GL_MakeCurrent(dc->wnd->sdl, static_cast<SDL_GLContext>(rc)) != 0) return FALSE;
  current = dc->wnd;
  SDL_GL_SetSwapInterval(1); // follow the display's rate where the driver allows
  return TRUE;
}
