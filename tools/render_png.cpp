// `kelvane render`: the viewer's frame drawn in a headless GL context and written as PNG.
#include "toolkit.h"

#include "platform/gl.h"
#include "platform/headless.h"
#include "render/marks.h"
#include "render/frame.h"
#include "render/retained.h"
#include "render/view.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstring>
#include <vector>

namespace {

// libpng reports through these instead of printing; an error ends the write by longjmp.
struct PngErrors {
  std::string message;
  int savedErrno = 0;
};

void pngError(png_structp png, png_const_charp msg) {
  auto* e = static_cast<PngErrors*>(png_get_error_ptr(png));
  e->message = msg;
  e->savedErrno = errno;
  png_longjmp(png, 1);
}

void pngWarning(png_structp, png_const_charp) {}

// The header and the rows through libpng; false when it reported an error (by longjmp).
bool writeImage(png_structp png, png_infop info, std::FILE* f, int width, int height,
                std::vector<unsigned char>& rgb) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_init_io(png, f);
  png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  // GL rows run bottom to top; PNG rows top to bottom.
  for (int y = height - 1; y >= 0; y--) png_write_row(png, &rgb[size_t(y) * width * 3]);
  png_write_end(png, nullptr);
  return true;
}

// Writes the bottom-up RGB rows to `f`; false with `err` set when writing fails.
bool writePng(std::FILE* f, int width, int height, std::vector<unsigned char>& rgb,
              std::string& err) {
  PngErrors errors;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &errors, pngError, pngWarning);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  bool ok = png && info && writeImage(png, info, f, width, height, rgb);
  png_destroy_write_struct(&png, &info);
  if (!ok)
    err = errors.savedErrno ? std::strerror(errors.savedErrno)
                            : "could not write the PNG (" + errors.message + ")";
  return ok;
}

// Whether OpenGL drew the frame: no error pending after drawing and reading it back. False
// with `err` naming the first error.
bool glDrew(std::string& err) {
  GLenum e = glGetError();
  if (e == GL_NO_ERROR) return true;
  char code[16];
  std::snprintf(code, sizeof code, "0x%04x", unsigned(e));
  err = std::string("the frame did not draw (OpenGL error ") + code + "); no picture written";
  return false;
}

} // namespace

std::vector<bool> hiddenByIndex(const std::vector<int>& indices) {
  std::vector<bool> flags;
  for (int i : indices) {
    if (size_t(i) >= flags.size()) flags.resize(size_t(i) + 1, false);
    flags[size_t(i)] = true;
  }
  return flags;
}

bool renderPng(const Lattice* lat, const RenderJob& job, const std::string& out, std::string& where,
               std::string& err) {
  HeadlessContext hc;
  where = "render";
  if (!openHeadless(hc, job.width, job.height, err)) return false;
  glEnable(GL_DEPTH_TEST);
  viewProjection(job.width, job.height);
  ViewerState vs;
  vs.axisFlag = job.axes ? 1 : 0;
  Camera cam = job.cam;
  if (job.select >= 0) {
    vs.selectionShown = 1;
    cam.trot[Trot::selectedLattice] = float(drawnOrdinal(lat, job.select));
  }
  RetainedScene scene;
  buildRetained(lat, vs, job.budget, scene, job.triangles);
  hideLattices(scene, hiddenByIndex(job.hidden));
  uploadRetained(scene, glProc);
  drawRetainedFrame(scene, cam.trot, vs);
  if (job.grid && job.select >= 0) {
    const Lattice* L = latticeAt(lat, job.select);
    drawLatticeGrid(L, cam.trot, vs, latticeGridLines(L, vs));
  }
  std::vector<unsigned char> rgb(size_t(job.width) * job.height * 3);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, job.width, job.height, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
  bool drew = glDrew(err) && headlessIntact(hc, err);
  releaseRetained(scene);
  closeHeadless(hc);
  if (!drew) return false;
  where = out;
  Output o;
  if (!openOutput(out, o, err)) return false;
  bool ok = writePng(o.f, job.width, job.height, rgb, err);
  return commitOutput(o, ok, err);
}
