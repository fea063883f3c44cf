// Pieces of the `kelvane` command that tests use directly: loading a map by name, the
// `info` report, OBJ export, the demo landscape, maps from JSON and headless rendering.
#pragma once

#include "mapfile/lattice.h"
#include "mapfile/writer.h"

#include <string>

struct LoadedMap {
  MapStore store;
  Lattice* lat = nullptr;
  LoadReport rep;
};

// Loads `path` ("-" reads standard input). False, with `err` set, when it cannot be read.
bool loadMap(const std::string& path, LoadedMap& map, std::string& err);

std::string infoJson(const LoadedMap& map);
std::string infoText(const LoadedMap& map);

// A float as JSON that reads back as the same 32-bit float; non-finite values as strings.
std::string jsonFloat(float v);

// Wavefront OBJ of every drawn lattice in draw order, in world coordinates, with greys as
// vertex colours. `source` names the map in the header comment.
std::string exportObj(const Lattice* lat, const std::string& source);

// The built-in sample landscape.
MapDesc demoMap();

// A map from JSON in the shape `info --json` prints. False, with `err` set, when the text is
// not such a description.
bool mapFromJson(const std::string& text, MapDesc& map, std::string& err);

struct Camera {
  float trot[10] = {};
};

// A GL context with a width x height drawing surface and no window system (EGL).
struct HeadlessContext {
  void* dpy = nullptr;
  void* surface = nullptr;
  void* ctx = nullptr;
  int width = 0, height = 0;
};

// Makes a headless context current with the viewer's depth test and projection.
bool openHeadless(HeadlessContext& hc, int width, int height, std::string& err);
// Draws and finishes one frame of the viewer for `cam`, with the axis lines when `axes`.
void drawHeadlessFrame(const Lattice* lat, const Camera& cam, bool axes);
void closeHeadless(HeadlessContext& hc);

// Draws the frame the viewer would draw for `cam` at width x height without any window
// system and writes it as PNG. False, with `err` set, on failure.
bool renderPng(const Lattice* lat, int width, int height, const Camera& cam, bool axes,
               const std::string& out, std::string& err);

// Writes `bytes` to `path` ("-" is standard output).
bool writeFile(const std::string& path, const std::string& bytes, std::string& err);
