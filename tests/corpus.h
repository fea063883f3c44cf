// The corpus of map files the tests run over: the fuzzers' seeds, the hostile maps and the
// make-map examples of the repository, the demo and varied generated maps.
#pragma once

#include "fuzz/seeds.h"
#include "mapfile/writer.h"

#include <vector>

// A map with a bit of everything the reader skips or keeps (see corpus.cpp), from `seed`.
MapDesc variedMap(unsigned seed);
// Every file of the corpus, named.
std::vector<SeedFile> corpus();
