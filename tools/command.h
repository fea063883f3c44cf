// What the `kelvane` command's pieces share: the options a command line gives, how failures
// and usage errors are said, loading a map, and what differs between the platforms.
#pragma once

#include "toolkit.h"

#include <string>
#include <vector>

// What the command line says, for whichever command it names.
struct Options {
  std::string map, out, size = "640x480", camera, desc, format, select, hide, thumbSize, path;
  std::string other;                 // diff's NEW, merge's OURS
  std::string theirs, conflicts;     // merge's THEIRS and --conflicts
  std::string section, sectionAbove; // render's cut heights
  std::string ortho;                 // render's orthographic half-height
  std::string farPlane;              // render's far plane
  std::string compare;               // render's OLD map
  std::vector<std::string> merge;    // render's BASE OURS THEIRS
  std::string fps = "30";
  bool json = false, axes = false, strict = false, fit = false, grid = false, force = false;
  bool global = false;      // git-setup's --global
  bool selectGiven = false; // --select was on the command line, even as ""
  bool hideGiven = false;   // --hide likewise
  bool sectionGiven = false, sectionAboveGiven = false, orthoGiven = false, farGiven = false;
  FileIdentity outAtStart; // -o as it was when the command started: a link planted later is
                           // not followed
  char** argv = nullptr;   // the command line as given (kelvane-draw takes it over)
};

// Says `kelvane: FILE: reason` on stderr; exit status 1.
int fail(const std::string& file, const std::string& reason);
// A usage error of `command` ("" for the command line as a whole): exit status 2.
int usage(const std::string& command, const std::string& msg);
// Loads MAP; false after saying why it is not a usable map. Warnings go to stderr unless the
// caller reports them itself (`quiet`); with `strict` any warning is a failure.
bool load(const std::string& file, LoadedMap& map, bool strict, bool quiet = false);

// One file per platform (system_posix.cpp, system_win32.cpp) answers these.
// Whether progress can be shown: stderr is a terminal.
bool stderrIsTerminal();
// Standard input and output carry bytes as they are (no CRLF translation).
void useBinaryStdio();
// `render` and `thumbnail` after their options were parsed: the exit status. `flight` is
// --path's flight, or null for one picture.
int runRender(const Options& o, RenderJob& job, const FlightJob* flight);
int runThumbnail(const Options& o, int size);
// The full path of this program's executable; "" when it cannot be found.
std::string selfPath();
// Runs program `args[0]` (looked up on PATH) with the rest as its arguments, no shell between,
// and waits: its standard output in `out` and its exit status in `status`; its standard error is
// ours, or with `quiet` discarded. False with `err` set when it could not be started.
bool runProgram(const std::vector<std::string>& args, std::string& out, int& status,
                std::string& err, bool quiet = false);

// `kelvane git-setup [--global]`: the exit status.
int runGitSetup(const Options& o);
