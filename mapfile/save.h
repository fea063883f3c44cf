// Writing a map back: the bytes it was read from, with the editable values its lattices now
// hold put in their places and every other byte as it was.
#pragma once

#include "lattice.h"

#include <string>

// The file `store` was read from, with each editable value of the list from `lat` (the list
// loaded into `store`: position, rotation, cell size, inset offsets, heights) that differs from
// the file's put at its offset. A value equal in bits to the file's stays as the file has it:
// an unedited map comes back byte for byte, and an edit changes only the bytes of the floats
// edited. `dropped`, when given, counts the values that differ from the file's but have no
// place in it (the file ends inside them): a save with any is no save.
std::string savedMap(const Lattice* lat, const MapStore& store, size_t* dropped = nullptr);

// Whether the file holds float `k` (0-8: position, rotation, cell size) of lattice `index`
// whole, so that an edit of it can be saved.
bool holdsFixed(const MapStore& store, int index, int k);
