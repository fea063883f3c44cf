// The viewer's scene: the map loaded at start-up, loaded again when it changes or on F5, or
// replaced by a dropped file, and the geometry built from it for the frames.
#include "scene.h"
#include "compare.h"
#include "edit.h"
#include "flight.h"
#include "measure.h"
#include "merge.h"
#include "views.h"

#include "selection.h"

#include "mapfile/reader.h"
#include "platform/gl.h"
#include "platform/system.h"
#include "render/frame.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

namespace {

std::string prefixed(const std::string& name, const std::string& text) {
  return std::string(programName) + ": " + (name.empty() ? "" : name + ": ") + text;
}

// Allocates a root into `lat` and loads the map into it from `store`, with its records' list
// lengths into `lengths`; warnings are said. The reason, when it did not load, is "not a map:
// ..." or what failed. A map the viewer was not
// started with (a reload, a drop) must be a regular file: a named pipe swapped in would stop
// the viewer until something wrote to it.
bool loadInto(Viewer& v, const std::string& name, MapStore& store, Lattice*& lat,
              std::vector<ListLengths>& lengths, std::string& why, bool regularOnly = false) {
  store.limit = v.start.storeLimit;
  LoadReport rep;
  try {
    lat = newLattice(store);
    if (!regularOnly) {
      rep = loadLandFrames(name.c_str(), lat, store);
    } else if (std::FILE* f = openRegularFile(name, rep.error)) {
      rep = loadLandFramesFromStream(f, lat, store);
      std::fclose(f);
    }
  } catch (const std::bad_alloc&) {
    lat = nullptr;
    rep.status = LoadStatus::outOfMemory;
    rep.error = "out of memory";
  }
  for (const std::string& w : rep.warnings) sayWarning(v, prefixed(name, "warning: " + w));
  why = (rep.status == LoadStatus::notMap ? "not a map: " : "") + rep.error;
  lengths = std::move(rep.lengths);
  return rep.status == LoadStatus::loaded;
}

// Bytes the retained arrays may take here, saying when the setting was not understood.
size_t budgetHere(Viewer& v) {
  std::string warning;
  size_t budget = geometryBudgetFromEnv(physicalMemory(), warning);
  if (!warning.empty()) sayWarning(v, prefixed("", "warning: " + warning));
  return budget;
}

// A map loaded in place of the scene's, not yet swapped in.
struct Replacement {
  std::unique_ptr<MapStore> store = std::make_unique<MapStore>();
  Lattice* lat = nullptr;
  std::vector<ListLengths> lengths;
  FileStamp before;      // the file when the load began
  FileIdentity opened;   // what the name stood for then
  bool changing = false; // the file changed while it was read
};

// Loads `name` for `verb` ("reloaded" or "opened"). False when there is nothing to swap in:
// the file changed while it was read (it is tried again once it settles), or the load failed
// (said once on stderr; the scene stays).
bool loadReplacement(Viewer& v, const std::string& name, const char* verb, Replacement& r) {
  r.before = fileStamp(name);
  r.opened = fileIdentity(name);
  std::string why;
  bool ok = loadInto(v, name, *r.store, r.lat, r.lengths, why, true);
  r.changing = !(fileStamp(name) == r.before);
  if (r.changing) {
    sayWarning(v, prefixed(name, "changed while it was read; loading it again once it settles"));
    return false;
  }
  if (!ok) sayWarning(v, prefixed(name, std::string("not ") + verb + ": " + why));
  return ok;
}

// Says, once for a map, how many lattices are past the frame's triangle budget.
void warnBoxes(Viewer& v, const std::string& name) {
  if (v.scene.boxes)
    sayWarning(v, prefixed(name, "warning: " + std::to_string(v.scene.boxes) + " of " +
                                     std::to_string(v.scene.lattices.size()) +
                                     " lattices are past the " +
                                     std::to_string(v.start.frameTriangles) +
                                     " triangles a frame may take and are drawn as their "
                                     "bounding boxes"));
}

// Puts the loaded map in place of the scene's and says so; the old map goes with `r`.
void swapIn(Viewer& v, const std::string& name, const char* verb, Replacement& r) {
  if (!v.merge.out.empty()) say(v, "left the merge into " + v.merge.out);
  v.merge = MergeView{};          // another map: the merge's conflicts are not its
  v.folderAt = v.folderCount = 0; // stepFolder says where the map is among its folder's
  std::swap(v.store, r.store);
  v.lat = r.lat;
  v.lengths = std::move(r.lengths);
  forgetEdits(v); // they were values of the map that goes
  v.opened = r.opened;
  v.vs.farPlane = 0; // a map loaded again or anew: the plain view until Home fits it
  buildScene(v);
  warnBoxes(v, name);
  say(v, std::string(verb) + " " + name + ": " + std::to_string(drawnCount(v.lat)) + " lattices");
  watchFile(v.watch, name, r.before, GetTickCount());
}

} // namespace

bool readFirstWord(const char* path, std::string& word, std::string& err) {
  std::FILE* f = std::fopen(path, "r");
  if (!f) {
    err = std::strerror(errno);
    return false;
  }
  word.clear();
  int c;
  while ((c = std::fgetc(f)) != EOF && std::isspace(c)) {
  }
  for (; c != EOF && !std::isspace(c); c = std::fgetc(f)) word += char(c);
  std::fclose(f);
  if (word.empty()) err = "holds no map file name";
  return !word.empty();
}

void buildScene(Viewer& v) {
  v.redraw = true;
  size_t budget = budgetHere(v);
  buildRetained(v.lat, v.vs, budget, v.scene, v.start.frameTriangles);
  resetBounds(v.bounds, v.lat, v.start.frameTriangles);
  hideLattices(v.scene, v.hidden);
  uploadRetained(v.scene, glProc);
  v.maps++;
  v.gridFor = nullptr; // the lattices are new
  size_t past = 0;
  v.triangles = 0;
  for (const RetainedLattice& r : v.scene.lattices) {
    past += !r.arrays;
    v.triangles += r.box ? boxTriangles : faceTriangles(r.L);
  }
  if (past && budget)
    sayWarning(v, prefixed("", "warning: " + std::to_string(past) + " of " +
                                   std::to_string(v.scene.lattices.size()) +
                                   " lattices are past the " + std::to_string(budget >> 20) +
                                   " MB the geometry may take (KELVANE_GEOMETRY_MB) and are "
                                   "drawn triangle by triangle, more slowly"));
  compareScene(v);
  mergeScene(v);
}

namespace {

// What a command line that names no file most likely meant ("" when nothing is likely):
// "--compare OLD" without NEW, or two maps meant to be compared.
std::string likelyIntent(const std::string& line) {
  if (line.rfind("--compare", 0) == 0) return "--compare needs two maps: OLD and NEW";
  std::vector<std::string> words;
  for (size_t i = 0; i < line.size();) {
    size_t end = line.find(' ', i);
    if (end == std::string::npos) end = line.size();
    if (end > i) words.push_back(line.substr(i, end - i));
    i = end + 1;
  }
  if (words.size() < 2) return "";
  for (const std::string& w : words)
    if (!fileIdentity(w).regular) return "";
  return "to compare two maps: kelvane-viewer --compare OLD NEW";
}

// Loads the map the viewer starts with (and with --compare the old map) into `store`; false
// after saying why it does not open, in the box users of the viewer know and on stderr. A
// whole command line that names no file adds what it most likely meant.
bool loadStart(Viewer& v, const std::string& name, MapStore& store, Lattice*& lat,
               std::vector<ListLengths>& lengths, bool wholeLine = false) {
  std::string why;
  if (loadInto(v, name, store, lat, lengths, why)) return true;
  std::string text = name + ": " + why;
  std::fprintf(stderr, "%s: %s\n", programName, text.c_str());
  std::string intent = wholeLine && !fileIdentity(name).exists ? likelyIntent(name) : "";
  if (!intent.empty()) {
    std::fprintf(stderr, "%s: %s\n", programName, intent.c_str());
    text += "\n" + intent;
  }
  MessageBoxA(nullptr, text.c_str(), "Error opening file.", MB_OK | MB_ICONEXCLAMATION);
  return false;
}

// --merge BASE OURS THEIRS OUT: the merged map is shown as the map of OUT, unsaved until Ctrl+S
// writes it there (unless OUT holds it already).
bool openMerge(Viewer& v, const std::string names[4]) {
  LoadedMap sides[3];
  std::string bytes, err, text;
  for (int k = 0; k < 3 && text.empty(); k++) {
    sides[k].store.limit = v.start.storeLimit;
    loadMap(names[k], sides[k]);
    const LoadReport& rep = sides[k].rep;
    for (const std::string& w : rep.warnings) sayWarning(v, prefixed(names[k], "warning: " + w));
    if (rep.status != LoadStatus::loaded)
      text = names[k] + ": " + (rep.status == LoadStatus::notMap ? "not a map: " : "") + rep.error;
  }
  if (text.empty() && !startMerge(v, names, sides, bytes, err)) text = names[3] + ": " + err;
  Lattice* lat = nullptr;
  LoadReport rep;
  if (text.empty()) {
    v.store->limit = v.start.storeLimit;
    lat = newLattice(*v.store);
    rep = loadLandFramesFromMemory(reinterpret_cast<const unsigned char*>(bytes.data()),
                                   bytes.size(), lat, *v.store);
    if (rep.status != LoadStatus::loaded) text = names[3] + ": " + rep.error;
  }
  if (!text.empty()) {
    std::fprintf(stderr, "%s: %s\n", programName, text.c_str());
    MessageBoxA(nullptr, text.c_str(), "Error opening file.", MB_OK | MB_ICONEXCLAMATION);
    return false;
  }
  v.lat = lat;
  v.lengths = std::move(rep.lengths);
  MergeView& m = v.merge;
  std::string why;
  if (std::FILE* f = openRegularFile(m.out, why)) {
    char buf[1 << 16];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) m.outAtStart.append(buf, n);
    std::fclose(f);
  }
  v.opened = fileIdentity(m.out);
  v.watch.name = m.out;
  if (m.outAtStart != bytes) v.edits.saved = SIZE_MAX; // OUT lacks the result until Ctrl+S
  buildScene(v);
  warnBoxes(v, m.out);
  showTitle(v);
  size_t open = m.conflicts.size();
  say(v,
      "merged " + names[1] + " and " + names[2] + " into " + m.out + ": " +
          (open ? std::to_string(open) + " conflict(s): N goes to each, Alt+O or Alt+T takes ours "
                                         "or theirs, Ctrl+S saves"
                : "no conflicts; Ctrl+S saves"));
  return true;
}

} // namespace

bool openStartMap(Viewer& v, const char* cmdLine) {
  std::string name = cmdLine, why, old, now, merged[4];
  if (mergeNames(cmdLine, merged)) return openMerge(v, merged);
  bool compared = compareNames(cmdLine, old, now);
  if (compared) {
    name = now;
    Comparison& c = v.compare;
    FileStamp stamp = fileStamp(old);
    if (!loadStart(v, old, *c.store, c.lat, c.lengths)) return false;
    c.name = old;
    watchFile(c.watch, old, stamp, GetTickCount());
  } else {
    stripQuotes(name.data()); // one file name, every double quote removed
    name.resize(std::strlen(name.c_str()));
  }
  if (name.empty() && !readFirstWord("infile.txt", name, why)) {
    // A start from a menu: the start screen says how to open a map (in the window; why there
    // is none goes to the terminal only).
    std::fprintf(stderr, "%s\n",
                 prefixed("", "no map named on the command line, and infile.txt: " + why).c_str());
    return true;
  }
  FileStamp stamp = fileStamp(name);
  v.opened = fileIdentity(name);
  if (!loadStart(v, name, *v.store, v.lat, v.lengths, !compared)) return false;
  buildScene(v);
  warnBoxes(v, name);
  watchFile(v.watch, name, stamp, GetTickCount());
  return true;
}

void reloadMap(Viewer& v) {
  std::string name = v.watch.name;
  Replacement r;
  if (!loadReplacement(v, name, "reloaded", r)) {
    // A failure is said once for this change; a file still changing is looked at again.
    if (!r.changing) watchFile(v.watch, name, r.before, GetTickCount());
    return;
  }
  bool keep = drawnOrdinal(r.lat, v.selected) >= 0;
  if (!keep) selectLattice(v, -1);
  // Lattices hidden stay hidden where the new map still has them.
  size_t n = size_t(latticeCount(r.lat));
  if (v.hidden.size() > n) v.hidden.resize(n);
  swapIn(v, name, "reloaded", r);
  if (keep) // the same index stays selected; its ordinal may differ
    v.trot[Trot::selectedLattice] = float(drawnOrdinal(v.lat, v.selected));
}

void reloadOldMap(Viewer& v) {
  Comparison& c = v.compare;
  Replacement r;
  if (!loadReplacement(v, c.name, "reloaded", r)) {
    if (!r.changing) watchFile(c.watch, c.name, r.before, GetTickCount());
    return;
  }
  std::swap(c.store, r.store);
  c.lat = r.lat;
  c.lengths = std::move(r.lengths);
  compareScene(v);
  say(v, "reloaded " + c.name + ": " + std::to_string(drawnCount(c.lat)) + " lattices");
  watchFile(c.watch, c.name, r.before, GetTickCount());
}

void openDroppedMap(Viewer& v, const std::string& name, bool settled) {
  v.dropped = Watch{}; // this drop is the one that counts
  if (!settled && !settleEdits(v)) return;
  Replacement r;
  if (!loadReplacement(v, name, "opened", r)) {
    if (r.changing) watchFile(v.dropped, name, FileStamp{}, GetTickCount());
    return;
  }
  selectLattice(v, -1);
  clearMeasurement(v);
  v.hidden.clear();
  if (!v.lat) v.overlay.help = false; // F1 on the start screen hid the help it showed
  for (int i = 0; i < Trot::size; i++) v.trot[i] = i < 5 ? v.start.camera[i] : 0.0f;
  swapIn(v, name, "opened", r);
}

void openChosenMap(Viewer& v) {
  if (!settleEdits(v)) return;
  char path[4096] = "";
  OPENFILENAMEA ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = v.hWnd;
  ofn.lpstrFilter = "Kelvane maps (*.map)\0*.map\0All files\0*.*\0";
  ofn.lpstrFile = path;
  ofn.nMaxFile = sizeof path;
  ofn.lpstrTitle = "Open a map";
  ofn.Flags = OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST | OFN_NOCHANGEDIR;
  if (GetOpenFileNameA(&ofn)) {
    openDroppedMap(v, path, true);
    return;
  }
  if (CommDlgExtendedError()) // not a cancel: no dialog could be shown
    sayWarning(v, std::string(programName) +
                      ": no open dialog could be shown; drop a map file on the window, or "
                      "start kelvane-viewer MAP");
}

std::vector<std::string> folderMaps(const std::string& name) {
  namespace fs = std::filesystem;
  std::vector<std::string> maps;
  std::error_code ec;
  fs::path dir = fs::path(name).parent_path();
  for (const fs::directory_entry& e : fs::directory_iterator(dir.empty() ? "." : dir, ec)) {
    std::string ext = e.path().extension().string();
    for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
    if (ext == ".map" && e.is_regular_file(ec))
      maps.push_back(dir.empty() ? e.path().filename().string() : e.path().string());
  }
  std::sort(maps.begin(), maps.end());
  return maps;
}

void stepFolder(Viewer& v, int dir) {
  if (!v.lat || v.watch.name.empty()) {
    say(v, "Ctrl+PageDown and Ctrl+PageUp open the next and previous map of the open map's "
           "folder");
    return;
  }
  std::vector<std::string> maps = folderMaps(v.watch.name);
  std::string mine = std::filesystem::path(v.watch.name).filename().string();
  int n = int(maps.size()), at = -1;
  for (int k = 0; k < n && at < 0; k++)
    if (std::filesystem::path(maps[size_t(k)]).filename() == mine) at = k;
  if (n - (at >= 0) < 1) {
    say(v, "no other map file (*.map) in the folder of " + v.watch.name);
    return;
  }
  if (!settleEdits(v)) return;
  // From a map the folder does not list (another extension), the first or the last is next.
  int from = at >= 0 ? at : (dir > 0 ? -1 : n);
  for (int k = 1; k <= n; k++) {
    int i = ((from + dir * k) % n + n) % n;
    if (i == at) break;
    Replacement r;
    if (!loadReplacement(v, maps[size_t(i)], "opened", r)) continue;
    selectLattice(v, -1);
    clearMeasurement(v);
    v.hidden.clear();
    float kept = v.vs.farPlane; // the view goes on as it was, its far plane too
    swapIn(v, maps[size_t(i)], "opened", r);
    v.vs.farPlane = kept;
    v.folderAt = i + 1;
    v.folderCount = n;
    say(v, maps[size_t(i)] + " is map " + std::to_string(i + 1) + " of " + std::to_string(n) +
               " in its folder");
    showTitle(v);
    return;
  }
  say(v, "no other map of the folder of " + v.watch.name + " loads");
}

void watchCommand(Viewer& v) {
  DWORD now = GetTickCount();
  if (watchDue(v.dropped, now) && watchLooked(v.dropped, fileStamp(v.dropped.name), now)) {
    std::string name = v.dropped.name; // openDroppedMap forgets the pending drop
    openDroppedMap(v, name);
  } else if (v.merge.out.empty() && watchDue(v.watch, now) && // a merge's OUT is its to write
             watchLooked(v.watch, fileStamp(v.watch.name), now)) {
    if (!unsavedEdits(v)) {
      reloadMap(v);
      return;
    }
    // Loading it would lose the edits: said once for this change, and the save asks first.
    sayWarning(v, std::string(programName) + ": " + v.watch.name +
                      " changed on disk; not loaded while edits are unsaved (Ctrl+S asks before "
                      "overwriting it)");
    watchFile(v.watch, v.watch.name, fileStamp(v.watch.name), now);
  } else if (!v.compare.name.empty() && watchDue(v.compare.watch, now) &&
             watchLooked(v.compare.watch, fileStamp(v.compare.name), now))
    reloadOldMap(v);
}

void dropCommand(Viewer& v, const MSG& msg) {
  if (msg.message != WM_DROPFILES) return;
  HDROP drop = reinterpret_cast<HDROP>(msg.wParam);
  std::vector<char> name(DragQueryFileA(drop, 0, nullptr, 0) + 1, '\0');
  if (DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0) > 0)
    DragQueryFileA(drop, 0, name.data(), UINT(name.size()));
  DragFinish(drop);
  if (name[0] && !openDroppedFlight(v, name.data())) openDroppedMap(v, name.data());
}

ViewDraw sceneView(Viewer& v) {
  ViewDraw d;
  frameProjection(v, d);
  d.trot = v.trot;
  d.vs = &v.vs;
  d.lat = v.lat;
  d.scene = &v.scene;
  addComparison(v, d);
  addMerge(v, d);
  return d;
}

void drawScene(Viewer& v) {
  drawView(sceneView(v));
}
