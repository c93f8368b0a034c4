// The whole workspace under Wine: the daemon, a chart child it starts for a launch
// request, the Chromium-backed runtime with the HUD in the chart page, and the terminal
// companion simulator executing what arrives. One trade travels each road: from the HUD's
// ticket, from Telegram, and into the visual journal after its fill.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { freshWine, paths, waitFor } from '../wine/lib/wine.mjs';
import { startCloudServer, startTelegramServer } from '../wine/lib/http_servers.mjs';
import { runtimeEnv, attachBrowser, findPage, startFakeChart } from '../wine/lib/overlay.mjs';
import { Companion } from '../../tools/companion-sim/companion.mjs';

let w;
let cloud;
let telegram;
let companion;
let chart;
let page;
const executed = [];

before(async () => {
  w = await freshWine();
  cloud = await startCloudServer();
  telegram = await startTelegramServer({ token: '123:ROAD' });
  const rt = runtimeEnv(w, { QV_CLOUD_BASE_URL: cloud.url, QV_TELEGRAM_API_BASE: telegram.url });
  fs.mkdirSync(w.bridge, { recursive: true });
  fs.writeFileSync(path.join(w.bridge, 'QV_TelegramConfig.json'), '{"token":"123:ROAD","chatid":"77"}');
  w.spawn(paths.exe, [], { env: rt.env });
  await w.waitForLog('Quorvale Daemon loop active and watching: ', 60000);

  chart = await startFakeChart(w, 'XAUUSD,H1');
  companion = new Companion(w.bridge, { symbol: 'XAUUSD', captureOnFill: true });
  companion.start({ pollMs: 200, onExecute: (r) => executed.push(r) });
  companion.writeLaunch({ hwnd: chart.hwnd, symbol: 'XAUUSD', interval: '60' });

  const browser = await attachBrowser(w);
  page = await findPage(browser, /tradingview\.com\/chart\/\?symbol=OANDA:XAUUSD/, 90000);
  await page.waitForSelector('#qv-btn-buy', { timeout: 30000 });
});
after(async () => {
  companion?.stop?.();
  await w?.close();
  await cloud?.close();
  await telegram?.close();
});

const positions = () => JSON.parse(fs.readFileSync(path.join(w.bridge, 'QV_OpenPositions.json'), 'utf8'));
const open = () => positions().filter((p) => p.ticket && p.ticket !== '0');

test('a BUY from the ticket is executed once and comes back as a position in the PnL badge', async () => {
  const before = open().length;
  await page.click('#qv-btn-buy');
  await waitFor(() => open().length === before + 1, 20000, 200, 'the position opened by the companion');
  const [result] = executed.slice(-1);
  assert.equal(result.action, 'BUY');
  assert.equal(result.symbol, 'XAUUSD');
  assert.match(fs.readFileSync(path.join(w.bridge, 'QV_TradeSignal.csv'), 'utf8'), /^\d+,BUY,0\.10,XAUUSD,20,40$/);
  // The ticket shows the fate the companion wrote, with its ticket number.
  await waitFor(async () => (await page.textContent('#qv-order-status')) === `BUY EXECUTED #${result.opened[0]}`, 15000, 200,
    'the ticket showing the execution');
  await waitFor(async () => /\(\d+\)/.test(await page.textContent('#qv-pnl-badge')), 15000, 200, 'the badge counting the position');
  // The same record read again is not executed twice.
  await new Promise((r) => setTimeout(r, 1500));
  assert.equal(open().length, before + 1);
});

test('a fill is journalled: the chart picture is uploaded once and the fill announced', async () => {
  const upload = await cloud.waitForRequests((r) => r.method === 'POST' && /image_data/.test(r.body.toString('utf8')), 1, 30000);
  const body = JSON.parse(upload[0].body.toString('utf8'));
  assert.equal(body.symbol, 'XAUUSD');
  assert.equal(body.event_type, 'BUY');
  assert.equal(Buffer.from(body.image_data, 'base64').subarray(1, 4).toString(), 'PNG');
  await waitFor(() => telegram.sent.find((m) => /QUORVALE TRADE FILLED/.test(m.text) && m.text.includes(body.symbol)), 15000, 200, 'the trade-filled notice');
  await new Promise((r) => setTimeout(r, 3000));
  const uploads = cloud.requests.filter((r) => r.method === 'POST' && /image_data/.test(r.body.toString('utf8')));
  assert.equal(uploads.length, 1, 'one upload although daemon and child both watch for requests');
});

test('a Telegram /closeall from the trader\'s chat closes everything, once, with its reply', async () => {
  assert.ok(open().length > 0);
  telegram.pushUpdate({ message: { chat: { id: 77 }, date: Math.floor(Date.now() / 1000), text: '/closeall' } });
  await waitFor(() => open().length === 0, 30000, 200, 'all positions closed');
  await waitFor(() => telegram.sent.find((m) => /^\u{1F6D1} \*CLOSE ALL:\* Close all positions executed, ticket \d+\.$/u.test(String(m.text))), 10000, 200, 'the reply');
  await new Promise((r) => setTimeout(r, 4000));
  assert.equal(telegram.sent.filter((m) => /^\u{1F6D1} \*CLOSE ALL:\* Close all positions executed, ticket \d+\.$/u.test(String(m.text))).length, 1,
    'one reply although every process runs a worker');
});
