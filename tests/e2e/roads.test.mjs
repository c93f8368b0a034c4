// The whole workspace under Wine: the daemon, a chart child it starts for a launch
// request, the Chromium-backed runtime with the HUD in the chart page, and the terminal
// companion's own logic (build/native/qv_companion --orders-only) executing what arrives
// on its paper account; the simulator only launches the charts, writes their snapshots and
// sets the prices the paper account follows. One trade travels each road: from the HUD's
// ticket, from Telegram, and into the visual journal after its fill; and the AutoTrader on
// two charts of different instruments, each trading only its own. Last, the runtime updates
// itself under the running charts and every chart comes back.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { freshWine, paths, waitFor } from '../wine/lib/wine.mjs';
import { startCloudServer, startTelegramServer, startRecordingServer } from '../wine/lib/http_servers.mjs';
import { runtimeEnv, attachBrowser, findPage, startFakeChart, hudOf } from '../wine/lib/overlay.mjs';
import { TerminalSim } from '../../testing/terminal-sim/terminal.mjs';
import { startAdvisor } from '../wine/lib/advisor.mjs';

let w;
let cloud;
let telegram;
let companion;
let chart;
let page;
let hud;
let browser;
let provider;
let advisor;
let boughtTicket;
let quotes;
let updateFile;
let chart2;
let page2;
let hud2;
let advisor2;

// Every order the advisor ran, from its Experts log lines.
const executed = () => advisor.journal;

before(async () => {
  w = await freshWine();
  cloud = await startCloudServer();
  telegram = await startTelegramServer({ token: '123:ROAD' });
  updateFile = path.join(w.root, 'runtime-update.txt');
  const rt = runtimeEnv(w, {
    QV_CLOUD_BASE_URL: cloud.url, QV_TELEGRAM_API_BASE: telegram.url, QV_WEBVIEW2_UPDATE_FILE: w.toWin(updateFile),
  });
  fs.mkdirSync(w.bridge, { recursive: true });
  fs.writeFileSync(path.join(w.bridge, 'QV_TelegramConfig.json'), '{"token":"123:ROAD","chatid":"77"}');
  w.spawn(paths.exe, [], { env: rt.env });
  await w.waitForLog('Quorvale Daemon loop active and watching: ', 60000);

  chart = await startFakeChart(w, 'XAUUSD,H1');
  quotes = path.join(w.root, 'quotes');
  companion = new TerminalSim(w.bridge, { symbol: 'XAUUSD', quoteDir: quotes });
  companion.start();
  advisor = await startAdvisor(w, { hwnd: chart.hwnd, symbol: 'XAUUSD', quotes });
  await waitFor(() => fs.existsSync(path.join(w.bridge, 'QV_OpenPositions.json')), 20000, 200, 'the advisor writing its positions');
  companion.writeLaunch({ hwnd: chart.hwnd, symbol: 'XAUUSD', interval: '60' });

  browser = await attachBrowser(w);
  page = await findPage(browser, /tradingview\.com\/chart\/\?symbol=OANDA:XAUUSD/, 90000);
  // The HUD sits in its own world under a closed root: reached as DevTools reaches it, with
  // real (trusted) input events.
  hud = await hudOf(page);
  await hud.waitFor('#qv-btn-buy', { timeout: 30000 });
});
after(async () => {
  companion?.stop?.();
  for (const a of [advisor, advisor2]) await a?.stop();
  if (process.env.QV_ROAD_ADVISOR_LOG) console.log(advisor?.log());
  await w?.close();
  await cloud?.close();
  await telegram?.close();
  await provider?.close();
});

const positions = () => JSON.parse(fs.readFileSync(path.join(w.bridge, 'QV_OpenPositions.json'), 'utf8'));
const open = () => positions().filter((p) => p.ticket && p.ticket !== '0');

test('a BUY from the ticket is executed once and comes back as a position in the PnL badge', async () => {
  const before = open();
  await hud.click('#qv-btn-buy');
  await waitFor(() => open().length === before.length + 1, 20000, 200, 'the position opened by the advisor');
  const [position] = open().filter((p) => !before.some((b) => b.ticket === p.ticket));
  assert.equal(position.type, 'BUY');
  assert.equal(position.symbol, 'XAUUSD');
  assert.equal(position.volume, 0.1);
  boughtTicket = position.ticket;
  // A current companion runs, so the order file names its account and chart, and the slot
  // of the first version stays untouched (a companion of that version would run it again).
  const orderFile = fs.readdirSync(w.bridge).find((n) => /^QV_Order(Taken)?_\d+\.csv$/.test(n));
  assert.equal(orderFile, undefined, 'the order file was taken');
  assert.ok(!fs.existsSync(path.join(w.bridge, 'QV_TradeSignal.csv')), 'no slot record');
  // The ticket shows the fate the advisor wrote, with its ticket number.
  await waitFor(async () => (await hud.text('#qv-order-status')) === `BUY EXECUTED #${position.ticket}`, 15000, 200,
    'the ticket showing the execution');
  await waitFor(async () => (await hud.text('#qv-pnl-badge')).includes(`(${before.length + 1})`), 15000, 200,
    'the badge counting the position');
  // The same record read again is not executed twice.
  await new Promise((r) => setTimeout(r, 1500));
  assert.equal(open().length, before.length + 1);
  const runs = executed().filter((r) => r.action === 'BUY');
  assert.equal(runs.length, 1, 'the advisor ran the ticket\'s order once');
  assert.equal(runs[0].ticket, position.ticket);
});

test('a fill is journalled: the chart picture is uploaded once and the fill announced', async () => {
  const upload = await cloud.waitForRequests((r) => r.method === 'POST' && /image_data/.test(r.body.toString('utf8')), 1, 30000);
  const body = JSON.parse(upload[0].body.toString('utf8'));
  assert.equal(body.symbol, 'XAUUSD');
  assert.equal(body.event_type, 'BUY');
  // The advisor's capture request names the fill's ticket and the chart it sits on.
  assert.equal(body.filename, `QV_TV_XAUUSD_BUY_${boughtTicket}.png`);
  assert.equal(Buffer.from(body.image_data, 'base64').subarray(1, 4).toString(), 'PNG');
  await waitFor(() => telegram.sent.find((m) => /QUORVALE TRADE FILLED/.test(m.text) && m.text.includes(body.symbol)), 15000, 200, 'the trade-filled notice');
  await new Promise((r) => setTimeout(r, 3000));
  const uploads = cloud.requests.filter((r) => r.method === 'POST' && /image_data/.test(r.body.toString('utf8')));
  assert.equal(uploads.length, 1, 'one upload although daemon and child both watch for requests');
  assert.equal(telegram.sent.filter((m) => /QUORVALE TRADE FILLED/.test(m.text)).length, 1, 'one fill notice');
});

test('an order the advisor refuses (a stop above the bid of a BUY) shows its reason on the ticket and opens nothing', async () => {
  const before = open().length;
  const runs = executed().length;
  const { bid } = companion.quote();
  const sl = (bid + 10).toFixed(2);
  await hud.fill('#qv-sl-input', sl);
  try {
    await hud.click('#qv-btn-buy');
    await waitFor(async () => (await hud.text('#qv-order-status')) === `BUY REJECTED: stop loss ${sl} is not below the bid ${bid.toFixed(2)}`,
      15000, 200, 'the ticket showing the advisor\'s reason');
  } finally {
    await hud.fill('#qv-sl-input', '20');
  }
  assert.equal(executed().length, runs + 1);
  assert.match(executed().at(-1).reason, /^stop loss /);
  assert.equal(open().length, before);
  assert.equal(cloud.requests.filter((r) => r.method === 'POST' && /image_data/.test(r.body.toString('utf8'))).length, 1, 'no capture for a refused order');
});

test('a Telegram /closeall from the trader\'s chat closes everything, once, with its reply', async () => {
  assert.ok(open().length > 0);
  telegram.pushUpdate({ message: { from: { id: 77 }, chat: { id: 77 }, date: Math.floor(Date.now() / 1000), text: '/closeall' } });
  await waitFor(() => open().length === 0, 30000, 200, 'all positions closed');
  await waitFor(() => telegram.sent.find((m) => /^\u{1F6D1} \*CLOSE ALL:\* Close all positions executed, ticket \d+\.$/u.test(String(m.text))), 10000, 200, 'the reply');
  await new Promise((r) => setTimeout(r, 4000));
  assert.equal(telegram.sent.filter((m) => /^\u{1F6D1} \*CLOSE ALL:\* Close all positions executed, ticket \d+\.$/u.test(String(m.text))).length, 1,
    'one reply although every process runs a worker');
});

// The fixture chart site draws no toolbar; the real chart page shows its symbol there, and
// that is where the HUD learns which instrument its chart trades.
const showSymbol = (p, symbol) => p.evaluate((s) => {
  const bar = document.createElement('div');
  bar.id = 'header-toolbar';
  bar.innerHTML = '<div id="header-toolbar-symbol-search"></div>';
  bar.firstChild.textContent = s;
  document.body.appendChild(bar);
}, symbol);

const proposal = (p) => '**Market Structure:** clean.\n```json:trade_proposal\n' + JSON.stringify(p) + '\n```';

test('the AutoTrader on two charts of different instruments sends one order per chart, each with its own symbol', async () => {
  // The AI provider is a server on 127.0.0.1; the page's requests to the provider's address
  // are carried there, naming the chart page that asked.
  const replies = {
    XAUUSD: proposal({ action: 'BUY', symbol: 'XAUUSD', confidence: 90, entry_price: 2650.5, stop_loss: 2630, take_profit: 2690, risk_pct: 0.5 }),
    EURUSD: proposal({ action: 'SELL', symbol: 'EURUSD', confidence: 90, entry_price: 1.085, stop_loss: 1.095, take_profit: 1.07, risk_pct: 0.5 }),
  };
  provider = await startRecordingServer((req, record, res) => {
    res.writeHead(200, { 'Content-Type': 'application/json' });
    res.end(JSON.stringify({ choices: [{ message: { content: replies[req.headers['x-chart-symbol']] || 'No setup.' } }] }));
  });
  const cors = (req) => ({
    'access-control-allow-origin': '*',
    'access-control-allow-headers': req.headers()['access-control-request-headers'] || '*',
    'access-control-allow-methods': 'POST, OPTIONS',
  });
  const symbolOfPage = new Map();
  const carry = async (route) => {
    const req = route.request();
    if (req.method() === 'OPTIONS') return route.fulfill({ status: 204, headers: cors(req) });
    const symbol = symbolOfPage.get(req.frame().page()) || '';
    const url = provider.url + new URL(req.url()).pathname;
    const response = await route.fetch({ url, headers: { ...req.headers(), 'x-chart-symbol': symbol } });
    return route.fulfill({ response, headers: { ...response.headers(), ...cors(req) } });
  };

  // The second chart, with its own simulator writing its own snapshot and price; the
  // advisor on the first chart executes every order, as any chart's advisor may.
  chart2 = await startFakeChart(w, 'EURUSD,H1');
  const companion2 = new TerminalSim(w.bridge, { symbol: 'EURUSD', price: 1.085, quoteDir: quotes });
  companion2.chartHandle = chart2.hwnd;
  companion2.writeSnapshot();
  companion.chartHandle = chart.hwnd;
  companion.writeSnapshot();
  companion2.writeLaunch({ hwnd: chart2.hwnd, symbol: 'EURUSD', interval: '60' });
  page2 = await findPage(browser, /tradingview\.com\/chart\/\?symbol=[A-Z]*:?EURUSD/, 120000);
  hud2 = await hudOf(page2, 60000);

  const charts = [
    { page, hud, symbol: 'XAUUSD', hwnd: chart.hwnd, sim: companion },
    { page: page2, hud: hud2, symbol: 'EURUSD', hwnd: chart2.hwnd, sim: companion2 },
  ];
  for (const c of charts) {
    symbolOfPage.set(c.page, c.symbol);
    await c.page.route('https://api.openai.com/**', carry);
    await showSymbol(c.page, c.symbol);
    // Counted from the HUD's DevTools session: the network sees the HUD world's fetches,
    // however they were answered.
    const own = `/QV_AICopilotData_${BigInt(c.hwnd).toString()}.json`;
    c.reads = { own: 0, names: [] };
    c.hud.cdp.on('Network.requestWillBeSent', (e) => {
      if (new URL(e.request.url).pathname === own) c.reads.own++;
      c.reads.names = [...c.reads.names.slice(-9), e.request.url];
    });
    await c.hud.cdp.send('Network.enable');
    c.notes = [];
    c.page.on('console', (m) => c.notes.push(`${m.text()} ${m.location()?.url || ''}`));
  }
  const reads = async (c) => c.reads.own;
  const explain = async (c, fn) => {
    try {
      return await fn();
    } catch (err) {
      const names = c.reads.names;
      err.message += `\n${c.symbol}'s page ${c.page.url()}, last requests and console lines:\n  ${[...names, ...c.notes.slice(-10)].join('\n  ')}`;
      throw err;
    }
  };
  // The key and the switch as the HUD's vault and toggle send them; the settings are the
  // workspace's, so one change reaches the HUDs of both charts.
  await hud.post('SECRETS_SET:{"openai":"sk-proj-e2e-roads"}');
  await hud.post('SETTINGS_SET:{"model":"gpt-4o","autotrader":true,"risk_pct":1,"confidence_threshold":85,"max_spread":35}');
  for (const c of charts) {
    await waitFor(async () => (await c.hud.text('#qv-auto-label')) === 'AutoTrader: ON (>=85% Conf)', 60000, 200,
      `the AutoTrader on for ${c.symbol}`);
  }
  // Two reads of its own snapshot after the page learnt its instrument: the loop has seen
  // the current bar, so the next one is a bar close.
  for (const c of charts) {
    const seen = await reads(c);
    await explain(c, () => waitFor(async () => (await reads(c)) >= seen + 2, 60000, 200, `${c.symbol}'s page reading its own snapshot`));
  }

  const automatic = () => executed().filter((r) => /^AT_/.test(r.id));
  const bars = {};
  for (const c of charts) bars[c.symbol] = c.sim.nextBar();
  await waitFor(() => automatic().length >= 2, 180000, 250, 'one automatic order per chart');
  assert.equal(provider.requests.filter((r) => r.method === 'POST').length, 2, 'one evaluation per chart and bar');
  // The wait in which a second page, a second process or a later tick would have sent more.
  await new Promise((r) => setTimeout(r, 8000));
  const orders = automatic();
  assert.equal(orders.length, 2, 'exactly one automatic order per chart');
  for (const c of charts) {
    const mine = orders.filter((r) => r.symbol === c.symbol);
    assert.equal(mine.length, 1, `one order carries ${c.symbol}`);
    assert.match(mine[0].id, new RegExp(`^AT_${c.symbol}_${bars[c.symbol]}_(BUY|SELL)$`));
    assert.ok(mine[0].ticket, `${c.symbol}'s order executed, not refused: ${mine[0].reason}`);
    assert.equal(open().filter((p) => p.ticket === mine[0].ticket && p.symbol === c.symbol).length, 1);
  }
  assert.equal(orders.find((r) => r.symbol === 'XAUUSD').action, 'BUY');
  assert.equal(orders.find((r) => r.symbol === 'EURUSD').action, 'SELL');
  assert.equal(provider.requests.filter((r) => r.method === 'POST').length, 2);
});

// A demo and a live terminal over one common folder: the companion on the EURUSD chart is
// logged in to another account than the XAUUSD chart's. Before, an order clicked on one
// chart filled on whichever account polled first, and the badge flipped between accounts.
test('two accounts with a chart each: every order fills on its own chart\'s account, each badge shows its own, Telegram goes to the chosen one', async () => {
  const LIVE = '7000002';
  const DEMO = '5550001';
  const hwnd2 = BigInt(chart2.hwnd).toString();
  const hwnd1 = BigInt(chart.hwnd).toString();
  advisor2 = await startAdvisor(w, { hwnd: chart2.hwnd, symbol: 'EURUSD', quotes, login: LIVE });
  const chartFile = (h) => path.join(w.bridge, `QV_Chart_${h}.txt`);
  await waitFor(() => fs.existsSync(chartFile(hwnd2)) && fs.readFileSync(chartFile(hwnd2), 'utf8').includes(`ACCOUNT=${LIVE}`),
    20000, 200, 'the live account\'s companion announcing its chart');
  assert.match(fs.readFileSync(chartFile(hwnd1), 'utf8'), new RegExp(`ACCOUNT=${DEMO}`));
  const accountPositions = (login) => {
    try {
      return JSON.parse(fs.readFileSync(path.join(w.bridge, `QV_OpenPositions_${login}.json`), 'utf8'));
    } catch {
      return [];
    }
  };

  // Each chart's own order, on its own account only.
  const demoRuns = advisor.journal.length;
  await hud2.click('#qv-btn-buy');
  await waitFor(() => advisor2.journal.some((r) => r.action === 'BUY' && r.ticket), 20000, 200, 'the live account filling the EURUSD chart\'s BUY');
  const liveBuy = advisor2.journal.find((r) => r.action === 'BUY');
  assert.equal(liveBuy.symbol, 'EURUSD');
  await hud.click('#qv-btn-sell');
  await waitFor(() => advisor.journal.slice(demoRuns).some((r) => r.action === 'SELL' && r.ticket), 20000, 200, 'the demo account filling the XAUUSD chart\'s SELL');
  const demoSell = advisor.journal.slice(demoRuns).find((r) => r.action === 'SELL');
  assert.equal(demoSell.symbol, 'XAUUSD');
  assert.equal(advisor.journal.slice(demoRuns).filter((r) => r.action === 'BUY').length, 0, 'the demo account never took the live chart\'s BUY');
  assert.equal(advisor2.journal.filter((r) => r.action === 'SELL').length, 0, 'the live account never took the demo chart\'s SELL');
  await waitFor(() => accountPositions(LIVE).some((p) => p.ticket === liveBuy.ticket), 10000, 100, 'the live account\'s positions');
  assert.ok(!accountPositions(DEMO).some((p) => p.ticket === liveBuy.ticket));
  assert.ok(accountPositions(DEMO).some((p) => p.ticket === demoSell.ticket));

  // Each chart's badge: the host pushes its own account's file.
  await w.waitForLog(`Positions of chart ${hwnd2} come from QV_OpenPositions_${LIVE}.json`, 20000);
  await w.waitForLog(`Positions of chart ${hwnd1} come from QV_OpenPositions_${DEMO}.json`, 20000);
  const badge = (h) => h.text('#qv-pnl-badge');
  await waitFor(async () => (await badge(hud2)).endsWith(`(${accountPositions(LIVE).length})`), 15000, 200, 'the live chart\'s badge');
  await waitFor(async () => (await badge(hud)).endsWith(`(${accountPositions(DEMO).length})`), 15000, 200, 'the demo chart\'s badge');
  assert.notEqual(accountPositions(LIVE).length, accountPositions(DEMO).length, 'the two badges count different accounts');

  // Telegram: the first account that registered by default, the chosen one once chosen.
  const choice = path.join(w.appdata, 'Quorvale_Workspace_Data', 'order_account.txt');
  assert.match(fs.readFileSync(choice, 'utf8'), new RegExp(`FIRST=${DEMO}`));
  fs.writeFileSync(choice, `CHOSEN=${LIVE}\nFIRST=${DEMO}\n`);
  const liveRuns = advisor2.journal.length;
  const demoBefore = advisor.journal.length;
  telegram.pushUpdate({ message: { from: { id: 77 }, chat: { id: 77 }, date: Math.floor(Date.now() / 1000), text: '/sell EURUSD 0.20' } });
  await waitFor(() => advisor2.journal.slice(liveRuns).some((r) => r.action === 'SELL' && r.ticket), 30000, 200, 'the chosen account filling the Telegram order');
  const remote = advisor2.journal.slice(liveRuns).find((r) => r.action === 'SELL');
  await waitFor(() => telegram.sent.find((m) => String(m.text).includes(`*REMOTE SELL:* EURUSD (0.20) executed, ticket ${remote.ticket}.`)), 15000, 200, 'the reply');
  assert.equal(advisor.journal.length, demoBefore, 'the other account took nothing');
});

// An Evergreen update lands while the charts are open: a WebView of the new version cannot be
// made while the old browser lives, so the daemon restarts the children one at a time; the
// last one to go takes the old browser with it, and every chart comes back on its symbol.
test('a runtime update restarts the children one by one, each back on its symbol', async () => {
  const symbols = [/symbol=OANDA:XAUUSD/, /symbol=[A-Z]*:?EURUSD&/];
  for (const s of symbols) await findPage(browser, s, 10000);
  // A client attached to the browser keeps it alive; a trader's machine has none.
  await browser.close();
  const profile = path.join(w.appdata, 'Quorvale_Workspace_Data/Profile');
  const port = () => fs.readFileSync(path.join(profile, 'DevToolsActivePort'), 'utf8').split('\n')[0];
  const oldPort = port();
  fs.writeFileSync(updateFile, '157.0.8100.1');
  await w.waitForLog('A new WebView2 runtime is installed (children ran 156.0.8078.73); restarting 2 children one by one.', 20000);
  const log = await w.waitForLog('Every child was restarted for the runtime update.', 240000);
  // One at a time: each child was back before the next was asked.
  const steps = log.split(/\r?\n/).filter((l) => /Asking the Quorvale child|asked for a restart\.$/.test(l));
  assert.equal(steps.length, 4, steps.join('\n'));
  steps.forEach((l, i) => assert.match(l, i % 2 === 0 ? /Asking the Quorvale child/ : /asked for a restart\.$/, steps.join('\n')));
  // The old browser ends with the last old child; the new version starts its own.
  await waitFor(() => { try { return port() !== oldPort; } catch { return false; } }, 120000, 200, 'a new browser');
  assert.equal(fs.readFileSync(path.join(profile, 'QvBrowserVersion.txt'), 'utf8'), '157.0.8100.1', 'of the new version');
  browser = await attachBrowser(w);
  for (const s of symbols) await hudOf(await findPage(browser, s, 120000), 60000);
});
