// Writes the fuzzers' seed corpus into a folder, one file a seed.
#include "seeds.h"

#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_seeds DIR\n");
    return 2;
  }
  for (const SeedFile& s : seedFiles()) {
    std::FILE* f = std::fopen((std::string(argv[1]) + "/" + s.name).c_str(), "wb");
    if (!f) continue;
    std::fwrite(s.bytes.data(), 1, s.bytes.size(), f);
    std::fclose(f);
  }
  return 0;
}
