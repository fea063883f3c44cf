// Map container reader: header, type table, skipped tables and strings, then the lattice
// records with their lists and child references. Each step returns as soon as the input
// ends; a value the input ends inside of is never stored.
#include "reader.h"

#include "cursor.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>
#include <sys/stat.h>
#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

constexpr size_t readBlock = 1u << 20;
constexpr int nodeBatch = 1024; // list nodes read before they are allocated together

// Bytes a regular file has left to read; 0 for other streams, whose length is not known.
uint64_t bytesLeft(std::FILE* f) {
#ifdef _WIN32
  struct _stat64 st;
  bool regular = _fstat64(_fileno(f), &st) == 0 && (st.st_mode & _S_IFMT) == _S_IFREG;
  long long at = regular ? _ftelli64(f) : -1;
#else
  struct stat st;
  bool regular = fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode);
  long long at = regular ? ftello(f) : -1;
#endif
  return at >= 0 && st.st_size > at ? uint64_t(st.st_size - at) : 0;
}

uint16_t le16(const unsigned char* b) {
  return uint16_t(b[0] | b[1] << 8);
}

struct Decoder {
  Cursor& cur;
  Lattice* lat;
  MapStore& store;
  LoadReport& rep;
  Lattice* rest = nullptr; // lattices 1..nlat-1, contiguous
  bool hasLandFrameStore = false;
  std::string notMap = {}; // set when the header or type table shows the input is not a map

  Lattice* at(int i) const { return i == 0 ? lat : rest + (i - 1); }
  int indexOf(const Lattice* p) const { return p == lat ? 0 : int(p - rest) + 1; }

  // Records that the input ended inside `where`; always false.
  bool ended(const std::string& where) {
    rep.warnings.push_back("file ends inside " + where + " at byte " +
                           std::to_string(cursorOffset(cur)));
    return false;
  }
};

bool readHeader(Decoder& d) {
  unsigned char h[64];
  size_t got = getUpTo(d.cur, h, 64);
  if (got < 64) {
    d.notMap = got == 0 ? std::string("the file is empty")
                        : "file ends inside the header at byte " + std::to_string(got);
    return false;
  }
  d.rep.extraCount = h[7];
  d.rep.typeCount = le16(h + 24);
  d.rep.recordCount = le16(h + 28);
  return true;
}

// The last LandFrameStore entry gives the lattice count.
bool readTypeTable(Decoder& d) {
  unsigned char e[64];
  for (int t = 0; t < d.rep.typeCount; t++) {
    if (getUpTo(d.cur, e, 64) < 64) {
      d.notMap = "file ends inside type entry " + std::to_string(t) + " of " +
                 std::to_string(d.rep.typeCount) + " at byte " +
                 std::to_string(cursorOffset(d.cur));
      return false;
    }
    if (strEquals("LandFrameStore", reinterpret_cast<char*>(e + 32))) {
      d.rep.nlat = le16(e + 8);
      d.hasLandFrameStore = true;
    }
  }
  if (!d.hasLandFrameStore) d.notMap = "no LandFrameStore type entry";
  return d.hasLandFrameStore;
}

// The root and nlat - 1 zeroed lattices after it, linked in file order.
void allocateLattices(Decoder& d) {
  int nlat = d.rep.nlat;
  if (nlat < 2) return;
  d.rest = static_cast<Lattice*>(storeAlloc(d.store, sizeof(Lattice) * size_t(nlat - 1)));
  d.lat->next = d.rest;
  for (int i = 0; i + 1 < nlat - 1; i++) d.rest[i].next = d.rest + i + 1;
}

// The extra table, the string table head, the string offsets and the strings themselves.
bool skipTables(Decoder& d) {
  Cursor& c = d.cur;
  if (!skipBytes(c, uint64_t(d.rep.extraCount) * 16)) return d.ended("the extra table");
  unsigned char head[12];
  size_t got = getUpTo(c, head, 12);
  if (got >= 6) d.rep.stringCount = le16(head + 4);
  if (got < 12) return d.ended("the string table head");
  if (!skipBytes(c, uint64_t(d.rep.stringCount) * 4)) return d.ended("the string offset table");
  for (int s = 0; s < d.rep.stringCount;) {
    uint8_t b;
    if (!get8(c, b))
      return d.ended("the string data (" + std::to_string(s) + " of " +
                     std::to_string(d.rep.stringCount) + " strings)");
    s += b == 0;
  }
  return true;
}

// A list of `count` nodes of N floats each. Values are read a batch at a time and nodes are
// allocated only for values the input held, so a count the input does not back costs nothing.
// False when the input ends before the list does.
template <class Node, int N, class Fill>
bool readList(Decoder& d, int count, Node*& head, int& length, const std::string& where,
              Fill fill) {
  head = nullptr;
  length = 0;
  Node** tail = &head;
  float v[nodeBatch * N];
  for (int done = 0; done < count;) {
    int want = std::min(count - done, nodeBatch), n = 0;
    for (bool whole = true; n < want && whole; n += whole) {
      for (int k = 0; k < N && whole; k++) whole = getf32(d.cur, v[n * N + k]);
    }
    if (n > 0) {
      Node* nodes = static_cast<Node*>(storeAlloc(d.store, sizeof(Node) * size_t(n)));
      for (int k = 0; k < n; k++) {
        fill(nodes[k], v + k * N);
        nodes[k].next = k + 1 < n ? nodes + k + 1 : nullptr;
      }
      *tail = nodes;
      tail = &nodes[n - 1].next;
    }
    done += n;
    length = done;
    if (n < want) return d.ended(where);
  }
  return true;
}

bool readInsets(Decoder& d, InsetNode*& head, int& length, uint64_t& offset,
                const std::string& where) {
  uint8_t c;
  if (!get8(d.cur, c)) return d.ended(where);
  offset = cursorOffset(d.cur);
  return readList<InsetNode, 2>(d, c, head, length, where, [](InsetNode& n, const float* v) {
    n.dx = v[0];
    n.dz = v[1];
  });
}

// Child references: each names a record counted from 1 over the data area; those that fall
// on a lattice make this lattice its parent.
bool readReferences(Decoder& d, Lattice* L, const std::string& where) {
  int before = d.rep.recordCount - d.rep.nlat;
  int missing = 0, first = 0;
  bool whole = true;
  for (int k = 0; k < L->refCount && whole; k++) {
    int r = 0;
    whole = readVarCount(d.cur, r);
    int t = r - before - 1;
    if (!whole || t < 0) continue;
    if (t < d.rep.nlat) {
      d.at(t)->parent = L;
    } else if (missing++ == 0) {
      first = r;
    }
  }
  if (missing)
    d.rep.warnings.push_back(where + ": " + std::to_string(missing) +
                             " child reference(s) name no lattice (first: record " +
                             std::to_string(first) + "); ignored");
  return whole || d.ended(where);
}

// Decodes lattice i from the byte after its marker. False when the input ended.
bool readRecord(Decoder& d, int i) {
  Cursor& c = d.cur;
  Lattice* L = d.at(i);
  std::string where = "lattice record " + std::to_string(i);
  int v = 0;
  uint8_t b = 0;
  d.store.offsets[size_t(i)].record = cursorOffset(c);
  if (!skipBytes(c, 3) || !readVarCount(c, v)) return d.ended(where);
  L->id = v;
  ValueOffsets& at = d.store.offsets[size_t(i)];
  at.fixed = cursorOffset(c);
  float* fixed[28] = {&L->x, &L->y, &L->z, &L->rx, &L->ry, &L->rz, &L->sx, &L->sy, &L->sz};
  for (int k = 0; k < 19; k++) fixed[9 + k] = L->frameData + k;
  for (float* f : fixed) {
    if (!getf32(c, *f)) return d.ended(where);
    at.fixedWhole = std::min(at.fixedWhole + 1, 9);
  }
  ListLengths& len = d.rep.lengths[size_t(i)];
  if (!readInsets(d, L->minInsets, len.minInsets, at.minInsets, where) ||
      !readInsets(d, L->maxInsets, len.maxInsets, at.maxInsets, where))
    return false;
  for (int* cells : {&L->nx, &L->ny, &L->nz}) {
    if (!get8(c, b)) return d.ended(where);
    *cells = b;
  }
  if (!readVarCount(c, v)) return d.ended(where);
  at.heights = cursorOffset(c);
  if (!readList<HeightNode, 1>(d, v, L->heights, len.heights, where,
                               [](HeightNode& n, const float* h) { n.value = h[0]; }))
    return false;
  if (!skipBytes(c, 12) || !readVarCount(c, v) || !skipBytes(c, uint64_t(v) * 4) ||
      !readVarCount(c, v))
    return d.ended(where);
  for (int k = 0; k < v; k++) {
    if (!get8(c, b) || (b >= 128 && !skipBytes(c, 1))) return d.ended(where);
  }
  if (!readVarCount(c, v)) return d.ended(where);
  L->refCount = v;
  return readReferences(d, L, where);
}

// Steps past the markers of the records before the lattices, then decodes each lattice.
void readRecords(Decoder& d) {
  int nlat = d.rep.nlat;
  if (nlat == 0) return;
  int markers = d.rep.recordCount - nlat + 1;
  for (int m = 0; m < markers; m++) {
    if (!skipPastMarker(d.cur)) {
      d.rep.warnings.push_back("file ends before the first lattice record (after " +
                               std::to_string(m) + " of " + std::to_string(markers) + " markers)");
      return;
    }
  }
  for (int i = 0; i < nlat; i++) {
    ValueOffsets& at = d.store.offsets[size_t(i)];
    bool whole = readRecord(d, i);
    // The record ends where the next marker starts, or the file (its bytes are all kept then).
    bool next = whole && i + 1 < nlat && skipPastMarker(d.cur);
    at.end = next ? cursorOffset(d.cur) - 4 : 0;
    if (!whole) return;
    if (i + 1 < nlat && !next) {
      d.rep.warnings.push_back("file ends before lattice record " + std::to_string(i + 1));
      return;
    }
  }
}

// Cuts every parent cycle once: the cycle's lowest-index lattice loses its parent.
void breakCycles(Decoder& d) {
  std::vector<int> walk(size_t(d.rep.nlat), -1); // the walk that last visited a lattice
  for (int i = 0; i < d.rep.nlat; i++) {
    Lattice* p = d.at(i);
    while (p && walk[size_t(d.indexOf(p))] < 0) {
      walk[size_t(d.indexOf(p))] = i;
      p = p->parent;
    }
    if (!p || walk[size_t(d.indexOf(p))] != i) continue;
    int low = d.indexOf(p);
    for (Lattice* q = p->parent; q != p; q = q->parent) low = std::min(low, d.indexOf(q));
    d.rep.warnings.push_back("parent links of lattice " + std::to_string(low) +
                             " form a cycle; its parent link is dropped");
    d.at(low)->parent = nullptr;
  }
}

LoadReport failed(LoadStatus status, const std::string& why, Lattice* lat, MapStore& store) {
  LoadReport rep;
  rep.status = status;
  rep.error = why;
  *lat = Lattice{};
  std::vector<unsigned char>().swap(store.file);
  store.offsets.clear();
  return rep;
}

LoadReport decode(Cursor& cur, Lattice* lat, MapStore& store) {
  LoadReport rep;
  *lat = Lattice{};
  Decoder d{cur, lat, store, rep};
  try {
    if (readHeader(d) && readTypeTable(d)) {
      allocateLattices(d);
      rep.lengths.resize(size_t(std::max(rep.nlat, 1)));
      store.offsets.assign(rep.lengths.size(), ValueOffsets{});
      if (skipTables(d)) readRecords(d);
      breakCycles(d);
    }
    if (d.notMap.empty() && !cur.readError && store.keepTail &&
        !readToEnd(cur, store.limit)) // kept whole, to be written back
      return failed(LoadStatus::outOfMemory,
                    "more than " + std::to_string(store.limit >> 20) +
                        " MB of input after the map's last record; not kept",
                    lat, store);
  } catch (const std::bad_alloc&) {
    return failed(LoadStatus::outOfMemory, "out of memory", lat, store);
  }
  if (cur.readError)
    return failed(LoadStatus::openFailed, std::strerror(cur.readError), lat, store);
  if (!d.notMap.empty()) return failed(LoadStatus::notMap, d.notMap, lat, store);
  rep.status = LoadStatus::loaded;
  return rep;
}

} // namespace

LoadReport loadLandFramesFromMemory(const unsigned char* data, size_t size, Lattice* lat,
                                    MapStore& store) {
  try {
    store.file.assign(data, data + size);
  } catch (const std::bad_alloc&) {
    return failed(LoadStatus::outOfMemory, "out of memory", lat, store);
  }
  Cursor c = memoryCursor(store.file.data(), size);
  return decode(c, lat, store);
}

LoadReport loadLandFramesFromStream(std::FILE* f, Lattice* lat, MapStore& store) {
  store.file.clear();
  Cursor c = streamCursor(f, store.file, readBlock);
  c.expect = bytesLeft(f);
  return decode(c, lat, store);
}

LoadReport loadLandFrames(const char* name, Lattice* lat, MapStore& store) {
  std::FILE* f = std::fopen(name, "rb");
  if (!f) return failed(LoadStatus::openFailed, std::strerror(errno), lat, store);
  LoadReport rep = loadLandFramesFromStream(f, lat, store);
  std::fclose(f);
  return rep;
}

namespace {

// The root of `map`'s list; false, with the report saying so, when there is no memory for it.
bool newRoot(LoadedMap& map) {
  try {
    map.lat = newLattice(map.store);
    return true;
  } catch (const std::bad_alloc&) {
    map.rep.status = LoadStatus::outOfMemory;
    map.rep.error = "out of memory";
    return false;
  }
}

} // namespace

void loadMap(const std::string& path, LoadedMap& map) {
  if (!newRoot(map)) return;
  map.rep = path == "-" ? loadLandFramesFromStream(stdin, map.lat, map.store)
                        : loadLandFrames(path.c_str(), map.lat, map.store);
}

void loadMapBytes(const void* data, size_t size, LoadedMap& map) {
  if (!newRoot(map)) return;
  map.rep =
      loadLandFramesFromMemory(static_cast<const unsigned char*>(data), size, map.lat, map.store);
}
