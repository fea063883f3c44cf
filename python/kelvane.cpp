// The Python module `kelvane`: maps read, edited and saved byte for byte, compared, patched,
// merged, drawn and exported through the same libraries as the `kelvane` command.
//
// A Map keeps the file's bytes once (its store). Every editable value is read from and written
// to those bytes, so a lattice's heights are a numpy view of them; the store's lattice records
// keep the values as opened. Work that reads lattice records (drawing, diff, export) exchanges
// the two first and back after (Current), so it sees the edits and nothing is copied.
#include "mapfile/diff.h"
#include "mapfile/merge.h"
#include "mapfile/reader.h"
#include "mapfile/save.h"
#include "platform/output.h"
#include "platform/system.h"
#include "render/camera_text.h"
#include "render/compare.h"
#include "render/orient.h"
#include "render/placement.h"
#include "render/world.h"
#include "tools/parse.h"
#include "tools/toolkit.h"

#include <png.h>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <memory>
#include <optional>

namespace py = pybind11;

namespace {

struct Map {
  LoadedMap m;
  // The list by index, each lattice's height and inset list lengths, and its parent's index:
  // made once, so that a lattice's values cost nothing to find.
  std::vector<Lattice*> list;
  std::vector<size_t> heights, minInsets, maxInsets;
  std::vector<int> parents;
  std::string path;    // the file it was opened from or saved to; "" for bytes
  FileIdentity opened; // what `path` stood for then
  int exchanged = 0;   // Current guards in force
};
using MapPtr = std::shared_ptr<Map>;

struct LatticeRef {
  MapPtr map;
  int index;
};

template <class N> size_t lengthOf(const N* n) {
  size_t k = 0;
  for (; n; n = n->next) k++;
  return k;
}

void indexMap(Map& map) {
  for (Lattice* L = map.m.lat; L; L = L->next) {
    map.list.push_back(L);
    map.heights.push_back(lengthOf(L->heights));
    map.minInsets.push_back(lengthOf(L->minInsets));
    map.maxInsets.push_back(lengthOf(L->maxInsets));
  }
  map.parents = parentIndexes(map.m.lat);
}

// Raised for input that is not a map; the message is the command's.
PyObject* notAMapError = nullptr;
// Raised by save when the file changed on disk since it was opened (force=True overwrites).
PyObject* changedOnDiskError = nullptr;

[[noreturn]] void raiseOs(int err, const std::string& text, const std::string& file) {
  py::object e = py::module_::import("builtins").attr("OSError")(err ? err : EIO, text, file);
  PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(e.ptr())), e.ptr()); // FileNotFoundError, …
  throw py::error_already_set();
}

// Each editable float the file holds of lattice `i`: its byte offset and the record's value.
template <class F> void eachValue(Map& map, F&& f) {
  MapStore& s = map.m.store;
  size_t n = s.file.size(), i = 0;
  auto held = [&](uint64_t o) { return o && o <= n && n - o >= 4; };
  for (Lattice* L = map.m.lat; L && i < s.offsets.size(); L = L->next, i++) {
    const ValueOffsets& at = s.offsets[i];
    float* fixed[9] = {&L->x, &L->y, &L->z, &L->rx, &L->ry, &L->rz, &L->sx, &L->sy, &L->sz};
    for (int k = 0; k < at.fixedWhole; k++) f(at.fixed + 4 * uint64_t(k), fixed[k]);
    for (uint64_t o : {at.minInsets, at.maxInsets}) {
      InsetNode* node = o == at.minInsets ? L->minInsets : L->maxInsets;
      for (; node && held(o) && held(o + 4); node = node->next, o += 8) {
        f(o, &node->dx);
        f(o + 4, &node->dz);
      }
    }
    uint64_t o = at.heights;
    for (HeightNode* h = L->heights; h && held(o); h = h->next, o += 4) f(o, &h->value);
  }
}

// Swaps each editable float between the bytes and the records (only those that differ are
// written: an unedited map is only read).
void exchange(Map& map) {
  unsigned char* b = map.m.store.file.data();
  eachValue(map, [&](uint64_t o, float* v) {
    if (std::memcmp(b + o, v, 4) == 0) return;
    float t;
    std::memcpy(&t, b + o, 4);
    std::memcpy(b + o, v, 4);
    *v = t;
  });
}

// While it lives, the records hold the edited values (and the bytes the opened ones).
struct Current {
  Map& map;
  explicit Current(Map& m) : map(m) {
    if (map.exchanged++ == 0) exchange(map);
  }
  ~Current() {
    if (--map.exchanged == 0) exchange(map);
  }
  Current(const Current&) = delete;
  Current& operator=(const Current&) = delete;
};

// The records take the bytes' values: what is saved is what was opened from now on.
void adopt(Map& map) {
  const unsigned char* b = map.m.store.file.data();
  eachValue(map, [&](uint64_t o, float* v) { std::memcpy(v, b + o, 4); });
}

bool edited(Map& map) {
  const unsigned char* b = map.m.store.file.data();
  bool any = false;
  eachValue(map, [&](uint64_t o, float* v) { any = any || std::memcmp(b + o, v, 4) != 0; });
  return any;
}

// The current bytes of the map: the file as opened with every edit in it.
std::string currentBytes(Map& map) {
  const std::vector<unsigned char>& f = map.m.store.file;
  return std::string(f.begin(), f.end());
}

MapPtr fromBytes(const std::string& bytes, const std::string& name) {
  auto map = std::make_shared<Map>();
  loadMapBytes(bytes, map->m);
  if (map->m.rep.status == LoadStatus::notMap) {
    PyErr_SetString(notAMapError,
                    ("kelvane: " + name + ": not a map: " + map->m.rep.error).c_str());
    throw py::error_already_set();
  }
  if (map->m.rep.status == LoadStatus::outOfMemory) throw std::bad_alloc();
  if (map->m.rep.status != LoadStatus::loaded) raiseOs(EIO, map->m.rep.error, name);
  indexMap(*map);
  return map;
}

MapPtr openMap(const py::object& source) {
  if (py::isinstance<py::bytes>(source) || py::isinstance<py::bytearray>(source) ||
      py::isinstance<py::memoryview>(source))
    return fromBytes(py::bytes(source).cast<std::string>(), "<bytes>");
  std::string path = py::str(py::module_::import("os").attr("fsdecode")(source));
  std::FILE* f = std::fopen(path.c_str(), "rb"); // the errno of a file that does not open
  if (!f) raiseOs(errno, std::strerror(errno), path);
  std::fclose(f);
  auto map = std::make_shared<Map>();
  map->opened = fileIdentity(path);
  loadMap(path, map->m);
  const LoadReport& rep = map->m.rep;
  if (rep.status == LoadStatus::notMap) {
    PyErr_SetString(notAMapError, ("kelvane: " + path + ": not a map: " + rep.error).c_str());
    throw py::error_already_set();
  }
  if (rep.status == LoadStatus::outOfMemory) throw std::bad_alloc();
  if (rep.status != LoadStatus::loaded) raiseOs(EIO, rep.error, path);
  map->path = path;
  indexMap(*map);
  return map;
}

// A Map argument: a Map, or anything open() takes.
MapPtr mapArg(const py::object& o) {
  if (py::isinstance<Map>(o)) return o.cast<MapPtr>();
  return openMap(o);
}

py::object jsonLoads(const std::string& text) {
  return py::module_::import("json").attr("loads")(text);
}

Lattice* latticeOf(const LatticeRef& r) {
  return r.map->list[size_t(r.index)];
}
const ValueOffsets& offsetsOf(const LatticeRef& r) {
  return r.map->m.store.offsets[size_t(r.index)];
}

// Float `k` (0-8) of the lattice: from the bytes where the file holds it, else the record's.
float fixedValue(const LatticeRef& r, int k) {
  const ValueOffsets& at = offsetsOf(r);
  Lattice* L = latticeOf(r);
  float v = (&L->x)[k];
  if (k < at.fixedWhole && r.map->exchanged == 0)
    std::memcpy(&v, r.map->m.store.file.data() + at.fixed + 4 * k, 4);
  return v;
}

py::tuple triple(const LatticeRef& r, int from) {
  return py::make_tuple(fixedValue(r, from), fixedValue(r, from + 1), fixedValue(r, from + 2));
}

void setTriple(const LatticeRef& r, int from, const std::vector<double>& v, const char* what) {
  if (v.size() != 3)
    throw py::value_error(std::string(what) + ": three numbers, not " + std::to_string(v.size()));
  const ValueOffsets& at = offsetsOf(r);
  for (int k = 0; k < 3; k++) {
    float f = float(v[size_t(k)]);
    if (!std::isfinite(f))
      throw py::value_error("lattice " + std::to_string(r.index) + " " + what + ": " +
                            std::to_string(v[size_t(k)]) + " is not a finite float");
    if (from + k >= at.fixedWhole)
      throw py::value_error("lattice " + std::to_string(r.index) + " " + what +
                            ": the file ends inside it, so the change could not be saved");
  }
  for (int k = 0; k < 3; k++) {
    float f = float(v[size_t(k)]);
    std::memcpy(r.map->m.store.file.data() + at.fixed + 4 * (from + k), &f, 4);
  }
}

// A writable little-endian float32 view of `count` floats of the map's bytes from `at`, kept
// alive by (and keeping alive) the map; `pairs` shapes it n x 2.
py::array bytesView(const LatticeRef& r, uint64_t at, size_t count, bool pairs) {
  std::vector<unsigned char>& f = r.map->m.store.file;
  size_t n = f.size();
  size_t whole = at && at <= n ? (n - at) / 4 : 0;
  count = std::min(count, whole);
  if (pairs) count -= count % 2;
  static unsigned char none[8];
  unsigned char* p = count ? f.data() + at : none;
  py::object owner = py::cast(r.map);
  if (pairs)
    return py::array(py::dtype("<f4"), {py::ssize_t(count / 2), py::ssize_t(2)},
                     {py::ssize_t(8), py::ssize_t(4)}, p, owner);
  return py::array(py::dtype("<f4"), {py::ssize_t(count)}, {py::ssize_t(4)}, p, owner);
}

// Puts `values` (as many as the view holds) into view `to` of the bytes: `lat.heights += 1`
// assigns the array it changed in place, which is that view already.
void assignView(py::array to, const py::object& values, const char* what) {
  py::array from = py::array::ensure(values);
  if (!from) throw py::value_error(std::string(what) + ": an array of numbers");
  if (from.size() != to.size())
    throw py::value_error(std::string(what) + ": " + std::to_string(to.size()) +
                          " values (the file's), not " + std::to_string(from.size()));
  py::module_::import("numpy").attr("copyto")(to, from.attr("reshape")(to.attr("shape")),
                                              py::arg("casting") = "same_kind");
}

enum class List { heights, minInsets, maxInsets };

// The view of one of the lattice's lists: heights one a row, insets (dx, dz) a row.
py::array listView(const LatticeRef& r, List which) {
  const ValueOffsets& at = offsetsOf(r);
  size_t i = size_t(r.index);
  if (which == List::heights) return bytesView(r, at.heights, r.map->heights[i], false);
  if (which == List::minInsets) return bytesView(r, at.minInsets, 2 * r.map->minInsets[i], true);
  return bytesView(r, at.maxInsets, 2 * r.map->maxInsets[i], true);
}

// The camera of a render: None (where the viewer starts), five numbers, or "--camera ..." text.
void cameraArg(const py::object& camera, RenderJob& job) {
  if (camera.is_none()) return;
  if (py::isinstance<py::str>(camera)) {
    std::string text = camera.cast<std::string>(), err;
    if (text.rfind("--camera ", 0) == 0) text = text.substr(9);
    if (!parseCamera(text, job.cam, err)) throw py::value_error("camera: " + err);
    return;
  }
  std::vector<double> v = camera.cast<std::vector<double>>();
  if (v.size() != 5) throw py::value_error("camera: five numbers (tx, ty, tz, pitch, yaw)");
  for (int k = 0; k < 5; k++) job.cam.trot[k] = float(v[size_t(k)]);
}

py::array_t<uint8_t> renderArray(Map& map, RenderJob& job, const std::string& name) {
  std::vector<unsigned char> rgb;
  std::string err;
  if (!renderRgb(map.m.lat, job, rgb, err)) throw std::runtime_error("kelvane: render: " + err);
  py::array_t<uint8_t> out({job.height, job.width, 3});
  std::memcpy(out.mutable_data(), rgb.data(), rgb.size());
  (void)name;
  return out;
}

py::array_t<uint8_t> render(const MapPtr& map, const py::object& camera, std::pair<int, int> size,
                            bool fit, std::optional<double> ortho, std::optional<double> section,
                            std::optional<int> select, const std::vector<int>& hide,
                            const py::object& compare) {
  RenderJob job;
  if (size.first < 1 || size.second < 1 || size.first > 16384 || size.second > 16384)
    throw py::value_error("size: 1 to 16384 pixels each way");
  job.width = size.first;
  job.height = size.second;
  if (fit && camera.is_none()) { // --fit keeps the command's default pitch and yaw
    job.cam.trot[Trot::pitch] = 30;
    job.cam.trot[Trot::yaw] = -45;
  }
  cameraArg(camera, job);
  if (ortho) {
    if (!(*ortho > 0) || !std::isfinite(*ortho))
      throw py::value_error("ortho: a half-height above 0");
    job.ortho = float(*ortho);
  }
  if (section) {
    if (!std::isfinite(*section)) throw py::value_error("section: a finite height");
    job.cut.keeps = SectionKeeps::below;
    job.cut.y = float(*section);
  }
  job.select = select.value_or(-1);
  job.hidden = hide;
  std::sort(job.hidden.begin(), job.hidden.end());
  job.hidden.erase(std::unique(job.hidden.begin(), job.hidden.end()), job.hidden.end());
  job.grid = false;
  MapPtr old;
  std::optional<Current> oldNow;
  MapDiff diff;
  Current now(*map);
  std::string err;
  if (!checkRenderLattices(map->m.lat, job, err)) throw py::value_error(err);
  if (!compare.is_none()) {
    old = mapArg(compare);
    if (old != map) oldNow.emplace(*old);
    diff = diffMaps(old->m, map->m);
    job.old = old->m.lat;
    job.diff = &diff;
  }
  std::vector<std::string> said;
  if (fit) fitRender(map->path, map->m.lat, job, said);
  clampCut(map->m.lat, job);
  std::string warning;
  job.budget = renderBudget(warning);
  return renderArray(*map, job, map->path);
}

py::array_t<uint8_t> thumbnail(const MapPtr& map, int size) {
  if (size < 16 || size > 1024) throw py::value_error("size: 16 to 1024 pixels");
  Current now(*map);
  RenderJob job;
  thumbnailJob(map->m.lat, size, job);
  std::string warning;
  job.budget = renderBudget(warning);
  return renderArray(*map, job, map->path);
}

void exportTo(const MapPtr& map, const py::object& pathArg) {
  std::string path = py::str(py::module_::import("os").attr("fsdecode")(pathArg));
  ExportFormat format;
  if (!formatOfName(path, format))
    throw py::value_error("export: " + path + ": the name must end in .obj, .glb or .gltf");
  Current now(*map);
  Output out;
  std::string err;
  errno = 0;
  if (!openOutput(path, out, err)) raiseOs(errno, err, path);
  ExportCounts counts;
  bool ok = exportMap(map->m.lat, map->path.empty() ? "<bytes>" : map->path, format, out.f, false,
                      counts, err);
  if (!commitOutput(out, ok, err)) raiseOs(errno, err, path);
}

// Every drawn lattice's triangles as export writes them: corners (n x 3 x 3), greys (n) and
// the list index of each one's lattice (n); in each lattice's own frame with `local`.
py::tuple triangles(const MapPtr& map, bool local) {
  Current now(*map);
  const ViewerState vs;
  std::vector<Matrix> placements = latticePlacements(map->m.lat, vs);
  std::vector<float> corners, greys;
  std::vector<int32_t> owners;
  PlacedLattice p;
  int index = 0;
  for (const Lattice* L = map->m.lat; L; L = L->next, index++) {
    if (L->id == 0) continue;
    placeLattice(L, local ? identityMatrix() : placements[size_t(index)], vs, p);
    orientOutward(p.tris, p.m); // a placement turns and moves only: the same winding either way
    for (const Triangle& t : p.tris) {
      for (const auto& v : t.v) corners.insert(corners.end(), v, v + 3);
      greys.push_back(t.grey);
      owners.push_back(index);
    }
  }
  py::ssize_t n = py::ssize_t(greys.size());
  py::array_t<float> c({n, py::ssize_t(3), py::ssize_t(3)});
  py::array_t<float> g(n);
  py::array_t<int32_t> o(n);
  if (n) {
    std::memcpy(c.mutable_data(), corners.data(), corners.size() * 4);
    std::memcpy(g.mutable_data(), greys.data(), greys.size() * 4);
    std::memcpy(o.mutable_data(), owners.data(), owners.size() * 4);
  }
  return py::make_tuple(c, g, o);
}

void save(const MapPtr& map, const py::object& pathArg, bool force) {
  std::string path =
      pathArg.is_none() ? map->path
                        : std::string(py::str(py::module_::import("os").attr("fsdecode")(pathArg)));
  if (path.empty()) throw py::value_error("save: the map came from bytes: give it a path");
  std::string err, note;
  std::string bytes = currentBytes(*map);
  if (path == map->path) {
    if (!saveTargetAllowed(path, map->opened, err)) raiseOs(EPERM, "not saved: " + err, path);
    std::string disk;
    if (std::FILE* f = openRegularFile(path, err)) {
      char b[1 << 16];
      for (size_t n; (n = std::fread(b, 1, sizeof b, f)) > 0;) disk.append(b, n);
      std::fclose(f);
    }
    bool same;
    {
      Current now(*map); // the bytes as opened
      const std::vector<unsigned char>& o = map->m.store.file;
      same =
          disk.size() == o.size() && (o.empty() || !std::memcmp(disk.data(), o.data(), o.size()));
    }
    if (!same && !force) {
      PyErr_SetString(changedOnDiskError,
                      ("kelvane: " + path +
                       ": not saved: it changed on disk since it was opened (save(force=True) "
                       "overwrites it)")
                          .c_str());
      throw py::error_already_set();
    }
    errno = 0;
    if (!writeFile(path, bytes, err, OutputMode::save, &map->opened, &note))
      raiseOs(errno, "not saved: " + err, path);
  } else {
    errno = 0;
    if (!writeFile(path, bytes, err)) raiseOs(errno, "not saved: " + err, path);
  }
  map->path = path;
  map->opened = fileIdentity(path);
  adopt(*map);
}

py::tuple merge(const py::object& a, const py::object& b, const py::object& c) {
  MapPtr in[3] = {mapArg(a), mapArg(b), mapArg(c)};
  LoadedMap copies[3]; // merging writes into the sides' records
  for (int k = 0; k < 3; k++) {
    loadMapBytes(currentBytes(*in[k]), copies[k]);
  }
  MergeResult r = mergeMaps(copies[0], copies[1], copies[2]);
  if (r.dropped)
    throw py::value_error(std::to_string(r.dropped) +
                          " merged value(s) lie where the map's file has ended");
  return py::make_tuple(fromBytes(r.bytes, "<merge>"), jsonLoads(conflictsJson(r.conflicts)));
}

MapPtr patch(const py::object& m, const py::object& changes) {
  MapPtr map = mapArg(m);
  std::string text = py::isinstance<py::str>(changes)
                         ? changes.cast<std::string>()
                         : py::module_::import("json").attr("dumps")(changes).cast<std::string>();
  MapPtr out = fromBytes(currentBytes(*map), "<patch>");
  std::string err;
  if (!patchMap(out->m, text, err)) throw py::value_error("patch: " + err);
  exchange(*out); // the patched values into the bytes; the records keep the map as it was
  return out;
}

// A PNG file's pixels, H x W x 3 (grey and alpha made RGB), through libpng.
py::array_t<uint8_t> readPng(const py::object& pathArg) {
  std::string path = py::str(py::module_::import("os").attr("fsdecode")(pathArg));
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) raiseOs(errno, std::strerror(errno), path);
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  bool ok = png_image_begin_read_from_stdio(&image, f);
  std::vector<unsigned char> rgb;
  if (ok) {
    image.format = PNG_FORMAT_RGB;
    rgb.resize(PNG_IMAGE_SIZE(image));
    ok = png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr);
  }
  std::string why = image.message;
  png_image_free(&image);
  std::fclose(f);
  if (!ok) throw py::value_error("kelvane: " + path + ": not a PNG picture (" + why + ")");
  py::array_t<uint8_t> out({py::ssize_t(image.height), py::ssize_t(image.width), py::ssize_t(3)});
  std::memcpy(out.mutable_data(), rgb.data(), rgb.size());
  return out;
}

// Writes H x W x 3 uint8 pixels as a PNG file, never half-written.
void writePng(const py::object& pathArg, const py::array_t<uint8_t, py::array::c_style>& px) {
  std::string path = py::str(py::module_::import("os").attr("fsdecode")(pathArg));
  if (px.ndim() != 3 || px.shape(2) != 3 || px.shape(0) < 1 || px.shape(1) < 1)
    throw py::value_error("write_png: pixels must be H x W x 3 uint8");
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = png_uint_32(px.shape(1));
  image.height = png_uint_32(px.shape(0));
  image.format = PNG_FORMAT_RGB;
  Output out;
  std::string err;
  errno = 0;
  if (!openOutput(path, out, err)) raiseOs(errno, err, path);
  bool ok = png_image_write_to_stdio(&image, out.f, 0, px.data(), 0, nullptr);
  if (!ok) err = image.message;
  png_image_free(&image);
  if (!commitOutput(out, ok, err)) raiseOs(errno, err, path);
}

} // namespace

PYBIND11_MODULE(kelvane, mod) {
  mod.doc() = "Kelvane map files from Python: read, edit and save byte for byte, diff, patch, "
              "merge, render, export.";
  notAMapError = PyErr_NewExceptionWithDoc("kelvane.NotAMapError",
                                           "The input is not a map (the message says why).",
                                           PyExc_ValueError, nullptr);
  mod.attr("NotAMapError") = py::handle(notAMapError);
  changedOnDiskError = PyErr_NewExceptionWithDoc(
      "kelvane.ChangedOnDiskError",
      "save() found the file changed on disk since it was opened; save(force=True) overwrites.",
      PyExc_OSError, nullptr);
  mod.attr("ChangedOnDiskError") = py::handle(changedOnDiskError);
  mod.attr("__version__") = KELVANE_VERSION;

  py::class_<LatticeRef>(mod, "Lattice", "One lattice of a map, by its place in the list.")
      .def_property_readonly("index", [](const LatticeRef& r) { return r.index; })
      .def_property_readonly("id", [](const LatticeRef& r) { return latticeOf(r)->id; })
      .def_property(
          "position", [](const LatticeRef& r) { return triple(r, 0); },
          [](const LatticeRef& r, const std::vector<double>& v) { setTriple(r, 0, v, "position"); },
          "(x, y, z) in the parent's frame; setting it is an edit")
      .def_property(
          "rotation", [](const LatticeRef& r) { return triple(r, 3); },
          [](const LatticeRef& r, const std::vector<double>& v) { setTriple(r, 3, v, "rotation"); },
          "(rx, ry, rz) in radians; setting it is an edit")
      .def_property(
          "cell_size", [](const LatticeRef& r) { return triple(r, 6); },
          [](const LatticeRef& r, const std::vector<double>& v) {
            setTriple(r, 6, v, "cell size");
          },
          "(sx, sy, sz); setting it is an edit")
      .def_property_readonly("cells",
                             [](const LatticeRef& r) {
                               Lattice* L = latticeOf(r);
                               return py::make_tuple(L->nx, L->ny, L->nz);
                             })
      .def_property_readonly("parent",
                             [](const LatticeRef& r) -> py::object {
                               int i = r.map->parents[size_t(r.index)];
                               return i < 0 ? py::object(py::none()) : py::int_(i);
                             })
      .def_property_readonly("children",
                             [](const LatticeRef& r) {
                               const std::vector<int>& p = r.map->parents;
                               std::vector<int> kids;
                               for (size_t k = 0; k < p.size(); k++)
                                 if (p[k] == r.index) kids.push_back(int(k));
                               return kids;
                             })
      .def_property(
          "heights", [](const LatticeRef& r) { return listView(r, List::heights); },
          [](const LatticeRef& r, const py::object& v) {
            assignView(listView(r, List::heights), v, "heights");
          },
          "The height list as the file stores it: a writable float32 view of the map's bytes")
      .def_property(
          "min_insets", [](const LatticeRef& r) { return listView(r, List::minInsets); },
          [](const LatticeRef& r, const py::object& v) {
            assignView(listView(r, List::minInsets), v, "min insets");
          },
          "The lower inset list, (dx, dz) a row: a writable float32 view of the map's bytes")
      .def_property(
          "max_insets", [](const LatticeRef& r) { return listView(r, List::maxInsets); },
          [](const LatticeRef& r, const py::object& v) {
            assignView(listView(r, List::maxInsets), v, "max insets");
          },
          "The upper inset list, (dx, dz) a row: a writable float32 view of the map's bytes")
      .def(
          "grid",
          [](const LatticeRef& r) {
            Lattice* L = latticeOf(r);
            py::array h = listView(r, List::heights);
            py::array_t<float> g({L->nz + 1, L->nx + 1});
            float* out = g.mutable_data();
            size_t samples = size_t(L->nx + 1) * size_t(L->nz + 1), have = size_t(h.size());
            const unsigned char* src = static_cast<const unsigned char*>(h.data());
            for (size_t m = 0; m < samples; m++) {
              out[m] = 0;
              if (m < have) std::memcpy(&out[m], src + 4 * m, 4);
            }
            return g;
          },
          "The (nz + 1) x (nx + 1) height grid the renderer reads (rows along z), 0 where the "
          "list is short; a copy")
      .def_property_readonly(
          "matrix",
          [](const LatticeRef& r) {
            Current now(*r.map);
            Matrix m = latticePlacements(r.map->m.lat, ViewerState{})[size_t(r.index)];
            py::array_t<double> a({4, 4});
            for (int row = 0; row < 4; row++)
              for (int col = 0; col < 4; col++) a.mutable_at(row, col) = m.m[col * 4 + row];
            return a;
          },
          "The lattice's placement in the world, a 4 x 4 matrix (row-major, points as columns)")
      .def("__repr__", [](const LatticeRef& r) {
        Lattice* L = latticeOf(r);
        return "<kelvane.Lattice " + std::to_string(r.index) + " id " + std::to_string(L->id) +
               ", " + std::to_string(L->nx) + " x " + std::to_string(L->ny) + " x " +
               std::to_string(L->nz) + " cells>";
      });

  py::class_<Map, MapPtr>(mod, "Map", "A map file's lattices, its bytes kept once.")
      .def_property_readonly(
          "lattices",
          [](const MapPtr& m) {
            std::vector<LatticeRef> all;
            int n = int(m->list.size());
            all.reserve(size_t(n));
            for (int i = 0; i < n; i++) all.push_back({m, i});
            return all;
          },
          "Every lattice of the list, in list order (the undrawn root with id 0 among them)")
      .def_property_readonly(
          "warnings", [](const MapPtr& m) { return m->m.rep.warnings; },
          "What the reader found damaged, as `kelvane info` says it")
      .def_property_readonly("path", [](const MapPtr& m) { return m->path; })
      .def_property_readonly(
          "edited", [](const MapPtr& m) { return edited(*m); },
          "Whether any value differs from the file as opened or last saved")
      .def(
          "info",
          [](const MapPtr& m) {
            Current now(*m);
            return jsonLoads(infoJson(m->m));
          },
          "What `kelvane info --json` prints, as dicts")
      .def("save", &save, py::arg("path") = py::none(), py::arg("force") = false,
           "Writes the map (atomic and durable: a temporary file, synced, renamed): the bytes "
           "opened with the edited floats only. Over its own file it refuses one changed on disk "
           "since it was opened unless force=True.")
      .def("render", &render, py::arg("camera") = py::none(),
           py::arg("size") = std::pair<int, int>(640, 480), py::arg("fit") = false,
           py::arg("ortho") = py::none(), py::arg("section") = py::none(),
           py::arg("select") = py::none(), py::arg("hide") = std::vector<int>{},
           py::arg("compare") = py::none(),
           "The picture `kelvane render` draws, as an H x W x 3 uint8 array (rows from the top)")
      .def("thumbnail", &thumbnail, py::arg("size") = 256,
           "The SIZE x SIZE picture `kelvane thumbnail` draws")
      .def("export", &exportTo, py::arg("path"),
           "Writes the map as OBJ, .glb or .gltf (by the name's ending), as `kelvane export`")
      .def("triangles", &triangles, py::arg("local") = false,
           "(corners n x 3 x 3, greys n, lattice n): every drawn triangle as export writes it, in "
           "the world or (local=True) in its lattice's own frame")
      .def("__repr__", [](const MapPtr& m) {
        return "<kelvane.Map " + (m->path.empty() ? std::string("from bytes") : m->path) + ", " +
               std::to_string(latticeCount(m->m.lat)) + " lattices>";
      });

  mod.def("open", &openMap, py::arg("source"),
          "Opens a map from a path or from bytes; NotAMapError when it is not one, OSError when "
          "it cannot be read");
  mod.def(
      "diff",
      [](const py::object& a, const py::object& b) {
        MapPtr x = mapArg(a), y = mapArg(b);
        Current cx(*x);
        std::optional<Current> cy;
        if (y != x) cy.emplace(*y);
        return jsonLoads(diffJson(x->m, y->m, diffMaps(x->m, y->m)));
      },
      py::arg("old"), py::arg("new"), "What `kelvane diff --json OLD NEW` prints, as dicts");
  mod.def("patch", &patch, py::arg("map"), py::arg("changes"),
          "A new Map: `map` with diff's changes (a dict or its JSON text) put in, as `kelvane "
          "patch`; ValueError naming a change that does not fit");
  mod.def("read_png", &readPng, py::arg("path"), "A PNG file's pixels as an H x W x 3 uint8 array");
  mod.def("write_png", &writePng, py::arg("path"), py::arg("pixels"),
          "Writes H x W x 3 uint8 pixels (as render returns them) as a PNG file");
  mod.def("merge", &merge, py::arg("base"), py::arg("ours"), py::arg("theirs"),
          "(Map, conflicts): the three-way merge `kelvane merge` makes, and what its --conflicts "
          "file holds");
}
