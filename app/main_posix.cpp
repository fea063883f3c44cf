// Entry on systems without WinMain: the arguments, joined by single blanks, are the
// command-line tail; an argument with a blank in it is quoted, as a Windows shell passes it.
#include "platform/win32.h"

#include <string>

int main(int argc, char** argv) {
  std::string tail;
  for (int i = 1; i < argc; i++) {
    if (i > 1) tail += ' ';
    std::string arg = argv[i];
    bool blank = arg.find_first_of(" \t") != std::string::npos;
    tail += blank ? '"' + arg + '"' : arg;
  }
  static int instance;
  return WinMain(reinterpret_cast<HINSTANCE>(&instance), nullptr, tail.data(), SW_SHOW);
}
