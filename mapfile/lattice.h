// In-memory landscape lattices and the map container reader that fills them.
// The reader never prints or exits: it returns what it found and its warnings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
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

// Owns every lattice and list node of one loaded map and frees them together.
// Records are carved from large blocks, so pointers stay stable for its lifetime.
struct MapStore {
  std::vector<void*> blocks;
  unsigned char* p = nullptr; // free space of the current block
  size_t left = 0;
  size_t bytes = 0; // all blocks together
  MapStore() = default;
  MapStore(const MapStore&) = delete;
  MapStore& operator=(const MapStore&) = delete;
  ~MapStore();
};

// A zeroed lattice owned by the store; hand it to loadLandFrames as the root.
Lattice* newLattice(MapStore& store);

struct LoadReport {
  bool opened = false;
  std::string openError; // why the file could not be opened
  int extraCount = 0, typeCount = 0, recordCount = 0, stringCount = 0;
  int nlat = 0; // the LandFrameStore count; the list always holds at least the root
  bool hasLandFrameStore = false;
  std::vector<std::string> warnings;
};

// Fills the list that starts at the zeroed root `lat` from the map file `name`.
// Every other lattice and node is allocated from `store`.
LoadReport loadLandFrames(const char* name, Lattice* lat, MapStore& store);

// The same, from a stream opened for binary reading (left open). A read error is reported
// like a file that does not open.
LoadReport loadLandFramesFromStream(std::FILE* f, Lattice* lat, MapStore& store);

// The same, from `size` bytes in memory.
LoadReport loadLandFramesFromMemory(const unsigned char* data, size_t size, Lattice* lat,
                                    MapStore& store);

// Index of a lattice in the list that starts at `lat`, or -1 when it is not in it.
int latticeIndex(const Lattice* lat, const Lattice* target);

// Input bytes consumed through a refillable buffer: {p, end} are the unread bytes at hand.
struct Cursor {
  const unsigned char* p = nullptr;
  const unsigned char* end = nullptr;
  const unsigned char* base = nullptr; // start of the bytes at hand
  std::FILE* f = nullptr;              // refill source; null when all input is in memory
  unsigned char* buf = nullptr;
  size_t cap = 0;
  uint64_t consumed = 0; // input bytes before `base`
  uint64_t size = 0;     // input length
};

uint64_t cursorOffset(const Cursor& c);
uint64_t cursorLeft(const Cursor& c);
bool get8(Cursor& c, uint8_t& v);
bool getf32(Cursor& c, float& v);
bool skipBytes(Cursor& c, uint64_t n);
// Up to n bytes into dst; returns how many the input still had.
size_t getUpTo(Cursor& c, unsigned char* dst, size_t n);

// One variable-length count: b0 below 128, else (b0 - 128) + 128 * b1. False when the
// input ends inside it (v is then untouched).
bool readVarCount(Cursor& c, int& v);
// 1 when the NUL-terminated texts are equal, else 0.
int strEquals(const char* a, const char* b);
// Steps past the next "CTNR"; a byte that breaks a partial match is not retried as a start.
// False when the input ends first.
bool skipPastMarker(Cursor& c);
