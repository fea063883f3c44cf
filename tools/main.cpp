// `kelvane`: inspect, render, export and build map files from the command line.
#include "command.h"
#include "command_line.h"
#include "parse.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>

namespace {

void printWarnings(const std::string& file, const LoadedMap& map) {
  for (const std::string& w : map.rep.warnings)
    std::fprintf(stderr, "kelvane: %s: warning: %s\n", file.c_str(), w.c_str());
}

// Writes `bytes` to -o (or "-"), as it was when the command started.
int save(const Options& o, const std::string& out, const std::string& bytes) {
  std::string err;
  return writeFile(out, bytes, err, OutputMode::named, out == o.out ? &o.outAtStart : nullptr)
             ? 0
             : fail(out, err);
}

int runInfo(const Options& o) {
  LoadedMap map;
  map.store.keepTail = false; // nothing is written back: a stream's tail stays unread
  if (!load(o.map, map, o.strict, o.json)) return 1;
  return save(o, "-", o.json ? infoJson(map) : infoText(map));
}

int runExport(const Options& o, ExportFormat format) {
  LoadedMap map;
  map.store.keepTail = false;
  if (!load(o.map, map, o.strict)) return 1;
  Output out;
  std::string err;
  if (!openOutput(o.out, out, err, OutputMode::named, &o.outAtStart)) return fail(o.out, err);
  ExportCounts counts;
  bool ok = exportMap(map.lat, o.map, format, out.f, stderrIsTerminal(), counts, err);
  if (ok && counts.nonFinite) {
    std::fprintf(stderr,
                 "kelvane: %s: warning: %lld triangle(s) with a non-finite corner left out\n",
                 o.map.c_str(), (long long)counts.nonFinite);
    if (o.strict) {
      ok = false;
      err = "a warning and --strict: nothing written";
    }
  }
  return commitOutput(out, ok, err) ? 0 : fail(o.out, err);
}

int writeDescription(const Options& o, const MapDesc& m, const std::string& desc) {
  std::string bytes, err;
  if (!writeMap(m, bytes, err)) return fail(desc, err);
  return save(o, o.out, bytes);
}

// The whole of `path` ("-" is standard input); false with the reason of the call that failed.
bool readAll(const std::string& path, std::string& text, std::string& err) {
  std::FILE* f = path == "-" ? stdin : std::fopen(path.c_str(), "rb");
  if (!f) {
    err = std::strerror(errno);
    return false;
  }
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
  bool ok = !std::ferror(f);
  if (!ok) err = std::strerror(errno ? errno : EIO);
  if (f != stdin) std::fclose(f);
  return ok;
}

// Exit status as diff(1) and cmp(1) have it: 0 the same, 1 different, 2 trouble.
int runDiff(const Options& o) {
  if (o.map == "-" && o.other == "-") return usage("diff", "only one of OLD and NEW can be '-'");
  LoadedMap a, b;
  if (!load(o.map, a, false) || !load(o.other, b, false)) return 2;
  MapDiff d = diffMaps(a, b);
  std::string report = o.json ? diffJson(a, b, d) : diffText(a, b, d);
  if (save(o, "-", report) != 0) return 2;
  return d.changes.empty() && d.otherBytesSame ? 0 : 1;
}

int runPatch(const Options& o) {
  if (o.map == "-" && o.desc == "-")
    return usage("patch", "only one of MAP and CHANGES can be '-'");
  LoadedMap map;
  std::string text, err;
  if (!load(o.map, map, false)) return 1;
  if (!readAll(o.desc, text, err)) return fail(o.desc, err);
  if (!patchMap(map, text, err)) return fail(o.desc, err);
  size_t dropped = 0;
  std::string bytes = savedMap(map.lat, map.store, &dropped);
  if (dropped)
    return fail(o.desc,
                std::to_string(dropped) +
                    " changed value(s) lie where the map's file has ended; nothing written");
  return save(o, o.out, bytes);
}

// Exit status as git's merge drivers have it: 0 clean, 1 conflicts (the result written all
// the same), 2 trouble.
int runMerge(const Options& o) {
  int stdinUses = (o.map == "-") + (o.other == "-") + (o.theirs == "-");
  if (stdinUses > 1) return usage("merge", "only one of BASE, OURS and THEIRS can be '-'");
  std::string out = o.out.empty() ? o.other : o.out;
  if (out == "-" && o.out.empty()) return usage("merge", "OURS is '-': give -o OUT");
  LoadedMap base, ours, theirs;
  if (!load(o.map, base, false) || !load(o.other, ours, false) || !load(o.theirs, theirs, false))
    return 2;
  MergeResult r = mergeMaps(base, ours, theirs);
  if (r.dropped) {
    fail(o.other, std::to_string(r.dropped) +
                      " merged value(s) lie where the map's file has ended; nothing written");
    return 2;
  }
  if (!o.conflicts.empty() && save(o, o.conflicts, conflictsJson(r.conflicts)) != 0) return 2;
  FileIdentity atStart = o.out.empty() ? fileIdentity(out) : o.outAtStart;
  std::string err;
  if (!writeFile(out, r.bytes, err, OutputMode::named, &atStart)) return fail(out, err) + 1;
  if (save(o, "-", conflictsText(r.conflicts)) != 0) return 2;
  return r.conflicts.empty() ? 0 : 1;
}

int runDump(const Options& o) {
  LoadedMap map;
  if (!load(o.map, map, false)) return 1;
  return save(o, "-", dumpText(map));
}

int runMakeMap(const Options& o) {
  std::string text, err;
  errno = 0;
  if (!readAll(o.desc, text, err)) return fail(o.desc, err);
  MapDesc m;
  if (!mapFromJson(text, m, err)) return fail(o.desc, err);
  return writeDescription(o, m, o.desc);
}

// An output name the command writes: "-", a device or pipe that exists, or a name ending in
// `ext` (any case).
bool checkExtension(const std::string& out, const std::string& ext, std::string& err) {
  std::error_code ec;
  auto type = std::filesystem::status(out, ec).type();
  if (out == "-" || (!ec && type != std::filesystem::file_type::regular &&
                     type != std::filesystem::file_type::directory &&
                     type != std::filesystem::file_type::not_found))
    return true;
  size_t dot = out.rfind('.');
  std::string got = dot == std::string::npos ? "" : out.substr(dot);
  for (char& c : got) c = char(std::tolower((unsigned char)c));
  if (got == ext) return true;
  err = "-o " + out + ": writes " + ext + " files only; give a name ending in " + ext;
  return false;
}

// The format from -o's extension or --format; false with `err` when they disagree or say none.
bool exportFormat(const Options& o, ExportFormat& fmt, std::string& err) {
  fmt = ExportFormat::obj;
  bool named = formatOfName(o.out, fmt);
  if (!o.format.empty()) {
    ExportFormat asked = ExportFormat::obj;
    formatOfName("." + o.format, asked);
    if (named && asked != fmt) {
      err = "-o " + o.out + " and --format " + o.format + " disagree";
      return false;
    }
    fmt = asked;
  } else if (!named && !checkExtension(o.out, ".obj", err)) {
    err = "-o " + o.out +
          ": writes .obj, .glb or .gltf files; give a name ending in one of them, or --format";
    return false;
  }
  return true;
}

int exportCommand(const Options& o) {
  ExportFormat fmt;
  std::string err;
  if (!exportFormat(o, fmt, err)) return usage("export", err);
  return runExport(o, fmt);
}

int thumbnailCommand(const Options& o) {
  int size = 0;
  if (!wholeIn(o.thumbSize, 16, 1024, size))
    return usage("thumbnail",
                 "-s: expected a size in pixels from 16 to 1024 (got '" + o.thumbSize + "')");
  return runThumbnail(o, size);
}

int renderCommand(const Options& o) {
  RenderJob job;
  job.axes = o.axes;
  job.grid = o.grid;
  bool flying = !o.path.empty();
  std::string cam = o.camera.empty() ? o.fit ? "0,0,0,30,-45" : "0,0,0,0,0" : o.camera, err;
  if (!parseSize(o.size, job.width, job.height, err) || !parseCamera(cam, job.cam, err) ||
      !parseSelect(o.selectGiven, o.select, job.select, err) ||
      !parseHide(o.hideGiven, o.hide, job.hidden, err) ||
      !parseOrtho(o.orthoGiven, o.ortho, job.ortho, err) ||
      !parseFar(o.farGiven, o.farPlane, job.farPlane, err) ||
      !parseSection(o.sectionGiven ? &o.section : nullptr,
                    o.sectionAboveGiven ? &o.sectionAbove : nullptr, job.cut, err) ||
      (!flying && !checkExtension(o.out, ".png", err)))
    return usage("render", err);
  if (job.grid && job.select < 0)
    return usage("render",
                 "--grid: draws the cell grid of the selected lattice; give --select INDEX");
  if (!flying) return runRender(o, job, nullptr);
  FlightJob flight;
  if (!o.camera.empty() || o.fit)
    return usage("render", "--path: the keyframes give the cameras; leave out --camera and --fit");
  if (o.out == "-")
    return usage("render",
                 "--path: writes a folder of frames or a .webm file, not standard output");
  if (!videoName(o.out) && otherVideoName(o.out))
    return usage("render", "-o " + o.out +
                               ": --path writes a VP9 video as .webm only, or PNG frames into a "
                               "folder; give a name ending in .webm, or a folder");
  if (o.force && videoName(o.out))
    return usage("render", "--force: replaces the frames in a folder; a video is replaced anyway");
  if (!wholeIn(o.fps, 1, 240, flight.fps))
    return usage("render", "--fps: expected frames a second, a whole number from 1 to 240 (got '" +
                               o.fps + "')");
  std::string text;
  if (!readAll(o.path, text, err) || !parseFlight(text, flight.keys, err)) return fail(o.path, err);
  int64_t frames = flightFrames(flight.keys, flight.fps);
  if (frames > maxFlightFrames)
    return usage("render", "--path " + o.path + ": the flight takes " + std::to_string(frames) +
                               " frames at " + std::to_string(flight.fps) +
                               " frames a second; at most " + std::to_string(maxFlightFrames) +
                               " can be written");
  flight.progress = stderrIsTerminal();
  flight.force = o.force;
  return runRender(o, job, &flight);
}

// Parses the command line; an exit status when that ends the run (help, version, bad usage),
// else -1. A first word that names no command is reported as such, not as a parse error.
int parseCommandLine(CommandLine& cl, int argc, char** argv) {
  std::string command;
  if (argc > 1 && argv[1][0] != '-') {
    command = argv[1];
    auto named = [&](const CLI::App* sub) { return sub->get_name() == command; };
    if (cl.app.get_subcommands(named).empty())
      return usage("", "unknown command '" + command + "'");
  }
  try {
    cl.app.parse(argc, argv);
  } catch (const CLI::Success& e) {
    return cl.app.exit(e);
  } catch (const CLI::ParseError& e) {
    return usage(command, e.what());
  }
  return -1;
}

int runCommand(const CommandLine& cl, Options& o) {
  o.selectGiven = cl.render->count("--select") > 0;
  o.hideGiven = cl.render->count("--hide") > 0;
  o.sectionGiven = cl.render->count("--section") > 0;
  o.sectionAboveGiven = cl.render->count("--section-above") > 0;
  o.orthoGiven = cl.render->count("--ortho") > 0;
  o.farGiven = cl.render->count("--far") > 0;
  if (cl.info->parsed()) return runInfo(o);
  if (cl.exp->parsed()) return exportCommand(o);
  if (cl.demo->parsed()) return writeDescription(o, demoMap(), "demo");
  if (cl.make->parsed()) return runMakeMap(o);
  if (cl.diff->parsed()) return runDiff(o);
  if (cl.patch->parsed()) return runPatch(o);
  if (cl.merge->parsed()) return runMerge(o);
  if (cl.dump->parsed()) return runDump(o);
  if (cl.gitSetup->parsed()) return runGitSetup(o);
  if (cl.render->parsed()) return renderCommand(o);
  if (cl.thumb->parsed()) return thumbnailCommand(o);
  return 2;
}

} // namespace

int fail(const std::string& file, const std::string& reason) {
  std::fprintf(stderr, "kelvane: %s: %s\n", file.c_str(), reason.c_str());
  return 1;
}

int usage(const std::string& command, const std::string& msg) {
  std::string help = command.empty() ? "kelvane --help" : "kelvane " + command + " --help";
  std::fprintf(stderr, "kelvane: %s\nRun '%s' for usage.\n", msg.c_str(), help.c_str());
  return 2;
}

bool load(const std::string& file, LoadedMap& map, bool strict, bool quiet) {
  loadMap(file, map);
  switch (map.rep.status) {
  case LoadStatus::loaded:
    break;
  case LoadStatus::notMap:
    fail(file, "not a map: " + map.rep.error);
    return false;
  default:
    fail(file, map.rep.error);
    return false;
  }
  if (!quiet || (strict && !map.rep.warnings.empty())) printWarnings(file, map);
  if (strict && !map.rep.warnings.empty()) {
    fail(file,
         std::to_string(map.rep.warnings.size()) + " warning(s) and --strict: nothing written");
    return false;
  }
  return true;
}

int main(int argc, char** argv) {
  useBinaryStdio(); // maps are binary, and output is the same bytes everywhere
  CommandLine cl;
  Options o;
  o.argv = argv;
  defineCommands(cl, o);
  if (int code = parseCommandLine(cl, argc, argv); code >= 0) return code;
  o.outAtStart = fileIdentity(o.out);
  try {
    return runCommand(cl, o);
  } catch (const std::bad_alloc&) {
    std::string file = cl.make->parsed() ? o.desc : o.map;
    return fail(file.empty() ? o.out : file, "out of memory");
  }
}
