// Runs the real product with the Chromium-backed WebView2 runtime: the environment a child
// needs to find that runtime, the fixture chart site in place of the chart page, the
// runtime's call record, and Playwright attached to the very Chromium the child drives.
import fs from 'node:fs';
import path from 'node:path';
import { chromium } from 'playwright-core';
import { paths, waitFor, lineReader } from './wine.mjs';

export const runtimeFolder = path.join(paths.buildWindows, 'tools/webview2-runtime/runtime');
export const chartSite = path.join(paths.repoRoot, 'tests/wine/fixtures/chart-site');
// Another origin: the chart page's widget frame and a page the view can navigate to.
export const otherSite = path.join(paths.repoRoot, 'tests/wine/fixtures/other-site');

/** Environment for the daemon or a child so it uses our runtime and the fixture site. */
export function runtimeEnv(w, extra = {}) {
  const callLog = path.join(w.root, 'webview2-calls.log');
  return {
    callLog,
    env: {
      WEBVIEW2_BROWSER_EXECUTABLE_FOLDER: w.toWin(runtimeFolder),
      QV_WEBVIEW2_CALL_LOG: w.toWin(callLog),
      QV_WEBVIEW2_EXTRA_HOSTS: `www.tradingview.com=${w.toWin(chartSite)};widgets.example=${w.toWin(otherSite)}`,
      ...extra,
    },
  };
}

export const readCalls = (callLog) => {
  try {
    return fs.readFileSync(callLog, 'utf8').split(/\r?\n/).filter(Boolean);
  } catch {
    return [];
  }
};

/** The secret the last HUD document script was given (the HUD signs its messages with it). */
export function pageSecret(callLog) {
  const lines = readCalls(callLog).filter((l) => l.startsWith('AddScriptToExecuteOnDocumentCreated') && l.includes('qvPageSecret'));
  const m = /qvPageSecret = '([0-9a-f]{32})'/.exec(lines.at(-1) || '');
  if (!m) throw new Error('no page secret in the call record');
  return m[1];
}

/** Waits for a call-record line matching the pattern; returns the matching lines. */
export async function waitForCall(callLog, pattern, timeoutMs = 30000) {
  return waitFor(() => {
    const found = readCalls(callLog).filter((l) => pattern.test(l));
    return found.length ? found : false;
  }, timeoutMs, 100, `runtime call ${pattern}`);
}

/** Playwright attached to the Chromium of the child's profile folder. */
export async function attachBrowser(w) {
  const portFile = path.join(w.appdata, 'Quorvale_Workspace_Data', 'Profile', 'DevToolsActivePort');
  const port = await waitFor(() => {
    const text = fs.existsSync(portFile) ? fs.readFileSync(portFile, 'utf8') : '';
    return text.includes('\n') ? text.split('\n')[0].trim() : false;
  }, 60000, 200, 'DevToolsActivePort');
  return chromium.connectOverCDP(`http://127.0.0.1:${port}`);
}

/** The first page whose address matches, across every context of the browser. */
export async function findPage(browser, pattern, timeoutMs = 30000) {
  return waitFor(() => {
    for (const context of browser.contexts()) {
      const page = context.pages().find((p) => pattern.test(p.url()));
      if (page) return page;
    }
    return false;
  }, timeoutMs, 200, `a page at ${pattern}`);
}

/**
 * A fake chart driven by stdin commands: a chart view in a chart window (MDI child) in a
 * terminal frame, as the terminal's is, with a DPI awareness of its own.
 */
export async function startFakeChart(w, title = 'EURUSD,H1') {
  const chart = w.spawn(paths.tool('fake_chart.exe'), [title]);
  const out = lineReader(chart.stdout);
  const hwnd = (await out.next((l) => l.startsWith('HWND '))).slice(5);
  const ask = async (command, pred = (l) => l.startsWith('OK') || l.startsWith('END') || l === 'MISSING' || l === 'FOUND') => {
    const seen = out.lines.length;
    chart.stdin.write(command + '\n');
    await waitFor(() => out.lines.slice(seen).find(pred), 15000, 50, `reply to ${command}`);
    return out.lines.slice(seen);
  };
  /** The windows parented into the chart: [{ cls, width, height, visible }]. */
  const children = async () => (await ask('children'))
    .filter((l) => l.startsWith('CHILD '))
    .map((l) => {
      const [, , cls, width, height, visible] = l.split(' ');
      return { cls, width: Number(width), height: Number(height), visible: visible === 'visible' };
    });
  return { chart, hwnd, ask, children };
}

/**
 * Resolves with the exit code of a spawned Windows program. Its end, not the close of its
 * pipes: Chromium started by the runtime inherits them and may outlive the program.
 */
export const exitOf = (child) =>
  child.exitCode !== null ? Promise.resolve(child.exitCode) : new Promise((r) => child.on('exit', (code) => r(code)));
