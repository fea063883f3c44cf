// Map container reader: header, type table, skipped tables and strings, then the
// lattice records with their lists and child references. Input is read through one
// bounds-checked cursor; a value the input ends inside of is never stored.
#include "lattice.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sys/stat.h>

namespace {

constexpr size_t firstBlock = 16u << 10;
constexpr size_t blockSize = 4u << 20;
constexpr size_t readBlock = 1u << 20;
const char ctnr[5] = "CTNR";

void* storeAlloc(MapStore& s, size_t bytes) {
  bytes = (bytes + 15) & ~size_t(15);
  if (bytes > s.left) {
    // Blocks grow from small to large, so tiny maps stay tiny and big ones take few blocks.
    size_t next = std::clamp(s.bytes, firstBlock, blockSize);
    size_t n = bytes > next ? bytes : next;
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

bool refill(Cursor& c) {
  if (!c.f) return false;
  c.consumed += uint64_t(c.end - c.base);
  uint64_t want = c.size > c.consumed ? c.size - c.consumed : 0;
  size_t n = want < c.cap ? size_t(want) : c.cap;
  size_t got = n ? std::fread(c.buf, 1, n, c.f) : 0;
  c.base = c.p = c.buf;
  c.end = c.buf + got;
  if (got < n) c.size = c.consumed + got; // the file shrank under us
  return got > 0;
}

uint16_t le16(const unsigned char* b) {
  return uint16_t(b[0] | b[1] << 8);
}

// Records that the input ended inside `where`; always false.
bool endedInside(LoadReport& rep, const Cursor& cur, const std::string& where) {
  rep.warnings.push_back("file ends inside " + where + " at byte " +
                         std::to_string(cursorOffset(cur)));
  return false;
}

struct Decoder {
  Cursor& cur;
  Lattice* lat;
  Lattice* rest; // lattices 1..nlat-1, contiguous
  MapStore& store;
  LoadReport& rep;

  Lattice* at(int i) const { return i == 0 ? lat : rest + (i - 1); }
  int indexOf(const Lattice* p) const { return p == lat ? 0 : int(p - rest) + 1; }

  bool ended(const std::string& where) { return endedInside(rep, cur, where); }

  bool floats(float* const* dst, int n, const std::string& where) {
    for (int k = 0; k < n; k++)
      if (!getf32(cur, *dst[k])) return ended(where);
    return true;
  }

  // A list of c nodes of `bytes` input bytes each, as many as the input still holds; `read`
  // fills one node. `ok` turns false when the input ends before the list does.
  template <class Node, class Read>
  Node* list(int c, uint64_t bytes, const std::string& where, bool& ok, Read read) {
    ok = true;
    if (c == 0) return nullptr;
    uint64_t fit = cursorLeft(cur) / bytes;
    int n = fit < uint64_t(c) ? int(fit) : c;
    Node* nodes = n ? static_cast<Node*>(storeAlloc(store, sizeof(Node) * size_t(n))) : nullptr;
    for (int k = 0; k < n; k++) {
      read(nodes[k]);
      nodes[k].next = k + 1 < n ? nodes + k + 1 : nullptr;
    }
    if (n < c) ok = ended(where);
    return nodes;
  }

  InsetNode* insets(int c, const std::string& where, bool& ok) {
    return list<InsetNode>(c, 8, where, ok, [&](InsetNode& n) {
      getf32(cur, n.dx);
      getf32(cur, n.dz);
    });
  }

  HeightNode* heights(int c, const std::string& where, bool& ok) {
    return list<HeightNode>(c, 4, where, ok, [&](HeightNode& n) { getf32(cur, n.value); });
  }

  // Decodes lattice i from the byte after its marker. False when the input ended.
  bool record(int i) {
    Lattice* L = at(i);
    std::string where = "lattice record " + std::to_string(i);
    int v = 0;
    uint8_t b = 0;
    if (!skipBytes(cur, 3) || !readVarCount(cur, v)) return ended(where);
    L->id = v;
    float* placement[9] = {&L->x, &L->y, &L->z, &L->rx, &L->ry, &L->rz, &L->sx, &L->sy, &L->sz};
    float* frame[19];
    for (int k = 0; k < 19; k++) frame[k] = L->frameData + k;
    if (!floats(placement, 9, where) || !floats(frame, 19, where)) return false;
    bool ok = true;
    if (!get8(cur, b)) return ended(where);
    L->minInsets = insets(b, where, ok);
    if (!ok) return false;
    if (!get8(cur, b)) return ended(where);
    L->maxInsets = insets(b, where, ok);
    if (!ok) return false;
    int* cells[3] = {&L->nx, &L->ny, &L->nz};
    for (int* cell : cells) {
      if (!get8(cur, b)) return ended(where);
      *cell = b;
    }
    if (!readVarCount(cur, v)) return ended(where);
    L->heights = heights(v, where, ok);
    if (!ok) return false;
    if (!skipBytes(cur, 12) || !readVarCount(cur, v) || !skipBytes(cur, uint64_t(v) * 4) ||
        !readVarCount(cur, v))
      return ended(where);
    for (int k = 0; k < v; k++) {
      if (!get8(cur, b) || (b >= 128 && !skipBytes(cur, 1))) return ended(where);
    }
    if (!readVarCount(cur, v)) return ended(where);
    L->refCount = v;
    int before = rep.recordCount - rep.nlat;
    int missing = 0, first = 0;
    bool whole = true;
    for (int k = 0; k < L->refCount && whole; k++) {
      int r = 0;
      whole = readVarCount(cur, r);
      int t = r - before - 1;
      if (!whole || t < 0) continue;
      if (t < rep.nlat) {
        at(t)->parent = L;
      } else if (missing++ == 0) {
        first = r;
      }
    }
    if (missing)
      rep.warnings.push_back(where + ": " + std::to_string(missing) +
                             " child reference(s) name no lattice (first: record " +
                             std::to_string(first) + "); ignored");
    return whole || ended(where);
  }

  // Cuts every parent cycle once: the cycle's lowest-index lattice loses its parent.
  void breakCycles() {
    std::vector<int> walk(rep.nlat, -1); // index of the walk that last visited a lattice
    for (int i = 0; i < rep.nlat; i++) {
      Lattice* p = at(i);
      while (p && walk[indexOf(p)] < 0) {
        walk[indexOf(p)] = i;
        p = p->parent;
      }
      if (!p || walk[indexOf(p)] != i) continue;
      int low = indexOf(p);
      for (Lattice* q = p->parent; q != p; q = q->parent) low = std::min(low, indexOf(q));
      rep.warnings.push_back("parent links of lattice " + std::to_string(low) +
                             " form a cycle; its parent link is dropped");
      at(low)->parent = nullptr;
    }
  }
};

LoadReport decode(Cursor& cur, Lattice* lat, MapStore& store) {
  LoadReport rep;
  rep.opened = true;
  *lat = Lattice{};
  unsigned char ts[2048];
  size_t got = getUpTo(cur, ts, 64);
  if (got > 7) rep.extraCount = ts[7];
  if (got >= 26) rep.typeCount = le16(ts + 24);
  if (got >= 30) rep.recordCount = le16(ts + 28);
  int nlat = 0;
  auto ended = [&](const std::string& where) { endedInside(rep, cur, where); };
  bool more = got == 64;
  if (!more) ended("the header");
  for (int t = 0; more && t < rep.typeCount; t++) {
    got = getUpTo(cur, ts, 64);
    // A name or count the input cuts off is not taken.
    if (got >= 47 && strEquals("LandFrameStore", reinterpret_cast<char*>(ts + 32))) {
      nlat = le16(ts + 8);
      rep.hasLandFrameStore = true;
    }
    if (got < 64) {
      ended("type entry " + std::to_string(t));
      more = false;
    }
  }
  if (more && !skipBytes(cur, uint64_t(rep.extraCount) * 16)) {
    ended("the extra table");
    more = false;
  }
  if (more) {
    got = getUpTo(cur, ts, 12);
    if (got >= 6) rep.stringCount = le16(ts + 4);
    if (got < 12) {
      ended("the string table head");
      more = false;
    }
  }
  if (more && !skipBytes(cur, uint64_t(rep.stringCount) * 4)) {
    ended("the string offset table");
    more = false;
  }
  for (int s = 0; more && s < rep.stringCount;) {
    uint8_t b;
    if (!get8(cur, b)) {
      ended("the string data (" + std::to_string(s) + " of " + std::to_string(rep.stringCount) +
            " strings)");
      more = false;
    } else if (b == 0) {
      s++;
    }
  }
  if (!rep.hasLandFrameStore) {
    rep.warnings.push_back("no LandFrameStore type entry; no lattices loaded");
    return rep;
  }
  rep.nlat = nlat;
  Lattice* rest = nullptr;
  if (nlat > 1) {
    rest = static_cast<Lattice*>(storeAlloc(store, sizeof(Lattice) * size_t(nlat - 1)));
    lat->next = rest;
    for (int i = 0; i + 1 < nlat - 1; i++) rest[i].next = rest + i + 1;
  }
  if (nlat == 0 || !more) return rep;
  Decoder d{cur, lat, rest, store, rep};
  int markers = rep.recordCount - nlat + 1;
  for (int m = 0; m < markers; m++) {
    if (!skipPastMarker(cur)) {
      rep.warnings.push_back("file ends before the first lattice record (after " +
                             std::to_string(m) + " of " + std::to_string(markers) + " markers)");
      return rep;
    }
  }
  for (int i = 0; i < nlat; i++) {
    if (!d.record(i)) break;
    if (i + 1 < nlat && !skipPastMarker(cur)) {
      rep.warnings.push_back("file ends before lattice record " + std::to_string(i + 1));
      break;
    }
  }
  d.breakCycles();
  return rep;
}

} // namespace

MapStore::~MapStore() {
  for (void* b : blocks) std::free(b);
}

Lattice* newLattice(MapStore& store) {
  return static_cast<Lattice*>(storeAlloc(store, sizeof(Lattice)));
}

uint64_t cursorOffset(const Cursor& c) {
  return c.consumed + uint64_t(c.p - c.base);
}
uint64_t cursorLeft(const Cursor& c) {
  return c.size - cursorOffset(c);
}

bool get8(Cursor& c, uint8_t& v) {
  if (c.p == c.end && !refill(c)) return false;
  v = *c.p++;
  return true;
}

size_t getUpTo(Cursor& c, unsigned char* dst, size_t n) {
  size_t done = 0;
  while (done < n) {
    if (c.p == c.end && !refill(c)) break;
    size_t k = size_t(c.end - c.p) < n - done ? size_t(c.end - c.p) : n - done;
    std::memcpy(dst + done, c.p, k);
    c.p += k;
    done += k;
  }
  return done;
}

bool getf32(Cursor& c, float& v) {
  if (c.end - c.p >= 4) {
    std::memcpy(&v, c.p, 4); // little-endian hosts only, as the format
    c.p += 4;
    return true;
  }
  unsigned char b[4];
  if (getUpTo(c, b, 4) < 4) return false;
  std::memcpy(&v, b, 4);
  return true;
}

bool skipBytes(Cursor& c, uint64_t n) {
  while (n > 0) {
    if (c.p == c.end && !refill(c)) return false;
    uint64_t k = uint64_t(c.end - c.p) < n ? uint64_t(c.end - c.p) : n;
    c.p += k;
    n -= k;
  }
  return true;
}

bool readVarCount(Cursor& c, int& v) {
  uint8_t tc = 0;
  if (!get8(c, tc)) return false;
  if (tc < 128) {
    v = tc;
    return true;
  }
  int low = tc - 128;
  if (!get8(c, tc)) return false;
  v = low + 128 * tc;
  return true;
}

int strEquals(const char* a, const char* b) {
  for (; *a; a++, b++)
    if (*a != *b) return 0;
  return *b == 0;
}

bool skipPastMarker(Cursor& c) {
  int j = 0;
  while (j < 4) {
    if (c.p == c.end && !refill(c)) return false;
    j = *c.p++ == ctnr[j] ? j + 1 : 0;
  }
  return true;
}

int latticeIndex(const Lattice* lat, const Lattice* target) {
  int i = 0;
  for (const Lattice* p = lat; p; p = p->next, i++)
    if (p == target) return i;
  return -1;
}

LoadReport loadLandFramesFromMemory(const unsigned char* data, size_t size, Lattice* lat,
                                    MapStore& store) {
  Cursor c;
  c.base = c.p = data;
  c.end = data + size;
  c.size = size;
  return decode(c, lat, store);
}

LoadReport loadLandFramesFromStream(std::FILE* f, Lattice* lat, MapStore& store) {
  struct stat st;
  if (fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode)) {
    std::unique_ptr<unsigned char[]> buf(new unsigned char[readBlock]);
    Cursor c;
    c.f = f;
    c.buf = buf.get();
    c.cap = readBlock;
    c.size = uint64_t(st.st_size);
    return decode(c, lat, store);
  }
  // Pipes and devices have no size to check counts against: take them whole first.
  std::vector<unsigned char> all;
  unsigned char chunk[65536];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) all.insert(all.end(), chunk, chunk + n);
  if (std::ferror(f)) {
    LoadReport rep;
    rep.openError = std::strerror(errno);
    *lat = Lattice{};
    return rep;
  }
  return loadLandFramesFromMemory(all.data(), all.size(), lat, store);
}

LoadReport loadLandFrames(const char* name, Lattice* lat, MapStore& store) {
  std::FILE* f = std::fopen(name, "rb");
  if (!f) {
    LoadReport rep;
    rep.openError = std::strerror(errno);
    *lat = Lattice{};
    return rep;
  }
  LoadReport rep = loadLandFramesFromStream(f, lat, store);
  std::fclose(f);
  return rep;
}
