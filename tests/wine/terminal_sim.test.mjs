// The terminal's side of the bridge folder against the bridge-file contract, without Wine:
// what it writes must be what the workspace reads.
import { test, beforeEach, afterEach } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { execFileSync } from 'node:child_process';
import { fileURLToPath } from 'node:url';
import { TerminalSim } from '../../testing/terminal-sim/terminal.mjs';

const cli = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../../testing/terminal-sim/terminal.mjs');
let bridge;
let c;
beforeEach(() => {
  bridge = fs.mkdtempSync(path.join(os.tmpdir(), 'qv-terminal-'));
  c = new TerminalSim(bridge, { symbol: 'XAUUSD', price: 2650 });
});
afterEach(() => fs.rmSync(bridge, { recursive: true, force: true }));

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

test('with a quote folder the advisor\'s paper server follows the snapshot: its price is the bid, the ask the spread above', () => {
  const quotes = path.join(bridge, 'quotes');
  const q = new TerminalSim(bridge, { symbol: 'XAUUSD', price: 2650.5, spreadPts: 18, quoteDir: quotes });
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
