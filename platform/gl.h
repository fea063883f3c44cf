// OpenGL 1.1 and GLU, with what their headers need on Windows first.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#endif
#include <GL/gl.h>
#include <GL/glu.h>

// The current context's entry point for the OpenGL function `name` (one past OpenGL 1.1), or
// null where it has none. Each platform layer answers it: the window system's lookup, the
// web layer's own functions, the test double's.
void* glProc(const char* name);
