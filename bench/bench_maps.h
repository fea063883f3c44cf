// Maps generated for the benchmarks, and the literal reader they are compared with.
#pragma once

#include "mapfile/reader.h"
#include "mapfile/writer.h"

#include <string>

Lattice* literalLoad(const char* name);
void literalFree(Lattice* lat);

// Loads the map `desc` describes; a description the writer refuses ends the benchmark.
void loadBenchMap(const MapDesc& desc, LoadedMap& map);

// Eight 255 x 1 x 255 lattices with rolling heights: 2,097,120 triangles a frame.
MapDesc bigFrameMap();
// Seconds per frame measured by one benchmark binary, for another to compare with.
void saveFrameTime(const std::string& name, double seconds);
bool loadFrameTime(const std::string& name, double& seconds);
