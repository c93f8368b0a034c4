// Settings and keys an earlier version kept in the site's storage: sent to the host once,
// before the announcement, and erased only on the host's answer.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { buildPanelHud, launch, openChart, hudReady, withPage, waitFor, fakeHost } from './lib/harness.mjs';

let browser;
let script;
before(async () => { script = buildPanelHud(); browser = await launch(); });
after(async () => { await browser.close(); });

// An earlier version kept settings and keys in the site's storage: they go to the host once
// and leave the storage only after the host's answer, so nothing is lost on the way.
const OLD_STORAGE = {
  qv_byok_vault: JSON.stringify({ gemini: 'AIza-old', claude: 'sk-ant-old', openrouter_model: 'x/y', tg_token: '123:OLD', tg_chatid: '77', other: 'z' }),
  qv_default_risk_pct: '0.5', qv_hour_start: '', qv_sess_nypm: 'true', qv_hud_mode: 'RISK', qv_hud_risk_val: '2.5',
  qv_active_strategy: 'ict_silver', qv_max_spread_pts: 'junk', qv_autotrader: '1', qv_hud_sl: '20', qv_hud_x: '300',
};
const MOVED = Object.keys(OLD_STORAGE).filter((k) => k !== 'qv_hud_x');

test('stored settings and keys move to the host once and leave the storage after its answer', async () => {
  const host = fakeHost({ settings: { max_dd: 3 } });
  await withPage(() => openChart(browser, script, { host, storage: OLD_STORAGE }), async ({ page, hud, posted }) => {
    await hudReady(page);
    const all = await posted();
    const migrate = all.filter((m) => m.startsWith('MIGRATE:'));
    assert.equal(migrate.length, 1);
    assert.ok(all.indexOf(migrate[0]) < all.indexOf('HUD_READY'), 'before the announcement');
    assert.deepEqual(JSON.parse(migrate[0].slice('MIGRATE:'.length)), {
      settings: { risk_pct: 0.5, sess_nypm: true, hour_start: null, active_strategy: 'ict_silver', hud_mode: 'RISK', hud_risk_val: '2.5' },
      secrets: { gemini: 'AIza-old', claude: 'sk-ant-old', openrouter_model: 'x/y' },
    }, 'neither the AutoTrader\'s switch nor the Telegram relay, nothing unreadable');
    await waitFor(() => page.evaluate((keys) => keys.every((k) => localStorage.getItem(k) === null), MOVED), 'the storage emptied');
    assert.equal(await page.evaluate(() => localStorage.getItem('qv_hud_x')), '300', 'the layout stays');
    assert.deepEqual([host.settings.max_dd, host.settings.risk_pct], [3, 0.5], 'the host filled what it lacked');
    assert.equal(await hud.text('#qv-mode-toggle'), 'RISK: %');
    assert.equal(await hud.value('#qv-size-input'), '2.5%');
    assert.match(await hud.text('#qv-vault-open-btn'), /Keys Connected/);
    assert.equal(await hud.text('#qv-auto-label'), 'AutoTrader: OFF');
    // written again by the site after the move: never read, never sent as the HUD's
    await page.evaluate(() => { localStorage.setItem('qv_hud_mode', 'LOT'); localStorage.setItem('qv_autotrader', '1'); });
    await page.waitForTimeout(1200);
    assert.equal(await hud.text('#qv-mode-toggle'), 'RISK: %');
    assert.equal((await posted()).filter((m) => m.startsWith('MIGRATE:')).length, 1);
  });
  // Without the host's answer, or with its "not taken", nothing is erased; with nothing
  // stored nothing is sent.
  const refusing = fakeHost();
  const answer = refusing.post;
  refusing.post = (m, page) => (m.startsWith('MIGRATE:') ? page.push({ type: 'migrated', ok: false, reason: 'store not writable' }) : answer(m, page));
  for (const host of [fakeHost({ quiet: true }), refusing]) {
    await withPage(() => openChart(browser, script, { host, storage: OLD_STORAGE }), async ({ page, posted }) => {
      await hudReady(page);
      await page.waitForTimeout(500);
      assert.equal((await posted()).filter((m) => m.startsWith('MIGRATE:')).length, 1);
      assert.deepEqual(await page.evaluate((keys) => keys.filter((k) => localStorage.getItem(k) === null), MOVED), []);
    });
  }
  await withPage(() => openChart(browser, script, { storage: { qv_hud_x: '300' } }), async ({ page, posted }) => {
    await hudReady(page);
    assert.deepEqual((await posted()).filter((m) => m.startsWith('MIGRATE:')), []);
  });
});
