// Writes one of the big maps for a script: big_map frame|frame4|heights|heights-raised|chain|
// unchained OUT (frame4: the frame map four times over; heights-raised: the heights map with
// every height 1 higher).
#include "tests/big_maps.h"

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
  const char* kind = argc == 3 ? argv[1] : "";
  MapDesc m;
  if (!std::strcmp(kind, "frame") || !std::strcmp(kind, "frame4"))
    m = bigFrameMap(kind[5] ? 4 : 1);
  else if (!std::strcmp(kind, "heights") || !std::strcmp(kind, "heights-raised")) {
    m = heightsMap();
    if (kind[7])
      for (LatticeRecord& L : m.lattices)
        for (float& h : L.heights) h += 1;
  } else if (!std::strcmp(kind, "chain") || !std::strcmp(kind, "unchained"))
    m = chainMap(kind[0] == 'c');
  else {
    std::fprintf(stderr,
                 "usage: big_map frame|frame4|heights|heights-raised|chain|unchained OUT\n");
    return 2;
  }
  std::string bytes, err;
  if (!writeMap(m, bytes, err)) {
    std::fprintf(stderr, "big_map: %s\n", err.c_str());
    return 1;
  }
  std::FILE* f = std::fopen(argv[2], "wb");
  bool ok = f && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  if (f && std::fclose(f) != 0) ok = false;
  if (!ok) std::perror(argv[2]);
  return ok ? 0 : 1;
}
