// The outline (L): rows of the drawn lattices by parent, built once a change and shown a screenful
// at a time, so a map of 65,535 lattices costs a frame what one of ten does.
#include "outline.h"
#include "views.h"

#include "selection.h"

#include "mapfile/index_list.h"
#include "render/compare.h"
#include "render/font.h"

#include <algorithm>
#include <charconv>
#include <cstring>

namespace {

const float heading[3] = {1.0f, 0.86f, 0.55f};
const float dim[3] = {0.55f, 0.55f, 0.55f};

// Rows deeper than this stand no further in: a chain of thousands keeps its rows readable.
constexpr int deepest = 8;

bool holds(int value, const std::string& filter) {
  char text[16];
  auto end = std::to_chars(text, text + sizeof text, value).ptr;
  return std::search(text, end, filter.begin(), filter.end()) != end;
}

// Lines above the rows: the heading, and the filter while it has the focus or a filter.
int headingLines(const Viewer& v) {
  return v.outline.focus || !v.outline.filter.empty() ? 2 : 1;
}

// Where a row's arrow and mark stand, in characters from the panel's text edge.
int arrowColumn(const OutlineRow& r) {
  return 1 + 2 * std::min(r.depth, deepest);
}

// Shows the lattice's row: its folded ancestors unfold.
void unfoldTo(Viewer& v, int index) {
  Outline& o = v.outline;
  for (int p = size_t(index) < o.parents.size() ? o.parents[size_t(index)] : -1, k = 0;
       p >= 0 && k < int(o.parents.size()); p = o.parents[size_t(p)], k++)
    if (flagged(o.folded, size_t(p))) {
      o.folded[size_t(p)] = false;
      o.foldings++;
    }
}

void setFolded(Viewer& v, int index, bool fold) {
  Outline& o = v.outline;
  if (flagged(o.folded, size_t(index)) == fold) return;
  if (o.folded.size() <= size_t(index)) o.folded.resize(size_t(index) + 1, false);
  o.folded[size_t(index)] = fold;
  o.foldings++;
  v.redraw = true;
}

// Scrolls so that the row of lattice `index` is in view.
void scrollTo(Viewer& v, int index) {
  Outline& o = v.outline;
  const std::vector<OutlineRow>& rows = currentRows(v);
  int n = std::max(1, rowsInView(v));
  int row = size_t(index) < o.rowOf.size() ? o.rowOf[size_t(index)] : -1;
  if (row >= 0) {
    if (row < o.top) o.top = row;
    if (row >= o.top + n) o.top = row - n + 1;
  }
  o.top = std::clamp(o.top, 0, std::max(0, int(rows.size()) - n));
}

// The row `step` rows from the one the keys act on (the first row when none is).
int rowFrom(Viewer& v, int step) {
  const std::vector<OutlineRow>& rows = currentRows(v);
  if (rows.empty()) return -1;
  Outline& o = v.outline;
  int row = size_t(o.at) < o.rowOf.size() ? o.rowOf[size_t(o.at)] : -1;
  if (row < 0) return rows.front().index;
  return rows[size_t(std::clamp(row + step, 0, int(rows.size()) - 1))].index;
}

// Makes `index` the row the keys act on, and selects it when it is shown.
void moveTo(Viewer& v, int index) {
  v.outline.at = index;
  selectLattice(v, flagged(v.hidden, size_t(index)) ? -1 : index);
  v.outline.followed = v.selected;
  v.redraw = true;
}

// A lattice's row as the panel shows it: the mark of the row the keys act on, the indent, the
// arrow of a parent (+ folded, - open), the shown mark, index, id and cells; in a comparison the
// change, in a merge a conflict's "!".
OverlayLine rowLine(const Viewer& v, const OutlineRow& r, const std::vector<LatticeStyle>& styles) {
  const Lattice* L = v.outline.list[size_t(r.index)];
  bool hidden = flagged(v.hidden, size_t(r.index));
  OverlayLine l;
  char text[120];
  std::snprintf(text, sizeof text, "%c%*s%s%s%d id %d %dx%dx%d",
                r.index == v.outline.at ? '>' : ' ', 2 * std::min(r.depth, deepest), "",
                !r.parent                                    ? "  "
                : flagged(v.outline.folded, size_t(r.index)) ? "+ "
                                                             : "- ",
                hidden ? "[ ] " : "[x] ", r.index, L ? L->id : 0, L ? L->nx : 0, L ? L->ny : 0,
                L ? L->nz : 0);
  l.text = text;
  LatticeStyle style =
      size_t(r.index) < styles.size() ? styles[size_t(r.index)] : LatticeStyle::grey;
  if (!v.merge.out.empty()) {
    style = mergeStyle(v, r.index);
    if (style == LatticeStyle::conflict) l.text += " !";
  }
  static const char* const kinds[] = {"added", "moved", "reshaped", "moved+reshaped"};
  const LatticeStyle kinded[] = {LatticeStyle::added, LatticeStyle::moved, LatticeStyle::reshaped,
                                 LatticeStyle::both};
  for (int k = 0; k < 4 && v.merge.out.empty(); k++)
    if (style == kinded[k]) l.text.append(" ").append(kinds[k]);
  if (style != LatticeStyle::grey) styleColour(style, 1, l.rgb);
  if (r.index == v.selected) std::copy(heading, heading + 3, l.rgb);
  if (hidden) std::copy(dim, dim + 3, l.rgb);
  return l;
}

} // namespace

std::vector<OutlineRow> outlineRows(const Lattice* lat, const std::vector<int>& parents,
                                    const std::vector<bool>& folded, const std::string& filter) {
  std::vector<const Lattice*> at;
  for (const Lattice* L = lat; L; L = L->next) at.push_back(L);
  size_t n = at.size();
  // The children of each lattice in list order, as one array cut by `first`.
  std::vector<int> count(n + 1, 0), first(n + 1, 0), kids(n, 0), roots;
  for (size_t i = 0; i < n; i++)
    if (at[i]->id && i < parents.size() && parents[i] >= 0) count[size_t(parents[i])]++;
  for (size_t i = 0; i < n; i++) first[i + 1] = first[i] + count[i];
  std::vector<int> fill(first.begin(), first.end() - 1);
  for (size_t i = 0; i < n; i++) {
    if (!at[i]->id) continue;
    int p = i < parents.size() ? parents[i] : -1;
    if (p >= 0)
      kids[size_t(fill[size_t(p)]++)] = int(i);
    else
      roots.push_back(int(i));
  }
  std::vector<OutlineRow> rows;
  std::vector<bool> seen(n, false);
  std::vector<std::pair<int, int>> stack; // lattice, depth
  auto walk = [&](int root) {
    stack.push_back({root, 0});
    while (!stack.empty()) {
      auto [i, depth] = stack.back();
      stack.pop_back();
      if (seen[size_t(i)]) continue;
      seen[size_t(i)] = true;
      bool parent = count[size_t(i)] > 0;
      bool kept = filter.empty() || holds(i, filter) || holds(at[size_t(i)]->id, filter);
      if (kept) rows.push_back({i, depth, parent});
      if (filter.empty() && flagged(folded, size_t(i))) continue;
      for (int k = first[size_t(i) + 1] - 1; k >= first[size_t(i)]; k--)
        stack.push_back({kids[size_t(k)], depth + 1});
    }
  };
  for (int r : roots) walk(r);
  for (size_t i = 0; i < n; i++) // a cycle no root reaches
    if (at[i]->id && !seen[i]) {
      bool under = false;
      for (int p = parents[i], k = 0; p >= 0 && k < int(n); p = parents[size_t(p)], k++)
        if (flagged(folded, size_t(p)) && filter.empty()) under = true;
      if (!under) walk(int(i));
    }
  return rows;
}

const std::vector<OutlineRow>& currentRows(Viewer& v) {
  Outline& o = v.outline;
  if (o.builtLat != v.lat) { // another map: its own parents and folds
    o.parents = drawnParents(v.lat);
    o.list = latticeList(v.lat);
    o.folded.clear();
    o.builtLat = v.lat;
    o.builtFor = ~0u;
    o.at = -1;
  }
  if (o.builtFor != v.maps || o.builtFilter != o.filter || o.builtFoldings != o.foldings) {
    o.rows = outlineRows(v.lat, o.parents, o.folded, o.filter);
    o.rowOf.assign(o.parents.size(), -1);
    for (size_t r = 0; r < o.rows.size(); r++) o.rowOf[size_t(o.rows[r].index)] = int(r);
    o.builtFor = v.maps;
    o.builtFilter = o.filter;
    o.builtFoldings = o.foldings;
    o.inView = -2; // scrolled to the row of `at` again
  }
  return o.rows;
}

int rowsInView(const Viewer& v) {
  int box[4];
  outlineBox(v.view.width, v.view.height, box);
  return std::max(0, rowsFitting(box[3] - box[1]) - headingLines(v));
}

std::vector<OverlayPanel> outlinePanels(Viewer& v) {
  if (!outlineShown(v)) return {};
  Outline& o = v.outline;
  currentRows(v);
  if (v.selected != o.followed) { // the selection moved elsewhere: the rows follow it
    o.followed = v.selected;
    if (v.selected >= 0) {
      o.at = v.selected;
      unfoldTo(v, v.selected);
    }
  }
  const std::vector<OutlineRow>& rows = currentRows(v);
  if (o.at != o.inView) {
    scrollTo(v, o.at);
    o.inView = o.at;
  }
  int n = rowsInView(v);
  o.top = std::clamp(o.top, 0, std::max(0, int(rows.size()) - n));
  OverlayPanel p;
  p.kind = PanelKind::outline;
  OverlayLine head;
  head.text = "outline, ";
  head.text.append(std::to_string(drawnCount(v.lat))).append(" lattices");
  head.text.append(o.focus ? "; keys here" : "; L closes");
  std::copy(heading, heading + 3, head.rgb);
  p.lines.push_back(head);
  if (headingLines(v) > 1) {
    OverlayLine find;
    find.text = "type an index or id to find";
    if (!o.filter.empty()) {
      find.text = "find ";
      find.text.append(o.filter).append(": ").append(std::to_string(rows.size()));
      find.text.append(rows.size() == 1 ? " row" : " rows").append(" (Backspace edits)");
    }
    p.lines.push_back(find);
  }
  std::vector<LatticeStyle> styles;
  if (!v.compare.name.empty())
    for (const LatticeChange& c : v.compare.diff.changes)
      if (c.newIndex >= 0) {
        if (styles.size() <= size_t(c.newIndex)) styles.resize(size_t(c.newIndex) + 1);
        styles[size_t(c.newIndex)] = changeStyle(c);
      }
  for (int r = o.top; r < std::min(int(rows.size()), o.top + n); r++)
    p.lines.push_back(rowLine(v, rows[size_t(r)], styles));
  if (rows.empty()) {
    OverlayLine none;
    none.text = "no lattice is drawn";
    if (!o.filter.empty()) none.text = std::string("no index or id holds ").append(o.filter);
    p.lines.push_back(none);
  }
  return {p};
}

void toggleOutline(Viewer& v) {
  Outline& o = v.outline;
  o.open = !o.open;
  o.focus = o.open;
  o.inView = -2;
  v.redraw = true;
}

void outlineKey(Viewer& v, Action a, int arg) {
  Outline& o = v.outline;
  v.redraw = true;
  switch (a) {
  case Action::outlineType:
    if (arg == '\b') {
      if (!o.filter.empty()) o.filter.pop_back();
    } else if (o.filter.size() < 10) {
      o.filter += char(arg);
    }
    o.top = 0;
    break;
  case Action::outlineUp:
  case Action::outlineDown:
    if (int to = rowFrom(v, a == Action::outlineUp ? -1 : 1); to >= 0) moveTo(v, to);
    break;
  case Action::outlineFold:
  case Action::outlineUnfold:
    if (o.at >= 0 && size_t(o.at) < o.rowOf.size() && o.rowOf[size_t(o.at)] >= 0 &&
        o.rows[size_t(o.rowOf[size_t(o.at)])].parent)
      setFolded(v, o.at, a == Action::outlineFold);
    break;
  case Action::outlineFrame:
    if (o.at < 0) break;
    if (flagged(v.hidden, size_t(o.at))) hideOne(v, o.at, false);
    selectLattice(v, o.at);
    o.followed = v.selected;
    fitView(v);
    break;
  case Action::outlineHide:
    if (o.at >= 0) hideOne(v, o.at, !flagged(v.hidden, size_t(o.at)));
    o.followed = v.selected;
    break;
  case Action::outlineLeave:
    o.focus = false;
    break;
  default:
    break;
  }
}

bool outlinePointer(Viewer& v, const MSG& msg) {
  Outline& o = v.outline;
  if (!outlineShown(v)) return false;
  int box[4];
  outlineBox(v.view.width, v.view.height, box);
  bool wheel = msg.message == WM_MOUSEWHEEL;
  int x = wheel ? v.pointer.x : GET_X_LPARAM(msg.lParam);
  int y = wheel ? v.pointer.y : GET_Y_LPARAM(msg.lParam);
  bool over = x >= box[0] && x < box[2] && y >= box[1] && y < box[3];
  bool press = msg.message == WM_LBUTTONDOWN || msg.message == WM_RBUTTONDOWN ||
               msg.message == WM_MBUTTONDOWN;
  bool release =
      msg.message == WM_LBUTTONUP || msg.message == WM_RBUTTONUP || msg.message == WM_MBUTTONUP;
  if (release && o.pressed) {
    o.pressed = false;
    return true;
  }
  if (wheel && over) {
    v.pointer.wheel += GET_WHEEL_DELTA_WPARAM(msg.wParam);
    int notches = v.pointer.wheel / 120;
    v.pointer.wheel -= notches * 120;
    o.top -= 3 * notches;
    o.top = std::clamp(o.top, 0, std::max(0, int(currentRows(v).size()) - rowsInView(v)));
    v.redraw = true;
    return true;
  }
  if (!press) return false;
  if (!over) {
    if (o.focus) v.redraw = true;
    o.focus = false;
    return false;
  }
  o.pressed = true;
  o.focus = true;
  v.redraw = true;
  if (msg.message != WM_LBUTTONDOWN) return true;
  int line = (y - box[1] - panelPadding) / fontAtlas.lineHeight - headingLines(v);
  int column = (x - box[0] - panelPadding) / fontAtlas.advance;
  const std::vector<OutlineRow>& rows = currentRows(v);
  int row = o.top + line;
  if (line < 0 || row >= int(rows.size()) || line >= rowsInView(v)) return true;
  OutlineRow r = rows[size_t(row)];
  int arrow = arrowColumn(r);
  o.at = r.index;
  o.inView = r.index;
  if (column == arrow && r.parent) {
    setFolded(v, r.index, !flagged(o.folded, size_t(r.index)));
  } else if (column >= arrow + 2 && column <= arrow + 4) {
    hideOne(v, r.index, !flagged(v.hidden, size_t(r.index)));
  } else {
    if (flagged(v.hidden, size_t(r.index))) hideOne(v, r.index, false);
    selectLattice(v, r.index);
  }
  o.followed = v.selected;
  return true;
}
