// Helpers shared by the tests: maps written from descriptions, and lists read back as vectors.
#pragma once

#include "mapfile/reader.h"
#include "mapfile/writer.h"

#include <string>
#include <vector>

// The file for `m`; a failure to write it fails the test.
std::string mapBytes(const MapDesc& m);
// Loads the file for `m` into `out`; a failure to write it fails the test.
void loadDesc(const MapDesc& m, LoadedMap& out);

std::vector<Lattice*> latticesOf(Lattice* lat);
std::vector<float> heightsOf(const Lattice* L);
std::vector<std::pair<float, float>> insetsOf(const InsetNode* n);

// A plain box lattice: cells of 1, nx x ny x nz, no heights or insets.
LatticeRecord box(int nx, int ny, int nz, int id = 1);
