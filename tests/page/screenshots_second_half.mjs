// Screenshots of the vault tabs, a rendered reply, trade and stand-aside cards and the
// welcome cards, for looking at by eye. Writes PNGs to /tmp/qv-shots (or argv[2]).
// Not a test: run with `node tests/page/screenshots_second_half.mjs`.
import { mkdirSync, existsSync } from 'node:fs';
import { join, dirname } from 'node:path';
import { fileURLToPath } from 'node:url';
import { buildHud, launch, openPage, wired, SKELETON_BODY } from './lib/second_half.mjs';

const outDir = process.argv[2] || '/tmp/qv-shots';
mkdirSync(outDir, { recursive: true });
const here = dirname(fileURLToPath(import.meta.url));
const firstHalf = existsSync(join(here, 'lib', 'harness.mjs'));

// Without the bootstrap half's sheet the drawer skeleton gets a plain dark column here.
const DRAWER_CSS = `<style>body{margin:0;background:#131722;font-family:-apple-system,'Segoe UI',Roboto,sans-serif;font-size:11px;color:#e0e3eb}
#qv-hud-panel{display:none}#qv-ai-drawer{position:fixed;right:0;top:0;bottom:0;width:420px;background:rgb(14,18,28);border-left:1px solid #2a2e39;display:flex;flex-direction:column}
#qv-ai-hdr,.qv-ai-subbar{padding:6px 8px;display:flex;gap:6px;align-items:center;flex-wrap:wrap;border-bottom:1px solid #1f2433}
#qv-ai-chat-body{flex:1;overflow-y:auto;padding:8px;display:flex;flex-direction:column;gap:8px}
.qv-msg{border-radius:8px;padding:7px 9px}.qv-msg-ai{background:rgba(255,255,255,0.03);border:1px solid #1f2433}.qv-msg-user{background:rgba(56,117,255,0.12);align-self:flex-end}
button,select{font-size:10px}.qv-icon,.qv-icon-stroke{width:13px;height:13px}</style>`;

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

const script = buildHud(['processAIResponse', 'renderTradeProposalCard']);
const browser = await launch();
async function shot(name, opts, fn) {
  const html = `<!doctype html><html><head>${DRAWER_CSS}</head><body${opts.studio ? ' class="qv-studio-page"' : ''}>${SKELETON_BODY}</body></html>`;
  const p = await openPage(browser, { script, html, viewport: { width: 1100, height: 820 },
    url: opts.studio ? 'https://fixture.test/headless.html' : 'https://fixture.test/chart.html',
    storage: opts.storage || {}, files: { 'QV_AICopilotData.json': { Symbol: 'XAUUSD', Timeframe: 'H1', CurrentPrice: 2031.4, SwingHigh_Resistance: 2045.0, SwingLow_Support: 2010.0 } } });
  await wired(p.page);
  await p.page.waitForTimeout(400);
  await fn(p.page);
  await p.page.waitForTimeout(150);
  await p.page.screenshot({ path: join(outDir, name + '.png') });
  if (p.errors.length) console.error(name, p.errors.map(String));
  await p.close();
  console.log(join(outDir, name + '.png'));
}

const keyed = { qv_byok_vault: JSON.stringify({ gemini: 'AIzaSyDemo' }) };
for (const tab of ['risk', 'schedule', 'keys']) {
  await shot('vault-' + tab, { storage: keyed }, (page) => page.evaluate((t) => window.openQuorvaleVault(t), tab));
}
await shot('vault-strategy-byos', { storage: { ...keyed, qv_active_strategy: 'byos_custom' } }, async (page) => {
  await page.evaluate(() => window.openQuorvaleVault('strategy'));
  await page.click('.qv-tpl-chip[data-tpl="tpl_fib_golden"]');
});
await shot('reply-and-trade-card', { storage: keyed }, async (page) => {
  await page.evaluate((r) => {
    const body = document.getElementById('qv-ai-chat-body');
    body.innerHTML = '';
    const el = document.createElement('div');
    el.className = 'qv-msg qv-msg-ai';
    body.appendChild(el);
    window.__qvTest.processAIResponse(r, el);
  }, REPLY);
});
await shot('stand-aside-card', { storage: keyed }, (page) => page.evaluate(() => {
  document.getElementById('qv-ai-chat-body').innerHTML = '';
  window.__qvTest.renderTradeProposalCard({ action: 'STAND_ASIDE', symbol: 'XAUUSD', confidence: 42,
    confluence: ['Price in the middle of the 2010-2045 range', 'COT index 52 (neutral)', 'NY open in 40 minutes'] });
}));
await shot('welcome-no-keys', {}, async () => {});
await shot('welcome-keys', { storage: keyed }, async () => {});
await shot('studio-welcome-no-keys', { studio: true }, async (page) => { await page.waitForSelector('.qv-studio-welcome'); });
await shot('studio-welcome-keys', { studio: true, storage: keyed }, async (page) => { await page.waitForSelector('.qv-studio-welcome'); });
await browser.close();
if (!firstHalf) console.log('(drawer drawn with a stand-in sheet: the bootstrap half is not in this tree)');
