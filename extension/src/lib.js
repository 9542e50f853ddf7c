// The companion's rules, free of browser calls so that they can be tested
// on their own: which links go to the program, how a message is built, and
// what to do when the program does not take a download.
'use strict';

(function (root) {
  // The program's native-messaging name; the program registers the same.
  const HOST_NAME = 'pe.tidewell.host';

  // Playlists of streamed audio and video: the program fetches whole files
  // only, so these travel with "media": true and it skips them by design.
  const PLAYLIST_SUFFIXES = ['.m3u8', '.m3u', '.mpd', '.f4m', '.ism', '.isml'];
  const PLAYLIST_TYPES = [
    'application/vnd.apple.mpegurl', 'application/x-mpegurl', 'audio/mpegurl', 'audio/x-mpegurl',
    'application/dash+xml', 'application/vnd.ms-sstr+xml', 'application/f4m+xml',
  ];

  function parseUrl(text) {
    try {
      return new URL(String(text));
    } catch (e) {
      return null;
    }
  }

  function isHttpLink(text) {
    const u = parseUrl(text);
    return !!u && (u.protocol === 'http:' || u.protocol === 'https:') && u.hostname !== '';
  }

  function isMediaLink(url, mime) {
    const type = String(mime || '').split(';')[0].trim().toLowerCase();
    if (PLAYLIST_TYPES.includes(type)) return true;
    const u = parseUrl(url);
    if (!u) return false;
    const path = decodeURIComponentSafe(u.pathname).toLowerCase();
    if (path.endsWith('/manifest') && /\.isml?\//.test(path)) return true;  // smooth streaming
    return PLAYLIST_SUFFIXES.some((s) => path.endsWith(s));
  }

  function decodeURIComponentSafe(text) {
    try {
      return decodeURIComponent(text);
    } catch (e) {
      return text;
    }
  }

  // The same file reached through two anchors (or two fragments of one page)
  // is sent once, where it first appears.
  function collectLinks(anchors) {
    const seen = new Set();
    const out = [];
    for (const a of anchors || []) {
      const href = typeof a === 'string' ? a : a && a.href;
      if (!isHttpLink(href)) continue;
      const u = parseUrl(href);
      u.hash = '';
      const key = u.href;
      if (seen.has(key)) continue;
      seen.add(key);
      out.push({ url: key, title: typeof a === 'string' ? '' : cleanTitle(a.text) });
    }
    return out;
  }

  function cleanTitle(text) {
    return String(text || '').replace(/\s+/g, ' ').trim().slice(0, 400);
  }

  // The program takes cookies as name/value pairs and drops any it cannot
  // put on one header line.
  function cookiePairs(cookies) {
    return (cookies || [])
      .filter((c) => c && typeof c.name === 'string' && c.name !== '')
      .map((c) => ({ name: c.name, value: String(c.value == null ? '' : c.value) }));
  }

  function buildItem(fields) {
    const url = String(fields.url || '');
    return {
      url,
      referrer: isHttpLink(fields.referrer) ? String(fields.referrer) : '',
      fileName: String(fields.fileName || ''),
      title: cleanTitle(fields.title),
      media: fields.media === undefined ? isMediaLink(url, fields.mime) : !!fields.media,
      cookies: cookiePairs(fields.cookies),
    };
  }

  function buildDownloadMessage(items, userAgent) {
    return { type: 'download', userAgent: String(userAgent || ''), items: items.map(buildItem) };
  }

  // "*.example.com", "https://example.com/x" and "Example.com." all mean
  // the site example.com and everything below it.
  function normalizeSite(entry) {
    let s = String(entry || '').trim().toLowerCase();
    if (s === '') return '';
    const u = s.includes('://') ? parseUrl(s) : null;
    if (u) s = u.hostname;
    s = s.replace(/^\*\./, '').replace(/^\.+/, '').replace(/\.+$/, '');
    s = s.split('/')[0].split(':')[0];
    return s;
  }

  function parseExclusions(text) {
    const out = [];
    for (const part of String(text || '').split(/[\s,;]+/)) {
      const site = normalizeSite(part);
      if (site && !out.includes(site)) out.push(site);
    }
    return out;
  }

  function isExcluded(url, exclusions) {
    const u = parseUrl(url);
    if (!u) return false;
    const host = u.hostname.toLowerCase().replace(/\.+$/, '');
    return (exclusions || []).some((e) => {
      const site = normalizeSite(e);
      return site !== '' && (host === site || host.endsWith('.' + site));
    });
  }

  const DEFAULT_OPTIONS = Object.freeze({ takeOver: true, excluded: [] });

  // A download the browser started: handed over only when the option is on,
  // the link is a plain http(s) file on a site not excluded, and the browser
  // did not start it for us (a download handed back after a failure).
  function shouldTakeOver(download, options, ownId) {
    const opts = { ...DEFAULT_OPTIONS, ...(options || {}) };
    if (!opts.takeOver) return false;
    if (!download || download.state === 'complete' || download.state === 'interrupted') return false;
    if (ownId && download.byExtensionId === ownId) return false;
    const url = download.finalUrl || download.url;
    if (!isHttpLink(url)) return false;
    if (isMediaLink(url, download.mime)) return false;
    return !isExcluded(url, opts.excluded);
  }

  function baseName(path) {
    const s = String(path || '');
    return s.slice(Math.max(s.lastIndexOf('/'), s.lastIndexOf('\\')) + 1);
  }

  // What the answer to a message means. `outcome` is the host's reply, or
  // { unreachable: true, error } when the browser could not run the host.
  // A download is kept by the program only on "ok": true; everything else
  // gives it back to the browser with the reason.
  function hostOutcome(outcome) {
    if (outcome && outcome.unreachable) {
      return { taken: false, reason: 'unreachable', detail: String(outcome.error || '') };
    }
    if (!outcome || typeof outcome !== 'object' || typeof outcome.ok !== 'boolean') {
      return { taken: false, reason: 'badReply', detail: '' };
    }
    if (outcome.ok) return { taken: true, reason: '', detail: '' };
    return { taken: false, reason: 'refused', detail: String(outcome.error || '') };
  }

  // One message to the program through the browser's runtime; a host the
  // browser cannot run answers like a reply, as { unreachable: true, error }.
  async function askHost(runtime, message) {
    try {
      return await runtime.sendNativeMessage(HOST_NAME, message);
    } catch (e) {
      return { unreachable: true, error: (e && e.message) || String(e) };
    }
  }

  // The user's words for an outcome that kept nothing; t(key, detail) is the
  // browser's text lookup.
  function outcomeText(outcome, t) {
    switch (outcome.reason) {
      case 'unreachable':
        return t('unreachable', outcome.detail);
      case 'refused':
        return t('refused', outcome.detail);
      default:
        return t('badReply');
    }
  }

  const api = {
    HOST_NAME,
    DEFAULT_OPTIONS,
    isHttpLink,
    isMediaLink,
    collectLinks,
    buildItem,
    buildDownloadMessage,
    parseExclusions,
    isExcluded,
    shouldTakeOver,
    baseName,
    hostOutcome,
    askHost,
    outcomeText,
  };
  if (typeof module === 'object' && module.exports) module.exports = api;
  else root.TW = api;
})(typeof globalThis !== 'undefined' ? globalThis : this);
