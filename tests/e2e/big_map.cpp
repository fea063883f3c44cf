// Writes one of the big maps for a script: big_map frame|heights OUT.
#include "tests/big_maps.h"

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
  bool frame = argc == 3 && !std::strcmp(argv[1], "frame");
  if (argc != 3 || (!frame && std::strcmp(argv[1], "heights"))) {
    std::fprintf(stderr, "usage: big_map frame|heights OUT\n");
    return 2;
  }
  std::string bytes, err;
  if (!writeMap(frame ? bigFrameMap() : heightsMap(), bytes, err)) {
    std::fprintf(stderr, "big_map: %s\n", err.c_str());
    return 1;
  }
  std::FILE* f = std::fopen(argv[2], "wb");
  bool ok = f && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  if (f && std::fclose(f) != 0) ok = false;
  if (!ok) std::perror(argv[2]);
  return ok ? 0 : 1;
}
