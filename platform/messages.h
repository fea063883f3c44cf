// The viewer's own window messages, from WM_APP up: one table, so no two share an id. The app
// and the platform layers that post them both include it.
#pragma once

#include "win32.h"

// Posted to the window's own queue when it loses the keyboard focus: every key counts as up.
constexpr UINT keysReleasedMessage = WM_APP + 1;
// Posted to the viewer's window by the web layer when the browser gives back a lost WebGL
// context: what the viewer made in GL is gone and must be made again.
constexpr UINT glRestoredMessage = WM_APP + 2;
// Posted by the web layer when the page asks for something: wParam says what (one of PageAsk),
// lParam is the lattice's list index where it names one.
constexpr UINT pageAskMessage = WM_APP + 3;
// The WM_QUIT code of the page's request to stop for another map: the page has asked the user
// about unsaved edits already, so the viewer does not ask again.
constexpr WPARAM pageQuitCode = 3;
// pageFlight's lParam is a std::string* (the keyframe file's name), the taker's to delete.
enum PageAsk : WPARAM {
  pageSelect,
  pageSelectFit,
  pageHide,
  pageShow,
  pagePlay,
  pagePicture,
  pageSaveMap,
  pageFlight
};
