// Machine facts from the system: Windows' memory status, the memory a web page may grow to,
// or sysconf elsewhere; and opening a map file without waiting on what is not a file.
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

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#ifndef _WIN32
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

std::FILE* openRegularFile(const std::string& name, std::string& why) {
  struct stat st;
#ifdef _WIN32
  std::FILE* f = std::fopen(name.c_str(), "rb");
  if (!f) {
    why = std::strerror(errno);
    return nullptr;
  }
  if (fstat(_fileno(f), &st) != 0 || !(st.st_mode & S_IFREG)) {
    std::fclose(f);
    why = "not a regular file";
    return nullptr;
  }
  return f;
#else
  int fd = open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    why = std::strerror(errno);
    return nullptr;
  }
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    why = S_ISDIR(st.st_mode)    ? std::strerror(EISDIR)
          : S_ISFIFO(st.st_mode) ? "a named pipe, not a regular file"
                                 : "not a regular file";
    close(fd);
    return nullptr;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  std::FILE* f = fdopen(fd, "rb");
  if (!f) {
    why = std::strerror(errno);
    close(fd);
  }
  return f;
#endif
}
