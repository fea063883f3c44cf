// The `kelvane` command on Windows: the console's own calls, and no headless rendering (there
// is no EGL), so `render` and `thumbnail` say so.
#include "command.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>

bool stderrIsTerminal() {
  return _isatty(_fileno(stderr));
}

void useBinaryStdio() {
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
}

int runRender(const Options&, RenderJob&, const FlightJob*) {
  return usage("render", "render: not available in the Windows build (it needs EGL); use the "
                         "viewer");
}

int runThumbnail(const Options&, int) {
  return usage("thumbnail", "thumbnail: not available in the Windows build (it needs EGL)");
}
