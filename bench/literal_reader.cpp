// The reader as a literal reading would write it: byte-at-a-time stdio, one allocation per
// node, a walk of the list for every child reference. Only the benchmark uses it, as the
// baseline our reader is measured against.
#include "bench_maps.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

int varCount(std::FILE* f) {
  unsigned char tc = 0;
  std::fread(&tc, 1, 1, f);
  int v = tc;
  if (v > 127) {
    v -= 128;
    std::fread(&tc, 1, 1, f);
    v += 128 * tc;
  }
  return v;
}

void skipMarker(std::FILE* f) {
  const char* m = "CTNR";
  int j = 0, c;
  while (j < 4 && (c = std::fgetc(f)) != EOF) j = c == m[j] ? j + 1 : 0;
}

InsetNode* insets(std::FILE* f) {
  unsigned char c = 0;
  std::fread(&c, 1, 1, f);
  InsetNode* head = nullptr;
  InsetNode** tail = &head;
  for (int k = 0; k < c; k++) {
    InsetNode* n = static_cast<InsetNode*>(std::malloc(sizeof(InsetNode)));
    std::fread(&n->dx, 4, 1, f);
    std::fread(&n->dz, 4, 1, f);
    n->next = nullptr;
    *tail = n;
    tail = &n->next;
  }
  return head;
}

} // namespace

Lattice* literalLoad(const char* name) {
  std::FILE* f = std::fopen(name, "rb");
  unsigned char ts[2048];
  std::fread(ts, 64, 1, f);
  int extraCount = ts[7], typeCount = ts[24] | ts[25] << 8, recordCount = ts[28] | ts[29] << 8;
  int nlat = 0;
  for (int t = 0; t < typeCount; t++) {
    std::fread(ts, 64, 1, f);
    if (!std::strcmp("LandFrameStore", reinterpret_cast<char*>(ts + 32))) nlat = ts[8] | ts[9] << 8;
  }
  for (int i = 0; i < extraCount; i++) std::fread(ts, 16, 1, f);
  std::fread(ts, 12, 1, f);
  int stringCount = ts[4] | ts[5] << 8;
  for (int i = 0; i < stringCount; i++) std::fread(ts, 4, 1, f);
  for (int s = 0, c; s < stringCount && (c = std::fgetc(f)) != EOF;) s += c == 0;
  Lattice* lat = static_cast<Lattice*>(std::calloc(1, sizeof(Lattice)));
  Lattice* cur = lat;
  for (int i = 1; i < nlat; i++) {
    cur->next = static_cast<Lattice*>(std::calloc(1, sizeof(Lattice)));
    cur = cur->next;
  }
  for (int m = 0; m <= recordCount - nlat; m++) skipMarker(f);
  cur = lat;
  for (int i = 0; i < nlat; i++) {
    std::fread(ts, 3, 1, f);
    cur->id = varCount(f);
    std::fread(&cur->x, 4, 9, f);
    std::fread(cur->frameData, 76, 1, f);
    cur->minInsets = insets(f);
    cur->maxInsets = insets(f);
    std::fread(ts, 3, 1, f);
    cur->nx = ts[0], cur->ny = ts[1], cur->nz = ts[2];
    int c = varCount(f);
    HeightNode** tail = &cur->heights;
    for (int k = 0; k < c; k++) {
      HeightNode* n = static_cast<HeightNode*>(std::malloc(sizeof(HeightNode)));
      std::fread(&n->value, 4, 1, f);
      n->next = nullptr;
      *tail = n;
      tail = &n->next;
    }
    std::fread(ts, 12, 1, f);
    for (int n = varCount(f); n > 0; n--) std::fread(ts, 4, 1, f);
    for (int n = varCount(f); n > 0; n--)
      if (std::fgetc(f) >= 128) std::fgetc(f);
    cur->refCount = varCount(f);
    for (int k = 0; k < cur->refCount; k++) {
      int L = varCount(f) - (recordCount - nlat) - 1;
      Lattice* t = lat;
      for (int s = 0; s < L && t; s++) t = t->next;
      if (L >= 0 && t) t->parent = cur;
    }
    if (i < nlat - 1) {
      skipMarker(f);
      cur = cur->next;
    }
  }
  std::fclose(f);
  return lat;
}

void literalFree(Lattice* lat) {
  while (lat) {
    for (HeightNode* h = lat->heights; h;) {
      HeightNode* n = h->next;
      std::free(h);
      h = n;
    }
    for (InsetNode* list : {lat->minInsets, lat->maxInsets})
      while (list) {
        InsetNode* n = list->next;
        std::free(list);
        list = n;
      }
    Lattice* n = lat->next;
    std::free(lat);
    lat = n;
  }
}
