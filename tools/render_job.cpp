// Preparing a `render` job as the command does, and drawing it into memory: shared by the
// `kelvane render` command and the Python module.
#include "toolkit.h"

#include "platform/system.h"
#include "render/camera_text.h"
#include "render/compare.h"

#include <algorithm>

namespace {

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

} // namespace

size_t renderBudget(std::string& warning) {
  return geometryBudgetFromEnv(physicalMemory(), warning);
}

void fitFar(RenderJob& job, double depth) {
  job.farPlane = std::max(job.farPlane, fittedFar(depth));
}

void fitRender(const std::string& file, const Lattice* lat, RenderJob& job,
               std::vector<std::string>& said) {
  double depth = 0;
  FitAlso removed; // --compare: the removed lattices are in the picture too
  if (job.old) removed = {job.old, allButRemoved(*job.diff, job.old)};
  if (job.ortho > 0) { // the extent is fitted too: --ortho's value only asks for the projection
    if (!fitOrtho(lat, job.width, job.height, job.cam.trot, job.ortho, latticeAt(lat, job.select),
                  SIZE_MAX, hiddenByIndex(job.hidden), &removed))
      said.push_back("kelvane: " + file + ": warning: no lattice is drawn; nothing to fit");
    said.push_back(cameraText(job.cam.trot) + " " + orthoText(job.ortho));
    return;
  }
  if (!fitCamera(lat, job.width, job.height, job.cam.trot, depth, latticeAt(lat, job.select),
                 SIZE_MAX, hiddenByIndex(job.hidden), &removed)) {
    said.push_back("kelvane: " + file + ": warning: no lattice is drawn; nothing to fit");
  } else {
    fitFar(job, depth);
    job.mustShow = true;
  }
  std::string line = cameraText(job.cam.trot);
  if (job.farPlane > 0) line += " " + farText(job.farPlane);
  said.push_back(line);
}

bool checkRenderLattices(const Lattice* lat, const RenderJob& job, std::string& err) {
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

void clampCut(const Lattice* lat, RenderJob& job) {
  SceneBox box;
  if (job.cut.keeps != SectionKeeps::all && worldBox(lat, box))
    job.cut.y = float(std::clamp(double(job.cut.y), box.lo[1] - 1, box.hi[1] + 1));
}

bool thumbnailJob(const Lattice* lat, int size, RenderJob& job) {
  job.width = job.height = size;
  job.cam.trot[Trot::pitch] = 30;
  job.cam.trot[Trot::yaw] = -45;
  job.triangles = thumbnailTriangles;
  double depth = 0;
  if (!fitCamera(lat, size, size, job.cam.trot, depth, nullptr, job.triangles)) return false;
  fitFar(job, depth);
  job.mustShow = true;
  return true;
}
