// Maps for the viewer: fetched from the address, read from a file, handed over, reloaded.
'use strict';

// A map larger than this is refused: the page holds it twice while handing it over, and may
// grow to 2 GB in all.
const maxMapBytes = 512 * 1024 * 1024;
const megabytes = (n) => (n / 1048576).toFixed(1) + ' MB';

let waiting = null; // the viewer's request for its next map
let queued = null;  // a map for the viewer when it asks
let running = false;
let firstMap = true;
let source = null;     // where the current map came from: {url} or {file}, for Reload
let loading = false;   // a map was handed over and has not drawn its first frame yet
let checkSelection = -1; // the lattice a link selects, checked once the map has drawn
let checkHidden = [];    // and the lattices it hides
let oldPath = null;      // Compare with…: the old map in the in-memory file system
let oldName = null;      // and its name as the user knows it
let comparing = false;   // the viewer was handed the map with --compare and has not drawn it
let current = null;      // the map the viewer was handed last: {name, path}
let given = [];          // the maps "previous" and "next" step through: {file} or {url}
let givenAt = 0;         // the one of them open

// Removes every map file but `keep` from the in-memory file system: the page holds one map.
function forgetMaps(keep) {
  for (const f of FS.readdir('/maps'))
    if (f !== '.' && f !== '..' && '/maps/' + f !== keep) FS.unlink('/maps/' + f);
}

// Hands a map to the viewer (stopping the one that runs, if any), compared with the old map
// when there is one. A reload (`reload` true) keeps the view and the selection, a step to
// another of the given maps (`reload` 'step') the camera, the projection and the section;
// another map starts at the start view (the first at the address's). `quiet`: a reload that
// says nothing.
function openMap(name, bytes, reload, quiet) {
  // Another map (or this one read again) takes the place of the edits: the user says whether.
  if (running && window.kelvane.unsaved && current &&
      !window.confirm(`${current.name} has edits not saved (Save map keeps them). Open ${name} and lose them?`))
    return;
  const safe = name.replace(/[^A-Za-z0-9._ -]/g, '_');
  const path = '/maps/' + (/^\.*$/.test(safe) ? 'map' : safe); // not "", "." or ".."
  FS.mkdirTree('/maps');
  FS.writeFile(path, bytes);
  if (!running) forgetMaps(path);
  current = {name, path};
  const selected = window.kelvane.selected;
  const again = reload === true;
  const view = reload ? {camera: window.kelvane.camera.split(',').map(Number),
                         select: again && selected !== null ? selected : -1, hide: again ? window.kelvane.hidden : [],
                         ...(({section, ortho}) => ({section, ortho}))(parseAddress('', '#' + window.kelvane.section))}
             : firstMap ? address : {camera: [0, 0, 0, 0, 0], select: -1, hide: [], section: null, ortho: 0, far: 0};
  checkSelection = !reload && view.select >= 0 ? view.select : -1;
  checkHidden = reload ? [] : view.hide;
  loading = true;
  if (again && !quiet) say('reloaded ' + name, false);
  // The viewer's command line: the map, or --compare with both names quoted (neither holds a
  // quote: openMap and keepOld allow none).
  const next = {name: oldPath ? `--compare "${oldPath}" "${path}"` : path, path, camera: view.camera, select: view.select,
                hide: view.hide.join(','), section: view.section, ortho: view.ortho, far: view.far || 0};
  comparing = oldPath !== null;
  firstMap = false;
  window.kelvane.state = 'loading';
  if (waiting) {
    waiting(next);
    waiting = null;
  } else {
    queued = next;
    if (running) Module.kelvaneQuit = true;
  }
}

// A map that could not be fetched or read: the desktop's message box text, and why. The map
// that runs, if one does, runs on.
function cannotOpen(name, error) {
  const failed = !running || window.kelvane.state === 'loading';
  say('Error opening file.: ' + name, true, failed);
  say(name + ': ' + error.message, true, failed);
}

// The fetch under way, if any: a later open, fetched or read from a file, wins.
let fetching = null;

// The body of a response, read as it arrives with its progress shown on one line of the
// messages; an error past maxMapBytes, before the page holds that much.
async function readBody(response, name) {
  const size = Number(response.headers.get('Content-Length'));
  if (size > maxMapBytes) throw new Error(`${megabytes(size)} is more than the ${megabytes(maxMapBytes)} a map may take here`);
  const line = document.createElement('div');
  messages.appendChild(line);
  const chunks = [];
  let got = 0;
  const reader = response.body.getReader();
  try {
    for (;;) {
      const {done, value} = await reader.read();
      if (done) break;
      got += value.length;
      if (got > maxMapBytes) {
        reader.cancel();
        throw new Error(`more than the ${megabytes(maxMapBytes)} a map may take here`);
      }
      chunks.push(value);
      line.textContent = `loading ${name}: ${megabytes(got)}` + (size ? ` of ${megabytes(size)}` : '');
    }
  } finally {
    line.remove(); // done, refused, or given up for a later map
  }
  const bytes = new Uint8Array(got);
  let at = 0;
  for (const c of chunks) {
    bytes.set(c, at);
    at += c.length;
  }
  return bytes;
}

// Fetches a map from an address anyone may have written: no cookies or other credentials go
// with it, and no referrer.
async function fetchMap(url, reload) {
  const name = mapName(url);
  source = {url};
  if (fetching) fetching.abort();
  const mine = fetching = new AbortController();
  try {
    const response = await fetch(url, {cache: 'no-store', credentials: 'omit', referrerPolicy: 'no-referrer',
                                       signal: mine.signal});
    if (!response.ok) throw new Error('HTTP ' + response.status + ' ' + response.statusText);
    const bytes = await readBody(response, name);
    if (mine.signal.aborted) return;
    openMap(name, bytes, reload);
  } catch (e) {
    if (!mine.signal.aborted) cannotOpen(url, e);
  } finally {
    if (fetching === mine) fetching = null;
  }
}

// Whether the bytes start as a keyframe file does: blank space, then '#' or "--camera".
function keyframeFile(bytes) {
  const head = new TextDecoder().decode(bytes.subarray(0, 64)).trimStart();
  return head.startsWith('#') || head.startsWith('--camera');
}

async function openFile(file, reload) {
  if (!reload && running && file.size <= 1 << 20) {
    const bytes = new Uint8Array(await file.arrayBuffer());
    if (keyframeFile(bytes)) { // the flight of the map that is open
      const path = '/flights/' + file.name.replace(/[^A-Za-z0-9._ -]/g, '_');
      FS.mkdirTree('/flights');
      FS.writeFile(path, bytes);
      Module._kelvaneOpenFlight(allocateUTF8(path)); // the viewer frees the name
      return;
    }
  }
  source = {file};
  if (fetching) fetching.abort();
  fetching = null;
  try {
    if (file.size > maxMapBytes) throw new Error(`${megabytes(file.size)} is more than the ${megabytes(maxMapBytes)} a map may take here`);
    openMap(file.name, new Uint8Array(await file.arrayBuffer()), reload);
  } catch (e) {
    cannotOpen(file.name, e);
  }
}

// Keeps `bytes` as the old map every map is compared with from now on.
function keepOld(name, bytes) {
  dropOld();
  const safe = name.replace(/[^A-Za-z0-9._ -]/g, '_');
  oldPath = '/compare/' + (/^\.*$/.test(safe) ? 'map' : safe);
  oldName = name;
  FS.writeFile(oldPath, bytes);
}

// Leaves compare mode: the maps that open from now on are shown alone.
function dropOld() {
  FS.mkdirTree('/compare');
  for (const f of FS.readdir('/compare')) if (f !== '.' && f !== '..') FS.unlink('/compare/' + f);
  oldPath = oldName = null;
}

// The viewer ended without drawing the map it was handed with --compare (it has said why): the
// comparison is given up and the map is shown alone, from the view it was shown at. True when
// the page does so.
function comparisonFailed() {
  if (!comparing || !current) return false;
  say(`not compared with ${oldName}: ${current.name} is shown alone`, true, false);
  dropOld();
  openMap(current.name, FS.readFile(current.path), true, true);
  return true;
}

// Compare with…: the chosen file becomes the old map, and the map that is open is shown
// against it, from the same view.
async function compareWith(file) {
  try {
    if (file.size > maxMapBytes) throw new Error(`${megabytes(file.size)} is more than the ${megabytes(maxMapBytes)} a map may take here`);
    keepOld(file.name, new Uint8Array(await file.arrayBuffer()));
  } catch (e) {
    cannotOpen(file.name, e);
    return;
  }
  say('comparing with ' + file.name, false);
  if (current) openMap(current.name, FS.readFile(current.path), true, true);
  else say('open a map to compare with ' + file.name, false);
}

// "previous" and "next" show only while the page was given more than one map.
function showSteps() {
  for (const id of ['previous-map', 'next-map']) document.getElementById(id).hidden = given.length < 2;
}

// Opens the previous (dir -1) or next (1) of the given maps, wrapping, keeping the view.
function stepMap(dir) {
  if (given.length < 2) return;
  givenAt = (givenAt + dir + given.length) % given.length;
  const m = given[givenAt];
  say(`map ${givenAt + 1} of ${given.length}: ${m.file ? m.file.name : mapName(m.url)}`, false);
  if (m.file) openFile(m.file, 'step');
  else fetchMap(m.url, 'step');
}

// The first maps: the address's (or the demo), after the map ?compare= names, when it does.
async function startMaps() {
  given = address.maps.map((url) => ({url}));
  givenAt = 0;
  showSteps();
  if (address.compare) {
    try {
      const response = await fetch(address.compare, {cache: 'no-store', credentials: 'omit', referrerPolicy: 'no-referrer'});
      if (!response.ok) throw new Error('HTTP ' + response.status + ' ' + response.statusText);
      keepOld(mapName(address.compare), await readBody(response, mapName(address.compare)));
    } catch (e) {
      say(`compare=${address.compare}: ${e.message}; the map is shown alone`, true, false);
    }
  }
  fetchMap(address.map || (given.length ? given[0].url : 'demo.map'));
}

// Reload: the map from the same address, or the same file read again, keeping the view.
function reloadMap() {
  if (source && source.url) fetchMap(source.url, true);
  else if (source && source.file) openFile(source.file, true);
}

// The side bar's Open and Reload, and maps dropped on the page.
document.getElementById('open').addEventListener('click', () => document.getElementById('file').click());
document.getElementById('reload').addEventListener('click', reloadMap);
document.getElementById('compare').addEventListener('click', () => document.getElementById('compare-file').click());
document.getElementById('compare-file').addEventListener('change', (e) => {
  if (e.target.files.length) compareWith(e.target.files[0]);
  e.target.value = '';
});
document.getElementById('file').addEventListener('change', (e) => {
  // Several files: the maps "previous" and "next" step through, in name order.
  const files = [...e.target.files].sort((a, b) => (a.name < b.name ? -1 : a.name > b.name ? 1 : 0));
  if (files.length > 1) {
    given = files.map((file) => ({file}));
    givenAt = 0;
    showSteps();
  }
  if (files.length) openFile(files[0]);
  e.target.value = '';
});
document.getElementById('previous-map').addEventListener('click', () => stepMap(-1));
document.getElementById('next-map').addEventListener('click', () => stepMap(1));
document.addEventListener('dragover', (e) => {
  e.preventDefault();
  document.body.classList.add('dragging');
});
document.addEventListener('dragleave', () => document.body.classList.remove('dragging'));
document.addEventListener('drop', (e) => {
  e.preventDefault();
  document.body.classList.remove('dragging');
  if (e.dataTransfer && e.dataTransfer.files.length) openFile(e.dataTransfer.files[0]);
});

// Leaving the page (closing it, reloading it, another address) with unsaved edits asks first.
window.addEventListener('beforeunload', (e) => {
  if (!window.kelvane.unsaved) return;
  e.preventDefault();
  e.returnValue = '';
});
