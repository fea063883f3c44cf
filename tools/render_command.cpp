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

// The geometry budget, its warning said.
size_t budgetSaid() {
  std::string warning;
  size_t budget = renderBudget(warning);
  if (!warning.empty()) std::fprintf(stderr, "kelvane: warning: %s\n", warning.c_str());
  return budget;
}

} // namespace

int runRender(const Options& o, RenderJob& job, const FlightJob* flight) {
  LoadedMap map, old;
  map.store.keepTail = old.store.keepTail = false; // nothing is written back
  if (!load(o.map, map, o.strict)) return 1;
  std::string bad;
  if (!checkRenderLattices(map.lat, job, bad)) return usage("render", bad);
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
  std::vector<std::string> said;
  if (o.fit) fitRender(o.map, map.lat, job, said);
  for (const std::string& l : said) std::fprintf(stderr, "%s\n", l.c_str());
  clampCut(map.lat, job);
  job.budget = budgetSaid();
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
  if (!thumbnailJob(map.lat, size, job)) {
    std::fprintf(stderr, "kelvane: %s: warning: no lattice is drawn; the picture is empty\n",
                 o.map.c_str());
  }
  job.budget = budgetSaid();
  job.outAtStart = o.outAtStart;
  std::string where, err;
  return renderPng(map.lat, job, o.out, where, err) ? 0 : fail(where, err);
}
