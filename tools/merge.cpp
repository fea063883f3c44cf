// `kelvane merge`'s report: a line for each conflict, or the same as JSON for tools.
#include "toolkit.h"

namespace {

std::string number(float v) {
  char b[32];
  return std::string(b, writeJsonFloat(b, v));
}

// The `width` floats from `v` as a user reads them: "1.5", or "(1, 0, 2)".
std::string values(const float* v, int width) {
  if (width == 1) return number(v[0]);
  std::string s = "(";
  for (int k = 0; k < width; k++) s += (k ? ", " : "") + number(v[k]);
  return s + ")";
}

std::string jsonValues(const float* v, int width) {
  std::string s = "[";
  for (int k = 0; k < width; k++) s += (k ? ", " : "") + number(v[k]);
  return s + "]";
}

// The JSON string of `s` (names of this program's own: no character needs more than \").
std::string jsonString(const std::string& s) {
  std::string q = "\"";
  for (char c : s) q += c == '"' || c == '\\' ? std::string("\\") + c : std::string(1, c);
  return q + "\"";
}

const char* kindName(MergeConflict::Kind k) {
  return k == MergeConflict::value     ? "value"
         : k == MergeConflict::removed ? "removed"
                                       : "structure";
}

} // namespace

std::string conflictsText(const std::vector<MergeConflict>& conflicts) {
  std::string s;
  for (const MergeConflict& c : conflicts) {
    std::string at = "lattice " + std::to_string(c.lattice) + " (id " + std::to_string(c.id) + ")";
    s += "conflict: ";
    if (c.kind == MergeConflict::structure && c.lattice < 0)
      s += "both sides changed the map's structure; the result is ours";
    else if (c.kind == MergeConflict::structure)
      s += at + " " + c.what + ": one side changed how many there are, the other their values";
    else if (c.kind == MergeConflict::removed)
      s += at + " of the base: removed on one side, changed on the other";
    else {
      const float* v = c.values.data();
      std::string base = c.hasBase ? values(v, c.width) : "none";
      if (c.hasBase) v += c.width;
      s += at + " " + c.what + ": base " + base + ", ours " + values(v, c.width) + ", theirs " +
           values(v + c.width, c.width);
    }
    s += "\n";
  }
  return s;
}

std::string conflictsJson(const std::vector<MergeConflict>& conflicts) {
  std::string s = "{\"conflicts\": [";
  for (size_t k = 0; k < conflicts.size(); k++) {
    const MergeConflict& c = conflicts[k];
    s += (k ? ",\n  " : "\n  ");
    s += "{\"kind\": \"" + std::string(kindName(c.kind)) + "\"";
    if (c.lattice >= 0)
      s += ", \"lattice\": " + std::to_string(c.lattice) + ", \"id\": " + std::to_string(c.id);
    s += ", \"what\": " + jsonString(c.what);
    if (c.kind == MergeConflict::value) {
      const float* v = c.values.data();
      s += ", \"base\": " + (c.hasBase ? jsonValues(v, c.width) : std::string("null"));
      if (c.hasBase) v += c.width;
      s += ", \"ours\": " + jsonValues(v, c.width) +
           ", \"theirs\": " + jsonValues(v + c.width, c.width);
    }
    s += "}";
  }
  return s + (conflicts.empty() ? "]}\n" : "\n]}\n");
}
