// `kelvane render`: the viewer's frame drawn through EGL with no window system (Mesa's
// software rasterizer or a GPU driver) and written as PNG.
#include "toolkit.h"

#include "render/frame.h"
#include "render/gl.h"
#include "render/view.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

std::string eglError(const char* what) {
  char b[96];
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

// An RGB pbuffer of the size asked, with a depth buffer like the viewer's
// window (24 bits where the driver offers them, as GLX picks on the same driver).
bool makeCurrent(HeadlessContext& hc, int width, int height, std::string& err) {
  EGLDisplay dpy = headlessDisplay();
  if (dpy == EGL_NO_DISPLAY || !eglInitialize(dpy, nullptr, nullptr)) {
    err = eglError("eglInitialize");
    return false;
  }
  hc.dpy = dpy;
  if (!eglBindAPI(EGL_OPENGL_API)) {
    err = eglError("eglBindAPI(OpenGL)");
    return false;
  }
  EGLConfig config = nullptr;
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
    if (eglChooseConfig(dpy, attrs, &config, 1, &n) && n > 0) break;
  }
  if (n < 1) {
    err = "no EGL configuration with an RGB pbuffer and a depth buffer";
    return false;
  }
  const EGLint surf[] = {EGL_WIDTH, width, EGL_HEIGHT, height, EGL_NONE};
  hc.surface = eglCreatePbufferSurface(dpy, config, surf);
  if (hc.surface == EGL_NO_SURFACE) {
    err = eglError("eglCreatePbufferSurface");
    return false;
  }
  const EGLint ctxAttrs[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK,
                             EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT, EGL_NONE};
  hc.ctx = eglCreateContext(dpy, config, EGL_NO_CONTEXT, ctxAttrs);
  if (hc.ctx == EGL_NO_CONTEXT) {
    err = eglError("eglCreateContext");
    return false;
  }
  if (!eglMakeCurrent(dpy, hc.surface, hc.surface, hc.ctx)) {
    err = eglError("eglMakeCurrent");
    return false;
  }
  return true;
}

bool writePng(const std::string& path, int width, int height, std::vector<unsigned char>& rgb,
              std::string& err) {
  std::FILE* f = path == "-" ? stdout : std::fopen(path.c_str(), "wb");
  if (!f) {
    err = std::strerror(errno);
    return false;
  }
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  bool ok = png && info;
  if (ok && setjmp(png_jmpbuf(png))) {
    ok = false;
  } else if (ok) {
    png_init_io(png, f);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    // GL rows run bottom to top; PNG rows top to bottom.
    for (int y = height - 1; y >= 0; y--) png_write_row(png, &rgb[size_t(y) * width * 3]);
    png_write_end(png, nullptr);
  }
  png_destroy_write_struct(&png, &info);
  ok = (f == stdout ? std::fflush(f) == 0 : std::fclose(f) == 0) && ok;
  if (!ok) err = "could not write PNG";
  return ok;
}

} // namespace

bool openHeadless(HeadlessContext& hc, int width, int height, std::string& err) {
  if (!makeCurrent(hc, width, height, err)) {
    closeHeadless(hc);
    return false;
  }
  hc.width = width;
  hc.height = height;
  glEnable(GL_DEPTH_TEST);
  viewProjection(width, height);
  return true;
}

void drawHeadlessFrame(const Lattice* lat, const Camera& cam, bool axes) {
  viewerState.axisFlag = axes ? 1 : 0;
  drawFrame(lat, cam.trot);
  glFinish();
}

void closeHeadless(HeadlessContext& hc) {
  if (!hc.dpy) return;
  eglMakeCurrent(hc.dpy, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
  if (hc.ctx) eglDestroyContext(hc.dpy, hc.ctx);
  if (hc.surface) eglDestroySurface(hc.dpy, hc.surface);
  eglTerminate(hc.dpy);
  hc = HeadlessContext{};
}

bool renderPng(const Lattice* lat, int width, int height, const Camera& cam, bool axes,
               const std::string& out, std::string& err) {
  HeadlessContext hc;
  if (!openHeadless(hc, width, height, err)) return false;
  drawHeadlessFrame(lat, cam, axes);
  std::vector<unsigned char> rgb(size_t(width) * height * 3);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
  closeHeadless(hc);
  return writePng(out, width, height, rgb, err);
}
