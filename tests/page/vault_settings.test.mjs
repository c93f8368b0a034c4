// Settings vault: openers and tabs, pills, templates, Save with its normalisation and host
// messages, the playbook and model selects, the status face, and the configuration sync.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { buildHud, launch, posted, openChart, hudReady, openDrawer } from './lib/harness.mjs';

let browser;
let script;
before(async () => { script = buildHud(['syncExternalAIConfig']); browser = await launch(); });
after(async () => { await browser.close(); });

async function withVault(opts, fn) {
  const p = await openChart(browser, script, opts);
  try {
    await hudReady(p.page);
    await openDrawer(p.page);
    await fn(p.page, p);
    assert.deepEqual(p.errors.map(String), []);
  } finally {
    await p.close();
  }
}

const state = (page) => page.evaluate(() => {
  const m = document.getElementById('qv-vault-modal');
  const shown = ['risk', 'schedule', 'strategy', 'keys'].filter((t) => document.getElementById('qv-tab-content-' + t).style.display === 'flex');
  const active = [...document.querySelectorAll('.qv-modal-tab.qv-tab-active')].map((b) => b.id);
  return { open: m.style.display === 'flex', shown, active };
});

const activePills = (page, attr) => page.evaluate((a) =>
  [...document.querySelectorAll(`#qv-vault-modal [data-${a}].qv-pill-active`)].map((e) => e.getAttribute('data-' + a)), attr);

const chatText = (page) => page.evaluate(() => document.getElementById('qv-ai-chat-body').textContent);

test('openers choose the tab; tabs, close, cancel and backdrop', async () => {
  await withVault({}, async (page) => {
    assert.equal((await state(page)).open, false);
    await page.click('#qv-btn-settings');
    assert.deepEqual(await state(page), { open: true, shown: ['risk'], active: ['qv-tab-btn-risk'] });
    await page.click('#qv-tab-btn-schedule');
    assert.deepEqual(await state(page), { open: true, shown: ['schedule'], active: ['qv-tab-btn-schedule'] });
    await page.click('#qv-vault-close-btn');
    assert.equal((await state(page)).open, false);

    await page.click('#qv-vault-open-btn');
    assert.deepEqual((await state(page)).shown, ['keys']);
    await page.click('#qv-vault-cancel');
    await page.click('#qv-subbar-risk-btn');
    assert.deepEqual((await state(page)).shown, ['risk']);
    await page.mouse.click(5, 5);  // the dark backdrop around the box
    assert.equal((await state(page)).open, false);

    await page.selectOption('#qv-ai-strategy-select', 'byos_custom');
    await page.click('#qv-open-byos-tpl-btn');
    const s = await state(page);
    assert.deepEqual(s.shown, ['strategy']);
    assert.equal(await page.isVisible('#qv-byos-builder'), true);
    await page.evaluate(() => window.openQuorvaleVault('nonsense'));
    assert.deepEqual((await state(page)).shown, ['risk']);
  });
});

test('pills follow stored values and clicks', async () => {
  await withVault({ storage: { qv_default_risk_pct: '1.5', qv_max_spread_pts: '50', qv_default_rr: '1:3.0' } }, async (page) => {
    await page.click('#qv-btn-settings');
    assert.deepEqual(await activePills(page, 'risk'), ['1.5']);
    assert.deepEqual(await activePills(page, 'spread'), ['50']);
    assert.deepEqual(await activePills(page, 'rr'), ['1:3.0']);
    await page.click('#qv-vault-modal [data-risk="2.0"]');
    assert.deepEqual(await activePills(page, 'risk'), ['2.0']);
    assert.equal(await page.inputValue('#qv-setting-risk-pct'), '2.0');
    await page.click('#qv-vault-modal [data-spread="100"]');
    assert.equal(await page.inputValue('#qv-setting-max-spread'), '100');
    assert.equal(await page.evaluate(() => document.getElementById('qv-vault-modal').style.display), 'flex', 'a pill click keeps the vault open');
  });
  await withVault({ storage: { qv_default_risk_pct: '0.8' } }, async (page) => {
    await page.click('#qv-btn-settings');
    assert.deepEqual(await activePills(page, 'risk'), [], 'no pill for 0.8');
  });
});

test('Save normalises, stores, and sends TG_CFG before VAULT_CFG with the toggle state', async () => {
  await withVault({}, async (page) => {
    await page.click('#qv-vault-open-btn');
    await page.fill('#qv-key-gemini', '  AIzaSyKEY  ');
    await page.fill('#qv-key-openrouter-model', '');
    await page.fill('#qv-key-tg-token', '123:ABC');
    await page.fill('#qv-key-tg-chatid', '987');
    await page.click('#qv-tab-btn-risk');
    await page.fill('#qv-setting-risk-pct', '2.25');
    await page.fill('#qv-setting-max-spread', '');
    await page.fill('#qv-setting-def-rr', '  1:2.5 ');
    await page.click('#qv-tab-btn-schedule');
    await page.fill('#qv-hour-start', '');
    await page.uncheck('#qv-sess-asian');
    await page.check('#qv-sess-nypm');
    await page.click('#qv-vault-save');
    const msgs = (await posted(page)).filter((m) => m.startsWith('TG_CFG:') || m.startsWith('VAULT_CFG:'));
    assert.equal(msgs.length, 2);
    assert.equal(msgs[0], 'TG_CFG:123:ABC,987');
    const cfg = JSON.parse(msgs[1].slice('VAULT_CFG:'.length));
    assert.deepEqual(Object.keys(cfg), ['gemini', 'deepseek', 'openrouter', 'openai', 'claude', 'autotrader', 'risk_pct',
      'max_dd', 'max_spread', 'confidence_threshold', 'exec_interval', 'active_strategy', 'hour_start', 'hour_end', 'daily_cap']);
    assert.deepEqual(cfg, { gemini: 'AIzaSyKEY', deepseek: '', openrouter: '', openai: '', claude: '', autotrader: 0,
      risk_pct: 2.3, max_dd: 4.5, max_spread: 35, confidence_threshold: 85, exec_interval: 'CANDLE_CLOSE_H1',
      active_strategy: 'core', hour_start: null, hour_end: 18, daily_cap: 3 });
    const stored = await page.evaluate(() => Object.fromEntries(Object.keys(localStorage).map((k) => [k, localStorage.getItem(k)])));
    assert.equal(stored.qv_default_risk_pct, '2.3');
    assert.equal(stored.qv_max_spread_pts, '35');
    assert.equal(stored.qv_default_rr, '1:2.5');
    assert.equal(stored.qv_hour_start, '');
    assert.equal(stored.qv_hour_end, '18');
    assert.deepEqual([stored.qv_sess_asian, stored.qv_sess_lon, stored.qv_sess_nyam, stored.qv_sess_nypm], ['false', 'true', 'true', 'true']);
    assert.deepEqual(JSON.parse(stored.qv_byok_vault), { gemini: 'AIzaSyKEY', deepseek: '', openrouter: '',
      openrouter_model: 'google/gemini-2.0-flash-001', openai: '', claude: '', tg_token: '123:ABC', tg_chatid: '987' });
    assert.equal(await page.textContent('#qv-subbar-risk-val'), '2.3%');
    assert.equal((await state(page)).open, false);
    const chat = await chatText(page);
    assert.ok(chat.includes('Settings, Playbook & Timing Saved: Playbook: core • Interval: CANDLE_CLOSE_H1 • Risk: 2.3% • Max DD: 4.5% • Max Spread: 35 pts • Target R:R: 1:2.5.'));
    assert.match(await page.textContent('#qv-vault-open-btn'), /Keys Connected/);

    // The toggle is the one truth: turned on, the next save says so.
    await page.click('#qv-autotrader-toggle');
    await page.click('#qv-btn-settings');
    await page.fill('#qv-setting-max-spread', '-5');
    await page.click('#qv-tab-btn-keys');
    await page.fill('#qv-key-tg-token', '');
    const before = (await posted(page)).length;
    await page.click('#qv-vault-save');
    const after = (await posted(page)).slice(before);
    assert.deepEqual(after.filter((m) => m.startsWith('TG_CFG:')), ['TG_CFG:,987'], 'a cleared token tells the host');
    const last = JSON.parse(after.filter((m) => m.startsWith('VAULT_CFG:')).pop().slice(10));
    assert.equal(last.autotrader, 1);
    assert.equal(last.max_spread, 35, 'a negative spread becomes 35');
  });
});

test('Save in risk mode writes the ticket size', async () => {
  await withVault({ storage: { qv_hud_mode: 'RISK' } }, async (page) => {
    await page.click('#qv-btn-settings');
    await page.fill('#qv-setting-risk-pct', '1.75');
    await page.click('#qv-vault-save');
    assert.equal(await page.inputValue('#qv-size-input'), '1.8%');
    assert.equal(await page.evaluate(() => localStorage.getItem('qv_hud_risk_val')), '1.8');
  });
});

test('templates fill the editor, feedback lasts 5 s, cancel discards', async () => {
  await withVault({ clock: new Date('2026-03-03T10:00:00Z'), storage: { qv_active_strategy: 'byos_custom', qv_byos_name: 'Mine' } }, async (page) => {
    await page.click('#qv-btn-settings');
    await page.click('#qv-tab-btn-strategy');
    await page.click('.qv-tpl-chip[data-tpl="tpl_smc_fvg"]');
    const f = await page.evaluate(() => ['qv-byos-name', 'qv-byos-entry', 'qv-byos-invalidation', 'qv-byos-rr', 'qv-byos-cot-policy', 'qv-byos-template-select']
      .map((id) => document.getElementById(id).value));
    assert.equal(f[0], 'SMC Order Block & Fair Value Gap (FVG)');
    assert.ok(f[1].split('\n').every((l) => l.startsWith('- ')) && f[1].includes('3-candle'));
    assert.ok(f[2].split('\n').every((l) => l.startsWith('- ')));
    assert.deepEqual(f.slice(3), ['1:2.5', 'STRICT_CONFIRMATION', 'tpl_smc_fvg']);
    assert.equal(await page.isVisible('#qv-byos-tpl-feedback'), true);
    assert.equal(await page.textContent('#qv-byos-tpl-feedback'),
      '✅ Loaded Template: SMC Order Block & Fair Value Gap (FVG) (Feel free to edit any lines below, then click Save)');
    // The installed clock also runs in real time between steps, so the margins leave room
    // for a slow round trip on either side of the 5 s.
    await page.clock.runFor(4600);
    assert.equal(await page.isVisible('#qv-byos-tpl-feedback'), true);
    await page.clock.runFor(500);
    assert.equal(await page.isVisible('#qv-byos-tpl-feedback'), false);

    await page.selectOption('#qv-byos-template-select', 'clone_asian');
    assert.equal(await page.inputValue('#qv-byos-name'), 'Asian Range Judas Swing (Clone)', 'choosing in the select loads at once');
    await page.evaluate(() => window.loadByosTemplate('no_such'));
    assert.equal(await page.inputValue('#qv-byos-name'), 'Asian Range Judas Swing (Clone)');
    await page.click('#qv-vault-cancel');
    await page.click('#qv-btn-settings');
    assert.equal(await page.inputValue('#qv-byos-name'), 'Mine');
    assert.equal(await page.evaluate(() => localStorage.getItem('qv_byos_name')), 'Mine');
  });
});

test('playbook selects stay in step; description and builder follow', async () => {
  await withVault({}, async (page) => {
    await page.selectOption('#qv-ai-strategy-select', 'ict_silver');
    assert.equal(await page.evaluate(() => localStorage.getItem('qv_active_strategy')), 'ict_silver');
    assert.equal(await page.inputValue('#qv-vault-strategy-select'), 'ict_silver');
    assert.ok((await chatText(page)).includes('🎯 Active Playbook Switched: ICT Silver Bullet (FVG) loaded.'));
    assert.match(await page.textContent('#qv-strategy-desc-card'), /^ICT Silver Bullet: Fair Value Gap/);
    await page.click('#qv-btn-settings');
    await page.click('#qv-tab-btn-strategy');
    await page.selectOption('#qv-vault-strategy-select', 'byos_custom');
    assert.equal(await page.inputValue('#qv-ai-strategy-select'), 'byos_custom');
    assert.equal(await page.evaluate(() => localStorage.getItem('qv_active_strategy')), 'ict_silver', 'the vault select stores only on Save');
    assert.equal(await page.isVisible('#qv-byos-builder'), true);
    await page.selectOption('#qv-vault-strategy-select', 'breakout_retest');
    assert.equal(await page.isVisible('#qv-byos-builder'), false);
  });
});

test('model select: vault entry keeps the previous model; missing key note', async () => {
  await withVault({ storage: { qv_byok_vault: JSON.stringify({ gemini: 'AIzaX' }) } }, async (page) => {
    await page.selectOption('#qv-ai-model-select', 'deepseek-chat');
    assert.ok((await chatText(page)).includes('DeepSeek API Key Required'));
    const titles = await page.evaluate(() => [...document.querySelectorAll('.qv-msg-meta')].map((m) => m.textContent.split(' • ')[0]));
    assert.ok(titles.includes('API KEY REQUIRED'));
    await page.selectOption('#qv-ai-model-select', '__open_vault__');
    assert.equal(await page.inputValue('#qv-ai-model-select'), 'deepseek-chat');
    assert.deepEqual((await state(page)).shown, ['risk']);
    await page.click('#qv-vault-cancel');
    const before = await page.evaluate(() => document.querySelectorAll('.qv-missing-key').length);
    await page.selectOption('#qv-ai-model-select', 'gemini-3.1-pro');
    assert.equal(await page.evaluate(() => document.querySelectorAll('.qv-missing-key').length), before, 'a stored key posts nothing');
    // The note's own button opens the keys tab.
    await page.click('.qv-missing-key .qv-vault-callout-btn');
    assert.deepEqual((await state(page)).shown, ['keys']);
  });
});

test('welcome card and vault face with and without keys', async () => {
  await withVault({}, async (page) => {
    assert.match(await page.textContent('#qv-vault-open-btn'), /API Keys \(BYOK\)/);
    assert.ok((await chatText(page)).includes('Where to Put Your API Key:'));
    await page.click('#qv-welcome-card .qv-vault-callout-btn');
    await page.fill('#qv-key-claude', 'sk-ant-x');
    await page.click('#qv-vault-save');
    assert.ok(await page.evaluate(() => document.getElementById('qv-welcome-card').textContent.includes('Institutional AI Copilot Online')));
    const meta = await page.evaluate(() => document.getElementById('qv-welcome-card').closest('.qv-msg').querySelector('.qv-msg-meta').textContent);
    assert.match(meta, /^QUORVALE AI SENTINEL • /);
  });
});

test('config sync: file keys win, model and settings copied, toggle follows, user toggle is not reversed', async () => {
  let file = { gemini: 'AIzaFILE', deepseek: '', openrouter: '', openai: 'sk-file', claude: '', autotrader: 1,
    risk_pct: 1, max_dd: 3.5, max_spread: 42, confidence_threshold: 90, model: 'deepseek-chat' };
  let pageRef;
  // The host writes every VAULT_CFG body into the file the sync reads.
  const config = async () => {
    try {
      const sent = await pageRef.evaluate(() => window.__posted.filter((m) => m.startsWith('VAULT_CFG:')));
      if (sent.length) file = JSON.parse(sent[sent.length - 1].slice(10));
    } catch { /* page already closed */ }
    return { body: JSON.stringify(file) };
  };
  await withVault({ files: { 'QV_AIConfig.json': config },
    storage: { qv_byok_vault: JSON.stringify({ gemini: 'AIzaOLD', deepseek: 'sk-mine' }) } }, async (page) => {
    pageRef = page;
    await page.evaluate(() => window.__qvTest.syncExternalAIConfig());
    const v = await page.evaluate(() => JSON.parse(localStorage.getItem('qv_byok_vault')));
    assert.equal(v.gemini, 'AIzaFILE');
    assert.equal(v.openai, 'sk-file');
    assert.equal(v.deepseek, 'sk-mine', 'an empty file value never erases a key');
    assert.equal(await page.inputValue('#qv-ai-model-select'), 'deepseek-chat');
    await page.selectOption('#qv-ai-model-select', '__open_vault__');
    assert.equal(await page.inputValue('#qv-ai-model-select'), 'deepseek-chat', 'the synced model is the one to return to');
    await page.click('#qv-vault-cancel');
    const st = await page.evaluate(() => ['qv_default_risk_pct', 'qv_constitution_daily_loss', 'qv_max_spread_pts', 'qv_autotrader_threshold', 'qv_autotrader'].map((k) => localStorage.getItem(k)));
    assert.deepEqual(st, ['1.0', '3.5', '42', '90', '1']);
    assert.equal(await page.textContent('#qv-auto-label'), 'AutoTrader: ON (>=85% Conf)');
    // The vault holds a DeepSeek key the file lacks: it is sent back with the real toggle state.
    const back = (await posted(page)).filter((m) => m.startsWith('VAULT_CFG:')).pop();
    assert.equal(JSON.parse(back.slice(10)).deepseek, 'sk-mine');
    assert.equal(JSON.parse(back.slice(10)).autotrader, 1);

    await page.click('#qv-autotrader-toggle');
    assert.equal(await page.textContent('#qv-auto-label'), 'AutoTrader: OFF');
    const sent = (await posted(page)).filter((m) => m.startsWith('VAULT_CFG:')).pop();
    assert.equal(JSON.parse(sent.slice(10)).autotrader, 0, 'the toggle reaches the host');
    await page.evaluate(() => window.__qvTest.syncExternalAIConfig());
    await page.evaluate(() => window.__qvTest.syncExternalAIConfig());
    assert.equal(await page.textContent('#qv-auto-label'), 'AutoTrader: OFF', 'the sync does not switch it back on');
    assert.equal(await page.evaluate(() => localStorage.getItem('qv_autotrader')), '0');
    assert.ok((await chatText(page)).includes('Autonomous Bar-Close AutoTrader is now DEACTIVATED.'));
  });
});

// The host writes a VAULT_CFG body unchanged over QV_AIConfig.json: a page that starts (or
// saves) must carry what others stored there, not rewrite the file from its defaults.
test('start-up push and Save keep the stored configuration\'s foreign members', async () => {
  const stored = { gemini: 'AIzaFILE', deepseek: '', openrouter: '', openai: '', claude: '', autotrader: 1,
    risk_pct: 0.5, max_spread: 20, confidence_threshold: 90, daily_cap: 1, tg_relay: 'on', journal: { upload: true } };
  await withVault({ files: { 'QV_AIConfig.json': stored },
    storage: { qv_byok_vault: JSON.stringify({ gemini: 'AIzaMINE', deepseek: 'sk-mine' }), qv_autotrader: '0' } }, async (page) => {
    const first = (await posted(page)).find((m) => m.startsWith('VAULT_CFG:'));
    assert.ok(first, 'the start-up push');
    assert.deepEqual(JSON.parse(first.slice(10)), { ...stored, deepseek: 'sk-mine' },
      'it only fills the key the file lacked; the file\'s toggle, settings and foreign members stay');

    await page.click('#qv-btn-settings');
    await page.fill('#qv-setting-daily-cap', '4');
    await page.click('#qv-vault-save');
    const saved = JSON.parse((await posted(page)).filter((m) => m.startsWith('VAULT_CFG:')).pop().slice(10));
    assert.equal(saved.tg_relay, 'on');
    assert.deepEqual(saved.journal, { upload: true });
    assert.equal(saved.daily_cap, 4, 'the vault\'s own members are the vault\'s');
    assert.equal(await page.evaluate(() => localStorage.getItem('qv_autotrader_daily_cap')), '4');
  });
});
