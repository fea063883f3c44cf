// The page's outline of the map: a row a drawn lattice, by parent.
'use strict';

// The outline: the drawn lattices as a tree by parent, a row each with a visibility box. The
// viewer sends the lattices when a map opens; rows ask the viewer through kelvanePageAsk.
const outline = document.getElementById('outline');
const find = document.getElementById('find');
let rows = new Map(); // list index -> row element
let selectedRow = null;

// Asks the viewer `what` (a name of Module.pageAsk, which the viewer declares) about the
// lattice at list index `index`.
function askViewer(what, index) {
  if (Module._kelvanePageAsk && Module.pageAsk) Module._kelvanePageAsk(Module.pageAsk[what], index);
}

const changedOnly = document.getElementById('changed-only');

// Builds the rows from the viewer's lines "INDEX ID NX NY NZ PARENT": children under their
// parent in list order, a lattice with no drawn parent at the top. `changes` ("INDEX KIND"
// lines, with --compare) marks the changed rows with their kind.
function buildOutline(text, changes) {
  const kinds = new Map((changes || '').split('\n').filter(Boolean).map((l) => l.split(' '))
      .map(([i, kind]) => [Number(i), kind]));
  changedOnly.parentElement.hidden = !kinds.size;
  const t0 = performance.now();
  const lattices = text.split('\n').filter(Boolean).map((l) => l.split(' ').map(Number));
  const children = new Map();
  const known = new Set(lattices.map((l) => l[0]));
  const roots = [];
  for (const l of lattices) {
    const parent = l[5];
    if (parent >= 0 && known.has(parent)) {
      if (!children.has(parent)) children.set(parent, []);
      children.get(parent).push(l);
    } else {
      roots.push(l);
    }
  }
  const hidden = new Set(window.kelvane.hidden);
  const list = document.createDocumentFragment();
  rows = new Map();
  const stack = roots.map((l) => [l, 0]).reverse();
  while (stack.length) {
    const [[index, id, nx, ny, nz], depth] = stack.pop();
    const row = document.createElement('div');
    row.className = 'row';
    row.setAttribute('role', 'treeitem');
    row.dataset.index = index;
    row.dataset.id = id;
    row.dataset.depth = depth;
    row.style.paddingLeft = (4 + depth * 14) + 'px';
    const box = document.createElement('input');
    box.type = 'checkbox';
    box.checked = !hidden.has(index);
    box.title = 'shown';
    box.setAttribute('aria-label', `show lattice ${index}`);
    row.append(box, `${index}  id ${id}  ${nx} x ${ny} x ${nz}`);
    if (kinds.has(index)) {
      row.dataset.change = kinds.get(index);
      row.append(`  ${kinds.get(index) === 'both' ? 'moved+reshaped' : kinds.get(index)}`);
    }
    list.appendChild(row);
    rows.set(index, row);
    for (const c of (children.get(index) || []).slice().reverse()) stack.push([c, depth + 1]);
  }
  outline.replaceChildren(list);
  selectedRow = null;
  markSelected(window.kelvane.selected);
  filterOutline();
  void outline.offsetHeight; // the layout counts in the time
  window.kelvane.outlineMs = performance.now() - t0;
}

// Keeps the rows whose index or id holds what is typed in #find (and that changed, while
// "changed only" is ticked).
function filterOutline() {
  const q = find.value.trim();
  const changed = changedOnly.checked && !changedOnly.parentElement.hidden;
  for (const [index, row] of rows)
    row.hidden = (q !== '' && !String(index).includes(q) && !row.dataset.id.includes(q)) ||
                 (changed && !row.dataset.change);
}

function markSelected(index) {
  const row = index === null ? null : rows.get(index) || null;
  if (row === selectedRow) return;
  if (selectedRow) selectedRow.classList.remove('selected');
  selectedRow = row;
  if (row) {
    row.classList.add('selected');
    row.scrollIntoView({block: 'nearest'});
  }
}

function markHidden(hidden) {
  const set = new Set(hidden);
  for (const [index, row] of rows) row.firstChild.checked = !set.has(index);
}

const rowOf = (e) => e.target.closest && e.target.closest('.row');
outline.addEventListener('click', (e) => {
  const row = rowOf(e);
  if (row && e.target.type !== 'checkbox') askViewer('select', Number(row.dataset.index));
});
outline.addEventListener('dblclick', (e) => {
  const row = rowOf(e);
  if (row && e.target.type !== 'checkbox') askViewer('selectFit', Number(row.dataset.index));
});
outline.addEventListener('change', (e) => {
  const row = rowOf(e);
  if (row) askViewer(e.target.checked ? 'show' : 'hide', Number(row.dataset.index));
});
find.addEventListener('input', filterOutline);
changedOnly.addEventListener('change', filterOutline);
