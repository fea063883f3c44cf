// Writing a map back over its own bytes.
#include "save.h"

#include <cstring>

namespace {

// Puts `v` at byte `at` of `out` where the file's float there has other bits; a value with no
// place (`at` 0, or past the end) that is not the 0 the reader left is counted as dropped.
void put(std::string& out, uint64_t at, float v, size_t& dropped) {
  if (at == 0 || at > out.size() || out.size() - at < 4) {
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    dropped += bits != 0;
    return;
  }
  if (std::memcmp(out.data() + at, &v, 4) == 0) return;
  std::memcpy(&out[size_t(at)], &v, 4); // little-endian, as the format
}

} // namespace

bool holdsFixed(const MapStore& store, int index, int k) {
  return index >= 0 && size_t(index) < store.offsets.size() &&
         k < store.offsets[size_t(index)].fixedWhole;
}

std::string savedMap(const Lattice* lat, const MapStore& store, size_t* dropped) {
  std::string out(store.file.begin(), store.file.end());
  size_t lost = 0;
  size_t i = 0;
  for (const Lattice* L = lat; L && i < store.offsets.size(); L = L->next, i++) {
    const ValueOffsets& at = store.offsets[i];
    const float fixed[9] = {L->x, L->y, L->z, L->rx, L->ry, L->rz, L->sx, L->sy, L->sz};
    for (int k = 0; k < 9; k++) put(out, k < at.fixedWhole ? at.fixed + 4 * k : 0, fixed[k], lost);
    uint64_t o = at.minInsets;
    for (const InsetNode* n = L->minInsets; n && o; n = n->next, o += 8) {
      put(out, o, n->dx, lost);
      put(out, o + 4, n->dz, lost);
    }
    o = at.maxInsets;
    for (const InsetNode* n = L->maxInsets; n && o; n = n->next, o += 8) {
      put(out, o, n->dx, lost);
      put(out, o + 4, n->dz, lost);
    }
    o = at.heights;
    for (const HeightNode* n = L->heights; n && o; n = n->next, o += 4) put(out, o, n->value, lost);
  }
  if (dropped) *dropped = lost;
  return out;
}
