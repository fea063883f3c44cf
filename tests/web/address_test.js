// The page's address parser: what each part of a link gives, what is left out with a note,
// and that no string at all makes it throw or hand the viewer a number it cannot draw with.
'use strict';
const test = require('node:test');
const assert = require('node:assert');
const {parseAddress, maxIndex} = require('../../web/address.js');

test('views from links', () => {
  const cases = [
    ['', '', {camera: [0, 0, 0, 0, 0], select: -1, hide: [], notes: 0}],
    ['', '#camera=1,2.5,-3,30,-45', {camera: [1, 2.5, -3, 30, -45], select: -1, notes: 0}],
    ['', '#camera=0,0,10,30,0&select=3', {camera: [0, 0, 10, 30, 0], select: 3, notes: 0}],
    ['', '#camera=0,0,0,0,0&select=2&hide=1,4-6,9', {select: 2, hide: [1, 4, 5, 6, 9], notes: 0}],
    ['', '#camera=%', {camera: [0, 0, 0, 0, 0], notes: 1}],
    ['', '#camera=%E0%A4%A', {camera: [0, 0, 0, 0, 0], notes: 1}],
    ['', '#camera=1e39,0,0,0,0', {camera: [0, 0, 0, 0, 0], notes: 1}],
    ['', '#camera=3.4e38,0,0,0,0', {camera: [Math.fround(3.4e38), 0, 0, 0, 0], notes: 0}],
    ['', '#camera=nan,0,0,0,0', {notes: 1}],
    ['', '#camera=Infinity,0,0,0,0', {notes: 1}],
    ['', '#camera=0x10,0,0,0,0', {notes: 1}],
    ['', '#camera=1,2,3,4', {notes: 1}],
    ['', '#camera=1,2,3,4,5,6', {notes: 1}],
    ['', '#camera=,,,,', {notes: 1}],
    ['', '#camera=1,2,3,4,5&select=4294967296', {camera: [1, 2, 3, 4, 5], select: -1, notes: 1}],
    ['', '#select=65535', {select: -1, notes: 1}],
    ['', `#select=${maxIndex}`, {select: maxIndex, notes: 0}],
    ['', '#select=-1', {select: -1, notes: 1}],
    ['', '#select=1.5', {select: -1, notes: 1}],
    ['', '#hide=5,3', {hide: [], notes: 1}],
    ['', '#hide=3-1', {hide: [], notes: 1}],
    ['', '#hide=1,,2', {hide: [], notes: 1}],
    ['', '#hide=2-2,3', {hide: [2, 3], notes: 0}],
    ['', '#zoom=2&camera=0,0,1,0,0', {camera: [0, 0, 1, 0, 0], notes: 1}],
    ['', '#camera=0,0,0,0,0&section=2.5', {section: {above: false, y: 2.5}, notes: 0}],
    ['', '#section-above=-1e-3', {section: {above: true, y: Math.fround(-1e-3)}, notes: 0}],
    ['', '#section=nan', {section: null, notes: 1}],
    ['', '#camera=0,0,0,90,0&ortho=40.5', {ortho: 40.5, notes: 0}],
    ['', '#ortho=0', {ortho: 0, notes: 1}],
    ['', '#ortho=-3', {ortho: 0, notes: 1}],
    ['', '#camera=1,2,3,30,0&far=17178', {far: 17178, notes: 0}],
    ['', '#far=0.5', {far: 0, notes: 1}],
    ['', '#section-above=1e39', {section: null, notes: 1}],
    ['?map=100%25.map', '', {map: '100%.map', name: '100%.map', notes: 0}],
    ['?map=maps%2Fa%20b.map', '', {map: 'maps/a b.map', name: 'a b.map', notes: 0}],
    ['?map=http://example.invalid/x/100%25.map?v=1', '', {name: '100%.map', notes: 0}],
    ['?map=%%%', '', {map: '%%%', name: '%%%', notes: 0}],
    ['?size=640x480&map=a.map', '', {size: [640, 480], map: 'a.map', notes: 0}],
    ['?map=new.map&compare=old%20one.map', '', {map: 'new.map', compare: 'old one.map', notes: 0}],
    ['?map=new.map', '', {compare: null, notes: 0}],
    ['', '', {size: null, notes: 0}],
    ['?size=0x480', '', {size: null, notes: 1}],
    ['?size=16385x10', '', {size: null, notes: 1}],
    ['?size=640', '', {size: null, notes: 1}],
    ['?size=-640x480', '', {size: null, notes: 1}],
  ];
  for (const [search, hash, want] of cases) {
    const v = parseAddress(search, hash);
    for (const key of Object.keys(want)) {
      if (key === 'notes') assert.strictEqual(v.notes.length, want.notes, `${search}${hash}: ${v.notes}`);
      else assert.deepStrictEqual(v[key], want[key], `${search}${hash}: ${key}`);
    }
  }
});

// Random strings over the characters that matter in an address never throw, and what comes
// back is always drawable: five finite 32-bit floats, an index in range or -1, sorted indices.
test('random addresses', () => {
  const alphabet = '0123456789,.-+eE%&=#?/camerslcthidnx \u00e9\ud83d\ude00';
  let seed = 12345;
  const next = () => (seed = (seed * 1103515245 + 12345) % 2147483648) / 2147483648;
  const pick = (n) => Array.from({length: n}, () => alphabet[Math.floor(next() * alphabet.length)]).join('');
  const prefixes = ['', '#camera=', '#select=', '#hide=', '#camera=1,2,3,4,5&select=', '?map='];
  for (let i = 0; i < 20000; i++) {
    const p = prefixes[i % prefixes.length];
    const text = p + pick(Math.floor(next() * 40));
    const v = parseAddress(p === '?map=' ? text : '', p === '?map=' ? '' : text);
    assert.strictEqual(v.camera.length, 5, text);
    for (const c of v.camera) assert.ok(Number.isFinite(c) && Math.fround(c) === c, text);
    assert.ok(v.select === -1 || (Number.isInteger(v.select) && v.select >= 0 && v.select <= maxIndex), text);
    for (let k = 0; k < v.hide.length; k++) {
      assert.ok(Number.isInteger(v.hide[k]) && v.hide[k] >= 0 && v.hide[k] <= maxIndex, text);
      if (k) assert.ok(v.hide[k] > v.hide[k - 1], text);
    }
    for (const n of v.notes) assert.strictEqual(typeof n, 'string');
  }
});
