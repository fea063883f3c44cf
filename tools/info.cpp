// `kelvane info`: the header counts and every lattice of a map, as text or JSON.
#include "toolkit.h"

#include <cmath>
#include <cstdio>

namespace {

void jsonString(std::string& out, const std::string& s) {
  out += '"';
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += char(c);
    } else if (c < 0x20) {
      char b[8];
      std::snprintf(b, sizeof b, "\\u%04x", c);
      out += b;
    } else {
      out += char(c);
    }
  }
  out += '"';
}

void floats(std::string& out, const float* v, int n) {
  out += '[';
  for (int i = 0; i < n; i++) {
    if (i) out += ", ";
    out += jsonFloat(v[i]);
  }
  out += ']';
}

void insets(std::string& out, const InsetNode* n) {
  out += '[';
  for (const InsetNode* p = n; p; p = p->next) {
    if (p != n) out += ", ";
    out += '[';
    out += jsonFloat(p->dx);
    out += ", ";
    out += jsonFloat(p->dz);
    out += ']';
  }
  out += ']';
}

int count(const InsetNode* n) {
  int c = 0;
  for (; n; n = n->next) c++;
  return c;
}

} // namespace

std::string jsonFloat(float v) {
  if (std::isnan(v)) return "\"nan\"";
  if (std::isinf(v)) return v > 0 ? "\"inf\"" : "\"-inf\"";
  if (v == 0 && std::signbit(v)) return "-0.0"; // "-0" would read back as the integer 0
  char b[32];
  std::snprintf(b, sizeof b, "%.9g", double(v));
  return b;
}

std::string infoJson(const LoadedMap& map) {
  const LoadReport& r = map.rep;
  std::string out = "{\"header\": {\"extraCount\": " + std::to_string(r.extraCount) +
                    ", \"typeCount\": " + std::to_string(r.typeCount) +
                    ", \"recordCount\": " + std::to_string(r.recordCount) +
                    ", \"stringCount\": " + std::to_string(r.stringCount) +
                    ", \"nlat\": " + std::to_string(r.nlat) + "},\n \"lattices\": [";
  std::vector<int> parent = parentIndexes(map.lat);
  int i = 0;
  for (const Lattice* L = map.lat; L; L = L->next, i++) {
    out += i ? ",\n  " : "\n  ";
    out += "{\"index\": " + std::to_string(i) + ", \"id\": " + std::to_string(L->id) +
           ", \"position\": ";
    floats(out, &L->x, 3);
    out += ", \"rotation\": ";
    floats(out, &L->rx, 3);
    out += ", \"cellSize\": ";
    floats(out, &L->sx, 3);
    out += ", \"cells\": [" + std::to_string(L->nx) + ", " + std::to_string(L->ny) + ", " +
           std::to_string(L->nz) + "], \"frameData\": ";
    floats(out, L->frameData, 19);
    out += ", \"refCount\": " + std::to_string(L->refCount) + ", \"parent\": ";
    out += parent[size_t(i)] >= 0 ? std::to_string(parent[size_t(i)]) : "null";
    out += ", \"minInsets\": ";
    insets(out, L->minInsets);
    out += ", \"maxInsets\": ";
    insets(out, L->maxInsets);
    out += ", \"heights\": [";
    for (const HeightNode* h = L->heights; h; h = h->next) {
      if (h != L->heights) out += ", ";
      out += jsonFloat(h->value);
    }
    out += "]}";
  }
  out += "],\n \"warnings\": [";
  for (size_t w = 0; w < r.warnings.size(); w++) {
    if (w) out += ", ";
    jsonString(out, r.warnings[w]);
  }
  out += "]}\n";
  return out;
}

std::string infoText(const LoadedMap& map) {
  const LoadReport& r = map.rep;
  char b[512];
  std::snprintf(b, sizeof b,
                "records %d, types %d, extra entries %d, strings %d, LandFrameStore count %d\n",
                r.recordCount, r.typeCount, r.extraCount, r.stringCount, r.nlat);
  std::string out = b;
  std::vector<int> parentOf = parentIndexes(map.lat);
  int i = 0;
  for (const Lattice* L = map.lat; L; L = L->next, i++) {
    int heights = 0;
    for (const HeightNode* h = L->heights; h; h = h->next) heights++;
    std::string parent =
        parentOf[size_t(i)] >= 0 ? "parent " + std::to_string(parentOf[size_t(i)]) : "no parent";
    std::snprintf(b, sizeof b,
                  "lattice %d: id %d%s, at (%g, %g, %g), rotation (%g, %g, %g), "
                  "%d x %d x %d cells of (%g, %g, %g), %d heights, %d/%d insets, %d refs, %s\n",
                  i, L->id, L->id ? "" : " (not drawn)", L->x, L->y, L->z, L->rx, L->ry, L->rz,
                  L->nx, L->ny, L->nz, L->sx, L->sy, L->sz, heights, count(L->minInsets),
                  count(L->maxInsets), L->refCount, parent.c_str());
    out += b;
  }
  return out;
}
