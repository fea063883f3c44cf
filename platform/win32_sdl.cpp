// The Win32 subset over SDL2: one window class table, windows that send WM_CREATE and
// WM_SIZE while they are created, a message queue fed from SDL events in Windows order, and
// WGL-style GL contexts.
#include "win32_files.h"
#include "win32_layer.h"

#include "gl.h"

#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// The layer's whole state: its windows, and the one whose context is current.
struct Layer {
  std::vector<HWND> windows;
  HWND current = nullptr;
};
Layer layer;

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

SDL_Window* sdlWindow(HWND w) {
  return static_cast<SDL_Window*>(w->native);
}

HWND windowOf(Uint32 sdlId) {
  SDL_Window* w = SDL_GetWindowFromID(sdlId);
  return w ? static_cast<HWND>(SDL_GetWindowData(w, "hwnd")) : nullptr;
}

LPARAM drawableSize(HWND w) {
  int cw = 0, ch = 0;
  SDL_GL_GetDrawableSize(sdlWindow(w), &cw, &ch);
  return MAKELPARAM(cw, ch);
}

// Key messages, system-key messages while Alt is held and for F10 as on Windows.
void translateKey(const SDL_KeyboardEvent& k) {
  HWND w = windowOf(k.windowID);
  unsigned char vk = virtualKey(k.keysym);
  if (!w || !vk) return;
  bool sys = (k.keysym.mod & KMOD_ALT) || vk == VK_F10 || vk == VK_MENU;
  postKey(w, vk, k.type == SDL_KEYDOWN, k.repeat, sys, unsigned(k.keysym.scancode));
}

// A point of the window in drawable pixels (SDL gives logical ones), packed as lParam.
LPARAM clientPoint(HWND w, int x, int y) {
  int lw = 0, lh = 0, dw = 0, dh = 0;
  SDL_GetWindowSize(sdlWindow(w), &lw, &lh);
  SDL_GL_GetDrawableSize(sdlWindow(w), &dw, &dh);
  if (lw > 0 && lh > 0) {
    x = x * dw / lw;
    y = y * dh / lh;
  }
  return MAKELPARAM(x, y);
}

// The MK_ flags of the buttons down and the modifier keys held.
WPARAM mouseKeys(Uint32 buttons) {
  WPARAM k = 0;
  if (buttons & SDL_BUTTON_LMASK) k |= MK_LBUTTON;
  if (buttons & SDL_BUTTON_RMASK) k |= MK_RBUTTON;
  if (buttons & SDL_BUTTON_MMASK) k |= MK_MBUTTON;
  SDL_Keymod mod = SDL_GetModState();
  if (mod & KMOD_SHIFT) k |= MK_SHIFT;
  if (mod & KMOD_CTRL) k |= MK_CONTROL;
  return k;
}

// Button, move and wheel messages with client coordinates, as Windows sends them.
void translateMouse(const SDL_Event& e) {
  switch (e.type) {
  case SDL_MOUSEBUTTONDOWN:
  case SDL_MOUSEBUTTONUP: {
    HWND w = windowOf(e.button.windowID);
    bool down = e.type == SDL_MOUSEBUTTONDOWN;
    UINT m = e.button.button == SDL_BUTTON_LEFT     ? (down ? WM_LBUTTONDOWN : WM_LBUTTONUP)
             : e.button.button == SDL_BUTTON_RIGHT  ? (down ? WM_RBUTTONDOWN : WM_RBUTTONUP)
             : e.button.button == SDL_BUTTON_MIDDLE ? (down ? WM_MBUTTONDOWN : WM_MBUTTONUP)
                                                    : 0;
    if (w && m)
      postMessage(w, m, mouseKeys(SDL_GetMouseState(nullptr, nullptr)),
                  clientPoint(w, e.button.x, e.button.y));
    break;
  }
  case SDL_MOUSEMOTION:
    if (HWND w = windowOf(e.motion.windowID))
      postMouseMove(w, mouseKeys(e.motion.state), clientPoint(w, e.motion.x, e.motion.y));
    break;
  case SDL_MOUSEWHEEL:
    if (HWND w = windowOf(e.wheel.windowID)) {
      int notches = e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -e.wheel.y : e.wheel.y;
      int x = 0, y = 0; // screen coordinates, as Windows gives them for the wheel
      Uint32 buttons = SDL_GetGlobalMouseState(&x, &y);
      if (notches)
        postMessage(w, WM_MOUSEWHEEL, MAKEWPARAM(mouseKeys(buttons), notches * WHEEL_DELTA),
                    MAKELPARAM(x, y));
    }
    break;
  default:
    break;
  }
}

void translate(const SDL_Event& e) {
  switch (e.type) {
  case SDL_MOUSEBUTTONDOWN:
  case SDL_MOUSEBUTTONUP:
  case SDL_MOUSEMOTION:
  case SDL_MOUSEWHEEL:
    translateMouse(e);
    break;
  case SDL_KEYDOWN:
  case SDL_KEYUP:
    translateKey(e.key);
    break;
  case SDL_WINDOWEVENT:
    if (HWND w = windowOf(e.window.windowID)) {
      if (e.window.event == SDL_WINDOWEVENT_CLOSE) postMessage(w, WM_CLOSE, 0, 0);
      if (e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED)
        postMessage(w, WM_SIZE, 0, drawableSize(w));
      if (e.window.event == SDL_WINDOWEVENT_EXPOSED) postPaint(w);
      // Sent, not posted, as Windows does.
      if (e.window.event == SDL_WINDOWEVENT_FOCUS_LOST) w->proc(w, WM_KILLFOCUS, 0, 0);
    }
    break;
  case SDL_DROPFILE: { // one message a file, as a drop of one
    HWND w = windowOf(e.drop.windowID);
    if (!w && !layer.windows.empty()) w = layer.windows.front(); // a drop that names no window
    if (w) postMessage(w, WM_DROPFILES, WPARAM(newDrop({e.drop.file})), 0);
    SDL_free(e.drop.file);
    break;
  }
  case SDL_QUIT: // a termination signal: ask the windows to close, as their close boxes would
    for (HWND w : layer.windows) postMessage(w, WM_CLOSE, 0, 0);
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

void pumpEvents() {
  SDL_Event e;
  if (SDL_WasInit(SDL_INIT_VIDEO))
    while (SDL_PollEvent(&e)) translate(e);
}

void waitEvents(DWORD ms) {
  SDL_Event e;
  if (!SDL_WasInit(SDL_INIT_VIDEO)) {
    SDL_Delay(ms);
    return;
  }
  if (SDL_WaitEventTimeout(&e, int(std::min<DWORD>(ms, 0x7FFFFFFF)))) translate(e);
}

DWORD GetTickCount() {
  return SDL_GetTicks();
}

HWND CreateWindowExA(DWORD, LPCSTR className, LPCSTR title, DWORD style, int x, int y, int width,
                     int height, HWND, HMENU, HINSTANCE, LPVOID) {
  WNDPROC proc = classProcedure(className);
  if (!proc) return nullptr;
  if (!initVideo()) {
    setLastError(1400);
    return nullptr;
  }
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
  SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
  // Any context that runs OpenGL 1.1 programs, as wglCreateContext makes: the driver's
  // newest compatibility version, or an old driver's own.
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 1);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 1);
  Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_ALLOW_HIGHDPI;
  if (style & WS_THICKFRAME) flags |= SDL_WINDOW_RESIZABLE;
  flags |= (style & WS_VISIBLE) ? SDL_WINDOW_SHOWN : SDL_WINDOW_HIDDEN;
  SDL_Window* sdl = SDL_CreateWindow(title ? title : "", x, y, width, height, flags);
  if (!sdl) {
    std::fprintf(stderr, "window system: %s\n", SDL_GetError());
    setLastError(1400);
    return nullptr;
  }
  // Windows sizes count the frame; take it off where the window manager tells us its size.
  int top = 0, left = 0, bottom = 0, right = 0;
  if (SDL_GetWindowBordersSize(sdl, &top, &left, &bottom, &right) == 0 && top + bottom > 0 &&
      width > left + right && height > top + bottom)
    SDL_SetWindowSize(sdl, width - left - right, height - top - bottom);
  HWND w = newWindow(proc, sdl);
  SDL_SetWindowData(sdl, "hwnd", w);
  layer.windows.push_back(w);
  sendCreated(w, drawableSize(w));
  return w;
}

BOOL DestroyWindow(HWND w) {
  if (!w) return FALSE;
  if (layer.current == w) layer.current = nullptr;
  std::erase(layer.windows, w);
  SDL_DestroyWindow(sdlWindow(w));
  deleteWindow(w);
  return TRUE;
}

BOOL SetWindowTextA(HWND w, LPCSTR text) {
  if (!w) return FALSE;
  SDL_SetWindowTitle(sdlWindow(w), text ? text : "");
  return TRUE;
}

BOOL ShowWindow(HWND w, int cmd) {
  if (!w) return FALSE;
  bool was = SDL_GetWindowFlags(sdlWindow(w)) & SDL_WINDOW_SHOWN;
  if (cmd == SW_HIDE)
    SDL_HideWindow(sdlWindow(w));
  else
    SDL_ShowWindow(sdlWindow(w));
  return was;
}

// A question (MB_YESNO, MB_YESNOCANCEL): its buttons, Return choosing Yes and Escape the last;
// the button pressed, or -1 when the box could not be shown.
int askQuestion(SDL_Window* window, LPCSTR text, LPCSTR caption, UINT type) {
  bool cancel = (type & 0xF) == MB_YESNOCANCEL;
  SDL_MessageBoxButtonData buttons[] = {
      {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, IDYES, "Yes"},
      {cancel ? 0u : Uint32(SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT), IDNO, "No"},
      {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, IDCANCEL, "Cancel"}};
  SDL_MessageBoxData box = {SDL_MESSAGEBOX_WARNING, window,  caption, text,
                            cancel ? 3 : 2,         buttons, nullptr};
  int pressed = -1;
  if (SDL_ShowMessageBox(&box, &pressed) != 0) return -1;
  return pressed < 0 ? (cancel ? IDCANCEL : IDNO) : pressed; // closed: as Escape
}

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  std::fprintf(stderr, "%s: %s\n", caption ? caption : "Error", text ? text : "");
  bool question = (type & 0xF) == MB_YESNO || (type & 0xF) == MB_YESNOCANCEL;
  const char* driver = SDL_WasInit(SDL_INIT_VIDEO) ? SDL_GetCurrentVideoDriver() : nullptr;
  if (driver && (!std::strcmp(driver, "offscreen") || !std::strcmp(driver, "dummy")))
    return question ? IDNO : IDOK; // nobody could see or answer the dialog
  if (question) {
    int pressed = askQuestion(owner ? sdlWindow(owner) : nullptr, text, caption, type);
    if (pressed >= 0) return pressed;
    std::fprintf(stderr, "window system: the question could not be shown (%s); taken as No\n",
                 SDL_GetError());
    return IDNO;
  }
  Uint32 flags = (type & 0xF0) == MB_ICONEXCLAMATION ? SDL_MESSAGEBOX_WARNING
                 : (type & 0xF0) == MB_ICONHAND      ? SDL_MESSAGEBOX_ERROR
                                                     : SDL_MESSAGEBOX_INFORMATION;
  // The line above already told the user; say too why no dialog appeared (on X11 SDL's
  // dialog needs the core fonts, for one).
  if (SDL_ShowSimpleMessageBox(flags, caption ? caption : "Error", text ? text : "",
                               owner ? sdlWindow(owner) : nullptr) != 0)
    std::fprintf(stderr, "window system: the message box could not be shown: %s\n", SDL_GetError());
  return IDOK;
}

BOOL SwapBuffers(HDC dc) {
  if (!dc) return FALSE;
  SDL_GL_SwapWindow(sdlWindow(dc->wnd));
  return TRUE;
}

HGLRC wglCreateContext(HDC dc) {
  if (!dc) return nullptr;
  SDL_GLContext rc = SDL_GL_CreateContext(sdlWindow(dc->wnd));
  if (!rc) {
    std::fprintf(stderr, "window system: no OpenGL context: %s\n", SDL_GetError());
    return nullptr;
  }
  SDL_GL_MakeCurrent(sdlWindow(dc->wnd), nullptr); // a new WGL context is not current yet
  return static_cast<HGLRC>(rc);
}

BOOL wglMakeCurrent(HDC dc, HGLRC rc) {
  if (!dc || !rc) {
    if (layer.current) SDL_GL_MakeCurrent(sdlWindow(layer.current), nullptr);
    layer.current = nullptr;
    return TRUE;
  }
  if (SDL_GL_MakeCurrent(sdlWindow(dc->wnd), static_cast<SDL_GLContext>(rc)) != 0) return FALSE;
  layer.current = dc->wnd;
  SDL_GL_SetSwapInterval(1); // follow the display's rate where the driver allows
  return TRUE;
}

// OpenGL past 1.1 comes from the GL library SDL loaded for the window's context.
void* glProc(const char* name) {
  return SDL_GL_GetProcAddress(name);
}
