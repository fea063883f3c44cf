// `kelvane`: inspect, render, export and build map files from the command line.
#include "toolkit.h"

#include "platform/system.h"
#include "render/retained.h"

#include <CLI/CLI.hpp>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>

namespace {

const char* const commands[] = {"info", "render", "export", "thumbnail", "demo", "make-map"};

// What the command line says, for whichever command it names.
struct Options {
  std::string map, out, size = "640x480", camera, desc, format, select, thumbSize;
  bool json = false, axes = false, strict = false, fit = false;
  bool selectGiven = false; // --select was on the command line, even as ""
};

// The parser and its subcommands.
struct CommandLine {
  CLI::App app{"Inspect, render, export and build Kelvane map files.", "kelvane"};
  CLI::App *info = nullptr, *render = nullptr, *exp = nullptr, *thumb = nullptr, *demo = nullptr,
           *make = nullptr;
};

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

int runInfo(const Options& o) {
  LoadedMap map;
  if (!load(o.map, map, o.strict, o.json)) return 1;
  return save("-", o.json ? infoJson(map) : infoText(map));
}

int runExport(const Options& o, ExportFormat format) {
  LoadedMap map;
  if (!load(o.map, map, o.strict)) return 1;
  Output out;
  std::string err;
  if (!openOutput(o.out, out, err)) return fail(o.out, err);
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

int writeDescription(const MapDesc& m, const std::string& desc, const std::string& out) {
  std::string bytes, err;
  if (!writeMap(m, bytes, err)) return fail(desc, err);
  return save(out, bytes);
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

int runMakeMap(const Options& o) {
  std::string text, err;
  errno = 0;
  if (!readAll(o.desc, text, err)) return fail(o.desc, err);
  MapDesc m;
  if (!mapFromJson(text, m, err)) return fail(o.desc, err);
  return writeDescription(m, o.desc, o.out);
}

// A whole number from `lo` to `hi`, all of `s`.
bool wholeIn(std::string_view s, int lo, int hi, int& v) {
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  return ec == std::errc() && end == s.data() + s.size() && v >= lo && v <= hi;
}

// "WxH" with both sides from 1 to 16384.
bool parseSize(const std::string& s, int& w, int& h, std::string& err) {
  size_t x = s.find_first_of("xX");
  if (x == std::string::npos || !wholeIn(std::string_view(s).substr(0, x), 1, 16384, w) ||
      !wholeIn(std::string_view(s).substr(x + 1), 1, 16384, h)) {
    err = "--size: expected WIDTHxHEIGHT, each from 1 to 16384, e.g. 640x480 (got '" + s + "')";
    return false;
  }
  return true;
}

// --select's lattice index, a whole number from 0 to 65534; -1 when not `given`.
bool parseSelect(bool given, const std::string& s, int& select, std::string& err) {
  select = -1;
  if (!given || wholeIn(s, 0, 65534, select)) return true;
  err = "--select: expected a lattice index, a whole number from 0 to 65534 (got '" + s + "')";
  return false;
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
bool parseCamera(const std::string& s, Camera& cam, std::string& err) {
  size_t start = 0;
  for (int n = 0; n < 5; n++) {
    size_t comma = s.find(',', start);
    if ((n == 4) != (comma == std::string::npos) ||
        !decimal(s.substr(start, comma - start), cam.trot[n])) {
      err = "--camera: expected five finite decimal numbers TX,TY,TZ,PITCH,YAW, e.g. "
            "0,0,0,10,-30 (got '" +
            s + "')";
      return false;
    }
    start = comma + 1;
  }
  return true;
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

#ifndef _WIN32
// The bytes the retained arrays may take, from KELVANE_GEOMETRY_MB and the machine's memory.
size_t geometryBudgetHere() {
  std::string warning;
  size_t budget = geometryBudget(std::getenv("KELVANE_GEOMETRY_MB"), physicalMemory(), warning);
  if (!warning.empty()) std::fprintf(stderr, "kelvane: warning: %s\n", warning.c_str());
  return budget;
}

// --fit: moves the job's camera to frame the map, saying what it chose and what it could not.
void fitView(const std::string& file, const Lattice* lat, RenderJob& job) {
  using namespace Trot;
  const float* t = job.cam.trot;
  double depth = 0;
  if (!fitCamera(lat, job.width, job.height, job.cam.trot, depth, latticeAt(lat, job.select)))
    std::fprintf(stderr, "kelvane: %s: warning: no lattice is drawn; nothing to fit\n",
                 file.c_str());
  else if (depth > 1000)
    std::fprintf(stderr,
                 "kelvane: %s: warning: the scene is %.0f units deep from the fitted eye; the "
                 "view ends at 1000, so the part beyond is not drawn\n",
                 file.c_str(), depth);
  std::fprintf(stderr, "--camera %.9g,%.9g,%.9g,%.9g,%.9g\n", t[tx], t[ty], t[tz], t[pitch],
               t[yaw]);
}

// --select names a drawn lattice of the map; the reason when it does not.
bool checkSelect(const Lattice* lat, int select, std::string& err) {
  if (select < 0 || drawnOrdinal(lat, select) >= 0) return true;
  int n = 0;
  for (const Lattice* L = lat; L; L = L->next) n++;
  const Lattice* L = latticeAt(lat, select);
  err = "--select " + std::to_string(select) + ": " +
        (L ? "lattice " + std::to_string(select) + " is not drawn (its id is 0)"
           : "the map has " + std::to_string(n) + " lattice" + (n == 1 ? "" : "s"));
  return false;
}

int runRender(const Options& o, RenderJob& job) {
  LoadedMap map;
  if (!load(o.map, map, o.strict)) return 1;
  std::string bad;
  if (!checkSelect(map.lat, job.select, bad)) return usage("render", bad);
  if (o.fit) fitView(o.map, map.lat, job);
  job.budget = geometryBudgetHere();
  std::string where, err;
  return renderPng(map.lat, job, o.out, where, err) ? 0 : fail(where, err);
}
#endif

#ifndef _WIN32
// A SIZE x SIZE picture of the whole map for file managers: the fitted view, written as PNG
// whatever the output's name; silent unless it fails.
int runThumbnail(const Options& o, int size) {
  LoadedMap map;
  if (!load(o.map, map, false, true)) return 1;
  RenderJob job;
  job.width = job.height = size;
  job.cam.trot[Trot::pitch] = 30;
  job.cam.trot[Trot::yaw] = -45;
  double depth = 0;
  fitCamera(map.lat, size, size, job.cam.trot, depth);
  job.budget = geometryBudgetHere();
  std::string where, err;
  return renderPng(map.lat, job, o.out, where, err) ? 0 : fail(where, err);
}
#endif

int thumbnailCommand(const Options& o) {
  int size = 0;
  if (!wholeIn(o.thumbSize, 16, 1024, size))
    return usage("thumbnail",
                 "-s: expected a size in pixels from 16 to 1024 (got '" + o.thumbSize + "')");
#ifdef _WIN32
  return usage("thumbnail", "thumbnail: not available in the Windows build (it needs EGL)");
#else
  return runThumbnail(o, size);
#endif
}

int renderCommand(const Options& o) {
  RenderJob job;
  job.axes = o.axes;
  std::string cam = o.camera.empty() ? o.fit ? "0,0,0,30,-45" : "0,0,0,0,0" : o.camera, err;
  if (!parseSize(o.size, job.width, job.height, err) || !parseCamera(cam, job.cam, err) ||
      !parseSelect(o.selectGiven, o.select, job.select, err) || !checkExtension(o.out, ".png", err))
    return usage("render", err);
#ifdef _WIN32
  return usage("render", "render: not available in the Windows build (it needs EGL); use the "
                         "viewer");
#else
  return runRender(o, job);
#endif
}

void defineInfo(CommandLine& cl, Options& o, const char* strictHelp) {
  cl.info = cl.app.add_subcommand("info", "Print the header and every lattice of a map");
  cl.info->add_option("MAP", o.map, "Map file ('-' reads standard input)")->required();
  cl.info->add_flag("--json", o.json, "Print JSON instead of text");
  cl.info->add_flag("--strict", o.strict, strictHelp);
  cl.info->footer("Example: kelvane info --json level.map");
}

void defineRender(CommandLine& cl, Options& o, const char* strictHelp) {
  CLI::App* r = cl.render =
      cl.app.add_subcommand("render", "Draw the viewer's frame of a map into a PNG file");
  r->add_option("MAP", o.map, "Map file ('-' reads standard input)")->required();
  r->add_option("-o,--output", o.out, "PNG file to write ('-' for standard output)")->required();
  r->add_option("--size", o.size, "Picture size WIDTHxHEIGHT (default 640x480)");
  r->add_option("--camera", o.camera,
                "View as TX,TY,TZ,PITCH,YAW: the scene's translation in world units, then "
                "pitch and yaw in degrees, turning about a point 50 units in front of the "
                "eye; the viewer prints it when you press P (default 0,0,0,0,0, where the "
                "viewer starts)");
  r->add_flag("--fit", o.fit,
              "Choose the translation so that every drawn lattice fits the frame, keeping "
              "the pitch and yaw of --camera (30 and -45 without it); prints the camera "
              "used on stderr");
  r->add_flag("--axes", o.axes, "Draw the parent axis lines, as while T is held");
  r->add_option("--select", o.select,
                "Draw lattice INDEX (numbered as 'kelvane info' numbers them) in amber, as the "
                "viewer shows a selected lattice; with --fit, frame that lattice");
  r->add_flag("--strict", o.strict, strictHelp);
  r->footer("Example: kelvane render level.map -o level.png --size 1280x960 --fit\n"
            "         kelvane render level.map -o level.png --camera 0,5,0,20,-45");
}

void defineExport(CommandLine& cl, Options& o, const char* strictHelp) {
  CLI::App* e = cl.exp = cl.app.add_subcommand(
      "export", "Write every drawn lattice as a mesh: Wavefront OBJ or glTF 2.0 (.glb, .gltf)");
  e->add_option("MAP", o.map, "Map file ('-' reads standard input)")->required();
  e->add_option("-o,--output", o.out,
                "File to write: .obj, .glb or .gltf ('-' for standard output, with --format)")
      ->required();
  e->add_option("--format", o.format, "obj, glb or gltf (default: from the output's extension)")
      ->check(CLI::IsMember({"obj", "glb", "gltf"}));
  e->add_flag("--strict", o.strict, strictHelp);
  e->footer("Triangles face out of their lattice and carry an outward normal; those with a "
            "non-finite corner are left out with a warning.\n"
            "Example: kelvane export level.map -o level.glb");
}

void defineThumbnail(CommandLine& cl, Options& o) {
  CLI::App* t = cl.thumb = cl.app.add_subcommand(
      "thumbnail", "Write a square PNG picture of the whole map, for file managers");
  t->add_option("-s,--size", o.thumbSize, "The picture's width and height in pixels, 16 to 1024")
      ->required();
  t->add_option("MAP", o.map, "Map file ('-' reads standard input)")->required();
  t->add_option("OUT", o.out, "PNG file to write, whatever its name ends in")->required();
  t->footer("The view is render --fit's; nothing is printed unless it fails.\n"
            "Example: kelvane thumbnail -s 256 level.map level.png");
}

void defineWriters(CommandLine& cl, Options& o) {
  cl.demo = cl.app.add_subcommand("demo", "Write the built-in sample landscape as a map file");
  cl.demo->add_option("-o,--output", o.out, "Map file to write")->required();
  cl.demo->footer("Example: kelvane demo -o demo.map && kelvane-viewer demo.map");

  cl.make = cl.app.add_subcommand("make-map", "Build a map file from a JSON description");
  cl.make
      ->add_option("DESC", o.desc, "JSON in the shape 'kelvane info --json' prints ('-' for stdin)")
      ->required();
  cl.make->add_option("-o,--output", o.out, "Map file to write")->required();
  cl.make->footer(
      "Example: kelvane info --json a.map > a.json && kelvane make-map a.json -o b.map");
}

void defineCommands(CommandLine& cl, Options& o) {
  cl.app.set_version_flag("--version", "kelvane " KELVANE_VERSION);
  cl.app.require_subcommand(1);
  cl.app.footer("Run 'kelvane COMMAND --help' for the options and an example of one command.\n"
                "Exit status: 0 success; 1 a file could not be read or written, is not a map, or\n"
                "(with --strict) loaded with warnings; 2 bad usage.");
  const char* strictHelp = "Fail (exit 1, nothing written) when the map loads with warnings";
  defineInfo(cl, o, strictHelp);
  defineRender(cl, o, strictHelp);
  defineExport(cl, o, strictHelp);
  defineThumbnail(cl, o);
  defineWriters(cl, o);
}

// Parses the command line; an exit status when that ends the run (help, version, bad usage),
// else -1. A first word that names no command is reported as such, not as a parse error.
int parseCommandLine(CommandLine& cl, int argc, char** argv) {
  std::string command;
  if (argc > 1 && argv[1][0] != '-') {
    command = argv[1];
    if (std::find(std::begin(commands), std::end(commands), command) == std::end(commands))
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
  if (cl.info->parsed()) return runInfo(o);
  if (cl.exp->parsed()) return exportCommand(o);
  if (cl.demo->parsed()) return writeDescription(demoMap(), "demo", o.out);
  if (cl.make->parsed()) return runMakeMap(o);
  if (cl.render->parsed()) return renderCommand(o);
  if (cl.thumb->parsed()) return thumbnailCommand(o);
  return 2;
}

} // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  // Maps are binary, and output is the same bytes as on other systems (no CRLF).
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  CommandLine cl;
  Options o;
  defineCommands(cl, o);
  if (int code = parseCommandLine(cl, argc, argv); code >= 0) return code;
  try {
    return runCommand(cl, o);
  } catch (const std::bad_alloc&) {
    std::string file = cl.make->parsed() ? o.desc : o.map;
    return fail(file.empty() ? o.out : file, "out of memory");
  }
}
