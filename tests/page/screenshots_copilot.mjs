// Screenshots of the vault tabs, a rendered reply, trade and stand-aside cards and the
// welcome cards, on the chart page and the studio page, for looking at by eye.
// Not a test: run with `node tests/page/screenshots_copilot.mjs [out-dir]`
// (default /tmp/qv-shots2).
import { mkdirSync } from 'node:fs';
import { join } from 'node:path';
import { buildHud, launch, openChart, openStudio, hudReady, openDrawer } from './lib/harness.mjs';

const outDir = process.argv[2] || '/tmp/qv-shots2';
mkdirSync(outDir, { recursive: true });

const REPLY = [
  '## Institutional Market Structure',
  'Gold holds a **STRONG BULLISH** bias above `2030`; weekly COT is NEUTRAL.',
  '| Level | Price | Note |',
  '|---|---:|---|',
  '| Resistance | 2045.00 | D1 high |',
  '| Support | 2010.00 | *H4 demand* |',
  '### Risk Math',
  '- **Risk Budget:** $500 at 0.5%',
  '- **Stop Distance:** 11.0 points',
  '- Wait for the London sweep before entering.',
  '$$ Lots = \\frac{500}{11 \\times 100} \\approx 0.45 $$',
  'Bias turns BEARISH below 2010 — otherwise STAND ASIDE.',
  '```json:trade_proposal',
  '{"action":"BUY","symbol":"XAUUSD","confidence":88,"entry_price":2031.0,"stop_loss":2020.0,"take_profit":2060.0,"risk_pct":0.5,"suggested_lots":0.45,"risk_reward":"1:2.6","confluence":["London low swept","H4 FVG filled","COT index 68 (bullish)","Spread 12 pts"]}',
  '```',
].join('\n');

const TECH = { Symbol: 'XAUUSD', Timeframe: 'H1', CurrentPrice: 2031.4, ATR_Volatility: 4, SwingHigh_Resistance: 2045.0, SwingLow_Support: 2010.0 };
const COT = { records: [{ symbol: 'XAUUSD', name: 'GOLD - COMMODITY EXCHANGE', asOfDate: '2026-03-03', cotIndex: 68,
  nonCommercial: { net: 180000, changeNet: 2400 }, narrative: 'Managed money adds to longs.' }] };
const keyed = { gemini: 'AIzaSyDemo' };

const script = buildHud(['tradeCards', 'vault']);
const browser = await launch();

async function shot(name, opts, fn) {
  const open = opts.studio ? openStudio : openChart;
  const p = await open(browser, script, { viewport: { width: 1280, height: 820 }, secrets: opts.secrets || {}, settings: opts.settings || {},
    files: { 'QV_AICopilotData.json': TECH, 'QV_COTData.json': COT } });
  try {
    await hudReady(p);
    if (!opts.studio && opts.drawer) await openDrawer(p);
    await p.page.waitForTimeout(400);
    await fn(p);
    await p.page.waitForTimeout(300);
    await p.page.screenshot({ path: join(outDir, name + '.png') });
    if (p.errors.length) console.error(name, p.errors.map(String));
    console.log(join(outDir, name + '.png'));
  } finally {
    await p.close();
  }
}

const reply = (p) => p.hud.root(function (r) {
  const body = this.getElementById('qv-ai-chat-body');
  body.innerHTML = '';
  const el = document.createElement('div');
  el.className = 'qv-msg qv-msg-ai';
  body.appendChild(el);
  __qvTest.tradeCards.processAIResponse(r, el);
}, REPLY);
const standAside = (p) => p.hud.root(function () {
  this.getElementById('qv-ai-chat-body').innerHTML = '';
  __qvTest.tradeCards.renderTradeProposalCard({ action: 'STAND_ASIDE', symbol: 'XAUUSD', confidence: 42,
    confluence: ['Price in the middle of the 2010-2045 range', 'COT index 52 (neutral)', 'NY open in 40 minutes'] });
});
const vault = (tab) => (p) => p.hud.eval(`__qvTest.vault.open(${JSON.stringify(tab)})`);

for (const tab of ['risk', 'schedule', 'keys']) await shot('chart-vault-' + tab, { secrets: keyed }, vault(tab));
await shot('chart-vault-keys-relay-error', { secrets: { ...keyed, tg_token: '123456789:AAH-demo', tg_chatid: '987654321' } }, async (p) => {
  await vault('keys')(p);
  await p.push({ type: 'status', telegram: '401 Unauthorized: the bot token was revoked', telegram_error: true });
});
await shot('chart-vault-not-saved', { secrets: keyed, drawer: true }, async (p) => {
  p.host.quiet = true;
  await vault('risk')(p);
  await p.hud.click('#qv-vault-save');
  await p.page.waitForTimeout(5300);
});
await shot('chart-vault-strategy-byos', { secrets: keyed, settings: { active_strategy: 'byos_custom' } }, async (p) => {
  await vault('strategy')(p);
  await p.hud.click('.qv-tpl-chip[data-tpl="tpl_fib_golden"]');
});
await shot('chart-reply-and-trade-card', { secrets: keyed, drawer: true }, reply);
await shot('chart-stand-aside-card', { secrets: keyed, drawer: true }, standAside);
await shot('chart-welcome-no-keys', { drawer: true }, async () => {});
await shot('chart-welcome-keys', { secrets: keyed, drawer: true }, async () => {});
await shot('chart-autotrader-on', { secrets: keyed, settings: { autotrader: true }, drawer: true }, async () => {});

const studioWelcome = (p) => p.hud.waitFor('.qv-studio-welcome');
await shot('studio-welcome-no-keys', { studio: true }, studioWelcome);
await shot('studio-welcome-keys', { studio: true, secrets: keyed }, studioWelcome);
await shot('studio-reply-and-trade-card', { studio: true, secrets: keyed }, async (p) => { await studioWelcome(p); await reply(p); });
await shot('studio-stand-aside-card', { studio: true, secrets: keyed }, async (p) => { await studioWelcome(p); await standAside(p); });
await shot('studio-vault-strategy-byos', { studio: true, secrets: keyed, settings: { active_strategy: 'byos_custom' } }, async (p) => {
  await vault('strategy')(p);
  await p.hud.select('#qv-byos-template-select', 'clone_core');
});
await browser.close();
