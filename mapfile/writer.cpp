// Container writer: header, type table, extra table, strings, then CTNR records. Every value
// is checked against what its field can hold; nothing is wrapped or cut to fit.
#include "writer.h"

#include <cstring>

namespace {

struct Bad {
  std::string what;
};

// `v` when it lies in lo..hi; otherwise the write fails, naming `where`.
int within(long long v, long long lo, long long hi, const std::string& where) {
  if (v < lo || v > hi)
    throw Bad{where + ": " + std::to_string(v) + " is outside " + std::to_string(lo) + ".." +
              std::to_string(hi) + ", what the format can hold"};
  return int(v);
}

void put16(std::string& out, size_t at, int v) {
  out[at] = char(v & 0xFF);
  out[at + 1] = char((v >> 8) & 0xFF);
}

void putFloat(std::string& out, float f) {
  char b[4];
  std::memcpy(b, &f, 4);
  out.append(b, 4);
}

void putCount(std::string& out, long long v, bool longForm, const std::string& where) {
  putVarCount(out, within(v, 0, maxVarCount, where), longForm);
}

void putTypeEntry(std::string& out, const char* name, int count) {
  std::string e(64, '\0');
  put16(e, 8, count);
  std::memcpy(&e[32], name, std::strlen(name));
  out += e;
}

void putInsets(std::string& out, const std::vector<std::pair<float, float>>& list,
               const std::string& where) {
  out += char(within((long long)list.size(), 0, 255, where + " (length)"));
  for (auto [dx, dz] : list) {
    putFloat(out, dx);
    putFloat(out, dz);
  }
}

void putLattice(std::string& out, const LatticeRecord& L, bool lf, const std::string& at) {
  out += "CTNR";
  out.append(3, '\0');
  putCount(out, L.id, lf, at + ".id");
  for (float v : L.pos) putFloat(out, v);
  for (float v : L.rot) putFloat(out, v);
  for (float v : L.cell) putFloat(out, v);
  for (float v : L.frameData) putFloat(out, v);
  putInsets(out, L.minInsets, at + ".minInsets");
  putInsets(out, L.maxInsets, at + ".maxInsets");
  out += char(within(L.nx, 0, 255, at + ".cells[0]"));
  out += char(within(L.ny, 0, 255, at + ".cells[1]"));
  out += char(within(L.nz, 0, 255, at + ".cells[2]"));
  putCount(out, (long long)L.heights.size(), lf, at + ".heights (length)");
  for (float v : L.heights) putFloat(out, v);
  within((long long)L.skipped12.size(), 12, 12, at + ".skipped12 (length)");
  out.append(reinterpret_cast<const char*>(L.skipped12.data()), 12);
  putCount(out, (long long)L.skippedWords.size(), lf, at + ".skippedWords (length)");
  for (uint32_t w : L.skippedWords) out.append(reinterpret_cast<const char*>(&w), 4);
  putCount(out, (long long)L.skippedCounts.size(), lf, at + ".skippedCounts (length)");
  for (size_t k = 0; k < L.skippedCounts.size(); k++)
    putCount(out, L.skippedCounts[k], lf, at + ".skippedCounts[" + std::to_string(k) + "]");
  putCount(out, (long long)L.refs.size(), lf, at + ".refs (length)");
  for (size_t k = 0; k < L.refs.size(); k++)
    putCount(out, L.refs[k], lf, at + ".refs[" + std::to_string(k) + "]");
  out += L.tail;
}

} // namespace

bool putVarCount(std::string& out, int v, bool longForm) {
  if (v < 0 || v > maxVarCount) return false;
  if (v < 128 && !longForm) {
    out += char(v);
    return true;
  }
  out += char(128 + v % 128);
  out += char(v / 128);
  return true;
}

int latticeRecordNumber(const MapDesc& map, int index) {
  return int(map.otherRecords.size()) + index + 1;
}

bool writeMap(const MapDesc& map, std::string& bytes, std::string& err) {
  try {
    std::string out(64, '\0');
    int types = (map.withLandFrameStore ? 1 : 0) + (map.otherRecords.empty() ? 0 : 1);
    long long records = (long long)(map.otherRecords.size() + map.lattices.size());
    out[7] = char(within(map.extraCount, 0, 255, "extraCount"));
    put16(out, 24, types);
    put16(out, 28,
          map.recordCountOverride >= 0 ? within(map.recordCountOverride, 0, 65535, "recordCount")
                                       : within(records, 0, 65535, "records (count)"));
    if (!map.otherRecords.empty()) putTypeEntry(out, "TerrainNote", int(map.otherRecords.size()));
    if (map.withLandFrameStore)
      putTypeEntry(out, "LandFrameStore",
                   map.nlatOverride >= 0
                       ? within(map.nlatOverride, 0, 65535, "nlat")
                       : within((long long)map.lattices.size(), 0, 65535, "lattices (count)"));
    out.append(size_t(map.extraCount) * 16, '\0');
    std::string head(12, '\0');
    put16(head, 4, within((long long)map.strings.size(), 0, 65535, "strings (count)"));
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
    for (size_t i = 0; i < map.lattices.size(); i++)
      putLattice(out, map.lattices[i], map.longCounts, "lattices[" + std::to_string(i) + "]");
    bytes = std::move(out);
    return true;
  } catch (const Bad& b) {
    err = b.what;
    return false;
  }
}

bool loadDescribed(const MapDesc& map, LoadedMap& out, std::string& err) {
  std::string bytes;
  if (!writeMap(map, bytes, err)) return false;
  loadMapBytes(bytes.data(), bytes.size(), out);
  return true;
}
