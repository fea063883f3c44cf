// Comparing two maps (--compare OLD NEW): the change colours, N and Shift+N, the rows the panels
// add.
#pragma once

#include "viewer.h"

#include <string>
#include <vector>

// Whether the command line is "--compare OLD NEW" (each name plain or in double quotes, with
// nothing after them), and the two names when it is.
bool compareNames(const std::string& line, std::string& old, std::string& now);
// Compares the shown map with the old one and colours the scene by change: called whenever
// either map's scene is built. Nothing without a comparison.
void compareScene(Viewer& v);
// After an edit of the shown map's lattice `index`: compares that pair again and colours the
// scene by the changes. Nothing without a comparison.
void compareEdited(Viewer& v, int index);
// The old map's removed lattices, for the fits and the map's box to take in; none without a
// comparison.
FitAlso removedLattices(const Viewer& v);
// N and Shift+N (dir 1, -1): selects the next or previous change and says what it is; a
// removed lattice is outlined in amber, from the old map, while nothing else is selected.
void stepChange(Viewer& v, int dir);
// Leaves the change N went to.
void leaveChange(Viewer& v);
// What a comparison adds to the view (ViewDraw): the removed lattices, drawn and edged in red
// over the scene, and the selection (or the removed lattice N went to) outlined in amber.
// Nothing without one.
void addComparison(Viewer& v, ViewDraw& d);
// What the selection panel adds in a comparison: the selected lattice's change (or the removed
// one N went to, with nothing selected) as a heading and a row for each value that differs.
std::vector<std::string> changePanelLines(const Viewer& v);
// For the page's outline: "INDEX KIND" a line for each changed lattice of the shown map, KIND
// added, moved, reshaped or both; "" without a comparison.
std::string changeKinds(const Viewer& v);
// The info panel's rows in a comparison: the old map, the summary, the other bytes.
std::vector<std::string> compareInfoLines(const Viewer& v);
// Loads the old map again after its file changed; a failure keeps the comparison and says why.
void reloadOldMap(Viewer& v);
