// An OpenGL context with a drawing surface and no window system (EGL), for rendering on a
// machine without a display.
#pragma once

#include <string>

struct HeadlessContext {
  void* dpy = nullptr;
  void* surface = nullptr;
  void* ctx = nullptr;
  int width = 0, height = 0;
};

// Makes a compatibility-profile context with a width x height RGB surface and a depth buffer
// current. False, with `err` saying what is missing and how to get it, when there is none.
bool openHeadless(HeadlessContext& hc, int width, int height, std::string& err);
// Whether the context and its surface came through the drawing: still current, no EGL error.
// False with `err` saying what went wrong.
bool headlessIntact(const HeadlessContext& hc, std::string& err);
void closeHeadless(HeadlessContext& hc);
