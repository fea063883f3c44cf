// `kelvane render` and `thumbnail`: their checks of the map against the options, --fit, and the
// pictures and flights they draw through the headless EGL context.
#include "command.h"

#include "mapfile/diff.h"
#include "mapfile/merge.h"
#include "platform/system.h"
#include "render/camera_text.h"
#include "render/compare.h"
#include "render/retained.h"
#include "render/view.h"
#include "render/world.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

// The bytes the retained arrays may take here, saying when the setting was not understood.
size_t renderBudget() {
  std::string warning;
  size_t budget = geometryBudgetFromEnv(physicalMemory(), warning);
  if (!warning.empty()) std::fprintf(stderr, "kelvane: warning: %s\n", warning.c_str());
  return budget;
}

// A fitted view `depth` units deep (to the farthest point it holds) reaches it: past the plain
// view's far plane, the job's is pushed out to hold it (fittedFar). A --far beyond stays.
void fitFar(RenderJob& job, double depth) {
  job.farPlane = std::max(job.farPlane, fittedFar(depth));
}

// --fit: moves the job's camera to frame the map, saying what it chose and what it could not.
void fitRender(const std::string& file, const Lattice* lat, RenderJob& job) {
  double depth = 0;
  FitAlso removed; // --compare: the removed lattices are in the picture too
  if (job.old) removed = {job.old, allButRemoved(*job.diff, job.old)};
  if (job.ortho > 0) { // the extent is fitted too: --ortho's value only asks for the projection
    if (!fitOrtho(lat, job.width, job.height, job.cam.trot, job.ortho, latticeAt(lat, job.select),
                  SIZE_MAX, hiddenByIndex(job.hidden), &removed))
      std::fprintf(stderr, "kelvane: %s: warning: no lattice is drawn; nothing to fit\n",
                   file.c_str());
    std::fprintf(stderr, "%s %s\n", cameraText(job.cam.trot).c_str(), orthoText(job.ortho).c_str());
    return;
  }
  if (!fitCamera(lat, job.width, job.height, job.cam.trot, depth, latticeAt(lat, job.select),
                 SIZE_MAX, hiddenByIndex(job.hidden), &removed)) {
    std::fprintf(stderr, "kelvane: %s: warning: no lattice is drawn; nothing to fit\n",
                 file.c_str());
  } else {
    fitFar(job, depth);
    job.mustShow = true;
  }
  std::string line = cameraText(job.cam.trot);
  if (job.farPlane > 0) line += " " + farText(job.farPlane);
  std::fprintf(stderr, "%s\n", line.c_str());
}

// `option`'s lattice `index` names a drawn lattice of `list` (the map's lattices by index);
// the reason when it does not.
bool checkDrawn(const std::vector<const Lattice*>& list, const std::string& option, int index,
                std::string& err) {
  if (index >= 0 && size_t(index) < list.size() && list[size_t(index)]->id) return true;
  size_t n = list.size();
  err = option + " " + std::to_string(index) + ": " +
        (size_t(index) < n ? "lattice " + std::to_string(index) + " is not drawn (its id is 0)"
                           : "the map has " + std::to_string(n) + " lattice" + (n == 1 ? "" : "s"));
  return false;
}

// --select and --hide name drawn lattices, and the selected one is not hidden; one walk of the
// list, however many lattices --hide names.
bool checkLattices(const Lattice* lat, const RenderJob& job, std::string& err) {
  std::vector<const Lattice*> list;
  for (const Lattice* L = lat; L; L = L->next) list.push_back(L);
  if (job.select >= 0 && !checkDrawn(list, "--select", job.select, err)) return false;
  for (int i : job.hidden)
    if (!checkDrawn(list, "--hide", i, err)) return false;
  for (int i : job.hidden)
    if (i == job.select) {
      err = "--select " + std::to_string(i) + ": lattice " + std::to_string(i) +
            " is hidden by --hide";
      return false;
    }
  return true;
}

} // namespace

int runRender(const Options& o, RenderJob& job, const FlightJob* flight) {
  LoadedMap map, old;
  map.store.keepTail = old.store.keepTail = false; // nothing is written back
  if (!load(o.map, map, o.strict)) return 1;
  std::string bad;
  if (!checkLattices(map.lat, job, bad)) return usage("render", bad);
  MapDiff diff;
  if (!o.compare.empty()) {
    if (!load(o.compare, old, o.strict)) return 1;
    diff = diffMaps(old, map);
    job.old = old.lat;
    job.diff = &diff;
  }
  std::vector<uint8_t> origins;
  if (!o.merge.empty()) {
    LoadedMap sides[3];
    for (int k = 0; k < 3; k++) {
      sides[k].store.keepTail = false;
      if (!load(o.merge[size_t(k)], sides[k], o.strict)) return 1;
    }
    origins = mapOrigins(map.lat, mergeMaps(sides[0], sides[1], sides[2]));
    job.origins = &origins;
  }
  if (o.fit) fitRender(o.map, map.lat, job);
  // A cut far past the scene keeps all of it or none, as a cut just past it does; a height
  // near a float's limit would overflow the clip plane's transform and draw nothing at all.
  SceneBox box;
  if (job.cut.keeps != SectionKeeps::all && worldBox(map.lat, box))
    job.cut.y = float(std::clamp(double(job.cut.y), box.lo[1] - 1, box.hi[1] + 1));
  job.budget = renderBudget();
  job.outAtStart = o.outAtStart;
  std::string where, err;
  bool ok = flight ? renderFlight(map.lat, job, *flight, o.out, where, err)
                   : renderPng(map.lat, job, o.out, where, err);
  return ok ? 0 : fail(where, err);
}

// A SIZE x SIZE picture of the whole map for file managers: the fitted view, written as PNG
// whatever the output's name; silent unless it fails. File managers run it on whatever lands
// in a folder, so it draws at most thumbnailTriangles: lattices past that, in list order, are
// their bounding boxes.
int runThumbnail(const Options& o, int size) {
  LoadedMap map;
  map.store.keepTail = false;
  if (!load(o.map, map, false, true)) return 1;
  RenderJob job;
  job.width = job.height = size;
  job.cam.trot[Trot::pitch] = 30;
  job.cam.trot[Trot::yaw] = -45;
  job.triangles = thumbnailTriangles;
  double depth = 0;
  if (fitCamera(map.lat, size, size, job.cam.trot, depth, nullptr, job.triangles)) {
    fitFar(job, depth);
    job.mustShow = true;
  } else {
    std::fprintf(stderr, "kelvane: %s: warning: no lattice is drawn; the picture is empty\n",
                 o.map.c_str());
  }
  job.budget = renderBudget();
  job.outAtStart = o.outAtStart;
  std::string where, err;
  return renderPng(map.lat, job, o.out, where, err) ? 0 : fail(where, err);
}
