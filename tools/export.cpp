// `kelvane export`: every drawn lattice's triangles in world coordinates, each facing out of
// its lattice, streamed as Wavefront OBJ or glTF 2.0 (.glb, or .gltf with the buffer embedded).
// Lattices are placed, wound and formatted on the machine's cores and written in list order; a
// few lattices' output is held at a time, so memory does not grow with the map.
#include "toolkit.h"

#include "render/orient.h"
#include "render/placement.h"
#include "render/world.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>

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

// The threads an export runs on: one a core, up to eight.
unsigned exportThreads() {
  return std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
}

// Runs make(i, out) for i in [0, n) on the machine's cores and put(i, out) on the calling
// thread in order of i, holding at most a few results at once; put returning false stops the
// rest. An exception in make is thrown again from here, in its turn.
template <class Out, class Make, class Put> void inOrder(size_t n, Make make, Put put) {
  const unsigned threads = exportThreads();
  const size_t window = 2 * size_t(threads);
  struct Slot {
    Out out;
    std::exception_ptr failed;
    bool ready = false;
  };
  std::vector<Slot> slots(window);
  std::mutex mu;
  std::condition_variable cv;
  size_t next = 0, written = 0;
  bool stop = false;
  auto work = [&] {
    std::unique_lock<std::mutex> lock(mu);
    for (;;) {
      cv.wait(lock, [&] { return stop || next >= n || next < written + window; });
      if (stop || next >= n) return;
      size_t i = next++;
      lock.unlock();
      Slot got;
      try {
        make(i, got.out);
      } catch (...) {
        got.failed = std::current_exception();
      }
      got.ready = true;
      lock.lock();
      slots[i % window] = std::move(got);
      cv.notify_all();
    }
  };
  std::vector<std::thread> pool;
  for (unsigned t = 0; t < threads; t++) pool.emplace_back(work);
  std::exception_ptr failed;
  for (size_t i = 0; i < n && !failed; i++) {
    Slot got;
    {
      std::unique_lock<std::mutex> lock(mu);
      cv.wait(lock, [&] { return slots[i % window].ready; });
      got = std::move(slots[i % window]);
      slots[i % window] = Slot{};
      written++;
    }
    cv.notify_all();
    if (got.failed)
      failed = got.failed;
    else if (!put(i, got.out))
      break;
  }
  {
    std::lock_guard<std::mutex> lock(mu);
    stop = true;
  }
  cv.notify_all();
  for (std::thread& t : pool) t.join();
  if (failed) std::rethrow_exception(failed);
}

// Running totals of a count per lattice, for work that must know what the lattices before it
// added up to (an OBJ's vertex numbers): each lattice's count is given once, and a sum waits for
// the counts before it. Lattices are started in order, so every earlier one is under way.
struct RunningSums {
  std::mutex mu;
  std::condition_variable cv;
  std::vector<int64_t> counts, sums; // sums[k]: the counts of lattices 0 to k - 1
  size_t known = 0;                  // lattices whose sum is known, less one

  explicit RunningSums(size_t n) : counts(n, -1), sums(n + 1, 0) {}
  void give(size_t i, int64_t count) {
    std::lock_guard<std::mutex> lock(mu);
    if (counts[i] >= 0) return;
    counts[i] = count;
    for (; known < counts.size() && counts[known] >= 0; known++)
      sums[known + 1] = sums[known] + counts[known];
    cv.notify_all();
  }
  int64_t before(size_t i) {
    std::unique_lock<std::mutex> lock(mu);
    cv.wait(lock, [&] { return known >= i; });
    return sums[i];
  }
};

// The drawn lattices of the list from `lat`, with their list indices and placements.
struct DrawnLattice {
  const Lattice* L;
  int64_t index;
  Matrix m;
};
std::vector<DrawnLattice> drawnLattices(const Lattice* lat) {
  std::vector<Matrix> placements = latticePlacements(lat, ViewerState{});
  std::vector<DrawnLattice> out;
  int64_t index = 0;
  for (const Lattice* L = lat; L; L = L->next, index++)
    if (L->id) out.push_back({L, index, placements[size_t(index)]});
  return out;
}

// One slice of an export's output: its bytes and, for the first of a lattice, what the
// lattice adds to the counts.
struct Part {
  std::string bytes;
  int64_t triangles = 0, dropped = 0;
  bool first = false;
};

// Buffers written out, kept for the next parts: a buffer of megabytes made afresh for every
// slice would cost more in page faults than its formatting.
struct Spares {
  std::mutex mu;
  std::vector<std::string> list;

  std::string take() {
    std::lock_guard<std::mutex> lock(mu);
    if (list.empty()) return {};
    std::string s = std::move(list.back());
    list.pop_back();
    s.clear();
    return s;
  }
  void give(std::string&& s) {
    std::lock_guard<std::mutex> lock(mu);
    list.push_back(std::move(s));
  }
};

// Triangles [from, to) of a lattice's kept ones (fewer when fewer were kept), and for a .glb
// which of its runs: 0 positions, 1 normals, 2 colours.
struct Slice {
  size_t lattice, from, to;
  int run;
};

// At most this many triangles' output is formatted as one piece, so a large lattice's output
// is shared among the cores and a few megabytes are held at once.
constexpr size_t sliceTriangles = size_t(1) << 11;

// The slices of an export and the lattices they come from, each placed and wound once, and
// let go after its last slice. A thread that finds its lattice being placed by another places
// a later one meanwhile, so the placing, the heavy part, runs on every core.
struct Slicing {
  struct Shared {
    std::atomic<int> state{0}; // 0 not placed, 1 being placed, 2 placed, 3 failed
    std::exception_ptr failed;
    PlacedLattice p;
    std::atomic<size_t> left{0}; // slices not yet formatted
  };
  const std::vector<DrawnLattice>& drawn;
  std::vector<std::unique_ptr<Shared>> shared;
  std::vector<Slice> slices;
  RunningSums kept; // triangles kept per lattice
  Spares spares;
  std::mutex mu;
  std::condition_variable cv;
  unsigned live = 0; // lattices placed or being placed and not yet let go (under mu)

  Slicing(const std::vector<DrawnLattice>& d, int runs) : drawn(d), kept(d.size()) {
    for (size_t i = 0; i < drawn.size(); i++) {
      shared.push_back(std::make_unique<Shared>());
      size_t n = faceTriangles(drawn[i].L),
             k = std::max<size_t>(1, (n + sliceTriangles - 1) / sliceTriangles);
      for (int r = 0; r < runs; r++)
        for (size_t j = 0; j < k; j++)
          slices.push_back({i, j * sliceTriangles, (j + 1) * sliceTriangles, r});
      shared[i]->left = k * size_t(runs);
    }
  }
  // Places lattice i when no thread has begun it; false when one has. Ahead of need, only
  // while fewer than one lattice a thread is held; when needed, it waits for room for one more
  // (the lattices held are being formatted, and let go when that is done).
  bool place(size_t i, bool ahead) {
    Shared& sh = *shared[i];
    {
      std::unique_lock<std::mutex> lock(mu);
      if (ahead && live >= exportThreads()) return false;
      cv.wait(lock, [&] { return sh.state != 0 || live <= exportThreads(); });
      int idle = 0;
      if (!sh.state.compare_exchange_strong(idle, 1)) return false;
      live++;
    }
    int end = 2;
    try {
      placeLattice(drawn[i].L, drawn[i].m, ViewerState{}, sh.p);
      orientOutward(sh.p.tris, sh.p.m);
    } catch (...) {
      sh.failed = std::current_exception();
      end = 3;
    }
    kept.give(i, end == 2 ? int64_t(sh.p.tris.size()) : 0);
    {
      std::lock_guard<std::mutex> lock(mu);
      sh.state = end;
    }
    cv.notify_all();
    return true;
  }
  // The slice's lattice, placed and wound; `s` narrowed to the triangles kept.
  const PlacedLattice& placed(Slice& s) {
    Shared& sh = *shared[s.lattice];
    // Placing ahead holds at most one lattice a thread besides those being written.
    if (!place(s.lattice, false))
      for (size_t i = s.lattice + 1; sh.state == 1 && i < drawn.size(); i++) place(i, true);
    {
      std::unique_lock<std::mutex> lock(mu);
      cv.wait(lock, [&] { return sh.state >= 2; });
    }
    if (sh.state == 3) std::rethrow_exception(sh.failed);
    s.to = std::min(s.to, sh.p.tris.size());
    s.from = std::min(s.from, s.to);
    return sh.p;
  }
  void done(const Slice& s) {
    Shared& sh = *shared[s.lattice];
    if (--sh.left == 0) {
      sh.p = PlacedLattice{};
      {
        std::lock_guard<std::mutex> lock(mu);
        live--;
      }
      cv.notify_all();
    }
  }
  // Fills what the first slice of a lattice adds to the counts.
  void count(const Slice& s, Part& out) {
    const PlacedLattice& p = shared[s.lattice]->p;
    out.first = s.from == 0 && s.run == 0;
    if (out.first) {
      out.triangles = int64_t(p.tris.size());
      out.dropped = p.dropped;
    }
  }
};

// The shortest text of a float that reads back the same, through a direct-mapped cache of
// recent values: a lattice's corners share few distinct coordinates, each written by the six
// or so triangles around it, and its normals and greys repeat from triangle to triangle.
struct FloatTexts {
  struct Entry {
    uint32_t bits;
    uint8_t size = 0; // 0: empty
    char text[27];
  };
  static constexpr size_t slots = 4096;
  std::vector<Entry> entries = std::vector<Entry>(slots);

  std::string_view of(float v) {
    uint32_t b;
    std::memcpy(&b, &v, 4);
    Entry& e = entries[(b * 0x9E3779B1u) >> 20];
    if (!e.size || e.bits != b) {
      e.bits = b;
      e.size = uint8_t(std::to_chars(e.text, e.text + sizeof e.text, v).ptr - e.text);
    }
    return {e.text, e.size};
  }
};

char* putText(char* p, std::string_view s) {
  std::memcpy(p, s.data(), s.size());
  return p + s.size();
}

char* putInt(char* p, int64_t v) {
  return std::to_chars(p, p + 24, v).ptr;
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

// A slice of a lattice as OBJ: the lattice's object line when it is the first, then per
// triangle its three vertices (world corner, grey as colour), its normal and its face.
void formatObj(Slicing& sl, Slice s, Part& out) {
  const PlacedLattice& p = sl.placed(s);
  sl.count(s, out);
  const int64_t first = sl.kept.before(s.lattice) + int64_t(s.from);
  std::string& text = out.bytes;
  text = sl.spares.take();
  if (s.from == 0) text += "o lattice" + std::to_string(sl.drawn[s.lattice].index) + "\n";
  size_t at = text.size();
  text.resize(std::max(text.capacity(), at + 240 * (s.to - s.from) + 4096));
  thread_local FloatTexts texts;
  for (size_t i = s.from; i < s.to; i++) {
    const Triangle& t = p.tris[i];
    if (text.size() - at < 512) text.resize(2 * text.size());
    char* e = text.data() + at;
    for (const auto& v : t.v) { // world corner, then the grey three times as its colour
      *e++ = 'v';
      for (float c : {v[0], v[1], v[2], t.grey, t.grey, t.grey}) {
        *e++ = ' ';
        e = putText(e, texts.of(c));
      }
      *e++ = '\n';
    }
    float n[3];
    unitNormal(p, t, n);
    *e++ = 'v';
    *e++ = 'n';
    for (int a = 0; a < 3; a++) {
      *e++ = ' ';
      e = putText(e, texts.of(n[a]));
    }
    const int64_t k = first + int64_t(i - s.from) + 1, vertex = 3 * (k - 1);
    e = putText(e, "\nf ");
    for (int c = 1; c <= 3; c++) {
      e = putInt(e, vertex + c);
      e = putText(e, "//");
      e = putInt(e, k);
      *e++ = c < 3 ? ' ' : '\n';
    }
    at = size_t(e - text.data());
  }
  text.resize(at);
  sl.done(s);
}

bool writeObj(const Lattice* lat, const std::string& source, Sink& out, Progress& progress,
              ExportCounts& counts) {
  // The map's name stays one comment line whatever it holds.
  out.write("# Kelvane map export of " + escapeControls(source) + "\n");
  out.write("# v x y z r g b (world coordinates, grey as colour); vn: outward normal\n");
  std::vector<DrawnLattice> drawn = drawnLattices(lat);
  Slicing sl(drawn, 1);
  inOrder<Part>(
      sl.slices.size(), [&](size_t i, Part& part) { formatObj(sl, sl.slices[i], part); },
      [&](size_t i, Part& part) {
        const Slice& s = sl.slices[i];
        if (part.first) {
          counts.lattices++;
          counts.nonFinite += part.dropped;
          counts.triangles += part.triangles;
        }
        out.write(part.bytes);
        sl.spares.give(std::move(part.bytes));
        size_t cells = faceTriangles(drawn[s.lattice].L);
        progress.step(std::min(s.to, cells) - std::min(s.from, cells));
        return out.ok();
      });
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
std::vector<MeshInfo> measureMeshes(const std::vector<DrawnLattice>& drawn, ExportCounts& counts,
                                    Progress& progress) {
  struct Measured {
    MeshInfo m;
    int64_t dropped = 0;
  };
  std::vector<MeshInfo> meshes;
  inOrder<Measured>(
      drawn.size(),
      [&](size_t i, Measured& out) {
        // Each thread's own, made when it first passes here and freed when it ends.
        thread_local PlacedLattice p;
        // Winding changes no corner: counts and bounds need none.
        placeLattice(drawn[i].L, drawn[i].m, ViewerState{}, p);
        out.dropped = p.dropped;
        MeshInfo& m = out.m;
        m = {drawn[i].index, 3 * int64_t(p.tris.size()), {}, {}};
        if (p.tris.empty()) return;
        for (int a = 0; a < 3; a++) m.lo[a] = m.hi[a] = p.tris[0].v[0][a];
        for (const Triangle& t : p.tris)
          for (const auto& v : t.v)
            for (int a = 0; a < 3; a++) {
              m.lo[a] = std::min(m.lo[a], v[a]);
              m.hi[a] = std::max(m.hi[a], v[a]);
            }
      },
      [&](size_t i, Measured& out) {
        progress.step(faceTriangles(drawn[i].L));
        counts.lattices++;
        counts.nonFinite += out.dropped;
        counts.triangles += out.m.corners / 3;
        if (out.m.corners) meshes.push_back(out.m);
        return true;
      });
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
void streamMeshes(const std::vector<DrawnLattice>& drawn, BinaryOut& bin, Progress& progress) {
  Slicing sl(drawn, 3);
  inOrder<Part>(
      sl.slices.size(),
      [&](size_t i, Part& out) {
        Slice s = sl.slices[i];
        const PlacedLattice& p = sl.placed(s);
        out.bytes = sl.spares.take();
        out.bytes.resize((s.to - s.from) * 36);
        char* at = out.bytes.data();
        for (size_t k = s.from; k < s.to; k++, at += 36) {
          const Triangle& t = p.tris[k];
          float c[9];
          if (s.run == 0) {
            std::memcpy(at, t.v, 36);
            continue;
          }
          if (s.run == 1) {
            unitNormal(p, t, c);
            for (int r = 3; r < 9; r++) c[r] = c[r % 3];
          } else {
            std::fill(c, c + 9, t.grey);
          }
          std::memcpy(at, c, 36);
        }
        sl.done(s);
      },
      [&](size_t i, Part& out) {
        const Slice& s = sl.slices[i];
        if (s.run == 0) {
          size_t cells = faceTriangles(drawn[s.lattice].L);
          progress.step(std::min(s.to, cells) - std::min(s.from, cells));
        }
        bin.put(out.bytes.data(), out.bytes.size());
        sl.spares.give(std::move(out.bytes));
        return bin.out.ok();
      });
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
  std::vector<DrawnLattice> drawn = drawnLattices(lat);
  std::vector<MeshInfo> meshes = measureMeshes(drawn, counts, progress);
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
  streamMeshes(drawn, bin, progress);
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
