// Entry in a web browser: the page hands over a map (fetched, opened or dropped, or the demo),
// the viewer runs on it until Escape, an error, or the page's next map, and then waits again.
#include "viewer_state.h"

#include "platform/page.h"
#include "platform/win32.h"

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
  setPageView(&pageView);
  for (;;) {
    char* name = nextMap(startCamera, &startSelection);
    int code = WinMain(reinterpret_cast<HINSTANCE>(&instance), nullptr, name, SW_SHOW);
    std::free(name);
    viewerEnded(code);
  }
}
