// Drives one real browser with the companion extension for the end-to-end
// tests. Reads one JSON command a line on stdin and answers each with one
// JSON line on stdout ({ok:true, value} or {ok:false, error}); the Python
// tests arrange the world and judge what ends up on disk and on the server.
//
//   {"cmd":"launch","browser":"chromium"|"firefox","extension":dir|xpi,
//    "profile":dir,"home":dir,"downloads":dir,"display":":N"}
//   {"cmd":"open","url":u}                 a new tab showing u
//   {"cmd":"click","url":u,"selector":s}   a real click in the tab showing u
//   {"cmd":"menu","url":u,"info":{...}}    the context-menu handler, for the tab showing u
//   {"cmd":"ping"} {"cmd":"notices"} {"cmd":"lastMessage"}
//   {"cmd":"downloads"}                    the browser's downloads.search({})
//   {"cmd":"close"}
import fs from 'node:fs';
import path from 'node:path';
import readline from 'node:readline';
import puppeteer from 'puppeteer-core';

const CHROMIUM_ID = 'iehkfcihndppaianhlblmkajlafjmohp';
const FIREFOX_ID = 'companion@tidewell-pe.invalid';
// Fixed, so that the options page (our way into the background) has a known address.
const FIREFOX_UUID = '3d0c7a8e-5b41-4f6e-9c2a-7e1b0d4f8a63';

let browser = null;
let kind = null;
let extPage = null;  // Firefox: the options page, whose window reaches the background page
const pages = new Map();  // url -> page

async function launch(o) {
  kind = o.browser;
  // English, whatever the machine's locale: the tests read the notices.
  const env = { ...process.env, HOME: o.home, DISPLAY: o.display, LANG: 'en_US.UTF-8', LANGUAGE: 'en' };
  if (kind === 'chromium') {
    // The download folder comes from the profile, as a user's would; no
    // DevTools download override, so the extension sees ordinary downloads.
    fs.mkdirSync(path.join(o.profile, 'Default'), { recursive: true });
    fs.writeFileSync(path.join(o.profile, 'Default', 'Preferences'), JSON.stringify({
      download: { default_directory: o.downloads, prompt_for_download: false, directory_upgrade: true },
    }));
    browser = await puppeteer.launch({
      executablePath: '/usr/bin/chromium',
      headless: false,
      pipe: true,
      enableExtensions: [o.extension],
      userDataDir: o.profile,
      env,
      // Root may run Chromium only without its sandbox.
      args: ['--no-sandbox', '--no-first-run', '--no-default-browser-check', '--password-store=basic'],
    });
    await worker();
    return { userAgent: await browser.userAgent() };
  }
  browser = await puppeteer.launch({
    browser: 'firefox',
    executablePath: '/usr/bin/firefox-esr',
    headless: false,
    userDataDir: o.profile,
    env,
    // WebDriver BiDi refuses to open moz-extension pages without it.
    args: ['--remote-allow-system-access'],
    extraPrefsFirefox: {
      'extensions.webextensions.uuids': JSON.stringify({ [FIREFOX_ID]: FIREFOX_UUID }),
      'browser.download.dir': o.downloads,
      'browser.download.folderList': 2,
      'browser.download.useDownloadDir': true,
      'browser.download.always_ask_before_handling_new_types': false,
      'browser.download.alwaysOpenPanel': false,
    },
  });
  const id = await browser.installExtension(o.extension);
  if (id !== FIREFOX_ID) throw new Error('add-on installed as ' + id);
  extPage = await browser.newPage();
  // The navigation's events stay in the extension's process, so goto()
  // would wait for a load it never hears of: navigate and wait for the API.
  await extPage.mainFrame().browsingContext.navigate(`moz-extension://${FIREFOX_UUID}/options.html`, 'complete');
  await extPage.waitForFunction(() => typeof browser !== 'undefined' && !!browser.runtime, { timeout: 15000 });
  await inBackground(() => true);
  return { userAgent: await browser.userAgent() };
}

async function worker() {
  const target = await browser.waitForTarget(
    (t) => t.type() === 'service_worker' && t.url().startsWith(`chrome-extension://${CHROMIUM_ID}/`),
    { timeout: 15000 });
  return target.worker();
}

// Runs fn(tidewell, api, arg) in the extension's background and returns its
// result. fn travels as source text: it must not close over anything.
async function inBackground(fn, arg) {
  const call = `(${fn})(tw, api, ${JSON.stringify(arg === undefined ? null : arg)})`;
  if (kind === 'chromium') {
    const w = await worker();
    // A worker just started may not have run its script yet.
    return w.evaluate(`(async () => { for (let i = 0; i < 300 && !globalThis.tidewell; ++i)
        await new Promise((r) => setTimeout(r, 50));
      const tw = globalThis.tidewell; const api = globalThis.chrome;
      const r = await ${call}; return r === undefined ? null : JSON.parse(JSON.stringify(r)); })()`);
  }
  return extPage.evaluate(`(async () => { const bg = await browser.runtime.getBackgroundPage();
    const tw = bg.tidewell; const api = browser;
    const r = await ${call}; return r === undefined ? null : JSON.parse(JSON.stringify(r)); })()`);
}

async function open(url) {
  const page = await browser.newPage();
  await page.goto(url, { waitUntil: 'load' });
  pages.set(url, page);
  return {};
}

function pageFor(url) {
  const page = pages.get(url);
  if (!page) throw new Error('no tab shows ' + url);
  return page;
}

const commands = {
  launch,
  open: (o) => open(o.url),
  click: async (o) => {
    const page = pageFor(o.url);
    await page.bringToFront();
    await page.click(o.selector);
    return {};
  },
  menu: (o) => {
    pageFor(o.url);
    return inBackground(async (tw, api, a) => {
      const tabs = await api.tabs.query({});
      const tab = tabs.find((t) => t.url === a.url);
      if (!tab) return { ok: false, error: 'driver: no tab for ' + a.url };
      return tw.menuClicked(a.info, tab);
    }, { url: o.url, info: o.info });
  },
  ping: () => inBackground((tw) => tw.ping()),
  notices: () => inBackground((tw) => tw.notices),
  lastMessage: () => inBackground((tw) => tw.lastMessage),
  downloads: () => inBackground((tw, api) => api.downloads.search({})),
  close: async () => {
    if (browser) await browser.close();
    browser = null;
    return {};
  },
};

const lines = readline.createInterface({ input: process.stdin });
for await (const line of lines) {
  if (!line.trim()) continue;
  let reply;
  try {
    const o = JSON.parse(line);
    const fn = commands[o.cmd];
    if (!fn) throw new Error('unknown command ' + o.cmd);
    reply = { ok: true, value: await fn(o) };
  } catch (e) {
    reply = { ok: false, error: String((e && e.stack) || e) };
  }
  process.stdout.write(JSON.stringify(reply) + '\n');
  if (JSON.parse(line).cmd === 'close') break;
}
if (browser) await browser.close().catch(() => {});
process.exit(0);
