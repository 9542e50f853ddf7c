// The options page: the take-over switch, the sites it leaves alone, and a
// check that the program can be reached.
'use strict';

const ext = globalThis.browser || globalThis.chrome;
const t = (key, ...subs) => ext.i18n.getMessage(key, subs) || key;

for (const el of document.querySelectorAll('[data-i18n]')) el.textContent = t(el.dataset.i18n);
document.documentElement.lang = ext.i18n.getUILanguage();

const takeOver = document.getElementById('takeOver');
const excluded = document.getElementById('excluded');

async function load() {
  const stored = { ...TW.DEFAULT_OPTIONS, ...(await ext.storage.local.get(['takeOver', 'excluded'])) };
  takeOver.checked = stored.takeOver !== false;
  excluded.value = (stored.excluded || []).join('\n');
}

document.getElementById('save').addEventListener('click', async () => {
  const sites = TW.parseExclusions(excluded.value);
  await ext.storage.local.set({ takeOver: takeOver.checked, excluded: sites });
  excluded.value = sites.join('\n');
  document.getElementById('saved').textContent = t('optSaved');
});

document.getElementById('check').addEventListener('click', async () => {
  const status = document.getElementById('status');
  status.className = '';
  status.textContent = t('optChecking');
  const reply = await TW.askHost(ext.runtime, { type: 'ping' });
  const outcome = TW.hostOutcome(reply);
  status.className = outcome.taken ? 'good' : 'bad';
  status.textContent = outcome.taken ? t('reachable', reply.version || '') : TW.outcomeText(outcome, t);
});

load();
