// `kelvane patch`: the changes `kelvane diff --json` printed, put into the map they were made
// from. Only editable values change (positions, rotations, cell sizes, heights, insets); a
// change of the map's structure, or anything malformed, is refused, naming the change.
// The JSON is read as a stream: each change is applied as soon as it is whole and then
// dropped, and list entries are kept in a compact form until then, so memory stays near the
// text's size however many changes it holds.
#include "toolkit.h"

#include "mapfile/diff.h"
#include "render/numbers.h"

#include <nlohmann/json.hpp>

#include <cinttypes>
#include <cmath>
#include <cstring>
#include <limits>
#include <set>

using nlohmann::json;

namespace {

// A float as diff --json writes it: a number, or "nan", "inf", "-inf", or "nan:0xBITS" for a
// NaN with other bits than the plain quiet NaN.
bool toFloat(const json& j, float& v) {
  if (j.is_number()) { // one past a float's range is refused, not made infinite
    v = float(j.get<double>());
    return std::isfinite(v);
  }
  if (!j.is_string()) return false;
  const std::string& s = j.get_ref<const std::string&>();
  float inf = std::numeric_limits<float>::infinity();
  uint32_t bits = 0;
  char end = 0;
  if (s == "nan") {
    v = std::numeric_limits<float>::quiet_NaN();
  } else if (s == "inf") {
    v = inf;
  } else if (s == "-inf") {
    v = -inf;
  } else if (std::sscanf(s.c_str(), "nan:0x%8" SCNx32 "%c", &bits, &end) == 1 && s.size() == 14) {
    std::memcpy(&v, &bits, 4);
    return std::isnan(v);
  } else {
    return false;
  }
  return true;
}

std::string shown(float v) {
  char b[32];
  return std::string(b, writeJsonFloat(b, v));
}

// The values of one entry of a height or inset list: index, then old and new (dx, dz for an
// inset; a height uses the first of each).
struct Entry {
  size_t index;
  float old[2], now[2];
};

// The three lists a change may carry, in the order of Patch::lists.
const char* const listNames[3] = {"heights", "minInsets", "maxInsets"};

struct Refused {
  std::string why;
};

// What the stream of changes is put into, and where in the text the reader is.
struct Patch {
  LoadedMap& map;
  std::vector<Lattice*> list;
  // Each lattice's list nodes by index, made the first time a change names that list.
  std::vector<std::vector<HeightNode*>> heights;
  std::vector<std::vector<InsetNode*>> insets[2];
  // The reader's place: for each open container, whether it is an object, the keys it has
  // had (an object's keys must differ) and its elements so far (an array).
  struct Level {
    bool object;
    std::set<std::string> keys;
    std::string key; // the last key (an object)
    size_t count = 0;
  };
  std::vector<Level> open;
  size_t change = 0;             // changes applied so far
  std::vector<Entry> entries[3]; // the current change's list entries
  bool listOpen[3] = {};         // the current change carries that list as an array

  std::string at() const { return "changes[" + std::to_string(change) + "]"; }
  [[noreturn]] void refuse(const std::string& why) const { throw Refused{at() + ": " + why}; }

  // The list (0-2) an array at depth 3 is, or -1.
  int listAt(int depth) const {
    if (depth != 4 || open.size() < 4 || !inChanges()) return -1;
    for (int k = 0; k < 3; k++)
      if (open[2].key == listNames[k] && !open[3].object) return k;
    return -1;
  }
  bool inChanges() const {
    return open.size() >= 2 && open[0].object && open[0].key == "changes" && !open[1].object;
  }

  void entry(int k, const json& e) {
    const std::string what = std::string(listNames[k]) + ": entry " + std::to_string(open[3].count);
    if (!e.is_object()) refuse(what + ": expected {\"index\": k, \"old\": v, \"new\": w}");
    auto index = e.find("index");
    auto old = e.find("old"), now = e.find("new");
    if (index == e.end() || !index->is_number_unsigned())
      refuse(what + ": expected its \"index\", a whole number from 0");
    if (old == e.end() || now == e.end()) refuse(what + ": expected \"old\" and \"new\"");
    Entry en{index->get<size_t>(), {0, 0}, {0, 0}};
    int width = k == 0 ? 1 : 2;
    bool ok = true;
    if (width == 1) {
      ok = toFloat(*old, en.old[0]) && toFloat(*now, en.now[0]);
    } else {
      ok = old->is_array() && now->is_array() && old->size() == 2 && now->size() == 2;
      for (size_t i = 0; ok && i < 2; i++)
        ok = toFloat((*old)[i], en.old[i]) && toFloat((*now)[i], en.now[i]);
    }
    if (!ok)
      refuse(what + (width == 1 ? ": expected old and new numbers" : ": expected [dx, dz] pairs"));
    entries[k].push_back(en);
  }

  // Checks `v` holds `old` and sets it to `now`, for value `what`.
  void put(float& v, float old, float now, const std::string& what) const {
    if (!sameFloat(v, old))
      refuse(what + " is " + shown(v) + " in the map, not " + shown(old) +
             " (was the patch made from another map, or applied already?)");
    v = now;
  }

  // position, rotation or cellSize: floats `first` to first + 2 of the lattice's nine.
  void three(const json& c, const char* name, int index, int first, float* v) const {
    auto j = c.find(name);
    if (j == c.end()) return;
    const std::string shape =
        std::string(name) + ": expected {\"old\": [x, y, z], \"new\": [x, y, z]}";
    if (!j->is_object()) refuse(shape);
    auto old = j->find("old"), now = j->find("new");
    if (old == j->end() || now == j->end() || !old->is_array() || !now->is_array() ||
        old->size() != 3 || now->size() != 3)
      refuse(shape);
    for (size_t k = 0; k < 3; k++) {
      std::string what = std::string(name) + "[" + std::to_string(k) + "]";
      float o, n;
      if (!toFloat((*old)[k], o) || !toFloat((*now)[k], n))
        refuse(what + ": expected old and new numbers");
      if (!holdsFixed(map.store, index, first + int(k)))
        refuse(what + ": the file ends inside it; not editable");
      put(v[k], o, n, what);
    }
  }

  template <class Node> std::vector<Node*>& nodesOf(std::vector<Node*>& cached, Node* head) {
    if (cached.empty())
      for (Node* n = head; n; n = n->next) cached.push_back(n);
    return cached;
  }

  // A whole change, its list entries already read into `entries`.
  void apply(const json& c) {
    if (!c.is_object()) refuse("expected a change: an object with \"change\" and \"old\"");
    auto kind = c.find("change");
    if (kind == c.end() || !kind->is_string())
      refuse("expected \"change\": \"moved\", \"reshaped\" or \"moved and reshaped\"");
    const std::string& k = kind->get_ref<const std::string&>();
    auto id = c.find("id");
    if (k == "added" || k == "removed")
      refuse(k + " lattice (id " + (id == c.end() ? std::string("?") : id->dump()) +
             "): not editable (lattices come and go with the map's structure)");
    auto old = c.find("old");
    if (old == c.end() || !old->is_number_unsigned() || old->get<size_t>() >= list.size())
      refuse("\"old\": expected a lattice index of the map (it has " + std::to_string(list.size()) +
             ")");
    int index = int(old->get<size_t>());
    Lattice* L = list[size_t(index)];
    std::string here = at();
    auto fail = [&](const std::string& why) {
      throw Refused{here + ": lattice " + std::to_string(index) + ": " + why};
    };
    if (id != c.end() && !(id->is_number_integer() && id->get<int64_t>() == L->id))
      fail("its id is " + std::to_string(L->id) + " in the map, not " + id->dump());
    if (c.contains("cells")) fail("cells: not editable (they make the record's shape)");
    try {
      three(c, "position", index, 0, &L->x);
      three(c, "rotation", index, 3, &L->rx);
      three(c, "cellSize", index, 6, &L->sx);
      for (int n = 0; n < 3; n++) {
        auto j = c.find(listNames[n]);
        if (j == c.end()) continue;
        std::string name = listNames[n];
        if (j->is_object()) refuse(name + ": their count changed; not editable");
        if (!listOpen[n]) refuse(name + ": expected a list of entries");
        size_t have =
            n == 0 ? nodesOf(heights[size_t(index)], L->heights).size()
                   : nodesOf(insets[n - 1][size_t(index)], n == 1 ? L->minInsets : L->maxInsets)
                         .size();
        for (const Entry& e : entries[n]) {
          std::string what = name + "[" + std::to_string(e.index) + "]";
          if (e.index >= have) refuse(what + ": the lattice has " + std::to_string(have));
          if (n == 0) {
            put(heights[size_t(index)][e.index]->value, e.old[0], e.now[0], what);
          } else {
            InsetNode* in = insets[n - 1][size_t(index)][e.index];
            put(in->dx, e.old[0], e.now[0], what + ".dx");
            put(in->dz, e.old[1], e.now[1], what + ".dz");
          }
        }
      }
    } catch (const Refused& r) { // named with the lattice as well
      fail(r.why.substr(here.size() + 2));
    }
  }

  // The reader's callback: follows its place, refuses repeated keys, and takes list entries
  // and whole changes as they end, dropping them from the document it builds.
  bool event(int depth, json::parse_event_t e, json& parsed) {
    using E = json::parse_event_t;
    switch (e) {
    case E::object_start:
    case E::array_start:
      open.push_back({e == E::object_start, {}, {}, 0});
      return true;
    case E::key: {
      Level& l = open.back();
      const std::string& key = parsed.get_ref<const std::string&>();
      if (!l.keys.insert(key).second) {
        std::string where = inChanges() && open.size() > 2 ? at() + ": " : "";
        throw Refused{where + "the key \"" + key + "\" is given twice in one object"};
      }
      l.key = key;
      return true;
    }
    case E::value:
      if (depth == 4 && listAt(4) >= 0) {
        entry(listAt(4), parsed);
        open.back().count++;
        return false;
      }
      if (depth == 2 && inChanges()) apply(parsed); // a change that is not an object
      if (!open.empty() && !open.back().object) open.back().count++;
      return true;
    case E::object_end:
    case E::array_end: {
      bool wasObject = open.back().object;
      open.pop_back();
      if (depth == 4 && listAt(4) >= 0) {
        entry(listAt(4), parsed);
        open.back().count++;
        return false;
      }
      if (depth == 3 && inChanges() && open.size() == 3 && !wasObject) {
        for (int k = 0; k < 3; k++) listOpen[k] |= open[2].key == listNames[k];
      }
      if (depth == 2 && inChanges()) {
        apply(parsed);
        change++;
        for (int k = 0; k < 3; k++) {
          entries[k].clear();
          listOpen[k] = false;
        }
        open.back().count++;
        return false;
      }
      if (!open.empty() && !open.back().object) open.back().count++;
      return true;
    }
    }
    return true;
  }
};

} // namespace

bool patchMap(LoadedMap& map, const std::string& changes, std::string& err) {
  Patch p{map, {}, {}, {}, {}, 0, {}, {}};
  for (Lattice* L = map.lat; L; L = L->next) p.list.push_back(L);
  p.heights.resize(p.list.size());
  for (auto& in : p.insets) in.resize(p.list.size());
  json d;
  try {
    d = json::parse(changes, [&p](int depth, json::parse_event_t e, json& parsed) {
      return p.event(depth, e, parsed);
    });
  } catch (const Refused& r) {
    err = r.why;
    return false;
  } catch (const json::exception& e) {
    err = std::string("not JSON: ") + e.what();
    return false;
  }
  auto list = d.is_object() ? d.find("changes") : d.end();
  if (!d.is_object() || list == d.end() || !list->is_array()) {
    err = "expected what 'kelvane diff --json' prints: an object with \"changes\"";
    return false;
  }
  auto summary = d.find("summary");
  if (summary != d.end() && summary->is_object() &&
      summary->value("otherBytes", json()) == "differ") {
    err = "the maps differ in bytes besides their values (header, other records, the unread "
          "bytes of lattice records); no patch can change those";
    return false;
  }
  return true;
}
