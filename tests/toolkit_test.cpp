// The toolkit's outputs: info JSON, maps from JSON, OBJ export, the demo landscape.
#include "render/frame.h"
#include "test_maps.h"
#include "tools/toolkit.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <cfloat>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>
#include <cmath>
#include <cstring>
#include <sstream>

using nlohmann::json;

namespace {

MapDesc sample() {
  MapDesc m;
  m.otherRecords = {"x"};
  m.lattices = {box(2, 1, 2), box(1, 2, 3, 0), box(3, 1, 1)};
  m.lattices[0].pos[1] = -4.25f;
  m.lattices[0].rot[2] = std::nanf("");
  m.lattices[0].frameData[18] = -INFINITY;
  m.lattices[0].heights = {0.1f, FLT_MAX, 1e-45f, -0.0f};
  m.lattices[0].minInsets = {{1, 2}};
  m.lattices[2].refs = {2, 3, 99}; // parent of lattice 0, then nothing, then no lattice
  return m;
}

TEST(InfoJson, ShapeAndValues) {
  LoadedMap m;
  loadDesc(sample(), m);
  json doc = json::parse(infoJson(m));
  std::vector<std::string> keys;
  for (auto& [k, v] : doc.items()) keys.push_back(k);
  EXPECT_EQ(keys, (std::vector<std::string>{"header", "lattices", "warnings"}));
  EXPECT_EQ(doc["header"]["nlat"], 3);
  EXPECT_EQ(doc["header"]["recordCount"], 4);
  ASSERT_EQ(doc["lattices"].size(), 3u);
  const json& L = doc["lattices"][0];
  EXPECT_EQ(L["index"], 0);
  EXPECT_EQ(L["parent"], 2);
  EXPECT_EQ(L["position"][1].get<double>(), -4.25);
  EXPECT_EQ(L["rotation"][2], "nan");
  EXPECT_EQ(L["frameData"].size(), 19u);
  EXPECT_EQ(L["frameData"][18], "-inf");
  EXPECT_EQ(L["minInsets"], json::parse("[[1, 2]]"));
  EXPECT_EQ(L["maxInsets"], json::array());
  EXPECT_EQ(doc["lattices"][2]["parent"], nullptr);
  EXPECT_EQ(doc["lattices"][2]["refCount"], 3);
  ASSERT_EQ(doc["warnings"].size(), 1u);
  // Every float reads back as the same 32-bit float.
  std::vector<float> heights = sample().lattices[0].heights;
  for (int i = 0; i < 4; i++) {
    float back = float(L["heights"][i].get<double>());
    EXPECT_EQ(std::memcmp(&back, &heights[i], 4), 0) << i;
  }
}

TEST(MakeMap, InfoRoundTripGivesTheSameLattices) {
  std::vector<std::string> maps = {mapBytes(sample()), mapBytes(demoMap()), mapBytes(MapDesc{})};
  MapDesc cyc;
  cyc.lattices = {box(1, 1, 1), box(1, 1, 1)};
  cyc.lattices[0].refs = {2};
  cyc.lattices[1].refs = {1, 2}; // a cycle, cut when loading
  maps.push_back(mapBytes(cyc));
  maps.push_back(mapBytes(sample()).substr(0, 500)); // truncated: the zeroed tail survives
  for (const std::string& bytes : maps) {
    LoadedMap a, b;
    loadMapBytes(bytes, a);
    MapDesc d;
    std::string err;
    ASSERT_TRUE(mapFromJson(infoJson(a), d, err)) << err;
    loadDesc(d, b);
    EXPECT_EQ(json::parse(infoJson(a))["lattices"], json::parse(infoJson(b))["lattices"]);
    EXPECT_TRUE(b.rep.warnings.empty() || !a.rep.warnings.empty());
  }
}

TEST(MakeMap, ErrorsNameThePlace) {
  struct Case {
    std::string text, err;
  } cases[] = {
      {"[]", "expected a JSON object"},
      {"{}", "missing \"lattices\""},
      {R"({"lattices": [{"id": 1}]})", "lattices[0]: missing \"position\""},
      {R"({"lattices": [{"id": 1, "position": [0,0,0], "rotation": [0,0,0], "cellSize": [1,1,1],
          "cells": [1, 256, 1]}]})",
       "lattices[0].cells: expected a whole number from 0 to 255"},
      {R"({"lattices": [{"id": 1, "position": [0,"x",0], "rotation": [0,0,0]}]})",
       "lattices[0].position: expected a number"},
      {R"({"lattices": [{"id": 1, "position": [0,0,0], "rotation": [0,0,0], "cellSize": [1,1,1],
          "cells": [1,1,1], "parent": 3}]})",
       "lattices[0].parent: expected a whole number from 0 to 0"},
      {R"({"header": {"nlat": 4}, "lattices": []})", "header.nlat is 4 but 0 lattices"},
      {"{", "not valid JSON at line 1, column 2"},
      {"{\n \"lattices\": [,]}", "not valid JSON at line 2, column 15"},
      {R"({"lattices": [{"idd": 1}]})", "lattices[0]: unknown key \"idd\""},
      {R"({"header": {"nLat": 1}, "lattices": []})", "header: unknown key \"nLat\""},
      {R"({"lattices": [{"id": 1, "position": [0,1e300,0], "rotation": [0,0,0]}]})",
       "lattices[0].position: 1e+300 is not a finite 32-bit float"},
      {R"({"lattices": [{"id": 1, "position": [0,0,0], "rotation": [0,0,0], "cellSize": [1,1,1],
          "cells": [1,1,1], "heights": [-3.5e38]}]})",
       "lattices[0].heights: -3.5e+38 is not a finite 32-bit float"},
  };
  for (const Case& c : cases) {
    MapDesc d;
    std::string err;
    EXPECT_FALSE(mapFromJson(c.text, d, err)) << c.text;
    EXPECT_NE(err.find(c.err), std::string::npos) << err;
    EXPECT_EQ(err.find("[json.exception"), std::string::npos) << err;
  }
}

// A child reference past what a count can hold would wrap and give the lattice to another
// parent: refused, naming the child.
TEST(MakeMap, ReferencesPastTheLargestCountAreRefused) {
  json doc = {{"lattices", json::array()}};
  for (int i = 0; i < 40002; i++)
    doc["lattices"].push_back({{"id", 1},
                               {"position", {0, 0, 0}},
                               {"rotation", {0, 0, 0}},
                               {"cellSize", {1, 1, 1}},
                               {"cells", {1, 1, 1}}});
  doc["lattices"][32766]["parent"] = 0; // record 32767: the last that can be named
  MapDesc d;
  std::string err;
  ASSERT_TRUE(mapFromJson(doc.dump(), d, err)) << err;
  doc["lattices"][40000]["parent"] = 0;
  EXPECT_FALSE(mapFromJson(doc.dump(), d, err));
  EXPECT_EQ(err.find("lattices[40000].parent: lattice 40000 is record 40001"), 0u) << err;
}

// The writer refuses every value its field cannot hold instead of wrapping or cutting it.
TEST(WriteMap, RefusesWhatTheFormatCannotHold) {
  struct Case {
    void (*spoil)(MapDesc&);
    std::string err;
  } cases[] = {
      {[](MapDesc& m) { m.lattices[0].refs = {32768}; }, "lattices[0].refs[0]: 32768 is outside"},
      {[](MapDesc& m) { m.lattices[0].refs = {-1}; }, "lattices[0].refs[0]: -1 is outside"},
      {[](MapDesc& m) { m.lattices[0].id = 40000; }, "lattices[0].id: 40000"},
      {[](MapDesc& m) { m.lattices[0].nx = 256; }, "lattices[0].cells[0]: 256"},
      {[](MapDesc& m) { m.lattices[0].heights.assign(32768, 0); }, "lattices[0].heights (length)"},
      {[](MapDesc& m) {
         m.lattices[0].minInsets.assign(256, {0, 0});
       },
       "lattices[0].minInsets (length)"},
      {[](MapDesc& m) {
         m.lattices[0].skippedCounts = {5, 99999};
       },
       "lattices[0].skippedCounts[1]"},
      {[](MapDesc& m) { m.extraCount = 256; }, "extraCount: 256"},
      {[](MapDesc& m) { m.nlatOverride = 65536; }, "nlat: 65536"},
  };
  for (const Case& c : cases) {
    MapDesc m;
    m.lattices = {box(1, 1, 1)};
    c.spoil(m);
    std::string bytes = "untouched", err;
    EXPECT_FALSE(writeMap(m, bytes, err));
    EXPECT_EQ(err.find(c.err), 0u) << err;
    EXPECT_EQ(bytes, "untouched");
  }
  std::string out;
  EXPECT_FALSE(putVarCount(out, 32768));
  EXPECT_FALSE(putVarCount(out, -1));
  EXPECT_TRUE(out.empty());
  EXPECT_TRUE(putVarCount(out, 32767));
  EXPECT_EQ(out, "\xFF\xFF");
}

TEST(Demo, ShowsWhatTheFormatCanDo) {
  LoadedMap m;
  loadDesc(demoMap(), m);
  EXPECT_TRUE(m.rep.warnings.empty());
  int hidden = 0, depth2 = 0, rotated = 0, terraced = 0, hilly = 0;
  for (Lattice* L = m.lat; L; L = L->next) {
    hidden += L->id == 0;
    depth2 += L->parent && L->parent->parent;
    rotated += L->parent && (L->rx || L->ry || L->rz);
    hilly += L->heights != nullptr;
    terraced += L->minInsets && L->minInsets->next && L->minInsets->dx != L->minInsets->next->dx;
  }
  EXPECT_EQ(hidden, 1);
  EXPECT_GE(depth2, 1);
  EXPECT_GE(rotated, 2);
  EXPECT_GE(hilly, 3);
  EXPECT_GE(terraced, 2);
}

} // namespace

namespace {

std::vector<std::string> filesIn(const std::filesystem::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::string contents(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// An output is the old file or the whole new one, never part of it, and no temporary stays.
TEST(Output, WholeOrNotAtAll) {
  namespace fs = std::filesystem;
  fs::path dir = fs::path(testing::TempDir()) / ("outputs-" + std::to_string(getpid()));
  fs::create_directories(dir);
  std::string target = (dir / "a.obj").string(), err;
  ASSERT_TRUE(writeFile(target, "old", err)) << err;

  Output out;
  ASSERT_TRUE(openOutput(target, out, err)) << err;
  std::fputs("half of the new", out.f);
  EXPECT_FALSE(commitOutput(out, false, err)); // the writer saw a failure
  EXPECT_EQ(contents(target), "old");
  EXPECT_EQ(filesIn(dir), std::vector<std::string>{"a.obj"});

  pid_t child = fork();
  if (child == 0) { // killed in the middle of writing
    Output o;
    std::string e;
    if (openOutput(target, o, e)) {
      std::fputs("half", o.f);
      std::fflush(o.f);
      std::raise(SIGTERM);
    }
    _exit(3);
  }
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
  EXPECT_EQ(contents(target), "old");
  EXPECT_EQ(filesIn(dir), std::vector<std::string>{"a.obj"});

  ASSERT_TRUE(writeFile(target, "new", err)) << err;
  EXPECT_EQ(contents(target), "new");
  EXPECT_EQ(filesIn(dir), std::vector<std::string>{"a.obj"});
  EXPECT_FALSE(writeFile((dir / "no/such/dir.obj").string(), "x", err));
  EXPECT_EQ(err, "cannot write in its folder " + (dir / "no/such").string() +
                     ": No such file or directory");
  fs::remove_all(dir);
}

} // namespace
