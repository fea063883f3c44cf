// Outputs that are never half-written and survive a power cut, for the toolkit's files and the
// viewer's saves alike.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// What a name stood for when it was looked at, so that a later write goes there and nowhere
// else.
struct FileIdentity {
  bool exists = false;
  bool regular = false; // the name, or where its symbolic links lead, is a regular file
  bool folder = false;  // it is a folder
  bool link = false;    // the name itself is a symbolic link
  std::string linkTo;   // the link's text, when it is one
  std::string kind;     // what stands there in words ("a pipe", "a folder", …) when not regular
  uint64_t device = 0, inode = 0; // of the file it stands for (0 where the system has none)
};

// The identity of `path` now; nothing exists for "-" or a name that is not there.
FileIdentity fileIdentity(const std::string& path);

// Whether a save of the file opened as `was` may be written to `path` now; false with `why`.
bool saveTargetAllowed(const std::string& path, const FileIdentity& was, std::string& why);

// How an output's name is treated.
enum class OutputMode {
  // A name the user gave: a symbolic link is followed and its target replaced (only a link
  // that was there at `was`, when given); a device or pipe is written directly.
  named,
  // A name the program picked in a folder others may write (a picture, a flight's frame): what
  // stands there is replaced, never written through, and anything but a regular file is
  // refused.
  chosen,
  // The file a map was opened from (`was`, required): only that file, or a regular file newly
  // at its name (said in the note); never through a link planted since, never a pipe, device
  // or folder.
  save,
};

// A file being written. Regular files are written to a temporary beside their target and
// moved into place when complete, keeping the replaced file's permission bits, owner and group
// where the process may; a file with several hard links is written over in place, so every
// link sees the new bytes. "-" is standard output.
struct Output {
  std::string path;   // as the user named it
  std::string target; // the file replaced: `path`, or where its symbolic links lead
  std::string temp;
  std::FILE* f = nullptr;
  bool inPlace = false; // the target has other hard links: its bytes are written over
  std::string note;     // what the caller should say after a commit that worked (an owner lost)
};

// Opens `out` for writing; false with `err` set when it cannot or may not be written.
bool openOutput(const std::string& path, Output& out, std::string& err,
                OutputMode mode = OutputMode::named, const FileIdentity* was = nullptr);
// Syncs `out` to the disk and moves it into place. False with `err` set, leaving any earlier
// file of that name as it was, when anything written or synced failed (`ok` false: the caller
// saw a failure).
bool commitOutput(Output& out, bool ok, std::string& err);
// Writes `bytes` to `path` through an Output; `note` gets the output's note.
bool writeFile(const std::string& path, const std::string& bytes, std::string& err,
               OutputMode mode = OutputMode::named, const FileIdentity* was = nullptr,
               std::string* note = nullptr);
