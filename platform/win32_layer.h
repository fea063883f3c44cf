// What the Win32 layers over SDL2 and over the browser share: the window record, the class
// table, the message queue with the quit message, and the last error. Each layer supplies
// pumpEvents, which turns its system's events into queued (or sent) messages, and
// GetTickCount, which stamps them.
#pragma once

#include "win32.h"

#include <map>
#include <string>

struct HDC__ {
  HWND wnd;
};

struct HWND__ {
  WNDPROC proc;
  HDC__ dc;
  void* native; // the layer's own window (the SDL window; null for the page's canvas)
  std::map<std::string, HANDLE> props;
};

// Turns the system's pending events into messages; PeekMessageA calls it first. Never waits.
void pumpEvents();
// Waits until the system has an event or `ms` milliseconds have passed; events that arrive are
// queued as pumpEvents queues them.
void waitEvents(DWORD ms);

// The window procedure of a registered class, or null (last error set) when there is none.
WNDPROC classProcedure(LPCSTR className);
HWND newWindow(WNDPROC proc, void* native);
// What Windows sends a window while CreateWindowExA makes it: WM_CREATE, then WM_SIZE with the
// client size packed as WM_SIZE packs it.
void sendCreated(HWND w, LPARAM clientSize);
// Drops every message queued for the window.
void dropMessages(HWND w);
// Forgets the window and every message queued for it.
void deleteWindow(HWND w);
void postMessage(HWND w, UINT message, WPARAM wParam, LPARAM lParam);
// Key messages as Windows sends them: bit 30 for a key already down, bits 30 and 31 on release;
// system-key messages when `sys`.
void postKey(HWND w, unsigned char vk, bool down, bool repeat, bool sys, unsigned scancode);
void setLastError(DWORD e);
// The window's picture must be drawn again (it was uncovered or resized): one WM_PAINT waits,
// as Windows keeps one.
void postPaint(HWND w);
// A mouse move, as Windows keeps it: it replaces a move still waiting at the queue's end.
void postMouseMove(HWND w, WPARAM keys, LPARAM xy);
