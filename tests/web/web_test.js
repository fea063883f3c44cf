// Drives the web viewer in headless Chromium (WebGL through SwiftShader) and saves what a
// user would see: canvas pictures as PNG files and the page's state as results.json, which
// web_test.sh checks. Usage: node web_test.js BASE_URL OUT_DIR SITE_DIR (the served folder,
// whose map Reload's test changes)
const puppeteer = require('puppeteer-core');
const fs = require('fs');

const [base, out, site] = process.argv.slice(2);
const results = {};

// Waits for `n` passes of the viewer's loop (a pass takes a message and draws a frame when
// anything changed; the viewer draws nothing while nothing does).
async function frames(page, n) {
  const start = await page.evaluate(() => window.kelvane.passes);
  await page.waitForFunction((s, k) => window.kelvane.passes >= s + k, {timeout: 30000}, start, n);
}

// The page at `query` with the canvas fixed at 640 x 480, so pictures compare with
// `kelvane render`.
function fixed(query) {
  if (query.startsWith('?')) return base + '?size=640x480&' + query.slice(1);
  return base + '?size=640x480' + query;
}

async function open(browser, query) {
  const page = await browser.newPage();
  await page.setViewport({width: 1100, height: 800});
  page.on('pageerror', (e) => console.log('page error:', e.message));
  await page.goto(fixed(query));
  await page.waitForFunction('window.kelvane.state !== "loading"', {timeout: 30000});
  if (await page.evaluate(() => window.kelvane.state) === 'running') await frames(page, 3);
  return page;
}

async function shot(page, name) {
  await (await page.$('canvas')).screenshot({path: `${out}/${name}.png`});
}

async function state(page) {
  return page.evaluate(() => ({
    state: window.kelvane.state, frames: window.kelvane.frames, camera: window.kelvane.camera,
    selected: window.kelvane.selected, panel: document.getElementById('lattice').textContent,
    hidden: window.kelvane.hidden,
    cameraLine: document.getElementById('camera-line').textContent,
    messages: document.getElementById('messages').textContent, hash: location.hash,
    title: document.title,
  }));
}

// Counts WebGL draw calls and the bytes handed to bufferData, from the page's start.
async function countGl(page) {
  await page.evaluateOnNewDocument(() => {
    const p = WebGLRenderingContext.prototype, draw = p.drawArrays, data = p.bufferData;
    window.glCount = {draws: 0, bytes: 0};
    p.drawArrays = function (...a) { window.glCount.draws++; return draw.apply(this, a); };
    p.bufferData = function (t, d, u) {
      window.glCount.bytes += (d && d.byteLength) || 0;
      return data.call(this, t, d, u);
    };
  });
}

// Draw calls and bytes sent per frame over the next `n` passes, with Shift held so that every
// pass draws (a held key keeps the frames coming; nothing moves).
async function perFrame(page, n) {
  await page.keyboard.down('Shift');
  await frames(page, 1);
  const start = await page.evaluate(() => ({...window.glCount, frames: window.kelvane.frames}));
  await frames(page, n);
  const end = await page.evaluate(() => ({...window.glCount, frames: window.kelvane.frames}));
  await page.keyboard.up('Shift');
  const f = end.frames - start.frames;
  return {drawsPerFrame: (end.draws - start.draws) / f, bytesPerFrame: (end.bytes - start.bytes) / f};
}

// axe-core's serious and critical findings on the page, as "rule: count" (none is the goal).
async function axeViolations(page) {
  await page.addScriptTag({path: require.resolve('axe-core/axe.min.js')});
  return page.evaluate(async () => (await axe.run(document)).violations
      .filter((v) => v.impact === 'serious' || v.impact === 'critical')
      .map((v) => `${v.id}: ${v.nodes.length} (${v.nodes.map((n) => n.target.join(' ')).join(', ')})`));
}

// Drops the site's map `url` on the page as a file named `name`.
async function drop(page, url, name) {
  await page.evaluate(async (url, name) => {
    const bytes = await (await fetch(url)).arrayBuffer();
    const data = new DataTransfer();
    data.items.add(new File([bytes], name));
    document.dispatchEvent(new DragEvent('drop', {dataTransfer: data, bubbles: true, cancelable: true}));
  }, url, name);
}

// Presses `key` n times, each press and its release handed to the page in one task, so no
// frame falls between them: every press moves one step, however slow the machine (a release a
// frame late would hold the key a second frame). Then waits for the camera to read `camera`.
async function taps(page, key, n, camera) {
  await page.evaluate((key, n) => {
    const code = /^[0-9]$/.test(key) ? 'Digit' + key : key.length === 1 ? 'Key' + key.toUpperCase() : key;
    for (let i = 0; i < n; i++)
      for (const type of ['keydown', 'keyup'])
        window.dispatchEvent(new KeyboardEvent(type, {key, code, bubbles: true}));
  }, key, n);
  await page.waitForFunction((c) => window.kelvane.camera === c, {timeout: 30000}, camera);
  await frames(page, 2);
}

(async () => {
  const browser = await puppeteer.launch({
    executablePath: '/usr/bin/chromium', headless: true,
    args: ['--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader',
           '--ignore-gpu-blocklist', '--disable-background-timer-throttling'],
  });
  try {
    // The page loads without a request that fails (the favicon included).
    const failed = [];
    const first = await browser.newPage();
    first.on('requestfailed', (r) => failed.push(r.url()));
    first.on('response', (r) => { if (r.status() >= 400) failed.push(r.status() + ' ' + r.url()); });
    await first.goto(fixed('?map=box.map'));
    await first.waitForFunction('window.kelvane.state === "running"', {timeout: 30000});
    await frames(first, 3);
    results.failedRequests = failed;
    await first.close();

    let page = await open(browser, '?map=box.map');
    await shot(page, 'box');
    results.box = await state(page);
    await taps(page, 'e', 10, '0,0,10,0,0');
    await taps(page, 'ArrowUp', 30, '0,0,10,30,0');
    await shot(page, 'flown');
    await page.keyboard.press('p');
    await page.waitForFunction(() => document.getElementById('camera-line').textContent !== '');
    results.afterP = await state(page);
    // F1 and I in the canvas: the help sheet and the info panel, drawn by the viewer.
    await page.keyboard.press('F1');
    await frames(page, 3);
    await shot(page, 'help');
    // Typed with the sheet shown, a word keeps only the rows that hold it.
    await page.keyboard.type('grid');
    await frames(page, 3);
    await shot(page, 'helpGrid');
    await page.keyboard.press('F1');
    await page.keyboard.press('i');
    await frames(page, 3);
    await shot(page, 'info');
    await page.keyboard.press('i');
    await frames(page, 3);
    await shot(page, 'noinfo');
    // Escape leaves a mode, innermost first, and never stops the viewer: the help sheet, then
    // moving (with the edit unsaved nothing is asked), then the selection.
    let asks = 0;
    page.on('dialog', (d) => { asks++; d.accept(); }); // the drop below asks about the edit
    await page.keyboard.press('F1');
    await frames(page, 3);
    await page.keyboard.press('Escape');
    await frames(page, 3);
    await shot(page, 'helpLeft');
    await page.keyboard.press('Tab');
    await page.waitForFunction(() => window.kelvane.selected === 0, {timeout: 30000});
    for (const key of ['m', 'e', 'Escape']) await page.keyboard.press(key);
    await page.waitForFunction(() => document.getElementById('messages').textContent.includes('moving ended'), {timeout: 30000});
    const moving = await state(page);
    await page.keyboard.press('Escape');
    await page.waitForFunction(() => window.kelvane.selected === null, {timeout: 30000});
    await page.keyboard.press('Escape');
    await frames(page, 3);
    results.escape = {...await state(page), asks, movingSelected: moving.selected,
                      keys: await page.evaluate(() => window.kelvane.keys),
                      unsaved: await page.evaluate(() => window.kelvane.unsaved)};
    // A dropped file opens in place of the running one.
    await drop(page, 'box.map', 'dropped.map');
    await page.waitForFunction('window.kelvane.state === "running"', {timeout: 30000});
    await frames(page, 3);
    await shot(page, 'dropped');
    results.dropped = await state(page);
    await page.close();

    page = await open(browser, '?map=box.map' + results.afterP.hash);
    await shot(page, 'shared');
    results.shared = await state(page);
    await page.close();

    // C through the canvas cuts at the height under the pointer (the front wall's middle); P
    // puts the cut in the link, which opens with it.
    page = await open(browser, '?map=box.map');
    const canvasBox = await (await page.$('canvas')).boundingBox();
    await page.mouse.move(canvasBox.x + canvasBox.width / 2, canvasBox.y + canvasBox.height / 2);
    await page.keyboard.press('c');
    await page.keyboard.press('p');
    await page.waitForFunction(() => document.getElementById('camera-line').textContent !== '');
    await frames(page, 3);
    await shot(page, 'cut');
    results.cut = await state(page);
    await page.close();
    page = await open(browser, '?map=box.map' + results.cut.hash);
    await shot(page, 'cutShared');
    await page.close();

    // A keyframe file opened on the page becomes the flight; 2 then jumps to its second keyframe.
    fs.writeFileSync(`${site}/keys.txt`, '# kelvane flight\n--camera 0,0,5,0,0\n--camera 1,2,3,10,20\n');
    page = await open(browser, '?map=box.map');
    await drop(page, 'keys.txt', 'keys.txt');
    await page.waitForFunction(() => window.kelvane.flight.length === 2, {timeout: 30000});
    await page.focus('canvas');
    await taps(page, '2', 1, '1,2,3,10,20');
    results.flightFile = {...await state(page), flight: await page.evaluate(() => window.kelvane.flight)};
    await page.close();

    // Numpad 7 through the canvas looks from the top, orthographic; P puts it in the link.
    page = await open(browser, '?map=box.map');
    await page.keyboard.press('Numpad7');
    await page.keyboard.press('p');
    await page.waitForFunction(() => document.getElementById('camera-line').textContent !== '');
    await frames(page, 3);
    await shot(page, 'top');
    results.top = await state(page);
    await page.close();
    page = await open(browser, '?map=box.map' + results.top.hash);
    await shot(page, 'topShared');
    await page.close();

    // Home on a scene deeper than 1000 units pushes the far plane out; P puts it in the link.
    page = await open(browser, '?map=deep.map');
    await page.focus('canvas');
    await page.keyboard.press('Home');
    await page.keyboard.press('p');
    await page.waitForFunction(() => document.getElementById('camera-line').textContent !== '');
    await frames(page, 3);
    await shot(page, 'deep');
    results.deep = await state(page);
    await page.close();
    page = await open(browser, '?map=deep.map' + results.deep.hash);
    await shot(page, 'deepShared');
    await page.close();

    page = await open(browser, '?map=side.map');
    await page.keyboard.down('t');
    await frames(page, 3);
    await shot(page, 'axes');
    await page.keyboard.up('t');
    await frames(page, 3);
    await shot(page, 'noaxes');
    await page.close();

    page = await open(browser, '');
    await shot(page, 'demo');
    // Save picture: the view without panels (I shows the info panel in the canvas) as a PNG.
    await page.keyboard.press('i');
    await frames(page, 2);
    await page.click('#picture');
    await page.waitForFunction(() => window.kelvane.picture !== null, {timeout: 30000});
    const picture = await page.evaluate(async () => {
      const bytes = new Uint8Array(await (await fetch(window.kelvane.picture.url)).arrayBuffer());
      let text = '';
      for (const b of bytes) text += String.fromCharCode(b);
      return {name: window.kelvane.picture.name, base64: btoa(text)};
    });
    fs.writeFileSync(`${out}/picture.png`, Buffer.from(picture.base64, 'base64'));
    results.picture = {name: picture.name, messages: (await state(page)).messages};
    await page.focus('canvas');
    await page.keyboard.press('i');
    await frames(page, 2);
    // Frames a second while a key is held (Shift moves nothing): the viewer draws nothing idle.
    await page.keyboard.down('Shift');
    const f0 = (await state(page)).frames, t0 = Date.now();
    await new Promise((r) => setTimeout(r, 3000));
    results.demoFps = ((await state(page)).frames - f0) / ((Date.now() - t0) / 1000);
    await page.keyboard.up('Shift');
    results.idle = {before: (await state(page)).frames};
    await new Promise((r) => setTimeout(r, 1000));
    results.idle.after = (await state(page)).frames;
    await page.close();

    // The mouse on the canvas: a click picks, Tab and Backspace change the selection, a drag
    // turns and the wheel moves; P puts the selection in the address, and a link with it
    // opens with that lattice selected.
    page = await open(browser, '?map=pair.map');
    const box = await (await page.$('canvas')).boundingBox();
    const at = (x, y) => [box.x + x, box.y + y];
    const until = (f, ...a) => page.waitForFunction(f, {timeout: 30000}, ...a);
    await page.mouse.click(...at(510, 240));
    await until(() => window.kelvane.selected === 1);
    await frames(page, 2);
    results.clicked = await state(page);
    await page.keyboard.press('Tab');
    await until(() => window.kelvane.selected === 0);
    results.tabbed = await state(page);
    await page.keyboard.press('Backspace');
    await until(() => window.kelvane.selected === null);
    results.cleared = await state(page);
    await page.mouse.move(...at(300, 300));
    await page.mouse.down();
    await page.mouse.move(...at(320, 290));
    await page.mouse.move(...at(340, 280));
    await page.mouse.up();
    await until(() => window.kelvane.camera === '0,0,0,5,10');
    await page.mouse.move(...at(320, 240));
    await page.mouse.wheel({deltaY: -100});
    await page.mouse.wheel({deltaY: -100});
    await until(() => window.kelvane.camera !== '0,0,0,5,10');
    await frames(page, 2);
    results.dragged = await state(page);
    results.dragged.camera = results.dragged.camera.split(',').map((v) => +(+v).toFixed(3)).join(',');
    await page.mouse.click(...at(320, 240));
    await until(() => window.kelvane.selected !== null);
    await page.keyboard.press('p');
    await until(() => location.hash.includes('select'));
    results.selectedP = await state(page);
    await page.close();
    page = await open(browser, '?map=pair.map#camera=0,0,0,0,0&select=0');
    await shot(page, 'linked');
    results.linked = await state(page);
    // H hides the selected lattice; P puts &hide= in the address, and a link with it opens
    // with those hidden (what the map does not draw is said).
    await page.keyboard.press('h');
    await until(() => window.kelvane.hidden.length === 1);
    await page.keyboard.press('p');
    await until(() => location.hash.includes('hide'));
    results.hid = {...await state(page), hidden: await page.evaluate(() => window.kelvane.hidden)};
    await page.close();
    page = await open(browser, '?map=pair.map#camera=0,0,0,0,0&hide=0,7');
    await shot(page, 'hiddenLink');
    results.hiddenLink = {...await state(page), hidden: await page.evaluate(() => window.kelvane.hidden)};
    await page.close();

    // The outline: the tree by parent; a click selects, a double click selects and fits, a box
    // hides; #find keeps the matching rows and the keys typed in it; the selected row follows
    // Tab.
    page = await open(browser, '?map=family.map');
    const wait = (f, ...a) => page.waitForFunction(f, {timeout: 30000}, ...a);
    await wait(() => document.querySelectorAll('#outline .row').length === 4);
    results.tree = await page.$$eval('#outline .row', (rs) => rs.map((r) => [+r.dataset.index, +r.dataset.depth, r.textContent]));
    const row = (i) => page.$(`#outline .row[data-index="${i}"]`);
    await (await row(2)).click();
    await wait(() => window.kelvane.selected === 2);
    results.rowClicked = await state(page);
    results.rowClicked.marked = await page.$eval('#outline .selected', (r) => +r.dataset.index);
    const unfitted = (await state(page)).camera;
    await (await row(0)).click({count: 2});
    await wait((c) => window.kelvane.selected === 0 && window.kelvane.camera !== c, unfitted);
    results.rowFitted = {...await state(page), before: unfitted};
    await page.focus('#canvas'); // the keys are the viewer's while its canvas has the focus
    await page.keyboard.press('Tab');
    await wait(() => window.kelvane.selected === 1);
    results.rowFollows = await page.$eval('#outline .selected', (r) => +r.dataset.index);
    await page.click('#find');
    await page.keyboard.type('3');
    const shownRows = () => page.$$eval('#outline .row', (rs) => rs.filter((r) => !r.hidden).map((r) => +r.dataset.index));
    results.found = {rows: await shownRows()};
    await page.keyboard.type('ee');
    await frames(page, 3);
    Object.assign(results.found, await state(page), {value: await page.$eval('#find', (f) => f.value)});
    await page.close();
    page = await open(browser, '?map=pair.map');
    await page.waitForFunction(() => document.querySelectorAll('#outline .row').length === 2, {timeout: 30000});
    await page.click('#outline .row[data-index="0"] input');
    await page.waitForFunction(() => window.kelvane.hidden.join() === '0', {timeout: 30000});
    await frames(page, 3);
    await shot(page, 'unticked');
    results.unticked = {...await state(page), hidden: await page.evaluate(() => window.kelvane.hidden)};
    await page.click('#outline .row[data-index="0"] input');
    await page.waitForFunction(() => window.kelvane.hidden.length === 0, {timeout: 30000});
    await frames(page, 3);
    await shot(page, 'ticked');
    await page.close();
    // A link with &compare=: the changed rows marked by kind, "changed only", N through the
    // changes.
    page = await open(browser, '?map=changed.map&compare=family.map');
    await page.waitForFunction(() => document.querySelectorAll('#outline .row[data-change]').length === 3, {timeout: 30000});
    await shot(page, 'comparedLegend');
    await page.focus('#canvas');
    await page.keyboard.press('o'); // the legend away: the canvas is render --compare's
    await frames(page, 3);
    await shot(page, 'compared');
    await page.keyboard.press('o');
    await frames(page, 3);
    const compared = {rows: await page.$$eval('#outline .row', (rs) => rs.map((r) => `${r.dataset.index}:${r.dataset.change || ''}`))};
    await page.click('#changed-only');
    compared.changedOnly = await page.$$eval('#outline .row', (rs) => rs.filter((r) => !r.hidden).map((r) => +r.dataset.index));
    await page.focus('#canvas');
    for (let k = 0; k < 4; k++) {
      await page.keyboard.press('n');
      await page.waitForFunction((n) => document.getElementById('messages').textContent.includes(`change ${n} of 4`), {timeout: 30000}, k + 1);
      if (k === 2) compared.movedPanel = await page.$eval('#lattice', (p) => p.textContent);
    }
    await page.keyboard.press('p');
    await page.waitForFunction(() => document.getElementById('camera-line').textContent.includes('--compare'), {timeout: 30000});
    results.compared = {...compared, ...await state(page)};
    await page.close();
    // Compare with… after each way of opening a map: the demo, Open map…, a link, a drop. N then
    // steps through the changes.
    const compareWith = async (page, name) => (await page.$('#compare-file')).uploadFile(`${site}/${name}`);
    const changedRows = () => document.querySelectorAll('#outline .row[data-change]').length;
    results.compareAfter = {};
    for (const how of ['demo', 'open', 'link', 'drop']) {
      page = await open(browser, how === 'link' ? '?map=changed.map' : '');
      if (how === 'open') await (await page.$('#file')).uploadFile(`${site}/changed.map`);
      if (how === 'drop') await drop(page, 'changed.map', 'changed.map');
      if (how === 'open' || how === 'drop')
        await page.waitForFunction(() => window.kelvane.state === 'running' && window.kelvane.loads === 2, {timeout: 30000});
      await compareWith(page, 'family.map');
      await page.waitForFunction((f) => window.kelvane.state !== 'loading' && eval(f)() > 0, {timeout: 30000}, changedRows.toString());
      await page.focus('#canvas');
      await page.keyboard.press('n');
      await page.waitForFunction(() => /change 1 of/.test(document.getElementById('messages').textContent), {timeout: 30000});
      results.compareAfter[how] = {...await state(page), changed: await page.evaluate(changedRows)};
      await page.close();
    }
    // A comparison that fails says why, keeps the map shown and leaves compare mode: a link's
    // old map that is no map, or that is missing, and Compare with… a file that is no map.
    for (const [name, query] of [['badCompare', '?map=changed.map&compare=noise.map'],
                                 ['missingCompare', '?map=changed.map&compare=nowhere.map']]) {
      page = await open(browser, query);
      await page.waitForFunction(() => window.kelvane.state === 'running', {timeout: 30000});
      await frames(page, 3);
      results[name] = {...await state(page), changed: await page.evaluate(changedRows),
                       rows: await page.$$eval('#outline .row', (rs) => rs.length)};
      await (await page.$('#file')).uploadFile(`${site}/box.map`);
      await page.waitForFunction(() => window.kelvane.state === 'running' && window.kelvane.loads === 2, {timeout: 30000});
      results[name].thenOpened = await page.$$eval('#outline .row', (rs) => rs.length);
      await page.close();
    }
    page = await open(browser, '?map=changed.map');
    await compareWith(page, 'noise.map');
    await page.waitForFunction(() => /not compared with noise.map/.test(document.getElementById('messages').textContent), {timeout: 30000});
    await page.waitForFunction(() => window.kelvane.state === 'running' && window.kelvane.loads === 2, {timeout: 30000});
    results.compareNoise = {...await state(page), changed: await page.evaluate(changedRows)};
    await compareWith(page, 'family.map'); // and a good one after it works
    await page.waitForFunction((f) => eval(f)() > 0, {timeout: 30000}, changedRows.toString());
    results.compareNoise.thenChanged = await page.evaluate(changedRows);
    await page.close();
    // Open map… with several files: "previous" and "next" step through them in name order,
    // wrapping, keeping the camera; ?maps= gives such a list by address.
    page = await open(browser, '');
    await (await page.$('#file')).uploadFile(`${site}/family.map`, `${site}/box.map`, `${site}/changed.map`);
    await page.waitForFunction(() => window.kelvane.state === 'running' && window.kelvane.loads === 2, {timeout: 30000});
    await page.focus('#canvas');
    for (let k = 0; k < 3; k++) await page.keyboard.press('e');
    await frames(page, 5);
    const steps = {before: await state(page), shown: await page.$eval('#next-map', (b) => !b.hidden)};
    await page.click('#next-map');
    await page.waitForFunction(() => window.kelvane.state === 'running' && window.kelvane.loads === 3, {timeout: 30000});
    await frames(page, 3);
    steps.next = await state(page);
    await page.click('#previous-map');
    await page.waitForFunction(() => window.kelvane.state === 'running' && window.kelvane.loads === 4, {timeout: 30000});
    await page.click('#previous-map');
    await page.waitForFunction(() => window.kelvane.state === 'running' && window.kelvane.loads === 5, {timeout: 30000});
    await frames(page, 3);
    steps.wrapped = await state(page);
    await page.close();
    page = await open(browser, '?maps=box.map,family.map');
    steps.link = {...await state(page), shown: await page.$eval('#next-map', (b) => !b.hidden),
                  rows: await page.$$eval('#outline .row', (rs) => rs.length)};
    await page.close();
    page = await open(browser, '');
    steps.alone = await page.$eval('#next-map', (b) => !b.hidden);
    await page.close();
    results.steps = steps;
    // Editing: Tab selects lattice 0, M E M moves it a cell forward, Save map downloads the map.
    page = await open(browser, '?map=family.map');
    await page.focus('#canvas');
    await page.keyboard.press('Tab');
    await page.waitForFunction(() => window.kelvane.selected === 0, {timeout: 30000});
    for (const key of ['m', 'e', 'm']) await page.keyboard.press(key);
    await page.waitForFunction(() => document.getElementById('messages').textContent.includes('moving ended'), {timeout: 30000});
    // Reload with the edit unsaved asks first; Cancel keeps the map and the edit.
    let asked = null;
    page.once('dialog', (d) => { asked = d.message(); d.dismiss(); });
    await page.click('#reload');
    await frames(page, 3);
    const keptEdit = await page.evaluate(() => window.kelvane.unsaved);
    await page.click('#save');
    await page.waitForFunction(() => window.kelvane.savedMap, {timeout: 30000});
    const saved = await page.evaluate(async () =>
      Array.from(new Uint8Array(await (await fetch(window.kelvane.savedMap.url)).arrayBuffer())));
    fs.writeFileSync(`${out}/saved.map`, Buffer.from(saved));
    results.edited = {...await state(page), name: await page.evaluate(() => window.kelvane.savedMap.name),
                      asked, keptEdit, unsavedAfterSave: await page.evaluate(() => window.kelvane.unsaved)};
    await page.close();
    // The 2,000-lattice map: how long the outline takes to build, and that it scrolls.
    page = await open(browser, '?map=heights.map');
    await page.waitForFunction(() => window.kelvane.outlineMs !== null, {timeout: 120000});
    // Scrolling is timed against as many frames without it: the viewer draws the map in the
    // same frames, so the difference is what the scrolling costs.
    results.bigOutline = await page.evaluate(async () => {
      const o = document.getElementById('outline');
      const frame = () => new Promise((r) => requestAnimationFrame(r));
      const timed = async (step) => {
        const t0 = performance.now();
        for (let i = 0; i < 60; i++) {
          step();
          await frame();
        }
        return (performance.now() - t0) / 60;
      };
      const still = await timed(() => {});
      const scrolled = await timed(() => {
        o.scrollTop = o.scrollTop + o.clientHeight >= o.scrollHeight - 1 ? 0 : o.scrollTop + o.clientHeight / 2;
      });
      return {rows: o.querySelectorAll('.row').length, ms: window.kelvane.outlineMs, still, scrolled};
    });
    await page.close();

    // The page as an application: the canvas fills the window beside the side bar and follows
    // its size (P then says --size); the side bar collapses; on a phone it is a drawer.
    page = await browser.newPage();
    await page.setViewport({width: 1000, height: 700});
    await page.goto(base + '?map=box.map');
    await page.waitForFunction('window.kelvane.state === "running"', {timeout: 30000});
    const canvasSize = () => page.evaluate(() => [canvas.width, canvas.height].join('x'));
    results.layout = {wide: await canvasSize()};
    await page.setViewport({width: 1200, height: 600});
    await page.waitForFunction(() => canvas.width === 1200 - document.getElementById('sidebar').offsetWidth, {timeout: 30000});
    await frames(page, 3);
    await page.keyboard.press('p');
    await page.waitForFunction(() => document.getElementById('camera-line').textContent !== '', {timeout: 30000});
    results.layout.resized = await canvasSize();
    results.layout.line = await page.$eval('#camera-line', (e) => e.textContent);
    await page.click('#toggle');
    await page.waitForFunction(() => canvas.width === 1200, {timeout: 30000});
    results.layout.collapsed = await canvasSize();
    await page.click('#toggle');
    await page.setViewport({width: 390, height: 800});
    await page.waitForFunction(() => canvas.width === 390, {timeout: 30000});
    await new Promise((r) => setTimeout(r, 400)); // the drawer slides out
    const drawer = () => page.$eval('#sidebar', (e) => Math.round(e.getBoundingClientRect().left));
    results.layout.phone = {canvas: await canvasSize(), closed: await drawer()};
    await page.click('#toggle');
    await page.waitForFunction(() => Math.round(document.getElementById('sidebar').getBoundingClientRect().left) < 390, {timeout: 30000});
    await new Promise((r) => setTimeout(r, 400)); // the drawer slides in
    results.layout.phone.open = await drawer();
    await page.close();

    // Touch through the DevTools protocol: a tap picks, one finger turns, two fingers pan,
    // a pinch apart moves forward; the page does not scroll.
    page = await open(browser, '?map=pair.map');
    await page.evaluate(() => { document.body.style.height = '3000px'; });
    const tbox = await (await page.$('canvas')).boundingBox();
    const cdp = await page.target().createCDPSession();
    const touch = (type, points) => cdp.send('Input.dispatchTouchEvent', {
      type, touchPoints: points.map(([x, y], id) => ({x: tbox.x + x, y: tbox.y + y, id})),
    });
    const tuntil = (f, ...a) => page.waitForFunction(f, {timeout: 30000}, ...a);
    // Fingers down at the first points, moved through the others a frame apart, then lifted.
    const gesture = async (first, ...moves) => {
      await touch('touchStart', first);
      for (const points of moves) {
        await frames(page, 2);
        await touch('touchMove', points);
      }
      await frames(page, 2);
      await touch('touchEnd', []);
    };
    await touch('touchStart', [[510, 240]]);
    await touch('touchEnd', []);
    await tuntil(() => window.kelvane.selected === 1);
    results.tapped = await state(page);
    await gesture([[300, 300]], [[320, 290]], [[340, 280]]);
    await tuntil(() => window.kelvane.camera === '0,0,0,5,10');
    results.turned = await state(page);
    await gesture([[300, 300], [340, 300]], [[300, 295], [340, 295]], [[300, 290], [340, 290]]);
    await frames(page, 3);
    results.panned = await state(page);
    results.panned.camera = results.panned.camera.split(',').map((v) => +(+v).toFixed(3)).join(',');
    const before = (await state(page)).camera;
    await gesture([[300, 300], [340, 300]], [[290, 300], [350, 300]], [[280, 300], [360, 300]]);
    await frames(page, 3);
    results.pinched = await state(page);
    results.pinched.forward = results.pinched.camera !== before &&
        +results.pinched.camera.split(',')[2] > +before.split(',')[2];
    results.pinched.scroll = await page.evaluate(() => window.scrollY);
    await page.keyboard.press('Home');
    await frames(page, 3);
    results.homed = await state(page);
    // Two fingers turned 20 degrees about their midpoint orbit the view 20 degrees.
    const around = (deg) => [0, 180].map((a) => [320 + 20 * Math.cos((a + deg) * Math.PI / 180), 300 + 20 * Math.sin((a + deg) * Math.PI / 180)]);
    await gesture(around(0), around(10), around(20));
    await frames(page, 3);
    results.twisted = await state(page);
    await page.close();

    // X shows the axes marker in the canvas's bottom right corner.
    page = await open(browser, '?map=box.map');
    await page.focus('canvas');
    await page.keyboard.press('x');
    await frames(page, 3);
    await shot(page, 'marker');
    await page.close();

    // Measuring: Ctrl+click sets A, a long press B; the page's panel shows both and the distance.
    page = await open(browser, '?map=pair.map');
    const mbox = await (await page.$('canvas')).boundingBox();
    const measured = (what) => page.waitForFunction((w) => document.getElementById('measure').textContent.includes(w), {timeout: 30000}, what);
    await page.keyboard.down('Control');
    await page.mouse.click(mbox.x + 320, mbox.y + 240);
    await page.keyboard.up('Control');
    await measured('point A');
    const mcdp = await page.target().createCDPSession();
    await mcdp.send('Input.dispatchTouchEvent', {type: 'touchStart', touchPoints: [{x: mbox.x + 400, y: mbox.y + 300, id: 0}]});
    await new Promise((r) => setTimeout(r, 700));
    await mcdp.send('Input.dispatchTouchEvent', {type: 'touchEnd', touchPoints: []});
    await measured('point B');
    results.measured = {...await state(page), measure: await page.$eval('#measure', (e) => e.textContent)};
    await page.close();

    // Flights: Enter adds keyframes (window.kelvane.flight holds them); Record plays the flight
    // and records the canvas into a WebM video offered to save.
    page = await open(browser, '?map=box.map');
    await page.keyboard.press('Enter');
    await taps(page, 'e', 10, '0,0,10,0,0');
    await page.keyboard.press('Enter');
    await page.waitForFunction(() => window.kelvane.flight.length === 2, {timeout: 30000});
    await page.click('#record');
    await page.waitForFunction(() => window.kelvane.recording !== null, {timeout: 60000});
    results.recorded = {...await state(page), flight: await page.evaluate(() => window.kelvane.flight),
                        recording: await page.evaluate(() => window.kelvane.recording),
                        link: await page.$eval('#messages a[download]', (a) => a.download)};
    await page.close();

    // Reload fetches the ?map= address again after the served map changed, keeping the view.
    fs.copyFileSync(`${site}/box.map`, `${site}/live.map`);
    page = await open(browser, '?map=live.map');
    await taps(page, 'e', 10, '0,0,10,0,0');
    // A press whose release lands a frame late moves once more (the key was held two frames):
    // the camera Reload must keep is the one it found.
    const cameraBeforeReload = (await state(page)).camera;
    fs.copyFileSync(`${site}/side.map`, `${site}/live.map`);
    await page.click('#reload');
    await page.waitForFunction('window.kelvane.loads === 2', {timeout: 30000});
    await frames(page, 3);
    await shot(page, 'reloaded');
    results.reloaded = await state(page);
    results.reloaded.loads = await page.evaluate(() => window.kelvane.loads);
    results.reloaded.before = cameraBeforeReload;
    await page.close();

    // Big maps: the 2.1 M-triangle map and the 64 MB map of 16 M heights open and draw; once
    // loaded, a frame sends no vertex data, and the draw calls are one per lattice drawn.
    for (const name of ['frame', 'heights']) {
      page = await browser.newPage();
      await countGl(page);
      await page.goto(fixed(`?map=${name}.map`));
      await page.waitForFunction('window.kelvane.state !== "loading"', {timeout: 120000});
      const r = results[name] = await state(page);
      if (r.state === 'running') {
        await frames(page, 2);
        Object.assign(r, await perFrame(page, 3));
      }
      await page.close();
    }

    // The demo with a lattice selected (drawn triangle by triangle): its triangles go out in
    // one draw call, not one each.
    page = await browser.newPage();
    await countGl(page);
    await page.goto(fixed('#camera=0,0,0,0,0&select=0'));
    await page.waitForFunction('window.kelvane.state === "running"', {timeout: 30000});
    await frames(page, 2);
    results.selectedDemo = await perFrame(page, 3);
    await page.close();

    // A lost WebGL context: the page says so, and once the browser restores it the viewer
    // builds its buffers again and shows the same picture.
    page = await open(browser, '?map=box.map');
    await page.evaluate(() => {
      window.loseContext = document.getElementById('canvas').getContext('webgl')
          .getExtension('WEBGL_lose_context');
      window.loseContext.loseContext();
    });
    await page.waitForFunction(() => /context was lost/.test(
        document.getElementById('messages').textContent), {timeout: 30000});
    await frames(page, 2);
    await page.evaluate(() => window.loseContext.restoreContext());
    await page.waitForFunction(() => /context was restored/.test(
        document.getElementById('messages').textContent), {timeout: 30000});
    await frames(page, 3);
    await shot(page, 'restored');
    results.restored = await state(page);
    await page.close();

    // A driver that cannot compile the shaders: the page says so and is in state "error".
    page = await browser.newPage();
    await page.evaluateOnNewDocument(() => {
      const real = WebGLRenderingContext.prototype.getShaderParameter;
      WebGLRenderingContext.prototype.getShaderParameter = function (s, p) {
        return p === this.COMPILE_STATUS ? false : real.call(this, s, p);
      };
    });
    await page.goto(fixed('?map=box.map'));
    await page.waitForFunction('window.kelvane.state === "error"', {timeout: 30000});
    results.shaderFails = await state(page);
    await page.close();

    // Links from strangers: nothing in the address throws or leaves the page stuck, and what
    // is malformed or out of range is said and left out.
    const links = {
      percent: '?map=100%25.map', badEscape: '?map=box.map#camera=%', tooBig: '?map=box.map#camera=1e39,0,0,0,0',
      wrapping: '?map=box.map#camera=0,0,0,0,0&select=4294967296', noSuch: '?map=box.map#camera=0,0,0,0,0&select=9',
      huge: '?map=huge.map',
    };
    for (const [name, query] of Object.entries(links)) {
      page = await browser.newPage();
      const errors = [];
      page.on('pageerror', (e) => errors.push(e.message));
      await page.goto(fixed(query));
      await page.waitForFunction('window.kelvane.state !== "loading"', {timeout: 60000});
      if (await page.evaluate(() => window.kelvane.state) === 'running') await frames(page, 3);
      if (name === 'badEscape') { // a later open still works
        await drop(page, 'side.map', 'side.map');
        await page.waitForFunction('window.kelvane.loads === 2', {timeout: 30000});
        await frames(page, 3);
      }
      if (name !== 'huge') await shot(page, 'link-' + name);
      results[name] = {...await state(page), errors};
      await page.close();
    }

    // Reload sends no cookie and no referrer with the map's request.
    page = await open(browser, '?map=box.map');
    await page.evaluate(() => { document.cookie = 'session=secret'; });
    const sent = [];
    page.on('request', (r) => { if (r.url().endsWith('box.map')) sent.push(r.headers()); });
    await page.click('#reload');
    await page.waitForFunction('window.kelvane.loads === 2', {timeout: 30000});
    results.credentials = {cookie: sent.some((h) => !!h.cookie), referer: sent.some((h) => !!h.referer),
                           requests: sent.length};
    await page.close();

    // Thirty maps one after another: the page keeps one map file and one WebGL context, and
    // its memory stays where it was after the first few.
    page = await browser.newPage();
    await page.evaluateOnNewDocument(() => {
      const get = HTMLCanvasElement.prototype.getContext;
      window.contextsMade = 0;
      HTMLCanvasElement.prototype.getContext = function (...a) {
        const c = get.apply(this, a);
        if (c) window.contextsMade++;
        return c;
      };
    });
    await page.goto(fixed('?map=box.map'));
    await page.waitForFunction('window.kelvane.state === "running"', {timeout: 30000});
    const memory = [];
    for (let i = 1; i <= 30; i++) {
      await drop(page, i % 2 ? 'pair.map' : 'side.map', `map${i}.map`);
      await page.waitForFunction((n) => window.kelvane.loads === n, {timeout: 30000}, i + 1);
      await frames(page, 2);
      if (i === 5 || i === 30) {
        memory.push(await page.evaluate(() => ({
          heap: HEAPU8.length, files: FS.readdir('/maps').length - 2,
          contexts: GL.contexts.filter(Boolean).length, made: window.contextsMade,
        })));
      }
    }
    results.thirty = {after5: memory[0], after30: memory[1], state: (await state(page)).state};
    await page.close();

    // The page as it opens at a browser's full size (no ?size=): the picture fills the canvas
    // from the first frame, and a click on a lattice selects it.
    page = await browser.newPage();
    await page.setViewport({width: 1280, height: 800});
    await page.goto(base + '?map=pair.map');
    await page.waitForFunction('window.kelvane.state === "running"', {timeout: 30000});
    await frames(page, 3);
    await shot(page, 'full');
    const fbox = await (await page.$('canvas')).boundingBox();
    await page.mouse.click(fbox.x + fbox.width / 2, fbox.y + fbox.height / 2);
    await frames(page, 3);
    results.full = {...await state(page), size: await page.evaluate(() => `${canvas.width}x${canvas.height}`),
                    axe: await axeViolations(page)};
    await page.close();

    // On a phone (390 x 844, touch): the page is laid out at the phone's width, the side bar a
    // closed drawer, text at least 12 CSS pixels; the canvas shows the help sheet whole.
    page = await browser.newPage();
    await page.setViewport({width: 390, height: 844, deviceScaleFactor: 3, isMobile: true, hasTouch: true});
    await page.goto(base);
    await page.waitForFunction('window.kelvane.state === "running"', {timeout: 30000});
    await frames(page, 3);
    results.phone = await page.evaluate(() => {
      const texts = [...document.querySelectorAll('body *')].filter((e) =>
        [...e.childNodes].some((n) => n.nodeType === 3 && n.textContent.trim()));
      return {
        width: window.innerWidth, canvas: `${canvas.width}x${canvas.height}`,
        drawer: Math.round(document.getElementById('sidebar').getBoundingClientRect().left),
        smallest: Math.min(...texts.map((e) => parseFloat(getComputedStyle(e).fontSize))),
      };
    });
    results.phone.axe = await axeViolations(page);
    // The drawer open, the side bar's buttons (Save map the latest) neither cover one
    // another nor reach past the drawer.
    await page.click('#toggle');
    await page.waitForFunction(() => document.getElementById('sidebar').getBoundingClientRect().left <
                                     window.innerWidth / 2);
    // The buttons shown, then with "previous" and "next" shown too (as several maps show them).
    const bar = () => {
      const side = document.getElementById('sidebar').getBoundingClientRect();
      const boxes = [...document.querySelectorAll('#bar button')].filter((b) => !b.hidden)
        .map((b) => b.getBoundingClientRect());
      return {
        buttons: boxes.length,
        overlap: boxes.some((a, i) => boxes.some((b, j) => j > i && a.left < b.right && b.left < a.right &&
                                                            a.top < b.bottom && b.top < a.bottom)),
        outside: boxes.some((b) => b.left < side.left || b.right > side.right),
      };
    };
    results.phone.bar = await page.evaluate(bar);
    results.phone.barWithSteps = await page.evaluate((f) => {
      for (const id of ['previous-map', 'next-map']) document.getElementById(id).hidden = false;
      return eval(f)();
    }, `(${bar.toString()})`);
    await page.close();

    // Keys belong to what has the focus: with the focus on a button Tab moves on and Enter
    // presses it; the canvas takes keys once clicked, but never the browser's Ctrl+C.
    page = await open(browser, '?map=family.map');
    await page.evaluate(() => {
      window.seen = [];
      window.addEventListener('keydown', (e) => window.seen.push(`${e.key}:${e.defaultPrevented}`));
    });
    await page.focus('#reload');
    await page.keyboard.press('Tab');
    await frames(page, 3);
    const afterTab = await page.evaluate(() => ({focus: document.activeElement.id, selected: window.kelvane.selected}));
    await page.keyboard.press('Enter'); // on Record: it plays the (empty) flight, no keyframe
    await frames(page, 3);
    const afterEnter = await page.evaluate(() => window.kelvane.flight.length);
    const cbox = await (await page.$('canvas')).boundingBox();
    await page.mouse.click(cbox.x + 5, cbox.y + 5);
    await page.keyboard.down('Control');
    await page.keyboard.press('c');
    await page.keyboard.up('Control');
    await page.keyboard.press('Tab');
    await frames(page, 8); // a message a pass: Control, its release, Tab, its release
    results.focus = {afterTab, afterEnter, ...await page.evaluate(() => ({
      seen: window.seen.join(' '), selected: window.kelvane.selected,
      canvas: document.activeElement === document.getElementById('canvas'),
    }))};
    await page.close();

    // A slow ?map= download does not replace a map opened meanwhile; a file named ".." opens
    // like any other, and a failed open leaves the running map's state alone.
    page = await browser.newPage();
    await page.setViewport({width: 1100, height: 800});
    await page.setRequestInterception(true);
    page.on('request', (r) => {
      if (!new URL(r.url()).pathname.endsWith('/slow.map')) return r.continue();
      setTimeout(() => r.respond({status: 200, contentType: 'application/octet-stream',
                                  body: fs.readFileSync(`${site}/box.map`)}).catch(() => {}), 4000);
    });
    await page.goto(fixed('?map=slow.map'));
    await new Promise((r) => setTimeout(r, 500));
    await drop(page, 'pair.map', 'pair.map');
    await page.waitForFunction(() => window.kelvane.loads === 1, {timeout: 30000});
    await new Promise((r) => setTimeout(r, 5000));
    await frames(page, 3);
    results.slow = {...await state(page), loads: await page.evaluate(() => window.kelvane.loads),
                    rows: await page.$$eval('#outline .row', (rows) => rows.length)};
    await drop(page, 'box.map', '..');
    await page.waitForFunction(() => window.kelvane.loads === 2, {timeout: 30000});
    await frames(page, 3);
    results.dotdot = await state(page);
    await page.close();
    fs.copyFileSync(`${site}/box.map`, `${site}/gone.map`);
    page = await open(browser, '?map=gone.map');
    fs.unlinkSync(`${site}/gone.map`);
    await page.click('#reload');
    await page.waitForFunction(() => /HTTP 404/.test(document.getElementById('messages').textContent), {timeout: 30000});
    await frames(page, 3);
    results.notMapWhileRunning = await state(page);
    await page.close();

    // A map of 47 M triangles in 14 kB: the page draws at most 3 M a frame, the rest as boxes,
    // so a key is answered at once.
    page = await open(browser, '?map=sixty.map');
    results.sixty = await state(page);
    const escaped = Date.now();
    await page.keyboard.press('Tab');
    await page.waitForFunction(() => window.kelvane.selected === 0, {timeout: 60000});
    results.sixty.escapeMs = Date.now() - escaped;
    await page.close();

    for (const [name, query] of [['missing', '?map=nowhere.map'], ['notmap', '?map=noise.map']]) {
      page = await open(browser, query);
      results[name] = await state(page);
      await page.close();
    }
  } finally {
    fs.writeFileSync(`${out}/results.json`, JSON.stringify(results, null, 1));
    await browser.close();
  }
})().catch((e) => {
  console.error('web test:', e.message);
  process.exit(1);
});
