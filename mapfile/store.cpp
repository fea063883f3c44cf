// The map store: zeroed blocks that grow from small to large and are freed together.
#include "lattice.h"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <unordered_map>

namespace {

constexpr size_t firstBlock = 16u << 10;
constexpr size_t blockSize = 4u << 20;

} // namespace

MapStore::~MapStore() {
  for (void* b : blocks) std::free(b);
}

void* storeAlloc(MapStore& s, size_t bytes) {
  bytes = (bytes + 15) & ~size_t(15);
  if (bytes > s.left) {
    // Blocks grow from small to large, so tiny maps stay tiny and big ones take few blocks.
    size_t next = std::clamp(s.bytes, firstBlock, blockSize);
    size_t n = bytes > next ? bytes : next;
    if (n > s.limit || s.bytes > s.limit - n) throw std::bad_alloc();
    s.blocks.reserve(s.blocks.size() + 1);
    void* b = std::calloc(1, n); // fresh pages come zeroed without being touched
    if (!b) throw std::bad_alloc();
    s.blocks.push_back(b);
    s.bytes += n;
    s.p = static_cast<unsigned char*>(b);
    s.left = n;
  }
  void* r = s.p;
  s.p += bytes;
  s.left -= bytes;
  return r;
}

Lattice* newLattice(MapStore& store) {
  return static_cast<Lattice*>(storeAlloc(store, sizeof(Lattice)));
}

std::vector<int> parentIndexes(const Lattice* lat) {
  std::unordered_map<const Lattice*, int> index;
  int n = 0;
  for (const Lattice* p = lat; p; p = p->next) index.emplace(p, n++);
  std::vector<int> parent;
  parent.reserve(size_t(n));
  for (const Lattice* p = lat; p; p = p->next) {
    auto it = p->parent ? index.find(p->parent) : index.end();
    parent.push_back(it == index.end() ? -1 : it->second);
  }
  return parent;
}

std::vector<const Lattice*> latticeList(const Lattice* lat) {
  std::vector<const Lattice*> list;
  for (; lat; lat = lat->next) list.push_back(lat);
  return list;
}

const Lattice* latticeAt(const Lattice* lat, int index) {
  if (index < 0) return nullptr;
  for (; lat && index > 0; index--) lat = lat->next;
  return lat;
}

int drawnOrdinal(const Lattice* lat, int index) {
  int ordinal = 0, i = 0;
  for (const Lattice* L = lat; L; L = L->next, i++) {
    if (i == index) return L->id ? ordinal : -1;
    if (L->id) ordinal++;
  }
  return -1;
}

int latticeCount(const Lattice* lat) {
  int n = 0;
  for (; lat; lat = lat->next) n++;
  return n;
}

int drawnCount(const Lattice* lat) {
  int n = 0;
  for (; lat; lat = lat->next) n += lat->id != 0;
  return n;
}
