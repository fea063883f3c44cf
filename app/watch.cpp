// The watch over the map file: looks twice a second, loads once a change has settled.
#include "watch.h"

void watchFile(Watch& w, const std::string& name, const FileStamp& stamp, DWORD now) {
  w.name = name;
  w.loaded = w.last = stamp;
  w.lastLook = w.sameSince = now;
}

bool watchDue(const Watch& w, DWORD now) {
  return !w.name.empty() && DWORD(now - w.lastLook) >= watchInterval;
}

bool watchLooked(Watch& w, const FileStamp& stamp, DWORD now) {
  if (!(stamp == w.last)) {
    w.last = stamp;
    w.sameSince = now;
  }
  w.lastLook = now;
  return !(stamp == w.loaded) && DWORD(now - w.sameSince) >= watchSettle;
}

FileStamp fileStamp(const std::string& name) {
  WIN32_FILE_ATTRIBUTE_DATA a;
  FileStamp s;
  if (!GetFileAttributesExA(name.c_str(), GetFileExInfoStandard, &a) ||
      (a.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    return s;
  s.exists = true;
  s.modified = uint64_t(a.ftLastWriteTime.dwHighDateTime) << 32 | a.ftLastWriteTime.dwLowDateTime;
  s.size = uint64_t(a.nFileSizeHigh) << 32 | a.nFileSizeLow;
  s.identity = uint64_t(a.ftCreationTime.dwHighDateTime) << 32 | a.ftCreationTime.dwLowDateTime;
  return s;
}
