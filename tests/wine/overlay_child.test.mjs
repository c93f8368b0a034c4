// A chart child under Wine with the Chromium-backed WebView2 runtime: the overlay window
// inside a fake chart, the page it shows, what it pushes into the page and writes from the
// page's messages, how it follows, obeys and ends.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { freshWine, paths, waitFor, browserProcesses } from './lib/wine.mjs';
import { startCloudServer, startTelegramServer, startRecordingServer } from './lib/http_servers.mjs';
import { TerminalSim } from '../../testing/terminal-sim/terminal.mjs';
import { startAdvisor } from './lib/advisor.mjs';
import { runtimeEnv, readCalls, waitForCall, attachBrowser, findPage, startFakeChart, exitOf, hudOf, pushesIn, otherSite } from './lib/overlay.mjs';

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
const dataFile = (name) => path.join(w.appdata, 'Quorvale_Workspace_Data', name);
let telegramFile;
const count = (text, part) => text.split(part).length - 1;
// Files are created, then written: read the content, not the name.
const text = (name) => (fs.existsSync(bridgeFile(name)) ? fs.readFileSync(bridgeFile(name), 'utf8') : '');
const RELAY_TITLE = 'Quorvale Workspace - Telegram relay';
// What the host pushed into the HUDs of the shared call record.
const pushed = (type) => pushesIn(rt.callLog, type);
const lastPushed = (type) => pushed(type).at(-1) || {};

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
  const opaque = await fetch('https://quorvale-data.example/QV_OpenPositions.json', { mode: 'no-cors' });
  out.noCors = opaque.type + ' ' + opaque.status + ' ' + (await opaque.text()).length;
  return out;
}, ['QV_AIConfig.json', 'QV_OpenPositions.json', 'QV_TelegramConfig.json', 'QV_Secrets.dat']);

test('an overlay child shows the chart page in its chart, follows it, serves the HUD\'s channel and ends on a kill request', async () => {
  fs.writeFileSync(bridgeFile('QV_AIConfig.json'), '{"gemini":"seeded-key","openai":"","risk_pct":1.5}');
  // The copy an earlier version's VAULT_CFG wrote into the browser profile.
  fs.mkdirSync(dataFile('Profile'), { recursive: true });
  fs.writeFileSync(dataFile('Profile/vault.json'), '{"gemini":"older-key","claude":"claude-key","autotrader":1}');
  const { chart, hwnd, ask, children, boxText, answer } = await startFakeChart(w);
  const child = w.spawn(paths.exe, [hwnd, 'XAUUSD', '60', 'dark', 'tester', 'WORKSTATION'], { env: rt.env });

  const url = 'https://www.tradingview.com/chart/?symbol=OANDA:XAUUSD&interval=60&theme=dark';
  let log = await w.waitForLog('Navigating to: ' + url, 60000);
  assert.match(log, new RegExp(`SetVirtualHostNameToFolderMapping \\[quorvale-data\\.example\\] -> \\[[^\\]]*Quorvale\\] Result: 0`));
  await waitForCall(rt.callLog, /^Navigate /);
  const calls = readCalls(rt.callLog);
  assert.ok(calls.some((l) => /put_DefaultBackgroundColor .*255.*14.*18.*28/.test(l)), 'dark background');
  // The page's own world gets the neutraliser and the chart page reader; the HUD runs in its
  // isolated world, with a binding that exists there only; all of it is registered before
  // the first navigation.
  assert.equal(calls.filter((l) => l.startsWith('AddScriptToExecuteOnDocumentCreated')).length, 2);
  const world = calls.filter((l) => l.startsWith('CallDevToolsProtocolMethod Page.addScriptToEvaluateOnNewDocument'));
  assert.equal(world.length, 1);
  assert.ok(world[0].endsWith(',"worldName":"quorvale_hud"}'), world[0].slice(-80));
  assert.ok(calls.includes('CallDevToolsProtocolMethod Runtime.addBinding {"name":"__qvHost","executionContextName":"quorvale_hud"}'));
  for (const domain of ['Page', 'Runtime']) assert.ok(calls.includes(`CallDevToolsProtocolMethod ${domain}.enable {}`), domain);
  const navigateAt = calls.findIndex((l) => l.startsWith('Navigate '));
  const lastRegistration = calls.findLastIndex((l) => /^AddScriptToExecuteOnDocumentCreated |^CallDevToolsProtocolMethod (?!Runtime\.evaluate )/.test(l));
  assert.ok(lastRegistration >= 0 && lastRegistration < navigateAt, 'registrations before the navigation');
  for (const e of ['Runtime.bindingCalled', 'Runtime.executionContextCreated', 'Page.frameNavigated']) {
    assert.ok(calls.includes(`GetDevToolsProtocolEventReceiver ${e}`), e);
  }

  // The overlay window sits in the chart's client area and the WebView fills it.
  const [overlay] = (await children()).filter((c) => c.cls === 'QuorvaleWorkspace_Class');
  assert.ok(overlay && overlay.visible, 'overlay window inside the chart');
  const bounds = calls.filter((l) => l.startsWith('put_Bounds')).at(-1).split(' ').slice(1).map(Number);
  assert.deepEqual([bounds[2] - bounds[0], bounds[3] - bounds[1]], [overlay.width, overlay.height]);
  assert.match(fs.readFileSync(bridgeFile(`QV_Active_${hwnd}.txt`), 'utf8'), /^ACTIVE=\d+$/);

  browser = await attachBrowser(w);
  const page = await findPage(browser, /tradingview\.com\/chart/);
  const hud = await hudOf(page);
  // The key an earlier version left in QV_AIConfig.json moved into the workspace's protected
  // store: the file keeps the companion's members only, the HUD has the key through its
  // channel, and neither the store nor the site's storage holds it in plain text.
  assert.deepEqual(JSON.parse(text('QV_AIConfig.json')), { risk_pct: 1.5 });
  await waitFor(() => lastPushed('secrets').gemini === 'seeded-key', 10000, 100, 'the key in the HUD');
  assert.equal(lastPushed('secrets').claude, 'claude-key', 'a key only the profile\'s copy had');
  assert.equal(fs.existsSync(dataFile('Profile/vault.json')), false, 'the profile\'s copy removed');
  const store = fs.readFileSync(dataFile('QV_Secrets.dat'));
  for (const plain of ['seeded-key', 'claude-key', '123:TEST']) assert.equal(store.includes(plain), false, plain);
  assert.equal(fs.existsSync(bridgeFile('QV_TelegramConfig.json')), false, 'the bridge copy of the relay moved');
  assert.equal(lastPushed('secrets').tg_token, '123:TEST');
  assert.equal(lastPushed('chart').hwnd, String(BigInt(hwnd)), 'the HUD told its chart');
  assert.equal(await page.evaluate(() => JSON.stringify(localStorage)), '{}', 'nothing in the site\'s storage');
  // The page's world has neither the HUD's binding nor its controls; the root is closed.
  assert.deepEqual(await page.evaluate(() => [typeof window.__qvHost, typeof window.qvOrderFate,
    document.getElementById('qv-hud-host')?.shadowRoot ?? null,
    ['qv-hud-panel', 'qv-btn-buy', 'qv-size-input'].some((id) => document.getElementById(id))]),
  ['undefined', 'undefined', null, false]);
  assert.equal(await page.evaluate(() => window.__documentScriptsSeenFirst), true);

  // A fill's capture request is uploaded once with the page's picture and announced.
  const companion = new TerminalSim(w.bridge, { symbol: 'XAUUSD' });
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
  // Nothing piled up: between captures (the chart picture every 4 s) no temporary file stays.
  await waitFor(() => fs.readdirSync(w.bridge).filter((n) => /^QV_Capture_Request_|^temp_capture_|^temp_chart_/.test(n)).length === 0,
    10000, 50, 'no capture file left');

  // The HUD's messages become bridge files.
  await hud.post('SYNC:FX:EURUSD');
  await waitFor(() => /^EURUSD,\d+$/.test(text('QV_TVSync.csv')), 10000, 100, 'sync record');
  // The page's id (171) only routes the fate back; the outbox gives the order its own id,
  // writes the order file and then the same record to the signal file.
  const fatesBefore = pushed('fate').length;
  const fates = () => pushed('fate').slice(fatesBefore);
  await hud.post('TRADE:171,SELL,0.20,CURRENT,,');
  await waitFor(() => /^\d{13},SELL,0\.20,EURUSD,,0$/.test(text('QV_TradeSignal.csv')), 10000, 100, 'trade record');
  const traded = text('QV_TradeSignal.csv');
  const orderId = traded.split(',')[0];
  assert.equal(text(`QV_Order_${orderId}.csv`), traded + '\n');
  assert.equal(text('QV_Protocol.txt'), 'ORDER_FILES=1');
  await waitFor(() => fates().length >= 1, 10000, 100, 'sent reported');
  assert.deepEqual(fates()[0],
    { type: 'fate', client: '171', id: orderId, status: 'sent', ticket: '', price: '', volume: '', reason: '' });
  fs.writeFileSync(bridgeFile(`QV_TradeResult_${orderId}.txt`), `ID=${orderId}\r\nSTATUS=REJECTED\r\nREASON=Market closed\r\nEND=1\r\n`);
  await waitFor(() => fates().length >= 2, 10000, 100, 'result reported');
  const second = fates()[1];
  assert.equal(second.status, 'rejected');
  assert.equal(second.reason, 'Market closed');
  assert.ok(!fs.existsSync(bridgeFile(`QV_TradeResult_${orderId}.txt`)), 'the sender removes the result it read');
  await hud.post('TRADE:172,BUY,0.10,EUR\nUSD,0,0');
  // The hard limits, from the file the trader edits (written with its defaults at the first
  // order): 25 lots and an R:5 risk are refused before the outbox, a tighter limit holds at once.
  await hud.post('TRADE:173,SELL,25.00,EURUSD,20,40');
  await hud.post('TRADE:174,BUY,R:5.0,EURUSD,20,40');
  await waitFor(() => fates().length >= 5, 10000, 100, 'the first refusals reported');
  assert.match(fs.readFileSync(dataFile('order_limits.txt'), 'utf8'), /^MAX_LOTS=1\.00$/m);
  fs.writeFileSync(dataFile('order_limits.txt'), 'MAX_LOTS=0.05\nMAX_RISK_PCT=2.0\n');
  await hud.post('TRADE:175,BUY,0.10,EURUSD,0,0');
  await waitFor(() => fates().length >= 6, 10000, 100, 'the refusals reported');
  fs.writeFileSync(dataFile('order_limits.txt'), 'MAX_LOTS=1.00\nMAX_RISK_PCT=2.0\n');
  const refusals = fates().slice(2).map((f) => [f.client, f.status, f.reason]);
  assert.deepEqual(refusals, [
    ['172', 'not_sent', 'unusable order record'],
    ['173', 'not_sent', 'size 25.00 lots is over the workspace\'s largest lot size (1.00 lots)'],
    ['174', 'not_sent', 'risk 5.0 % is over the workspace\'s largest risk per order (2.0 %)'],
    ['175', 'not_sent', 'size 0.10 lots is over the workspace\'s largest lot size (0.05 lots)'],
  ]);
  assert.equal(text('QV_TradeSignal.csv'), traded, 'no refused order reached the outbox');
  assert.deepEqual(fs.readdirSync(w.bridge).filter((n) => /^QV_Order/.test(n)), [`QV_Order_${orderId}.csv`]);

  // A write that cannot succeed (a folder where the signal file goes): the trader's real
  // click on BUY ends as NOT SENT with the Windows error, the log says so and no order is left.
  fs.rmSync(bridgeFile('QV_TradeSignal.csv'));
  fs.mkdirSync(bridgeFile('QV_TradeSignal.csv'));
  const logBeforeFailure = (await w.readLog()).length;
  await hud.click('#qv-btn-buy');
  await waitFor(() => fates().length >= 7, 20000, 100, 'the failure reported');
  const failure = fates()[6];
  assert.equal(failure.status, 'not_sent', JSON.stringify(failure));
  assert.match(failure.reason, /\S/);
  await waitFor(async () => /^BUY NOT SENT: \S/.test(await hud.text('#qv-order-status')), 5000, 100, 'the ticket told');
  const failureLog = (await w.readLog()).slice(logBeforeFailure);
  assert.match(failureLog, /Quorvale Trade Signal NOT sent \[[^\]]*\]: \d{13},BUY,0\.10,[^,]+,/);
  assert.doesNotMatch(failureLog, /Emitted Quorvale Trade Signal/);
  assert.deepEqual(fs.readdirSync(w.bridge).filter((n) => /^QV_Order/.test(n)), [`QV_Order_${orderId}.csv`]);
  fs.rmdirSync(bridgeFile('QV_TradeSignal.csv'));
  fs.writeFileSync(bridgeFile('QV_TradeSignal.csv'), traded);

  // A new Telegram relay takes effect only once the trader confirms it in a native dialog that
  // names the bot and the chat; the window thread keeps serving the HUD while it is open.
  telegram.addBot('777:NEWRELAY', 'NewRelayBot');
  const relayAsk = 'SECRETS_SET:{"tg_token":"777:NEWRELAY","tg_chatid":"4242"}';
  await hud.post(relayAsk);
  let question = await boxText(RELAY_TITLE);
  for (const part of ['Bot: @NewRelayBot (id 777)', 'Chat: 4242 (a private chat)', 'User: 4242']) {
    assert.ok(question.includes(part), `${part} in: ${question}`);
  }
  assert.equal(question.includes('NEWRELAY'), false, 'the token\'s secret part is not shown');
  const syncBefore = text('QV_TVSync.csv');
  await new Promise((r) => setTimeout(r, 20));  // a new tick count for the new record
  await hud.post('SYNC:FX:EURUSD');
  await waitFor(() => text('QV_TVSync.csv') !== syncBefore, 10000, 100, 'a message served while the question is open');
  assert.ok(await answer(RELAY_TITLE, false));
  await w.waitForLog('The trader declined the new Telegram relay; nothing changed.', 10000);
  await waitFor(() => pushed('relay').at(-1)?.result === 'declined', 5000, 100, 'the HUD told');
  await waitFor(() => lastPushed('secrets').tg_token === '123:TEST', 5000, 100, 'the old relay kept');
  await hud.post(relayAsk);
  question = await boxText(RELAY_TITLE);
  assert.ok(await answer(RELAY_TITLE, true));
  await w.waitForLog('Updated Telegram Configuration via WebMessage.');
  await waitFor(() => lastPushed('secrets').tg_token === '777:NEWRELAY', 5000, 100, 'the new relay in the HUD');
  await waitFor(() => telegram.polls.some((p) => p.token === '777:NEWRELAY'), 15000, 100, 'the bot polling the new relay');
  // Removing the relay needs no question: it takes authority away.
  await hud.post('SECRETS_SET:{"tg_token":""}');
  await w.waitForLog('Removed the Telegram relay via WebMessage.');
  await hud.post('VAULT_CFG:{"gemini":"evil","autotrader":1}');
  await w.waitForLog('Dropped VAULT_CFG: keys and settings have messages of their own.');

  // Settings that govern orders are the workspace's: stored, pushed back, and the companion's
  // members written into QV_AIConfig.json (no key in it).
  await hud.post('SETTINGS_SET:{"risk_pct":1.5,"max_dd":3,"autotrader":true,"hour_start":null,"evil":1}');
  await waitFor(() => /"autotrader":1/.test(text('QV_AIConfig.json')), 10000, 100, 'the companion\'s members');
  assert.deepEqual(JSON.parse(text('QV_AIConfig.json')), { risk_pct: 1.5, autotrader: 1, max_dd: 3, hour_start: null });
  await waitFor(() => lastPushed('settings').autotrader === true, 5000, 100, 'the setting in the HUD');
  assert.deepEqual(lastPushed('settings').limits, { max_lots: '1.00', max_risk_pct: '2.0' });
  await w.waitForLog('Refused setting evil: not a setting the workspace keeps');
  await hud.post('SETTINGS_SET:{"autotrader":false}');
  await waitFor(() => /"autotrader":0/.test(text('QV_AIConfig.json')), 10000, 100, 'the AutoTrader off again');

  // Bar claims: the first asker's token is kept, a later asker changes nothing, fields
  // outside the page's form make no file; the HUD knows its chart from the host's push.
  await hud.post('AT_CLAIM:XAUUSD,1772618400,firstpage1');
  await hud.post('AT_CLAIM:XAUUSD,1772618400,secondpage');
  await hud.post('AT_CLAIM:..\\QV_Kill,1,abcdefgh');
  // Messages are served in order: once this one is logged the claims above are done.
  await hud.post('claims-served');
  await w.waitForLog('WebMessage: claims-served');
  assert.equal(text('QV_ATClaim_XAUUSD_1772618400.txt'), 'firstpage1');
  assert.deepEqual(fs.readdirSync(w.bridge).filter((n) => n.startsWith('QV_ATClaim_')), ['QV_ATClaim_XAUUSD_1772618400.txt']);

  // Positions are pushed once per change, as data rather than code; the HUD draws the badge.
  fs.writeFileSync(bridgeFile('QV_OpenPositions.json'), '[{"ticket":"11","profit":-10.5},{"ticket":"12","profit":-2}]');
  await waitFor(async () => (await hud.text('#qv-pnl-badge')) === 'PnL: -$12.50 (2)', 10000, 100, 'positions push');
  fs.writeFileSync(bridgeFile('QV_OpenPositions.json'), '[{"ticket":"0"}];globalThis.__injected=1');
  await new Promise((r) => setTimeout(r, 1500));
  assert.equal(await page.evaluate(() => window.__injected), undefined, 'file text never runs as code');
  assert.equal(await hud.eval('typeof globalThis.__injected'), 'undefined');
  assert.equal(await hud.text('#qv-pnl-badge'), 'PnL: -$12.50 (2)');

  // An evaluation request is consumed and pushed to the HUD once.
  const evaluationsBefore = pushed('evaluate').length;
  fs.writeFileSync(bridgeFile('QV_EvalRequest.txt'), 'EVAL');
  await waitFor(() => !fs.existsSync(bridgeFile('QV_EvalRequest.txt')), 10000, 100, 'evaluation request consumed');
  await waitFor(() => pushed('evaluate').length === evaluationsBefore + 1, 5000, 100, 'the evaluation push');
  assert.deepEqual(pushed('evaluate').at(-1),
    { type: 'evaluate', reason: 'Immediate on-demand user analysis: Evaluate active chart structure and formulate setup.' });
  assert.deepEqual(await page.evaluate(() => window.__evalCalls), [], 'the page\'s own function is never called');

  // The visible page is captured for the copilot as a PNG.
  await waitFor(() => {
    const picture = fs.existsSync(bridgeFile('QV_AICopilotChart.png')) ? fs.readFileSync(bridgeFile('QV_AICopilotChart.png')) : null;
    return picture && picture.length > 8 && picture.subarray(1, 4).toString() === 'PNG';
  }, 15000, 200, 'chart capture');

  // A navigation to the same ticker elsewhere changes nothing; a new ticker navigates.
  fs.writeFileSync(bridgeFile(`QV_Nav_${hwnd}.txt`), 'eurusd\r\n');
  await waitFor(() => !fs.existsSync(bridgeFile(`QV_Nav_${hwnd}.txt`)), 5000, 50, 'navigation request consumed');
  fs.writeFileSync(bridgeFile(`QV_Nav_${hwnd}.txt`), '\n');
  await waitFor(() => !fs.existsSync(bridgeFile(`QV_Nav_${hwnd}.txt`)), 5000, 50, 'blank request consumed');
  // Positions that do not change while the page reloads are shown in the new document at once.
  fs.writeFileSync(bridgeFile('QV_OpenPositions.json'), '[{"ticket":"21","profit":7.25}]');
  const badge = () => hud.text('#qv-pnl-badge').catch(() => '');
  await waitFor(async () => (await badge()) === 'PnL: +$7.25 (1)', 10000, 100, 'the positions in the badge');
  await page.evaluate(() => { window.__beforeNavigation = true; });
  fs.writeFileSync(bridgeFile(`QV_Nav_${hwnd}.txt`), 'XAUUSD');
  log = await w.waitForLog('Navigating existing Quorvale overlay to: ' + url);
  assert.equal(count(log, 'Navigating existing Quorvale overlay to: '), 1);
  await waitFor(async () => {
    try {
      return await page.evaluate(() => !window.__beforeNavigation && document.readyState === 'complete');
    } catch {
      return false;
    }
  }, 20000, 200, 'the reloaded chart page');
  await waitFor(async () => (await badge()) === 'PnL: +$7.25 (1)', 20000, 100, 'the positions after the navigation');
  await page.reload();
  await waitFor(async () => (await badge()) === 'PnL: +$7.25 (1)', 20000, 100, 'the positions after a reload');
  const chartPushes = pushed('chart').length;
  assert.ok(chartPushes >= 3, 'the chart handle pushed to every new document');

  // Only the HUD's world of our own documents drives the host. Neither the chart site's
  // scripts (the runtime's postMessage, the HUD world of its widget frame), nor another origin
  // the view reaches, changes a file.
  const files = ['QV_TradeSignal.csv', 'QV_AIConfig.json'];
  const before = Object.fromEntries(files.map((n) => [n, text(n)]));
  const attacks = ['TRADE:900,BUY,9.00,ALL,,', 'SECRETS_SET:{"tg_token":"666:EVIL","tg_chatid":"1"}', 'SETTINGS_SET:{"autotrader":true}'];
  await page.evaluate((a) => a.forEach((m) => window.chrome.webview.postMessage(m)), attacks);
  await w.waitForLog('Dropped a web message: the page\'s posts are not the HUD\'s channel.', 10000);
  const widget = await waitFor(() => page.frames().find((f) => /widgets\.example\/frame\.html/.test(f.url())), 20000, 100, 'the widget frame');
  const worldOf = (origin) => [...hud.contexts.values()].find((c) => c.name === 'quorvale_hud' && c.origin === origin);
  const evalIn = async (context, expression) => hud.cdp.send('Runtime.evaluate', { contextId: context.id, expression });
  const frameWorld = await waitFor(() => worldOf('https://widgets.example'), 10000, 100, 'the widget frame\'s HUD world');
  await evalIn(frameWorld, `${JSON.stringify(attacks)}.forEach((m) => globalThis.__qvHost(m))`);
  await w.waitForLog('Dropped a HUD channel call from a frame (https://widgets.example)', 10000);
  assert.equal(await widget.evaluate(() => !!document.getElementById('qv-hud-host')), false);
  // Messages are handled in order: once this one is done, the frame's would have been.
  await hud.post('SYNC:FX:GBPUSD');
  await waitFor(() => /^GBPUSD,\d+$/.test(text('QV_TVSync.csv')), 10000, 100, 'the later sync record');
  // The data host answers the chart site's documents only, and never with the settings that
  // held the keys: the frame's reads fail (403 without CORS), a no-cors load gets nothing it
  // can read; the chart page's own reads (the HUD's origin) get the positions.
  fs.writeFileSync(bridgeFile('QV_OpenPositions.json'), '{"positions":[],"balance":1000}');
  assert.deepEqual(await readData(widget), {
    'QV_AIConfig.json': 'failed', 'QV_OpenPositions.json': 'failed', 'QV_TelegramConfig.json': 'failed',
    'QV_Secrets.dat': 'failed', noCors: 'opaque 0 0',
  });
  await w.waitForLog('Refused a data host request from https://widgets.example', 10000);
  // Several refusals, one line: a page polling the data host does not fill the log.
  assert.equal(count(await w.readLog(), 'Refused a data host request from https://widgets.example'), 1);
  const ours = await readData(page);
  assert.equal(ours['QV_OpenPositions.json'], '200 {"positions":[],"balance":1000}');
  // Not files the page reads: 404 without CORS headers, which no page can read.
  for (const n of ['QV_AIConfig.json', 'QV_TelegramConfig.json', 'QV_Secrets.dat']) assert.equal(ours[n], 'failed', n);
  await page.goto('https://widgets.example/signin.html');
  const elsewhere = await readData(page);
  assert.equal(elsewhere['QV_OpenPositions.json'], 'failed', 'another top-level origin reads nothing');
  assert.equal(await page.evaluate(() => !!document.getElementById('qv-hud-host')), false, 'no HUD on another origin');
  const foreignWorld = await waitFor(() => [...hud.contexts.values()].find((c) => c.name === 'quorvale_hud' &&
    c.origin === 'https://widgets.example' && c.auxData.frameId === hud.mainFrameId), 10000, 100, 'the sign-in page\'s HUD world');
  await evalIn(foreignWorld, `${JSON.stringify(attacks)}.forEach((m) => globalThis.__qvHost(m))`);
  await w.waitForLog('Dropped a HUD channel call from a page that is not the workspace\'s (https://widgets.example)', 10000);
  await new Promise((r) => setTimeout(r, 1000));
  for (const n of files) assert.equal(text(n), before[n], n);
  log = await w.readLog();
  assert.ok(!log.includes('666:EVIL') && !log.includes('9.00,ALL'), 'a dropped message is not logged');
  assert.equal(count(log, 'Asking the trader to confirm a new Telegram relay'), 2, 'only the HUD\'s two questions');

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

// WebView2 raises ProcessFailed when its processes die. A crashed page is reloaded; a dead
// browser takes every view with it, and the child makes a new one, back on the symbol the
// trader was on, its heartbeat gone while it has none.
test('a page whose renderer crashes is reloaded; Chromium killed under the overlay comes back on its symbol', async () => {
  const { hwnd, ask } = await startFakeChart(w, 'USDCAD,H1');
  const child = w.spawn(paths.exe, [hwnd, 'USDCAD', '60', 'dark', 'tester', 'WORKSTATION'], { env: rt.env });
  browser = browser?.isConnected() ? browser : await attachBrowser(w);
  let page = await findPage(browser, /symbol=[^&]*USDCAD&/, 60000);
  await hudOf(page);
  // The trader moves the chart to another symbol; that is the one to come back to.
  fs.writeFileSync(bridgeFile(`QV_Nav_${hwnd}.txt`), 'NZDUSD');
  await w.waitForLog('Navigating existing Quorvale overlay to: https://www.tradingview.com/chart/?symbol=NZDUSD&', 20000);
  page = await findPage(browser, /symbol=NZDUSD&/, 30000);
  await hudOf(page);

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
  await hudOf(page);

  const heartbeat = bridgeFile(`QV_Active_${hwnd}.txt`);
  assert.ok(fs.existsSync(heartbeat));
  const [pid] = browserProcesses(w.root, 'Profile');
  assert.ok(pid, 'the browser of the profile');
  process.kill(pid, 'SIGKILL');
  await w.waitForLog('WebView2 process failed (kind 0): the browser process exited.', 20000);
  await waitFor(() => !fs.existsSync(heartbeat), 5000, 50, 'the heartbeat to go while there is no WebView');
  await w.waitForLog('Creating a new WebView2 environment and controller.', 20000);
  // The port file names the dead browser until the new one has written its own.
  browser = await waitFor(() => attachBrowser(w).catch(() => false), 60000, 500, 'the new browser');
  page = await findPage(browser, /symbol=NZDUSD&/, 60000);
  await hudOf(page);
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
  await hudOf(page);
  fs.writeFileSync(bridgeFile('QV_OpenPositions.json'), '[{"ticket":"31","profit":1.5}]');
  const ours = await readData(page);
  assert.equal(ours['QV_OpenPositions.json'], '200 [{"ticket":"31","profit":1.5}]');
  assert.equal(ours['QV_TelegramConfig.json'], 'failed', 'not a file the page reads: a 404 no page can read');
  const widget = await waitFor(() => page.frames().find((f) => /widgets\.example\/frame\.html/.test(f.url())), 20000, 100, 'the widget frame');
  assert.deepEqual(await readData(widget), {
    'QV_AIConfig.json': 'failed', 'QV_OpenPositions.json': 'failed', 'QV_TelegramConfig.json': 'failed',
    'QV_Secrets.dat': 'failed', noCors: 'opaque 0 0',
  });
  fs.writeFileSync(bridgeFile(`QV_Kill_${hwnd}.txt`), '');
  assert.equal(await exitOf(child), 0);
  await ask('quit');
});

// The chart site's own top document attacks (tests/wine/fixtures/hostile-site): it wraps
// built-ins and prototypes, clicks and forges events on every HUD control it can find, writes
// the HUD's old storage keys to arm the AutoTrader and plant a relay, calls every channel it
// can name, fetches every data-host file, reads its storage and DOM, and plants fate
// callbacks. Nothing is sent, stored or revealed, and the trader's real click still trades
// and shows its true fate.
test('a chart page whose own scripts attack: nothing sent, stored or revealed; the trader\'s real click still trades', async () => {
  const hostile = path.join(paths.repoRoot, 'tests/wine/fixtures/hostile-site');
  const callLog = path.join(w.root, 'calls-hostile.log');
  const env = { ...rt.env, QV_WEBVIEW2_CALL_LOG: w.toWin(callLog),
    QV_WEBVIEW2_EXTRA_HOSTS: `www.tradingview.com=${w.toWin(hostile)};widgets.example=${w.toWin(otherSite)}` };
  // The trader's own relay and key, as an earlier version left them.
  fs.mkdirSync(path.dirname(telegramFile), { recursive: true });
  fs.writeFileSync(telegramFile, '{"token":"123:TEST","chatid":"42"}');
  fs.writeFileSync(bridgeFile('QV_AIConfig.json'), '{"gemini":"AIza-TRADER-KEY","deepseek":"DS-TRADER-KEY","risk_pct":1}');
  for (const n of fs.readdirSync(w.bridge).filter((f) => /^QV_(Order|TradeResult)/.test(f))) fs.rmSync(bridgeFile(n));
  // The terminal's side writes the chart's snapshot and its price; the advisor's own logic
  // takes the orders and fills them at that price.
  const quotes = path.join(w.root, 'quotes-hostile');
  const terminal = new TerminalSim(w.bridge, { symbol: 'XAUUSD', quoteDir: quotes }).start();
  const { hwnd, ask } = await startFakeChart(w, 'XAUUSD,H1');
  const advisor = await startAdvisor(w, { hwnd, symbol: 'XAUUSD', quotes });
  const child = w.spawn(paths.exe, [hwnd, 'XAUUSD', '60', 'dark', 'tester', 'WORKSTATION'], { env });
  const logStart = (await w.readLog()).length;
  const last = (type) => pushesIn(callLog, type).at(-1) || {};
  try {
    browser = browser?.isConnected() ? browser : await attachBrowser(w);
    const page = await findPage(browser, /symbol=OANDA:XAUUSD/, 60000);
    const hud = await hudOf(page);
    await waitFor(() => page.evaluate(() => window.__attack && window.__attack.rounds >= 20).catch(() => false),
      60000, 200, 'twenty rounds of the attack');
    const attack = await page.evaluate(() => window.__attack);
    // The page's wrappers, clicks and forged events reach nothing of the HUD.
    assert.ok(attack.wrapped.length >= 12, `wrapped ${attack.wrapped.join(', ')}; ${attack.errors.join('; ')}`);
    assert.equal(attack.reachedRoot, false, 'the closed root stays closed');
    assert.equal(attack.clicked, 0, 'no HUD control in the page\'s reach');
    assert.ok(attack.forged > 0, 'events forged at the HUD\'s host element');
    assert.equal(attack.fateCalls, 0, 'no fate through the page\'s callbacks');
    assert.deepEqual(attack.channelCalls.filter((n) => n === '__qvHost'), [], 'the HUD\'s binding is not in the page\'s world');
    // Of the data host only the files the HUD reads are served, none holding a secret.
    for (const f of ['QV_AIConfig.json', 'QV_Secrets.dat', 'QV_TelegramConfig.json', 'telegram_status.json', 'order_limits.txt',
      'workspace_settings.json', 'vault.json', 'QV_TradeSignal.csv', 'QV_Protocol.txt']) {
      assert.notEqual(attack.fetched[f], 200, f);
    }
    const seen = attack.seen.join('\n');
    for (const secret of ['AIza-TRADER-KEY', 'DS-TRADER-KEY', '123:TEST']) assert.equal(seen.includes(secret), false, `${secret} revealed`);
    // Nothing sent or stored: no order, no question about a relay, the settings as they were.
    assert.deepEqual(fs.readdirSync(w.bridge).filter((n) => /^QV_Order/.test(n)), []);
    assert.equal(advisor.journal.length, 0, 'nothing executed');
    let log = (await w.readLog()).slice(logStart);
    assert.doesNotMatch(log, /Queued Quorvale Trade Signal|Asking the trader to confirm|Updated the workspace settings/);
    assert.match(log, /Dropped a web message: the page's posts are not the HUD's channel\./);
    assert.equal(last('secrets').tg_token, '123:TEST', 'the relay the trader set');
    assert.equal(last('secrets').deepseek, 'DS-TRADER-KEY', 'the key the trader set');
    assert.notEqual(last('secrets').gemini, 'AIza-PLANTED', 'a key the page planted never replaces the trader\'s');
    assert.notEqual(last('settings').autotrader, true, 'the AutoTrader is not armed from the site\'s storage');
    assert.doesNotMatch(text('QV_AIConfig.json'), /"autotrader":1|AIza/);

    // The trader's real click (a trusted mouse event in the closed root) trades, and the ticket
    // shows the fate the companion reported.
    await hud.click('#qv-btn-buy');
    await waitFor(() => advisor.journal.length === 1, 20000, 100, 'the order executed');
    const [executed] = advisor.journal;
    assert.equal(executed.action, 'BUY');
    assert.equal(executed.symbol, 'XAUUSD');
    log = (await w.readLog()).slice(logStart);
    assert.match(log, new RegExp(`Emitted Quorvale Trade Signal to MT5 \\[XAUUSD\\]: ${executed.id},BUY,0\\.10,XAUUSD,`));
    await waitFor(async () => (await hud.text('#qv-order-status')) === `BUY EXECUTED #${executed.ticket}`, 20000, 100,
      'the true fate on the ticket');
    assert.equal(await page.evaluate(() => window.__attack.fateCalls), 0, 'and the page saw none of it');
  } finally {
    terminal.stop();
    await advisor.stop();
    fs.writeFileSync(bridgeFile(`QV_Kill_${hwnd}.txt`), '');
    await Promise.race([exitOf(child), new Promise((r) => setTimeout(r, 15000))]);
    await ask('quit');
  }
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
  // The studio page is the data host's own document: its HUD world is trusted too.
  const studioHud = await hudOf(page);
  await studioHud.post('CLOSE_STUDIO');
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
  const [hudA, hudB] = [await hudOf(pageA), await hudOf(pageB)];

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
    for (const [page, hud, chart] of [[pageA, hudA, a], [pageB, hudB, b]]) {
      const hwnd = chart.hwnd;
      await page.route('https://api.openai.com/**', async (route) => {
        const req = route.request();
        const cors = { 'access-control-allow-origin': '*', 'access-control-allow-headers': '*', 'access-control-allow-methods': 'POST, OPTIONS' };
        if (req.method() === 'OPTIONS') return route.fulfill({ status: 204, headers: cors });
        const m = /data:image\/png;base64,([A-Za-z0-9+/=]+)/.exec(req.postData() || '');
        sent[hwnd] = m ? m[1] : '';
        return route.fulfill({ status: 200, contentType: 'application/json', headers: cors,
          body: JSON.stringify({ choices: [{ message: { content: 'No setup.' } }] }) });
      });
      await hud.post('SECRETS_SET:{"openai":"sk-proj-two-charts"}');
      await waitFor(() => pushesIn(rt.callLog, 'secrets').some((p) => p.openai === 'sk-proj-two-charts'), 10000, 100, 'the key');
      await hud.select('#qv-ai-model-select', 'gpt-4o');
      // The daemon's evaluation request for this chart: the host pushes it to this HUD.
      fs.writeFileSync(bridgeFile('QV_EvalRequest.txt'), `EVAL\nHWND=${hwnd}`);
      await waitFor(() => !fs.existsSync(bridgeFile('QV_EvalRequest.txt')), 10000, 100, 'the request taken');
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

// Two charts' pages and the Telegram worker send orders at the same moment; the advisor's
// own logic takes the order files. Every order is executed exactly once under an id of
// its own, and each sender hears its own order's ticket. Each order trades a symbol of its
// own, which tells them apart in the advisor's log.
test('a burst from two charts and Telegram: each order executed once, none lost', async () => {
  const perPage = 4;
  const telegramOrders = 3;
  const tags = [...['PA', 'PB'].flatMap((t) => Array.from({ length: perPage }, (_, k) => `${t}${k + 1}`)),
    ...Array.from({ length: telegramOrders }, (_, k) => `TG${k + 1}`)];
  const advisor = await startAdvisor(w, { symbol: 'EURUSD', extra: ['--symbols', tags.join(',')] });
  fs.writeFileSync(telegramFile, '{"token":"123:TEST","chatid":"42"}');
  const charts = [];
  const workerStart = 'Starting Quorvale Telegram Bot Worker...';
  const workersBefore = count(await w.readLog(), workerStart);
  try {
    for (const [title, symbol, tag] of [['EURUSD,H1', 'EURUSD', 'PA'], ['XAUUSD,H1', 'XAUUSD', 'PB']]) {
      const fake = await startFakeChart(w, title);
      // A call record of its own, so each page's fates are told apart.
      const callLog = path.join(w.root, `calls-${tag}.log`);
      const child = w.spawn(paths.exe, [fake.hwnd, symbol, '60', 'dark', 'tester', 'WORKSTATION'],
        { env: { ...rt.env, QV_WEBVIEW2_CALL_LOG: w.toWin(callLog) } });
      charts.push({ ...fake, child, callLog, symbol, tag });
    }
    const huds = await waitFor(async () => {
      try {
        browser = browser?.isConnected() ? browser : await attachBrowser(w);
        const found = [];
        for (const c of charts) found.push(await hudOf(await findPage(browser, new RegExp(`chart/\\?symbol=[^&]*${c.symbol}&`), 2000), 5000));
        return found;
      } catch {
        browser = null;
        return false;
      }
    }, 90000, 500, 'both chart pages with the HUD');
    await w.waitForLog(workerStart, 30000, workersBefore + 2);
    // Each page's HUD sends its orders through the binding of its own world.
    const posters = huds.map((hud) => (messages) => hud.eval(`${JSON.stringify(messages)}.forEach((m) => globalThis.__qvHost(m)), true`));

    const sentBefore = telegram.sent.length;
    const ordersOf = (tag, first) => Array.from({ length: perPage }, (_, k) => `TRADE:${first + k},BUY,0.10,${tag}${k + 1},0,0`);
    await Promise.all([
      posters[0](ordersOf('PA', 5001)),
      posters[1](ordersOf('PB', 6001)),
      (async () => { for (let k = 1; k <= telegramOrders; k++) telegram.pushText(42, `/buy TG${k} 0.5`); })(),
    ]);
    const executedTags = () => advisor.journal.map((r) => r.symbol).filter((s) => tags.includes(s));
    await waitFor(() => executedTags().length >= tags.length, 60000, 100, 'every order executed');
    await waitFor(() => telegram.sent.length - sentBefore >= telegramOrders, 30000, 100, 'the Telegram replies');
    for (const c of charts) {
      await waitFor(() => pushesIn(c.callLog, 'fate').filter((f) => f.status === 'executed').length >= perPage,
        20000, 100, 'the pages told');
    }
    // Time for a second execution to show, had there been one: the advisor polls every 20 ms.
    const polls = telegram.polls.length;
    await waitFor(() => telegram.polls.length >= polls + 2, 20000, 100, 'two more polls');

    const mine = advisor.journal.filter((r) => tags.includes(r.symbol));
    assert.deepEqual(mine.filter((r) => r.ticket === undefined), [], 'every order filled');
    assert.deepEqual(mine.map((r) => r.symbol).sort(), [...tags].sort(), 'each order once, none lost');
    const ids = mine.map((r) => r.id);
    assert.equal(new Set(ids).size, ids.length, 'ids unique across processes');
    assert.ok(ids.every((id) => /^\d{13,}$/.test(id)), ids.join());
    const ticketOf = new Map(mine.map((r) => [r.symbol, r.ticket]));
    for (const [i, c] of charts.entries()) {
      const fates = pushesIn(c.callLog, 'fate');
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
    await advisor.stop();
    for (const c of charts) {
      fs.writeFileSync(bridgeFile(`QV_Kill_${c.hwnd}.txt`), '');
      await Promise.race([exitOf(c.child), new Promise((r) => setTimeout(r, 15000))]);
      await c.ask('quit');
    }
  }
});
