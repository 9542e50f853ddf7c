// The companion's rules, run by Node's own test runner.
'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const TW = require('../../extension/src/lib.js');

test('only http and https links with a host count', () => {
  const cases = [
    ['http://a.example/x', true], ['HTTPS://A.example/', true], ['https://[::1]:8443/f', true],
    ['blob:https://a.example/1234', false], ['data:text/plain,hi', false], ['file:///C:/x.iso', false],
    ['ftp://a.example/x', false], ['javascript:void(0)', false], ['http://', false], ['', false],
    [undefined, false], ['  ', false],
  ];
  for (const [link, want] of cases) assert.equal(TW.isHttpLink(link), want, String(link));
});

test('streaming playlists are media, plain video files are not', () => {
  const cases = [
    ['https://cdn.example/live/index.m3u8?token=1', '', true],
    ['https://cdn.example/VOD/MANIFEST.MPD', '', true],
    ['https://cdn.example/a/stream.ism/Manifest', '', true],
    ['https://cdn.example/list%2Em3u8', '', true],
    ['https://cdn.example/get?format=m3u8', '', false],
    ['https://cdn.example/get', 'application/vnd.apple.mpegURL; charset=utf-8', true],
    ['https://cdn.example/get', 'application/dash+xml', true],
    ['https://cdn.example/movie.mp4', 'video/mp4', false],
    ['https://cdn.example/song.mp3', 'audio/mpeg', false],
    ['https://cdn.example/win.iso', '', false],
  ];
  for (const [url, mime, want] of cases) assert.equal(TW.isMediaLink(url, mime), want, `${url} ${mime}`);
});

test('links of a page are kept once each, in page order, http and https only', () => {
  const found = [
    { href: 'https://a.example/one.iso', text: '  One\n  image ' },
    { href: 'mailto:x@a.example', text: 'mail' },
    { href: 'https://a.example/two.zip', text: 'Two' },
    { href: 'https://a.example/one.iso#mirror', text: 'One again' },
    { href: 'https://a.example/one.iso', text: 'One more' },
    { href: 'http://b.example/three.bin', text: '' },
    { href: 'https://a.example/two.zip?x=1', text: 'Two, another file' },
    { href: 'blob:https://a.example/9', text: 'blob' },
  ];
  assert.deepEqual(TW.collectLinks(found), [
    { url: 'https://a.example/one.iso', title: 'One image' },
    { url: 'https://a.example/two.zip', title: 'Two' },
    { url: 'http://b.example/three.bin', title: '' },
    { url: 'https://a.example/two.zip?x=1', title: 'Two, another file' },
  ]);
  assert.deepEqual(TW.collectLinks(['http://a.example/x', 'http://a.example/x']), [
    { url: 'http://a.example/x', title: '' },
  ]);
  assert.deepEqual(TW.collectLinks(undefined), []);
});

test('a download message carries what the program reads, and nothing it would refuse', () => {
  const message = TW.buildDownloadMessage(
    [
      {
        url: 'https://a.example/file.iso',
        referrer: 'https://a.example/page.html',
        fileName: 'file.iso',
        title: 'The  file',
        cookies: [
          { name: 'sid', value: 'abc', domain: 'a.example', httpOnly: true },
          { name: '', value: 'x' },
          { name: 'empty', value: '' },
        ],
      },
      { url: 'https://a.example/live.m3u8', referrer: 'about:blank' },
    ],
    'UA/1.0',
  );
  assert.deepEqual(message, {
    type: 'download',
    userAgent: 'UA/1.0',
    items: [
      {
        url: 'https://a.example/file.iso',
        referrer: 'https://a.example/page.html',
        fileName: 'file.iso',
        title: 'The file',
        media: false,
        cookies: [{ name: 'sid', value: 'abc' }, { name: 'empty', value: '' }],
      },
      { url: 'https://a.example/live.m3u8', referrer: '', fileName: '', title: '', media: true, cookies: [] },
    ],
  });
  // The message survives the trip as JSON unchanged (no undefined members).
  assert.deepEqual(JSON.parse(JSON.stringify(message)), message);
});

test('excluded sites match themselves and their subdomains only', () => {
  const sites = TW.parseExclusions('*.Example.com\nhttps://files.example.org/path, example.net.\n\n  example.net ');
  assert.deepEqual(sites, ['example.com', 'files.example.org', 'example.net']);
  const cases = [
    ['https://example.com/a', true], ['https://dl.EXAMPLE.com/a', true], ['http://notexample.com/a', false],
    ['https://example.com.evil.test/a', false], ['https://files.example.org:8080/x', true],
    ['https://example.org/x', false], ['https://example.net./x', true],
  ];
  for (const [url, want] of cases) assert.equal(TW.isExcluded(url, sites), want, url);
});

test('the take-over leaves alone what the program must not or cannot take', () => {
  const base = { id: 1, url: 'https://a.example/f.iso', finalUrl: 'https://a.example/f.iso', state: 'in_progress' };
  const on = { takeOver: true, excluded: ['skip.example'] };
  const cases = [
    ['a plain download', base, on, true],
    ['with no options stored', base, undefined, true],
    ['switched off', base, { takeOver: false }, false],
    ['blob link', { ...base, url: 'blob:https://a.example/1', finalUrl: 'blob:https://a.example/1' }, on, false],
    ['data link', { ...base, url: 'data:,x', finalUrl: 'data:,x' }, on, false],
    ['file link', { ...base, url: 'file:///tmp/x', finalUrl: 'file:///tmp/x' }, on, false],
    ['redirected to an excluded site', { ...base, finalUrl: 'https://cdn.skip.example/f.iso' }, on, false],
    ['started by this extension', { ...base, byExtensionId: 'me' }, on, false],
    ['started by another extension', { ...base, byExtensionId: 'other' }, on, true],
    ['a playlist', { ...base, finalUrl: 'https://a.example/v.m3u8' }, on, false],
    ['already complete', { ...base, state: 'complete' }, on, false],
    ['Firefox item without finalUrl', { id: 2, url: 'https://a.example/g.zip', state: 'in_progress' }, on, true],
  ];
  for (const [name, item, options, want] of cases) assert.equal(TW.shouldTakeOver(item, options, 'me'), want, name);
});

test('the suggested name is the last part of the browser path', () => {
  const cases = [
    ['/home/u/Downloads/a.iso', 'a.iso'], ['C:\\Users\\u\\Downloads\\a b.iso', 'a b.iso'],
    ['a.iso', 'a.iso'], ['', ''], [undefined, ''],
  ];
  for (const [path, want] of cases) assert.equal(TW.baseName(path), want, String(path));
});

test('only "ok": true keeps a download with the program', () => {
  const cases = [
    [{ ok: true, version: '1.0.0', edition: 'pe' }, { taken: true, reason: '', detail: '' }],
    [{ ok: false, error: 'the app did not answer' }, { taken: false, reason: 'refused', detail: 'the app did not answer' }],
    [{ ok: false }, { taken: false, reason: 'refused', detail: '' }],
    [{ unreachable: true, error: 'Specified native messaging host not found.' },
      { taken: false, reason: 'unreachable', detail: 'Specified native messaging host not found.' }],
    [null, { taken: false, reason: 'badReply', detail: '' }],
    [{ ok: 'true' }, { taken: false, reason: 'badReply', detail: '' }],
    ['ok', { taken: false, reason: 'badReply', detail: '' }],
  ];
  for (const [reply, want] of cases) assert.deepEqual(TW.hostOutcome(reply), want, JSON.stringify(reply));
});

test('a host the browser cannot run answers like a refusal that names the reason', async () => {
  const asked = [];
  const working = { sendNativeMessage: async (name, m) => (asked.push([name, m]), { ok: true }) };
  const missing = { sendNativeMessage: async () => { throw new Error('Specified native messaging host not found.'); } };
  assert.deepEqual(await TW.askHost(working, { type: 'ping' }), { ok: true });
  assert.deepEqual(asked, [['pe.tidewell.host', { type: 'ping' }]]);
  const outcome = TW.hostOutcome(await TW.askHost(missing, { type: 'ping' }));
  const t = (key, detail) => `${key}:${detail === undefined ? '' : detail}`;
  assert.equal(TW.outcomeText(outcome, t), 'unreachable:Specified native messaging host not found.');
  assert.equal(TW.outcomeText(TW.hostOutcome({ ok: false, error: 'no links' }), t), 'refused:no links');
  assert.equal(TW.outcomeText(TW.hostOutcome(null), t), 'badReply:');
});
