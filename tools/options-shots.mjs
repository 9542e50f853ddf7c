// Pictures of the extension's options page for people to look at, light
// and dark, after a connection check: node options-shots.mjs <chromium build> <out> <en|vi>
// puppeteer-core is the browser tests' copy (tests/browser, set up by tools/setup.sh).
import { createRequire } from 'node:module';
const puppeteer = createRequire(new URL('../tests/browser/package.json', import.meta.url))('puppeteer-core');
const [ext, out, lang] = process.argv.slice(2);
const browser = await puppeteer.launch({
  executablePath: '/usr/bin/chromium', headless: true, pipe: true, enableExtensions: [ext],
  env: { ...process.env, LANGUAGE: lang, LANG: lang === 'vi' ? 'vi_VN.UTF-8' : 'en_US.UTF-8' },
  args: ['--no-sandbox', `--lang=${lang}`, '--no-first-run'],
});
const page = await browser.newPage();
await page.setViewport({ width: 760, height: 420 });
await page.goto('chrome-extension://iehkfcihndppaianhlblmkajlafjmohp/options.html');
for (const dark of [false, true]) {
  await page.emulateMediaFeatures([{ name: 'prefers-color-scheme', value: dark ? 'dark' : 'light' }]);
  await page.click('#check');
  await new Promise((r) => setTimeout(r, 1500));
  await page.screenshot({ path: `${out}/options-${lang}-${dark ? 'dark' : 'light'}.png` });
}
await browser.close();
