// The reader's input: one cursor over bytes in memory or read from a stream into the bytes the
// map keeps, and the read helpers that check the end. Internal to mapfile/ (and its tests).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

// {p, end} are the unread bytes at hand; `base` is the input's first byte.
struct Cursor {
  const unsigned char* p = nullptr;
  const unsigned char* end = nullptr;
  const unsigned char* base = nullptr;
  std::FILE* f = nullptr;                     // refill source; null when all input is in memory
  std::vector<unsigned char>* keep = nullptr; // with `f`: every byte read so far, in order
  size_t block = 0;                           // with `f`: bytes read at a time at most
  uint64_t expect = 0; // with `f`: the stream's length where known (a regular file), else 0
  int readError = 0;   // errno of a failed read; the input counts as ended there
};

// A cursor over `size` bytes in memory.
Cursor memoryCursor(const unsigned char* data, size_t size);
// A cursor over the stream `f`, reading `block` bytes at a time onto the end of `keep` (whose
// capacity, reserved by the caller, is used before it grows).
Cursor streamCursor(std::FILE* f, std::vector<unsigned char>& keep, size_t block);
// Reads what the stream has left into the kept bytes; false when a read failed or more than
// `most` bytes are kept.
bool readToEnd(Cursor& c, size_t most = SIZE_MAX);

uint64_t cursorOffset(const Cursor& c);
bool get8(Cursor& c, uint8_t& v);
// One little-endian 32-bit float; the slow path refills the cursor.
bool getf32Refill(Cursor& c, float& v);
inline bool getf32(Cursor& c, float& v) {
  if (c.end - c.p >= 4) {
    std::memcpy(&v, c.p, 4); // little-endian hosts only, as the format
    c.p += 4;
    return true;
  }
  return getf32Refill(c, v);
}
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
