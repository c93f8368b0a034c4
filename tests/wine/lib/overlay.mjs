// Runs the real product with the Chromium-backed WebView2 runtime: the environment a child
// needs to find that runtime, the fixture chart site in place of the chart page, the
// runtime's call record, and Playwright attached to the very Chromium the child drives.
import fs from 'node:fs';
import path from 'node:path';
import { chromium } from 'playwright-core';
import { paths, waitFor, lineReader } from './wine.mjs';
import { attachHud } from '../../page/lib/hud_dom.mjs';

export const runtimeFolder = path.join(paths.buildWindows, 'testing/webview2-runtime/runtime');
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

/**
 * The HUD of a page, reached as DevTools reaches it (tests/page/lib/hud_dom.mjs), once it is
 * built. post() sends a message as the HUD does, through the binding of its world.
 */
export async function hudOf(page, timeoutMs = 30000) {
  const hud = await attachHud(page);
  await hud.waitFor('#qv-hud-panel', { timeout: timeoutMs });
  hud.post = (message) => hud.eval(`globalThis.__qvHost(${JSON.stringify(String(message))}), true`);
  return hud;
}

/**
 * The pushes the host sent into the HUD, from the runtime's call record: each
 * Runtime.evaluate of "__qvHostPush(<object>)" gives that object, in the order sent.
 */
export function pushesIn(callLog, type) {
  const prefix = 'CallDevToolsProtocolMethod Runtime.evaluate ';
  const out = [];
  for (const line of readCalls(callLog)) {
    if (!line.startsWith(prefix) || !line.includes('__qvHostPush(')) continue;
    const { expression } = JSON.parse(line.slice(prefix.length));
    const push = JSON.parse(expression.slice('__qvHostPush('.length, -1));
    if (!type || push.type === type) out.push(push);
  }
  return out;
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
  const ask = async (command, pred = (l) => l.startsWith('OK') || l.startsWith('END') || l.startsWith('TEXT ') || l === 'MISSING' || l === 'FOUND') => {
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
  /** The text of a message box with this caption once one is shown (line breaks as \n). */
  const boxText = (caption, timeoutMs = 20000) => waitFor(async () => {
    const line = (await ask(`boxtext ${caption}`)).find((l) => l.startsWith('TEXT ') || l === 'MISSING');
    return line && line.startsWith('TEXT ') ? line.slice(5) : false;
  }, timeoutMs, 200, `a message box "${caption}"`);
  const answer = async (caption, yes) => (await ask(`answer ${caption} ${yes ? 'yes' : 'no'}`)).includes('OK answer');
  return { chart, hwnd, ask, children, boxText, answer };
}

/**
 * Resolves with the exit code of a spawned Windows program. Its end, not the close of its
 * pipes: Chromium started by the runtime inherits them and may outlive the program.
 */
export const exitOf = (child) =>
  child.exitCode !== null ? Promise.resolve(child.exitCode) : new Promise((r) => child.on('exit', (code) => r(code)));
