// `kelvane`: inspect, render, export and build map files from the command line.
#include "toolkit.h"

#include <CLI/CLI.hpp>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>

namespace {

constexpr const char* version = "kelvane 1.0.0";

int fail(const std::string& file, const std::string& reason) {
  std::fprintf(stderr, "kelvane: %s: %s\n", file.c_str(), reason.c_str());
  return 1;
}

// Loads MAP and reports its warnings on stderr; false after reporting why it could not.
bool load(const std::string& file, LoadedMap& map, bool warnings = true) {
  std::string err;
  if (!loadMap(file, map, err)) {
    fail(file, err);
    return false;
  }
  if (warnings)
    for (const std::string& w : map.rep.warnings)
      std::fprintf(stderr, "kelvane: %s: warning: %s\n", file.c_str(), w.c_str());
  return true;
}

int save(const std::string& out, const std::string& bytes) {
  std::string err;
  return writeFile(out, bytes, err) ? 0 : fail(out, err);
}

int runInfo(const std::string& file, bool json) {
  LoadedMap map;
  if (!load(file, map, !json)) return 1;
  return save("-", json ? infoJson(map) : infoText(map));
}

int runExport(const std::string& file, const std::string& out) {
  LoadedMap map;
  if (!load(file, map)) return 1;
  return save(out, exportObj(map.lat, file));
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
  return save(out, writeMap(m));
}

#ifndef _WIN32
int runRender(const std::string& file, const std::string& out, int w, int h, const Camera& cam,
              bool axes) {
  LoadedMap map;
  if (!load(file, map)) return 1;
  std::string err;
  return renderPng(map.lat, w, h, cam, axes, out, err) ? 0 : fail(out, err);
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

std::string parseCamera(const std::string& s, Camera& cam) {
  std::stringstream in(s);
  std::string part;
  int n = 0;
  while (std::getline(in, part, ',')) {
    char* end = nullptr;
    float v = std::strtof(part.c_str(), &end);
    if (n >= 5 || part.empty() || *end)
      n = 6;
    else
      cam.trot[n++] = v;
  }
  return n == 5 ? "" : "--camera: expected TX,TY,TZ,PITCH,YAW, e.g. 0,0,0,10,-30";
}

} // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  // Maps are binary, and output is the same bytes as on other systems (no CRLF).
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  CLI::App app{"Inspect, render, export and build Kelvane map files.", "kelvane"};
  app.set_version_flag("--version", version);
  app.require_subcommand(1);
  app.footer("Run 'kelvane COMMAND --help' for the options and an example of one command.");

  std::string map, out, size = "640x480", camera = "0,0,0,0,0", desc;
  bool json = false, axes = false;
  auto* info = app.add_subcommand("info", "Print the header and every lattice of a map");
  info->add_option("MAP", map, "Map file ('-' reads standard input)")->required();
  info->add_flag("--json", json, "Print JSON instead of text");
  info->footer("Example: kelvane info --json level.map");

  auto* render = app.add_subcommand("render", "Draw the viewer's frame of a map into a PNG file");
  render->add_option("MAP", map, "Map file ('-' reads standard input)")->required();
  render->add_option("-o,--output", out, "PNG file to write")->required();
  render->add_option("--size", size, "Picture size WIDTHxHEIGHT (default 640x480)");
  render->add_option("--camera", camera,
                     "View as TX,TY,TZ,PITCH,YAW; the viewer prints it when you press P "
                     "(default 0,0,0,0,0, where the viewer starts)");
  render->add_flag("--axes", axes, "Draw the parent axis lines, as while T is held");
  render->footer(
      "Example: kelvane render level.map -o level.png --size 1280x960 --camera 0,5,0,20,-45");

  auto* exp = app.add_subcommand("export", "Write every drawn lattice as a Wavefront OBJ mesh");
  exp->add_option("MAP", map, "Map file ('-' reads standard input)")->required();
  exp->add_option("-o,--output", out, "OBJ file to write ('-' for standard output)")->required();
  exp->footer("Example: kelvane export level.map -o level.obj");

  auto* demo = app.add_subcommand("demo", "Write the built-in sample landscape as a map file");
  demo->add_option("-o,--output", out, "Map file to write")->required();
  demo->footer("Example: kelvane demo -o demo.map && kelvane-viewer demo.map");

  auto* make = app.add_subcommand("make-map", "Build a map file from a JSON description");
  make->add_option("DESC", desc, "JSON in the shape 'kelvane info --json' prints ('-' for stdin)")
      ->required();
  make->add_option("-o,--output", out, "Map file to write")->required();
  make->footer("Example: kelvane info --json a.map > a.json && kelvane make-map a.json -o b.map");

  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::fprintf(stderr, "kelvane: %s\nRun 'kelvane --help' for usage.\n", e.what());
    return 2;
  }
  auto usage = [](const std::string& msg) {
    std::fprintf(stderr, "kelvane: %s\n", msg.c_str());
    return 2;
  };
  if (info->parsed()) return runInfo(map, json);
  if (exp->parsed()) return runExport(map, out);
  if (demo->parsed()) return save(out, writeMap(demoMap()));
  if (make->parsed()) return runMakeMap(desc, out);
  if (render->parsed()) {
    int w = 0, h = 0;
    Camera cam;
    std::string bad = parseSize(size, w, h);
    if (bad.empty()) bad = parseCamera(camera, cam);
    if (!bad.empty()) return usage(bad);
#ifdef _WIN32
    return usage("render: not available in the Windows build (it needs EGL); use the viewer");
#else
    return runRender(map, out, w, h, cam, axes);
#endif
  }
  return 2;
}
