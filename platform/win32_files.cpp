// The file and shell parts of the Win32 subset over POSIX, shared by the SDL and web layers
// and the tests: file attributes for the map watch, and dropped-file lists.
#include "win32_files.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

struct HDROP__ {
  std::vector<std::string> files;
};

namespace {

// POSIX times in FILETIME units: 100 ns steps, counted from 1601 as Windows counts them.
FILETIME fileTime(const struct timespec& t) {
  uint64_t v = (uint64_t(t.tv_sec) + 11644473600ull) * 10000000ull + uint64_t(t.tv_nsec) / 100;
  return {DWORD(v), DWORD(v >> 32)};
}

} // namespace

// POSIX has no creation time: the inode stands in for it, as what a file replaced under the
// same name (by rename) does not keep.
BOOL GetFileAttributesExA(LPCSTR name, GET_FILEEX_INFO_LEVELS, LPVOID out) {
  struct stat st;
  if (!name || stat(name, &st) != 0) return FALSE;
  auto* a = static_cast<WIN32_FILE_ATTRIBUTE_DATA*>(out);
  *a = {};
  a->dwFileAttributes = S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
  uint64_t inode = uint64_t(st.st_ino);
  a->ftCreationTime = {DWORD(inode), DWORD(inode >> 32)};
  a->ftLastAccessTime = fileTime(st.st_atim);
  a->ftLastWriteTime = fileTime(st.st_mtim);
  a->nFileSizeHigh = DWORD(uint64_t(st.st_size) >> 32);
  a->nFileSizeLow = DWORD(uint64_t(st.st_size));
  return TRUE;
}

HDROP newDrop(const std::vector<std::string>& files) {
  return new HDROP__{files};
}

UINT DragQueryFileA(HDROP drop, UINT index, LPSTR file, UINT size) {
  if (!drop) return 0;
  if (index == 0xFFFFFFFF) return UINT(drop->files.size());
  if (index >= drop->files.size()) return 0;
  const std::string& f = drop->files[index];
  if (!file) return UINT(f.size());
  if (size == 0) return 0;
  size_t n = std::min(f.size(), size_t(size) - 1);
  std::memcpy(file, f.data(), n);
  file[n] = 0;
  return UINT(n);
}

void DragFinish(HDROP drop) {
  delete drop;
}

// Every window of these layers takes dropped files.
void DragAcceptFiles(HWND, BOOL) {}
