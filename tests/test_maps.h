// Helpers shared by the tests: loading maps built in memory and reading lists back.
#pragma once

#include "mapfile/lattice.h"
#include "mapfile/writer.h"

#include <string>
#include <vector>

struct Loaded {
  MapStore store;
  Lattice* lat = nullptr;
  LoadReport rep;
};

void loadBytes(const std::string& bytes, Loaded& out);
std::vector<Lattice*> latticesOf(Lattice* lat);
std::vector<float> heightsOf(const Lattice* L);
std::vector<std::pair<float, float>> insetsOf(const InsetNode* n);

// A plain box lattice: cells of 1, nx x ny x nz, no heights or insets.
LatticeRecord box(int nx, int ny, int nz, int id = 1);
