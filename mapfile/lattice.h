// In-memory landscape lattices and the store that owns them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct HeightNode {
  float value; // one height, in units of the cell size sy
  HeightNode* next;
};

struct InsetNode {
  float dx; // edge offset along x, in units of sx
  float dz; // edge offset along z, in units of sz
  InsetNode* next;
};

struct Lattice {
  int id; // 0: not drawn
  float x, y, z;
  float rx, ry, rz; // radians
  float sx, sy, sz; // cell size
  float frameData[19];
  int nx, ny, nz; // cells, 0..255
  int refCount;
  HeightNode* heights;
  InsetNode* minInsets;
  InsetNode* maxInsets;
  Lattice* next;
  Lattice* parent;
};

// Where one lattice's editable values lie in the file, as byte offsets: its position (rotation
// and cell size follow it, nine floats in all), the first dx of each inset list (then dz, and
// so on in pairs) and its first height; each list's floats follow one another, 4 bytes each,
// as many as its list holds. 0 where the file ended first (no value lies at offset 0); a value
// the file ends inside of is not held (and so not editable). The
// record itself runs from `record` (the byte after its marker) to `end` (where the next marker
// starts; 0 for a record that runs to the end of the file).
struct ValueOffsets {
  uint64_t fixed = 0, minInsets = 0, maxInsets = 0, heights = 0;
  int fixedWhole = 0; // how many of the nine floats from `fixed` the file holds whole
  uint64_t record = 0, end = 0;
};

// Owns every lattice and list node of one loaded map and frees them together, with the bytes
// the map was read from. Records are carved from large blocks, so pointers stay stable for its
// lifetime.
struct MapStore {
  std::vector<unsigned char> file;   // the input, every byte of it, when the map loaded
  std::vector<ValueOffsets> offsets; // per lattice of the list, in list order
  std::vector<void*> blocks;
  unsigned char* p = nullptr; // free space of the current block
  size_t left = 0;
  size_t bytes = 0;          // all blocks together
  size_t limit = size_t(-1); // a block that would take `bytes` past this fails as out of memory
  // Whether the input past the last lattice record is read and kept (to write the map back);
  // a command that never writes the map leaves an endless stream unread there.
  bool keepTail = true;
  MapStore() = default;
  MapStore(const MapStore&) = delete;
  MapStore& operator=(const MapStore&) = delete;
  ~MapStore();
};

// `bytes` of zeroed memory owned by the store, 16-byte aligned. Throws std::bad_alloc when
// memory (or the store's limit) runs out.
void* storeAlloc(MapStore& store, size_t bytes);

// A zeroed lattice owned by the store; the root of a list to load into.
Lattice* newLattice(MapStore& store);

// For each lattice of the list from `lat`, in list order, the index of its parent in the same
// list (-1: none, or a parent outside the list). Linear in the list's length.
std::vector<int> parentIndexes(const Lattice* lat);
// The list from `lat` as a vector, in list order.
std::vector<const Lattice*> latticeList(const Lattice* lat);
// The lattice at list index `index` of the list from `lat`, or null.
const Lattice* latticeAt(const Lattice* lat, int index);
// How many lattices the list from `lat` holds, and how many of them are drawn (id not 0).
int latticeCount(const Lattice* lat);
int drawnCount(const Lattice* lat);
// How many drawn lattices (id not 0) come before the drawn lattice at list index `index`; -1
// when there is no such drawn lattice.
int drawnOrdinal(const Lattice* lat, int index);
