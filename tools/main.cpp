// `kelvane`: inspect, render, export and build map files from the command line.
#include "toolkit.h"

#include <CLI/CLI.hpp>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <new>
#include <sstream>

namespace {

const char* const commands[] = {"info", "render", "export", "demo", "make-map"};

// Whether progress can be shown: stderr is a terminal.
bool stderrIsTerminal() {
#ifdef _WIN32
  return _isatty(_fileno(stderr));
#else
  return isatty(fileno(stderr));
#endif
}

int fail(const std::string& file, const std::string& reason) {
  std::fprintf(stderr, "kelvane: %s: %s\n", file.c_str(), reason.c_str());
  return 1;
}

// A usage error of `command` ("" for the command line as a whole): exit status 2.
int usage(const std::string& command, const std::string& msg) {
  std::string help = command.empty() ? "kelvane --help" : "kelvane " + command + " --help";
  std::fprintf(stderr, "kelvane: %s\nRun '%s' for usage.\n", msg.c_str(), help.c_str());
  return 2;
}

void printWarnings(const std::string& file, const LoadedMap& map) {
  for (const std::string& w : map.rep.warnings)
    std::fprintf(stderr, "kelvane: %s: warning: %s\n", file.c_str(), w.c_str());
}

// Loads MAP; false after saying why it is not a usable map. Warnings go to stderr unless the
// caller reports them itself (`quiet`); with `strict` any warning is a failure.
bool load(const std::string& file, LoadedMap& map, bool strict, bool quiet = false) {
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

int save(const std::string& out, const std::string& bytes) {
  std::string err;
  return writeFile(out, bytes, err) ? 0 : fail(out, err);
}

int runInfo(const std::string& file, bool json, bool strict) {
  LoadedMap map;
  if (!load(file, map, strict, json)) return 1;
  return save("-", json ? infoJson(map) : infoText(map));
}

int runExport(const std::string& file, const std::string& out, ExportFormat format, bool strict) {
  LoadedMap map;
  if (!load(file, map, strict)) return 1;
  Output o;
  std::string err;
  if (!openOutput(out, o, err)) return fail(out, err);
  ExportCounts counts;
  bool ok = exportMap(map.lat, file, format, o.f, stderrIsTerminal(), counts);
  if (!ok) err = std::strerror(errno);
  if (ok && counts.nonFinite) {
    std::fprintf(stderr,
                 "kelvane: %s: warning: %ld triangle(s) with a non-finite corner left out\n",
                 file.c_str(), counts.nonFinite);
    if (strict) {
      ok = false;
      err = "a warning and --strict: nothing written";
    }
  }
  return commitOutput(o, ok, err) ? 0 : fail(out, err);
}

int writeDescription(const MapDesc& m, const std::string& desc, const std::string& out) {
  std::string bytes, err;
  if (!writeMap(m, bytes, err)) return fail(desc, err);
  return save(out, bytes);
}

int runMakeMap(const std::string& desc, const std::string& out) {
  std::stringstream text;
  if (desc == "-") {
    text << std::cin.rdbuf();
  } else {
    std::ifstream in(desc, std::ios::binary);
    if (!in) return fail(desc, std::strerror(errno));
    text << in.rdbuf();
  }
  MapDesc m;
  std::string err;
  if (!mapFromJson(text.str(), m, err)) return fail(desc, err);
  return writeDescription(m, desc, out);
}

#ifndef _WIN32
int runRender(const std::string& file, const std::string& out, int w, int h, Camera cam, bool fit,
              bool axes, bool strict) {
  LoadedMap map;
  if (!load(file, map, strict)) return 1;
  if (fit) {
    using namespace Trot;
    double depth = 0;
    if (!fitCamera(map.lat, w, h, cam, depth))
      std::fprintf(stderr, "kelvane: %s: warning: no lattice is drawn; nothing to fit\n",
                   file.c_str());
    else if (depth > 1000)
      std::fprintf(stderr,
                   "kelvane: %s: warning: the scene is %.0f units deep from the fitted eye; the "
                   "view ends at 1000, so the part beyond is not drawn\n",
                   file.c_str(), depth);
    std::fprintf(stderr, "--camera %.9g,%.9g,%.9g,%.9g,%.9g\n", cam.trot[tx], cam.trot[ty],
                 cam.trot[tz], cam.trot[pitch], cam.trot[yaw]);
  }
  std::string where, err;
  return renderPng(map.lat, w, h, cam, axes, out, where, err) ? 0 : fail(where, err);
}
#endif

// "WxH" with both sides from 1 to 16384.
std::string parseSize(const std::string& s, int& w, int& h) {
  char x = 0, rest = 0;
  if (std::sscanf(s.c_str(), "%d%c%d%c", &w, &x, &h, &rest) != 3 || (x != 'x' && x != 'X') ||
      w < 1 || h < 1 || w > 16384 || h > 16384)
    return "--size: expected WIDTHxHEIGHT, each from 1 to 16384, e.g. 640x480";
  return "";
}

// One finite decimal number, as a 32-bit float: no hexadecimal, no "inf" or "nan", nothing
// that overflows a float.
bool decimal(const std::string& s, float& v) {
  if (s.empty() || s.find_first_not_of("0123456789+-.eE") != std::string::npos) return false;
  char* end = nullptr;
  v = std::strtof(s.c_str(), &end);
  return *end == 0 && std::isfinite(v);
}

// Five numbers separated by commas; an empty or extra field is an error.
std::string parseCamera(const std::string& s, Camera& cam) {
  size_t start = 0;
  for (int n = 0; n < 5; n++) {
    size_t comma = s.find(',', start);
    if ((n == 4) != (comma == std::string::npos) ||
        !decimal(s.substr(start, comma - start), cam.trot[n]))
      return "--camera: expected five finite decimal numbers TX,TY,TZ,PITCH,YAW, e.g. "
             "0,0,0,10,-30 (got '" +
             s + "')";
    start = comma + 1;
  }
  return "";
}

// An output name the command writes: "-", a device or pipe that exists, or a name ending in
// `ext` (any case).
std::string checkExtension(const std::string& out, const std::string& ext) {
  std::error_code ec;
  auto type = std::filesystem::status(out, ec).type();
  if (out == "-" || (!ec && type != std::filesystem::file_type::regular &&
                     type != std::filesystem::file_type::directory &&
                     type != std::filesystem::file_type::not_found))
    return "";
  size_t dot = out.rfind('.');
  std::string got = dot == std::string::npos ? "" : out.substr(dot);
  for (char& c : got) c = char(std::tolower((unsigned char)c));
  if (got == ext) return "";
  return "-o " + out + ": writes " + ext + " files only; give a name ending in " + ext;
}

} // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  // Maps are binary, and output is the same bytes as on other systems (no CRLF).
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  CLI::App app{"Inspect, render, export and build Kelvane map files.", "kelvane"};
  app.set_version_flag("--version", "kelvane " KELVANE_VERSION);
  app.require_subcommand(1);
  app.footer("Run 'kelvane COMMAND --help' for the options and an example of one command.\n"
             "Exit status: 0 success; 1 a file could not be read or written, is not a map, or\n"
             "(with --strict) loaded with warnings; 2 bad usage.");

  std::string map, out, size = "640x480", camera, desc, format;
  bool json = false, axes = false, strict = false, fit = false;
  const char* strictHelp = "Fail (exit 1, nothing written) when the map loads with warnings";
  auto* info = app.add_subcommand("info", "Print the header and every lattice of a map");
  info->add_option("MAP", map, "Map file ('-' reads standard input)")->required();
  info->add_flag("--json", json, "Print JSON instead of text");
  info->add_flag("--strict", strict, strictHelp);
  info->footer("Example: kelvane info --json level.map");

  auto* render = app.add_subcommand("render", "Draw the viewer's frame of a map into a PNG file");
  render->add_option("MAP", map, "Map file ('-' reads standard input)")->required();
  render->add_option("-o,--output", out, "PNG file to write ('-' for standard output)")->required();
  render->add_option("--size", size, "Picture size WIDTHxHEIGHT (default 640x480)");
  render->add_option("--camera", camera,
                     "View as TX,TY,TZ,PITCH,YAW: the scene's translation in world units, then "
                     "pitch and yaw in degrees, turning about a point 50 units in front of the "
                     "eye; the viewer prints it when you press P (default 0,0,0,0,0, where the "
                     "viewer starts)");
  render->add_flag("--fit", fit,
                   "Choose the translation so that every drawn lattice fits the frame, keeping "
                   "the pitch and yaw of --camera (30 and -45 without it); prints the camera "
                   "used on stderr");
  render->add_flag("--axes", axes, "Draw the parent axis lines, as while T is held");
  render->add_flag("--strict", strict, strictHelp);
  render->footer("Example: kelvane render level.map -o level.png --size 1280x960 --fit\n"
                 "         kelvane render level.map -o level.png --camera 0,5,0,20,-45");

  auto* exp = app.add_subcommand(
      "export", "Write every drawn lattice as a mesh: Wavefront OBJ or glTF 2.0 (.glb, .gltf)");
  exp->add_option("MAP", map, "Map file ('-' reads standard input)")->required();
  exp->add_option("-o,--output", out,
                  "File to write: .obj, .glb or .gltf ('-' for standard output, with --format)")
      ->required();
  exp->add_option("--format", format, "obj, glb or gltf (default: from the output's extension)")
      ->check(CLI::IsMember({"obj", "glb", "gltf"}));
  exp->add_flag("--strict", strict, strictHelp);
  exp->footer("Triangles face out of their lattice and carry an outward normal; those with a "
              "non-finite corner are left out with a warning.\n"
              "Example: kelvane export level.map -o level.glb");

  auto* demo = app.add_subcommand("demo", "Write the built-in sample landscape as a map file");
  demo->add_option("-o,--output", out, "Map file to write")->required();
  demo->footer("Example: kelvane demo -o demo.map && kelvane-viewer demo.map");

  auto* make = app.add_subcommand("make-map", "Build a map file from a JSON description");
  make->add_option("DESC", desc, "JSON in the shape 'kelvane info --json' prints ('-' for stdin)")
      ->required();
  make->add_option("-o,--output", out, "Map file to write")->required();
  make->footer("Example: kelvane info --json a.map > a.json && kelvane make-map a.json -o b.map");

  // The command named first; a word that names none is reported as such, not as a parse error.
  std::string command;
  if (argc > 1 && argv[1][0] != '-') {
    command = argv[1];
    if (std::find(std::begin(commands), std::end(commands), command) == std::end(commands))
      return usage("", "unknown command '" + command + "'");
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    return usage(command, e.what());
  }
  std::string file = make->parsed() ? desc : map;
  try {
    if (info->parsed()) return runInfo(map, json, strict);
    if (exp->parsed()) {
      ExportFormat fmt = ExportFormat::obj;
      bool named = formatOfName(out, fmt);
      if (!format.empty()) {
        ExportFormat asked = ExportFormat::obj;
        formatOfName("." + format, asked);
        if (named && asked != fmt)
          return usage("export", "-o " + out + " and --format " + format + " disagree");
        fmt = asked;
      } else if (!named && !checkExtension(out, ".obj").empty()) {
        return usage("export", "-o " + out +
                                   ": writes .obj, .glb or .gltf files; give a name ending in "
                                   "one of them, or --format");
      }
      return runExport(map, out, fmt, strict);
    }
    if (demo->parsed()) return writeDescription(demoMap(), "demo", out);
    if (make->parsed()) return runMakeMap(desc, out);
    if (render->parsed()) {
      int w = 0, h = 0;
      Camera cam;
      std::string bad = parseSize(size, w, h);
      if (bad.empty())
        bad = parseCamera(camera.empty() ? fit ? "0,0,0,30,-45" : "0,0,0,0,0" : camera, cam);
      if (bad.empty()) bad = checkExtension(out, ".png");
      if (!bad.empty()) return usage("render", bad);
#ifdef _WIN32
      return usage("render", "render: not available in the Windows build (it needs EGL); use the "
                             "viewer");
#else
      return runRender(map, out, w, h, cam, fit, axes, strict);
#endif
    }
  } catch (const std::bad_alloc&) {
    return fail(file.empty() ? out : file, "out of memory");
  }
  return 2;
}
