// The Win32 layer over SDL2, driven by real SDL events under SDL's offscreen driver.
#include "platform/win32.h"

#include "app/camera.h"
#include "app/controls.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace {

std::vector<MSG> seen; // what the window procedure received
LRESULT CALLBACK recordProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  MSG msg{};
  msg.hwnd = w;
  msg.message = m;
  msg.wParam = wp;
  msg.lParam = lp;
  seen.push_back(msg);
  return m == WM_CLOSE ? 7 : 0;
}

HWND makeWindow() {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = recordProc;
  wc.lpszClassName = "TestClass";
  RegisterClassExA(&wc);
  return CreateWindowExA(0, "TestClass", "test", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 320, 200,
                         nullptr, nullptr, nullptr, nullptr);
}

void key(Uint32 type, SDL_Scancode sc, Uint16 mod = 0, bool repeat = false, SDL_Keycode sym = 0,
         Uint32 window = 1) {
  SDL_Event e{};
  e.type = type;
  e.key.windowID = window;
  e.key.keysym.scancode = sc;
  e.key.keysym.sym = sym;
  e.key.keysym.mod = mod;
  e.key.repeat = repeat;
  e.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
  SDL_PushEvent(&e);
}

// The first test runs before any window exists: without a display SDL would quietly
// pick a driver that shows nothing, and the layer refuses that.
TEST(PlatformSdl, RefusesAWindowNobodyCanSee) {
  unsetenv("SDL_VIDEODRIVER");
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = recordProc;
  wc.lpszClassName = "Refused";
  ASSERT_NE(RegisterClassExA(&wc), 0);
  EXPECT_EQ(RegisterClassExA(&wc), 0); // the name is taken
  testing::internal::CaptureStderr();
  HWND w = CreateWindowExA(0, "Refused", "x", WS_VISIBLE, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                           nullptr);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(w, nullptr);
  EXPECT_NE(GetLastError(), 0u);
  EXPECT_NE(err.find("window system:"), std::string::npos);
  EXPECT_TRUE(UnregisterClassA("Refused", nullptr));
  EXPECT_EQ(CreateWindowExA(0, "Refused", "x", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr),
            nullptr);
}

TEST(PlatformSdl, WindowMessagesInWindowsOrder) {
  setenv("SDL_VIDEODRIVER", "offscreen", 1);
  seen.clear();
  HWND w = makeWindow();
  ASSERT_NE(w, nullptr);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].message, UINT(WM_CREATE));
  EXPECT_EQ(seen[1].message, UINT(WM_SIZE));
  EXPECT_EQ(LOWORD(seen[1].lParam), 320);
  EXPECT_EQ(HIWORD(seen[1].lParam), 200);

  HDC dc = GetDC(w);
  PIXELFORMATDESCRIPTOR pfd{};
  pfd.nSize = sizeof pfd;
  pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
  EXPECT_TRUE(SetPixelFormat(dc, ChoosePixelFormat(dc, &pfd), &pfd));

  MSG m;
  EXPECT_FALSE(PeekMessageA(&m, w, 0, 0, PM_REMOVE)); // never waits

  struct Key {
    SDL_Scancode sc;
    WPARAM vk;
  } keys[] = {{SDL_SCANCODE_E, 'E'},      {SDL_SCANCODE_T, 'T'},       {SDL_SCANCODE_0, '0'},
              {SDL_SCANCODE_7, '7'},      {SDL_SCANCODE_ESCAPE, 0x1B}, {SDL_SCANCODE_LEFT, 0x25},
              {SDL_SCANCODE_UP, 0x26},    {SDL_SCANCODE_RIGHT, 0x27},  {SDL_SCANCODE_DOWN, 0x28},
              {SDL_SCANCODE_SPACE, 0x20}, {SDL_SCANCODE_RETURN, 0x0D}, {SDL_SCANCODE_F1, 0x70},
              {SDL_SCANCODE_F12, 0x7B},   {SDL_SCANCODE_LSHIFT, 0x10}, {SDL_SCANCODE_RCTRL, 0x11},
              {SDL_SCANCODE_KP_5, 0x65}};
  for (const Key& k : keys) {
    key(SDL_KEYDOWN, k.sc);
    key(SDL_KEYDOWN, k.sc, 0, true);
    key(SDL_KEYUP, k.sc);
    ASSERT_TRUE(PeekMessageA(&m, w, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, UINT(WM_KEYDOWN));
    EXPECT_EQ(m.wParam, k.vk) << k.sc;
    EXPECT_EQ(m.lParam & (1 << 30), 0);
    ASSERT_TRUE(PeekMessageA(&m, w, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, UINT(WM_KEYDOWN)); // auto-repeat: already down
    EXPECT_NE(m.lParam & (1 << 30), 0);
    ASSERT_TRUE(PeekMessageA(&m, w, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, UINT(WM_KEYUP));
    EXPECT_EQ(m.wParam, k.vk);
  }
  key(SDL_KEYDOWN, SDL_SCANCODE_APPLICATION); // no virtual key: nothing
  key(SDL_KEYDOWN, SDL_SCANCODE_E, KMOD_LALT);
  key(SDL_KEYDOWN, SDL_SCANCODE_F10);
  ASSERT_TRUE(PeekMessageA(&m, w, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.message, UINT(WM_SYSKEYDOWN));
  EXPECT_EQ(m.wParam, WPARAM('E'));
  ASSERT_TRUE(PeekMessageA(&m, w, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.message, UINT(WM_SYSKEYDOWN));
  EXPECT_EQ(m.wParam, WPARAM(0x79));

  // Letters follow the layout: on AZERTY the key at Q's place is labelled A. Keys whose label
  // is no Latin letter go by their place.
  struct Layout {
    SDL_Scancode sc;
    SDL_Keycode sym;
    WPARAM vk;
  } layouts[] = {
      {SDL_SCANCODE_Q, SDLK_a, 'A'},         {SDL_SCANCODE_A, SDLK_q, 'Q'},
      {SDL_SCANCODE_W, SDLK_z, 'Z'},         {SDL_SCANCODE_E, 0x0443, 'E'}, // a Cyrillic letter
      {SDL_SCANCODE_1, SDLK_AMPERSAND, '1'}, {SDL_SCANCODE_UP, SDLK_UP, VK_UP}};
  for (const Layout& k : layouts) {
    key(SDL_KEYDOWN, k.sc, 0, false, k.sym);
    key(SDL_KEYUP, k.sc, 0, false, k.sym);
    for (UINT want : {UINT(WM_KEYDOWN), UINT(WM_KEYUP)}) {
      ASSERT_TRUE(PeekMessageA(&m, w, 0, 0, PM_REMOVE));
      EXPECT_EQ(m.message, want);
      EXPECT_EQ(m.wParam, k.vk) << k.sc;
    }
  }

  // Losing the focus is sent to the window procedure at once, as Windows sends WM_KILLFOCUS.
  seen.clear();
  SDL_Event e{};
  e.type = SDL_WINDOWEVENT;
  e.window.windowID = 1;
  e.window.event = SDL_WINDOWEVENT_FOCUS_LOST;
  SDL_PushEvent(&e);
  EXPECT_FALSE(PeekMessageA(&m, w, 0, 0, PM_REMOVE));
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].message, UINT(WM_KILLFOCUS));
  EXPECT_TRUE(PostMessageA(w, WM_APP + 1, 5, 6));
  ASSERT_TRUE(PeekMessageA(&m, w, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.message, UINT(WM_APP + 1));
  EXPECT_EQ(m.wParam, 5u);
  EXPECT_EQ(m.hwnd, w);

  // A dropped file is WM_DROPFILES with a drop that DragQueryFileA reads, as on Windows.
  e = SDL_Event{};
  e.type = SDL_DROPFILE;
  e.drop.windowID = 1;
  e.drop.file = SDL_strdup("/maps/level two.map");
  SDL_PushEvent(&e);
  ASSERT_TRUE(PeekMessageA(&m, w, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.message, UINT(WM_DROPFILES));
  HDROP drop = reinterpret_cast<HDROP>(m.wParam);
  EXPECT_EQ(DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0), 1u);
  char name[64];
  EXPECT_EQ(DragQueryFileA(drop, 0, nullptr, 0), 19u);
  EXPECT_EQ(DragQueryFileA(drop, 0, name, sizeof name), 19u);
  EXPECT_STREQ(name, "/maps/level two.map");
  EXPECT_EQ(DragQueryFileA(drop, 0, name, 6), 5u); // cut to fit, terminated
  EXPECT_STREQ(name, "/maps");
  DragFinish(drop);

  // Mouse buttons and moves with client coordinates; moves waiting at the queue's end merge.
  e = SDL_Event{};
  e.type = SDL_MOUSEBUTTONDOWN;
  e.button.windowID = 1;
  e.button.button = SDL_BUTTON_RIGHT;
  e.button.x = 30;
  e.button.y = 40;
  SDL_PushEvent(&e);
  for (int x : {31, 35, 39}) {
    e = SDL_Event{};
    e.type = SDL_MOUSEMOTION;
    e.motion.windowID = 1;
    e.motion.state = SDL_BUTTON_RMASK;
    e.motion.x = x;
    e.motion.y = 41;
    SDL_PushEvent(&e);
  }
  ASSERT_TRUE(PeekMessageA(&m, w, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.message, UINT(WM_RBUTTONDOWN));
  EXPECT_EQ(GET_X_LPARAM(m.lParam), 30);
  EXPECT_EQ(GET_Y_LPARAM(m.lParam), 40);
  ASSERT_TRUE(PeekMessageA(&m, w, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.message, UINT(WM_MOUSEMOVE));
  EXPECT_EQ(GET_X_LPARAM(m.lParam), 39);
  EXPECT_EQ(m.wParam & MK_RBUTTON, WPARAM(MK_RBUTTON));
  EXPECT_FALSE(PeekMessageA(&m, w, 0, 0, PM_REMOVE));

  e = SDL_Event{};
  e.type = SDL_WINDOWEVENT;
  e.window.windowID = 1;
  e.window.event = SDL_WINDOWEVENT_CLOSE;
  SDL_PushEvent(&e);
  PostQuitMessage(3);
  key(SDL_KEYDOWN, SDL_SCANCODE_W);
  ASSERT_TRUE(PeekMessageA(&m, w, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(m.message, UINT(WM_CLOSE));
  ASSERT_TRUE(PeekMessageA(&m, w, 0, 0, PM_REMOVE));
  seen.clear();
  EXPECT_EQ(DispatchMessageA(&m), 7);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].message, UINT(WM_CLOSE));
  ASSERT_TRUE(PeekMessageA(&m, w, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.wParam, WPARAM('W')); // queued messages come before the quit message
  ASSERT_TRUE(PeekMessageA(&m, w, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.message, UINT(WM_QUIT));
  EXPECT_EQ(m.wParam, 3u);
  EXPECT_FALSE(PeekMessageA(&m, w, 0, 0, PM_REMOVE)); // once

  testing::internal::CaptureStderr();
  EXPECT_EQ(MessageBoxA(nullptr, "x.map", "Error opening file.", MB_OK | MB_ICONEXCLAMATION), IDOK);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error opening file.: x.map\n");

  EXPECT_TRUE(ReleaseDC(w, dc));
  EXPECT_TRUE(DestroyWindow(w));
  EXPECT_TRUE(UnregisterClassA("TestClass", nullptr));
}

// The scan code of a chord's key in the binding table (letters, digits 1 to 9, Tab, Enter,
// Backspace, the keypad's 1 to 7); none for others.
SDL_Scancode scancodeOf(int vk) {
  if (vk >= 'A' && vk <= 'Z') return SDL_Scancode(SDL_SCANCODE_A + (vk - 'A'));
  if (vk >= '1' && vk <= '9') return SDL_Scancode(SDL_SCANCODE_1 + (vk - '1'));
  if (vk >= VK_NUMPAD1 && vk <= VK_NUMPAD7)
    return SDL_Scancode(SDL_SCANCODE_KP_1 + (vk - VK_NUMPAD1));
  if (vk == VK_TAB) return SDL_SCANCODE_TAB;
  if (vk == VK_RETURN) return SDL_SCANCODE_RETURN;
  if (vk == VK_BACK) return SDL_SCANCODE_BACKSPACE;
  if (vk == VK_LEFT) return SDL_SCANCODE_LEFT;
  if (vk == VK_RIGHT) return SDL_SCANCODE_RIGHT;
  if (vk == VK_UP) return SDL_SCANCODE_UP;
  if (vk == VK_DOWN) return SDL_SCANCODE_DOWN;
  if (vk == VK_PRIOR) return SDL_SCANCODE_PAGEUP;
  if (vk == VK_NEXT) return SDL_SCANCODE_PAGEDOWN;
  return SDL_SCANCODE_UNKNOWN;
}

// Every chord of the binding table, its modifiers pressed in every order and all its keys let go
// in every order, as SDL reports them (the modifiers down after each event): the press finds
// its row, and afterwards no key is down in the key table, however Windows names the releases.
TEST(PlatformSdl, ChordsLetGoInAnyOrderLeaveNoKeyDown) {
  setenv("SDL_VIDEODRIVER", "offscreen", 1);
  HWND w = makeWindow();
  ASSERT_NE(w, nullptr);
  Uint32 id = 0;
  for (Uint32 i = 1; i < 64 && !id; i++)
    if (SDL_GetWindowFromID(i)) id = i;
  ASSERT_NE(id, 0u);
  struct Modifier {
    uint8_t mod;
    SDL_Scancode sc;
    Uint16 kmod;
  } const modifiers[] = {{modShift, SDL_SCANCODE_LSHIFT, KMOD_LSHIFT},
                         {modCtrl, SDL_SCANCODE_LCTRL, KMOD_LCTRL},
                         {modAlt, SDL_SCANCODE_LALT, KMOD_LALT}};
  int chords = 0;
  for (int r = 0; r < bindingCount; r++) {
    const Binding& b = bindings[r];
    uint8_t mods = b.mods & (modShift | modCtrl | modAlt);
    SDL_Scancode chordKey = scancodeOf(b.input);
    if (!mods || b.mods != mods || b.input >= 256) continue;
    ASSERT_NE(chordKey, SDL_SCANCODE_UNKNOWN) << b.keys;
    chords++;
    std::vector<int> held; // indices into modifiers; 3 stands for the chord's key
    for (int i = 0; i < 3; i++)
      if (mods & modifiers[i].mod) held.push_back(i);
    std::vector<int> press = held;
    do {
      std::vector<int> release = held;
      release.push_back(3);
      std::sort(release.begin(), release.end());
      do {
        Uint16 down = 0;
        unsigned char table[256] = {};
        auto send = [&](int k, bool pressed) {
          if (k < 3) down = pressed ? down | modifiers[k].kmod : down & ~modifiers[k].kmod;
          key(pressed ? SDL_KEYDOWN : SDL_KEYUP, k < 3 ? modifiers[k].sc : chordKey, down, false, 0,
              id);
          MSG m;
          while (PeekMessageA(&m, w, 0, 0, PM_REMOVE)) {
            Input kp = decodeInput(m, table);
            updateKeyTable(table, kp);
            if (k == 3 && pressed) {
              if (b.held) // a held row's chord takes its steps from the key table
                EXPECT_EQ(heldSteps(table, b.action), fastSteps) << b.keys << " row " << r;
              else
                EXPECT_EQ(lookUpAction(kp.key, kp.mods), b.action) << b.keys << " row " << r;
            }
          }
        };
        for (int k : press) send(k, true);
        send(3, true);
        for (int k : release) send(k, false);
        int stuck = int(std::count_if(table, table + 256, [](unsigned char c) { return c; }));
        EXPECT_EQ(stuck, 0) << "row " << r << " (" << b.keys << ")";
      } while (std::next_permutation(release.begin(), release.end()));
    } while (std::next_permutation(press.begin(), press.end()));
  }
  EXPECT_GT(chords, 10);
  EXPECT_TRUE(DestroyWindow(w));
  EXPECT_TRUE(UnregisterClassA("TestClass", nullptr));
}

} // namespace
