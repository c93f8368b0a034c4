#!/usr/bin/env node
// Daemon figures under Wine, printed, never asserted: how long a launch request takes to
// become a running child, and what the daemon costs while it only watches the folder.
//   node tools/bench-daemon/bench.mjs [--rounds 8] [--idle-seconds 10]
// Needs the Windows build (bash tools/build.sh) and Xvfb, like the Wine tests.
import fs from 'node:fs';
import path from 'node:path';
import { freshWine, paths, lineReader, waitFor } from '../../tests/wine/lib/wine.mjs';
import { Companion } from '../companion-sim/companion.mjs';

const arg = (name, fallback) => {
  const i = process.argv.indexOf(`--${name}`);
  return i > 0 ? Number(process.argv[i + 1]) : fallback;
};
const rounds = arg('rounds', 8);
const idleSeconds = arg('idle-seconds', 10);
const BOX = 'Quorvale Workspace - WebView2 Runtime Required';
const CLOCK_TICKS = 100;  // USER_HZ on Linux

function processesOf(w) {
  const found = [];
  for (const pid of fs.readdirSync('/proc').filter((p) => /^\d+$/.test(p))) {
    try {
      if (!fs.readFileSync(`/proc/${pid}/environ`, 'latin1').includes(`WINEPREFIX=${w.prefix}\0`)) continue;
      const argv = fs.readFileSync(`/proc/${pid}/cmdline`, 'utf8').split('\0').filter(Boolean);
      found.push({ pid, argv });
    } catch {
      // gone
    }
  }
  return found;
}

function cpuTicks(pid) {
  const stat = fs.readFileSync(`/proc/${pid}/stat`, 'latin1');
  const fields = stat.slice(stat.lastIndexOf(')') + 2).split(' ');
  return Number(fields[11]) + Number(fields[12]);  // utime + stime
}

async function measureCpu(pids, seconds) {
  const start = pids.map(cpuTicks);
  const t0 = Date.now();
  await new Promise((r) => setTimeout(r, seconds * 1000));
  const elapsed = (Date.now() - t0) / 1000;
  return pids.map((pid, i) => ((cpuTicks(pid) - start[i]) / CLOCK_TICKS / elapsed) * 100);
}

async function startChart(w, title) {
  const chart = w.spawn(paths.tool('fake_chart.exe'), [title]);
  const out = lineReader(chart.stdout);
  const hwnd = (await out.next((l) => l.startsWith('HWND '))).slice(5);
  const ask = (command) => {
    const seen = out.lines.length;
    chart.stdin.write(command + '\n');
    return waitFor(() => out.lines.slice(seen).find((l) => /^(OK|FOUND|MISSING)/.test(l)), 15000, 20, command);
  };
  return { hwnd, ask };
}

const stats = (values) => {
  const sorted = [...values].sort((a, b) => a - b);
  const median = sorted[Math.floor(sorted.length / 2)];
  return `median ${median.toFixed(0)} ms, min ${sorted[0].toFixed(0)} ms, max ${sorted[sorted.length - 1].toFixed(0)} ms`;
};

const w = await freshWine();
try {
  const emptyRuntime = path.join(w.root, 'no-webview2-runtime');
  fs.mkdirSync(emptyRuntime);
  w.spawn(paths.exe, [], { env: { WEBVIEW2_BROWSER_EXECUTABLE_FOLDER: w.toWin(emptyRuntime) } });
  await w.waitForLog('Quorvale Daemon loop active and watching: ', 60000);
  const companion = new Companion(w.bridge);
  const daemonPid = await waitFor(() => processesOf(w).find((p) => /QuorvaleWorkspace\.exe$/i.test(p.argv[0]) && p.argv.length === 1)?.pid, 10000, 100, 'daemon pid');
  const serverPid = processesOf(w).find((p) => /wineserver/.test(p.argv[0] ?? ''))?.pid;

  // Idle with no child: one listing and a 100 ms sleep per pass.
  const [idle0, server0] = await measureCpu([daemonPid, serverPid].filter(Boolean), idleSeconds);

  // Latency: request file renamed into place → daemon's launch line → child's first line.
  const { hwnd, ask } = await startChart(w, 'Bench Chart');
  const pickup = [];
  const firstLine = [];
  for (let i = 0; i < rounds; i++) {
    const seen = (await w.readLog()).length;
    const t0 = performance.now();
    companion.writeLaunch({ hwnd, symbol: 'XAUUSD' });
    let tDaemon = 0;
    await waitFor(async () => {
      const tail = (await w.readLog()).slice(seen);
      if (!tDaemon && tail.includes('Daemon launching Quorvale child')) tDaemon = performance.now();
      return tail.includes('Launching Quorvale Chart Overlay for HWND:');
    }, 30000, 5, 'the child line');
    const t1 = performance.now();
    pickup.push((tDaemon || t1) - t0);
    firstLine.push(t1 - t0);
    // End this child so the next request starts a new one instead of "already active".
    await waitFor(async () => (await ask(`exists ${BOX}`)) === 'FOUND', 20000, 50, 'box');
    await ask(`dismiss ${BOX}`);
    await waitFor(() => !processesOf(w).some((p) => p.argv[1] === hwnd), 20000, 20, 'child end');
    await new Promise((r) => setTimeout(r, 250));  // let the daemon reap it
  }

  // Idle with five live children, each held at its runtime box.
  for (let i = 0; i < 5; i++) {
    const chart = await startChart(w, `Bench Chart ${i}`);
    companion.writeLaunch({ hwnd: chart.hwnd, symbol: 'EURUSD' });
    await w.waitForLog(`Launching Quorvale Chart Overlay for HWND: ${chart.hwnd} `, 30000);
  }
  await w.waitForLog('(active children: 5)', 30000);
  const [idle5, server5] = await measureCpu([daemonPid, serverPid].filter(Boolean), idleSeconds);

  console.log(`launch file → daemon launch line: ${stats(pickup)} (${rounds} rounds)`);
  console.log(`launch file → child's first log line: ${stats(firstLine)}`);
  console.log(`daemon CPU idle, 0 children: ${idle0.toFixed(2)} % of one core (wineserver ${server0?.toFixed(2) ?? 'n/a'} %)`);
  console.log(`daemon CPU idle, 5 children: ${idle5.toFixed(2)} % of one core (wineserver ${server5?.toFixed(2) ?? 'n/a'} %)`);
} finally {
  await w.close();
}
