// Writes screenshots of the trading panel to /tmp/qv-shots/ for a look against the style
// table: panel expanded, collapsed, hidden with its restore button, drawer open, picking
// with the guide line, a picked stop and a marked target, COT card open and crowded, an
// unknown fate, and the studio page.
// Run: node tests/page/screenshots_panel.mjs
import { mkdirSync } from 'node:fs';
import { buildPanelHud, launch, openChart, openStudio, hudReady, technicals } from './lib/harness.mjs';

const OUT = '/tmp/qv-shots';
mkdirSync(OUT, { recursive: true });
const script = buildPanelHud();
const browser = await launch();
const COT = { records: [
  { symbol: 'XAUUSD', name: 'GOLD - COMMODITY EXCHANGE', asOfDate: '2026-03-03', cotIndex: 85, crowdedTradeAlert: true,
    nonCommercial: { net: 250000, changeNet: 1200 }, narrative: 'Managed money keeps buying, indicating aggressive accumulation at the 97.4th historical range percentile.' },
] };
const files = () => ({ 'QV_AICopilotData.json': technicals(), 'QV_COTData.json': COT });

async function shot(name, open, act) {
  const p = await open();
  try {
    await hudReady(p);
    await p.hud.waitForRoot(function () { return this.getElementById('qv-cot-badge-text').textContent !== 'COT: Loading...'; }, [], 6000).catch(() => {});
    if (act) await act(p);
    await p.page.waitForTimeout(400);
    await p.page.screenshot({ path: `${OUT}/${name}.png` });
    if (p.errors.length) console.error(name, p.errors.map(String));
  } finally {
    await p.close();
  }
}

const chart = (opts = {}) => () => openChart(browser, script, { files: files(), chart: { api: { c2p: '(y) => 2060 - y / 10' } }, ...opts });
await shot('chart-expanded', chart());
await shot('chart-collapsed', chart({ storage: { qv_hud_collapsed: '1' } }));
await shot('chart-hidden-restore', chart({ storage: { qv_hud_hidden: '1', qv_hud_x: '120', qv_hud_y: '90' } }));
await shot('chart-drawer-open', chart(), (p) => p.hud.click('#qv-btn-ai-toggle'));
await shot('chart-picking-sl', chart(), async (p) => { await p.hud.click('#qv-pick-sl'); await p.page.mouse.move(600, 300); });
await shot('chart-picking-tp', chart(), async (p) => { await p.hud.click('#qv-pick-tp'); await p.page.mouse.move(600, 200); });
await shot('chart-picked-sl-marked', chart(), async (p) => { await p.hud.click('#qv-pick-sl'); await p.page.mouse.click(600, 400); await p.hud.click('#qv-tp-mark'); await p.hud.click('#qv-tp-mark'); });
await shot('chart-cot-crowded', chart(), (p) => p.hud.click('#qv-cot-badge'));
await shot('chart-risk-mode', chart({ settings: { hud_mode: 'RISK' } }));
await shot('chart-fate-unknown', chart({ fixedTime: new Date('2026-03-04T12:00:00Z') }), async (p) => {
  await p.hud.click('#qv-btn-buy');
  const client = (await p.posted()).find((m) => m.startsWith('TRADE:')).slice(6).split(',')[0];
  await p.push({ type: 'fate', client, status: 'unknown' });
});
await shot('studio', () => openStudio(browser, script, { files: files() }));
await browser.close();
console.log('screenshots in ' + OUT);
