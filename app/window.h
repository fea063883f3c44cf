// The main window, its pixel format, the view for a client size, and the window procedure.
#pragma once

#include "platform/win32.h"

extern const char* const windowClassName; // "MainWindowClass"
extern const char* const windowTitle;     // "Kelvane Map Viewer by Ruq"

// Registers the class and creates and shows the window, outer size width x height at (0, 0).
// False when registration (window untouched) or creation (window set to null) fails.
bool createMainWindow(HWND* window, HINSTANCE instance, int width, int height);
void setupPixelFormat(HDC dc);
// Viewport and projection for a client size in pixels; leaves model-view current and identity.
void resizeView(int width, int height);
LRESULT CALLBACK mainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
