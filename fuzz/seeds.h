// The fuzzers' seed corpus: small map files, whole, damaged and cut short.
#pragma once

#include <string>
#include <vector>

struct SeedFile {
  std::string name, bytes;
};

std::vector<SeedFile> seedFiles();
