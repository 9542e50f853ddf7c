// The companion's background: the two context menus, the download take-over
// and the notices. Runs as the service worker of the Chromium build and as
// the background page of the Firefox build.
'use strict';

if (typeof importScripts === 'function' && typeof TW === 'undefined') importScripts('lib.js');

const ext = globalThis.browser || globalThis.chrome;
const isFirefox = typeof globalThis.browser !== 'undefined' && !!ext.runtime.getBrowserInfo;
const t = (key, ...subs) => ext.i18n.getMessage(key, subs) || key;

const tidewell = {
  notices: [],
  lastMessage: null,
  menuClicked,
  ping,
};
globalThis.tidewell = tidewell;

// Links the browser is given back after a failed hand-over: the take-over
// lets them through once, whoever started them.
const givenBack = new Set();

async function options() {
  const stored = await ext.storage.local.get(['takeOver', 'excluded']);
  return { ...TW.DEFAULT_OPTIONS, ...stored };
}

function notify(message) {
  const notice = { title: 'Tidewell PE', message };
  tidewell.notices.push(notice);
  try {
    const shown = ext.notifications.create({
      type: 'basic',
      iconUrl: ext.runtime.getURL('icons/icon-48.png'),
      title: notice.title,
      message,
    });
    if (shown && shown.catch) shown.catch(() => {});
  } catch (e) {
    // A browser without notifications still has the notice in the list.
  }
}

const reasonText = (outcome) => TW.outcomeText(outcome, t);

function sendToHost(message) {
  tidewell.lastMessage = message;
  return TW.askHost(ext.runtime, message);
}

async function ping() {
  const reply = await sendToHost({ type: 'ping' });
  const outcome = TW.hostOutcome(reply);
  return outcome.taken ? reply : { ok: false, error: reasonText(outcome) };
}

// Cookies of the site, from the cookie store the page or download used.
async function cookiesFor(url, storeId) {
  const query = { url };
  if (storeId) query.storeId = storeId;
  if (isFirefox) query.firstPartyDomain = null;  // all, also with first-party isolation on
  try {
    return await ext.cookies.getAll(query);
  } catch (e) {
    return [];
  }
}

async function storeOfTab(tab) {
  if (!tab) return undefined;
  if (tab.cookieStoreId) return tab.cookieStoreId;
  try {
    const stores = await ext.cookies.getAllCookieStores();
    const store = stores.find((s) => (s.tabIds || []).includes(tab.id));
    return store && store.id;
  } catch (e) {
    return undefined;
  }
}

async function inPage(tab, frameId, func, args) {
  if (!ext.scripting) {
    const code = `(${func})(...${JSON.stringify(args || [])})`;
    const results = await ext.tabs.executeScript(tab.id, { code, frameId: frameId || 0 });
    return results ? results[0] : undefined;
  }
  const target = { tabId: tab.id };
  if (frameId) target.frameIds = [frameId];
  const results = await ext.scripting.executeScript({ target, func, args: args || [] });
  return results && results[0] ? results[0].result : undefined;
}

// Runs in the page: the text of the first anchor that leads to href.
function anchorText(href) {
  for (const a of document.links) if (a.href === href) return a.textContent || a.title || '';
  return '';
}

// Runs in the page: the links of the selection, or of the whole page when
// nothing is selected, in document order.
function pageLinks() {
  const sel = window.getSelection();
  const ranges = [];
  if (sel && !sel.isCollapsed) for (let i = 0; i < sel.rangeCount; i++) ranges.push(sel.getRangeAt(i));
  const out = [];
  for (const a of document.links) {
    if (ranges.length && !ranges.some((r) => r.intersectsNode(a))) continue;
    out.push({ href: a.href, text: a.textContent || a.title || '' });
  }
  return out;
}

async function withCookies(links, referrer, storeId) {
  const bySite = new Map();
  const items = [];
  for (const link of links) {
    const origin = new URL(link.url).origin;
    if (!bySite.has(origin)) bySite.set(origin, await cookiesFor(link.url, storeId));
    items.push({ ...link, referrer, cookies: bySite.get(origin) });
  }
  return items;
}

async function handOver(items) {
  const reply = await sendToHost(TW.buildDownloadMessage(items, navigator.userAgent));
  const outcome = TW.hostOutcome(reply);
  if (!outcome.taken) notify(reasonText(outcome));
  return outcome.taken ? reply : { ok: false, error: reasonText(outcome) };
}

async function menuClicked(info, tab) {
  const referrer = info.pageUrl || (tab && tab.url) || '';
  const storeId = await storeOfTab(tab);
  if (info.menuItemId === 'tw-link') {
    if (!TW.isHttpLink(info.linkUrl)) {
      notify(t('notHttp'));
      return { ok: false, error: t('notHttp') };
    }
    let title = info.linkText;
    if (title === undefined && tab) title = await inPage(tab, info.frameId, anchorText, [info.linkUrl]).catch(() => '');
    const [link] = TW.collectLinks([{ href: info.linkUrl, text: title }]);
    return handOver(await withCookies([link], referrer, storeId));
  }
  if (info.menuItemId === 'tw-all') {
    const found = tab ? await inPage(tab, info.frameId, pageLinks).catch(() => []) : [];
    const links = TW.collectLinks(found || []);
    if (!links.length) {
      notify(t('noLinks'));
      return { ok: false, error: t('noLinks') };
    }
    return handOver(await withCookies(links, referrer, storeId));
  }
  return { ok: false, error: 'unknown menu' };
}

function createMenus() {
  ext.contextMenus.removeAll(() => {
    ext.contextMenus.create({ id: 'tw-link', title: t('menuLink'), contexts: ['link'] });
    ext.contextMenus.create({ id: 'tw-all', title: t('menuAll'), contexts: ['selection', 'page'] });
  });
}

ext.contextMenus.onClicked.addListener((info, tab) => {
  menuClicked(info, tab);
});
ext.runtime.onStartup.addListener(createMenus);
ext.runtime.onInstalled.addListener(async () => {
  createMenus();
  const reply = await ping();
  notify(reply.ok ? t('reachable', reply.version || '') : reply.error);
});

// Taking over a download the browser started: stop the browser's copy, hand
// the link to the program, and give it back to the browser when the program
// does not take it, so that no download is ever lost.
async function takeOver(item, release) {
  const opts = await options();
  const url = item.finalUrl || item.url;
  if (givenBack.delete(url)) return;
  if (!TW.shouldTakeOver(item, opts, ext.runtime.id)) return;
  try {
    await ext.downloads.cancel(item.id);
  } catch (e) {
    return;  // already over: the browser has the file
  } finally {
    release();
  }
  const [after] = await ext.downloads.search({ id: item.id });
  if (after && after.state === 'complete') return;
  await ext.downloads.erase({ id: item.id }).catch(() => {});
  // Firefox names the container; Chromium's private windows keep store "1".
  const storeId = item.cookieStoreId || (item.incognito ? '1' : undefined);
  const cookies = await cookiesFor(url, storeId);
  const link = {
    url,
    referrer: item.referrer || '',
    fileName: TW.baseName(item.filename),
    title: '',
    media: false,
    cookies,
  };
  const reply = await sendToHost(TW.buildDownloadMessage([link], navigator.userAgent));
  const outcome = TW.hostOutcome(reply);
  if (outcome.taken) return;
  notify(t('givenBack', reasonText(outcome)));
  givenBack.add(url);
  const again = { url, saveAs: false };
  if (link.fileName) again.filename = link.fileName;
  try {
    await ext.downloads.download(again);
  } catch (e) {
    givenBack.delete(url);
    notify(t('restartFailed', url));
  }
}

if (ext.downloads.onDeterminingFilename) {
  // Chromium: the suggested name is known here, before the file gets its
  // place. The browser waits for the answer, so a download taken over is
  // cancelled before a "Save as" question could open for it.
  ext.downloads.onDeterminingFilename.addListener((item, suggest) => {
    let answered = false;
    const release = () => {
      if (!answered) (answered = true), suggest();
    };
    takeOver(item, release).finally(release);
    return true;
  });
} else {
  ext.downloads.onCreated.addListener((item) => {
    takeOver(item, () => {});
  });
}
