// The map container reader: fills a lattice list from a file, a stream or memory. It never
// prints or exits: it returns what it found, why it found nothing, and its warnings.
#pragma once

#include "lattice.h"

#include <cstdio>
#include <string>
#include <vector>

enum class LoadStatus {
  loaded,     // a map: its lattices are in the list (perhaps damaged: see the warnings)
  openFailed, // the input could not be opened or read
  notMap,     // the header or type table shows the input is not a map
  outOfMemory,
};

// How many nodes each list of one lattice got.
struct ListLengths {
  int heights = 0, minInsets = 0, maxInsets = 0;
};

struct LoadReport {
  LoadStatus status = LoadStatus::openFailed;
  std::string error; // why nothing was loaded, when status is not `loaded`
  int extraCount = 0, typeCount = 0, recordCount = 0, stringCount = 0;
  int nlat = 0; // the LandFrameStore count; the list always holds at least the root
  std::vector<std::string> warnings;
  std::vector<ListLengths> lengths; // per lattice of the list, in list order (when loaded)
};

// Fills the list that starts at the zeroed root `lat` from the map file `name`. Every other
// lattice and node is allocated from `store`, which also keeps the file's bytes and where each
// lattice's editable values lie in them. Unless the status is `loaded`, the list is the zeroed
// root alone and nothing is kept. Memory: the file once, at most 65,535 lattices, and list
// nodes only for values the input held (16 bytes per 4-byte height, 24 per 8-byte inset).
LoadReport loadLandFrames(const char* name, Lattice* lat, MapStore& store);

// The same, from a stream opened for binary reading (left open): files, pipes and devices
// alike, read a buffer at a time.
LoadReport loadLandFramesFromStream(std::FILE* f, Lattice* lat, MapStore& store);

// The same, from `size` bytes in memory.
LoadReport loadLandFramesFromMemory(const unsigned char* data, size_t size, Lattice* lat,
                                    MapStore& store);

// A map loaded with its store and its report.
struct LoadedMap {
  MapStore store;
  Lattice* lat = nullptr;
  LoadReport rep;
};

// Loads `path` ("-" is standard input) into `map`.
void loadMap(const std::string& path, LoadedMap& map);
// Loads `size` bytes in memory into `map`.
void loadMapBytes(const void* data, size_t size, LoadedMap& map);
inline void loadMapBytes(const std::string& bytes, LoadedMap& map) {
  loadMapBytes(bytes.data(), bytes.size(), map);
}
