// The daemon under Wine, driven through the bridge folder the way the terminal companion
// drives it: launch requests in, children out, heartbeats and log lines observed. The
// WebView2 runtime is made to count as missing, so every chart child stops at its runtime
// message box (alive until the box is dismissed) and then exits 1.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { freshWine, paths, lineReader, waitFor } from './lib/wine.mjs';
import { TerminalSim } from '../../testing/terminal-sim/terminal.mjs';

const BOX_CAPTION = 'Quorvale Workspace - WebView2 Runtime Required';
let w;
let companion;
let daemon;

before(async () => {
  w = await freshWine();
  const emptyRuntime = path.join(w.root, 'no-webview2-runtime');
  fs.mkdirSync(emptyRuntime);
  // Temporary files a crashed capture, chart picture or COT refresh left behind (their
  // writer, process 4000000, runs no more) beside files of the same look that are not ours.
  fs.mkdirSync(w.bridge, { recursive: true });
  for (const n of [...LEFTOVERS, ...NOT_LEFTOVERS]) fs.writeFileSync(path.join(w.bridge, n), 'x');
  // Children inherit the daemon's environment, so they see the runtime missing too.
  daemon = w.spawn(paths.exe, [], { env: { WEBVIEW2_BROWSER_EXECUTABLE_FOLDER: w.toWin(emptyRuntime) } });
  await w.waitForLog('Quorvale Daemon loop active and watching: ', 60000);
  companion = new TerminalSim(w.bridge);
});
after(async () => {
  await w?.close();
});

const LEFTOVERS = ['temp_capture_81234_4000000_1.png', 'temp_chart_4000000_3.png',
  '~QV_COTData.json.4000000_12_1.tmp', '~QV_AICopilotChart_65552.png.4000000_12_2.tmp'];
const NOT_LEFTOVERS = ['temp_capture_notes.png', '~QV_Order_5.csv.4000000_1_1.tmp', 'QV_COTData.json'];
const count = (log, text) => log.split(text).length - 1;
const exists = (name) => fs.existsSync(path.join(w.bridge, name));
const launchFiles = () => fs.readdirSync(w.bridge).filter((n) => n.startsWith('QV_Launch_'));

async function startFakeChart(title) {
  const chart = w.spawn(paths.tool('fake_chart.exe'), [title]);
  const out = lineReader(chart.stdout);
  const hwnd = (await out.next((l) => l.startsWith('HWND '))).slice(5);
  const ask = async (command, pred = (l) => l.startsWith('OK') || l === 'MISSING' || l === 'FOUND') => {
    const seen = out.lines.length;
    chart.stdin.write(command + '\n');
    return waitFor(() => out.lines.slice(seen).find(pred), 15000, 50, `reply to ${command}`);
  };
  return { chart, hwnd, ask };
}

// The arguments (or the process ids) of every running child whose first argument is the
// given one, as Wine split its command line; found among this prefix's processes.
function childArgvs(firstArgument, withPid = false) {
  const found = [];
  for (const pid of fs.readdirSync('/proc').filter((p) => /^\d+$/.test(p))) {
    try {
      const environ = fs.readFileSync(`/proc/${pid}/environ`, 'latin1');
      if (!environ.includes(`WINEPREFIX=${w.prefix}\0`)) continue;
      const argv = fs.readFileSync(`/proc/${pid}/cmdline`, 'utf8').split('\0');
      // Wine rewrites the argument area in place and pads it with NULs.
      while (argv.length && argv[argv.length - 1] === '') argv.pop();
      if (/QuorvaleWorkspace\.exe$/i.test(argv[0] ?? '') && argv[1] === firstArgument) found.push(withPid ? Number(pid) : argv.slice(1));
    } catch {
      // The process ended while we looked.
    }
  }
  return found;
}
const childArgv = (firstArgument) => childArgvs(firstArgument)[0] ?? null;
// The Linux process id of that child (its Wine process).
const childPid = (firstArgument) => childArgvs(firstArgument, true)[0] ?? null;

// Dismisses one runtime message box and waits until it has gone.
async function dismissBox(ask) {
  await waitFor(async () => (await ask(`exists ${BOX_CAPTION}`)) === 'FOUND', 20000, 200, 'the runtime box');
  await ask(`dismiss ${BOX_CAPTION}`);
}

test('the first pass writes the daemon heartbeat and the count line', async () => {
  const log = await w.waitForLog('Quorvale Daemon watcher heartbeat alive (active children: 0)\r\n');
  assert.ok(log.indexOf('loop active and watching') < log.indexOf('heartbeat alive'));
  const beats = companion.readHeartbeats();
  assert.ok(beats['999999999'], 'QV_Active_999999999.txt present');
  assert.match(fs.readFileSync(path.join(w.bridge, 'QV_Active_999999999.txt'), 'latin1'), /^ACTIVE=\d+$/);
  // The start-up sweep took only our own temporary files of ended writers, and said so.
  assert.ok(log.includes('Start-up sweep: removed 4 temporary capture/COT file(s) left by ended processes.'));
  for (const n of LEFTOVERS) assert.equal(exists(n), false, n);
  for (const n of NOT_LEFTOVERS) assert.equal(exists(n), true, n);
});

test('a chart request starts one child; repeats only log "already active" or navigate', async () => {
  const { hwnd, ask } = await startFakeChart('Chart A');
  // A kill request left from an earlier child must be gone before the new one starts.
  fs.writeFileSync(path.join(w.bridge, `QV_Kill_${hwnd}.txt`), 'stale');
  companion.writeLaunch({ hwnd, symbol: 'gold' });
  await w.waitForLog(`Daemon launching Quorvale child for HWND: ${hwnd} Mode: WORKSTATION Symbol: OANDA:XAUUSD\r\n`);
  await w.waitForLog(`Launching Quorvale Chart Overlay for HWND: ${hwnd} Symbol: OANDA:XAUUSD\r\n`);
  await w.waitForLog('CRITICAL: WebView2 Runtime NOT installed');
  assert.deepEqual(launchFiles(), [], 'the request is consumed');
  assert.equal(exists(`QV_Kill_${hwnd}.txt`), false, 'stale kill request deleted');
  assert.deepEqual(childArgv(hwnd), [hwnd, 'OANDA:XAUUSD', 'D', 'dark', 'MQL5_MARKET_EDITION', 'WORKSTATION']);

  const active = `Quorvale child already active in mode WORKSTATION for HWND: ${hwnd}, brought to focus.`;
  companion.writeLaunch({ hwnd, symbol: 'XAUUSD' });
  companion.writeLaunch({ hwnd, symbol: 'XAUUSD' });
  await w.waitForLog(active, 20000, 2);
  assert.equal(exists(`QV_Nav_${hwnd}.txt`), false, 'same mapped symbol: no navigation');

  companion.writeLaunch({ hwnd, symbol: 'BTCUSD' });
  await w.waitForLog(active, 20000, 3);
  assert.equal(fs.readFileSync(path.join(w.bridge, `QV_Nav_${hwnd}.txt`), 'latin1'), 'COINBASE:BTCUSD');
  fs.unlinkSync(path.join(w.bridge, `QV_Nav_${hwnd}.txt`));
  companion.writeLaunch({ hwnd, symbol: 'BTCUSD' });
  await w.waitForLog(active, 20000, 4);
  assert.equal(exists(`QV_Nav_${hwnd}.txt`), false, 'the table remembers the new symbol');

  let log = await w.readLog();
  assert.equal(count(log, `Launching Quorvale Chart Overlay for HWND: ${hwnd} `), 1, 'never a second process');
  await w.waitForLog('(active children: 1)', 25000);

  // The child exits (box dismissed, exit code 1) and drops out of the next count.
  await dismissBox(ask);
  await waitFor(() => childArgv(hwnd) === null, 20000, 200, 'the child to end');
  const before = count(await w.readLog(), 'heartbeat alive');
  log = await waitFor(async () => {
    const text = await w.readLog();
    return count(text, 'heartbeat alive') > before ? text : false;
  }, 25000, 250, 'the next heartbeat');
  assert.match(log.split('\r\n').filter((l) => l.includes('heartbeat alive')).pop(), /\(active children: 0\)$/);

  // A later request for the chart starts a fresh child.
  companion.writeLaunch({ hwnd, symbol: 'XAUUSD' });
  await w.waitForLog(`Launching Quorvale Chart Overlay for HWND: ${hwnd} `, 20000, 2);
  await dismissBox(ask);
});

test('a mode change restarts the child; a studio without its window is relaunched', async () => {
  const { hwnd, ask } = await startFakeChart('Chart B');
  companion.writeLaunch({ hwnd, symbol: 'EURUSD' });
  await w.waitForLog(`Launching Quorvale Chart Overlay for HWND: ${hwnd} Symbol: EURUSD`);
  companion.writeLaunch({ hwnd, symbol: 'EURUSD', mode: 'HEADLESS_VPS' });
  await w.waitForLog(`Quorvale child mode changed for HWND: ${hwnd} from WORKSTATION to HEADLESS_VPS. Restarting child process...`);
  await w.waitForLog(`Launching Quorvale HEADLESS VPS AGENT for HWND: ${hwnd} Symbol: EURUSD`);
  await waitFor(() => childArgv(hwnd)?.[5] === 'HEADLESS_VPS', 20000, 200, 'the studio child');
  // The studio child is stopped at its runtime box and has no studio window to raise.
  companion.writeLaunch({ hwnd, symbol: 'EURUSD', mode: 'HEADLESS_VPS' });
  await w.waitForLog('Quorvale AI Studio window not found despite active process. Relaunching child...');
  await w.waitForLog(`Launching Quorvale HEADLESS VPS AGENT for HWND: ${hwnd} Symbol: EURUSD`, 20000, 2);
  assert.equal(exists('QV_EvalRequest.txt'), false, 'no evaluation asked of a missing studio');
  const log = await w.readLog();
  assert.equal(count(log, 'Quorvale AI Studio brought to foreground.'), 0);
  // Only one child for the chart remains: the terminated ones are gone.
  await waitFor(() => childArgvs(hwnd).length === 1, 20000, 200, 'one child for the chart');
  await dismissBox(ask);
});

test('handle digits 007 reach the child as written while file names use the number', async () => {
  const { hwnd, ask } = await startFakeChart('Chart C');
  const digits = `00${hwnd}`;
  fs.writeFileSync(path.join(w.bridge, `QV_Kill_${hwnd}.txt`), 'stale');
  companion.writeLaunch({ hwnd: digits, symbol: 'XAGUSD' });
  await w.waitForLog(`Daemon launching Quorvale child for HWND: ${digits} Mode: WORKSTATION Symbol: OANDA:XAGUSD`);
  // The child reads the leading zeros away itself.
  await w.waitForLog(`Launching Quorvale Chart Overlay for HWND: ${hwnd} Symbol: OANDA:XAGUSD`);
  assert.equal(childArgv(digits)?.[0], digits);
  assert.equal(exists(`QV_Kill_${hwnd}.txt`), false);
  assert.ok(exists(`QV_Active_${hwnd}.txt`), 'the child heartbeat names the number');
  // The same chart written without zeros is the same table entry.
  companion.writeLaunch({ hwnd, symbol: 'XAGUSD' });
  await w.waitForLog(`Quorvale child already active in mode WORKSTATION for HWND: ${hwnd}, brought to focus.`);
  await dismissBox(ask);
});

test('a fast series of symbol changes for one chart always ends on the last symbol', async () => {
  const { hwnd, ask } = await startFakeChart('Chart F');
  const nav = path.join(w.bridge, `QV_Nav_${hwnd}.txt`);
  companion.writeLaunch({ hwnd, symbol: 'EURUSD' });
  await w.waitForLog(`Launching Quorvale Chart Overlay for HWND: ${hwnd} Symbol: EURUSD\r\n`);
  const active = `Quorvale child already active in mode WORKSTATION for HWND: ${hwnd}, brought to focus.`;
  const seen = count(await w.readLog(), active);
  // The companion's way: one request file per chart, replaced whole at every change, as fast
  // as the terminal re-initialises the advisor.
  const series = ['GBPUSD', 'XAUUSD', 'USDJPY', 'BTCUSD', 'XAGUSD', 'AUDUSD'];
  for (const symbol of series) {
    companion.writeLaunch({ hwnd, symbol, name: `QV_Launch_${hwnd}.txt` });
    await new Promise((r) => setTimeout(r, 15));
  }
  // Then a burst of requests under names of their own, all waiting in one pass: the one
  // written last is the chart's symbol.
  for (const symbol of ['NZDUSD', 'USDCAD', 'EURGBP']) {
    companion.writeLaunch({ hwnd, symbol });
    await new Promise((r) => setTimeout(r, 5));
  }
  await waitFor(() => launchFiles().length === 0, 20000, 50, 'every request consumed');
  assert.equal(fs.readFileSync(nav, 'latin1'), 'EURGBP', 'the navigation names the last symbol');
  // The daemon's table ends on it too: asking for it again navigates nowhere.
  fs.unlinkSync(nav);
  const before = count(await w.readLog(), active);
  assert.ok(before > seen);
  companion.writeLaunch({ hwnd, symbol: 'EURGBP', name: `QV_Launch_${hwnd}.txt` });
  await w.waitForLog(active, 20000, before + 1);
  assert.equal(fs.existsSync(nav), false);
  await dismissBox(ask);
});

test('a child killed without its clean shutdown leaves no heartbeat after the daemon\'s next pass', async () => {
  const { hwnd } = await startFakeChart('Chart K');
  companion.writeLaunch({ hwnd, symbol: 'EURUSD' });
  await waitFor(() => exists(`QV_Active_${hwnd}.txt`), 30000, 100, 'the child heartbeat');
  const pid = await waitFor(() => childPid(hwnd), 10000, 100, 'the child process');
  // No code of the child runs: the heartbeat stays unless the daemon removes it.
  process.kill(pid, 'SIGKILL');
  await waitFor(() => childArgv(hwnd) === null, 10000, 100, 'the child to end');
  await waitFor(() => !exists(`QV_Active_${hwnd}.txt`), 10000, 100, 'the heartbeat of the dead child removed');
});

test('values with blanks, quotes and backslashes reach the child unchanged and add no argument', async () => {
  const { hwnd, ask } = await startFakeChart('Chart D');
  // Bare on the command line, this symbol would have made the child a studio.
  const symbol = 'My "odd" \\sym\\ 1 2 3 HEADLESS_VPS';
  companion.writeLaunch({ hwnd, symbol, theme: 'dark blue', userId: 'trader "x"\\' });
  await w.waitForLog(`Launching Quorvale Chart Overlay for HWND: ${hwnd} Symbol: ${symbol}\r\n`);
  assert.deepEqual(childArgv(hwnd), [hwnd, symbol, 'D', 'dark blue', 'trader "x"\\', 'WORKSTATION']);
  const log = await w.readLog();
  assert.equal(count(log, `Launching Quorvale HEADLESS VPS AGENT for HWND: ${hwnd}`), 0);
  await dismissBox(ask);
});

test('a request for a closed chart is consumed with its line', async () => {
  const { hwnd, ask } = await startFakeChart('Chart E');
  await ask('close');
  await waitFor(async () => (await ask(`exists Chart E`).catch(() => 'MISSING')) === 'MISSING', 10000, 100, 'chart closed').catch(() => {});
  const file = companion.writeLaunch({ hwnd, symbol: 'XAUUSD' });
  await w.waitForLog(`Ignoring launch request for non-existent HWND: ${hwnd}\r\n`);
  assert.equal(fs.existsSync(file), false);
  assert.equal(count(await w.readLog(), `Daemon launching Quorvale child for HWND: ${hwnd} `), 0);
});

test('garbage, binary, UTF-16 and half-written launch files', async () => {
  const bogus = '4242424242';
  // Binary bytes and text without a handle: consumed without a line.
  companion.writeFile('QV_Launch_binary.txt', Buffer.from([0x00, 0xff, 0xfe, 0x13, 0x80, 0x3d, 0x0a, 0x00, 0x48]));
  companion.writeFile('QV_Launch_garbage.txt', Buffer.from('SYMBOL=EURUSD\r\n HWND=5\r\nhwnd=6\r\nHWND\r\n'));
  // An empty file is one the companion is still creating: it must wait for its bytes.
  const pending = path.join(w.bridge, 'QV_Launch_pending.txt');
  fs.writeFileSync(pending, '');
  // UTF-16 with a mark parses like UTF-8; the line proves the handle was read.
  companion.writeLaunch({ hwnd: bogus, encoding: 'utf16le-bom' });
  await w.waitForLog(`Ignoring launch request for non-existent HWND: ${bogus}\r\n`);
  await waitFor(() => !exists('QV_Launch_binary.txt') && !exists('QV_Launch_garbage.txt'), 5000, 100, 'garbage consumed');
  assert.ok(fs.existsSync(pending), 'the empty request is left for a later pass');
  // Files beside the pattern are not requests.
  fs.writeFileSync(path.join(w.bridge, 'QV_Launch_x.txt.part'), `HWND=${bogus}1`);

  // Several passes later the empty file is still there; once written, it is acted on.
  companion.writeLaunch({ hwnd: `${bogus}2` });
  await w.waitForLog(`Ignoring launch request for non-existent HWND: ${bogus}2\r\n`);
  assert.ok(fs.existsSync(pending));
  fs.writeFileSync(pending, `HWND=${bogus}3\r\n`);
  await w.waitForLog(`Ignoring launch request for non-existent HWND: ${bogus}3\r\n`);
  assert.equal(fs.existsSync(pending), false);

  // A request cut off mid-write is acted on as far as it goes: here the digits so far.
  companion.writeFile('QV_Launch_cut.txt', Buffer.from(`SYMBOL=EURUSD\r\nHWND=${bogus}4`), { atomic: false });
  await w.waitForLog(`Ignoring launch request for non-existent HWND: ${bogus}4\r\n`);

  const log = await w.readLog();
  assert.equal(count(log, `HWND: ${bogus}1`), 0, 'the .part file is no request');
  assert.ok(exists('QV_Launch_x.txt.part'));
  for (const h of ['5', '6']) assert.equal(count(log, `non-existent HWND: ${h}\r\n`), 0, `key ${h} must not match`);
  assert.equal(daemon.exitCode, null, 'the daemon survived it all');
});

test('a request that cannot be deleted is not obeyed on every pass', async () => {
  const bogus = '5151515151';
  const file = companion.writeLaunch({ hwnd: bogus, name: 'QV_Launch_readonly.txt' });
  fs.chmodSync(file, 0o444);  // Wine reports a file without write bits as read-only
  await w.waitForLog('Launch request QV_Launch_readonly.txt could not be deleted (error ');
  // Many passes later: still one line, and the request was never acted on.
  companion.writeLaunch({ hwnd: `${bogus}9` });
  await w.waitForLog(`Ignoring launch request for non-existent HWND: ${bogus}9\r\n`);
  await new Promise((r) => setTimeout(r, 1000));
  let log = await w.readLog();
  assert.equal(count(log, 'QV_Launch_readonly.txt could not be deleted'), 1);
  assert.equal(count(log, `non-existent HWND: ${bogus}\r\n`), 0);
  // Once it can be consumed it is handled, once.
  fs.chmodSync(file, 0o644);
  log = await w.waitForLog(`Ignoring launch request for non-existent HWND: ${bogus}\r\n`);
  assert.equal(fs.existsSync(file), false);
  await new Promise((r) => setTimeout(r, 500));
  assert.equal(count(await w.readLog(), `non-existent HWND: ${bogus}\r\n`), 1);
});

test('a studio request while the studio runs raises its window and asks for an evaluation', async () => {
  // The studio child itself stops at its runtime box; the window to raise is a stand-in of
  // the workspace's class, behind an owned pop-up of the same class that must be passed over.
  const studio = w.spawn(paths.tool('fake_studio.exe'), []);
  const out = lineReader(studio.stdout);
  await out.next((l) => l.startsWith('HWND '));
  const ask = async (command) => {
    const seen = out.lines.length;
    studio.stdin.write(command + '\n');
    return waitFor(() => out.lines.slice(seen).find((l) => /^(OK|STATE)/.test(l)), 15000, 50, command);
  };
  companion.writeLaunch({ hwnd: 0, symbol: 'XAUUSD', mode: 'HEADLESS_VPS' });
  await w.waitForLog('Launching Quorvale HEADLESS VPS AGENT for HWND: 0 Symbol: OANDA:XAUUSD');

  const raised = 'Quorvale AI Studio brought to foreground.';
  await ask('hide');
  assert.equal(await ask('state'), 'STATE hidden normal');
  companion.writeLaunch({ hwnd: 0, symbol: 'XAUUSD', mode: 'HEADLESS_VPS' });
  await w.waitForLog(raised);
  assert.equal(fs.readFileSync(path.join(w.bridge, 'QV_EvalRequest.txt'), 'latin1'), 'EVAL');
  assert.equal(await ask('state'), 'STATE visible normal');

  fs.unlinkSync(path.join(w.bridge, 'QV_EvalRequest.txt'));
  await ask('minimize');
  companion.writeLaunch({ hwnd: 0, symbol: 'BTCUSD', mode: 'HEADLESS_VPS' });
  await w.waitForLog(raised, 20000, 2);
  assert.equal(await ask('state'), 'STATE visible normal', 'restored from the task bar');
  assert.equal(fs.readFileSync(path.join(w.bridge, 'QV_EvalRequest.txt'), 'latin1'), 'EVAL');
  // A new symbol also goes to the studio as a navigation request.
  assert.equal(fs.readFileSync(path.join(w.bridge, 'QV_Nav_0.txt'), 'latin1'), 'COINBASE:BTCUSD');
  const log = await w.readLog();
  assert.equal(count(log, 'Launching Quorvale HEADLESS VPS AGENT for HWND: 0 '), 1, 'raised, never restarted');
  assert.equal(count(log, 'Quorvale AI Studio window not found'), 1, 'only the earlier relaunch');
});
