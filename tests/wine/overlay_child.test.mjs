// A chart child under Wine with the Chromium-backed WebView2 runtime: the overlay window
// inside a fake chart, the page it shows, what it pushes into the page and writes from the
// page's messages, how it follows, obeys and ends.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { freshWine, paths, waitFor } from './lib/wine.mjs';
import { startCloudServer, startTelegramServer, startRecordingServer } from './lib/http_servers.mjs';
import { Companion } from '../../tools/companion-sim/companion.mjs';
import { runtimeEnv, readCalls, waitForCall, attachBrowser, findPage, startFakeChart, exitOf, pageSecret } from './lib/overlay.mjs';

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
  telegramFile = path.join(w.appdata, 'Quorvale_Workspace_Data', 'QV_TelegramConfig.json');
});
after(async () => {
  // Dropping the connection leaves the browser to the child; closing it would end it.
  await w?.close();
  await cloud?.close();
  await telegram?.close();
});

const bridgeFile = (name) => path.join(w.bridge, name);
let telegramFile;
const count = (text, part) => text.split(part).length - 1;
// Posts as the HUD does: signed with the secret its document script was given.
const hudPost = (page, message) =>
  page.evaluate(([s, m]) => window.chrome.webview.postMessage(s + ':' + m), [pageSecret(rt.callLog), message]);

// Reads bridge files through the data host from a page or frame: "<status> <body>", or
// "failed" when the browser refuses the response to that document (CORS).
const readData = (ctx) => ctx.evaluate(async (names) => {
  const out = {};
  for (const n of names) {
    try {
      const r = await fetch('https://quorvale-data.example/' + n, { cache: 'no-store' });
      out[n] = r.status + ' ' + (await r.text());
    } catch (e) {
      out[n] = 'failed';
    }
  }
  const opaque = await fetch('https://quorvale-data.example/QV_AIConfig.json', { mode: 'no-cors' });
  out.noCors = opaque.type + ' ' + opaque.status + ' ' + (await opaque.text()).length;
  return out;
}, ['QV_AIConfig.json', 'QV_OpenPositions.json', 'QV_TelegramConfig.json']);

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
  // The terminal moving on the screen moves the chart with it: WebView2 is told, so its
  // pop-ups (the HUD's drop-downs) open where the page now is.
  const notified = () => readCalls(rt.callLog).filter((l) => l === 'NotifyParentWindowPositionChanged').length;
  const notifiedBefore = notified();
  await ask('move 60 50');
  await waitFor(() => notified() > notifiedBefore, 5000, 50, 'NotifyParentWindowPositionChanged');
  // A minimised terminal leaves the chart's own client area as it was; the overlay hides all
  // the same, and so it does for a chart window minimised inside the terminal.
  const lastVisible = () => readCalls(rt.callLog).filter((l) => l.startsWith('put_IsVisible')).at(-1);
  for (const [hide, show] of [['minimize', 'restore'], ['chartmin', 'chartrestore']]) {
    await ask(hide);
    await waitFor(() => lastVisible() === 'put_IsVisible 0', 5000, 50, `WebView hidden on ${hide}`);
    await ask(show);
    await waitFor(() => lastVisible() === 'put_IsVisible 1', 5000, 100, `WebView shown again on ${show}`);
  }
  // Hidden, nothing is captured: WebView2 would never complete the capture, and a capture
  // every 4 s would pile up open files. A fill's request waits until the page is back.
  await ask('minimize');
  await waitFor(() => lastVisible() === 'put_IsVisible 0', 5000, 50, 'WebView hidden');
  const hiddenFrom = readCalls(rt.callLog).length;
  companion.writeCapture({ ticket: '5002', action: 'SELL', url: `${cloud.url}/journal/upload` });
  // Two heartbeats (4 s apart) later, more than one picture period has passed.
  const beat = () => fs.readFileSync(bridgeFile(`QV_Active_${hwnd}.txt`), 'utf8');
  for (let i = 0; i < 2; i++) {
    const was = beat();
    await waitFor(() => beat() !== was, 10000, 100, 'the next heartbeat');
  }
  const whileHidden = readCalls(rt.callLog).slice(hiddenFrom);
  assert.deepEqual(whileHidden.filter((l) => l.startsWith('CapturePreview')), [], 'no capture while hidden');
  assert.equal(fs.readdirSync(w.bridge).filter((n) => n.startsWith('QV_Capture_Request_')).length, 1, 'the request waits');
  await ask('restore');
  await cloud.waitForRequests((r) => r.method === 'POST' && r.url === '/journal/upload', 2, 20000);
  assert.deepEqual(fs.readdirSync(w.bridge).filter((n) => /^QV_Capture_Request_|^temp_capture_|^temp_chart_/.test(n)), []);

  // Messages from the page become bridge files.
  await hudPost(page, 'SYNC:FX:EURUSD');
  // Files are created, then written: wait for the content, not the name.
  const text = (name) => (fs.existsSync(bridgeFile(name)) ? fs.readFileSync(bridgeFile(name), 'utf8') : '');
  await waitFor(() => /^EURUSD,\d+$/.test(text('QV_TVSync.csv')), 10000, 100, 'sync record');
  // The page's id (171) only routes the fate back; the outbox gives the order its own id,
  // writes the order file and then the same record to the signal file.
  // Recorded on their way to the HUD, which still shows them.
  await page.evaluate(() => {
    const hud = window.qvOrderFate;
    window.__fates = [];
    window.qvOrderFate = (f) => { window.__fates.push(f); hud(f); };
  });
  await hudPost(page, 'TRADE:171,SELL,0.20,CURRENT,,');
  await waitFor(() => /^\d{13},SELL,0\.20,EURUSD,,0$/.test(text('QV_TradeSignal.csv')), 10000, 100, 'trade record');
  const traded = text('QV_TradeSignal.csv');
  const orderId = traded.split(',')[0];
  assert.equal(text(`QV_Order_${orderId}.csv`), traded + '\n');
  assert.equal(text('QV_Protocol.txt'), 'ORDER_FILES=1');
  await waitFor(async () => (await page.evaluate(() => window.__fates.length)) >= 1, 10000, 100, 'sent reported');
  assert.deepEqual(await page.evaluate(() => window.__fates[0]),
    { client: '171', id: orderId, status: 'sent', ticket: '', price: '', volume: '', reason: '' });
  fs.writeFileSync(bridgeFile(`QV_TradeResult_${orderId}.txt`), `ID=${orderId}\r\nSTATUS=REJECTED\r\nREASON=Market closed\r\nEND=1\r\n`);
  await waitFor(async () => (await page.evaluate(() => window.__fates.length)) >= 2, 10000, 100, 'result reported');
  const second = await page.evaluate(() => window.__fates[1]);
  assert.equal(second.status, 'rejected');
  assert.equal(second.reason, 'Market closed');
  assert.ok(!fs.existsSync(bridgeFile(`QV_TradeResult_${orderId}.txt`)), 'the sender removes the result it read');
  await hudPost(page, 'TRADE:172,BUY,0.10,EUR\nUSD,0,0');
  await hudPost(page, 'TG_CFG:123:abc,987');
  await w.waitForLog('Updated Telegram Configuration via WebMessage.');
  // Kept in the workspace folder: the bridge copy the test started with was moved there.
  assert.equal(fs.readFileSync(telegramFile, 'utf8'), '{"token":"123:abc","chatid":"987"}');
  assert.equal(fs.existsSync(bridgeFile('QV_TelegramConfig.json')), false);
  assert.equal(fs.readFileSync(bridgeFile('QV_TradeSignal.csv'), 'utf8'), traded, 'a record with a line break is dropped');
  await waitFor(async () => (await page.evaluate(() => window.__fates.length)) >= 3, 10000, 100, 'dropped reported');
  assert.deepEqual(await page.evaluate(() => [window.__fates[2].client, window.__fates[2].status]), ['172', 'not_sent']);
  // A write that cannot succeed (a folder where the signal file goes): the trader's BUY on
  // the ticket ends as NOT SENT with the Windows error, the log says so and no order is left.
  fs.rmSync(bridgeFile('QV_TradeSignal.csv'));
  fs.mkdirSync(bridgeFile('QV_TradeSignal.csv'));
  const logBeforeFailure = (await w.readLog()).length;
  await page.click('#qv-btn-buy', { force: true });
  await waitFor(async () => (await page.evaluate(() => window.__fates.length)) >= 4, 20000, 100, 'the failure reported');
  const failure = await page.evaluate(() => window.__fates[3]);
  assert.equal(failure.status, 'not_sent', JSON.stringify(failure));
  assert.match(failure.reason, /\S/);
  assert.match(await page.textContent('#qv-order-status'), /^BUY NOT SENT: \S/);
  const failureLog = (await w.readLog()).slice(logBeforeFailure);
  assert.match(failureLog, /Quorvale Trade Signal NOT sent \[[^\]]*\]: \d{13},BUY,0\.10,[^,]+,20,40 \(could not replace QV_TradeSignal\.csv: .+\)/);
  assert.doesNotMatch(failureLog, /Emitted Quorvale Trade Signal/);
  assert.deepEqual(fs.readdirSync(w.bridge).filter((n) => /^QV_Order/.test(n)), [`QV_Order_${orderId}.csv`]);
  fs.rmdirSync(bridgeFile('QV_TradeSignal.csv'));
  fs.writeFileSync(bridgeFile('QV_TradeSignal.csv'), traded);
  // Bar claims: the first asker's token is kept, a later asker changes nothing, fields
  // outside the page's form make no file; the page knows its chart from the host's
  // document script.
  await hudPost(page, 'AT_CLAIM:XAUUSD,1772618400,firstpage1');
  await hudPost(page, 'AT_CLAIM:XAUUSD,1772618400,secondpage');
  await hudPost(page, 'AT_CLAIM:..\\QV_Kill,1,abcdefgh');
  assert.equal(await page.evaluate(() => window.__qv_chart_hwnd), String(BigInt(hwnd)));
  // Messages are served in order: once this one is logged the claims above are done.
  await hudPost(page, 'claims-served');
  await w.waitForLog('WebMessage: claims-served');
  assert.equal(text('QV_ATClaim_XAUUSD_1772618400.txt'), 'firstpage1');
  assert.deepEqual(fs.readdirSync(w.bridge).filter((n) => n.startsWith('QV_ATClaim_')), ['QV_ATClaim_XAUUSD_1772618400.txt']);
  await page.evaluate(() => window.chrome.webview.postMessage({ not: 'a string' }));
  await hudPost(page, 'sync:lower');
  log = await w.waitForLog('WebMessage: sync:lower');
  assert.ok(!log.includes('"not"'), 'a message that is not a string is ignored');

  // Positions are pushed once per change, as data rather than code.
  fs.writeFileSync(bridgeFile('QV_OpenPositions.json'), '[{"ticket":"11","profit":-10.5},{"ticket":"12","profit":-2}]');
  await waitFor(() => page.evaluate(() => window.__qv_market_meta && window.__qv_market_meta.ticket === '11'), 10000, 100, 'positions push');
  fs.writeFileSync(bridgeFile('QV_OpenPositions.json'), '[{"ticket":"0"}];window.__injected=1');
  await new Promise((r) => setTimeout(r, 1500));
  assert.equal(await page.evaluate(() => window.__injected), undefined, 'file text never runs as code');
  assert.equal(await page.evaluate(() => window.__qv_market_meta.ticket), '11');

  // An evaluation request is consumed and calls the page once (the HUD's own function,
  // which the test counts).
  await page.evaluate(() => {
    const hud = window.triggerEvaluationNow;
    window.__hudEvaluates = typeof hud === 'function';
    window.triggerEvaluationNow = (r) => { window.__evalCalls.push(String(r)); return hud(r); };
  });
  assert.equal(await page.evaluate(() => window.__hudEvaluates), true, 'the HUD defines triggerEvaluationNow');
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
  // Positions that do not change while the page reloads are shown in the new document at once.
  fs.writeFileSync(bridgeFile('QV_OpenPositions.json'), '[{"ticket":"21","profit":7.25}]');
  const badge = () => page.evaluate(() => document.getElementById('qv-pnl-badge')?.textContent ?? '').catch(() => '');
  await waitFor(async () => (await badge()) === 'PnL: +$7.25 (1)', 10000, 100, 'the positions in the badge');
  await page.evaluate(() => { window.__beforeNavigation = true; });
  fs.writeFileSync(bridgeFile(`QV_Nav_${hwnd}.txt`), 'XAUUSD');
  log = await w.waitForLog('Navigating existing Quorvale overlay to: ' + url);
  assert.equal(count(log, 'Navigating existing Quorvale overlay to: '), 1);

  // Only the HUD of our own documents drives the host. Neither the chart site's scripts
  // (no secret), nor its cross-origin widget frame, nor another origin the view reaches
  // (even with the secret) changes a file; the frame's storage gets no seeded key.
  // The navigation above reloads the page; the HUD of the new document is the one to use.
  await waitFor(async () => {
    try {
      return await page.evaluate(() => !window.__beforeNavigation && document.readyState === 'complete' &&
        !!document.getElementById('qv-hud-panel'));
    } catch {
      return false;
    }
  }, 20000, 200, 'the reloaded chart page');
  await waitFor(async () => (await badge()) === 'PnL: +$7.25 (1)', 10000, 100, 'the positions after the navigation');
  await page.reload();
  await waitFor(async () => (await badge()) === 'PnL: +$7.25 (1)', 20000, 100, 'the positions after a reload');
  assert.equal(await page.evaluate(() => window.__qv_chart_hwnd), String(BigInt(hwnd)), 'the chart handle after a reload');
  const secret = pageSecret(rt.callLog);
  const files = ['QV_TradeSignal.csv', 'QV_AIConfig.json'];
  const before = Object.fromEntries(files.map((n) => [n, text(n)]));
  const telegramBefore = fs.readFileSync(telegramFile, 'utf8');
  const attacks = [`TRADE:900,BUY,9.00,ALL,,`, 'TG_CFG:666:evil,1', 'VAULT_CFG:{"gemini":"evil","autotrader":true}'];
  await page.evaluate((a) => a.forEach((m) => window.chrome.webview.postMessage(m)), attacks);
  await w.waitForLog('Dropped unsigned web message from https://www.tradingview.com', 10000, 3);
  const widget = await waitFor(() => page.frames().find((f) => /widgets\.example\/frame\.html/.test(f.url())), 20000, 100, 'the widget frame');
  assert.equal(await widget.evaluate(() => localStorage.getItem('qv_byok_vault')), null, 'no key seeded into a frame');
  assert.equal(await widget.evaluate(() => !!document.getElementById('qv-hud-panel')), false);
  await widget.evaluate(([s, a]) => {
    const post = window.__qvWebView2Post;  // the runtime's binding, reachable from every frame
    for (const m of a) post(JSON.stringify(s + ':' + m));
  }, [secret, attacks]);
  // Messages are handled in order: once this one is done, the frame's would have been.
  await hudPost(page, 'SYNC:FX:GBPUSD');
  await waitFor(() => /^GBPUSD,\d+$/.test(text('QV_TVSync.csv')), 10000, 100, 'the later sync record');
  // The data host answers the chart site's documents only: the frame's reads of the keys and
  // positions fail (403 without CORS), a no-cors load gets nothing it can read; the chart
  // page's own reads (the HUD's origin) still work, and unlisted files are not served.
  fs.writeFileSync(bridgeFile('QV_OpenPositions.json'), '{"positions":[],"balance":1000}');
  assert.deepEqual(await readData(widget), {
    'QV_AIConfig.json': 'failed', 'QV_OpenPositions.json': 'failed', 'QV_TelegramConfig.json': 'failed', noCors: 'opaque 0 0',
  });
  await w.waitForLog('Refused a data host request from https://widgets.example', 10000);
  // Three refusals, one line: a page polling the data host does not fill the log.
  assert.equal(count(await w.readLog(), 'Refused a data host request from https://widgets.example'), 1);
  const ours = await readData(page);
  assert.equal(ours['QV_AIConfig.json'], '200 ' + text('QV_AIConfig.json'));
  assert.equal(ours['QV_OpenPositions.json'], '200 {"positions":[],"balance":1000}');
  // Not a file the page reads: a 404 without CORS headers, which no page can read.
  assert.equal(ours['QV_TelegramConfig.json'], 'failed');
  await page.goto('https://widgets.example/signin.html');
  const elsewhere = await readData(page);
  assert.equal(elsewhere['QV_AIConfig.json'], 'failed', 'another top-level origin reads no keys');
  assert.equal(elsewhere['QV_OpenPositions.json'], 'failed');
  await page.evaluate(([s, a]) => a.forEach((m) => window.chrome.webview.postMessage(s + ':' + m)), [secret, attacks]);
  await w.waitForLog('Dropped web message from https://widgets.example', 10000, 3);
  assert.equal(await page.evaluate(() => localStorage.getItem('qv_byok_vault')), null, 'no key seeded into another origin');
  assert.equal(await page.evaluate(() => !!document.getElementById('qv-hud-panel')), false, 'no HUD on another origin');
  for (const n of files) assert.equal(text(n), before[n], n);
  assert.equal(fs.readFileSync(telegramFile, 'utf8'), telegramBefore, 'the Telegram configuration');
  log = await w.readLog();
  assert.ok(!log.includes('666:evil') && !log.includes('9.00,ALL'), 'a dropped message is not logged');

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

// The main process of the Chromium serving the children's profile (helpers carry --type=).
function profileBrowserPid() {
  for (const pid of fs.readdirSync('/proc').filter((p) => /^\d+$/.test(p))) {
    let argv;
    try {
      argv = fs.readFileSync(`/proc/${pid}/cmdline`, 'utf8').split('\0');
    } catch {
      continue;
    }
    if (!/chromium$/.test(argv[0] || '') || argv.some((a) => a.startsWith('--type='))) continue;
    if (argv.some((a) => a.startsWith('--user-data-dir=') && a.includes(w.root) && a.endsWith('/Profile'))) return Number(pid);
  }
  return null;
}

// WebView2 raises ProcessFailed when its processes die. A crashed page is reloaded; a dead
// browser takes every view with it, and the child makes a new one, back on the symbol the
// trader was on, its heartbeat gone while it has none.
test('a page whose renderer crashes is reloaded; Chromium killed under the overlay comes back on its symbol', async () => {
  const { hwnd, ask } = await startFakeChart(w, 'USDCAD,H1');
  const child = w.spawn(paths.exe, [hwnd, 'USDCAD', '60', 'dark', 'tester', 'WORKSTATION'], { env: rt.env });
  browser = browser?.isConnected() ? browser : await attachBrowser(w);
  let page = await findPage(browser, /symbol=[^&]*USDCAD&/, 60000);
  await page.waitForSelector('#qv-hud-panel', { state: 'attached', timeout: 30000 });
  // The trader moves the chart to another symbol; that is the one to come back to.
  fs.writeFileSync(bridgeFile(`QV_Nav_${hwnd}.txt`), 'NZDUSD');
  await w.waitForLog('Navigating existing Quorvale overlay to: https://www.tradingview.com/chart/?symbol=NZDUSD&', 20000);
  page = await findPage(browser, /symbol=NZDUSD&/, 30000);
  await page.waitForSelector('#qv-hud-panel', { state: 'attached', timeout: 30000 });

  const cdp = await page.context().newCDPSession(page);
  // Never answered: the renderer that would answer is gone.
  cdp.send('Page.crash').catch(() => {});
  await w.waitForLog('Reloading the chart page after its render process failed.', 20000);
  // A crashed page stays dead to Playwright; the reloaded document is seen afresh.
  const reloads = () => readCalls(rt.callLog).filter((l) => l === 'Reload').length;
  await waitFor(() => reloads() === 1, 10000, 100, 'the Reload call');
  await browser.close();
  browser = await attachBrowser(w);
  page = await findPage(browser, /symbol=NZDUSD&/, 30000);
  await page.waitForSelector('#qv-hud-panel', { state: 'attached', timeout: 30000 });

  const heartbeat = bridgeFile(`QV_Active_${hwnd}.txt`);
  assert.ok(fs.existsSync(heartbeat));
  const pid = profileBrowserPid();
  assert.ok(pid, 'the browser of the profile');
  process.kill(pid, 'SIGKILL');
  await w.waitForLog('WebView2 process failed (kind 0): the browser process exited.', 20000);
  await waitFor(() => !fs.existsSync(heartbeat), 5000, 50, 'the heartbeat to go while there is no WebView');
  await w.waitForLog('Creating a new WebView2 environment and controller.', 20000);
  // The port file names the dead browser until the new one has written its own.
  browser = await waitFor(() => attachBrowser(w).catch(() => false), 60000, 500, 'the new browser');
  page = await findPage(browser, /symbol=NZDUSD&/, 60000);
  await page.waitForSelector('#qv-hud-panel', { state: 'attached', timeout: 30000 });
  await waitFor(() => fs.existsSync(heartbeat), 10000, 100, 'the heartbeat back with the WebView');
  assert.equal(child.exitCode, null, 'the same child brought its overlay back');

  fs.writeFileSync(bridgeFile(`QV_Kill_${hwnd}.txt`), '');
  assert.equal(await exitOf(child), 0);
  await ask('quit');
});

// Microsoft's WebResourceRequested may lack the headers the network stack adds; Origin is one
// of them. The data host then still serves the chart page, and the browser still keeps a
// foreign frame from reading.
test('with Origin withheld from the data host, the chart page reads its files and a foreign frame none', async () => {
  const { hwnd, ask } = await startFakeChart(w, 'AUDUSD,H1');
  const child = w.spawn(paths.exe, [hwnd, 'AUDUSD', '60', 'dark', 'tester', 'WORKSTATION'],
    { env: { ...rt.env, QV_WEBVIEW2_WITHHOLD_HEADERS: 'Origin' } });
  browser = browser?.isConnected() ? browser : await attachBrowser(w);
  const page = await findPage(browser, /symbol=[^&]*AUDUSD&/, 60000);
  await page.waitForSelector('#qv-hud-panel', { state: 'attached', timeout: 30000 });
  fs.writeFileSync(bridgeFile('QV_OpenPositions.json'), '[{"ticket":"31","profit":1.5}]');
  const ours = await readData(page);
  assert.equal(ours['QV_OpenPositions.json'], '200 [{"ticket":"31","profit":1.5}]');
  assert.equal(ours['QV_TelegramConfig.json'], 'failed', 'not a file the page reads: a 404 no page can read');
  const widget = await waitFor(() => page.frames().find((f) => /widgets\.example\/frame\.html/.test(f.url())), 20000, 100, 'the widget frame');
  assert.deepEqual(await readData(widget), {
    'QV_AIConfig.json': 'failed', 'QV_OpenPositions.json': 'failed', 'QV_TelegramConfig.json': 'failed', noCors: 'opaque 0 0',
  });
  fs.writeFileSync(bridgeFile(`QV_Kill_${hwnd}.txt`), '');
  assert.equal(await exitOf(child), 0);
  await ask('quit');
});

test('closing the chart ends its overlay without holding the terminal up; closing the studio only hides it', async () => {
  const { hwnd, ask } = await startFakeChart(w, 'USDJPY,M15');
  const child = w.spawn(paths.exe, [hwnd, 'USDJPY', '15', 'light', 'tester', 'WORKSTATION'], { env: rt.env });
  await w.waitForLog(`Navigating to: https://www.tradingview.com/chart/?symbol=USDJPY&`, 60000);
  await waitForCall(rt.callLog, /put_DefaultBackgroundColor .*255.*245.*247.*250/);
  // A journal upload that takes its time is in flight when the chart closes. The child waits
  // for it before it exits, but only once its window is gone: the terminal's thread, which
  // destroys the chart and with it the overlay, waits for no more than one message.
  const slow = await startRecordingServer(() => new Promise(() => {}));
  try {
    fs.writeFileSync(bridgeFile('QV_Capture_Request_8001.txt'),
      `TICKET=8001\r\nSYMBOL=USDJPY\r\nACTION=BUY\r\nHWND=${hwnd}\r\nFIREBASE_URL=${slow.url}/journal/slow\r\n`);
    await slow.waitForRequests((r) => r.url === '/journal/slow', 1, 30000);
    const [closed] = (await ask('close')).filter((l) => l.startsWith('OK close'));
    const held = Number(closed.split(' ')[2]);
    assert.ok(held < 1000, `the terminal's thread waited ${held} ms for the overlay`);
  } finally {
    await slow.close();
  }
  assert.equal(await exitOf(child), 0);
  const log = await w.readLog();
  // Destroying the chart also destroys the overlay window parented into it, so either the
  // 50 ms watch or the window's own destruction starts the shutdown, whichever comes first.
  assert.ok(log.includes(`CleanShutdown initiated for HWND: ${hwnd}`));
  assert.equal(fs.existsSync(bridgeFile(`QV_Active_${hwnd}.txt`)), false);

  const studio = w.spawn(paths.exe, ['0', 'EURUSD', 'D', 'dark', 'tester', 'HEADLESS_VPS'], { env: rt.env });
  await w.waitForLog('Navigating Headless Agent to: https://quorvale-data.example/headless.html', 60000);
  fs.writeFileSync(bridgeFile('QV_Kill_0.txt'), '');
  await w.waitForLog('Ignoring kill signal in HEADLESS_VPS mode because AI Studio is an independent workstation.');
  assert.equal(fs.existsSync(bridgeFile('QV_Kill_0.txt')), false);
  // The first test's browser ended with its last page; the studio's may be another.
  if (!browser?.isConnected()) browser = await attachBrowser(w);
  const page = await findPage(browser, /quorvale-data\.example\/headless\.html/);
  // Served from memory: the shared bridge folder holds no page that would run as ours.
  await waitFor(() => page.evaluate(() => document.body && document.body.className === 'qv-studio-page'), 20000, 200, 'the studio page');
  assert.equal(fs.existsSync(bridgeFile('headless.html')), false);
  await hudPost(page, 'CLOSE_STUDIO');
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

test('two charts: a capture request naming chart B is journaled from B, each chart\'s AI request carries its own picture, a fast series of symbol changes ends on the last one', async () => {
  const a = await startFakeChart(w, 'XAGUSD,H1');
  const b = await startFakeChart(w, 'ETHUSD,H1');
  const children = [
    w.spawn(paths.exe, [a.hwnd, 'XAGUSD', '60', 'dark', 'tester', 'WORKSTATION'], { env: rt.env }),
    w.spawn(paths.exe, [b.hwnd, 'ETHUSD', '60', 'dark', 'tester', 'WORKSTATION'], { env: rt.env }),
  ];
  browser ??= await attachBrowser(w);
  const pageA = await findPage(browser, /symbol=OANDA:XAGUSD/, 60000);
  const pageB = await findPage(browser, /symbol=COINBASE:ETHUSD/, 60000);
  for (const page of [pageA, pageB]) await page.waitForSelector('#qv-hud-panel', { state: 'attached', timeout: 30000 });

  // Three fills of chart B: under the any-process rule chart A would take some of them.
  const tickets = ['7001', '7002', '7003'];
  for (const t of tickets) {
    fs.writeFileSync(bridgeFile(`QV_Capture_Request_${t}.txt`),
      `TICKET=${t}\r\nSYMBOL=ETHUSD\r\nACTION=BUY\r\nHWND=${b.hwnd}\r\nFIREBASE_URL=${cloud.url}/journal/two-charts\r\n`);
  }
  await cloud.waitForRequests((r) => r.method === 'POST' && r.url === '/journal/two-charts', 3, 30000);
  let log = await w.readLog();
  for (const t of tickets) {
    assert.ok(log.includes(`Visual journal capture for ticket ${t} taken by the overlay of HWND: ${b.hwnd}\r\n`), t);
    assert.ok(!log.includes(`Visual journal capture for ticket ${t} taken by the overlay of HWND: ${a.hwnd}\r\n`), t);
  }

  // The two pages look alike; each is covered in a colour of its own so that their pictures
  // differ, and the pictures taken before that are left out.
  const own = (hwnd) => bridgeFile(`QV_AICopilotChart_${hwnd}.png`);
  const picture = (hwnd) => { try { return fs.readFileSync(own(hwnd)).toString('base64'); } catch { return ''; } };
  await waitFor(() => picture(a.hwnd) && picture(b.hwnd), 30000, 200, 'both charts\' pictures');
  const unmarked = new Set([picture(a.hwnd), picture(b.hwnd)]);
  for (const [page, colour] of [[pageA, '#d01010'], [pageB, '#1010d0']]) {
    await page.evaluate((c) => {
      const d = document.createElement('div');
      d.style.cssText = `position:fixed;inset:0;background:${c};z-index:2147483646;pointer-events:none`;
      document.documentElement.appendChild(d);
    }, colour);
  }
  await waitFor(() => {
    const [pa, pb] = [picture(a.hwnd), picture(b.hwnd)];
    return pa && pb && pa !== pb && !unmarked.has(pa) && !unmarked.has(pb);
  }, 30000, 100, 'the marked pictures');
  const versions = { [a.hwnd]: new Set(), [b.hwnd]: new Set() };
  const collect = () => {
    for (const h of [a.hwnd, b.hwnd]) {
      const p = picture(h);
      if (p) versions[h].add(p);
    }
  };
  collect();
  const collector = setInterval(collect, 50);
  try {
    const sent = {};
    for (const [page, hwnd] of [[pageA, a.hwnd], [pageB, b.hwnd]]) {
      await page.route('https://api.openai.com/**', async (route) => {
        const req = route.request();
        const cors = { 'access-control-allow-origin': '*', 'access-control-allow-headers': '*', 'access-control-allow-methods': 'POST, OPTIONS' };
        if (req.method() === 'OPTIONS') return route.fulfill({ status: 204, headers: cors });
        const m = /data:image\/png;base64,([A-Za-z0-9+/=]+)/.exec(req.postData() || '');
        sent[hwnd] = m ? m[1] : '';
        return route.fulfill({ status: 200, contentType: 'application/json', headers: cors,
          body: JSON.stringify({ choices: [{ message: { content: 'No setup.' } }] }) });
      });
      await page.evaluate(() => {
        const vault = JSON.parse(localStorage.getItem('qv_byok_vault') || '{}');
        vault.openai = 'sk-proj-two-charts';
        localStorage.setItem('qv_byok_vault', JSON.stringify(vault));
        const select = document.getElementById('qv-ai-model-select');
        select.value = 'gpt-4o';
        window.triggerEvaluationNow('Which chart is this?');
      });
    }
    await waitFor(() => sent[a.hwnd] !== undefined && sent[b.hwnd] !== undefined, 30000, 100, 'both AI requests');
    collect();
    for (const [mine, other] of [[a.hwnd, b.hwnd], [b.hwnd, a.hwnd]]) {
      assert.ok(versions[mine].has(sent[mine]), `chart ${mine} sent a picture of its own`);
      assert.ok(!versions[other].has(sent[mine]), `chart ${mine} sent no picture of the other chart`);
    }
  } finally {
    clearInterval(collector);
  }

  // A fast series of symbol changes for chart A, each replacing its navigation file whole
  // as the daemon does, ends on the last one.
  const navA = bridgeFile(`QV_Nav_${a.hwnd}.txt`);
  const series = ['GBPUSD', 'USDJPY', 'AUDUSD', 'NZDUSD', 'EURGBP', 'XAUUSD'];
  for (const [i, symbol] of series.entries()) {
    const temporary = bridgeFile(`~nav_${i}.tmp`);
    fs.writeFileSync(temporary, symbol);
    fs.renameSync(temporary, navA);
    await new Promise((r) => setTimeout(r, 120));
  }
  await waitFor(() => !fs.existsSync(navA), 10000, 50, 'the last navigation request consumed');
  try {
    await waitFor(() => pageA.url().includes('symbol=OANDA:XAUUSD'), 30000, 100, 'chart A on the last symbol');
  } catch (e) {
    const navigations = (await w.readLog()).split(/\r?\n/).filter((l) => /Navigat|Symbol Sync/.test(l));
    const calls = readCalls(rt.callLog).filter((l) => l.startsWith('Navigate'));
    throw new Error(`${e.message}; page at ${pageA.url()}\nlog:\n${navigations.slice(-12).join('\n')}\ncalls:\n${calls.slice(-8).join('\n')}`);
  }
  await new Promise((r) => setTimeout(r, 1500));
  assert.ok(pageA.url().includes('symbol=OANDA:XAUUSD'), 'and it stays there');

  for (const [c, chart] of [[children[0], a], [children[1], b]]) {
    fs.writeFileSync(bridgeFile(`QV_Kill_${chart.hwnd}.txt`), '');
    assert.equal(await exitOf(c), 0);
    await chart.ask('quit');
  }
  log = await w.readLog();
  assert.ok(!log.includes('still in flight'), 'no upload was cut off by the exit');
});

// Two charts' pages and the Telegram worker send orders at the same moment; the companion
// simulator takes the order files. Every order is executed exactly once under an id of
// its own, and each sender hears its own order's ticket.
test('a burst from two charts and Telegram: each order executed once, none lost', async () => {
  const companion = new Companion(w.bridge, { symbol: 'EURUSD' }).start({ pollMs: 50 });
  fs.writeFileSync(telegramFile, '{"token":"123:TEST","chatid":"42"}');
  const charts = [];
  const workerStart = 'Starting Quorvale Telegram Bot Worker...';
  const workersBefore = count(await w.readLog(), workerStart);
  try {
    for (const [title, symbol, tag] of [['EURUSD,H1', 'EURUSD', 'PA'], ['XAUUSD,H1', 'XAUUSD', 'PB']]) {
      const fake = await startFakeChart(w, title);
      // A call record of its own, so each page is signed with its own document's secret.
      const callLog = path.join(w.root, `calls-${tag}.log`);
      const child = w.spawn(paths.exe, [fake.hwnd, symbol, '60', 'dark', 'tester', 'WORKSTATION'],
        { env: { ...rt.env, QV_WEBVIEW2_CALL_LOG: w.toWin(callLog) } });
      charts.push({ ...fake, child, callLog, symbol, tag });
    }
    const pages = await waitFor(async () => {
      try {
        browser = browser?.isConnected() ? browser : await attachBrowser(w);
        const found = [];
        for (const c of charts) found.push(await findPage(browser, new RegExp(`chart/\\?symbol=[^&]*${c.symbol}&`), 2000));
        for (const p of found) {
          if (!(await p.evaluate(() => typeof window.qvOrderFate === 'function' && !!window.chrome?.webview))) return false;
        }
        return found;
      } catch {
        browser = null;
        return false;
      }
    }, 90000, 500, 'both chart pages with the HUD');
    for (const p of pages) await p.evaluate(() => { window.__fates = []; window.qvOrderFate = (f) => window.__fates.push(f); });
    await w.waitForLog(workerStart, 30000, workersBefore + 2);
    // Each page's poster, bound to its own secret.
    const posters = charts.map((c, i) => (messages) =>
      pages[i].evaluate(([s, m]) => m.forEach((x) => window.chrome.webview.postMessage(s + ':' + x)), [pageSecret(c.callLog), messages]));

    const perPage = 4;
    const telegramOrders = 3;
    const sentBefore = telegram.sent.length;
    const ordersOf = (tag, first) => Array.from({ length: perPage }, (_, k) => `TRADE:${first + k},BUY,0.10,${tag}${k + 1},0,0`);
    await Promise.all([
      posters[0](ordersOf('PA', 5001)),
      posters[1](ordersOf('PB', 6001)),
      (async () => { for (let k = 1; k <= telegramOrders; k++) telegram.pushText(42, `/buy TG${k} 0.5`); })(),
    ]);
    const tags = [...['PA', 'PB'].flatMap((t) => Array.from({ length: perPage }, (_, k) => `${t}${k + 1}`)),
      ...Array.from({ length: telegramOrders }, (_, k) => `TG${k + 1}`)];
    const executedTags = () => companion.journal.map((r) => r.symbol).filter((s) => tags.includes(s));
    await waitFor(() => executedTags().length >= tags.length, 60000, 100, 'every order executed');
    await waitFor(() => telegram.sent.length - sentBefore >= telegramOrders, 30000, 100, 'the Telegram replies');
    for (const p of pages) {
      await waitFor(async () => (await p.evaluate(() => window.__fates.filter((f) => f.status === 'executed').length)) >= perPage,
        20000, 100, 'the pages told');
    }
    // Time for a second execution to show, had there been one: the companion polls every 50 ms.
    const polls = telegram.polls.length;
    await waitFor(() => telegram.polls.length >= polls + 2, 20000, 100, 'two more polls');

    const mine = companion.journal.filter((r) => tags.includes(r.symbol));
    assert.deepEqual(mine.map((r) => r.symbol).sort(), [...tags].sort(), 'each order once, none lost');
    const ids = mine.map((r) => r.id);
    assert.equal(new Set(ids).size, ids.length, 'ids unique across processes');
    assert.ok(ids.every((id) => /^\d{13,}$/.test(id)), ids.join());
    const ticketOf = new Map(mine.map((r) => [r.symbol, r.opened[0]]));
    for (const [i, p] of pages.entries()) {
      const fates = await p.evaluate(() => window.__fates);
      const first = i === 0 ? 5001 : 6001;
      for (let k = 0; k < perPage; k++) {
        const own = fates.filter((f) => f.client === String(first + k));
        assert.deepEqual(own.map((f) => f.status), ['sent', 'executed'], `${charts[i].tag}${k + 1}: ${JSON.stringify(own)}`);
        assert.equal(own[1].ticket, ticketOf.get(`${charts[i].tag}${k + 1}`));
        assert.equal(own[1].id, own[0].id);
        assert.equal(mine.find((r) => r.id === own[0].id)?.symbol, `${charts[i].tag}${k + 1}`);
      }
    }
    const replies = telegram.sent.slice(sentBefore).map((m) => m.text);
    for (let k = 1; k <= telegramOrders; k++) {
      const own = replies.filter((t) => t.includes(`REMOTE BUY:* TG${k} (0.5)`));
      assert.deepEqual(own, [`\u{1F7E2} *REMOTE BUY:* TG${k} (0.5) executed, ticket ${ticketOf.get(`TG${k}`)}.`], replies.join('\n'));
    }
  } finally {
    companion.stop();
    for (const c of charts) {
      fs.writeFileSync(bridgeFile(`QV_Kill_${c.hwnd}.txt`), '');
      await Promise.race([exitOf(c.child), new Promise((r) => setTimeout(r, 15000))]);
      await c.ask('quit');
    }
  }
});
