// `kelvane export`: every drawn lattice's triangles in world coordinates, each facing out of
// its lattice, streamed as Wavefront OBJ or glTF 2.0 (.glb, or .gltf with the buffer embedded).
// One lattice's triangles are held at a time, so memory does not grow with the map.
#include "toolkit.h"

#include "render/orient.h"
#include "render/placement.h"
#include "render/world.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace {

// The unit outward normal of a placed triangle; a degenerate one takes its face's axis.
void unitNormal(const PlacedLattice& p, const Triangle& t, float out[3]) {
  double n[3];
  triangleNormal(t, n);
  double len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
  if (!(len > 0) || !std::isfinite(len)) {
    worldOutwardAxis(t.face, p.m, n);
    len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
  }
  for (int r = 0; r < 3; r++) out[r] = float(n[r] / len);
}

// The output file; remembers the reason of the first write that failed, when that write said.
struct Sink {
  std::FILE* f;
  std::string error;

  void write(const void* data, size_t n) {
    if (error.empty() && std::fwrite(data, 1, n, f) != n)
      error = errno ? std::strerror(errno) : "could not write";
  }
  void write(std::string_view s) { write(s.data(), s.size()); }
  bool ok() const { return error.empty(); }
};

// Progress on stderr for long exports, when stderr is a terminal.
struct Progress {
  bool show;
  size_t total, done = 0;
  std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now(), last = start;
  void step(size_t triangles) {
    done += triangles;
    auto now = std::chrono::steady_clock::now();
    if (!show || now - start < std::chrono::seconds(1) ||
        now - last < std::chrono::milliseconds(200))
      return;
    last = now;
    std::fprintf(stderr, "\rkelvane: exporting: %3d%%", total ? int(100 * done / total) : 100);
  }
  void end() {
    if (show && last != start) std::fprintf(stderr, "\rkelvane: exporting: done\n");
  }
};

size_t drawnTriangles(const Lattice* lat) {
  size_t n = 0;
  for (const Lattice* L = lat; L; L = L->next)
    if (L->id) n += faceTriangles(L);
  return n;
}

char* putFloat(char* p, float v) {
  *p++ = ' ';
  return std::to_chars(p, p + 32, v).ptr; // the shortest form that reads back the same
}

} // namespace

std::string escapeControls(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (c >= 0x20 && c != 0x7F) {
      out += char(c);
      continue;
    }
    char hex[5];
    std::snprintf(hex, sizeof hex, "\\x%02X", c);
    out += hex;
  }
  return out;
}

namespace {

bool writeObj(const Lattice* lat, const std::string& source, Sink& out, Progress& progress,
              ExportCounts& counts) {
  const ViewerState vs;
  // The map's name stays one comment line whatever it holds.
  out.write("# Kelvane map export of " + escapeControls(source) + "\n");
  out.write("# v x y z r g b (world coordinates, grey as colour); vn: outward normal\n");
  PlacedLattice p;
  int64_t vertex = 0, index = 0;
  char line[512];
  std::vector<Matrix> placements = latticePlacements(lat, vs);
  for (const Lattice* L = lat; L && out.ok(); L = L->next, index++) {
    if (L->id == 0) continue;
    placeLattice(L, placements[size_t(index)], vs, p);
    orientOutward(p.tris, p.m);
    counts.lattices++;
    counts.nonFinite += p.dropped;
    out.write("o lattice" + std::to_string(index) + "\n");
    for (const Triangle& t : p.tris) {
      char* e = line;
      for (const auto& v : t.v) {
        *e++ = 'v';
        for (int a = 0; a < 3; a++) e = putFloat(e, v[a]);
        for (int a = 0; a < 3; a++) e = putFloat(e, t.grey);
        *e++ = '\n';
      }
      float n[3];
      unitNormal(p, t, n);
      *e++ = 'v';
      *e++ = 'n';
      for (float c : n) e = putFloat(e, c);
      counts.triangles++;
      long long k = counts.triangles;
      e += std::snprintf(e, 128, "\nf %lld//%lld %lld//%lld %lld//%lld\n", (long long)vertex + 1, k,
                         (long long)vertex + 2, k, (long long)vertex + 3, k);
      vertex += 3;
      out.write(line, size_t(e - line));
    }
    progress.step(faceTriangles(L));
  }
  out.write("# " + std::to_string(counts.lattices) + " lattices drawn, " +
            std::to_string(counts.triangles) + " triangles\n");
  return out.ok();
}

// The binary buffer of a glTF file, raw (.glb) or as base64 text (.gltf).
struct BinaryOut {
  Sink& out;
  bool base64;
  unsigned char carry[3];
  int held = 0;

  void put(const void* data, size_t n) {
    if (!base64) {
      out.write(data, n);
      return;
    }
    for (const unsigned char* b = static_cast<const unsigned char*>(data); n--; b++) {
      carry[held++] = *b;
      if (held == 3) flush();
    }
  }
  void flush() {
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    if (!held) return;
    unsigned v = carry[0] << 16 | (held > 1 ? carry[1] << 8 : 0) | (held > 2 ? carry[2] : 0);
    char b64[4] = {digits[v >> 18 & 63], digits[v >> 12 & 63], held > 1 ? digits[v >> 6 & 63] : '=',
                   held > 2 ? digits[v & 63] : '='};
    out.write(b64, 4);
    held = 0;
  }
};

struct MeshInfo {
  int64_t index;   // the lattice's place in the list
  int64_t corners; // vertices of its kept triangles
  float lo[3], hi[3];
};

nlohmann::ordered_json gltfDocument(const std::vector<MeshInfo>& meshes, const std::string& uri) {
  using nlohmann::ordered_json;
  ordered_json doc;
  doc["asset"] = {{"version", "2.0"}, {"generator", "kelvane " KELVANE_VERSION}};
  doc["extensionsUsed"] = {"KHR_materials_unlit"};
  doc["scene"] = 0;
  ordered_json scene = ordered_json::object();
  if (!meshes.empty()) {
    ordered_json nodes = ordered_json::array(), list = ordered_json::array(),
                 views = ordered_json::array(), accessors = ordered_json::array(),
                 meshList = ordered_json::array();
    size_t offset = 0;
    for (size_t i = 0; i < meshes.size(); i++) {
      const MeshInfo& m = meshes[i];
      std::string name = "lattice" + std::to_string(m.index);
      nodes.push_back(i);
      list.push_back({{"name", name}, {"mesh", i}});
      size_t bytes = size_t(m.corners) * 12;
      for (int a = 0; a < 3; a++) {
        views.push_back(
            {{"buffer", 0}, {"byteOffset", offset}, {"byteLength", bytes}, {"target", 34962}});
        ordered_json acc = {{"bufferView", views.size() - 1},
                            {"componentType", 5126},
                            {"count", m.corners},
                            {"type", "VEC3"}};
        if (a == 0) {
          acc["min"] = {m.lo[0], m.lo[1], m.lo[2]};
          acc["max"] = {m.hi[0], m.hi[1], m.hi[2]};
        }
        accessors.push_back(acc);
        offset += bytes;
      }
      size_t first = accessors.size() - 3;
      meshList.push_back(
          {{"name", name},
           {"primitives",
            {{{"attributes", {{"POSITION", first}, {"NORMAL", first + 1}, {"COLOR_0", first + 2}}},
              {"material", 0},
              {"mode", 4}}}}});
    }
    scene["nodes"] = nodes;
    doc["scenes"] = {scene};
    doc["nodes"] = list;
    doc["meshes"] = meshList;
    doc["materials"] = {
        {{"name", "grey"},
         {"pbrMetallicRoughness",
          {{"baseColorFactor", {1, 1, 1, 1}}, {"metallicFactor", 0}, {"roughnessFactor", 1}}},
         {"extensions", {{"KHR_materials_unlit", ordered_json::object()}}}}};
    ordered_json buffer = {{"byteLength", offset}};
    if (!uri.empty()) buffer["uri"] = uri;
    doc["buffers"] = {buffer};
    doc["bufferViews"] = views;
    doc["accessors"] = accessors;
  } else {
    doc["scenes"] = {scene};
  }
  return doc;
}

void putLe32(Sink& out, uint32_t v) {
  unsigned char b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
  out.write(b, 4);
}

// The first pass: counts and bounds each drawn lattice's mesh for the JSON; a lattice with no
// kept triangle gets none.
std::vector<MeshInfo> measureMeshes(const Lattice* lat, ExportCounts& counts, Progress& progress) {
  const ViewerState vs;
  PlacedLattice p;
  std::vector<MeshInfo> meshes;
  int64_t index = 0;
  std::vector<Matrix> placements = latticePlacements(lat, vs);
  for (const Lattice* L = lat; L; L = L->next, index++) {
    if (L->id == 0) continue;
    // Winding changes no corner: counts and bounds need none.
    placeLattice(L, placements[size_t(index)], vs, p);
    progress.step(faceTriangles(L));
    counts.lattices++;
    counts.nonFinite += p.dropped;
    counts.triangles += int64_t(p.tris.size());
    if (p.tris.empty()) continue;
    MeshInfo m{index, 3 * int64_t(p.tris.size()), {}, {}};
    for (int a = 0; a < 3; a++) m.lo[a] = m.hi[a] = p.tris[0].v[0][a];
    for (const Triangle& t : p.tris)
      for (const auto& v : t.v)
        for (int a = 0; a < 3; a++) {
          m.lo[a] = std::min(m.lo[a], v[a]);
          m.hi[a] = std::max(m.hi[a], v[a]);
        }
    meshes.push_back(m);
  }
  return meshes;
}

// The .glb header, the JSON chunk and the binary chunk's header, for a buffer of `bufferBytes`.
// The lengths are checked before (glbTooLarge).
void writeGlbHead(Sink& out, std::string json, bool withBuffer, uint64_t bufferBytes) {
  while (json.size() % 4) json += ' ';
  uint64_t total = glbBytes(json.size(), withBuffer, bufferBytes);
  putLe32(out, 0x46546C67); // "glTF"
  putLe32(out, 2);
  putLe32(out, uint32_t(total));
  putLe32(out, uint32_t(json.size()));
  putLe32(out, 0x4E4F534A); // "JSON"
  out.write(json);
  if (withBuffer) {
    putLe32(out, uint32_t(bufferBytes));
    putLe32(out, 0x004E4942); // "BIN"
  }
}

// The second pass: per mesh its positions, then normals, then colours.
void streamMeshes(const Lattice* lat, size_t meshCount, BinaryOut& bin, Progress& progress) {
  const ViewerState vs;
  PlacedLattice p;
  size_t mesh = 0, index = 0;
  std::vector<Matrix> placements = latticePlacements(lat, vs);
  for (const Lattice* L = lat; L && mesh < meshCount && bin.out.ok(); L = L->next, index++) {
    if (L->id == 0) continue;
    placeLattice(L, placements[index], vs, p);
    orientOutward(p.tris, p.m);
    progress.step(faceTriangles(L));
    if (p.tris.empty()) continue;
    mesh++;
    for (const Triangle& t : p.tris) bin.put(t.v, sizeof t.v);
    for (const Triangle& t : p.tris) {
      float n[3];
      unitNormal(p, t, n);
      for (int c = 0; c < 3; c++) bin.put(n, sizeof n);
    }
    for (const Triangle& t : p.tris) {
      float g[9];
      std::fill(g, g + 9, t.grey);
      bin.put(g, sizeof g);
    }
  }
  bin.flush();
}

// A .glb, or a .gltf whose JSON holds the buffer as a data URI in place of a marker. Nothing
// is written of a .glb its 32-bit lengths cannot describe.
bool writeGltf(const Lattice* lat, bool binary, Sink& out, Progress& progress,
               ExportCounts& counts) {
  // The cells give the buffer's size before anything is placed: a .glb too large is refused
  // at once, not after a pass over every triangle.
  uint64_t cellBytes = uint64_t(drawnTriangles(lat)) * 3 * 36;
  if (binary && glbTooLarge(0, true, cellBytes, out.error)) return false;
  progress.total *= 2; // two passes: the sizes and bounds, then the buffer
  std::vector<MeshInfo> meshes = measureMeshes(lat, counts, progress);
  uint64_t bufferBytes = 0;
  for (const MeshInfo& m : meshes) bufferBytes += uint64_t(m.corners) * 36;
  const std::string marker = "@buffer@";
  std::string json = gltfDocument(meshes, binary || meshes.empty() ? "" : marker).dump();
  if (binary && glbTooLarge(json.size(), !meshes.empty(), bufferBytes, out.error)) return false;
  size_t at = binary || meshes.empty() ? json.size() : json.find(marker);
  if (binary) {
    writeGlbHead(out, json, !meshes.empty(), bufferBytes);
  } else {
    out.write(json.data(), at);
    if (at < json.size()) out.write("data:application/octet-stream;base64,");
  }
  BinaryOut bin{out, !binary, {}};
  streamMeshes(lat, meshes.size(), bin, progress);
  if (!binary) {
    if (at < json.size())
      out.write(json.data() + at + marker.size(), json.size() - at - marker.size());
    out.write("\n");
  }
  return out.ok();
}

} // namespace

bool formatOfName(const std::string& name, ExportFormat& format) {
  size_t dot = name.rfind('.');
  std::string ext = dot == std::string::npos ? "" : name.substr(dot + 1);
  for (char& c : ext) c = char(std::tolower((unsigned char)c));
  const std::pair<const char*, ExportFormat> known[] = {
      {"obj", ExportFormat::obj}, {"glb", ExportFormat::glb}, {"gltf", ExportFormat::gltf}};
  for (const auto& [e, f] : known)
    if (ext == e) {
      format = f;
      return true;
    }
  return false;
}

uint64_t glbBytes(size_t jsonBytes, bool withBuffer, uint64_t bufferBytes) {
  uint64_t json = (uint64_t(jsonBytes) + 3) / 4 * 4;
  return 12 + 8 + json + (withBuffer ? 8 + bufferBytes : 0);
}

bool glbTooLarge(size_t jsonBytes, bool withBuffer, uint64_t bufferBytes, std::string& err) {
  uint64_t total = glbBytes(jsonBytes, withBuffer, bufferBytes);
  if (total <= UINT32_MAX) return false;
  err = "the .glb would take " + std::string(jsonBytes ? "" : "more than ") +
        std::to_string(total) +
        " bytes, more than its 32-bit lengths can hold (4294967295); nothing written. Export "
        "as .obj, which has no such limit";
  return true;
}

bool exportMap(const Lattice* lat, const std::string& source, ExportFormat format, std::FILE* f,
               bool progress, ExportCounts& counts, std::string& err) {
  counts = ExportCounts{};
  Progress show{progress, drawnTriangles(lat)};
  Sink out{f, ""};
  errno = 0;
  bool ok = format == ExportFormat::obj
                ? writeObj(lat, source, out, show, counts)
                : writeGltf(lat, format == ExportFormat::glb, out, show, counts);
  if (ok && std::fflush(f) != 0) out.error = std::strerror(errno);
  show.end();
  err = out.error;
  return ok && out.ok();
}
