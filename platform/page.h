// What the web layer shows on the page besides the canvas, handed over by the app: the layer
// reads it after every frame and never writes it.
#pragma once

#include <string>

struct PageView {
  const float* camera = nullptr; // the running viewer's camera record (trot), null while none
  int selected = -1;             // list index of the selected lattice, -1 for none
  std::string lattice;           // what the page's panel shows of the selected lattice
  std::string hidden;            // the hidden lattices as P writes them ("2,5-9"), "" for none
  std::string outline;           // the drawn lattices for the page's outline (outlineText)
  std::string measure;           // the measurement's lines, "" for none
  std::string flight;            // the keyframes, a keyframeLine each
  bool playing = false;          // a flight is playing
};

// The window property through which the app hands its PageView to the layer; it lives as long
// as the window has it.
constexpr const char* pageViewProp = "KelvanePageView";
