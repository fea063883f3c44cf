// Outputs that are never half-written, for the toolkit's files and the viewer's saves alike.
#pragma once

#include <cstdio>
#include <string>

// A file being written. Regular files are written to a temporary beside `path` (beside its
// target, for a symbolic link) and renamed into place only when complete, keeping the
// replaced file's permission bits; "-" is standard output, and devices and pipes are written
// directly.
struct Output {
  std::string path;   // as the user named it
  std::string target; // the file replaced: `path`, or where its symbolic links lead
  std::string temp;
  std::FILE* f = nullptr;
};

// Opens `out` for writing; false with `err` set when it cannot be created. A name the program
// `chosen` itself (a flight's frame in a folder) is replaced as it stands: a symbolic link
// there is replaced, not followed, and anything else but a regular file is refused.
bool openOutput(const std::string& path, Output& out, std::string& err, bool chosen = false);
// Closes `out` and moves it into place. False with `err` set, leaving any earlier file of that
// name as it was, when anything written failed (`ok` false: the caller saw a failure).
bool commitOutput(Output& out, bool ok, std::string& err);
// Writes `bytes` to `path` through an Output.
bool writeFile(const std::string& path, const std::string& bytes, std::string& err);
