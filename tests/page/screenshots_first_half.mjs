// Writes screenshots of the bootstrap half to /tmp/qv-shots/ for a look against the style
// table: panel expanded, collapsed, hidden with its restore button, drawer open, picking
// with the guide line, COT card open and crowded, and the studio page.
// Run: node tests/page/screenshots_first_half.mjs
import { mkdirSync } from 'node:fs';
import { buildFirstHalf, launch, openChart, openStudio, hudReady, technicals } from './lib/harness.mjs';

const OUT = '/tmp/qv-shots';
mkdirSync(OUT, { recursive: true });
const script = buildFirstHalf();
const browser = await launch();
const COT = { records: [
  { symbol: 'XAUUSD', name: 'GOLD - COMMODITY EXCHANGE', asOfDate: '2026-03-03', cotIndex: 85, crowdedTradeAlert: true,
    nonCommercial: { net: 250000, changeNet: 1200 }, narrative: 'Managed money keeps buying, indicating aggressive accumulation at the 97.4th historical range percentile.' },
] };
const files = () => ({ 'QV_AICopilotData.json': technicals(), 'QV_COTData.json': COT });

async function shot(name, open, act) {
  const p = await open();
  try {
    await hudReady(p.page);
    await p.page.waitForFunction(() => document.getElementById('qv-cot-badge-text').textContent !== 'COT: Loading...', null, { timeout: 6000 }).catch(() => {});
    if (act) await act(p.page);
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
await shot('chart-drawer-open', chart(), (page) => page.click('#qv-btn-ai-toggle'));
await shot('chart-picking-sl', chart(), async (page) => { await page.click('#qv-pick-sl'); await page.mouse.move(600, 300); });
await shot('chart-picking-tp', chart(), async (page) => { await page.click('#qv-pick-tp'); await page.mouse.move(600, 200); });
await shot('chart-cot-crowded', chart(), (page) => page.click('#qv-cot-badge'));
await shot('chart-risk-mode', chart({ storage: { qv_hud_mode: 'RISK' } }));
await shot('studio', () => openStudio(browser, script, { files: files() }));
await browser.close();
console.log('screenshots in ' + OUT);
