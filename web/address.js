// The page's address, read once: ?map= (the map to fetch), ?compare= (a map to compare it
// with) and #camera=...&select=...&hide=...&section=...
// (the view to open at). Links come from anyone, so nothing in them may throw or put the
// viewer where it cannot come back from: a part that is malformed or out of range is left out
// with a message, and the rest still counts.
'use strict';

// The largest lattice index a map can have (65 535 lattices), as `kelvane render --select`.
const maxIndex = 65534;

// The text a percent-encoded part stands for, or null where its escapes are malformed.
function decodePart(text) {
  try {
    return decodeURIComponent(text);
  } catch (e) {
    return null;
  }
}

// One number of a camera: a plain decimal that stays finite as a 32-bit float.
function cameraNumber(text) {
  if (!/^[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?$/.test(text)) return null;
  const v = Math.fround(Number(text));
  return Number.isFinite(v) ? v : null;
}

function index(text) {
  if (!/^\d{1,5}$/.test(text)) return null;
  const v = Number(text);
  return v <= maxIndex ? v : null;
}

// "2,5-9,14": increasing lattice indices, runs written A-B. The sorted indices, or null.
function indexList(text) {
  const out = [];
  for (const part of text.split(',')) {
    const m = /^(\d{1,5})(?:-(\d{1,5}))?$/.exec(part);
    if (!m) return null;
    const a = index(m[1]), b = m[2] === undefined ? a : index(m[2]);
    if (a === null || b === null || b < a || (out.length && a <= out[out.length - 1])) return null;
    for (let i = a; i <= b; i++) out.push(i);
  }
  return out;
}

// The last segment of a URL's path, decoded where it can be, for naming the map.
function mapName(url) {
  const last = url.split(/[?#]/)[0].split('/').pop() || 'map';
  return decodePart(last) || last;
}

// The largest canvas side ?size= may ask for, as `kelvane render --size`.
const maxSide = 16384;

// What the address asks for: {map, name, compare, maps, size, camera, select, hide, notes}. `search` and
// `hash` are location.search and location.hash. `map` is null without ?map=, `compare` (the old
// map's address) without ?compare=; size is [W, H] from ?size=WxH (a fixed canvas) or null (the
// canvas fills its place); camera is five numbers
// (zeros unless given), select an index or -1, hide a sorted list, section {above, y} (from
// section= or section-above=, as P's --section and --section-above) or null, ortho the
// orthographic half-height (ortho=, as --ortho) or 0, far the pushed far plane (far=, as
// --far) or 0; `notes` says what was left
// out and why. Never throws.
function parseAddress(search, hash) {
  const notes = [];
  const view = {map: null, name: null, compare: null, size: null, camera: [0, 0, 0, 0, 0], select: -1, hide: [],
                section: null, ortho: 0, far: 0, notes};
  let params = null;
  try {
    params = new URLSearchParams(String(search || ''));
  } catch (e) {
    notes.push('the address\'s query is malformed and was ignored');
  }
  const map = params && params.get('map');
  if (map) {
    view.map = map;
    view.name = mapName(map);
  }
  const compare = params && params.get('compare');
  if (compare) view.compare = compare;
  // ?maps=a.map,b.map: the maps "previous" and "next" step through (the first opens first).
  const maps = params && params.get('maps');
  view.maps = maps ? maps.split(',').filter((m) => m.length > 0) : [];
  const size = params && params.get('size');
  if (size !== null && size !== undefined) {
    const m = /^(\d{1,5})x(\d{1,5})$/.exec(size);
    const w = m ? Number(m[1]) : 0, h = m ? Number(m[2]) : 0;
    if (w >= 1 && h >= 1 && w <= maxSide && h <= maxSide) view.size = [w, h];
    else notes.push(`size=${size.slice(0, 40)}: expected WxH, each from 1 to ${maxSide}; the canvas fills the window`);
  }
  const text = String(hash || '').replace(/^#/, '');
  if (!text) return view;
  for (const part of text.split('&')) {
    const eq = part.indexOf('=');
    const key = eq < 0 ? part : part.slice(0, eq);
    const raw = eq < 0 ? '' : part.slice(eq + 1);
    const value = decodePart(raw);
    const shown = raw.length > 40 ? raw.slice(0, 40) + '…' : raw;
    if (value === null) {
      notes.push(`#${key}=${shown}: malformed percent escape; ignored`);
    } else if (key === 'camera') {
      const nums = value.split(',').map(cameraNumber);
      if (nums.length === 5 && nums.every((v) => v !== null)) view.camera = nums;
      else notes.push(`#camera=${shown}: expected five finite numbers TX,TY,TZ,PITCH,YAW; ignored`);
    } else if (key === 'select') {
      const v = index(value);
      if (v !== null) view.select = v;
      else notes.push(`select=${shown}: expected a lattice index from 0 to ${maxIndex}; ignored`);
    } else if (key === 'section' || key === 'section-above') {
      const y = cameraNumber(value);
      if (y !== null) view.section = {above: key === 'section-above', y};
      else notes.push(`${key}=${shown}: expected a height, a finite number; ignored`);
    } else if (key === 'ortho') {
      const h = cameraNumber(value);
      if (h !== null && h > 0) view.ortho = h;
      else notes.push(`ortho=${shown}: expected the view's half-height, a positive number; ignored`);
    } else if (key === 'far') {
      const f = cameraNumber(value);
      if (f !== null && f >= 1) view.far = f;
      else notes.push(`far=${shown}: expected how far the view reaches, a number of at least 1; ignored`);
    } else if (key === 'hide') {
      const list = indexList(value);
      if (list !== null) view.hide = list;
      else notes.push(`hide=${shown}: expected increasing lattice indices like 2,5-9,14; ignored`);
    } else if (key) {
      notes.push(`${key}: not part of a view; ignored`);
    }
  }
  return view;
}

if (typeof module !== 'undefined') module.exports = {parseAddress, mapName, maxIndex};
