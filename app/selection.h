// Which lattice is selected: stepping through the drawn lattices, and what is said about one.
#pragma once

#include "mapfile/lattice.h"

#include <string>
#include <vector>

// The list index of the drawn lattice after `from` (dir 1) or before it (dir -1) in list
// order, wrapping; from -1, the first or the last. -1 when no lattice is drawn. Lattices
// `hidden` (by list index) are skipped.
int stepSelection(const Lattice* lat, int from, int dir, const std::vector<bool>& hidden = {});
// The nearest ancestor of lattice `from` that is drawn and not hidden, or -1.
int parentSelection(const Lattice* lat, int from, const std::vector<bool>& hidden);
// The first lattice in list order whose parent is `from`, drawn and not hidden, or -1.
int childSelection(const Lattice* lat, int from, const std::vector<bool>& hidden);
// "selected lattice INDEX: id ID, NX x NY x NZ cells, at (X, Y, Z), parent P" (or "parent
// none"), or "selection cleared" for index -1.
std::string selectionLine(const Lattice* lat, int index);
// Everything a panel shows of the lattice at `index`, a line each: index, id, cells, cell size,
// position, rotation in degrees, parent, children, references. None for index -1.
std::vector<std::string> selectionPanelLines(const Lattice* lat, int index);
// The same lines, each ended by a newline, for the web page's panel.
std::string latticeDetails(const Lattice* lat, int index);
// By list index, the nearest drawn ancestor of each drawn lattice, or -1 (none, a broken cycle,
// or a lattice not drawn).
std::vector<int> drawnParents(const Lattice* lat);
// The drawn lattices for an outline, a line each in list order: "INDEX ID NX NY NZ PARENT",
// PARENT the list index of the nearest drawn ancestor or -1 (none, or a broken cycle).
std::string outlineText(const Lattice* lat);
