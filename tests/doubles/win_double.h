// Test double for the window system: plays a scripted message queue and records every call
// with its arguments.
#pragma once

#include "platform/win32.h"

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

struct WinCall {
  std::string fn;
  std::vector<std::string> args;
};

struct WinDouble {
  std::vector<WinCall> calls;
  // One entry per PeekMessageA call: a message, or nothing pending on that pass.
  std::vector<std::optional<MSG>> script;
  size_t next = 0;
  // Test code run when PeekMessageA reaches that entry of the script, before it is returned.
  std::map<size_t, std::function<void()>> at;
  std::function<void()> shown; // test code run when the window is shown, before the map loads
  bool quitPosted = false;
  int quitCode = 0;
  bool failRegister = false, failCreate = false;
  bool failPixelFormat = false, failContext = false, failMakeCurrent = false;
  int clientWidth = 624, clientHeight = 441; // what WM_SIZE reports at creation
  WNDCLASSEXA registered{};
  std::string registeredName;
  PIXELFORMATDESCRIPTOR pfd{};
  std::map<std::string, HANDLE> props; // the window's properties
  int swaps = 0;
  DWORD tick = 0;            // GetTickCount; each PeekMessageA call moves it on by tickStep
  DWORD tickStep = 20;       // more than a 60th of a second: the loop's pacing never waits here
  std::vector<DWORD> waits;  // the timeouts the loop waited for messages with, in order
  short asyncKeys[256] = {}; // what GetAsyncKeyState says of each key
  int idle = 0;              // empty passes after the script ended
  bool scriptRanOut = false; // nothing ended the loop within 100 passes after the script
  std::vector<int> answers;  // what MessageBoxA's questions get, in order; then IDCANCEL
  std::string chosenFile;    // what the open dialog picks: "" the user cancels, "!" no dialog
};

extern WinDouble winDouble;

void winDoubleReset();
MSG keyMsg(UINT message, WPARAM vk, bool repeat = false);
// Names of the recorded calls, in order, that are among `names` (all when empty).
std::vector<std::string> winCallNames(const std::vector<std::string>& names = {});
const WinCall* findWinCall(const std::string& fn);
