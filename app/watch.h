// Watching the map file: when it changed and has then stayed the same for a while, it is due
// to be loaded again. Pure: the caller looks at the file and tells the time.
#pragma once

#include "platform/win32.h"

#include <cstdint>
#include <string>

// What a look at the file shows: whether it is there, its modification time, size and
// identity (a file replaced by another under the same name has a new one).
struct FileStamp {
  bool exists = false;
  uint64_t modified = 0, size = 0, identity = 0;
  bool operator==(const FileStamp&) const = default;
};

// Milliseconds between looks, and how long a change must stand before the file is loaded.
constexpr DWORD watchInterval = 500;
constexpr DWORD watchSettle = 500;

struct Watch {
  std::string name;    // the file watched
  FileStamp loaded;    // what the file was when it was last loaded (or last failed to)
  FileStamp last;      // what the last look showed
  DWORD lastLook = 0;  // when that was
  DWORD sameSince = 0; // since when the looks have shown `last`
};

// Starts watching `name`, loaded as `stamp` at `now`.
void watchFile(Watch& w, const std::string& name, const FileStamp& stamp, DWORD now);
// Whether it is time for another look at `now`.
bool watchDue(const Watch& w, DWORD now);
// Records a look at `now`; true when the file differs from what was loaded and has looked the
// same for watchSettle milliseconds: time to load it again. The caller then calls watchFile
// with the stamp it loaded, whether that load worked or not, so a change is tried once.
bool watchLooked(Watch& w, const FileStamp& stamp, DWORD now);
// The file's stamp now (GetFileAttributesExA); one that is not there, or not a file, does
// not exist.
FileStamp fileStamp(const std::string& name);
