// Entry on systems without WinMain: the arguments, joined by single blanks, are the
// command-line tail.
#include "platform/win32.h"

#include <string>

int main(int argc, char** argv) {
  std::string tail;
  for (int i = 1; i < argc; i++) {
    if (i > 1) tail += ' ';
    tail += argv[i];
  }
  static int instance;
  return WinMain(reinterpret_cast<HINSTANCE>(&instance), nullptr, tail.data(), SW_SHOW);
}
