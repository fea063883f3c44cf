// Maps generated for the benchmarks, and the literal reader they are compared with.
#pragma once

#include "mapfile/reader.h"
#include "mapfile/writer.h"
#include "tests/big_maps.h"

#include <string>

Lattice* literalLoad(const char* name);
void literalFree(Lattice* lat);

// Loads the map `desc` describes; a description the writer refuses ends the benchmark.
void loadBenchMap(const MapDesc& desc, LoadedMap& map);

// Seconds per frame measured by one benchmark binary, for another to compare with.
void saveFrameTime(const std::string& name, double seconds);
bool loadFrameTime(const std::string& name, double& seconds);
