// `kelvane info`: the header counts and every lattice of a map, as text or JSON. Both are
// built by appending to one string, linear in the map's size.
#include "toolkit.h"

#include "render/numbers.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace {

// Appends to a string through a small buffer, so the many short pieces of a report cost one
// string append per few kilobytes.
struct Text {
  std::string& out;
  char b[8192];
  size_t n = 0;
  explicit Text(std::string& s) : out(s) {}
  Text(const Text&) = delete;
  ~Text() { flush(); }
  void flush() {
    out.append(b, n);
    n = 0;
  }
  // Room for k more bytes; k is at most the buffer's size.
  char* room(size_t k) {
    if (n + k > sizeof b) flush();
    return b + n;
  }
  Text& operator<<(std::string_view s) {
    if (s.size() > sizeof b) {
      flush();
      out.append(s);
    } else {
      std::memcpy(room(s.size()), s.data(), s.size());
      n += s.size();
    }
    return *this;
  }
  Text& operator<<(char c) {
    *room(1) = c;
    n++;
    return *this;
  }
  Text& operator<<(long v) {
    n = size_t(std::to_chars(room(24), b + sizeof b, v).ptr - b);
    return *this;
  }
  Text& operator<<(int v) { return *this << long(v); }
};

void jsonString(Text& t, const std::string& s) {
  t << '"';
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') {
      t << '\\' << char(c);
    } else if (c < 0x20) {
      char b[8];
      std::snprintf(b, sizeof b, "\\u%04x", c);
      t << std::string_view(b);
    } else {
      t << char(c);
    }
  }
  t << '"';
}

// A float as JSON that reads back as the same 32-bit float: the shortest such form.
void putJsonFloat(Text& t, float v) {
  char* p = t.room(32);
  t.n = size_t(writeJsonFloat(p, v) - t.b);
}

void floats(Text& t, const float* v, int n) {
  t << '[';
  for (int i = 0; i < n; i++) {
    if (i) t << ", ";
    putJsonFloat(t, v[i]);
  }
  t << ']';
}

void insets(Text& t, const InsetNode* n) {
  t << '[';
  for (const InsetNode* p = n; p; p = p->next) {
    if (p != n) t << ", ";
    t << '[';
    putJsonFloat(t, p->dx);
    t << ", ";
    putJsonFloat(t, p->dz);
    t << ']';
  }
  t << ']';
}

} // namespace

char* writeJsonFloat(char* p, float v) {
  auto put = [p](const char* s) { return std::strcpy(p, s) + std::strlen(s); };
  if (std::isnan(v)) return put("\"nan\"");
  if (std::isinf(v)) return put(v > 0 ? "\"inf\"" : "\"-inf\"");
  if (v == 0) return put(std::signbit(v) ? "-0.0" : "0"); // "-0" would read back as integer 0
  if (std::fabs(v) < 1e5f && v == float(long(v)))         // what to_chars writes for these, sooner
    return std::to_chars(p, p + 32, long(v)).ptr;
  return std::to_chars(p, p + 32, v).ptr;
}

std::string infoJson(const LoadedMap& map) {
  const LoadReport& r = map.rep;
  std::string out;
  out.reserve(map.store.bytes * 2); // about what the records take as text: one allocation
  std::vector<int> parent = parentIndexes(map.lat);
  {
    Text t(out);
    t << "{\"header\": {\"extraCount\": " << r.extraCount << ", \"typeCount\": " << r.typeCount
      << ", \"recordCount\": " << r.recordCount << ", \"stringCount\": " << r.stringCount
      << ", \"nlat\": " << r.nlat << "},\n \"lattices\": [";
    int i = 0;
    for (const Lattice* L = map.lat; L; L = L->next, i++) {
      t << (i ? ",\n  " : "\n  ") << "{\"index\": " << i << ", \"id\": " << L->id
        << ", \"position\": ";
      floats(t, &L->x, 3);
      t << ", \"rotation\": ";
      floats(t, &L->rx, 3);
      t << ", \"cellSize\": ";
      floats(t, &L->sx, 3);
      t << ", \"cells\": [" << L->nx << ", " << L->ny << ", " << L->nz << "], \"frameData\": ";
      floats(t, L->frameData, 19);
      t << ", \"refCount\": " << L->refCount << ", \"parent\": ";
      if (parent[size_t(i)] >= 0)
        t << parent[size_t(i)];
      else
        t << "null";
      t << ", \"minInsets\": ";
      insets(t, L->minInsets);
      t << ", \"maxInsets\": ";
      insets(t, L->maxInsets);
      t << ", \"heights\": [";
      for (const HeightNode* h = L->heights; h; h = h->next) {
        if (h != L->heights) t << ", ";
        putJsonFloat(t, h->value);
      }
      t << "]}";
    }
    t << "],\n \"warnings\": [";
    for (size_t w = 0; w < r.warnings.size(); w++) {
      if (w) t << ", ";
      jsonString(t, r.warnings[w]);
    }
    t << "]}\n";
  }
  return out;
}

std::string infoText(const LoadedMap& map) {
  const LoadReport& r = map.rep;
  std::string out;
  out.reserve(map.store.bytes);
  std::vector<int> parent = parentIndexes(map.lat);
  Text t(out);
  t << "records " << r.recordCount << ", types " << r.typeCount << ", extra entries "
    << r.extraCount << ", strings " << r.stringCount << ", LandFrameStore count " << r.nlat << '\n';
  int i = 0;
  for (const Lattice* L = map.lat; L; L = L->next, i++) {
    const ListLengths& len = r.lengths[size_t(i)];
    t << "lattice " << i << ": id " << L->id << (L->id ? ", at " : " (not drawn), at ");
    t << triple(&L->x);
    t << ", rotation ";
    t << triple(&L->rx);
    t << ", " << L->nx << " x " << L->ny << " x " << L->nz << " cells of ";
    t << triple(&L->sx);
    t << ", " << len.heights << " heights, " << len.minInsets << '/' << len.maxInsets << " insets, "
      << L->refCount << " refs, ";
    if (parent[size_t(i)] >= 0)
      t << "parent " << parent[size_t(i)];
    else
      t << "no parent";
    t << '\n';
  }
  t.flush();
  return out;
}
