// Bounds-checked reads through the cursor; a stream is refilled a buffer at a time, so
// memory stays the same whatever the input's length.
#include "cursor.h"

#include <cerrno>
#include <cstring>

namespace {

const char ctnr[5] = "CTNR";

bool refill(Cursor& c) {
  if (!c.f || c.readError) return false;
  c.consumed += uint64_t(c.end - c.base);
  size_t got = std::fread(c.buf, 1, c.cap, c.f);
  if (got == 0 && std::ferror(c.f)) c.readError = errno ? errno : EIO;
  c.base = c.p = c.buf;
  c.end = c.buf + got;
  return got > 0;
}

} // namespace

Cursor memoryCursor(const unsigned char* data, size_t size) {
  Cursor c;
  c.base = c.p = data;
  c.end = data + size;
  return c;
}

uint64_t cursorOffset(const Cursor& c) {
  return c.consumed + uint64_t(c.p - c.base);
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
