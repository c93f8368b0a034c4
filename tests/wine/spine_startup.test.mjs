// Start-up and run modes of QuorvaleWorkspace.exe under Wine: role choice, daemon
// single instance, auto-start entry, child start-up checks, crash line.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { freshWine, paths, lineReader, waitFor } from './lib/wine.mjs';

const RUN_KEY = 'HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run';
const BOX_CAPTION = 'Quorvale Workspace - WebView2 Runtime Required';
let w;

before(async () => {
  w = await freshWine();
});
after(async () => {
  await w?.close();
});

async function startFakeChart() {
  const chart = w.spawn(paths.tool('fake_chart.exe'), ['Spine Chart']);
  const out = lineReader(chart.stdout);
  const hwnd = (await out.next((l) => l.startsWith('HWND '))).slice(5);
  const ask = async (command, pred) => {
    const seen = out.lines.length;
    chart.stdin.write(command + '\n');
    return waitFor(() => out.lines.slice(seen).find(pred), 15000, 50, `reply to ${command}`);
  };
  // The box appears a moment after the log line; ask until it is there.
  const waitForWindow = (caption) =>
    waitFor(async () => (await ask(`exists ${caption}`, (l) => l === 'FOUND' || l === 'MISSING')) === 'FOUND',
      30000, 200, `window "${caption}"`);
  return { chart, hwnd, ask, waitForWindow };
}

test('the daemon starts without arguments, registers auto-start and keeps one instance', async () => {
  const daemon = w.spawn(paths.exe, []);
  const log = await w.waitForLog('Quorvale Daemon loop active and watching: ', 60000);
  const lines = log.split('\r\n');
  const order = [
    'Starting Quorvale Workspace Daemon Mode...',
    'Quorvale AutoStart registered in HKCU Run successfully.',
    'Daemon detected missing WebView2 Runtime. Triggering automatic background installer...',
    'Quorvale Daemon loop active and watching: C:\\users\\',
  ].map((text) => lines.findIndex((l) => l.includes(text)));
  assert.ok(order.every((i) => i >= 0), `all start-up lines present:\n${log}`);
  assert.deepEqual([...order].sort((a, b) => a - b), order, 'start-up lines in order');
  assert.match(log, /watching: C:\\users\\[^\r\n]+\\AppData\\Roaming\\MetaQuotes\\Terminal\\Common\\Files\\Quorvale\r\n/);
  assert.ok(fs.statSync(w.bridge).isDirectory(), 'bridge folder created');
  assert.ok(fs.statSync(path.join(w.appdata, 'Quorvale_Workspace_Data')).isDirectory());

  const value = await w.regQuery(RUN_KEY, 'QuorvaleWorkspace');
  assert.match(value, /^"[A-Z]:\\.*QuorvaleWorkspace\.exe"$/i, 'quoted program path, no arguments');

  // A duplicate rewrites the entry before it gives way with exit code 0.
  await w.run('reg', ['delete', RUN_KEY, '/v', 'QuorvaleWorkspace', '/f']);
  assert.equal(await w.regQuery(RUN_KEY, 'QuorvaleWorkspace'), null);
  for (const sw of ['--daemon', '-d']) {
    const second = await w.run(paths.exe, [sw], { timeoutMs: 60000 });
    assert.equal(second.code, 0, `duplicate with ${sw} exits 0`);
  }
  const after2 = await w.readLog();
  assert.equal(after2.split('Daemon instance already active. Exiting duplicate.').length - 1, 2);
  assert.equal(await w.regQuery(RUN_KEY, 'QuorvaleWorkspace'), value);
  assert.equal(daemon.exitCode, null, 'the first daemon is still running');
  daemon.kill('SIGKILL');
});

test('a first argument that is a daemon switch only in another letter case starts a child', async () => {
  for (const arg of ['--Daemon', 'DAEMON', '-D']) {
    const r = await w.run(paths.exe, [arg], { timeoutMs: 60000 });
    assert.equal(r.code, 1, `${arg} exits 1`);
  }
  const log = await w.readLog();
  assert.equal(log.split('Launching Quorvale Chart Overlay for HWND: 0 Symbol: NASDAQ:NDX\r\n').length - 1, 3);
  assert.equal(log.split('Parent window is not valid. Exiting.').length - 1, 3);
});

test('an overlay for a live chart writes its heartbeat, then stops at the missing runtime', async () => {
  const { chart, hwnd, ask, waitForWindow } = await startFakeChart();
  const child = w.spawn(paths.exe, [hwnd, ' gold\r', '60', 'light', 'user', 'headless_vps']);
  await w.waitForLog(`Launching Quorvale Chart Overlay for HWND: ${hwnd} Symbol: OANDA:XAUUSD`, 60000);
  await w.waitForLog('CRITICAL: WebView2 Runtime NOT installed on this machine/VPS! Initiating automatic installation...');
  const heartbeat = fs.readFileSync(path.join(w.bridge, `QV_Active_${hwnd}.txt`), 'latin1');
  assert.match(heartbeat, /^ACTIVE=\d+$/, 'heartbeat body without line end');

  await waitForWindow(BOX_CAPTION);
  assert.equal(child.exitCode, null, 'the child waits for the message box');
  await ask(`dismiss ${BOX_CAPTION}`, (l) => l === 'OK dismiss');
  const code = await waitFor(() => (child.exitCode !== null ? { code: child.exitCode } : null), 30000);
  assert.equal(code.code, 1);
  chart.stdin.write('quit\n');
});

test('a studio child with handle 0 writes no heartbeat and needs no chart window', async () => {
  const before0 = fs.readdirSync(w.bridge).filter((f) => f.startsWith('QV_Active_0'));
  assert.deepEqual(before0, []);
  const { chart, ask, waitForWindow } = await startFakeChart();
  const child = w.spawn(paths.exe, ['0', 'BTCUSDT', 'D', 'dark', 'MQL5_MARKET_EDITION', 'HEADLESS_VPS']);
  await w.waitForLog('Launching Quorvale HEADLESS VPS AGENT for HWND: 0 Symbol: COINBASE:BTCUSD', 60000);
  await w.waitForLog('CRITICAL: WebView2 Runtime NOT installed', 30000, 2);
  await waitForWindow(BOX_CAPTION);
  await ask(`dismiss ${BOX_CAPTION}`, (l) => l === 'OK dismiss');
  await waitFor(() => child.exitCode !== null, 30000);
  assert.equal(child.exitCode, 1);
  assert.equal(fs.existsSync(path.join(w.bridge, 'QV_Active_0.txt')), false);
  const refusals = (await w.readLog()).split('Parent window is not valid. Exiting.').length - 1;
  assert.equal(refusals, 3, 'only the three overlays of the earlier test were refused');
  chart.stdin.write('quit\n');
});

test('odd command-line values never crash a child and are logged as decoded', async () => {
  const odd = ['\u00e9\u4e2d\ud83d\ude00', 'a"b c', '', '\t', 'x'.repeat(5000)];
  const r = await w.run(paths.exe, ['  12abc', ...odd, 'HEADLESS_VPS'], { timeoutMs: 60000 });
  assert.equal(r.code, 1, 'no window 12: overlay exits 1');
  const log = await w.readLog();
  assert.ok(log.includes('Launching Quorvale Chart Overlay for HWND: 12 Symbol: \u00e9\u4e2d\ud83d\ude00\r\n'),
    'handle digits prefix and UTF-8 symbol in the log');
  assert.ok(!log.includes('FATAL CRASH'));
});

test('an access violation leaves exactly one crash line', async () => {
  const r = await w.run(paths.tool('host_probe.exe'), ['crash'], { timeoutMs: 60000 });
  // Wine reports the crashed process's exit code unreliably (sometimes 0), so only its end
  // and the log line are asserted.
  assert.equal(r.timedOut, false);
  const crashes = (await w.readLog()).split('\r\n').filter((l) => l.includes('FATAL CRASH'));
  assert.equal(crashes.length, 1, crashes.join('\n'));
  assert.match(crashes[0], /^\[\w{3} \w{3} [ \d]\d \d\d:\d\d:\d\d \d{4}\] FATAL CRASH \/ EXCEPTION: Code=0xC0000005 Address=[0-9A-F]{16}$/);
});
