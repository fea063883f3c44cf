// Writing a map back over its own bytes.
#include "save.h"

#include <cmath>
#include <cstring>

namespace {

// Puts `v` at byte `at` of `out` where the file's float there is a different value.
void put(std::string& out, uint64_t at, float v) {
  if (at == 0 || at > out.size() || out.size() - at < 4) return;
  float old;
  std::memcpy(&old, out.data() + at, 4);
  if (std::memcmp(&old, &v, 4) == 0 || (std::isnan(old) && std::isnan(v))) return;
  std::memcpy(&out[size_t(at)], &v, 4); // little-endian, as the format
}

} // namespace

std::string savedMap(const Lattice* lat, const MapStore& store) {
  std::string out(store.file.begin(), store.file.end());
  size_t i = 0;
  for (const Lattice* L = lat; L && i < store.offsets.size(); L = L->next, i++) {
    const ValueOffsets& at = store.offsets[i];
    const float fixed[9] = {L->x, L->y, L->z, L->rx, L->ry, L->rz, L->sx, L->sy, L->sz};
    for (int k = 0; k < 9; k++) put(out, at.fixed ? at.fixed + 4 * k : 0, fixed[k]);
    uint64_t o = at.minInsets;
    for (const InsetNode* n = L->minInsets; n && o; n = n->next, o += 8) {
      put(out, o, n->dx);
      put(out, o + 4, n->dz);
    }
    o = at.maxInsets;
    for (const InsetNode* n = L->maxInsets; n && o; n = n->next, o += 8) {
      put(out, o, n->dx);
      put(out, o + 4, n->dz);
    }
    o = at.heights;
    for (const HeightNode* n = L->heights; n && o; n = n->next, o += 4) put(out, o, n->value);
  }
  return out;
}
