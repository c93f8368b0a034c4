// Screenshots of the vault tabs, a rendered reply, trade and stand-aside cards and the
// welcome cards, on the chart page and the studio page, for looking at by eye.
// Not a test: run with `node tests/page/screenshots_second_half.mjs [out-dir]`
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
const keyed = { qv_byok_vault: JSON.stringify({ gemini: 'AIzaSyDemo' }) };

const script = buildHud(['processAIResponse', 'renderTradeProposalCard']);
const browser = await launch();

async function shot(name, opts, fn) {
  const open = opts.studio ? openStudio : openChart;
  const p = await open(browser, script, { viewport: { width: 1280, height: 820 }, storage: opts.storage || {},
    files: { 'QV_AICopilotData.json': TECH, 'QV_COTData.json': COT } });
  try {
    await hudReady(p.page);
    if (!opts.studio && opts.drawer) await openDrawer(p.page);
    await p.page.waitForTimeout(400);
    await fn(p.page);
    await p.page.waitForTimeout(300);
    await p.page.screenshot({ path: join(outDir, name + '.png') });
    if (p.errors.length) console.error(name, p.errors.map(String));
    console.log(join(outDir, name + '.png'));
  } finally {
    await p.close();
  }
}

const reply = (page) => page.evaluate((r) => {
  const body = document.getElementById('qv-ai-chat-body');
  body.innerHTML = '';
  const el = document.createElement('div');
  el.className = 'qv-msg qv-msg-ai';
  body.appendChild(el);
  window.__qvTest.processAIResponse(r, el);
}, REPLY);
const standAside = (page) => page.evaluate(() => {
  document.getElementById('qv-ai-chat-body').innerHTML = '';
  window.__qvTest.renderTradeProposalCard({ action: 'STAND_ASIDE', symbol: 'XAUUSD', confidence: 42,
    confluence: ['Price in the middle of the 2010-2045 range', 'COT index 52 (neutral)', 'NY open in 40 minutes'] });
});
const vault = (tab) => (page) => page.evaluate((t) => window.openQuorvaleVault(t), tab);

for (const tab of ['risk', 'schedule', 'keys']) await shot('chart-vault-' + tab, { storage: keyed }, vault(tab));
await shot('chart-vault-strategy-byos', { storage: { ...keyed, qv_active_strategy: 'byos_custom' } }, async (page) => {
  await vault('strategy')(page);
  await page.click('.qv-tpl-chip[data-tpl="tpl_fib_golden"]');
});
await shot('chart-reply-and-trade-card', { storage: keyed, drawer: true }, reply);
await shot('chart-stand-aside-card', { storage: keyed, drawer: true }, standAside);
await shot('chart-welcome-no-keys', { drawer: true }, async () => {});
await shot('chart-welcome-keys', { storage: keyed, drawer: true }, async () => {});
await shot('chart-autotrader-on', { storage: { ...keyed, qv_autotrader: '1' }, drawer: true }, async () => {});

const studioWelcome = (page) => page.waitForSelector('.qv-studio-welcome');
await shot('studio-welcome-no-keys', { studio: true }, studioWelcome);
await shot('studio-welcome-keys', { studio: true, storage: keyed }, studioWelcome);
await shot('studio-reply-and-trade-card', { studio: true, storage: keyed }, async (page) => { await studioWelcome(page); await reply(page); });
await shot('studio-stand-aside-card', { studio: true, storage: keyed }, async (page) => { await studioWelcome(page); await standAside(page); });
await shot('studio-vault-strategy-byos', { studio: true, storage: { ...keyed, qv_active_strategy: 'byos_custom' } }, async (page) => {
  await vault('strategy')(page);
  await page.selectOption('#qv-byos-template-select', 'clone_core');
});
await browser.close();
