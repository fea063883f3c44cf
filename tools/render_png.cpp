// `kelvane render`: the viewer's frame drawn in a headless GL context and written as PNG, or a
// flight's frames as PNG files or a WebM video.
#include "parse.h"
#include "toolkit.h"
#include "video.h"

#include "platform/gl.h"
#include "platform/headless.h"
#include "render/compare.h"
#include "render/flight.h"
#include "render/frame.h"
#include "render/marks.h"
#include "render/retained.h"
#include "render/view_frame.h"
#include "render/view.h"
#include "render/world.h"

#include <png.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <filesystem>
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

// A headless context with the job's scene built: frames drawn from it for one camera or many.
struct FrameSource {
  HeadlessContext hc;
  RetainedScene scene;
  RetainedScene old; // --compare: the old map's removed lattices
  ViewerState vs;
  std::vector<float> grid; // the selected lattice's cell edges, with --grid
  SceneBox box;            // what an orthographic frame's depth range holds
  const Lattice* selected = nullptr;
  float selectedOrdinal = 0;
};

bool openFrames(FrameSource& f, const Lattice* lat, const RenderJob& job, std::string& err) {
  if (!openHeadless(f.hc, job.width, job.height, err)) return false;
  sceneContext();
  viewProjection(job.width, job.height, job.farPlane);
  f.vs.axisFlag = job.axes ? 1 : 0;
  f.vs.section = job.cut;
  if (job.select >= 0) {
    f.vs.selectionShown = 1;
    f.selected = latticeAt(lat, job.select);
    f.selectedOrdinal = float(drawnOrdinal(lat, job.select));
  }
  if (job.ortho > 0) {
    FitAlso removed;
    if (job.old) removed = {job.old, allButRemoved(*job.diff, job.old)};
    worldBox(lat, f.box, nullptr, job.triangles, {}, &removed);
  }
  buildRetained(lat, f.vs, job.budget, f.scene, job.triangles);
  hideLattices(f.scene, hiddenByIndex(job.hidden));
  uploadRetained(f.scene, glProc);
  if (job.old) { // few lattices are removed: they are drawn immediately, in no arrays
    buildRetained(job.old, f.vs, 0, f.old, job.triangles);
    styleComparison(*job.diff, f.scene, f.old);
  }
  if (job.origins) styleMerge(*job.origins, f.scene); // f.old stays empty
  if (job.grid && f.selected) f.grid = latticeGridLines(f.selected, f.vs);
  return true;
}

// The frame for `camera` (trot positions 0-4) as RGB rows, bottom to top.
bool frameRgb(FrameSource& f, const RenderJob& job, const float* camera,
              std::vector<unsigned char>& rgb, std::string& err) {
  float trot[Trot::size] = {};
  std::copy(camera, camera + 5, trot);
  trot[Trot::selectedLattice] = f.selectedOrdinal;
  ViewDraw d;
  d.width = job.width;
  d.height = job.height;
  if (job.ortho > 0) {
    d.projection = Projection::orthographic;
    d.ortho = job.ortho;
    d.box = f.box;
  }
  d.trot = trot;
  d.vs = &f.vs;
  d.lat = f.scene.lat;
  d.scene = &f.scene;
  if (job.old || job.origins) {
    d.old = &f.old;
    d.outlined = &f.scene;
    d.outlinedIndex = job.select;
  }
  if (f.selected && !f.grid.empty()) {
    d.gridOf = f.selected;
    d.grid = &f.grid;
  }
  drawView(d);
  rgb.resize(size_t(job.width) * job.height * 3);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, job.width, job.height, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
  return glDrew(err) && headlessIntact(f.hc, err);
}

void closeFrames(FrameSource& f) {
  releaseRetained(f.scene);
  closeHeadless(f.hc);
}

bool writePngFile(const std::string& path, const RenderJob& job, std::vector<unsigned char>& rgb,
                  std::string& err, bool chosen = false) {
  Output o;
  if (!openOutput(path, o, err, chosen ? OutputMode::chosen : OutputMode::named,
                  chosen ? nullptr : &job.outAtStart))
    return false;
  bool ok = writePng(o.f, job.width, job.height, rgb, err);
  return commitOutput(o, ok, err);
}

// "DIR/frame0001.png": numbered from 1, with at least four digits and as many as the last
// frame needs, so the names sort in order.
std::string framePath(const std::string& dir, int64_t frame, int64_t frames) {
  std::string number = std::to_string(frame);
  size_t digits = std::max<size_t>(4, std::to_string(frames).size());
  number.insert(0, digits - std::min(digits, number.size()), '0');
  return (std::filesystem::path(dir) / ("frame" + number + ".png")).string();
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

namespace {

// A job for one frame: each lattice is drawn straight from its values as it comes (immediate
// mode), built, sent and dropped in turn, so memory holds the map and not its triangles. Arrays
// pay only when they are drawn again, in a flight.
RenderJob oneFrame(const RenderJob& job) {
  RenderJob one = job;
  one.budget = 0;
  return one;
}

} // namespace

bool renderRgb(const Lattice* lat, const RenderJob& job, std::vector<unsigned char>& rgb,
               std::string& err) {
  FrameSource f;
  if (!openFrames(f, lat, oneFrame(job), err)) return false;
  std::vector<unsigned char> up;
  bool drew = frameRgb(f, job, job.cam.trot, up, err);
  closeFrames(f);
  if (!drew) return false;
  size_t row = size_t(job.width) * 3;
  rgb.resize(up.size());
  for (int y = 0; y < job.height; y++) // GL's rows run from the bottom
    std::copy_n(up.data() + size_t(job.height - 1 - y) * row, row, rgb.data() + size_t(y) * row);
  return true;
}

bool renderPng(const Lattice* lat, const RenderJob& job, const std::string& out, std::string& where,
               std::string& err) {
  FrameSource f;
  where = "render";
  if (!openFrames(f, lat, oneFrame(job), err)) return false;
  std::vector<unsigned char> rgb;
  bool drew = frameRgb(f, job, job.cam.trot, rgb, err);
  closeFrames(f);
  if (!drew) return false;
  // The background is black and every lattice grey or coloured: all black shows nothing.
  if (job.mustShow && std::all_of(rgb.begin(), rgb.end(), [](unsigned char c) { return !c; })) {
    err = "nothing of the map is in the picture (the fitted view shows no lattice); no picture "
          "written";
    return false;
  }
  where = out;
  return writePngFile(out, job, rgb, err);
}

namespace {

// The frames a folder holds, by name (frame0001.png and on), in no particular order.
std::vector<std::filesystem::path> framesIn(const std::string& dir) {
  std::vector<std::filesystem::path> found;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(dir, ec)) {
    std::string n = e.path().filename().string();
    bool digits =
        n.size() >= 13 && n.compare(0, 5, "frame") == 0 &&
        n.compare(n.size() - 4, 4, ".png") == 0 &&
        std::all_of(n.begin() + 5, n.end() - 4, [](char c) { return c >= '0' && c <= '9'; });
    if (digits) found.push_back(e.path());
  }
  return found;
}

// "1.5 GB": a byte count as a user reads it.
std::string readableBytes(double b) {
  const char* units[] = {"bytes", "kB", "MB", "GB", "TB"};
  int u = 0;
  while (b >= 1000 && u < 4) {
    b /= 1000;
    u++;
  }
  char text[32];
  std::snprintf(text, sizeof text, u ? "%.1f %s" : "%.0f %s", b, units[u]);
  return text;
}

// A folder for the frames: made when missing; frames of an earlier flight in it are removed
// when `force`, else refused (an encoder would read their tail after the new frames).
bool frameFolder(const std::string& out, bool force, std::string& err) {
  std::error_code ec;
  if (!std::filesystem::is_directory(out, ec) && !std::filesystem::create_directories(out, ec)) {
    err = "cannot make the folder for the frames: " + ec.message();
    return false;
  }
  std::vector<std::filesystem::path> old = framesIn(out);
  if (!old.empty() && !force) {
    err = "holds " + std::to_string(old.size()) +
          " frames of an earlier flight (frame0001.png and on); --force replaces them";
    return false;
  }
  for (const std::filesystem::path& p : old)
    if (!std::filesystem::remove(p, ec) && ec) {
      err = "cannot remove the earlier frame " + p.filename().string() + ": " + ec.message();
      return false;
    }
  return true;
}

} // namespace

bool renderFlight(const Lattice* lat, const RenderJob& job, const FlightJob& flight,
                  const std::string& out, std::string& where, std::string& err) {
  int64_t frames = flightFrames(flight.keys, flight.fps);
  bool video = videoName(out);
  where = out;
  if (!video && !frameFolder(out, flight.force, err)) return false;
  if (frames > 1000)
    std::fprintf(stderr, "kelvane: %s: %lld frames of %dx%d, %g seconds at %d frames a second\n",
                 out.c_str(), (long long)frames, job.width, job.height, flightDuration(flight.keys),
                 flight.fps);
  Video v;
  if (video && !openVideo(v, out, job.width, job.height, flight.fps, job.outAtStart, err))
    return false;
  FrameSource f;
  bool ok = openFrames(f, lat, job, err);
  if (!ok) where = "render";
  std::vector<unsigned char> rgb;
  auto last = std::chrono::steady_clock::now();
  for (int64_t i = 0; ok && i < frames; i++) {
    float camera[5];
    flightCamera(flight.keys, flightFrameTime(flight.keys, flight.fps, i), camera);
    if (!frameRgb(f, job, camera, rgb, err)) {
      where = "render";
      ok = false;
    } else if (video) {
      ok = addVideoFrame(v, rgb, err);
    } else {
      where = framePath(out, i + 1, frames);
      ok = writePngFile(where, job, rgb, err, true);
      std::error_code ec;
      if (ok && i == 0 && frames > 1000)
        std::fprintf(
            stderr, "kelvane: %s: about %s of frames\n", out.c_str(),
            readableBytes(double(std::filesystem::file_size(where, ec)) * double(frames)).c_str());
    }
    auto now = std::chrono::steady_clock::now();
    if (flight.progress && (now - last > std::chrono::milliseconds(200) || i + 1 == frames)) {
      std::fprintf(stderr, "\rkelvane: rendering: frame %lld of %lld", (long long)(i + 1),
                   (long long)frames);
      last = now;
    }
  }
  if (flight.progress) std::fprintf(stderr, "\n");
  closeFrames(f);
  if (video) {
    std::string videoErr;
    if (!closeVideo(v, ok, videoErr) && ok) {
      where = out;
      err = videoErr;
      ok = false;
    }
  }
  return ok;
}
