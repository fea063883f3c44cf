// Window class, window creation, pixel format, view setup and the window procedure.
#include "app/window.h"
#include "platform/gl.h"
#include "doubles/gl_double.h"
#include "doubles/win_double.h"

#include <gtest/gtest.h>

namespace {

struct WindowTest : testing::Test {
  void SetUp() override {
    winDoubleReset();
    glDoubleReset();
  }
};

HINSTANCE instance() {
  return reinterpret_cast<HINSTANCE>(0x400000);
}

TEST_F(WindowTest, ClassAndWindow) {
  HWND w = reinterpret_cast<HWND>(1);
  ASSERT_TRUE(createMainWindow(&w, instance(), 640, 480));
  EXPECT_NE(w, nullptr);
  const WNDCLASSEXA& wc = winDouble.registered;
  EXPECT_EQ(wc.cbSize, sizeof(WNDCLASSEXA));
  EXPECT_EQ(wc.style, 0x0003u);
  EXPECT_EQ(wc.lpfnWndProc, mainWndProc);
  EXPECT_EQ(wc.hInstance, instance());
  EXPECT_STREQ(wc.lpszClassName, "MainWindowClass");
  EXPECT_EQ(wc.hIcon, reinterpret_cast<HICON>(32512));
  EXPECT_EQ(wc.hIconSm, reinterpret_cast<HICON>(32517));
  std::vector<std::string> order = {"LoadIconA",        "LoadCursorA",     "LoadIconA",
                                    "RegisterClassExA", "CreateWindowExA", "ShowWindow",
                                    "UpdateWindow"};
  ASSERT_EQ(winCallNames(), order); // the calls below are indexed
  EXPECT_EQ(winDouble.calls[1].args[1], "#32512");
  const WinCall* cw = &winDouble.calls[4];
  std::vector<std::string> args = {"0",
                                   "MainWindowClass",
                                   "Kelvane Map Viewer by Ruq",
                                   std::to_string(0x16CF0000),
                                   "0",
                                   "0",
                                   "640",
                                   "480",
                                   "null",
                                   "null",
                                   "handle",
                                   "null"};
  EXPECT_EQ(cw->args, args);
  EXPECT_EQ(winDouble.calls[5].args[1], "5");
}

TEST_F(WindowTest, CreationFailures) {
  HWND w = reinterpret_cast<HWND>(1);
  winDouble.failRegister = true;
  EXPECT_FALSE(createMainWindow(&w, instance(), 640, 480));
  EXPECT_EQ(w, reinterpret_cast<HWND>(1)); // not written
  EXPECT_EQ(findWinCall("CreateWindowExA"), nullptr);

  winDoubleReset();
  winDouble.failCreate = true;
  EXPECT_FALSE(createMainWindow(&w, instance(), 640, 480));
  EXPECT_EQ(w, nullptr);
  EXPECT_EQ(findWinCall("ShowWindow"), nullptr);
}

TEST_F(WindowTest, PixelFormat) {
  EXPECT_TRUE(setupPixelFormat(reinterpret_cast<HDC>(0xDC)));
  const PIXELFORMATDESCRIPTOR& p = winDouble.pfd;
  EXPECT_EQ(p.nSize, 40);
  EXPECT_EQ(p.dwFlags, 0x25u);
  EXPECT_EQ(p.cColorBits, 32);
  EXPECT_EQ(p.cDepthBits, 16);
  const WinCall* set = findWinCall("SetPixelFormat");
  ASSERT_NE(set, nullptr);
  EXPECT_EQ(set->args[1], "7"); // whatever ChoosePixelFormat chose
  winDouble.failPixelFormat = true;
  EXPECT_FALSE(setupPixelFormat(reinterpret_cast<HDC>(0xDC)));
}

TEST_F(WindowTest, ResizeView) {
  struct Case {
    int w, h;
    double vh, aspect;
  } cases[] = {
      {0, 0, 1, 0}, {800, 600, 600, 800.0 / 600}, {640, 480, 480, 640.0 / 480}, {7, 3, 3, 7.0 / 3}};
  for (const Case& c : cases) {
    glDoubleReset();
    resizeView(c.w, c.h);
    const auto& k = glDouble.calls;
    ASSERT_EQ(k.size(), 6u);
    EXPECT_EQ(k[0].fn, Gl::Viewport);
    EXPECT_EQ(k[0].a[2], c.w);
    EXPECT_EQ(k[0].a[3], c.vh);
    EXPECT_EQ(k[1].a[0], GL_PROJECTION);
    EXPECT_EQ(k[2].fn, Gl::LoadIdentity);
    EXPECT_EQ(k[3].fn, Gl::Perspective);
    EXPECT_EQ(k[3].a[0], 45.0);
    EXPECT_EQ(k[3].a[1], c.aspect);
    EXPECT_EQ(k[3].a[2], 1.0);
    EXPECT_EQ(k[3].a[3], 1000.0);
    EXPECT_EQ(k[4].a[0], GL_MODELVIEW);
    EXPECT_EQ(k[5].fn, Gl::LoadIdentity);
    EXPECT_EQ(glDouble.matrixMode, unsigned(GL_MODELVIEW));
    for (int i = 0; i < 16; i++) EXPECT_EQ(glDouble.modelview[i], i % 5 == 0 ? 1 : 0);
  }
}

TEST_F(WindowTest, WindowProcedure) {
  HWND w = reinterpret_cast<HWND>(1);
  EXPECT_EQ(mainWndProc(w, WM_CREATE, 0, 0), 0);
  EXPECT_TRUE(winDouble.calls.empty());

  EXPECT_EQ(mainWndProc(w, WM_CLOSE, 0, 0), 0);
  ASSERT_EQ(winCallNames(), std::vector<std::string>{"PostQuitMessage"});
  EXPECT_EQ(winDouble.calls[0].args[0], "0");

  EXPECT_EQ(mainWndProc(w, WM_SIZE, 0, MAKELPARAM(0xFFFF, 300)), 0);
  ASSERT_FALSE(glDouble.calls.empty());
  EXPECT_EQ(glDouble.calls[0].a[2], 65535); // unsigned 16-bit width
  EXPECT_EQ(glDouble.calls[0].a[3], 300);

  for (UINT m : {UINT(WM_PAINT), UINT(WM_KEYDOWN), UINT(0x0200)}) {
    winDoubleReset();
    EXPECT_EQ(mainWndProc(w, m, 65, 9), 0x5EF);
    ASSERT_EQ(winCallNames(), std::vector<std::string>{"DefWindowProcA"});
    EXPECT_EQ(winDouble.calls[0].args[1], std::to_string(m));
  }
}

} // namespace
