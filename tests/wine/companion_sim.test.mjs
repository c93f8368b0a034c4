// The terminal-companion simulator against the bridge-file contract, without Wine: what it
// writes must be what the workspace reads, and trade records must execute exactly once.
import { test, beforeEach, afterEach } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { execFileSync } from 'node:child_process';
import { fileURLToPath } from 'node:url';
import { Companion, parseTradeSignal, parseOrderFile, decodeText, resolveLevel } from '../../testing/companion-sim/companion.mjs';

const cli = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../../testing/companion-sim/companion.mjs');
let bridge;
let c;
beforeEach(() => {
  bridge = fs.mkdtempSync(path.join(os.tmpdir(), 'qv-companion-'));
  c = new Companion(bridge, { symbol: 'XAUUSD', price: 2650 });
});
afterEach(() => fs.rmSync(bridge, { recursive: true, force: true }));

const signal = (text) => fs.writeFileSync(path.join(bridge, 'QV_TradeSignal.csv'), text);
const positions = () => JSON.parse(fs.readFileSync(path.join(bridge, 'QV_OpenPositions.json'), 'utf8'));

test('launch requests: key lines with CRLF in each encoding, written whole under the launch pattern', () => {
  const expected = 'HWND=007\r\nSYMBOL=EURUSD\r\nMODE=HEADLESS_VPS\r\n';
  const heads = { utf8: [], 'utf8-bom': [0xef, 0xbb, 0xbf], utf16le: [], 'utf16le-bom': [0xff, 0xfe] };
  for (const [encoding, head] of Object.entries(heads)) {
    const file = c.writeLaunch({ hwnd: '007', symbol: 'EURUSD', mode: 'HEADLESS_VPS', encoding });
    assert.match(path.basename(file), /^QV_Launch_.*\.txt$/);
    const bytes = fs.readFileSync(file);
    assert.deepEqual([...bytes.subarray(0, head.length)], head, encoding);
    const body = encoding.startsWith('utf16') ? bytes.subarray(head.length).toString('utf16le') : bytes.subarray(head.length).toString('utf8');
    assert.equal(body, expected, encoding);
  }
  // Only requests and nothing else is left in the folder: the temporary names are gone.
  assert.ok(fs.readdirSync(bridge).every((n) => /^QV_Launch_.*\.txt$/.test(n)));
  const only = fs.readFileSync(c.writeLaunch({ hwnd: 5 }), 'utf8');
  assert.equal(only, 'HWND=5\r\n', 'absent keys are not written, so the defaults apply');
});

test('kill and capture requests use the numeric handle and the capture keys', () => {
  assert.equal(path.basename(c.writeKill('007')), 'QV_Kill_7.txt');
  const file = c.writeCapture({ ticket: '100001', symbol: 'XAUUSD', action: 'BUY', url: 'http://127.0.0.1:9/x' });
  assert.match(path.basename(file), /^QV_Capture_Request_.*\.txt$/);
  assert.equal(fs.readFileSync(file, 'utf8'),
    'TICKET=100001\r\nSYMBOL=XAUUSD\r\nACTION=BUY\r\nUSER_ID=MQL5_MARKET_EDITION\r\nACCOUNT_NUM=5001234\r\nFIREBASE_URL=http://127.0.0.1:9/x\r\n');
});

test('the snapshot carries every member the page reads and a new BarTime exactly per bar', () => {
  c.writeSnapshot();
  const first = JSON.parse(fs.readFileSync(path.join(bridge, 'QV_AICopilotData.json'), 'utf8'));
  for (const key of ['Symbol', 'CurrentPrice', 'Timeframe', 'D1_High', 'D1_Low', 'H4_High', 'H4_Low', 'Range20_High',
    'Range20_Low', 'ATR_14', 'CurrentSpreadPts', 'CurrentHourUTC', 'ATR_Volatility', 'SwingHigh_Resistance',
    'SwingLow_Support', 'MTF_Resistance_D1', 'MTF_Support_D1', 'DayOfWeek', 'MarketClosed', 'MarketCloseReason',
    'MarketState', 'BarTime', 'BarTimeStr', 'PeriodStr']) {
    assert.ok(key in first, key);
  }
  assert.equal(typeof first.MarketClosed, 'boolean');
  assert.equal(first.BarTimeStr, '2026.12.07 09:00');
  c.tick();
  const sameBar = JSON.parse(fs.readFileSync(path.join(bridge, 'QV_AICopilotData.json'), 'utf8'));
  assert.equal(sameBar.BarTime, first.BarTime, 'a price move inside the bar keeps BarTime');
  c.nextBar();
  const next = JSON.parse(fs.readFileSync(path.join(bridge, 'QV_AICopilotData.json'), 'utf8'));
  assert.equal(next.BarTime, first.BarTime + 3600);
  assert.equal(next.BarTimeStr, '2026.12.07 10:00');
});

test('with a quote folder the paper account follows the snapshot: its price is the bid, the ask the spread above', () => {
  const quotes = path.join(bridge, 'quotes');
  const q = new Companion(bridge, { symbol: 'XAUUSD', price: 2650.5, spreadPts: 18, executeOrders: false, quoteDir: quotes });
  const read = () => fs.readFileSync(path.join(quotes, 'XAUUSD.txt'), 'utf8');
  assert.equal(read(), '2650.5 2650.68\n');
  for (const move of [() => q.tick(), () => q.nextBar()]) {
    move();
    const snap = JSON.parse(fs.readFileSync(path.join(bridge, 'QV_AICopilotData.json'), 'utf8'));
    const [bid, ask] = read().trim().split(' ').map(Number);
    assert.equal(bid, snap.CurrentPrice);
    assert.equal(Math.round((ask - bid) * 100), 18);
  }
  assert.deepEqual(fs.readdirSync(quotes), ['XAUUSD.txt'], 'no temporary file left');
});

test('trade records: six fields, empty stops kept, a record still being written is not taken', () => {
  assert.deepEqual(parseTradeSignal('171,SELL,0.20,XAUUSD,,0'),
    { id: '171', action: 'SELL', size: '0.20', symbol: 'XAUUSD', sl: '', tp: '0' });
  assert.deepEqual(parseTradeSignal('171,SELL,R:1.5,EURUSD,1.0850,1.0790'),
    { id: '171', action: 'SELL', size: 'R:1.5', symbol: 'EURUSD', sl: '1.0850', tp: '1.0790' });
  assert.equal(parseTradeSignal(''), null);
  assert.equal(decodeText(Buffer.from([0xff, 0xfe, 0x41, 0x00])), 'A');
  // Caught between the truncation and the write: the id must not be spent on a fragment.
  signal('1733,BU');
  assert.equal(c.pollTradeSignal(), null);
  signal('1733,BUY,0.10,XAUUSD,0,0');
  assert.deepEqual(c.pollTradeSignal().opened.length, 1);
});

test('each record id executes once, however often the file is read', () => {
  signal('1001,BUY,0.10,XAUUSD,0,0');
  assert.equal(c.pollTradeSignal().opened.length, 1);
  assert.equal(c.pollTradeSignal(), null);
  assert.equal(c.pollTradeSignal(), null);
  // The same id rewritten (the file is replaced by every order) still is not executed again.
  signal('1001,BUY,0.10,XAUUSD,0,0');
  assert.equal(c.pollTradeSignal(), null);
  assert.equal(positions().length, 1);
  signal('1002,SELL,0.30,XAUUSD,0,0');
  c.pollTradeSignal();
  assert.deepEqual(positions().map((p) => [p.type, p.volume]), [['BUY', 0.1], ['SELL', 0.3]]);
  // A companion starting up treats the record already in the file as done.
  const later = new Companion(bridge, { symbol: 'XAUUSD', price: 2650 });
  later.skipCurrentSignal();
  assert.equal(later.pollTradeSignal(), null);
});

test('paper positions: close 50%, break-even, reverse and close, with the file rewritten each time', () => {
  signal('1,BUY,0.50,XAUUSD,0,0');
  c.pollTradeSignal();
  signal('2,BUY,0.20,EURUSD,0,0');
  c.pollTradeSignal();
  c.setPrice('XAUUSD', 2660);
  signal('3,CLOSE_50,0.10,XAUUSD,0,0');
  c.pollTradeSignal();
  let gold = positions().find((p) => p.symbol === 'XAUUSD');
  assert.equal(gold.volume, 0.25);
  assert.equal(gold.profit, 250, '10 dollars × 0.25 lot × 100 oz');
  assert.equal(typeof gold.ticket, 'string');

  signal('4,BE_PLUS,0.10,CURRENT,0,0');  // CURRENT is this chart's symbol
  c.pollTradeSignal();
  gold = positions().find((p) => p.symbol === 'XAUUSD');
  assert.equal(gold.sl, 2650.2, 'entry + 2 pips of 0.1');
  assert.equal(positions().find((p) => p.symbol === 'EURUSD').sl, 0, 'other symbols untouched');

  signal('5,REVERSE,0.10,XAUUSD,0,0');
  const reversed = c.pollTradeSignal();
  assert.equal(reversed.closed[0], gold.ticket);
  gold = positions().find((p) => p.symbol === 'XAUUSD');
  assert.equal(gold.type, 'SELL');
  assert.equal(gold.volume, 0.25);

  signal('6,CLOSE,0.10,XAUUSD,0,0');
  c.pollTradeSignal();
  assert.deepEqual(positions().map((p) => p.symbol), ['EURUSD']);
  signal('7,CLOSE,0.10,ALL,0,0');
  c.pollTradeSignal();
  assert.deepEqual(positions(), []);
});

test('stops and targets: a price, a pip distance or none', () => {
  assert.equal(resolveLevel('2640', { side: 'BUY', entry: 2650, symbol: 'XAUUSD', kind: 'sl' }), 2640);
  assert.equal(resolveLevel('20', { side: 'BUY', entry: 2650, symbol: 'XAUUSD', kind: 'sl' }), 2648);
  assert.equal(resolveLevel('40', { side: 'SELL', entry: 1.085, symbol: 'EURUSD', kind: 'tp' }), 1.081);
  assert.equal(resolveLevel('0', { side: 'BUY', entry: 2650, symbol: 'XAUUSD', kind: 'tp' }), 0);
  assert.equal(resolveLevel('', { side: 'BUY', entry: 2650, symbol: 'XAUUSD', kind: 'tp' }), 0);
  // A risk size turns into lots from the stop distance: 1 % of 10000 over 10 dollars × 100 oz.
  signal('9,BUY,R:1.0,XAUUSD,2640,0');
  c.pollTradeSignal();
  assert.equal(positions()[0].volume, 0.1);
});

test('a fill drops a capture request when asked to, and unknown actions change nothing', () => {
  const cap = new Companion(bridge, { symbol: 'XAUUSD', price: 2650, captureOnFill: true });
  signal('11,SELL,0.10,XAUUSD,0,0');
  const r = cap.pollTradeSignal();
  const request = fs.readdirSync(bridge).find((n) => n.startsWith('QV_Capture_Request_'));
  assert.ok(request);
  assert.match(fs.readFileSync(path.join(bridge, request), 'utf8'), new RegExp(`^TICKET=${r.opened[0]}\r\nSYMBOL=XAUUSD\r\nACTION=SELL\r\n`));
  signal('12,HOLD,0.10,XAUUSD,0,0');
  assert.match(cap.pollTradeSignal().rejected, /unknown action/);
  assert.equal(positions().length, 1);
});

test('heartbeats and the command line', () => {
  fs.writeFileSync(path.join(bridge, 'QV_Active_999999999.txt'), 'ACTIVE=123456');
  fs.writeFileSync(path.join(bridge, 'QV_Active_5678.txt'), 'ACTIVE=99');
  fs.writeFileSync(path.join(bridge, 'QV_Active_junk.txt'), 'ACTIVE=1');
  assert.deepEqual(Object.fromEntries(Object.entries(c.readHeartbeats()).map(([k, v]) => [k, v.tick])),
    { 999999999: 123456, 5678: 99 });
  const out = execFileSync(process.execPath, [cli, bridge, 'launch', '--hwnd', '42', '--mode', 'HEADLESS_VPS'], { encoding: 'utf8' });
  assert.equal(fs.readFileSync(out.trim(), 'utf8'), 'HWND=42\r\nMODE=HEADLESS_VPS\r\n');
  const beats = JSON.parse(execFileSync(process.execPath, [cli, bridge, 'heartbeats'], { encoding: 'utf8' }));
  assert.equal(beats['999999999'].tick, 123456);
});

const orderFile = (id, record, { ageMs = 0 } = {}) => {
  const file = path.join(bridge, `QV_Order_${id}.csv`);
  fs.writeFileSync(file, record + '\n');
  if (ageMs) fs.utimesSync(file, new Date(Date.now() - ageMs), new Date(Date.now() - ageMs));
};
const announce = () => fs.writeFileSync(path.join(bridge, 'QV_Protocol.txt'), 'ORDER_FILES=1');
const result = (id) => fs.readFileSync(path.join(bridge, `QV_TradeResult_${id}.txt`), 'utf8');

test('order files: claimed by rename, executed once each in id order, a whole result each', () => {
  announce();
  signal('5,SELL,0.10,XAUUSD,0,0');
  orderFile('1765000000002', '1765000000002,SELL,0.20,XAUUSD,0,0');
  orderFile('1765000000001', '1765000000001,BUY,0.10,XAUUSD,20,40');
  orderFile('1765000000003', '1765000000003,BUY,0.10,XAUUSD,0,0');
  const done = c.pollOrders();
  assert.deepEqual(done.map((r) => r.id), ['1765000000001', '1765000000002', '1765000000003']);
  assert.ok(!c.executed.has('5'), 'with order files announced the signal file is not read');
  assert.equal(result('1765000000001'), 'ID=1765000000001\r\nSTATUS=EXECUTED\r\nTICKET=100001\r\nPRICE=2650\r\nVOLUME=0.1\r\nEND=1\r\n');
  assert.match(result('1765000000003'), /^ID=1765000000003\r\nSTATUS=EXECUTED\r\nTICKET=100003\r\n/);
  assert.deepEqual(fs.readdirSync(bridge).filter((n) => /^QV_Order/.test(n)), [], 'order and taken files are gone');
  // The same id again (a second copy written by mistake) is claimed but not run again.
  orderFile('1765000000001', '1765000000001,BUY,0.10,XAUUSD,20,40');
  assert.deepEqual(c.pollOrders(), []);
  assert.equal(positions().length, 3);
});

test('order files: a stale one expires, a half one is refused, reject mode and legacy mode', () => {
  announce();
  orderFile('7', '7,BUY,0.10,XAUUSD,0,0', { ageMs: 61000 });
  fs.writeFileSync(path.join(bridge, 'QV_Order_8.csv'), '8,BUY,0.10,XAUUSD,0,4');
  assert.deepEqual(c.pollOrders(), []);
  assert.match(result('7'), /STATUS=REJECTED\r\nREASON=expired\r\nEND=1\r\n$/);
  assert.match(result('8'), /STATUS=REJECTED\r\nREASON=unreadable order\r\n/);
  for (let n = 0; n < 20; n++) assert.equal(parseOrderFile('9,BUY,0.10,XAUUSD,20,40\n'.slice(0, n), '9'), null, n);

  const refusing = new Companion(bridge, { rejectReason: 'Not enough money' });
  orderFile('10', '10,BUY,0.10,XAUUSD,0,0');
  assert.deepEqual(refusing.pollOrders(), []);
  assert.equal(result('10'), 'ID=10\r\nSTATUS=REJECTED\r\nREASON=Not enough money\r\nEND=1\r\n');
  assert.equal(refusing.positions.length, 0);

  const legacy = new Companion(bridge, { legacy: true });
  orderFile('11', '11,BUY,0.10,XAUUSD,0,0');
  signal('11,BUY,0.10,XAUUSD,0,0');
  assert.deepEqual(legacy.pollOrders().map((r) => r.id), ['11']);
  assert.ok(fs.existsSync(path.join(bridge, 'QV_Order_11.csv')), 'a first-version companion leaves order files alone');
  assert.ok(!fs.existsSync(path.join(bridge, 'QV_TradeResult_11.txt')), 'and writes no result');
});
