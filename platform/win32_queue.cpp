// The Win32 subset both non-Windows layers share: window classes, the message queue in
// Windows order (queued messages first, then the quit message once posted), dispatch, and the
// one pixel format the layers offer.
#include "win32_layer.h"

#include <algorithm>
#include <deque>
#include <map>
#include <string>

namespace {

// The layer's whole state: the registered classes, the queue, the posted quit, the last error,
// and for GetAsyncKeyState the keys down now and those pressed since the last look at them.
struct Queue {
  std::map<std::string, WNDCLASSEXA> classes;
  std::deque<MSG> queue;
  bool quitPosted = false;
  int quitCode = 0;
  DWORD lastError = 0;
  bool asyncDown[256] = {}, asyncPressed[256] = {};
};
Queue q;

bool inRange(const MSG& m, UINT first, UINT last) {
  return (!first && !last) || (m.message >= first && m.message <= last);
}

} // namespace

WNDPROC classProcedure(LPCSTR className) {
  auto it = q.classes.find(className ? className : "");
  if (it != q.classes.end()) return it->second.lpfnWndProc;
  q.lastError = 1407; // class not found
  return nullptr;
}

HWND newWindow(WNDPROC proc, void* native) {
  HWND w = new HWND__{proc, {}, native, {}};
  w->dc.wnd = w;
  return w;
}

void sendCreated(HWND w, LPARAM clientSize) {
  w->proc(w, WM_CREATE, 0, 0);
  w->proc(w, WM_SIZE, 0, clientSize);
}

void dropMessages(HWND w) {
  std::erase_if(q.queue, [w](const MSG& m) { return m.hwnd == w; });
}

void deleteWindow(HWND w) {
  dropMessages(w);
  delete w;
}

void postMessage(HWND w, UINT message, WPARAM wParam, LPARAM lParam) {
  MSG m = {};
  m.hwnd = w;
  m.message = message;
  m.wParam = wParam;
  m.lParam = lParam;
  m.time = GetTickCount();
  q.queue.push_back(m);
}

void postKey(HWND w, unsigned char vk, bool down, bool repeat, bool sys, unsigned scancode) {
  q.asyncDown[vk] = down;
  if (down) q.asyncPressed[vk] = true;
  UINT msg = down ? (sys ? WM_SYSKEYDOWN : WM_KEYDOWN) : (sys ? WM_SYSKEYUP : WM_KEYUP);
  LPARAM lp = 1 | LPARAM(scancode & 0xFF) << 16;
  // The keypad's keys arrive as VK_NUMPAD*: the navigation keys here are the dedicated ones,
  // marked extended as Windows marks them.
  if ((vk >= VK_PRIOR && vk <= VK_DOWN) || vk == VK_INSERT || vk == VK_DELETE)
    lp |= LPARAM(1) << 24;
  if (!down || repeat) lp |= LPARAM(1) << 30;
  if (!down) lp |= LPARAM(1) << 31;
  postMessage(w, msg, vk, lp);
}

void postPaint(HWND w) {
  for (const MSG& m : q.queue)
    if (m.hwnd == w && m.message == WM_PAINT) return;
  postMessage(w, WM_PAINT, 0, 0);
}

void postMouseMove(HWND w, WPARAM keys, LPARAM xy) {
  if (!q.queue.empty() && q.queue.back().hwnd == w && q.queue.back().message == WM_MOUSEMOVE) {
    q.queue.back().wParam = keys;
    q.queue.back().lParam = xy;
    return;
  }
  postMessage(w, WM_MOUSEMOVE, keys, xy);
}

void setLastError(DWORD e) {
  q.lastError = e;
}

ATOM RegisterClassExA(const WNDCLASSEXA* wc) {
  if (!wc || wc->cbSize != sizeof(WNDCLASSEXA) || !wc->lpszClassName || !wc->lpfnWndProc ||
      q.classes.count(wc->lpszClassName)) {
    q.lastError = 87; // invalid parameter, or 1410 "class already exists" on Windows
    return 0;
  }
  q.classes[wc->lpszClassName] = *wc;
  return ATOM(0xC000 + q.classes.size());
}

BOOL UnregisterClassA(LPCSTR className, HINSTANCE) {
  return className && q.classes.erase(className) ? TRUE : FALSE;
}

BOOL SetPropA(HWND w, LPCSTR name, HANDLE data) {
  if (!w || !name) return FALSE;
  w->props[name] = data;
  return TRUE;
}

HANDLE GetPropA(HWND w, LPCSTR name) {
  if (!w || !name) return nullptr;
  auto it = w->props.find(name);
  return it == w->props.end() ? nullptr : it->second;
}

HANDLE RemovePropA(HWND w, LPCSTR name) {
  HANDLE data = GetPropA(w, name);
  if (data) w->props.erase(name);
  return data;
}

// SDL captures the mouse by itself while a button is held, and the page hears releases
// page-wide: both layers' windows have the mouse while a button is down.
HWND SetCapture(HWND) {
  return nullptr;
}

BOOL ReleaseCapture() {
  return TRUE;
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

BOOL PeekMessageA(MSG* msg, HWND, UINT first, UINT last, UINT remove) {
  pumpEvents();
  auto it = std::find_if(q.queue.begin(), q.queue.end(),
                         [&](const MSG& m) { return inRange(m, first, last); });
  if (it != q.queue.end()) {
    *msg = *it;
    if (remove & PM_REMOVE) q.queue.erase(it);
    return TRUE;
  }
  if (q.quitPosted && (q.queue.empty() || first || last)) {
    *msg = MSG{};
    msg->message = WM_QUIT;
    msg->wParam = WPARAM(q.quitCode);
    msg->time = GetTickCount();
    if (remove & PM_REMOVE) q.quitPosted = false;
    return TRUE;
  }
  return FALSE;
}

DWORD MsgWaitForMultipleObjects(DWORD count, const HANDLE*, BOOL, DWORD ms, DWORD) {
  pumpEvents();
  if (q.queue.empty() && !q.quitPosted) waitEvents(ms);
  pumpEvents();
  return !q.queue.empty() || q.quitPosted ? WAIT_OBJECT_0 + count : WAIT_TIMEOUT;
}

short GetAsyncKeyState(int vk) {
  if (vk < 0 || vk > 255) return 0;
  pumpEvents();
  short state = short((q.asyncDown[vk] ? 0x8000 : 0) | (q.asyncPressed[vk] ? 1 : 0));
  q.asyncPressed[vk] = false;
  return state;
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
  postMessage(w, message, wParam, lParam);
  return TRUE;
}

void PostQuitMessage(int code) {
  q.quitPosted = true;
  q.quitCode = code;
}

DWORD GetLastError() {
  return q.lastError;
}

// One format: double-buffered RGBA with a depth buffer, chosen when the context is made.
int ChoosePixelFormat(HDC dc, const PIXELFORMATDESCRIPTOR* pfd) {
  return dc && pfd ? 1 : 0;
}

BOOL SetPixelFormat(HDC dc, int format, const PIXELFORMATDESCRIPTOR* pfd) {
  return dc && pfd && format == 1 && (pfd->dwFlags & PFD_SUPPORT_OPENGL) ? TRUE : FALSE;
}
