// Every key and mouse control of the viewer, in one table: --help, the man page (made from
// --help) and the window's help sheet (F1) all list it, so they cannot drift apart.
#pragma once

#include <string>

struct Control {
  const char* keys; // as a user presses them: "E / D", "Shift+Tab", "left drag"
  const char* does;
};

extern const Control controls[];
extern const int controlCount;

// What `kelvane-viewer --help` prints.
std::string helpText();
