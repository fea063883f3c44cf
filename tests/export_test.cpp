// Export: world coordinates, outward winding and normals in OBJ and glTF, the same triangles
// as the face passes draw, non-finite triangles left out.
#include "chain_placement.h"
#include "corpus.h"
#include "render/frame.h"
#include "render/placement.h"
#include "test_maps.h"
#include "tools/toolkit.h"
#include "export_hashes.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <sstream>

namespace {

using Vec = std::array<float, 3>;

// An exported triangle: corners in file order, the grey and the written normal.
struct Out {
  std::array<Vec, 3> v;
  float grey;
  Vec n;
};

std::string exported(const Lattice* lat, ExportFormat format, ExportCounts* counts = nullptr) {
  char* buf = nullptr;
  size_t size = 0;
  std::FILE* f = open_memstream(&buf, &size);
  ExportCounts c;
  std::string err;
  EXPECT_TRUE(exportMap(lat, "t.map", format, f, false, c, err)) << err;
  std::fclose(f);
  std::string text(buf, size);
  std::free(buf);
  if (counts) *counts = c;
  return text;
}

// The triangles of an OBJ export, in order, with the objects' names.
std::vector<Out> readObj(const std::string& text, std::vector<std::string>* objects = nullptr) {
  std::istringstream in(text);
  std::vector<std::array<float, 6>> v;
  std::vector<Vec> vn;
  std::vector<Out> out;
  for (std::string line; std::getline(in, line);) {
    std::istringstream l(line);
    std::string tag;
    l >> tag;
    if (tag == "o" && objects) objects->push_back(line.substr(2));
    if (tag == "v") {
      std::array<float, 6> a;
      for (float& x : a) l >> x;
      v.push_back(a);
    }
    if (tag == "vn") {
      Vec a;
      for (float& x : a) l >> x;
      vn.push_back(a);
    }
    if (tag == "f") {
      Out t{};
      long normal = 0;
      for (int c = 0; c < 3; c++) {
        std::string ref;
        l >> ref;
        long vi = std::stol(ref);
        normal = std::stol(ref.substr(ref.rfind('/') + 1));
        t.v[size_t(c)] = {v[size_t(vi - 1)][0], v[size_t(vi - 1)][1], v[size_t(vi - 1)][2]};
        t.grey = v[size_t(vi - 1)][3];
      }
      t.n = vn[size_t(normal - 1)];
      out.push_back(t);
    }
  }
  return out;
}

// The triangles of a .glb export, mesh after mesh, with the mesh names.
std::vector<Out> readGlb(const std::string& bytes, std::vector<std::string>* names = nullptr) {
  auto le32 = [&](size_t at) {
    uint32_t v;
    std::memcpy(&v, bytes.data() + at, 4);
    return v;
  };
  EXPECT_EQ(le32(0), 0x46546C67u);
  EXPECT_EQ(le32(8), bytes.size());
  uint32_t jsonLength = le32(12);
  nlohmann::json doc = nlohmann::json::parse(bytes.substr(20, jsonLength));
  const char* bin = bytes.data() + 20 + jsonLength + 8;
  auto attribute = [&](const nlohmann::json& acc) {
    const nlohmann::json& view = doc["bufferViews"][acc["bufferView"].get<size_t>()];
    return reinterpret_cast<const float*>(bin + view["byteOffset"].get<size_t>());
  };
  std::vector<Out> out;
  if (!doc.contains("meshes")) return out;
  for (const auto& mesh : doc["meshes"]) {
    if (names) names->push_back(mesh["name"]);
    const auto& at = mesh["primitives"][0]["attributes"];
    const auto& pos = doc["accessors"][at["POSITION"].get<size_t>()];
    const float* p = attribute(pos);
    const float* n = attribute(doc["accessors"][at["NORMAL"].get<size_t>()]);
    const float* g = attribute(doc["accessors"][at["COLOR_0"].get<size_t>()]);
    for (size_t c = 0; c < pos["count"].get<size_t>(); c += 3) {
      Out t{};
      for (size_t k = 0; k < 3; k++)
        t.v[k] = {p[3 * (c + k)], p[3 * (c + k) + 1], p[3 * (c + k) + 2]};
      t.n = {n[3 * c], n[3 * c + 1], n[3 * c + 2]};
      t.grey = g[3 * c];
      out.push_back(t);
    }
  }
  return out;
}

// What each drawn triangle should become: its corners placed in the world, its face's
// outward axis turned with its lattice.
struct Want {
  std::array<Vec, 3> v;
  float grey;
  double axis[3];
};

std::vector<Want> drawnInWorld(const Lattice* lat) {
  std::vector<Want> out;
  for (const Lattice* L = lat; L; L = L->next) {
    if (L->id == 0) continue;
    std::vector<Triangle> tris;
    CollectEmitter e{&tris};
    FaceTables ft;
    drawLatticeFaces(L, ViewerState{}, ft, e);
    const Matrix placed = chainPlacement(L, ViewerState{});
    const double* m = placed.m;
    for (const Triangle& t : tris) {
      Want w{};
      for (int c = 0; c < 3; c++)
        for (int r = 0; r < 3; r++)
          w.v[size_t(c)][size_t(r)] =
              float(m[r] * t.v[c][0] + m[4 + r] * t.v[c][1] + m[8 + r] * t.v[c][2] + m[12 + r]);
      float a[3];
      outwardAxis(t.face, a);
      for (int r = 0; r < 3; r++) w.axis[r] = m[r] * a[0] + m[4 + r] * a[1] + m[8 + r] * a[2];
      w.grey = t.grey;
      out.push_back(w);
    }
  }
  return out;
}

std::array<double, 3> normalOf(const std::array<Vec, 3>& v) {
  double e1[3], e2[3];
  for (int i = 0; i < 3; i++) {
    e1[i] = double(v[1][size_t(i)]) - v[0][size_t(i)];
    e2[i] = double(v[2][size_t(i)]) - v[0][size_t(i)];
  }
  return {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2],
          e1[0] * e2[1] - e1[1] * e2[0]};
}

// The demo and a map with every face kind: a rotated parent with a rotated child, insets
// that slope the walls, heights, a lattice upside down.
MapDesc windingMaps() {
  MapDesc m = demoMap();
  LatticeRecord parent = box(6, 3, 5), child = box(4, 2, 4), flipped = box(3, 2, 3);
  parent.pos[0] = 40;
  parent.rot[0] = 0.3f;
  parent.rot[1] = 1.1f;
  parent.rot[2] = -0.4f;
  parent.cell[0] = 1.5f;
  for (int k = 0; k < 4; k++) {
    parent.minInsets.push_back({0.5f * k, 0.3f * k});
    parent.maxInsets.push_back({-0.4f * k, 0.6f * k});
  }
  for (int s = 0; s < 7 * 6; s++) parent.heights.push_back(float(std::sin(s * 0.7)));
  child.pos[1] = 6;
  child.rot[2] = 0.8f;
  for (int s = 0; s < 25; s++) child.heights.push_back(float(s % 5) * 0.4f);
  flipped.rot[0] = float(M_PI); // its bottom faces up in the world
  flipped.pos[2] = -30;
  size_t first = m.lattices.size();
  parent.refs = {int(first) + 2};
  m.lattices.insert(m.lattices.end(), {parent, child, flipped});
  return m;
}

// Every exported triangle is a drawn one, in draw order, with two corners swapped when its
// normal pointed into its lattice; it now points out (or has no part along the face's axis,
// and keeps the drawn order); its written normal is that direction, unit length.
void expectOutward(const std::vector<Out>& got, const std::vector<Want>& want) {
  ASSERT_EQ(got.size(), want.size());
  int bad = 0;
  for (size_t i = 0; i < got.size() && bad < 5; i++) {
    const Out& g = got[i];
    const Want& w = want[i];
    bool same = g.v == w.v, flipped = g.v[0] == w.v[0] && g.v[1] == w.v[2] && g.v[2] == w.v[1];
    auto drawn = normalOf(w.v);
    double along = drawn[0] * w.axis[0] + drawn[1] * w.axis[1] + drawn[2] * w.axis[2];
    auto n = normalOf(g.v);
    double len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    double out = n[0] * w.axis[0] + n[1] * w.axis[1] + n[2] * w.axis[2];
    double unit =
        std::sqrt(double(g.n[0]) * g.n[0] + double(g.n[1]) * g.n[1] + double(g.n[2]) * g.n[2]);
    double agree = len > 0 ? (n[0] * g.n[0] + n[1] * g.n[1] + n[2] * g.n[2]) / len : 1;
    bool ok = (along < 0 ? flipped : same) && out >= 0 && std::fabs(unit - 1) < 1e-5 &&
              agree > 0.999 && g.grey == w.grey;
    if (!ok) {
      bad++;
      ADD_FAILURE() << "triangle " << i << ": drawn normal along the face " << along
                    << ", exported " << out << ", |vn| " << unit << ", vn agrees " << agree;
    }
  }
}

TEST(Export, ObjAndGlbFaceOutwardWithUnitNormals) {
  LoadedMap map;
  loadDesc(windingMaps(), map);
  std::vector<Want> want = drawnInWorld(map.lat);
  std::vector<std::string> objects, meshes;
  ExportCounts counts;
  std::vector<Out> obj = readObj(exported(map.lat, ExportFormat::obj, &counts), &objects);
  expectOutward(obj, want);
  expectOutward(readGlb(exported(map.lat, ExportFormat::glb), &meshes), want);
  EXPECT_EQ(objects, (std::vector<std::string>{"lattice0", "lattice1", "lattice2", "lattice3",
                                               "lattice5", "lattice6", "lattice7", "lattice8"}));
  EXPECT_EQ(meshes, objects);
  EXPECT_EQ(counts.lattices, 8);
  EXPECT_EQ(counts.triangles, long(want.size()));
  EXPECT_EQ(counts.nonFinite, 0);
}

// The .gltf file is the .glb's JSON with the same buffer as a base64 data URI.
TEST(Export, GltfEmbedsTheGlbBuffer) {
  LoadedMap map;
  loadDesc(windingMaps(), map);
  std::string glb = exported(map.lat, ExportFormat::glb);
  nlohmann::json doc = nlohmann::json::parse(exported(map.lat, ExportFormat::gltf));
  std::string uri = doc["buffers"][0]["uri"];
  const std::string head = "data:application/octet-stream;base64,";
  ASSERT_EQ(uri.rfind(head, 0), 0u);
  std::string b64 = uri.substr(head.size()), bin;
  auto value = [](char c) -> unsigned {
    return c >= 'A' && c <= 'Z'   ? unsigned(c - 'A')
           : c >= 'a' && c <= 'z' ? unsigned(c - 'a' + 26)
           : c >= '0' && c <= '9' ? unsigned(c - '0' + 52)
           : c == '+'             ? 62u
                                  : 63u;
  };
  for (size_t i = 0; i + 3 < b64.size(); i += 4) {
    unsigned v = value(b64[i]) << 18 | value(b64[i + 1]) << 12;
    bin += char(v >> 16);
    if (b64[i + 2] != '=') bin += char((v | value(b64[i + 2]) << 6) >> 8 & 0xFF);
    if (b64[i + 3] != '=') bin += char((value(b64[i + 2]) << 6 | value(b64[i + 3])) & 0xFF);
  }
  EXPECT_EQ(bin.size(), doc["buffers"][0]["byteLength"].get<size_t>());
  uint32_t jsonLength;
  std::memcpy(&jsonLength, glb.data() + 12, 4);
  EXPECT_TRUE(glb.compare(20 + jsonLength + 8, std::string::npos, bin) == 0);
  const auto& pos = doc["accessors"][0];
  EXPECT_EQ(pos["min"].size(), 3u);
  EXPECT_EQ(doc["materials"][0]["extensions"].contains("KHR_materials_unlit"), true);
}

// A map whose numbers are not all finite exports the rest: exactly the triangles with a
// non-finite corner are left out, and counted.
TEST(Export, NonFiniteTrianglesAreLeftOutAndCounted) {
  MapDesc m;
  m.lattices = {box(3, 1, 3), box(2, 2, 2)};
  m.lattices[0].heights.assign(16, 0.5f);
  m.lattices[0].heights[5] = std::nanf("");
  m.lattices[1].pos[1] = INFINITY; // the whole lattice
  LoadedMap map;
  loadDesc(m, map);
  long nonFinite = 0;
  std::vector<Want> want;
  for (const Want& w : drawnInWorld(map.lat)) {
    bool finite = true;
    for (const Vec& v : w.v) finite = finite && std::isfinite(v[0] + v[1] + v[2]);
    if (finite)
      want.push_back(w);
    else
      nonFinite++;
  }
  EXPECT_GT(nonFinite, faceTriangles(map.lat->next));
  for (ExportFormat f : {ExportFormat::obj, ExportFormat::glb}) {
    ExportCounts counts;
    std::string text = exported(map.lat, f, &counts);
    EXPECT_EQ(counts.nonFinite, nonFinite);
    EXPECT_EQ(counts.triangles, long(want.size()));
    if (f == ExportFormat::obj) {
      EXPECT_EQ(text.find("nan"), std::string::npos);
      EXPECT_EQ(text.find("inf"), std::string::npos);
      std::vector<Out> got = readObj(text);
      ASSERT_EQ(got.size(), want.size());
      for (size_t i = 0; i < got.size(); i++) EXPECT_EQ(got[i].v[0], want[i].v[0]) << i;
    }
  }
}

// Floats are written in the shortest form that reads back as the same 32-bit float.
TEST(Export, ShortestFloats) {
  MapDesc m;
  m.lattices = {box(1, 1, 1)};
  m.lattices[0].cell[0] = 0.7f;
  LoadedMap map;
  loadDesc(m, map);
  std::string text = exported(map.lat, ExportFormat::obj);
  EXPECT_NE(text.find("v -0.35 -0.5 -0.5 0.40000004 "), std::string::npos) << text.substr(0, 300);
  EXPECT_EQ(text.find("0.349999994"), std::string::npos);
}

// The same corners, in any order: an exported triangle may have two corners swapped.
bool sameCorners(std::array<Vec, 3> a, std::array<Vec, 3> b) {
  std::sort(a.begin(), a.end());
  std::sort(b.begin(), b.end());
  return a == b;
}

TEST(ExportObj, WorldCoordinatesAndGreysInDrawOrder) {
  MapDesc m;
  m.lattices = {box(1, 1, 1), box(2, 1, 1, 0), box(1, 1, 2)};
  m.lattices[0].pos[0] = 10;
  m.lattices[2].pos[2] = 5;
  m.lattices[0].refs = {3}; // lattice 2 sits in lattice 0's frame
  LoadedMap map;
  loadDesc(m, map);
  std::vector<std::string> objects;
  std::vector<Out> got = readObj(exported(map.lat, ExportFormat::obj), &objects);
  EXPECT_EQ(objects, (std::vector<std::string>{"lattice0", "lattice2"}));
  std::vector<Triangle> want;
  CollectEmitter e{&want};
  FaceTables ft;
  drawLatticeFaces(map.lat, ViewerState{}, ft, e);
  size_t first = want.size();
  drawLatticeFaces(map.lat->next->next, ViewerState{}, ft, e);
  ASSERT_EQ(got.size(), want.size());
  for (size_t t = 0; t < want.size(); t++) {
    float dx = 10, dz = t < first ? 0 : 5;
    std::array<Vec, 3> moved;
    for (int c = 0; c < 3; c++)
      moved[size_t(c)] = {want[t].v[c][0] + dx, want[t].v[c][1], want[t].v[c][2] + dz};
    EXPECT_TRUE(sameCorners(got[t].v, moved)) << t;
    EXPECT_EQ(got[t].grey, want[t].grey);
  }
}

// A child of a rotated parent: the parent's rotation turns the child's offset and its corners,
// and the parent's translation comes last. A quarter turn about y takes local (x, y, z) to
// (z, y, -x).
TEST(ExportObj, RotatedParentsTurnTheirChildren) {
  MapDesc m;
  m.lattices = {box(1, 1, 1), box(2, 1, 1)};
  m.lattices[0].pos[0] = 10;
  m.lattices[0].rot[1] = float(M_PI / 2);
  m.lattices[1].pos[2] = 5;
  m.lattices[0].refs = {2};
  LoadedMap map;
  loadDesc(m, map);
  std::vector<Out> got = readObj(exported(map.lat, ExportFormat::obj));
  std::vector<Triangle> child;
  CollectEmitter e{&child};
  FaceTables ft;
  drawLatticeFaces(map.lat->next, ViewerState{}, ft, e);
  ASSERT_EQ(got.size(), 12 + child.size());
  for (size_t t = 0; t < child.size(); t++) {
    std::array<Vec, 3> turned;
    for (int c = 0; c < 3; c++) {
      const float* l = child[t].v[c];
      turned[size_t(c)] = {10 + (l[2] + 5), l[1], -l[0]};
    }
    std::array<Vec, 3> a = got[12 + t].v;
    std::sort(a.begin(), a.end());
    std::sort(turned.begin(), turned.end());
    for (int c = 0; c < 3; c++)
      for (int k = 0; k < 3; k++)
        EXPECT_NEAR(a[size_t(c)][size_t(k)], turned[size_t(c)][size_t(k)], 1e-4) << t;
  }
}

// Maps whose faces fold over themselves: insets that cross from level to level (a wall's
// quads twist into bow ties), heights larger than the cells, negative cell sizes, turns.
MapDesc foldedMap(unsigned seed) {
  unsigned r = seed * 2654435761u + 1;
  auto rnd = [&](float lo, float hi) {
    r = r * 1664525u + 1013904223u;
    return lo + (hi - lo) * float(r >> 8) / float(1 << 24);
  };
  MapDesc m;
  for (int i = 0; i < 4; i++) {
    int nx = 1 + int(rnd(0, 5)), ny = 1 + int(rnd(0, 4)), nz = 1 + int(rnd(0, 5));
    LatticeRecord L = box(nx, ny, nz);
    for (float* f : {L.pos, L.rot}) {
      for (int a = 0; a < 3; a++) f[a] = rnd(-3, 3);
    }
    for (int a = 0; a < 3; a++) L.cell[a] = rnd(0.5f, 2) * (rnd(0, 1) < 0.15f ? -1 : 1);
    for (int k = 0; k <= ny; k++) {
      L.minInsets.push_back({rnd(-3, 6), rnd(-3, 6)});
      L.maxInsets.push_back({rnd(-6, 3), rnd(-6, 3)});
    }
    for (int h = 0; h < (nx + 1) * (nz + 1); h++) L.heights.push_back(rnd(-4, 4));
    m.lattices.push_back(L);
  }
  return m;
}

// Checks one lattice's exported triangles against its drawn ones: each is the drawn triangle
// or it with corners 1 and 2 swapped; no edge two triangles share (equal corners count as one)
// runs the same way in both; each connected piece faces out: positive volume when closed,
// else most of its area along its faces' outward axes. Returns the count of bad edges.
int expectWoundOutward(const std::vector<Out>& got, const std::vector<Want>& want,
                       const std::string& what) {
  EXPECT_EQ(got.size(), want.size()) << what;
  if (got.size() != want.size()) return -1;
  std::map<Vec, int> place;
  std::vector<std::array<int, 3>> tri;
  for (const Out& t : got) {
    std::array<int, 3> c;
    for (int k = 0; k < 3; k++) {
      Vec v = t.v[size_t(k)];
      for (float& x : v) x = x == 0 ? 0 : x;
      c[size_t(k)] = place.emplace(v, int(place.size())).first->second;
    }
    tri.push_back(c);
  }
  std::map<std::pair<int, int>, std::vector<std::pair<size_t, bool>>> edges;
  for (size_t t = 0; t < tri.size(); t++) {
    const Out& g = got[t];
    const Want& w = want[t];
    EXPECT_TRUE(g.v == w.v || (g.v[0] == w.v[0] && g.v[1] == w.v[2] && g.v[2] == w.v[1]))
        << what << " triangle " << t;
    for (int k = 0; k < 3; k++) {
      int a = tri[t][size_t(k)], b = tri[t][size_t(k + 1) % 3];
      if (a != b) edges[{std::min(a, b), std::max(a, b)}].push_back({t, a < b});
    }
  }
  int bad = 0;
  std::vector<std::vector<size_t>> next(tri.size());
  std::vector<bool> openTri(tri.size(), false);
  for (const auto& [e, uses] : edges) {
    if (uses.size() == 2 && uses[0].second == uses[1].second) bad++;
    for (const auto& u : uses) {
      openTri[u.first] = openTri[u.first] || uses.size() != 2;
      for (const auto& v : uses)
        if (v.first != u.first) next[u.first].push_back(v.first);
    }
  }
  EXPECT_EQ(bad, 0) << what << ": shared edges run the same way by both triangles";
  std::vector<bool> seen(tri.size(), false);
  for (size_t s = 0; s < tri.size(); s++) {
    if (seen[s]) continue;
    std::vector<size_t> piece = {s};
    seen[s] = true;
    bool open = false;
    double volume = 0, size = 0, facing = 0;
    for (size_t i = 0; i < piece.size(); i++) {
      size_t t = piece[i];
      open = open || openTri[t];
      for (size_t n : next[t])
        if (!seen[n]) {
          seen[n] = true;
          piece.push_back(n);
        }
      const auto& v = got[t].v;
      double p[3][3];
      for (int c = 0; c < 3; c++)
        for (int a = 0; a < 3; a++)
          p[c][a] = double(v[size_t(c)][size_t(a)]) - got[0].v[0][size_t(a)];
      double det = p[0][0] * (p[1][1] * p[2][2] - p[1][2] * p[2][1]) -
                   p[0][1] * (p[1][0] * p[2][2] - p[1][2] * p[2][0]) +
                   p[0][2] * (p[1][0] * p[2][1] - p[1][1] * p[2][0]);
      volume += det;
      size += std::fabs(det);
      auto n = normalOf(v);
      double along = n[0] * want[t].axis[0] + n[1] * want[t].axis[1] + n[2] * want[t].axis[2];
      double area = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
      facing += along > 0 ? area : along < 0 ? -area : 0;
    }
    if (!open && std::fabs(volume) > 1e-9 * size)
      EXPECT_GT(volume, 0) << what << ": a closed piece faces in";
    else
      EXPECT_GE(facing, 0) << what << ": an open piece of " << piece.size()
                           << " triangles faces in";
  }
  return bad;
}

// Triangles of `got` split by lattice, in the order `want` holds them.
void expectEachLatticeWound(const std::vector<Out>& got, const Lattice* lat,
                            const std::string& what) {
  ASSERT_EQ(got.size(), drawnInWorld(lat).size()) << what;
  size_t at = 0;
  for (const Lattice* L = lat; L; L = L->next) {
    if (L->id == 0) continue;
    Lattice one = *L;
    one.next = nullptr;
    std::vector<Want> want = drawnInWorld(&one);
    std::vector<Out> mine(got.begin() + long(at), got.begin() + long(at + want.size()));
    expectWoundOutward(mine, want, what);
    at += want.size();
  }
}

TEST(Export, FoldedLatticesAreWoundConsistentlyAndFaceOut) {
  std::vector<std::pair<std::string, MapDesc>> maps = {{"demo", demoMap()},
                                                       {"winding", windingMaps()}};
  for (unsigned seed = 1; seed <= 10; seed++)
    maps.push_back({"folded " + std::to_string(seed), foldedMap(seed)});
  for (const auto& [name, desc] : maps) {
    LoadedMap map;
    loadDesc(desc, map);
    expectEachLatticeWound(readObj(exported(map.lat, ExportFormat::obj)), map.lat, name + " obj");
    expectEachLatticeWound(readGlb(exported(map.lat, ExportFormat::glb)), map.lat, name + " glb");
  }
}

// The bytes every export writes, as an FNV-1a hash per map and format, taken from the
// single-threaded exporter before it was made faster: the same files, byte for byte, on the
// corpus and on the folded maps, whose winding depends on the order edges are joined in.
TEST(Export, BytesAsBeforeOnTheCorpus) {
  std::vector<std::pair<std::string, std::string>> maps;
  for (const SeedFile& f : corpus()) maps.push_back({f.name, f.bytes});
  maps.push_back({"winding", mapBytes(windingMaps())});
  for (unsigned seed = 1; seed <= 10; seed++)
    maps.push_back({"folded " + std::to_string(seed), mapBytes(foldedMap(seed))});
  auto fnv = [](const std::string& s) {
    uint64_t h = 14695981039346656037ull;
    for (unsigned char c : s) h = (h ^ c) * 1099511628211ull;
    return h;
  };
  std::ostringstream got;
  for (const auto& [name, bytes] : maps) {
    LoadedMap map;
    loadMapBytes(bytes, map);
    if (map.rep.status != LoadStatus::loaded) continue;
    char line[80];
    std::snprintf(line, sizeof line, " %016llx %016llx\n",
                  (unsigned long long)fnv(exported(map.lat, ExportFormat::obj)),
                  (unsigned long long)fnv(exported(map.lat, ExportFormat::glb)));
    got << name << line;
  }
  EXPECT_EQ(got.str(), exportHashes);
}

// A .glb's total length and its chunk lengths are 32-bit: the largest file that fits is
// refused one byte later, and the JSON's padding to four bytes counts.
TEST(Export, GlbLengthsAreCheckedBeforeWriting) {
  std::string err;
  const uint64_t head = 12 + 8 + 8; // header, JSON chunk head, binary chunk head
  EXPECT_EQ(glbBytes(5, true, 36), head + 8 + 36);
  EXPECT_EQ(glbBytes(8, false, 0), 12u + 8 + 8);
  EXPECT_FALSE(glbTooLarge(100, true, UINT32_MAX - head - 100, err));
  EXPECT_TRUE(err.empty());
  EXPECT_TRUE(glbTooLarge(101, true, UINT32_MAX - head - 100, err));
  EXPECT_NE(err.find("more than its 32-bit lengths can hold"), std::string::npos) << err;
  EXPECT_NE(err.find(".obj"), std::string::npos) << err;
  EXPECT_TRUE(glbTooLarge(100, true, uint64_t(5) << 32, err));
}

TEST(Export, FormatFromTheName) {
  ExportFormat f = ExportFormat::obj;
  EXPECT_TRUE(formatOfName("a.GLB", f));
  EXPECT_EQ(f, ExportFormat::glb);
  EXPECT_TRUE(formatOfName("dir.x/a.gltf", f));
  EXPECT_EQ(f, ExportFormat::gltf);
  EXPECT_FALSE(formatOfName("a.png", f));
  EXPECT_FALSE(formatOfName("obj", f));
}

} // namespace
