// Pieces of the `kelvane` command that tests use directly: loading a map by name, the
// `info` report in text and JSON.
#pragma once

#include "mapfile/lattice.h"

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
