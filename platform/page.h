// What the web layer shows on the page besides the canvas, handed over by the app: the layer
// reads it after every frame and never writes it.
#pragma once

#include <string>

struct PageView {
  const float* camera = nullptr; // the running viewer's camera record (trot), null while none
  int selected = -1;             // list index of the selected lattice, -1 for none
  std::string lattice;           // what the page's panel shows of the selected lattice
};

// `view` must outlive the page.
void setPageView(const PageView* view);

// Posted to the viewer's window by the web layer when the browser gives back a lost WebGL
// context (WM_APP + 2): what the viewer made in GL is gone and must be made again.
constexpr unsigned glRestoredMessage = 0x8000 + 2;
