// `kelvane make-map`: a container file from a JSON description in the `info --json` shape.
// Parents become child references in the parent's record; header counts other than the
// lattice count are ignored.
#include "toolkit.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <limits>

using nlohmann::json;

namespace {

struct Bad {
  std::string what;
};

float number(const json& v, const std::string& where) {
  if (v.is_number()) {
    float f = float(v.get<double>());
    if (!std::isfinite(f))
      throw Bad{where + ": " + v.dump() +
                " is not a finite 32-bit float (non-finite values are written \"inf\", "
                "\"-inf\" or \"nan\")"};
    return f;
  }
  if (v.is_string()) {
    std::string s = v.get<std::string>();
    if (s == "nan") return std::numeric_limits<float>::quiet_NaN();
    if (s == "inf") return std::numeric_limits<float>::infinity();
    if (s == "-inf") return -std::numeric_limits<float>::infinity();
  }
  throw Bad{where + ": expected a number"};
}

int whole(const json& v, int lo, int hi, const std::string& where) {
  if (!v.is_number_integer() || v.get<long long>() < lo || v.get<long long>() > hi)
    throw Bad{where + ": expected a whole number from " + std::to_string(lo) + " to " +
              std::to_string(hi)};
  return int(v.get<long long>());
}

// Every key of the object `o` must be one of `known`: a misspelt key is an error, not a field
// left at its default.
void onlyKnownKeys(const json& o, std::initializer_list<const char*> known,
                   const std::string& where) {
  for (auto& [key, value] : o.items()) {
    bool ok = false;
    for (const char* k : known) ok = ok || key == k;
    if (!ok) throw Bad{where + ": unknown key \"" + key + "\""};
  }
}

const json& field(const json& o, const char* key, const std::string& where) {
  if (!o.contains(key)) throw Bad{where + ": missing \"" + key + "\""};
  return o[key];
}

void floats(const json& v, float* out, size_t n, const std::string& where) {
  if (!v.is_array() || v.size() != n)
    throw Bad{where + ": expected " + std::to_string(n) + " numbers"};
  for (size_t i = 0; i < n; i++) out[i] = number(v[i], where);
}

std::vector<std::pair<float, float>> insets(const json& v, const std::string& where) {
  if (!v.is_array() || v.size() > 255) throw Bad{where + ": expected up to 255 pairs"};
  std::vector<std::pair<float, float>> out;
  for (const json& p : v) {
    float d[2];
    floats(p, d, 2, where);
    out.push_back({d[0], d[1]});
  }
  return out;
}

MapDesc parse(const json& doc) {
  if (!doc.is_object()) throw Bad{"expected a JSON object"};
  onlyKnownKeys(doc, {"header", "lattices", "warnings"}, "the description");
  if (doc.contains("header")) {
    if (!doc["header"].is_object()) throw Bad{"header: expected an object"};
    onlyKnownKeys(doc["header"], {"extraCount", "typeCount", "recordCount", "stringCount", "nlat"},
                  "header");
  }
  const json& list = field(doc, "lattices", "the description");
  if (!list.is_array()) throw Bad{"lattices: expected a list"};
  if (list.size() > 65535) throw Bad{"lattices: at most 65535"};
  MapDesc m;
  std::vector<int> parent;
  for (size_t i = 0; i < list.size(); i++) {
    const json& o = list[i];
    std::string at = "lattices[" + std::to_string(i) + "]";
    if (!o.is_object()) throw Bad{at + ": expected an object"};
    onlyKnownKeys(o,
                  {"index", "id", "position", "rotation", "cellSize", "cells", "frameData",
                   "refCount", "parent", "minInsets", "maxInsets", "heights"},
                  at);
    LatticeRecord L;
    L.id = whole(field(o, "id", at), 0, maxVarCount, at + ".id");
    floats(field(o, "position", at), L.pos, 3, at + ".position");
    floats(field(o, "rotation", at), L.rot, 3, at + ".rotation");
    floats(field(o, "cellSize", at), L.cell, 3, at + ".cellSize");
    const json& cells = field(o, "cells", at);
    if (!cells.is_array() || cells.size() != 3) throw Bad{at + ".cells: expected 3 counts"};
    L.nx = whole(cells[0], 0, 255, at + ".cells");
    L.ny = whole(cells[1], 0, 255, at + ".cells");
    L.nz = whole(cells[2], 0, 255, at + ".cells");
    if (o.contains("frameData")) floats(o["frameData"], L.frameData, 19, at + ".frameData");
    if (o.contains("minInsets")) L.minInsets = insets(o["minInsets"], at + ".minInsets");
    if (o.contains("maxInsets")) L.maxInsets = insets(o["maxInsets"], at + ".maxInsets");
    if (o.contains("heights")) {
      const json& h = o["heights"];
      if (!h.is_array() || h.size() > size_t(maxVarCount))
        throw Bad{at + ".heights: expected up to 32767 numbers"};
      for (const json& v : h) L.heights.push_back(number(v, at + ".heights"));
    }
    int refCount =
        o.contains("refCount") ? whole(o["refCount"], 0, maxVarCount, at + ".refCount") : 0;
    L.refs.assign(size_t(refCount), 0); // references to record 0 name nothing
    parent.push_back(o.contains("parent") && !o["parent"].is_null()
                         ? whole(o["parent"], 0, int(list.size()) - 1, at + ".parent")
                         : -1);
    m.lattices.push_back(L);
  }
  // Each child's record number goes into its parent's references, in place of a blank one.
  std::vector<size_t> used(list.size(), 0);
  for (size_t i = 0; i < list.size(); i++) {
    if (parent[i] < 0) continue;
    LatticeRecord& p = m.lattices[size_t(parent[i])];
    int number = latticeRecordNumber(m, int(i));
    if (number > maxVarCount)
      throw Bad{"lattices[" + std::to_string(i) + "].parent: lattice " + std::to_string(i) +
                " is record " + std::to_string(number) +
                ", past the last record a child reference can name (" +
                std::to_string(maxVarCount) + ")"};
    if (used[size_t(parent[i])] < p.refs.size())
      p.refs[used[size_t(parent[i])]] = number;
    else
      p.refs.push_back(number);
    used[size_t(parent[i])]++;
    if (p.refs.size() > size_t(maxVarCount))
      throw Bad{"lattices: more than " + std::to_string(maxVarCount) + " children of one lattice"};
  }
  if (doc.contains("header") && doc["header"].contains("nlat")) {
    int nlat = whole(doc["header"]["nlat"], 0, 65535, "header.nlat");
    // A map with no lattices lists its empty root; anything else must count its lattices.
    if (nlat == 0 && list.size() <= 1)
      m.lattices.clear();
    else if (size_t(nlat) != list.size())
      throw Bad{"header.nlat is " + std::to_string(nlat) + " but " + std::to_string(list.size()) +
                " lattices are listed"};
  }
  return m;
}

} // namespace

bool mapFromJson(const std::string& text, MapDesc& map, std::string& err) {
  try {
    map = parse(json::parse(text));
    return true;
  } catch (const json::exception& e) {
    // The library's messages start with a tag such as "[json.exception.parse_error.101] ".
    err = e.what();
    if (size_t tag = err.find("] "); err.rfind("[json.exception", 0) == 0 && tag != err.npos)
      err.erase(0, tag + 2);
    if (err.rfind("parse error at ", 0) == 0) err.replace(0, 15, "not valid JSON at ");
  } catch (const Bad& b) {
    err = b.what;
  }
  return false;
}
