// Machine facts from the system: Windows' memory status, the memory a web page may grow to,
// or sysconf elsewhere.
#include "system.h"

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#elif defined(__EMSCRIPTEN__)
#include <emscripten/heap.h>
#else
#include <unistd.h>
#endif

size_t physicalMemory() {
#ifdef _WIN32
  MEMORYSTATUSEX m{};
  m.dwLength = sizeof m;
  return GlobalMemoryStatusEx(&m) ? size_t(m.ullTotalPhys) : 0;
#elif defined(__EMSCRIPTEN__)
  return emscripten_get_heap_max(); // the page's whole address space, not the machine's
#else
  long pages = sysconf(_SC_PHYS_PAGES), size = sysconf(_SC_PAGE_SIZE);
  return pages > 0 && size > 0 ? size_t(pages) * size_t(size) : 0;
#endif
}
