// Entry in a web browser: the page hands over a map (fetched, opened or dropped, or the demo),
// the viewer runs on it until Escape, an error, or the page's next map, and then waits again.
#include "viewer.h"

#include <emscripten.h>

#include <cstdlib>

namespace {

// The page's side, in JavaScript (kept as written: the formatter does not know it).
// clang-format off

// Waits for the page's next map; returns its name in the in-memory file system (malloc'd) and
// sets the starting camera and selection from the page's #camera=...&select=.
EM_ASYNC_JS(char*, nextMap, (float* camera, int* select), {
  const next = await Module.kelvaneNextMap();
  for (let i = 0; i < 5; i++) HEAPF32[(camera >> 2) + i] = next.camera[i];
  HEAP32[select >> 2] = next.select;
  return allocateUTF8(next.name);
});

EM_JS(void, viewerEnded, (int code), { Module.kelvaneEnded(code); });
// clang-format on

} // namespace

int main() {
  static int instance;
  for (;;) {
    ViewerStart start;
    start.windowPanels = false; // the page shows the selection and the messages itself
    char* name = nextMap(start.camera, &start.selection);
    int code = runViewer(reinterpret_cast<HINSTANCE>(&instance), name, start);
    std::free(name);
    viewerEnded(code);
  }
}
