// Maps generated for the benchmarks, and the literal reader they are compared with.
#pragma once

#include "mapfile/lattice.h"
#include "mapfile/writer.h"

#include <string>

Lattice* literalLoad(const char* name);
void literalFree(Lattice* lat);
