// The Win32 subset played from a script, for tests of the window procedure and main loop.
#include "win_double.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

WinDouble winDouble;

struct HWND__ {
  int unused;
};

namespace {

HWND__ theWindow;
const HDC theDc = reinterpret_cast<HDC>(0xDC);
const HGLRC theRc = reinterpret_cast<HGLRC>(0x6C);

std::string str(const char* s) {
  if (!s) return "null";
  if (reinterpret_cast<uintptr_t>(s) < 0x10000) return "#" + std::to_string(uintptr_t(s));
  return s;
}
std::string num(intptr_t v) {
  return std::to_string(v);
}
std::string ptr(const void* p) {
  return p ? "handle" : "null";
}

void add(const std::string& fn, std::vector<std::string> args) {
  winDouble.calls.push_back({fn, std::move(args)});
}

} // namespace

void winDoubleReset() {
  winDouble = WinDouble{};
}

MSG keyMsg(UINT message, WPARAM vk, bool repeat) {
  MSG m{};
  m.hwnd = &theWindow;
  m.message = message;
  m.wParam = vk;
  m.lParam = 1 | (repeat || message == WM_KEYUP ? 1L << 30 : 0);
  if ((vk >= VK_PRIOR && vk <= VK_DOWN) || vk == VK_INSERT || vk == VK_DELETE)
    m.lParam |= 1L << 24; // the dedicated keys, as Windows marks them
  return m;
}

std::vector<std::string> winCallNames(const std::vector<std::string>& names) {
  std::vector<std::string> out;
  for (const WinCall& c : winDouble.calls)
    if (names.empty() || std::find(names.begin(), names.end(), c.fn) != names.end())
      out.push_back(c.fn);
  return out;
}

const WinCall* findWinCall(const std::string& fn) {
  for (const WinCall& c : winDouble.calls)
    if (c.fn == fn) return &c;
  return nullptr;
}

ATOM RegisterClassExA(const WNDCLASSEXA* wc) {
  add("RegisterClassExA", {str(wc->lpszClassName)});
  if (winDouble.failRegister) return 0;
  winDouble.registered = *wc;
  winDouble.registeredName = wc->lpszClassName;
  return 0xC001;
}

BOOL UnregisterClassA(LPCSTR name, HINSTANCE instance) {
  add("UnregisterClassA", {str(name), ptr(instance)});
  return TRUE;
}

HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR title, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                     LPVOID param) {
  add("CreateWindowExA",
      {num(exStyle), str(className), str(title), num(style), num(x), num(y), num(width),
       num(height), ptr(parent), ptr(menu), ptr(instance), ptr(param)});
  if (winDouble.failCreate) return nullptr;
  WNDPROC proc = winDouble.registered.lpfnWndProc;
  proc(&theWindow, WM_CREATE, 0, 0);
  proc(&theWindow, WM_SIZE, 0, MAKELPARAM(winDouble.clientWidth, winDouble.clientHeight));
  return &theWindow;
}

BOOL DestroyWindow(HWND hWnd) {
  add("DestroyWindow", {ptr(hWnd)});
  return TRUE;
}
BOOL ShowWindow(HWND hWnd, int cmd) {
  add("ShowWindow", {ptr(hWnd), num(cmd)});
  if (winDouble.shown) winDouble.shown();
  return TRUE;
}
DWORD GetTickCount() {
  return winDouble.tick;
}

BOOL SetWindowTextA(HWND hWnd, LPCSTR text) {
  add("SetWindowTextA", {ptr(hWnd), str(text)});
  return TRUE;
}

BOOL SetPropA(HWND hWnd, LPCSTR name, HANDLE data) {
  add("SetPropA", {ptr(hWnd), str(name), ptr(data)});
  winDouble.props[name] = data;
  return TRUE;
}

// A look-up changes nothing, so it is not recorded.
HANDLE GetPropA(HWND, LPCSTR name) {
  auto it = winDouble.props.find(name);
  return it == winDouble.props.end() ? nullptr : it->second;
}

HANDLE RemovePropA(HWND hWnd, LPCSTR name) {
  add("RemovePropA", {ptr(hWnd), str(name)});
  HANDLE data = GetPropA(hWnd, name);
  winDouble.props.erase(name);
  return data;
}

HWND SetCapture(HWND hWnd) {
  add("SetCapture", {ptr(hWnd)});
  return nullptr;
}

BOOL ReleaseCapture() {
  add("ReleaseCapture", {});
  return TRUE;
}

BOOL UpdateWindow(HWND hWnd) {
  add("UpdateWindow", {ptr(hWnd)});
  return TRUE;
}
HICON LoadIconA(HINSTANCE instance, LPCSTR name) {
  add("LoadIconA", {ptr(instance), str(name)});
  return reinterpret_cast<HICON>(uintptr_t(name));
}
HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name) {
  add("LoadCursorA", {ptr(instance), str(name)});
  return reinterpret_cast<HCURSOR>(uintptr_t(name) + 1);
}
HDC GetDC(HWND hWnd) {
  add("GetDC", {ptr(hWnd)});
  return theDc;
}
int ReleaseDC(HWND hWnd, HDC dc) {
  add("ReleaseDC", {ptr(hWnd), ptr(dc)});
  return 1;
}

// A look that does not take (PM_NOREMOVE) or that names messages (a filter) leaves time and the
// script's place alone; a filtered take removes the first match wherever it waits.
BOOL PeekMessageA(MSG* msg, HWND hWnd, UINT first, UINT last, UINT remove) {
  add("PeekMessageA", {ptr(hWnd), num(first), num(last), num(remove)});
  std::vector<std::optional<MSG>>& s = winDouble.script;
  if (first || last || !(remove & PM_REMOVE)) {
    for (size_t i = winDouble.next; i < s.size() && (first || last || i == winDouble.next); i++)
      if (s[i] && (!(first || last) || (s[i]->message >= first && s[i]->message <= last))) {
        *msg = *s[i];
        if (remove & PM_REMOVE) s.erase(s.begin() + long(i));
        return TRUE;
      }
    if (!winDouble.quitPosted || !(first || last || winDouble.next >= s.size())) return FALSE;
    *msg = MSG{};
    msg->message = WM_QUIT;
    msg->wParam = WPARAM(winDouble.quitCode);
    if (remove & PM_REMOVE) winDouble.quitPosted = false;
    return TRUE;
  }
  winDouble.tick += winDouble.tickStep;
  if (auto it = winDouble.at.find(winDouble.next); it != winDouble.at.end()) it->second();
  if (winDouble.next < s.size()) {
    const std::optional<MSG>& m = s[winDouble.next++];
    if (m) *msg = *m;
    return m.has_value();
  }
  if (!winDouble.quitPosted && winDouble.idle++ < 100) return FALSE;
  if (!winDouble.quitPosted) {
    // The script is over and nothing ended the loop: end it, and let the test see that.
    winDouble.scriptRanOut = true;
    winDouble.quitPosted = true;
    winDouble.quitCode = 99;
  }
  *msg = MSG{};
  msg->message = WM_QUIT;
  msg->wParam = WPARAM(winDouble.quitCode);
  winDouble.quitPosted = false;
  return TRUE;
}

// Returns at once: the script says what arrives on the next pass.
DWORD MsgWaitForMultipleObjects(DWORD, const HANDLE*, BOOL, DWORD ms, DWORD) {
  add("MsgWaitForMultipleObjects", {num(intptr_t(ms))});
  winDouble.waits.push_back(ms);
  return WAIT_TIMEOUT;
}

short GetAsyncKeyState(int vk) {
  short state = winDouble.asyncKeys[vk & 0xFF];
  winDouble.asyncKeys[vk & 0xFF] &= short(0x8000);
  return state;
}

BOOL TranslateMessage(const MSG* msg) {
  add("TranslateMessage", {num(msg->message)});
  return FALSE;
}

LRESULT DispatchMessageA(const MSG* msg) {
  add("DispatchMessageA", {num(msg->message)});
  return winDouble.registered.lpfnWndProc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

LRESULT DefWindowProcA(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  add("DefWindowProcA", {ptr(hWnd), num(message), num(intptr_t(wParam)), num(lParam)});
  return 0x5EF;
}

BOOL PostMessageA(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  add("PostMessageA", {ptr(hWnd), num(message), num(intptr_t(wParam)), num(lParam)});
  return TRUE;
}

void PostQuitMessage(int code) {
  add("PostQuitMessage", {num(code)});
  winDouble.quitPosted = true;
  winDouble.quitCode = code;
}

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  add("MessageBoxA", {ptr(owner), str(text), str(caption), num(type)});
  if ((type & 0xF) != MB_YESNO && (type & 0xF) != MB_YESNOCANCEL) return IDOK;
  if (winDouble.answers.empty()) return IDCANCEL;
  int answer = winDouble.answers.front();
  winDouble.answers.erase(winDouble.answers.begin());
  return answer;
}

BOOL GetOpenFileNameA(LPOPENFILENAMEA ofn) {
  add("GetOpenFileNameA", {ptr(ofn->hwndOwner), str(ofn->lpstrTitle), num(ofn->Flags)});
  const std::string& chosen = winDouble.chosenFile;
  if (chosen.empty() || chosen == "!" || chosen.size() + 1 > ofn->nMaxFile) return FALSE;
  std::memcpy(ofn->lpstrFile, chosen.c_str(), chosen.size() + 1);
  return TRUE;
}

DWORD CommDlgExtendedError() {
  return winDouble.chosenFile == "!" ? CDERR_INITIALIZATION : 0;
}

DWORD GetLastError() {
  return 1400;
}

int ChoosePixelFormat(HDC dc, const PIXELFORMATDESCRIPTOR* pfd) {
  add("ChoosePixelFormat", {ptr(dc)});
  winDouble.pfd = *pfd;
  return 7;
}
BOOL SetPixelFormat(HDC dc, int format, const PIXELFORMATDESCRIPTOR* pfd) {
  add("SetPixelFormat", {ptr(dc), num(format), ptr(pfd)});
  return !winDouble.failPixelFormat;
}
BOOL SwapBuffers(HDC dc) {
  add("SwapBuffers", {ptr(dc)});
  winDouble.swaps++;
  return TRUE;
}
HGLRC wglCreateContext(HDC dc) {
  add("wglCreateContext", {ptr(dc)});
  return winDouble.failContext ? nullptr : theRc;
}
BOOL wglMakeCurrent(HDC dc, HGLRC rc) {
  add("wglMakeCurrent", {ptr(dc), ptr(rc)});
  return rc && winDouble.failMakeCurrent ? FALSE : TRUE;
}
