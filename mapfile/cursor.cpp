// Bounds-checked reads through the cursor. A stream is read a block at a time onto the end of
// the bytes the map keeps, so the input is held once, in order, and never copied.
#include "cursor.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

const char ctnr[5] = "CTNR";

// Reads the next block onto the kept bytes; throws std::bad_alloc when they cannot grow.
bool refill(Cursor& c) {
  if (!c.f || c.readError) return false;
  std::vector<unsigned char>& k = *c.keep;
  size_t at = k.size();
  if (k.capacity() == at) {
    // A file of known length is held in one allocation of its size: at once when it is small,
    // else once its first block has shown it to be worth reading (an input that is not a map
    // fails within that block).
    size_t grow = std::max(c.block, at / 2);
    if (c.expect > at && (at >= c.block || c.expect < c.block) && c.expect < SIZE_MAX)
      grow = size_t(c.expect - at) + 1;
    k.reserve(at + grow);
  }
  size_t want = std::min(c.block, k.capacity() - at);
  k.resize(at + want);
  size_t got = std::fread(k.data() + at, 1, want, c.f);
  if (got == 0 && std::ferror(c.f)) c.readError = errno ? errno : EIO;
  k.resize(at + got);
  c.base = k.data();
  c.p = c.base + at;
  c.end = c.p + got;
  return got > 0;
}

} // namespace

Cursor memoryCursor(const unsigned char* data, size_t size) {
  Cursor c;
  c.base = c.p = data;
  c.end = data + size;
  return c;
}

Cursor streamCursor(std::FILE* f, std::vector<unsigned char>& keep, size_t block) {
  Cursor c;
  c.f = f;
  c.keep = &keep;
  c.block = block;
  c.base = c.p = c.end = keep.data();
  return c;
}

bool readToEnd(Cursor& c, size_t most) {
  while (refill(c)) {
    c.p = c.end;
    if (c.keep && c.keep->size() > most) return false;
  }
  return c.readError == 0;
}

uint64_t cursorOffset(const Cursor& c) {
  return uint64_t(c.p - c.base);
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

bool getf32Refill(Cursor& c, float& v) {
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
