// `kelvane patch`: the changes `kelvane diff --json` printed, put into the map they were made
// from. Only editable values change (positions, rotations, cell sizes, heights, insets); a
// change of the map's structure is refused, naming it.
#include "toolkit.h"

#include "mapfile/diff.h"
#include "render/numbers.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <limits>

using nlohmann::json;

namespace {

// A float as diff --json writes it: a number, or "nan", "inf" or "-inf".
bool toFloat(const json& j, float& v) {
  if (j.is_number()) { // one past a float's range is refused, not made infinite
    v = float(j.get<double>());
    return std::isfinite(v);
  }
  if (!j.is_string()) return false;
  std::string s = j.get<std::string>();
  float inf = std::numeric_limits<float>::infinity();
  if (s == "nan")
    v = std::numeric_limits<float>::quiet_NaN();
  else if (s == "inf")
    v = inf;
  else if (s == "-inf")
    v = -inf;
  else
    return false;
  return true;
}

std::string shown(float v) {
  char b[32];
  return std::string(b, writeJsonFloat(b, v));
}

// Applies one change to lattice L; false with `err` saying what does not fit.
struct Patcher {
  std::string& err;
  std::string at; // "changes[3]: lattice 5"

  bool fail(const std::string& why) {
    err = at + ": " + why;
    return false;
  }

  // Checks `v` holds `old` and sets it to `now`, for value `what`.
  bool put(float& v, const json& old, const json& now, const std::string& what) {
    float o, n;
    if (!toFloat(old, o) || !toFloat(now, n)) return fail(what + ": expected old and new numbers");
    if (!sameFloat(v, o))
      return fail(what + " is " + shown(v) + " in the map, not " + shown(o) +
                  " (was the patch made from another map, or applied already?)");
    v = n;
    return true;
  }

  bool three(const json& c, const char* name, float* v) {
    if (!c.contains(name)) return true;
    const json& j = c[name];
    if (!j.is_object() || !j["old"].is_array() || !j["new"].is_array() || j["old"].size() != 3 ||
        j["new"].size() != 3)
      return fail(std::string(name) + ": expected {\"old\": [x, y, z], \"new\": [x, y, z]}");
    for (size_t k = 0; k < 3; k++)
      if (!put(v[k], j["old"][k], j["new"][k], std::string(name) + "[" + std::to_string(k) + "]"))
        return false;
    return true;
  }

  // A list's entries: {"index": k, "old": v, "new": w}, v and w pairs for insets.
  template <class Node> bool list(const json& c, const char* name, Node* head, int width) {
    if (!c.contains(name)) return true;
    const json& j = c[name];
    if (j.is_object()) return fail(std::string(name) + ": their count changed; not editable");
    if (!j.is_array()) return fail(std::string(name) + ": expected a list of entries");
    std::vector<Node*> nodes;
    for (Node* n = head; n; n = n->next) nodes.push_back(n);
    for (const json& e : j) {
      if (!e.is_object() || !e["index"].is_number_unsigned())
        return fail(std::string(name) + ": an entry without its index");
      size_t k = e["index"].get<size_t>();
      std::string what = std::string(name) + "[" + std::to_string(k) + "]";
      if (k >= nodes.size())
        return fail(what + ": the lattice has " + std::to_string(nodes.size()));
      if (!putNode(*nodes[k], e["old"], e["new"], what, width)) return false;
    }
    return true;
  }

  bool putNode(HeightNode& n, const json& old, const json& now, const std::string& what, int) {
    return put(n.value, old, now, what);
  }
  bool putNode(InsetNode& n, const json& old, const json& now, const std::string& what, int) {
    if (!old.is_array() || !now.is_array() || old.size() != 2 || now.size() != 2)
      return fail(what + ": expected [dx, dz] pairs");
    return put(n.dx, old[0], now[0], what + ".dx") && put(n.dz, old[1], now[1], what + ".dz");
  }
};

} // namespace

bool patchMap(LoadedMap& map, const std::string& changes, std::string& err) {
  json d;
  try {
    d = json::parse(changes);
  } catch (const json::exception& e) {
    err = std::string("not JSON: ") + e.what();
    return false;
  }
  if (!d.is_object() || !d["changes"].is_array()) {
    err = "expected what 'kelvane diff --json' prints: an object with \"changes\"";
    return false;
  }
  std::vector<Lattice*> list;
  for (Lattice* L = map.lat; L; L = L->next) list.push_back(L);
  for (size_t k = 0; k < d["changes"].size(); k++) {
    const json& c = d["changes"][k];
    Patcher p{err, "changes[" + std::to_string(k) + "]"};
    std::string kind = c.value("change", "");
    if (kind == "added" || kind == "removed")
      return p.fail(kind + " lattice (id " + c.value("id", json(0)).dump() +
                    "): not editable (lattices come and go with the map's structure)");
    if (!c["old"].is_number_unsigned() || c["old"].get<size_t>() >= list.size())
      return p.fail("\"old\": expected a lattice index of the map (it has " +
                    std::to_string(list.size()) + ")");
    Lattice* L = list[c["old"].get<size_t>()];
    p.at += ": lattice " + c["old"].dump();
    if (c.contains("id") && c["id"] != L->id)
      return p.fail("its id is " + std::to_string(L->id) + " in the map, not " + c["id"].dump());
    if (c.contains("cells")) return p.fail("cells: not editable (they make the record's shape)");
    if (!p.three(c, "position", &L->x) || !p.three(c, "rotation", &L->rx) ||
        !p.three(c, "cellSize", &L->sx) || !p.list(c, "heights", L->heights, 1) ||
        !p.list(c, "minInsets", L->minInsets, 2) || !p.list(c, "maxInsets", L->maxInsets, 2))
      return false;
  }
  if (d["summary"].is_object() && d["summary"]["otherBytes"] == "differ") {
    err = "the maps differ in bytes besides their values (header, other records, the unread "
          "bytes of lattice records); no patch can change those";
    return false;
  }
  return true;
}
