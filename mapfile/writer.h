// Builds map container files: for demo maps, maps described in JSON, tests and benchmarks.
#pragma once

#include "reader.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct LatticeRecord {
  int id = 1;
  float pos[3] = {0, 0, 0};
  float rot[3] = {0, 0, 0};
  float cell[3] = {1, 1, 1};
  float frameData[19] = {};
  std::vector<std::pair<float, float>> minInsets, maxInsets;
  int nx = 1, ny = 1, nz = 1; // 0..255
  std::vector<float> heights;
  std::vector<int> refs; // record numbers, counted from 1 over the whole data area
  std::string tail;      // bytes after the references, before the next marker
  std::vector<unsigned char> skipped12 = std::vector<unsigned char>(12, 0);
  std::vector<uint32_t> skippedWords; // the table of 4-byte values after the 12 bytes
  std::vector<int> skippedCounts;     // the list of counts after that
};

struct MapDesc {
  std::vector<LatticeRecord> lattices;
  std::vector<std::string> otherRecords; // bodies of records of other types, before the lattices
  std::vector<std::string> strings;
  int extraCount = 0;      // 0..255 entries of 16 bytes
  bool longCounts = false; // every count in the two-byte form
  // The LandFrameStore count and record count written to the file; -1: the true ones.
  int nlatOverride = -1;
  int recordCountOverride = -1;
  bool withLandFrameStore = true;
};

// The largest value a variable-length count can hold.
constexpr int maxVarCount = 32767;

// Appends one variable-length count; `longForm` writes two bytes even below 128. False, with
// nothing appended, for a value outside 0..maxVarCount.
bool putVarCount(std::string& out, int v, bool longForm = false);

// The whole file for `map` into `out`. False, with `err` naming the first value the format
// cannot hold (as "lattices[3].refs[0]: ..."), when the map cannot be written as described.
bool writeMap(const MapDesc& map, std::string& out, std::string& err);

// Loads the file `map` describes into `out`, as the reader reads it from disk. False, with
// `err` set as writeMap sets it, when the map cannot be written.
bool loadDescribed(const MapDesc& map, LoadedMap& out, std::string& err);

// Record number (counted from 1) of lattice `index` in a file written from `map`.
int latticeRecordNumber(const MapDesc& map, int index);
