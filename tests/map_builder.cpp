// Test helpers: load a map from bytes and read its lists back as vectors.
#include "test_maps.h"

#include <gtest/gtest.h>

std::string mapBytes(const MapDesc& m) {
  std::string bytes, err;
  EXPECT_TRUE(writeMap(m, bytes, err)) << err;
  return bytes;
}

void loadDesc(const MapDesc& m, LoadedMap& out) {
  loadMapBytes(mapBytes(m), out);
}

std::vector<Lattice*> latticesOf(Lattice* lat) {
  std::vector<Lattice*> v;
  for (; lat; lat = lat->next) v.push_back(lat);
  return v;
}

std::vector<float> heightsOf(const Lattice* L) {
  std::vector<float> v;
  for (const HeightNode* h = L->heights; h; h = h->next) v.push_back(h->value);
  return v;
}

std::vector<std::pair<float, float>> insetsOf(const InsetNode* n) {
  std::vector<std::pair<float, float>> v;
  for (; n; n = n->next) v.push_back({n->dx, n->dz});
  return v;
}

LatticeRecord box(int nx, int ny, int nz, int id) {
  LatticeRecord L;
  L.id = id;
  L.nx = nx;
  L.ny = ny;
  L.nz = nz;
  return L;
}
