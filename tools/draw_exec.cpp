// `render` and `thumbnail` for the `kelvane` that does not draw: the program that does
// (kelvane-draw, linked with OpenGL, EGL, libpng and the video libraries) runs in its place with
// the same arguments, so that every other command starts without loading those.
#include "command.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// Where kelvane-draw lies: libexec/kelvane/ beside the bin/ this program is in, in the build
// tree as in the installed one.
std::string drawProgram() {
  std::string self = selfPath();
  size_t slash = self.find_last_of('/');
  if (slash == std::string::npos) return "";
  std::string bin = self.substr(0, slash);
  return bin + "/../libexec/kelvane/kelvane-draw";
}

int runDrawProgram(const Options& o) {
  std::string program = drawProgram();
  if (program.empty() || !o.argv) return fail("kelvane-draw", "cannot find this program's folder");
  execv(program.c_str(), o.argv);
  return fail(program, std::string(std::strerror(errno)) +
                           ": render and thumbnail run it; reinstall kelvane");
}

} // namespace

int runRender(const Options& o, RenderJob&, const FlightJob*) {
  return runDrawProgram(o);
}

int runThumbnail(const Options& o, int) {
  return runDrawProgram(o);
}
