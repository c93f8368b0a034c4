// A chart child under Wine with the Chromium-backed WebView2 runtime: the overlay window
// inside a fake chart, the page it shows, what it pushes into the page and writes from the
// page's messages, how it follows, obeys and ends.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { freshWine, paths, waitFor } from './lib/wine.mjs';
import { startCloudServer, startTelegramServer } from './lib/http_servers.mjs';
import { Companion } from '../../tools/companion-sim/companion.mjs';
import { runtimeEnv, readCalls, waitForCall, attachBrowser, findPage, startFakeChart, exitOf } from './lib/overlay.mjs';

let w;
let rt;
let browser;
let cloud;
let telegram;

before(async () => {
  w = await freshWine();
  cloud = await startCloudServer();
  telegram = await startTelegramServer({ token: '123:TEST' });
  // The child's COT refresh and Telegram worker talk to these, never to the outside.
  rt = runtimeEnv(w, { QV_CLOUD_BASE_URL: cloud.url, QV_TELEGRAM_API_BASE: telegram.url });
  fs.mkdirSync(w.bridge, { recursive: true });
  fs.writeFileSync(path.join(w.bridge, 'QV_TelegramConfig.json'), '{"token":"123:TEST","chatid":"42"}');
});
after(async () => {
  // Dropping the connection leaves the browser to the child; closing it would end it.
  await w?.close();
  await cloud?.close();
  await telegram?.close();
});

const bridgeFile = (name) => path.join(w.bridge, name);
const count = (text, part) => text.split(part).length - 1;

test('an overlay child shows the chart page in its chart, follows it, serves its messages and ends on a kill request', async () => {
  fs.writeFileSync(bridgeFile('QV_AIConfig.json'), '{"gemini":"seeded-key","openai":""}');
  const { chart, hwnd, ask, children } = await startFakeChart(w);
  const child = w.spawn(paths.exe, [hwnd, 'XAUUSD', '60', 'dark', 'tester', 'WORKSTATION'], { env: rt.env });

  const url = 'https://www.tradingview.com/chart/?symbol=OANDA:XAUUSD&interval=60&theme=dark';
  let log = await w.waitForLog('Navigating to: ' + url, 60000);
  assert.match(log, new RegExp(`SetVirtualHostNameToFolderMapping \\[quorvale-data\\.example\\] -> \\[[^\\]]*Quorvale\\] Result: 0`));
  await waitForCall(rt.callLog, /^Navigate /);
  const calls = readCalls(rt.callLog);
  assert.ok(calls.some((l) => /put_DefaultBackgroundColor .*255.*14.*18.*28/.test(l)), 'dark background');
  // Neutraliser, chart identity, key seeding and the HUD, each once for this controller.
  assert.equal(calls.filter((l) => l.startsWith('AddScriptToExecuteOnDocumentCreated')).length, 4);

  // The overlay window sits in the chart's client area and the WebView fills it.
  const [overlay] = (await children()).filter((c) => c.cls === 'QuorvaleWorkspace_Class');
  assert.ok(overlay && overlay.visible, 'overlay window inside the chart');
  const bounds = calls.filter((l) => l.startsWith('put_Bounds')).at(-1).split(' ').slice(1).map(Number);
  assert.deepEqual([bounds[2] - bounds[0], bounds[3] - bounds[1]], [overlay.width, overlay.height]);
  assert.match(fs.readFileSync(bridgeFile(`QV_Active_${hwnd}.txt`), 'utf8'), /^ACTIVE=\d+$/);

  browser = await attachBrowser(w);
  const page = await findPage(browser, /tradingview\.com\/chart/);
  // Document scripts ran before the page's own script, and the seeded key reached the vault.
  assert.equal(await page.evaluate(() => window.__documentScriptsSeenFirst), true);
  assert.equal(await page.evaluate(() => JSON.parse(localStorage.getItem('qv_byok_vault') || '{}').gemini), 'seeded-key');

  // A fill's capture request is uploaded once with the page's picture and announced.
  const companion = new Companion(w.bridge, { symbol: 'XAUUSD' });
  companion.writeCapture({ ticket: '5001', action: 'BUY', url: `${cloud.url}/journal/upload` });
  const [upload] = await cloud.waitForRequests((r) => r.method === 'POST' && r.url === '/journal/upload', 1, 20000);
  const body = JSON.parse(upload.body.toString('utf8'));
  assert.equal(body.filename, 'QV_TV_XAUUSD_BUY_5001.png');
  const png = Buffer.from(body.image_data, 'base64');
  assert.equal(png.subarray(1, 4).toString(), 'PNG');
  assert.equal(body.file_size, png.length);
  await waitFor(() => telegram.sent.find((m) => String(m.text).includes('Ticket: `#5001`')), 10000, 100, 'trade-filled notice');
  assert.deepEqual(fs.readdirSync(w.bridge).filter((n) => /^QV_Capture_Request_|^temp_capture_/.test(n)), []);

  // Following the chart: a smaller chart shrinks the overlay by the same amount.
  await ask('resize 900 600');
  await waitFor(async () => {
    const [o] = (await children()).filter((c) => c.cls === 'QuorvaleWorkspace_Class');
    return o && o.width === overlay.width - 124 && o.height === overlay.height - 100;
  }, 5000, 100, 'overlay following the chart size');
  await ask('minimize');
  await waitForCall(rt.callLog, /^put_IsVisible 0/, 5000);
  await ask('restore');
  await waitFor(() => /^put_IsVisible 1/.test(readCalls(rt.callLog).filter((l) => l.startsWith('put_IsVisible')).at(-1)),
    5000, 100, 'WebView shown again');

  // Messages from the page become bridge files.
  await page.evaluate(() => window.chrome.webview.postMessage('SYNC:FX:EURUSD'));
  // Files are created, then written: wait for the content, not the name.
  const text = (name) => (fs.existsSync(bridgeFile(name)) ? fs.readFileSync(bridgeFile(name), 'utf8') : '');
  await waitFor(() => /^EURUSD,\d+$/.test(text('QV_TVSync.csv')), 10000, 100, 'sync record');
  await page.evaluate(() => window.chrome.webview.postMessage('TRADE:171,SELL,0.20,CURRENT,,'));
  await waitFor(() => text('QV_TradeSignal.csv') === '171,SELL,0.20,EURUSD,,0', 10000, 100, 'trade record');
  await page.evaluate(() => window.chrome.webview.postMessage('TRADE:172,BUY,0.10,EUR\nUSD,0,0'));
  await page.evaluate(() => window.chrome.webview.postMessage('TG_CFG:123:abc,987'));
  await w.waitForLog('Updated Telegram Configuration via WebMessage.');
  assert.equal(fs.readFileSync(bridgeFile('QV_TelegramConfig.json'), 'utf8'), '{"token":"123:abc","chatid":"987"}');
  assert.equal(fs.readFileSync(bridgeFile('QV_TradeSignal.csv'), 'utf8'), '171,SELL,0.20,EURUSD,,0', 'a record with a line break is dropped');
  await page.evaluate(() => window.chrome.webview.postMessage({ not: 'a string' }));
  await page.evaluate(() => window.chrome.webview.postMessage('sync:lower'));
  log = await w.waitForLog('WebMessage: sync:lower');
  assert.ok(!log.includes('"not"'), 'a message that is not a string is ignored');

  // Positions are pushed once per change, as data rather than code.
  fs.writeFileSync(bridgeFile('QV_OpenPositions.json'), '[{"ticket":"11","profit":-10.5},{"ticket":"12","profit":-2}]');
  await waitFor(() => page.evaluate(() => window.__qv_market_meta && window.__qv_market_meta.ticket === '11'), 10000, 100, 'positions push');
  fs.writeFileSync(bridgeFile('QV_OpenPositions.json'), '[{"ticket":"0"}];window.__injected=1');
  await new Promise((r) => setTimeout(r, 1500));
  assert.equal(await page.evaluate(() => window.__injected), undefined, 'file text never runs as code');
  assert.equal(await page.evaluate(() => window.__qv_market_meta.ticket), '11');

  // An evaluation request is consumed and calls the page once.
  fs.writeFileSync(bridgeFile('QV_EvalRequest.txt'), 'EVAL');
  await waitFor(() => !fs.existsSync(bridgeFile('QV_EvalRequest.txt')), 10000, 100, 'evaluation request consumed');
  await waitFor(() => page.evaluate(() => window.__evalCalls.length === 1), 5000, 100, 'page evaluation call');

  // The visible page is captured for the copilot as a PNG.
  await waitFor(() => {
    const png = fs.existsSync(bridgeFile('QV_AICopilotChart.png')) ? fs.readFileSync(bridgeFile('QV_AICopilotChart.png')) : null;
    return png && png.length > 8 && png.subarray(1, 4).toString() === 'PNG';
  }, 15000, 200, 'chart capture');

  // A navigation to the same ticker elsewhere changes nothing; a new ticker navigates.
  fs.writeFileSync(bridgeFile(`QV_Nav_${hwnd}.txt`), 'eurusd\r\n');
  await waitFor(() => !fs.existsSync(bridgeFile(`QV_Nav_${hwnd}.txt`)), 5000, 50, 'navigation request consumed');
  fs.writeFileSync(bridgeFile(`QV_Nav_${hwnd}.txt`), '\n');
  await waitFor(() => !fs.existsSync(bridgeFile(`QV_Nav_${hwnd}.txt`)), 5000, 50, 'blank request consumed');
  fs.writeFileSync(bridgeFile(`QV_Nav_${hwnd}.txt`), 'XAUUSD');
  log = await w.waitForLog('Navigating existing Quorvale overlay to: ' + url);
  assert.equal(count(log, 'Navigating existing Quorvale overlay to: '), 1);

  // The kill request ends the child cleanly and takes its heartbeat with it.
  fs.writeFileSync(bridgeFile(`QV_Kill_${hwnd}.txt`), '');
  assert.equal(await exitOf(child), 0);
  log = await w.readLog();
  assert.ok(log.includes(`Kill signal received for HWND: ${hwnd}`));
  assert.equal(count(log, `CleanShutdown initiated for HWND: ${hwnd}`), 1);
  assert.equal(fs.existsSync(bridgeFile(`QV_Active_${hwnd}.txt`)), false);
  await ask('quit');
  await exitOf(chart);
});

test('closing the chart ends its overlay; closing the studio only hides it', async () => {
  const { hwnd, ask } = await startFakeChart(w, 'USDJPY,M15');
  const child = w.spawn(paths.exe, [hwnd, 'USDJPY', '15', 'light', 'tester', 'WORKSTATION'], { env: rt.env });
  await w.waitForLog(`Navigating to: https://www.tradingview.com/chart/?symbol=`, 60000, 2);
  await waitForCall(rt.callLog, /put_DefaultBackgroundColor .*255.*245.*247.*250/);
  await ask('close');
  assert.equal(await exitOf(child), 0);
  const log = await w.readLog();
  // Destroying the chart also destroys the overlay window parented into it, so either the
  // 50 ms watch or the window's own destruction starts the shutdown, whichever comes first.
  assert.ok(log.includes(`CleanShutdown initiated for HWND: ${hwnd}`));
  assert.equal(fs.existsSync(bridgeFile(`QV_Active_${hwnd}.txt`)), false);

  const studio = w.spawn(paths.exe, ['0', 'EURUSD', 'D', 'dark', 'tester', 'HEADLESS_VPS'], { env: rt.env });
  await w.waitForLog('Navigating Headless Agent to: https://quorvale-data.example/headless.html', 60000);
  assert.match(fs.readFileSync(bridgeFile('headless.html'), 'utf8'), /class="qv-studio-page"/);
  fs.writeFileSync(bridgeFile('QV_Kill_0.txt'), '');
  await w.waitForLog('Ignoring kill signal in HEADLESS_VPS mode because AI Studio is an independent workstation.');
  assert.equal(fs.existsSync(bridgeFile('QV_Kill_0.txt')), false);
  const page = await findPage(browser ?? (browser = await attachBrowser(w)), /quorvale-data\.example\/headless\.html/);
  await page.evaluate(() => window.chrome.webview.postMessage('CLOSE_STUDIO'));
  await w.waitForLog('Received CLOSE_STUDIO WebMessage. Hiding window...');
  // The studio is never captured, and the process lives on after being hidden.
  await new Promise((r) => setTimeout(r, 5000));
  assert.equal(studio.exitCode, null);
  const pngBefore = fs.existsSync(bridgeFile('QV_AICopilotChart.png')) ? fs.statSync(bridgeFile('QV_AICopilotChart.png')).mtimeMs : 0;
  await new Promise((r) => setTimeout(r, 4500));
  const pngAfter = fs.existsSync(bridgeFile('QV_AICopilotChart.png')) ? fs.statSync(bridgeFile('QV_AICopilotChart.png')).mtimeMs : 0;
  assert.equal(pngAfter, pngBefore);
  studio.kill('SIGKILL');
});
