// The Win32 subset over the browser: the window is the page's canvas, the message queue is fed
// from the page's keyboard and focus events in Windows order, the GL context is WebGL, and
// SwapBuffers yields to the browser until its next frame, so WinMain's loop runs as written.
#include "win32_layer.h"

#include "gl.h"
#include "messages.h"
#include "page.h"
#include "webgl.h"

#include <emscripten.h>
#include <emscripten/html5.h>
#include <emscripten/val.h>

#include <cctype>
#include <cmath>
#include <cstring>
#include <cstdlib>
#include <string>

namespace {

// The layer's whole state: the window (the canvas, one at a time), the canvas's size as the
// window last told it (WM_SIZE), what the page last got (the outline of PageView::maps, the
// pictures and saved maps handed over), and the WebGL context the canvas keeps for the page's
// life.
struct Web {
  HWND window = nullptr;
  int sentWidth = 0, sentHeight = 0;
  unsigned sentMaps = 0, sentPictures = 0, sentSaves = 0;
  EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context = 0;
};
Web web;

// Windows virtual-key codes by the browser's KeyboardEvent.code (the key's place); letters are
// taken from KeyboardEvent.key instead, so they follow the layout. Anything else is no key.
struct KeyName {
  const char* code;
  unsigned char vk;
};
const KeyName keyNames[] = {
    {"Escape", VK_ESCAPE},
    {"Enter", VK_RETURN},
    {"Space", VK_SPACE},
    {"Tab", VK_TAB},
    {"Backspace", VK_BACK},
    {"ArrowLeft", VK_LEFT},
    {"ArrowUp", VK_UP},
    {"ArrowRight", VK_RIGHT},
    {"ArrowDown", VK_DOWN},
    {"ShiftLeft", VK_SHIFT},
    {"ShiftRight", VK_SHIFT},
    {"ControlLeft", VK_CONTROL},
    {"ControlRight", VK_CONTROL},
    {"AltLeft", VK_MENU},
    {"AltRight", VK_MENU},
    {"Insert", VK_INSERT},
    {"Delete", VK_DELETE},
    {"Home", VK_HOME},
    {"End", VK_END},
    {"PageUp", VK_PRIOR},
    {"PageDown", VK_NEXT},
    {"Digit0", '0'},
    {"Digit1", '1'},
    {"Digit2", '2'},
    {"Digit3", '3'},
    {"Digit4", '4'},
    {"Digit5", '5'},
    {"Digit6", '6'},
    {"Digit7", '7'},
    {"Digit8", '8'},
    {"Digit9", '9'},
    {"F1", VK_F1},
    {"F10", VK_F10},
    {"F12", VK_F12},
    {"Numpad1", VK_NUMPAD1}, // by place: with Num Lock off as well (then e.key is "End")
    {"Numpad3", VK_NUMPAD3},
    {"Numpad5", VK_NUMPAD5},
    {"Numpad7", VK_NUMPAD7},
    {"Equal", VK_OEM_PLUS},
    {"Minus", VK_OEM_MINUS},
    {"NumpadAdd", VK_ADD},
    {"NumpadSubtract", VK_SUBTRACT},
    {"BracketLeft", VK_OEM_4},
    {"BracketRight", VK_OEM_6},
};

unsigned char virtualKey(const EmscriptenKeyboardEvent& e) {
  if (std::strlen(e.key) == 1 && std::isalpha((unsigned char)e.key[0]))
    return (unsigned char)std::toupper((unsigned char)e.key[0]);
  for (const KeyName& k : keyNames)
    if (!std::strcmp(e.code, k.code)) return k.vk;
  return 0;
}

// Whether the viewer's canvas has the page's focus (a click or Tab put it there): only then
// are key presses the viewer's; buttons, boxes and text keep theirs.
// clang-format off
EM_JS(int, canvasFocused, (), { return document.activeElement === Module.canvas ? 1 : 0; });
EM_JS(void, focusCanvas, (), { Module.canvas.focus({preventScroll: true}); });
// clang-format on

// The browser's own keys, never taken: copy, find, reload, the address bar, its tools (F12).
bool browserKey(const EmscriptenKeyboardEvent& e) {
  if (!std::strcmp(e.code, "F12")) return true; // the browser's tools; the page has Save picture
  return (e.ctrlKey || e.metaKey) && std::strlen(e.key) == 1 &&
         std::strchr("cfrlCFRL", e.key[0]) != nullptr;
}

// Key events become WM_KEYDOWN / WM_KEYUP with bit 30 for auto-repeat and release; presses
// are the viewer's while the canvas has the focus (and then kept from the page: arrows would
// scroll it). Releases always reach the viewer, so no key stays held.
EM_BOOL onKey(int type, const EmscriptenKeyboardEvent* e, void*) {
  unsigned char vk = virtualKey(*e);
  if (!web.window || !vk) return EM_FALSE;
  bool focused = canvasFocused();
  if (type == EMSCRIPTEN_EVENT_KEYDOWN && (!focused || browserKey(*e))) return EM_FALSE;
  postKey(web.window, vk, type == EMSCRIPTEN_EVENT_KEYDOWN, e->repeat, false, 0);
  return focused ? EM_TRUE : EM_FALSE;
}

// The page's point for a client position (CSS pixels from the viewport's corner) in canvas
// pixels, packed as lParam.
// clang-format off
EM_JS(int, canvasPoint, (double clientX, double clientY), {
  const c = Module.canvas, r = c.getBoundingClientRect();
  const x = Math.round((clientX - r.left) * c.width / (r.width || 1));
  const y = Math.round((clientY - r.top) * c.height / (r.height || 1));
  return (x & 0xFFFF) | ((y & 0xFFFF) << 16);
});
// clang-format on

WPARAM mouseKeys(const EmscriptenMouseEvent& e) {
  WPARAM k = 0;
  if (e.buttons & 1) k |= MK_LBUTTON;
  if (e.buttons & 2) k |= MK_RBUTTON;
  if (e.buttons & 4) k |= MK_MBUTTON;
  if (e.shiftKey) k |= MK_SHIFT;
  if (e.ctrlKey) k |= MK_CONTROL;
  return k;
}

// Button and move messages as Windows sends them: presses on the canvas, moves and releases
// anywhere (the window has the mouse while a button is held).
EM_BOOL onMouse(int type, const EmscriptenMouseEvent* e, void*) {
  if (!web.window) return EM_FALSE;
  LPARAM xy = canvasPoint(e->clientX, e->clientY);
  if (type == EMSCRIPTEN_EVENT_MOUSEMOVE) {
    postMouseMove(web.window, mouseKeys(*e), xy);
    return EM_FALSE;
  }
  bool down = type == EMSCRIPTEN_EVENT_MOUSEDOWN;
  if (down) focusCanvas(); // a press on the canvas gives it the keys, as a click on a window does
  UINT m = e->button == 0   ? (down ? WM_LBUTTONDOWN : WM_LBUTTONUP)
           : e->button == 2 ? (down ? WM_RBUTTONDOWN : WM_RBUTTONUP)
           : e->button == 1 ? (down ? WM_MBUTTONDOWN : WM_MBUTTONUP)
                            : 0;
  if (m) postMessage(web.window, m, mouseKeys(*e), xy);
  return down ? EM_TRUE : EM_FALSE;
}

// Each wheel event is a notch, away from the user (up) or towards the user (down); the page
// does not scroll while the wheel turns over the canvas.
EM_BOOL onWheel(int, const EmscriptenWheelEvent* e, void*) {
  if (!web.window || e->deltaY == 0) return EM_FALSE;
  int delta = e->deltaY < 0 ? WHEEL_DELTA : -WHEEL_DELTA;
  postMessage(web.window, WM_MOUSEWHEEL, MAKEWPARAM(mouseKeys(e->mouse), delta),
              MAKELPARAM(e->mouse.screenX, e->mouse.screenY));
  return EM_TRUE;
}

// Touch as the mouse: one finger is the left button (a drag turns, a tap picks; a long press,
// or a tap with Ctrl held, is a Ctrl+click, which measures); with two, their midpoint is the
// right button (a pan) and their spread turns the wheel, 30 units (one forward step) per 10
// pixels of spread; or, when they turn 8 degrees about each other before the midpoint or the
// spread has moved 8 pixels, the middle button (an orbit about the point under the midpoint),
// a degree of orbit per degree turned. Once two fingers touched, the gesture stays what it
// became until every finger is up.
struct Touches {
  int down = 0;      // fingers on the canvas
  bool pair = false; // two fingers have touched in this gesture
  int kind = 0;      // what the pair does: 0 not yet known, 1 pan and pinch, 2 orbit
  double spread = 0; // distance between the two, canvas pixels
  double wheel = 0;  // spread not yet sent as wheel units
  double angle = 0;  // the direction from the first finger to the second, degrees
  double turned = 0; // degrees the pair has turned in this gesture
  double startSpread = 0, startX = 0, startY = 0; // the pair's spread and midpoint at the start
  int orbitX = 0;                                 // where the orbit's drag began, client pixels
  LPARAM at = 0;                                  // the point last sent
  double since = 0;                               // when the one finger went down, ms
} touches;

// A finger held this long (ms) without a second is a long press.
constexpr double longPress = 500;

LPARAM pointOf(const EmscriptenTouchPoint& t) {
  return canvasPoint(t.clientX, t.clientY);
}

EM_BOOL onTouch(int type, const EmscriptenTouchEvent* e, void*) {
  if (!web.window) return EM_FALSE;
  const EmscriptenTouchPoint* on[2] = {};
  int n = 0;
  for (int i = 0; i < e->numTouches; i++) {
    bool gone = (type == EMSCRIPTEN_EVENT_TOUCHEND || type == EMSCRIPTEN_EVENT_TOUCHCANCEL) &&
                e->touches[i].isChanged;
    if (!gone && n < 2) on[n++] = &e->touches[i];
  }
  Touches& t = touches;
  if (n >= 2) {
    double x0 = on[0]->clientX, y0 = on[0]->clientY, x1 = on[1]->clientX, y1 = on[1]->clientY;
    double mx = (x0 + x1) / 2, my = (y0 + y1) / 2;
    LPARAM mid = canvasPoint(mx, my);
    double spread = std::hypot(x1 - x0, y1 - y0);
    double angle = std::atan2(y1 - y0, x1 - x0) * 180 / M_PI;
    if (!t.pair) {
      t.pair = true;
      t.kind = 0;
      postMessage(web.window, WM_RBUTTONDOWN, MK_RBUTTON | MK_LBUTTON, mid);
      if (t.down) postMessage(web.window, WM_LBUTTONUP, MK_RBUTTON, mid);
      t.spread = t.startSpread = spread;
      t.startX = mx;
      t.startY = my;
      t.wheel = 0;
      t.angle = angle;
      t.turned = 0;
      t.at = mid;
    } else {
      double d = std::remainder(angle - t.angle, 360.0);
      t.angle = angle;
      t.turned += d;
      if (t.kind == 0) {
        if (std::fabs(t.turned) >= 8) {
          // An orbit: the pan that has not moved yet ends where it began.
          t.kind = 2;
          postMessage(web.window, WM_RBUTTONUP, 0, t.at);
          postMessage(web.window, WM_MBUTTONDOWN, MK_MBUTTON, t.at);
          t.orbitX = GET_X_LPARAM(t.at);
        } else if (std::hypot(mx - t.startX, my - t.startY) >= 8 ||
                   std::fabs(spread - t.startSpread) >= 8)
          t.kind = 1;
      }
      if (t.kind == 1) {
        postMouseMove(web.window, MK_RBUTTON, mid);
        t.wheel += 3 * (spread - t.spread);
        t.spread = spread;
        int units = int(t.wheel);
        if (units) postMessage(web.window, WM_MOUSEWHEEL, MAKEWPARAM(MK_RBUTTON, units), mid);
        t.wheel -= units;
        t.at = mid;
      } else if (t.kind == 2) {
        // Four pixels of drag a degree, along x: turning clockwise drags right.
        int x = t.orbitX + int(std::lround(4 * t.turned)), y = GET_Y_LPARAM(t.at);
        t.at = MAKELPARAM(x, y);
        postMouseMove(web.window, MK_MBUTTON, t.at);
      }
    }
  } else if (t.pair) {
    if (t.down >= 2) postMessage(web.window, t.kind == 2 ? WM_MBUTTONUP : WM_RBUTTONUP, 0, t.at);
    if (n == 0) t.pair = false;
  } else if (n == 1) {
    t.at = pointOf(*on[0]);
    if (t.down == 0) {
      focusCanvas();
      t.since = emscripten_get_now();
      postMessage(web.window, WM_LBUTTONDOWN, MK_LBUTTON, t.at);
    } else
      postMouseMove(web.window, MK_LBUTTON, t.at);
  } else if (t.down == 1) {
    for (int i = 0; i < e->numTouches; i++)
      if (e->touches[i].isChanged) t.at = pointOf(e->touches[i]);
    bool ctrl = e->ctrlKey || emscripten_get_now() - t.since >= longPress;
    postMessage(web.window, WM_LBUTTONUP, ctrl ? MK_CONTROL : 0, t.at);
  }
  t.down = n;
  return EM_TRUE; // the canvas keeps its touches: no scrolling or zooming of the page
}

// Losing the focus is sent to the window procedure at once, as Windows does.
EM_BOOL onBlur(int, const EmscriptenFocusEvent*, void*) {
  if (web.window) web.window->proc(web.window, WM_KILLFOCUS, 0, 0);
  return EM_FALSE;
}

// The page's side, in JavaScript (kept as written: the formatter does not know it).
// clang-format off
EM_JS(int, pageWantsQuit, (), { return Module.kelvaneQuit ? 1 : 0; });

EM_JS(void, pageMessageBox, (const char* caption, const char* text), {
  Module.kelvaneMessage(UTF8ToString(caption) + ": " + UTF8ToString(text), true);
});

// A question the user answers: the browser's confirm; 1 for OK.
EM_JS(int, pageConfirm, (const char* text), { return window.confirm(UTF8ToString(text)) ? 1 : 0; });

EM_JS(void, pageNote, (const char* text), { Module.kelvaneMessage(UTF8ToString(text), false); });

// What the page may ask the viewer (kelvanePageAsk's `what`), by name, from the PageAsk enum.
EM_JS(void, declarePageAsks, (int select, int selectFit, int hide, int show, int play,
                              int picture, int saveMap), {
  Module.pageAsk = {select, selectFit, hide, show, play, picture, saveMap};
});

EM_ASYNC_JS(void, nextAnimationFrame, (), {
  await new Promise((resolve) => requestAnimationFrame(() => resolve()));
  if (Module.kelvanePass) Module.kelvanePass();
});
// clang-format on

// Starts (or stops) turning the page's mouse, wheel and touch events into messages.
void listenToPointer(bool on) {
  const char* canvas = "#canvas";
  const char* page = EMSCRIPTEN_EVENT_TARGET_WINDOW;
  emscripten_set_mousedown_callback(canvas, nullptr, EM_TRUE, on ? onMouse : nullptr);
  emscripten_set_mouseup_callback(page, nullptr, EM_TRUE, on ? onMouse : nullptr);
  emscripten_set_mousemove_callback(page, nullptr, EM_TRUE, on ? onMouse : nullptr);
  emscripten_set_wheel_callback(canvas, nullptr, EM_TRUE, on ? onWheel : nullptr);
  emscripten_set_touchstart_callback(canvas, nullptr, EM_TRUE, on ? onTouch : nullptr);
  emscripten_set_touchmove_callback(canvas, nullptr, EM_TRUE, on ? onTouch : nullptr);
  emscripten_set_touchend_callback(canvas, nullptr, EM_TRUE, on ? onTouch : nullptr);
  emscripten_set_touchcancel_callback(canvas, nullptr, EM_TRUE, on ? onTouch : nullptr);
}

// A lost context is kept for the browser to restore (the default would end it for good);
// frames go on meanwhile, drawing nothing.
EM_BOOL onContextLost(int, const void*, void*) {
  pageNote("The WebGL context was lost; the picture comes back when the browser restores it.");
  return EM_TRUE;
}

EM_BOOL onContextRestored(int, const void*, void*) {
  webglRestored();
  if (web.window) postMessage(web.window, glRestoredMessage, 0, 0);
  pageNote("The WebGL context was restored.");
  return EM_TRUE;
}

// The page's layout sizes the canvas to its place; a change reaches the viewer as WM_SIZE, sent
// while it looks for messages as Windows sends it, so the next frame has the canvas's size.
// The first look after the window is made sends it too: the viewer sets up a 640 x 480 view
// after creating its window, as for a desktop window of that size.
void followCanvasSize() {
  int w = 0, h = 0;
  emscripten_get_canvas_element_size("#canvas", &w, &h);
  if (w == web.sentWidth && h == web.sentHeight) return;
  web.sentWidth = w;
  web.sentHeight = h;
  web.window->proc(web.window, WM_SIZE, 0, MAKELPARAM(w, h));
  postPaint(web.window); // the canvas was cleared by its new size
}

} // namespace

// The page's outline asks the viewer (what: a PageAsk) about the lattice at list index `index`.
extern "C" EMSCRIPTEN_KEEPALIVE void kelvanePageAsk(int what, int index) {
  if (web.window && what >= 0 && WPARAM(what) <= pageSaveMap)
    postMessage(web.window, pageAskMessage, WPARAM(what), LPARAM(index));
}

// The page opened a keyframe file, written at `path` of the in-memory file system (malloc'd by
// allocateUTF8, freed here): it becomes the flight.
extern "C" EMSCRIPTEN_KEEPALIVE void kelvaneOpenFlight(char* path) {
  if (web.window)
    postMessage(web.window, pageAskMessage, pageFlight, LPARAM(new std::string(path)));
  std::free(path);
}

// The page asking the viewer to stop (to open another map) counts as a quit message with
// code 0; whatever was queued is dropped.
void pumpEvents() {
  if (web.window && pageWantsQuit()) {
    dropMessages(web.window);
    PostQuitMessage(int(pageQuitCode));
  }
  if (web.window) followCanvasSize();
}

// The page's events arrive while the browser runs, so waiting hands over to it until its next
// frame, as SwapBuffers does; the caller looks again then.
void waitEvents(DWORD) {
  nextAnimationFrame();
}

DWORD GetTickCount() {
  return DWORD(emscripten_get_now());
}

// The canvas stands for the window: its size is the one the page gave it, whatever was asked.
HWND CreateWindowExA(DWORD, LPCSTR className, LPCSTR title, DWORD, int, int, int, int, HWND, HMENU,
                     HINSTANCE, LPVOID) {
  WNDPROC proc = classProcedure(className);
  if (!proc || web.window) return nullptr;
  if (title) emscripten_set_window_title(title);
  web.window = newWindow(proc, nullptr);
  web.sentMaps = 0; // a new viewer: its first map's outline goes to the page
  web.sentPictures = 0;
  web.sentSaves = 0;
  declarePageAsks(pageSelect, pageSelectFit, pageHide, pageShow, pagePlay, pagePicture,
                  pageSaveMap);
  emscripten_set_keydown_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_TRUE, onKey);
  emscripten_set_keyup_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_TRUE, onKey);
  emscripten_set_blur_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_TRUE, onBlur);
  listenToPointer(true);
  emscripten_get_canvas_element_size("#canvas", &web.sentWidth, &web.sentHeight);
  sendCreated(web.window, MAKELPARAM(web.sentWidth, web.sentHeight));
  web.sentWidth = web.sentHeight = 0;
  return web.window;
}

BOOL DestroyWindow(HWND w) {
  if (!w || w != web.window) return FALSE;
  emscripten_set_keydown_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_TRUE, nullptr);
  emscripten_set_keyup_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_TRUE, nullptr);
  emscripten_set_blur_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_TRUE, nullptr);
  listenToPointer(false);
  touches = Touches{};
  deleteWindow(w);
  web.window = nullptr;
  return TRUE;
}

BOOL SetWindowTextA(HWND w, LPCSTR text) {
  if (!w || w != web.window) return FALSE;
  emscripten_set_window_title(text ? text : "");
  return TRUE;
}

BOOL ShowWindow(HWND w, int) {
  return w ? TRUE : FALSE;
}

// A notice is shown in the page's message area and returns at once; a question is the
// browser's confirm (OK is Yes; Cancel is No, or Cancel where the question has one).
int MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT type) {
  if ((type & 0xF) == MB_YESNO || (type & 0xF) == MB_YESNOCANCEL)
    return pageConfirm(text ? text : "") ? IDYES : (type & 0xF) == MB_YESNO ? IDNO : IDCANCEL;
  pageMessageBox(caption ? caption : "Error", text ? text : "");
  return IDOK;
}

// A page opens maps with its own "Open map..." button; no binding of the page asks for this.
BOOL GetOpenFileNameA(LPOPENFILENAMEA) {
  return FALSE;
}
DWORD CommDlgExtendedError() {
  return CDERR_INITIALIZATION;
}

// Shows the frame: the browser presents the canvas when control returns to it, so this hands
// over until the next animation frame, and tells the page the frame's count and camera.
BOOL SwapBuffers(HDC dc) {
  if (!dc) return FALSE;
  glFlush();
  const PageView* page = static_cast<const PageView*>(GetPropA(dc->wnd, pageViewProp));
  PageView none;
  const PageView& p = page && page->running ? *page : none;
  bool newOutline = page && p.maps != web.sentMaps;
  if (newOutline) web.sentMaps = p.maps;
  bool newPicture = page && p.pictures != web.sentPictures;
  if (newPicture) web.sentPictures = p.pictures;
  bool newSave = page && p.saves != web.sentSaves;
  if (newSave) web.sentSaves = p.saves;
  // The page view as one object, by name; the outline only when a new map has it, the picture
  // and the saved map only when new, else null.
  using emscripten::val;
  auto text = [](const std::string& t) { return val(t); }; // UTF-8, as embind passes strings
  auto bytes = [&](bool fresh, const std::string& b, const std::string& name) {
    if (!fresh) return val::null();
    val o = val::object();
    o.set("bytes", val(emscripten::typed_memory_view(
                           b.size(), reinterpret_cast<const unsigned char*>(b.data())))
                       .call<val>("slice"));
    o.set("name", text(name));
    return o;
  };
  val o = val::object();
  if (page && p.running) {
    val camera = val::array();
    for (float c : p.camera) camera.call<void>("push", c);
    o.set("camera", camera);
  } else
    o.set("camera", val::null());
  o.set("selected", p.selected);
  o.set("lattice", text(p.lattice));
  o.set("hidden", text(p.hidden));
  o.set("outline", newOutline ? text(p.outline) : val::null());
  o.set("changes", newOutline ? text(p.changes) : val::null());
  o.set("measure", text(p.measure));
  val flight = val::array();
  for (const std::string& k : p.flight) flight.call<void>("push", text(k));
  o.set("flight", flight);
  o.set("playing", p.playing);
  o.set("unsaved", p.unsaved);
  o.set("section", text(p.section));
  val view = val::object();
  view.set("line", text(p.view));
  view.set("camera", text(p.viewCamera));
  view.set("hidden", text(p.viewHidden));
  view.set("selected", p.viewSelected);
  view.set("count", p.views);
  view.set("section", text(p.viewSection));
  o.set("view", view);
  o.set("picture", bytes(newPicture, p.picture, p.pictureName));
  o.set("saved", bytes(newSave, p.savedMap, p.savedMapName));
  val::module_property("kelvaneBridge")(o);
  nextAnimationFrame();
  return TRUE;
}

// A WebGL context made like the desktop pixel format: depth buffer, no antialiasing, opaque.
// The canvas has one for the page's life: each run of the viewer gets it again (a browser
// keeps only a few contexts, and a canvas hands out the same one anyway).
HGLRC wglCreateContext(HDC dc) {
  if (!dc) return nullptr;
  if (web.context > 0) return reinterpret_cast<HGLRC>(intptr_t(web.context));
  EmscriptenWebGLContextAttributes a;
  emscripten_webgl_init_context_attributes(&a);
  a.depth = EM_TRUE;
  a.antialias = EM_FALSE;
  a.alpha = EM_FALSE;
  a.premultipliedAlpha = EM_FALSE;
  EMSCRIPTEN_WEBGL_CONTEXT_HANDLE ctx = emscripten_webgl_create_context("#canvas", &a);
  if (ctx <= 0) return nullptr;
  web.context = ctx;
  emscripten_set_webglcontextlost_callback("#canvas", nullptr, EM_TRUE, onContextLost);
  emscripten_set_webglcontextrestored_callback("#canvas", nullptr, EM_TRUE, onContextRestored);
  return reinterpret_cast<HGLRC>(intptr_t(ctx));
}

BOOL wglMakeCurrent(HDC dc, HGLRC rc) {
  if (!dc || !rc) {
    emscripten_webgl_make_context_current(0);
    return TRUE;
  }
  return emscripten_webgl_make_context_current(EMSCRIPTEN_WEBGL_CONTEXT_HANDLE(intptr_t(rc))) ==
                 EMSCRIPTEN_RESULT_SUCCESS
             ? TRUE
             : FALSE;
}
