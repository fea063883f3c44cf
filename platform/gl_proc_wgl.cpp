// OpenGL past 1.1 on Windows: the driver's entry points for the current context, through
// wglGetProcAddress (opengl32.dll itself exports only OpenGL 1.1).
#include "gl.h"

#include <cstdint>

void* glProc(const char* name) {
  PROC p = wglGetProcAddress(name);
  // Some drivers answer a small number instead of null for a name they do not have.
  intptr_t v = reinterpret_cast<intptr_t>(p);
  return v >= -1 && v <= 3 ? nullptr : reinterpret_cast<void*>(p);
}
