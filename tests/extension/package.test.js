// The extension's files agree with each other: every text it asks for exists
// in both languages. (That both manifests name files that exist and the
// permissions the code uses: the packed extension loads and works in
// test_browser.py.)
'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');

const root = path.join(__dirname, '..', '..', 'extension');
const src = path.join(root, 'src');
const read = (...p) => fs.readFileSync(path.join(...p), 'utf8');
const messages = (lang) => JSON.parse(read(src, '_locales', lang, 'messages.json'));

test('both languages hold the same texts, translated, with the same substitutions', () => {
  const en = messages('en');
  const vi = messages('vi');
  assert.deepEqual(Object.keys(vi).sort(), Object.keys(en).sort());
  for (const key of Object.keys(en)) {
    const holes = (m) => (m.message.match(/\$[A-Z]+\$/g) || []).sort();
    assert.deepEqual(holes(vi[key]), holes(en[key]), key);
    for (const m of [en[key], vi[key]]) {
      for (const hole of holes(m)) assert.ok(m.placeholders && m.placeholders[hole.slice(1, -1).toLowerCase()], key);
    }
    if (/[a-z]{2}/i.test(en[key].message.replace(/\$[A-Z]+\$|Tidewell PE/g, ''))) assert.notEqual(vi[key].message, en[key].message, key);
  }
});

test('every text the code and the pages ask for exists', () => {
  const en = messages('en');
  const asked = new Set();
  for (const file of ['lib.js', 'background.js', 'options.js']) {
    for (const m of read(src, file).matchAll(/\bt\('([A-Za-z]+)'/g)) asked.add(m[1]);
  }
  for (const m of read(src, 'options.html').matchAll(/data-i18n="([A-Za-z]+)"/g)) asked.add(m[1]);
  for (const browser of ['chromium', 'firefox']) {
    for (const m of read(root, browser, 'manifest.json').matchAll(/__MSG_([A-Za-z]+)__/g)) asked.add(m[1]);
  }
  assert.ok(asked.size > 10);
  for (const key of asked) assert.ok(en[key], key);
});
