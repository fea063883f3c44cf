// The bridge to the viewer: what it prints, what it asks for, and its state after every frame.
'use strict';

let formatted = '';  // the hidden lattices as the viewer last wrote them
let flightText = ''; // the keyframes as the viewer last wrote them
let views = 0;       // the views P printed that the page has shown

// The Controls box's keys: the page's rows of the viewer's key table, as its F1 sheet lists them.
function fillKeys() {
  const table = document.getElementById('keys');
  window.kelvane.keys = [];
  for (const line of UTF8ToString(Module._kelvanePageHelp()).split('\n').filter(Boolean)) {
    const [keys, does] = line.split('\t');
    const row = table.insertRow();
    row.insertCell().textContent = keys;
    row.insertCell().textContent = does;
    window.kelvane.keys.push(keys + ': ' + does);
  }
}

var Module = {
  canvas,
  print(text) { say(text, false); },
  printErr(text) { say(text, false); },
  kelvaneQuit: false,
  kelvaneNextMap() {
    return new Promise((resolve) => {
      if (queued) {
        forgetMaps(queued.path);
        resolve(queued);
        queued = null;
      } else {
        waiting = resolve;
      }
    }).then((next) => { running = true; views = 0; return next; }); // a new run counts P from 0
  },
  kelvaneEnded(code) {
    stopRecording(); // what was recorded until the viewer stopped
    running = false;
    if (Module.kelvaneQuit) {
      Module.kelvaneQuit = false; // stopped for the next map
    } else if (code === 0) {
      window.kelvane.state = 'stopped';
      say('The viewer stopped. Open a map to start again.', false);
    } else if (!comparisonFailed()) {
      window.kelvane.state = 'error';
    }
  },
  kelvanePass() { window.kelvane.passes++; },
  // The viewer's state after each frame, all of it in one object (see PageView).
  kelvaneBridge({camera, selected, lattice, hidden, outline, changes, measure, flight, playing, view,
                 picture, section, saved, unsaved}) {
    window.kelvane.frames++;
    window.kelvane.unsaved = unsaved;
    if (outline !== null) buildOutline(outline, changes);
    window.kelvane.section = section;
    if (picture) downloadPicture(picture);
    if (saved) downloadMap(saved);
    if (view.count !== views) {
      views = view.count;
      cameraLine.textContent = view.line;
      history.replaceState(null, '', '#camera=' + view.camera + (view.selected >= 0 ? '&select=' + view.selected : '') +
                           (view.hidden ? '&hide=' + view.hidden : '') + (view.section ? '&' + view.section : ''));
    }
    if (hidden !== formatted) {
      formatted = hidden;
      window.kelvane.hidden = parseAddress('', '#hide=' + hidden).hide;
      markHidden(window.kelvane.hidden);
    }
    if (camera) window.kelvane.camera = camera.map((v) => String(+v.toPrecision(9))).join(',');
    window.kelvane.selected = selected >= 0 ? selected : null;
    markSelected(window.kelvane.selected);
    if (latticePanel.textContent !== lattice) latticePanel.textContent = lattice;
    if (flight.join('\n') !== flightText) {
      flightText = flight.join('\n');
      window.kelvane.flight = flight;
    }
    followPlaying(playing);
    const measured = measure || measureHint;
    if (measurePanel.textContent !== measured) measurePanel.textContent = measured;
    if (window.kelvane.state === 'loading') {
      window.kelvane.state = 'running';
      comparing = false;
      // A map that opens takes the keys (unless the user is typing), until the user moves the
      // focus elsewhere.
      const typing = document.activeElement && /^(INPUT|TEXTAREA|SELECT)$/.test(document.activeElement.tagName) &&
          document.activeElement.type !== 'file';
      if (!typing) canvas.focus({preventScroll: true});
    }
    if (loading) {
      loading = false;
      window.kelvane.loads++;
      if (checkSelection >= 0 && selected !== checkSelection)
        say(`select=${checkSelection}: the map draws no lattice ${checkSelection}; nothing is selected`, false);
      checkSelection = -1;
      const missing = checkHidden.filter((i) => !window.kelvane.hidden.includes(i));
      if (missing.length) say(`hide=${missing.join(',')}: the map draws no such lattice; not hidden`, false);
      checkHidden = [];
    }
  },
  kelvaneMessage(text, error) { say(text, error); },
  onAbort(what) { say('The viewer stopped unexpectedly: ' + what, true); },
  onRuntimeInitialized() {
    fillKeys();
    startMaps();
  },
};
