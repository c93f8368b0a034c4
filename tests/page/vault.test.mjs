// Settings vault: openers and tabs, pills, templates, Save with its normalisation, the
// settings and secrets it asks the host to keep and what it says when the host does not,
// the playbook and model selects, the status face, and the host's pushes.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { buildHud, launch, posted, openChart, hudReady, openDrawer, withPage, waitFor, fakeHost } from './lib/harness.mjs';

let browser;
let script;
before(async () => { script = buildHud(['vault']); browser = await launch(); });
after(async () => { await browser.close(); });

function withVault(opts, fn) {
  return withPage(() => openChart(browser, script, opts), async (p) => {
    if (opts.noHost) await p.hud.waitFor('#qv-ai-drawer');
    else await hudReady(p);
    await openDrawer(p);
    await fn(p);
  });
}

const state = ({ hud }) => hud.root(function () {
  const m = this.getElementById('qv-vault-modal');
  const shown = ['risk', 'schedule', 'strategy', 'keys'].filter((t) => this.getElementById('qv-tab-content-' + t).style.display === 'flex');
  const active = [...this.querySelectorAll('.qv-modal-tab.qv-tab-active')].map((b) => b.id);
  return { open: m.style.display === 'flex', shown, active };
});

const activePills = ({ hud }, attr) => hud.root(function (a) {
  return [...this.querySelectorAll(`#qv-vault-modal [data-${a}].qv-pill-active`)].map((e) => e.getAttribute('data-' + a));
}, attr);

const chatText = ({ hud }) => hud.text('#qv-ai-chat-body');
const sent = async (p, prefix) => (await posted(p)).filter((m) => m.startsWith(prefix)).map((m) => JSON.parse(m.slice(prefix.length)));

test('openers choose the tab; tabs, close, cancel and backdrop', async () => {
  await withVault({}, async (p) => {
    const { page, hud } = p;
    assert.equal((await state(p)).open, false);
    await hud.click('#qv-btn-settings');
    assert.deepEqual(await state(p), { open: true, shown: ['risk'], active: ['qv-tab-btn-risk'] });
    await hud.click('#qv-tab-btn-schedule');
    assert.deepEqual(await state(p), { open: true, shown: ['schedule'], active: ['qv-tab-btn-schedule'] });
    await hud.click('#qv-vault-close-btn');
    assert.equal((await state(p)).open, false);

    await hud.click('#qv-vault-open-btn');
    assert.deepEqual((await state(p)).shown, ['keys']);
    await hud.click('#qv-vault-cancel');
    await hud.click('#qv-subbar-risk-btn');
    assert.deepEqual((await state(p)).shown, ['risk']);
    await page.mouse.click(5, 5);  // the dark backdrop around the box
    assert.equal((await state(p)).open, false);

    await hud.select('#qv-ai-strategy-select', 'byos_custom');
    await hud.click('#qv-open-byos-tpl-btn');
    assert.deepEqual((await state(p)).shown, ['strategy']);
    assert.equal(await hud.visible('#qv-byos-builder'), true);
    await hud.eval(`__qvTest.vault.open('nonsense')`);
    assert.deepEqual((await state(p)).shown, ['risk']);
  });
});

test('pills follow the host\'s values and clicks', async () => {
  await withVault({ settings: { risk_pct: 1.5, max_spread: 50, default_rr: '1:3.0' } }, async (p) => {
    const { hud } = p;
    await hud.click('#qv-btn-settings');
    assert.deepEqual(await activePills(p, 'risk'), ['1.5']);
    assert.deepEqual(await activePills(p, 'spread'), ['50']);
    assert.deepEqual(await activePills(p, 'rr'), ['1:3.0']);
    await hud.click('#qv-vault-modal [data-risk="2.0"]');
    assert.deepEqual(await activePills(p, 'risk'), ['2.0']);
    assert.equal(await hud.value('#qv-setting-risk-pct'), '2.0');
    await hud.click('#qv-vault-modal [data-spread="100"]');
    assert.equal(await hud.value('#qv-setting-max-spread'), '100');
    assert.equal(await hud.call('#qv-vault-modal', function () { return this.style.display; }), 'flex', 'a pill click keeps the vault open');
  });
  await withVault({ settings: { risk_pct: 0.8 } }, async (p) => {
    await p.hud.click('#qv-btn-settings');
    assert.deepEqual(await activePills(p, 'risk'), [], 'no pill for 0.8');
  });
});

test('Save normalises, asks the host to keep its members and changed keys only, and says saved once it has', async () => {
  await withVault({ settings: { autotrader: true, hud_mode: 'RISK' }, secrets: { deepseek: 'sk-old' } }, async (p) => {
    const { page, hud, host } = p;
    await hud.click('#qv-vault-open-btn');
    assert.equal(await hud.value('#qv-key-deepseek'), 'sk-old', 'the host\'s keys in the fields');
    await hud.fill('#qv-key-gemini', '  AIzaSyKEY  ');
    await hud.fill('#qv-key-openrouter-model', '');
    await hud.fill('#qv-key-tg-token', '123:ABC');
    await hud.fill('#qv-key-tg-chatid', '987');
    await hud.click('#qv-tab-btn-risk');
    await hud.fill('#qv-setting-risk-pct', '2.25');
    await hud.fill('#qv-setting-max-spread', '');
    await hud.fill('#qv-setting-def-rr', '  1:2.5 ');
    await hud.click('#qv-tab-btn-schedule');
    await hud.fill('#qv-hour-start', '');
    await hud.click('#qv-sess-asian');
    await hud.click('#qv-sess-nypm');
    await hud.click('#qv-vault-save');
    await waitFor(async () => !(await state(p)).open, 'the vault closed once the host kept it');
    const settings = await sent(p, 'SETTINGS_SET:');
    assert.equal(settings.length, 2);
    assert.deepEqual(settings[1], { hud_risk_val: '2.3' }, 'then the risk-mode ticket keeps the saved risk');
    assert.deepEqual(settings[0], { risk_pct: 2.3, max_dd: 4.5, max_spread: 35, default_rr: '1:2.5', confidence_threshold: 85,
      exec_interval: 'CANDLE_CLOSE_H1', daily_cap: 3, hour_start: null, hour_end: 18, active_strategy: 'core',
      byos_name: '', byos_entry: '', byos_invalidation: '', byos_rr: '1:2.0', byos_cot_policy: 'ADVISORY',
      sess_asian: false, sess_lon: true, sess_nyam: true, sess_nypm: true },
    'never the AutoTrader\'s switch or the ticket\'s sizing');
    assert.deepEqual(await sent(p, 'SECRETS_SET:'), [{ gemini: 'AIzaSyKEY', tg_token: '123:ABC', tg_chatid: '987' }], 'only what changed');
    assert.deepEqual([host.settings.risk_pct, host.settings.autotrader, host.secrets.tg_chatid], [2.3, true, '987']);
    assert.deepEqual(await page.evaluate(() => Object.keys(localStorage)), [], 'nothing in the site\'s storage');
    assert.equal(await hud.text('#qv-subbar-risk-val'), '2.3%');
    assert.equal(await hud.value('#qv-size-input'), '2.3%', 'in risk mode the ticket takes the saved risk');
    const chat = await chatText(p);
    assert.ok(chat.includes('Settings, Playbook & Timing Saved: Playbook: core • Interval: CANDLE_CLOSE_H1 • Risk: 2.3% • Max DD: 4.5% • Max Spread: 35 pts • Target R:R: 1:2.5.'));
    assert.match(await hud.text('#qv-vault-open-btn'), /Keys Connected/);
    assert.equal(await hud.text('#qv-auto-label'), 'AutoTrader: ON (>=85% Conf)', 'a Save leaves the switch as it was');

    await hud.click('#qv-btn-settings');
    await hud.fill('#qv-setting-max-spread', '-5');
    await hud.click('#qv-tab-btn-keys');
    await hud.fill('#qv-key-tg-token', '');
    await hud.click('#qv-vault-save');
    await waitFor(async () => (await sent(p, 'SECRETS_SET:')).length === 2, 'the second save');
    assert.deepEqual((await sent(p, 'SECRETS_SET:'))[1], { tg_token: '' }, 'a cleared token tells the host');
    assert.equal((await sent(p, 'SETTINGS_SET:')).filter((m) => 'max_spread' in m).pop().max_spread, 35, 'a negative spread becomes 35');
  });
});

test('Save says so when the host does not keep it: no connection, no answer, a relay it kept', async () => {
  await withVault({ noHost: true }, async (p) => {
    await p.hud.click('#qv-btn-settings');
    await p.hud.click('#qv-vault-save');
    assert.equal(await p.hud.text('#qv-vault-save-status'), 'Not saved: no connection to the workspace.');
    assert.equal((await state(p)).open, true, 'the edits stay in front of the trader');
  });
  await withVault({ host: fakeHost({ quiet: true }), clock: new Date('2026-03-04T10:00:00Z') }, async (p) => {
    await p.hud.click('#qv-btn-settings');
    await p.hud.fill('#qv-setting-risk-pct', '2');
    await p.hud.click('#qv-vault-save');
    assert.equal(await p.hud.text('#qv-vault-save-status'), 'Saving\u2026');
    await p.clock.runFor(5100);
    assert.equal(await p.hud.text('#qv-vault-save-status'), 'Not saved: the workspace did not confirm the settings.');
    assert.equal((await state(p)).open, true);
    assert.ok(!(await chatText(p)).includes('Saved'), 'never said saved');
  });
  // The trader declined the new bot at the workspace: the host keeps the relay it had.
  const host = fakeHost({ secrets: { tg_token: '1:OLD', tg_chatid: '5' } });
  const post = host.post;
  host.post = (m, page) => post(m.startsWith('SECRETS_SET:') ? 'SECRETS_SET:{}' : m, page);
  await withVault({ host }, async (p) => {
    await p.hud.click('#qv-vault-open-btn');
    await p.hud.fill('#qv-key-tg-token', '999:ATTACKERBOT');
    await p.hud.click('#qv-vault-save');
    await waitFor(async () => (await chatText(p)).includes('Telegram relay not changed: the workspace kept the bot and chat it had.'), 'the relay kept');
    await p.hud.click('#qv-vault-open-btn');
    assert.equal(await p.hud.value('#qv-key-tg-token'), '1:OLD');
  });
  // A host that says why in its own words: said once, in its words.
  const wording = fakeHost({ secrets: { tg_token: '1:OLD', tg_chatid: '5' } });
  const kept = wording.post;
  wording.post = async (m, page) => {
    if (!m.startsWith('SECRETS_SET:')) return kept(m, page);
    await page.push({ type: 'relay', result: 'declined', text: 'the trader declined bot @attackerbot for chat 424242' });
    return kept('SECRETS_SET:{}', page);
  };
  await withVault({ host: wording }, async (p) => {
    await p.hud.click('#qv-vault-open-btn');
    await p.hud.fill('#qv-key-tg-chatid', '424242');
    await p.hud.click('#qv-vault-save');
    await waitFor(async () => (await chatText(p)).includes('Telegram relay: the trader declined bot @attackerbot for chat 424242'), 'the host\'s words');
    await p.page.waitForTimeout(200);
    assert.ok(!(await chatText(p)).includes('Telegram relay not changed'), 'not said twice');
  });
});

test('the relay\'s state from the host: under its fields, an error once in the chat', async () => {
  await withVault({}, async (p) => {
    const status = (telegram, error) => p.push({ type: 'status', telegram, telegram_error: error });
    await p.push({ type: 'secrets', tg_token: '1:T', tg_chatid: '5', tg_bot: 'quorvale_bot' });
    await status('polling', false);
    await p.hud.click('#qv-vault-open-btn');
    assert.equal(await p.hud.text('#qv-tg-status'), 'Telegram relay (@quorvale_bot): polling');
    await p.push({ type: 'secrets' });
    await status('401 Unauthorized: the bot token was revoked', true);
    await status('401 Unauthorized: the bot token was revoked', true);
    assert.equal(await p.hud.text('#qv-tg-status'), 'Telegram relay: 401 Unauthorized: the bot token was revoked');
    assert.equal(await p.hud.call('#qv-tg-status', function () { return getComputedStyle(this).color; }), 'rgb(255, 82, 82)');
    const lines = (await chatText(p)).split('Telegram relay: 401').length - 1;
    assert.equal(lines, 1, 'said once');
  });
});

test('templates fill the editor, feedback lasts 5 s, cancel discards', async () => {
  await withVault({ clock: new Date('2026-03-03T10:00:00Z'), settings: { active_strategy: 'byos_custom', byos_name: 'Mine' } }, async (p) => {
    const { hud } = p;
    await hud.click('#qv-btn-settings');
    await hud.click('#qv-tab-btn-strategy');
    await hud.click('.qv-tpl-chip[data-tpl="tpl_smc_fvg"]');
    const f = await hud.root(function () {
      return ['qv-byos-name', 'qv-byos-entry', 'qv-byos-invalidation', 'qv-byos-rr', 'qv-byos-cot-policy', 'qv-byos-template-select']
        .map((id) => this.getElementById(id).value);
    });
    assert.equal(f[0], 'SMC Order Block & Fair Value Gap (FVG)');
    assert.ok(f[1].split('\n').every((l) => l.startsWith('- ')) && f[1].includes('3-candle'));
    assert.ok(f[2].split('\n').every((l) => l.startsWith('- ')));
    assert.deepEqual(f.slice(3), ['1:2.5', 'STRICT_CONFIRMATION', 'tpl_smc_fvg']);
    assert.equal(await hud.visible('#qv-byos-tpl-feedback'), true);
    assert.equal(await hud.text('#qv-byos-tpl-feedback'),
      '✅ Loaded Template: SMC Order Block & Fair Value Gap (FVG) (Feel free to edit any lines below, then click Save)');
    // The installed clock also runs in real time between steps, so the margins leave room
    // for a slow round trip on either side of the 5 s.
    await p.clock.runFor(4600);
    assert.equal(await hud.visible('#qv-byos-tpl-feedback'), true);
    await p.clock.runFor(500);
    assert.equal(await hud.visible('#qv-byos-tpl-feedback'), false);

    await hud.select('#qv-byos-template-select', 'clone_asian');
    assert.equal(await hud.value('#qv-byos-name'), 'Asian Range Judas Swing (Clone)', 'choosing in the select loads at once');
    await hud.eval(`__qvTest.vault.loadByosTemplate('no_such')`);
    assert.equal(await hud.value('#qv-byos-name'), 'Asian Range Judas Swing (Clone)');
    await hud.click('#qv-vault-cancel');
    await hud.click('#qv-btn-settings');
    assert.equal(await hud.value('#qv-byos-name'), 'Mine');
    assert.equal(p.host.settings.byos_name, 'Mine');
  });
});

test('playbook selects stay in step; the drawer\'s choice is the host\'s to keep', async () => {
  await withVault({}, async (p) => {
    const { hud, host } = p;
    await hud.select('#qv-ai-strategy-select', 'ict_silver');
    await waitFor(() => host.settings.active_strategy === 'ict_silver', 'the playbook kept by the host');
    assert.equal(await hud.value('#qv-vault-strategy-select'), 'ict_silver');
    assert.ok((await chatText(p)).includes('🎯 Active Playbook Switched: ICT Silver Bullet (FVG) loaded.'));
    assert.match(await hud.text('#qv-strategy-desc-card'), /^ICT Silver Bullet: Fair Value Gap/);
    await hud.click('#qv-btn-settings');
    await hud.click('#qv-tab-btn-strategy');
    await hud.select('#qv-vault-strategy-select', 'byos_custom');
    assert.equal(await hud.value('#qv-ai-strategy-select'), 'byos_custom');
    assert.equal(host.settings.active_strategy, 'ict_silver', 'the vault select is kept only by Save');
    assert.equal(await hud.visible('#qv-byos-builder'), true);
    await hud.select('#qv-vault-strategy-select', 'breakout_retest');
    assert.equal(await hud.visible('#qv-byos-builder'), false);
  });
  await withVault({ host: fakeHost({ quiet: true }), clock: new Date('2026-03-04T10:00:00Z') }, async (p) => {
    await p.hud.select('#qv-ai-strategy-select', 'asian_sweep');
    await p.clock.runFor(5100);
    await waitFor(async () => (await chatText(p)).includes('Playbook not changed: the workspace did not keep it; still core.'), 'the playbook back');
    assert.equal(await p.hud.value('#qv-ai-strategy-select'), 'core');
  });
});

test('model select: vault entry keeps the previous model; missing key note', async () => {
  await withVault({ secrets: { gemini: 'AIzaX' } }, async (p) => {
    const { hud } = p;
    await hud.select('#qv-ai-model-select', 'deepseek-chat');
    assert.ok((await chatText(p)).includes('DeepSeek API Key Required'));
    const titles = await hud.root(function () { return [...this.querySelectorAll('.qv-msg-meta')].map((m) => m.textContent.split(' • ')[0]); });
    assert.ok(titles.includes('API KEY REQUIRED'));
    await hud.select('#qv-ai-model-select', '__open_vault__');
    assert.equal(await hud.value('#qv-ai-model-select'), 'deepseek-chat');
    assert.deepEqual((await state(p)).shown, ['risk']);
    await hud.click('#qv-vault-cancel');
    const before = await hud.count('.qv-missing-key');
    await hud.select('#qv-ai-model-select', 'gemini-3.1-pro');
    assert.equal(await hud.count('.qv-missing-key'), before, 'a stored key posts nothing');
    // The note's own button opens the keys tab.
    await hud.click('.qv-missing-key .qv-vault-callout-btn');
    assert.deepEqual((await state(p)).shown, ['keys']);
  });
});

test('the host\'s pushes: keys, model, settings and the AutoTrader\'s switch follow; the toggle only asks', async () => {
  await withVault({ clock: new Date('2026-03-04T10:00:00Z') }, async (p) => {
    const { hud, host } = p;
    await p.push({ type: 'secrets', gemini: 'AIzaFILE', openai: 'sk-file' });
    await p.push({ type: 'settings', autotrader: 1, risk_pct: 1, max_dd: 3.5, max_spread: 42, confidence_threshold: 90, model: 'deepseek-chat' });
    assert.equal(await hud.value('#qv-ai-model-select'), 'deepseek-chat');
    await hud.select('#qv-ai-model-select', '__open_vault__');
    assert.equal(await hud.value('#qv-ai-model-select'), 'deepseek-chat', 'the pushed model is the one to return to');
    assert.deepEqual(await hud.root(function () {
      return ['qv-setting-risk-pct', 'qv-setting-max-dd', 'qv-setting-max-spread', 'qv-setting-auto-conf'].map((id) => this.getElementById(id).value);
    }), ['1.0', '3.5', '42', '90']);
    await hud.click('#qv-vault-cancel');
    assert.equal(await hud.text('#qv-auto-label'), 'AutoTrader: ON (>=85% Conf)');
    assert.ok((await chatText(p)).includes('Autonomous Bar-Close AutoTrader is now ACTIVATED (Scanning on candle close).'));
    assert.match(await hud.text('#qv-vault-open-btn'), /Keys Connected/);

    // The toggle asks; the switch moves when the host's push says so.
    host.settings.autotrader = true;
    await hud.click('#qv-autotrader-toggle');
    await waitFor(async () => (await hud.text('#qv-auto-label')) === 'AutoTrader: OFF', 'switched off by the host');
    assert.deepEqual(await sent(p, 'SETTINGS_SET:'), [{ autotrader: false }]);
    assert.ok((await chatText(p)).includes('Autonomous Bar-Close AutoTrader is now DEACTIVATED.'));

    // A host that does not answer leaves it as it was and the chat says so.
    host.quiet = true;
    await hud.click('#qv-autotrader-toggle');
    await p.clock.runFor(30100);
    await waitFor(async () => (await chatText(p)).includes('AutoTrader not switched: the workspace did not confirm it.'), 'the refusal line');
    assert.equal(await hud.text('#qv-auto-label'), 'AutoTrader: OFF');
  });
});
