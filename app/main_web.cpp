// Entry in a web browser: the page hands over a map (fetched, opened or dropped, or the demo),
// the viewer runs on it until Escape, an error, or the page's next map, and then waits again.
#include "winmain.h"

#include "mapfile/index_list.h"

#include <emscripten.h>

#include <cstdlib>
#include <string>

namespace {

// The page's side, in JavaScript (kept as written: the formatter does not know it).
// clang-format off

// Waits for the page's next map; returns its name in the in-memory file system (malloc'd) and
// sets the starting camera, selection, hidden lattices (malloc'd, as P writes them), cut and
// orthographic half-height and far plane from the page's
// #camera=...&select=...&hide=...&section=...&ortho=...&far=.
EM_ASYNC_JS(char*, nextMap, (float* camera, int* select, char** hide, int* cut, float* cutY,
                             float* ortho, float* farPlane), {
  const next = await Module.kelvaneNextMap();
  for (let i = 0; i < 5; i++) HEAPF32[(camera >> 2) + i] = next.camera[i];
  HEAP32[select >> 2] = next.select;
  HEAP32[cut >> 2] = next.section ? (next.section.above ? 2 : 1) : 0;
  HEAPF32[cutY >> 2] = next.section ? next.section.y : 0;
  HEAPF32[ortho >> 2] = next.ortho || 0;
  HEAPF32[farPlane >> 2] = next.far || 0;
  HEAPU32[hide >> 2] = allocateUTF8(next.hide || "");
  return allocateUTF8(next.name);
});

EM_JS(void, viewerEnded, (int code), { Module.kelvaneEnded(code); });
// clang-format on

} // namespace

// The page's rows of the key table, "KEYS\tWHAT THEY DO" a line, for its Controls box: the
// same lines its help sheet (F1) shows.
extern "C" EMSCRIPTEN_KEEPALIVE const char* kelvanePageHelp() {
  static std::string text;
  text.clear();
  for (const HelpLine& h : helpLines(onPage)) text += h.keys + "\t" + h.does + "\n";
  return text.c_str();
}

int main() {
  static int instance;
  for (;;) {
    ViewerStart start;
    start.windowPanels = false; // the page shows the selection and the messages itself
    start.frameTriangles = pageFrameTriangles;
    char* hide = nullptr;
    int cut = 0;
    char* name = nextMap(start.camera, &start.selection, &hide, &cut, &start.section.y,
                         &start.ortho, &start.farPlane);
    start.section.keeps = SectionKeeps(cut); // none, below, above, as the enum counts
    std::string err; // the page's address parser has checked the list already
    if (hide && *hide) parseIndexList(hide, 65534, start.hidden, err);
    std::free(hide);
    int code = runViewer(reinterpret_cast<HINSTANCE>(&instance), name, start);
    std::free(name);
    viewerEnded(code);
  }
}
