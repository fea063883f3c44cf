// Container writer: header, type table, extra table, strings, then CTNR records.
#include "writer.h"

#include <cstring>

namespace {

void put16(std::string& out, size_t at, int v) {
  out[at] = char(v & 0xFF);
  out[at + 1] = char((v >> 8) & 0xFF);
}

void putFloat(std::string& out, float f) {
  char b[4];
  std::memcpy(b, &f, 4);
  out.append(b, 4);
}

void putTypeEntry(std::string& out, const char* name, int count) {
  std::string e(64, '\0');
  put16(e, 8, count);
  std::memcpy(&e[32], name, std::strlen(name));
  out += e;
}

void putInsets(std::string& out, const std::vector<std::pair<float, float>>& list) {
  out += char(list.size());
  for (auto [dx, dz] : list) {
    putFloat(out, dx);
    putFloat(out, dz);
  }
}

void putLattice(std::string& out, const LatticeRecord& L, bool lf) {
  out += "CTNR";
  out.append(3, '\0');
  putVarCount(out, L.id, lf);
  for (float v : L.pos) putFloat(out, v);
  for (float v : L.rot) putFloat(out, v);
  for (float v : L.cell) putFloat(out, v);
  for (float v : L.frameData) putFloat(out, v);
  putInsets(out, L.minInsets);
  putInsets(out, L.maxInsets);
  out += char(L.nx);
  out += char(L.ny);
  out += char(L.nz);
  putVarCount(out, int(L.heights.size()), lf);
  for (float v : L.heights) putFloat(out, v);
  out.append(reinterpret_cast<const char*>(L.skipped12.data()), 12);
  putVarCount(out, int(L.skippedWords.size()), lf);
  for (uint32_t w : L.skippedWords) out.append(reinterpret_cast<const char*>(&w), 4);
  putVarCount(out, int(L.skippedCounts.size()), lf);
  for (int c : L.skippedCounts) putVarCount(out, c, lf);
  putVarCount(out, int(L.refs.size()), lf);
  for (int r : L.refs) putVarCount(out, r, lf);
  out += L.tail;
}

} // namespace

void putVarCount(std::string& out, int v, bool longForm) {
  if (v < 128 && !longForm) {
    out += char(v);
    return;
  }
  out += char(128 + v % 128);
  out += char(v / 128);
}

int latticeRecordNumber(const MapDesc& map, int index) {
  return int(map.otherRecords.size()) + index + 1;
}

std::string writeMap(const MapDesc& map) {
  std::string out(64, '\0');
  int types = (map.withLandFrameStore ? 1 : 0) + (map.otherRecords.empty() ? 0 : 1);
  int records = int(map.otherRecords.size() + map.lattices.size());
  out[7] = char(map.extraCount);
  put16(out, 24, types);
  put16(out, 28, map.recordCountOverride >= 0 ? map.recordCountOverride : records);
  if (!map.otherRecords.empty()) putTypeEntry(out, "TerrainNote", int(map.otherRecords.size()));
  if (map.withLandFrameStore)
    putTypeEntry(out, "LandFrameStore",
                 map.nlatOverride >= 0 ? map.nlatOverride : int(map.lattices.size()));
  out.append(size_t(map.extraCount) * 16, '\0');
  std::string head(12, '\0');
  put16(head, 4, int(map.strings.size()));
  out += head;
  uint32_t offset = 0;
  for (const std::string& s : map.strings) {
    out.append(reinterpret_cast<const char*>(&offset), 4);
    offset += uint32_t(s.size() + 1);
  }
  for (const std::string& s : map.strings) {
    out += s;
    out += '\0';
  }
  for (const std::string& body : map.otherRecords) out += "CTNR" + body;
  for (const LatticeRecord& L : map.lattices) putLattice(out, L, map.longCounts);
  return out;
}
