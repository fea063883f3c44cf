// The outline: its rows in tree order, folded and filtered; what its keys and clicks do; and that
// a frame lays out only the rows in view, on a map of 65,535 lattices too.
#include "app/outline.h"
#include "app/selection.h"
#include "doubles/win_double.h"
#include "render/font.h"
#include "test_maps.h"

#include <gtest/gtest.h>

#include <utility>

namespace {

// 0 (id 10) holds 2 and 4, and 2 holds 5; 1 is not drawn and holds 3; 6 stands alone.
MapDesc tree() {
  MapDesc m;
  for (int id : {10, 0, 12, 13, 14, 15, 26}) m.lattices.push_back(box(1, 1, 1, id));
  m.lattices[0].refs = {3, 5};
  m.lattices[1].refs = {4};
  m.lattices[2].refs = {6};
  return m;
}

std::vector<std::pair<int, int>> indexAndDepth(const std::vector<OutlineRow>& rows) {
  std::vector<std::pair<int, int>> out;
  for (const OutlineRow& r : rows) out.push_back({r.index, r.depth});
  return out;
}

std::vector<bool> foldedAt(std::initializer_list<int> at) {
  std::vector<bool> f(7, false);
  for (int i : at) f[size_t(i)] = true;
  return f;
}

// The window point of the outline's row `row` (counted from the top of the rows in view), at
// character column `column`.
LPARAM rowPoint(const Viewer& v, int row, int column) {
  int box[4];
  outlineBox(v.view.width, v.view.height, box);
  int heading = v.outline.focus || !v.outline.filter.empty() ? 2 : 1;
  return MAKELPARAM(box[0] + panelPadding + column * fontAtlas.advance + 2,
                    box[1] + panelPadding + (heading + row) * fontAtlas.lineHeight + 2);
}

MSG press(LPARAM at) {
  MSG m{};
  m.message = WM_LBUTTONDOWN;
  m.lParam = at;
  return m;
}

} // namespace

TEST(OutlineRows, TreeOrderFoldingAndFilter) {
  LoadedMap map;
  loadDesc(tree(), map);
  std::vector<int> parents = drawnParents(map.lat);
  struct Case {
    std::vector<bool> folded;
    std::string filter;
    std::vector<std::pair<int, int>> rows;
  } cases[] = {
      {{}, "", {{0, 0}, {2, 1}, {5, 2}, {4, 1}, {3, 0}, {6, 0}}},
      {foldedAt({2}), "", {{0, 0}, {2, 1}, {4, 1}, {3, 0}, {6, 0}}},
      {foldedAt({0}), "", {{0, 0}, {3, 0}, {6, 0}}},
      {{}, "2", {{2, 1}, {6, 0}}},                         // index 2, id 12 and id 26
      {{}, "1", {{0, 0}, {2, 1}, {5, 2}, {4, 1}, {3, 0}}}, // ids 10 to 15
      {foldedAt({0, 2}), "5", {{5, 2}}},                   // a filter sees into folds
      {{}, "9", {}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(indexAndDepth(outlineRows(map.lat, parents, c.folded, c.filter)), c.rows) << c.filter;
  std::vector<OutlineRow> rows = outlineRows(map.lat, parents, {}, "");
  EXPECT_TRUE(rows[0].parent && rows[1].parent && !rows[2].parent);
}

// A click on a row selects its lattice, on its mark hides it, on its arrow folds it; the keys
// move, hide and filter; a press in the scene takes the focus away and is the scene's.
TEST(Outline, ClicksAndKeys) {
  winDoubleReset();
  LoadedMap map;
  loadDesc(tree(), map);
  Viewer v;
  v.lat = map.lat;
  v.watch.name = "tree.map";
  toggleOutline(v);
  ASSERT_EQ(outlinePanels(v).size(), 1u);
  testing::internal::CaptureStdout();
  EXPECT_TRUE(outlinePointer(v, press(rowPoint(v, 1, 12)))); // lattice 2's text
  EXPECT_EQ(v.selected, 2);
  EXPECT_TRUE(outlinePointer(v, press(rowPoint(v, 3, 5)))); // lattice 4's mark, at depth 1
  EXPECT_TRUE(flagged(v.hidden, 4));
  EXPECT_TRUE(outlinePointer(v, press(rowPoint(v, 0, 1)))); // lattice 0's arrow
  EXPECT_EQ(indexAndDepth(currentRows(v)),
            (std::vector<std::pair<int, int>>{{0, 0}, {3, 0}, {6, 0}}));
  outlineKey(v, Action::outlineUnfold, 0);
  EXPECT_EQ(currentRows(v).size(), 6u);
  outlineKey(v, Action::outlineDown, 0); // from 0 to 2
  EXPECT_EQ(v.selected, 2);
  outlineKey(v, Action::outlineHide, 0);
  EXPECT_TRUE(flagged(v.hidden, 2));
  EXPECT_EQ(v.selected, -1);
  outlineKey(v, Action::outlineHide, 0); // Space again shows it
  EXPECT_FALSE(flagged(v.hidden, 2));
  outlineKey(v, Action::outlineType, '6');
  EXPECT_EQ(indexAndDepth(currentRows(v)), (std::vector<std::pair<int, int>>{{6, 0}}));
  outlineKey(v, Action::outlineType, '\b');
  EXPECT_EQ(currentRows(v).size(), 6u);
  MSG scene = press(MAKELPARAM(600, 400));
  EXPECT_FALSE(outlinePointer(v, scene));
  EXPECT_FALSE(v.outline.focus);
  testing::internal::GetCapturedStdout();
}

// On a map of 65,535 lattices a frame lays out only the rows in view, and the selection made
// elsewhere (Tab, a click in the scene) is scrolled into view, its folded parent unfolded.
TEST(Outline, OnlyTheRowsInViewFollowingTheSelection) {
  winDoubleReset();
  MapDesc m;
  m.lattices.assign(65535, box(1, 1, 1));
  m.lattices[29990].refs = {30001}; // 30000 stands under 29990
  LoadedMap map;
  loadDesc(m, map);
  Viewer v;
  v.lat = map.lat;
  v.watch.name = "big.map";
  toggleOutline(v);
  int n = rowsInView(v);
  EXPECT_GT(n, 20);
  EXPECT_EQ(outlinePanels(v)[0].lines.size(), size_t(2 + n));
  v.outline.folded.assign(65535, false);
  v.outline.folded[29990] = true;
  v.outline.foldings++;
  EXPECT_EQ(currentRows(v).size(), 65534u);
  testing::internal::CaptureStdout();
  selectLattice(v, 30000);
  testing::internal::GetCapturedStdout();
  std::vector<OverlayPanel> panels = outlinePanels(v);
  ASSERT_EQ(panels[0].lines.size(), size_t(2 + n));
  EXPECT_EQ(currentRows(v).size(), 65535u);
  int marked = 0;
  for (const OverlayLine& l : panels[0].lines)
    if (l.text.find(">") == 0) {
      marked++;
      EXPECT_NE(l.text.find("30000 id 1 1x1x1"), std::string::npos) << l.text;
    }
  EXPECT_EQ(marked, 1);
  // Typed digits filter the 65,535 rows by index: 4000, 14000, ..., 64000 and 40000 to 40009.
  v.outline.filter = "4000";
  EXPECT_EQ(currentRows(v).size(), 17u);
  EXPECT_EQ(outlinePanels(v)[0].lines.size(), 2u + 17u);
}
