// The main window, its pixel format, the view for a client size, and the window procedure.
#pragma once

#include "platform/messages.h"
#include "platform/win32.h"

extern const char* const windowClassName; // "MainWindowClass"
extern const char* const windowTitle;     // "Kelvane Map Viewer by Ruq"

// Registers the class and creates and shows the window, outer size width x height at (0, 0).
// False when registration (window untouched) or creation (window set to null) fails.
bool createMainWindow(HWND* window, HINSTANCE instance, int width, int height);
// Chooses and sets the window's pixel format; false when the system offers none or refuses it.
bool setupPixelFormat(HDC dc);
// Viewport and projection for a client size in pixels; leaves model-view current and identity.
void resizeView(int width, int height);

// The size the view was last set up for, in pixels.
struct ViewSize {
  int width = 640, height = 480;
};

// The window property that points at the running viewer's ViewSize, which the window
// procedure keeps up to date on WM_SIZE.
constexpr const char* viewSizeProp = "KelvaneViewSize";

LRESULT CALLBACK mainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

struct Viewer;

// The viewer's window: opens it with a current GL context, the 640 x 480 view and the
// viewer's record attached, or says why not; closes it again.
bool openViewerWindow(Viewer& v);
void closeViewerWindow(Viewer& v);
