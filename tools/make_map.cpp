// `kelvane make-map`: a container file from a JSON description in the `info --json` shape.
// Parents become child references in the parent's record; header counts other than the
// lattice count are ignored.
#include "toolkit.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <limits>

using nlohmann::json;

namespace {

// Sets `err` to `what`; false, for `return bad(err, ...)`.
bool bad(std::string& err, const std::string& what) {
  err = what;
  return false;
}

bool number(const json& v, const std::string& where, float& out, std::string& err) {
  if (v.is_number()) {
    out = float(v.get<double>());
    return std::isfinite(out) ||
           bad(err, where + ": " + v.dump() +
                        " is not a finite 32-bit float (non-finite values are written \"inf\", "
                        "\"-inf\" or \"nan\")");
  }
  std::string s = v.is_string() ? v.get<std::string>() : "";
  if (s == "nan")
    out = std::numeric_limits<float>::quiet_NaN();
  else if (s == "inf")
    out = std::numeric_limits<float>::infinity();
  else if (s == "-inf")
    out = -std::numeric_limits<float>::infinity();
  else
    return bad(err, where + ": expected a number");
  return true;
}

// A whole number from `lo` to `hi`; a null `v` (a missing field, `err` already set) fails.
bool whole(const json* v, int lo, int hi, const std::string& where, int& out, std::string& err) {
  if (!v) return false;
  if (!v->is_number_integer() || v->get<long long>() < lo || v->get<long long>() > hi)
    return bad(err, where + ": expected a whole number from " + std::to_string(lo) + " to " +
                        std::to_string(hi));
  out = int(v->get<long long>());
  return true;
}

// Every key of the object `o` must be one of `known`: a misspelt key is an error, not a field
// left at its default.
bool onlyKnownKeys(const json& o, std::initializer_list<const char*> known,
                   const std::string& where, std::string& err) {
  for (auto& [key, value] : o.items()) {
    bool ok = false;
    for (const char* k : known) ok = ok || key == k;
    if (!ok) return bad(err, where + ": unknown key \"" + key + "\"");
  }
  return true;
}

// The member `key` of `o`, or null after setting `err` when it is missing.
const json* field(const json& o, const char* key, const std::string& where, std::string& err) {
  if (o.contains(key)) return &o[key];
  bad(err, where + ": missing \"" + key + "\"");
  return nullptr;
}

// n numbers; a null `v` (a missing field, `err` already set) fails.
bool floats(const json* v, float* out, size_t n, const std::string& where, std::string& err) {
  if (!v) return false;
  if (!v->is_array() || v->size() != n)
    return bad(err, where + ": expected " + std::to_string(n) + " numbers");
  for (size_t i = 0; i < n; i++)
    if (!number((*v)[i], where, out[i], err)) return false;
  return true;
}

bool insets(const json& v, const std::string& where, std::vector<std::pair<float, float>>& out,
            std::string& err) {
  if (!v.is_array() || v.size() > 255) return bad(err, where + ": expected up to 255 pairs");
  for (const json& p : v) {
    float d[2];
    if (!floats(&p, d, 2, where, err)) return false;
    out.push_back({d[0], d[1]});
  }
  return true;
}

bool heights(const json& h, const std::string& where, std::vector<float>& out, std::string& err) {
  if (!h.is_array() || h.size() > size_t(maxVarCount))
    return bad(err, where + ": expected up to 32767 numbers");
  for (const json& v : h) {
    float f;
    if (!number(v, where, f, err)) return false;
    out.push_back(f);
  }
  return true;
}

bool cellCounts(const json* cells, const std::string& at, LatticeRecord& L, std::string& err) {
  if (!cells) return false;
  if (!cells->is_array() || cells->size() != 3) return bad(err, at + ".cells: expected 3 counts");
  int* n[3] = {&L.nx, &L.ny, &L.nz};
  for (size_t a = 0; a < 3; a++)
    if (!whole(&(*cells)[a], 0, 255, at + ".cells", *n[a], err)) return false;
  return true;
}

// The lists and counts a lattice may leave out.
bool optionalFields(const json& o, const std::string& at, LatticeRecord& L, int& refCount,
                    std::string& err) {
  refCount = 0;
  return (!o.contains("frameData") ||
          floats(&o["frameData"], L.frameData, 19, at + ".frameData", err)) &&
         (!o.contains("minInsets") ||
          insets(o["minInsets"], at + ".minInsets", L.minInsets, err)) &&
         (!o.contains("maxInsets") ||
          insets(o["maxInsets"], at + ".maxInsets", L.maxInsets, err)) &&
         (!o.contains("heights") || heights(o["heights"], at + ".heights", L.heights, err)) &&
         (!o.contains("refCount") ||
          whole(&o["refCount"], 0, maxVarCount, at + ".refCount", refCount, err));
}

// Lattice `i` of a list of `count`; `parent` is its parent's index, or -1.
bool lattice(const json& o, size_t i, size_t count, LatticeRecord& L, int& parent,
             std::string& err) {
  std::string at = "lattices[" + std::to_string(i) + "]";
  if (!o.is_object()) return bad(err, at + ": expected an object");
  int refCount = 0;
  bool ok = onlyKnownKeys(o,
                          {"index", "id", "position", "rotation", "cellSize", "cells", "frameData",
                           "refCount", "parent", "minInsets", "maxInsets", "heights"},
                          at, err) &&
            whole(field(o, "id", at, err), 0, maxVarCount, at + ".id", L.id, err) &&
            floats(field(o, "position", at, err), L.pos, 3, at + ".position", err) &&
            floats(field(o, "rotation", at, err), L.rot, 3, at + ".rotation", err) &&
            floats(field(o, "cellSize", at, err), L.cell, 3, at + ".cellSize", err) &&
            cellCounts(field(o, "cells", at, err), at, L, err) &&
            optionalFields(o, at, L, refCount, err);
  if (!ok) return false;
  L.refs.assign(size_t(refCount), 0); // references to record 0 name nothing
  parent = -1;
  return !o.contains("parent") || o["parent"].is_null() ||
         whole(&o["parent"], 0, int(count) - 1, at + ".parent", parent, err);
}

// Each child's record number goes into its parent's references, in place of a blank one.
bool linkChildren(const std::vector<int>& parent, MapDesc& m, std::string& err) {
  std::vector<size_t> used(parent.size(), 0);
  for (size_t i = 0; i < parent.size(); i++) {
    if (parent[i] < 0) continue;
    LatticeRecord& p = m.lattices[size_t(parent[i])];
    int number = latticeRecordNumber(m, int(i));
    if (number > maxVarCount)
      return bad(err, "lattices[" + std::to_string(i) + "].parent: lattice " + std::to_string(i) +
                          " is record " + std::to_string(number) +
                          ", past the last record a child reference can name (" +
                          std::to_string(maxVarCount) + ")");
    size_t& n = used[size_t(parent[i])];
    if (n < p.refs.size())
      p.refs[n] = number;
    else
      p.refs.push_back(number);
    n++;
    if (p.refs.size() > size_t(maxVarCount))
      return bad(err,
                 "lattices: more than " + std::to_string(maxVarCount) + " children of one lattice");
  }
  return true;
}

// The header's keys, and its lattice count against the list of `count`.
bool header(const json& doc, size_t count, MapDesc& m, std::string& err) {
  if (!doc.contains("header")) return true;
  const json& h = doc["header"];
  if (!h.is_object()) return bad(err, "header: expected an object");
  if (!onlyKnownKeys(h, {"extraCount", "typeCount", "recordCount", "stringCount", "nlat"}, "header",
                     err))
    return false;
  if (!h.contains("nlat")) return true;
  int nlat = 0;
  if (!whole(&h["nlat"], 0, 65535, "header.nlat", nlat, err)) return false;
  // A map with no lattices lists its empty root; anything else must count its lattices.
  if (nlat == 0 && count <= 1)
    m.lattices.clear();
  else if (size_t(nlat) != count)
    return bad(err, "header.nlat is " + std::to_string(nlat) + " but " + std::to_string(count) +
                        " lattices are listed");
  return true;
}

bool parse(const json& doc, MapDesc& m, std::string& err) {
  if (!doc.is_object()) return bad(err, "expected a JSON object");
  if (!onlyKnownKeys(doc, {"header", "lattices", "warnings"}, "the description", err)) return false;
  const json* list = field(doc, "lattices", "the description", err);
  if (!list) return false;
  if (!list->is_array()) return bad(err, "lattices: expected a list");
  if (list->size() > 65535) return bad(err, "lattices: at most 65535");
  std::vector<int> parent(list->size(), -1);
  m.lattices.assign(list->size(), LatticeRecord{});
  for (size_t i = 0; i < list->size(); i++)
    if (!lattice((*list)[i], i, list->size(), m.lattices[i], parent[i], err)) return false;
  return linkChildren(parent, m, err) && header(doc, list->size(), m, err);
}

} // namespace

bool mapFromJson(const std::string& text, MapDesc& map, std::string& err) {
  json doc;
  try {
    doc = json::parse(text);
  } catch (const json::exception& e) {
    // The library's messages start with a tag such as "[json.exception.parse_error.101] ".
    err = e.what();
    if (size_t tag = err.find("] "); err.rfind("[json.exception", 0) == 0 && tag != err.npos)
      err.erase(0, tag + 2);
    if (err.rfind("parse error at ", 0) == 0) err.replace(0, 15, "not valid JSON at ");
    return false;
  }
  MapDesc m;
  if (!parse(doc, m, err)) return false;
  map = std::move(m);
  return true;
}
