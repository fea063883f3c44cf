// The outline (L): the drawn lattices as a tree by parent in a panel of its own, with folding, a
// filter by index or id, the keys it takes while it has the focus and what the mouse does on it.
#pragma once

#include "viewer.h"

#include <string>
#include <vector>

// The rows of the drawn lattices of the list from `lat` in tree order: each under its nearest
// drawn ancestor (`parents`, as drawnParents gives), children in list order, none under a lattice
// `folded` (by list index). With a `filter`, only the lattices whose index or id holds it, at
// their depths and whatever is folded. A lattice in a broken cycle stands at the top.
std::vector<OutlineRow> outlineRows(const Lattice* lat, const std::vector<int>& parents,
                                    const std::vector<bool>& folded, const std::string& filter);

// The viewer's rows, built again when the map, the filter or the folding changed since.
const std::vector<OutlineRow>& currentRows(Viewer& v);
// How many rows the panel shows at once in the window as it is (below its heading lines).
int rowsInView(const Viewer& v);
// The outline's panel: its heading, its filter, and only the rows in view, the one the keys act
// on marked, scrolled to follow the selection. None while it is not shown.
std::vector<OverlayPanel> outlinePanels(Viewer& v);

// L: opens the outline with the focus, or closes it.
void toggleOutline(Viewer& v);
// The outline's keys while it has the focus (Action::outlineType ... outlineLeave; `arg` the
// character typed).
void outlineKey(Viewer& v, Action a, int arg);
// Takes a mouse message meant for the outline: a press over it (a row selects its lattice, its
// mark hides or shows it, its arrow folds or unfolds it; each gives the outline the focus), the
// release of such a press, the wheel over it. A press in the scene takes the focus away and is
// left to the scene. False for a message that is not the outline's.
bool outlinePointer(Viewer& v, const MSG& msg);
