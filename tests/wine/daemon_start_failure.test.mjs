// A child that cannot be created: the daemon logs the system error, stores no record, and
// the next request for the chart starts a child normally.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { freshWine, paths, lineReader } from './lib/wine.mjs';
import { TerminalSim } from '../../testing/terminal-sim/terminal.mjs';

let w;
before(async () => {
  w = await freshWine();
});
after(async () => {
  await w?.close();
});

test('CreateProcessW failure is logged and the request is consumed without a record', async () => {
  // The daemon runs from a copy that is then removed, so starting a child finds no program.
  const dir = path.join(w.root, 'install');
  fs.mkdirSync(dir);
  const copy = path.join(dir, 'QuorvaleWorkspace.exe');
  fs.copyFileSync(paths.exe, copy);
  const emptyRuntime = path.join(w.root, 'no-webview2-runtime');
  fs.mkdirSync(emptyRuntime);
  const daemon = w.spawn(copy, [], { env: { WEBVIEW2_BROWSER_EXECUTABLE_FOLDER: w.toWin(emptyRuntime) } });
  await w.waitForLog('Quorvale Daemon loop active and watching: ', 60000);
  fs.unlinkSync(copy);

  const chart = w.spawn(paths.tool('fake_chart.exe'), ['Failure Chart']);
  const out = lineReader(chart.stdout);
  const hwnd = (await out.next((l) => l.startsWith('HWND '))).slice(5);
  const companion = new TerminalSim(w.bridge);
  const file = companion.writeLaunch({ hwnd, symbol: 'XAUUSD' });
  let log = await w.waitForLog('CreateProcessW failed with error: ');
  assert.match(log, new RegExp(`Daemon launching Quorvale child for HWND: ${hwnd} Mode: WORKSTATION Symbol: OANDA:XAUUSD\\r\\n` +
    `\\[[^\\]]+\\] CreateProcessW failed with error: [1-9]\\d*\\r\\n`));
  assert.equal(fs.existsSync(file), false, 'consumed, not retried');

  // No record was stored: with the program back, the next request starts a child rather
  // than calling the chart's child already active.
  fs.copyFileSync(paths.exe, copy);
  companion.writeLaunch({ hwnd, symbol: 'XAUUSD' });
  log = await w.waitForLog(`Launching Quorvale Chart Overlay for HWND: ${hwnd} Symbol: OANDA:XAUUSD`);
  assert.equal(log.split('already active').length - 1, 0);
  assert.equal(log.split('CreateProcessW failed with error: ').length - 1, 1);
  assert.equal(daemon.exitCode, null);
  chart.stdin.write('dismiss Quorvale Workspace - WebView2 Runtime Required\n');
});
