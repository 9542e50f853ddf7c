// The companion's rules, run by Node's own test runner.
'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const TW = require('../../extension/src/lib.js');

test('only http and https links with a host count; streaming playlists are media, video files are not', () => {
  for (const [link, want] of [['HTTPS://A.example/', true], ['https://[::1]:8443/f', true], ['blob:https://a.example/1234', false],
    ['ftp://a.example/x', false], ['http://', false], [undefined, false]]) {
    assert.equal(TW.isHttpLink(link), want, String(link));
  }
  for (const [url, mime, want] of [['https://cdn.example/live/index.m3u8?token=1', '', true], ['https://cdn.example/VOD/MANIFEST.MPD', '', true],
    ['https://cdn.example/get?format=m3u8', '', false], ['https://cdn.example/get', 'application/vnd.apple.mpegURL; charset=utf-8', true],
    ['https://cdn.example/movie.mp4', 'video/mp4', false]]) {
    assert.equal(TW.isMediaLink(url, mime), want, `${url} ${mime}`);
  }
});

// (The links of a page, once each in page order, http and https only: test_browser.py, in real browsers.)

test('a download message carries what the program reads, and nothing it would refuse', () => {
  const message = TW.buildDownloadMessage([
    { url: 'https://a.example/file.iso', referrer: 'https://a.example/page.html', fileName: 'file.iso', title: 'The  file',
      cookies: [{ name: 'sid', value: 'abc', domain: 'a.example', httpOnly: true }, { name: '', value: 'x' }, { name: 'empty', value: '' }] },
    { url: 'https://a.example/live.m3u8', referrer: 'about:blank' }], 'UA/1.0');
  assert.deepEqual(message, { type: 'download', userAgent: 'UA/1.0', items: [
    { url: 'https://a.example/file.iso', referrer: 'https://a.example/page.html', fileName: 'file.iso', title: 'The file', media: false,
      cookies: [{ name: 'sid', value: 'abc' }, { name: 'empty', value: '' }] },
    { url: 'https://a.example/live.m3u8', referrer: '', fileName: '', title: '', media: true, cookies: [] }] });
  assert.deepEqual(JSON.parse(JSON.stringify(message)), message);  // no undefined members lost on the way
});

test('excluded sites match themselves and their subdomains only', () => {
  const sites = TW.parseExclusions('*.Example.com\nhttps://files.example.org/path, example.net.\n\n  example.net ');
  assert.deepEqual(sites, ['example.com', 'files.example.org', 'example.net']);
  for (const [url, want] of [['https://dl.EXAMPLE.com/a', true], ['http://notexample.com/a', false],
    ['https://example.com.evil.test/a', false], ['https://example.net./x', true]]) {
    assert.equal(TW.isExcluded(url, sites), want, url);
  }
});

test('the take-over leaves alone what the program must not or cannot take', () => {
  const base = { id: 1, url: 'https://a.example/f.iso', finalUrl: 'https://a.example/f.iso', state: 'in_progress' };
  const on = { takeOver: true, excluded: ['skip.example'] };
  const other = (url) => ({ ...base, url, finalUrl: url });
  for (const [name, item, options, want] of [['with no options stored', base, undefined, true],
    ['switched off', base, { takeOver: false }, false], ['blob link', other('blob:https://a.example/1'), on, false],
    ['redirected to an excluded site', { ...base, finalUrl: 'https://cdn.skip.example/f.iso' }, on, false],
    ['started by this extension', { ...base, byExtensionId: 'me' }, on, false], ['started by another', { ...base, byExtensionId: 'x' }, on, true],
    ['a playlist', { ...base, finalUrl: 'https://a.example/v.m3u8' }, on, false],
    ['Firefox item without finalUrl', { id: 2, url: 'https://a.example/g.zip', state: 'in_progress' }, on, true]]) {
    assert.equal(TW.shouldTakeOver(item, options, 'me'), want, name);
  }
  for (const [path, want] of [['/home/u/Downloads/a.iso', 'a.iso'], ['C:\\Users\\u\\Downloads\\a b.iso', 'a b.iso'], [undefined, '']]) {
    assert.equal(TW.baseName(path), want, String(path));
  }
});

test('only "ok": true keeps a download with the program; a refusal is named with its reason', () => {
  for (const [reply, taken, reason, detail] of [[{ ok: true, version: '1.0.0', edition: 'pe' }, true, '', ''],
    [{ ok: false, error: 'busy' }, false, 'refused', 'busy'], [{ unreachable: true, error: 'not found.' }, false, 'unreachable', 'not found.'],
    [null, false, 'badReply', ''], [{ ok: 'true' }, false, 'badReply', '']]) {
    assert.deepEqual(TW.hostOutcome(reply), { taken, reason, detail }, JSON.stringify(reply));
  }
  // (A host that answers and one the browser cannot run: test_browser.py, through the real browsers.)
  const t = (key, detail) => `${key}:${detail === undefined ? '' : detail}`;
  assert.equal(TW.outcomeText(TW.hostOutcome({ ok: false, error: 'no links' }), t), 'refused:no links');
});
