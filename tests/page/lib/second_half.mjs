// Loader of every page test: joins the HUD the way the build does (cmake/JoinHud.cmake
// over hud/ORDER), optionally with one extra test-only file at the end that hands chosen
// inner functions to the test, and opens pages in Chromium with the bridge recorded and
// every outside address routed (harness.mjs adds the chart and studio pages).
import { execFileSync } from 'node:child_process';
import { mkdtempSync, cpSync, readFileSync, writeFileSync, appendFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, dirname } from 'node:path';
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';

const repo = join(dirname(fileURLToPath(import.meta.url)), '..', '..', '..');

// The host maps the bridge folder to this name; the page must use the same one.
export const DATA_HOST = (() => {
  try {
    const m = /kVirtualDataHost\s*=\s*"([^"]+)"/.exec(readFileSync(join(repo, 'overlay', 'page_scripts.h'), 'utf8'));
    if (m) return m[1];
  } catch { /* fall through */ }
  return 'quorvale-data.example';
})();

// extraCode: more test-only lines for the same file (for example a getter of a variable).
export function buildHud(expose = [], extraCode = '') {
  const dir = mkdtempSync(join(tmpdir(), 'qv-hud-'));
  try {
    cpSync(join(repo, 'hud'), join(dir, 'hud'), { recursive: true });
    if (expose.length || extraCode) {
      const lines = expose.map((n) => `  ${JSON.stringify(n)}: typeof ${n} === 'undefined' ? undefined : ${n},`);
      writeFileSync(join(dir, 'hud', 'zz_test_expose.js'),
        `window.__qvTest = {\n${lines.join('\n')}\n};\n${extraCode}\n`);
      appendFileSync(join(dir, 'hud', 'ORDER'), '\nzz_test_expose.js\n');
    }
    const out = join(dir, 'hud.js');
    execFileSync('cmake', [`-DHUD_DIR=${join(dir, 'hud')}`, `-DOUT_JS=${out}`,
      `-DOUT_CPP=${join(dir, 'hud.cpp')}`, '-P', join(repo, 'cmake', 'JoinHud.cmake')], { stdio: 'pipe' });
    return readFileSync(out, 'utf8');
  } finally {
    rmSync(dir, { recursive: true, force: true });
  }
}

export async function launch() {
  return chromium.launch({
    executablePath: '/usr/bin/chromium',
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
}

export const PROVIDER_ORIGINS = [
  'https://generativelanguage.googleapis.com',
  'https://api.deepseek.com',
  'https://openrouter.ai',
  'https://api.openai.com',
  'https://api.anthropic.com',
];

const BRIDGE_RECORDER = () => {
  window.__posted = [];
  window.chrome = window.chrome || {};
  // The HUD signs each message with the secret the host puts into its script; outside the
  // host the secret is the script's own placeholder.
  const prefix = '__QV_PAGE_SECRET__:';
  window.chrome.webview = {
    postMessage: (m) => {
      const text = String(m).startsWith(prefix) ? String(m).slice(prefix.length) : '(unsigned) ' + m;
      window.__posted.push(text);
      if (typeof window.__qvHostPost === 'function') window.__qvHostPost(text);
    },
  };
};

// Opens a fresh page. files: bridge file name -> JSON value, Buffer, or a function
// returning { status, body } per request. providers: origin+path prefix -> handler.
// host: an object playing the host's part (see fakeHost in harness.mjs): post(message,
// { page }) sees every posted message, file(name) may answer bridge files.
// Anything else outside the page's own origin is answered 404 so nothing leaves the box.
export async function openPage(browser, opts = {}) {
  const context = await browser.newContext({ viewport: opts.viewport || { width: 1280, height: 800 } });
  const page = await context.newPage();
  const errors = [];
  const consoleLines = [];
  const requests = [];
  page.on('pageerror', (e) => errors.push(e));
  page.on('console', (m) => consoleLines.push(m.text()));
  const files = opts.files || {};
  const providers = opts.providers || {};
  await context.route('**/*', async (route) => {
    const req = route.request();
    const url = req.url();
    requests.push({ url, method: req.method(), headers: req.headers(), body: req.postData() });
    const pageOrigins = opts.pageOrigins || ['https://fixture.test/'];
    if (pageOrigins.some((o) => url.startsWith(o))) {
      const html = typeof opts.html === 'function' ? opts.html(url) : opts.html;
      if (typeof opts.html === 'function' && (html === undefined || html === null)) return route.fulfill({ status: 404, body: 'missing' });
      return route.fulfill({ status: 200, contentType: 'text/html; charset=utf-8', body: html || '<!doctype html><html><head></head><body></body></html>' });
    }
    if (url.startsWith(`https://${DATA_HOST}/`)) {
      const name = decodeURIComponent(new URL(url).pathname.slice(1));
      let f = files[name];
      if (f === undefined && opts.host && opts.host.file) f = await opts.host.file(name);
      if (f === undefined) return route.fulfill({ status: 404, body: 'missing' });
      if (typeof f === 'function') {
        const r = await f(req);
        return route.fulfill({ status: r.status || 200, contentType: r.contentType || 'application/json', body: r.body });
      }
      if (Buffer.isBuffer(f)) return route.fulfill({ status: 200, contentType: 'image/png', body: f });
      return route.fulfill({ status: 200, contentType: 'application/json', body: JSON.stringify(f) });
    }
    for (const prefix of Object.keys(providers)) {
      if (url.startsWith(prefix)) {
        if (req.method() === 'OPTIONS') {
          return route.fulfill({ status: 204, headers: corsHeaders(req) });
        }
        const r = await providers[prefix](req);
        return route.fulfill({ status: r.status || 200, contentType: 'application/json',
          headers: corsHeaders(req), body: typeof r.body === 'string' ? r.body : JSON.stringify(r.body) });
      }
    }
    return route.fulfill({ status: 404, headers: corsHeaders(req), body: 'not routed' });
  });
  if (opts.storage) {
    await page.addInitScript((s) => {
      if (!sessionStorage.getItem('__qv_seeded')) {
        for (const [k, v] of Object.entries(s)) localStorage.setItem(k, v);
        sessionStorage.setItem('__qv_seeded', '1');
      }
    }, opts.storage);
  }
  if (opts.clock) await page.clock.install({ time: opts.clock });
  if (opts.fixedTime) await page.clock.setFixedTime(opts.fixedTime);
  if (opts.host) {
    await page.exposeBinding('__qvHostPost', (source, m) => { opts.host.post(m, { page: source.page }); });
  }
  await page.addInitScript(BRIDGE_RECORDER);
  // The host's document script: the chart's handle before any page script, at every load.
  if (opts.chartHandle !== undefined) {
    await page.addInitScript((h) => {
      Object.defineProperty(window, '__qv_chart_hwnd', { value: h, writable: false, configurable: false });
    }, String(opts.chartHandle));
  }
  // A page outside the workspace: no host to post to when the HUD starts.
  if (opts.noHost) await page.addInitScript(() => { delete window.chrome.webview; });
  if (opts.script) await page.addInitScript({ content: opts.script });
  for (const extra of opts.extraScripts || []) await page.addInitScript({ content: extra });
  await page.goto(opts.url || 'https://fixture.test/chart.html');
  return { page, context, errors, consoleLines, requests, close: () => context.close() };
}

// Authorization is never covered by a wildcard, so the asked-for headers are echoed.
function corsHeaders(req) {
  const asked = req ? req.headers()['access-control-request-headers'] : '';
  return {
    'access-control-allow-origin': '*',
    'access-control-allow-headers': asked || '*',
    'access-control-allow-methods': 'GET, POST, OPTIONS',
  };
}

export async function posted(page) {
  return page.evaluate(() => window.__posted.slice());
}
