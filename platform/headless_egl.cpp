// Headless GL through EGL: Mesa's surfaceless platform where it exists (software rasterizer
// or a GPU driver), else the default display, with an RGB pbuffer and a depth buffer.
#include "headless.h"

#include "gl.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>

#include <cstdio>
#include <cstring>

namespace {

const char* const driverHint = "install an OpenGL driver with EGL (on Debian: apt-get install "
                               "libegl-mesa0 libgl1-mesa-dri)";

std::string eglError(const char* what) {
  char b[160];
  std::snprintf(b, sizeof b, "%s failed (EGL error 0x%04x)", what, eglGetError());
  return b;
}

// A display that needs no window system: the surfaceless platform where the driver has it,
// else the default display.
EGLDisplay headlessDisplay() {
  const char* ext = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
  if (ext && std::strstr(ext, "EGL_MESA_platform_surfaceless")) {
    auto get = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
        eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (get) {
      EGLDisplay d = get(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
      if (d != EGL_NO_DISPLAY) return d;
    }
  }
  return eglGetDisplay(EGL_DEFAULT_DISPLAY);
}

// An RGB pbuffer of the size asked, with a depth buffer like the viewer's window (24 bits
// where the driver offers them, as GLX picks on the same driver).
bool makeCurrent(HeadlessContext& hc, int width, int height, std::string& err) {
  EGLDisplay dpy = headlessDisplay();
  if (dpy == EGL_NO_DISPLAY || !eglInitialize(dpy, nullptr, nullptr)) {
    err = "no OpenGL driver to draw without a display (" + eglError("eglInitialize") + "); " +
          driverHint;
    return false;
  }
  hc.dpy = dpy;
  if (!eglBindAPI(EGL_OPENGL_API)) {
    err = "the EGL driver offers no desktop OpenGL (" + eglError("eglBindAPI") + "); " + driverHint;
    return false;
  }
  EGLConfig config = nullptr, configs[64];
  EGLint n = 0;
  for (EGLint depth : {24, 16}) {
    const EGLint attrs[] = {EGL_SURFACE_TYPE,
                            EGL_PBUFFER_BIT,
                            EGL_RENDERABLE_TYPE,
                            EGL_OPENGL_BIT,
                            EGL_RED_SIZE,
                            8,
                            EGL_GREEN_SIZE,
                            8,
                            EGL_BLUE_SIZE,
                            8,
                            EGL_DEPTH_SIZE,
                            depth,
                            EGL_NONE};
    if (eglChooseConfig(dpy, attrs, configs, 64, &n) && n > 0) break;
  }
  // EGL lists deeper colours first (10 bits a channel on Mesa), which round a colour otherwise
  // than the 8 bits of a window do: the first config of exactly 8 bits, as a window's, where
  // there is one.
  for (EGLint i = 0; i < n && !config; i++) {
    EGLint r = 0, g = 0, b = 0;
    eglGetConfigAttrib(dpy, configs[i], EGL_RED_SIZE, &r);
    eglGetConfigAttrib(dpy, configs[i], EGL_GREEN_SIZE, &g);
    eglGetConfigAttrib(dpy, configs[i], EGL_BLUE_SIZE, &b);
    if (r == 8 && g == 8 && b == 8) config = configs[i];
  }
  if (n > 0 && !config) config = configs[0];
  if (n < 1) {
    err = std::string("the EGL driver has no RGB pbuffer with a depth buffer; ") + driverHint;
    return false;
  }
  const EGLint surf[] = {EGL_WIDTH, width, EGL_HEIGHT, height, EGL_NONE};
  hc.surface = eglCreatePbufferSurface(dpy, config, surf);
  if (hc.surface == EGL_NO_SURFACE) {
    err = "no drawing surface of " + std::to_string(width) + "x" + std::to_string(height) + " (" +
          eglError("eglCreatePbufferSurface") + ")";
    return false;
  }
  const EGLint ctxAttrs[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK,
                             EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT, EGL_NONE};
  hc.ctx = eglCreateContext(dpy, config, EGL_NO_CONTEXT, ctxAttrs);
  if (hc.ctx == EGL_NO_CONTEXT) {
    err = "no OpenGL compatibility context (" + eglError("eglCreateContext") + ")";
    return false;
  }
  if (!eglMakeCurrent(dpy, hc.surface, hc.surface, hc.ctx)) {
    err = "the OpenGL context cannot be made current (" + eglError("eglMakeCurrent") + ")";
    return false;
  }
  return true;
}

} // namespace

bool openHeadless(HeadlessContext& hc, int width, int height, std::string& err) {
  if (!makeCurrent(hc, width, height, err)) {
    closeHeadless(hc);
    return false;
  }
  hc.width = width;
  hc.height = height;
  return true;
}

bool headlessIntact(const HeadlessContext& hc, std::string& err) {
  EGLint e = eglGetError();
  if (e != EGL_SUCCESS) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%04x", unsigned(e));
    err = std::string("the drawing surface failed (EGL error ") + code + ")";
    return false;
  }
  if (eglGetCurrentContext() != hc.ctx || eglGetCurrentSurface(EGL_DRAW) != hc.surface) {
    err = "the drawing surface was lost while drawing";
    return false;
  }
  return true;
}

void closeHeadless(HeadlessContext& hc) {
  if (!hc.dpy) return;
  eglMakeCurrent(hc.dpy, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
  if (hc.ctx) eglDestroyContext(hc.dpy, hc.ctx);
  if (hc.surface) eglDestroySurface(hc.dpy, hc.surface);
  eglTerminate(hc.dpy);
  hc = HeadlessContext{};
}

void* glProc(const char* name) {
  return reinterpret_cast<void*>(eglGetProcAddress(name));
}
