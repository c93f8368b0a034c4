// Loader of every page test: joins the HUD the way the build does (cmake/JoinHud.cmake
// over hud/ORDER), optionally with one extra test-only file at the end that hands chosen
// inner functions to the test, and opens pages in Chromium the way the host does: the HUD as
// a document script of the isolated world "quorvale_hud", the chart page reader in the
// page's own world, the binding __qvHost in the HUD's world only, the HUD's messages taken
// from Runtime.bindingCalled of the HUD's context in the main frame, and the host's pushes
// made with Runtime.evaluate of __qvHostPush(<json>) in that context. Every outside address
// is routed (harness.mjs adds the chart and studio pages).
import { execFileSync } from 'node:child_process';
import { mkdtempSync, cpSync, readFileSync, writeFileSync, appendFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, dirname } from 'node:path';
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';
import { HudDom, HUD_WORLD, HUD_BINDING } from './hud_dom.mjs';
import { HUD_CLOCK_SOURCE, hudClock, clockStartSource } from './hud_clock.mjs';

const repo = join(dirname(fileURLToPath(import.meta.url)), '..', '..', '..');

// The host maps the bridge folder to this name; the page must use the same one.
export const DATA_HOST = (() => {
  try {
    const m = /kVirtualDataHost\s*=\s*"([^"]+)"/.exec(readFileSync(join(repo, 'overlay', 'page_scripts.h'), 'utf8'));
    if (m) return m[1];
  } catch { /* fall through */ }
  return 'quorvale-data.example';
})();

const CHART_SITE = 'https://www.tradingview.com';

function joinSources(dir, extra) {
  const out = join(dir, 'out.js');
  const args = [`-DHUD_DIR=${dir}`, `-DOUT_JS=${out}`, `-DOUT_CPP=${join(dir, 'out.cpp')}`];
  if (extra) args.push(extra);
  execFileSync('cmake', [...args, '-P', join(repo, 'cmake', 'JoinHud.cmake')], { stdio: 'pipe' });
  return readFileSync(out, 'utf8');
}

// extraCode: more test-only lines for the same file (for example a getter of a variable).
// What the test file defines lives in the HUD's world; tests reach it with hud.eval.
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
    return joinSources(join(dir, 'hud'));
  } finally {
    rmSync(dir, { recursive: true, force: true });
  }
}

let readerCache;
export function buildPageReader() {
  if (readerCache) return readerCache;
  const dir = mkdtempSync(join(tmpdir(), 'qv-reader-'));
  try {
    cpSync(join(repo, 'hud', 'page_reader'), join(dir, 'reader'), { recursive: true });
    readerCache = joinSources(join(dir, 'reader'), '-DFUNC=HudPageReaderScriptUtf8');
    return readerCache;
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

// The host's part, shared by every page opened with it (as the workspace's processes share
// its stored settings): it keeps settings and secrets and pushes the whole picture to
// every page after each change and to a page that announces itself; it answers a
// migration by filling what it does not hold yet; a bar claim goes to the first page that
// asks (the host creates the claim file exclusively) and is then readable as
// QV_ATClaim_<instrument>_<bar>.txt, waited for briefly as the host's message and the
// page's read race only inside one machine. opts: settings, secrets, positions (the text of
// QV_OpenPositions.json), quiet (never answers settings: a host that lost the message).
export function fakeHost(opts = {}) {
  const host = {
    settings: { ...(opts.settings || {}) },
    secrets: { ...(opts.secrets || {}) },
    positions: opts.positions,
    claims: new Map(),
    messages: [],
    pages: new Set(),
    quiet: !!opts.quiet,
    async post(m, page) {
      host.messages.push(m);
      const c = /^AT_CLAIM:([A-Za-z0-9_.-]{1,32}),([0-9]{1,20}),([A-Za-z0-9]{8,64})$/.exec(m);
      if (c) {
        const name = `QV_ATClaim_${c[1]}_${c[2]}.txt`;
        if (!host.claims.has(name)) host.claims.set(name, c[3]);
        return;
      }
      if (m === 'HUD_READY') {
        if (page.chartHandle !== undefined) await page.push({ type: 'chart', hwnd: String(page.chartHandle) });
        await page.push({ type: 'settings', ...host.settings });
        await page.push({ type: 'secrets', ...host.secrets });
        if (host.positions !== undefined) await page.push({ type: 'positions', text: host.positions });
        page.markReady();
        return;
      }
      const set = /^(SETTINGS_SET|SECRETS_SET|MIGRATE):([\s\S]*)$/.exec(m);
      if (!set || host.quiet) return;
      let body;
      try { body = JSON.parse(set[2]); } catch { return; }
      if (set[1] === 'SETTINGS_SET') Object.assign(host.settings, body);
      if (set[1] === 'SECRETS_SET') Object.assign(host.secrets, body);
      if (set[1] === 'MIGRATE') {
        for (const [store, from] of [[host.settings, body.settings || {}], [host.secrets, body.secrets || {}]]) {
          for (const [k, v] of Object.entries(from)) if (!(k in store)) store[k] = v;
        }
        await page.push({ type: 'migrated', ok: true });
      }
      await host.broadcast(set[1] === 'SECRETS_SET' ? 'secrets' : 'settings');
      if (set[1] === 'MIGRATE') await host.broadcast('secrets');
    },
    async broadcast(kind) {
      const body = kind === 'secrets' ? host.secrets : host.settings;
      for (const p of host.pages) await p.push({ type: kind, ...body });
    },
    async file(name) {
      if (!name.startsWith('QV_ATClaim_')) return undefined;
      for (let i = 0; i < 5 && !host.claims.has(name); i++) await new Promise((r) => setTimeout(r, 20));
      return host.claims.has(name) ? () => ({ contentType: 'text/plain', body: host.claims.get(name) }) : undefined;
    },
  };
  return host;
}

const opened = new WeakMap();

// The record of a page opened here (by its Playwright page or the record itself).
export function pageRecord(pageOrRecord) {
  const rec = opened.get(pageOrRecord) || pageOrRecord;
  if (!rec || !rec.hud) throw new Error('not a page opened by the page harness');
  return rec;
}

// Opens a fresh page. files: bridge file name -> JSON value, Buffer, or a function
// returning { status, body } per request. providers: origin+path prefix -> handler.
// host: the host's part (fakeHost; a fresh one unless given); noHost: no binding at all (a
// page outside the workspace). settings, secrets, positions: for the fresh host.
// chartHandle: pushed as the page's chart. storage: the site's storage before the first
// load. extraScripts: more copies of the HUD registered in its world. clock (a time that
// then runs) and fixedTime: the HUD world's clock, moved with p.clock (hud_clock.mjs).
// Anything else outside the page's own origin is answered 404 so nothing leaves the box.
export async function openPage(browser, opts = {}) {
  const context = await browser.newContext({ viewport: opts.viewport || { width: 1280, height: 800 } });
  const page = await context.newPage();
  const errors = [];
  const consoleLines = [];
  const requests = [];
  // Playwright reports errors and console lines of every world of the page, the HUD's too.
  page.on('pageerror', (e) => errors.push(e));
  page.on('console', (m) => consoleLines.push(m.text()));
  const files = opts.files || {};
  const providers = opts.providers || {};
  const host = opts.noHost ? null : (opts.host || fakeHost({ settings: opts.settings, secrets: opts.secrets, positions: opts.positions }));
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
      if (f === undefined && host) f = await host.file(name);
      if (f === undefined) return route.fulfill({ status: 404, body: 'missing' });
      if (typeof f === 'function') {
        const r = await f(req);
        return route.fulfill({ status: r.status || 200, contentType: r.contentType || 'application/json', headers: dataHostHeaders(req), body: r.body });
      }
      if (Buffer.isBuffer(f)) return route.fulfill({ status: 200, contentType: 'image/png', headers: dataHostHeaders(req), body: f });
      return route.fulfill({ status: 200, contentType: 'application/json', headers: dataHostHeaders(req), body: JSON.stringify(f) });
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

  const cdp = await context.newCDPSession(page);
  const hud = new HudDom(page, cdp);
  let markReady;
  const rec = {
    page, context, cdp, hud, host, errors, consoleLines, requests,
    clock: hudClock(hud),
    chartHandle: opts.chartHandle,
    messages: [],
    // Binding calls the host would drop: another context than the HUD's of the main frame.
    dropped: [],
    ready: new Promise((resolve) => { markReady = resolve; }),
    markReady: () => markReady(),
    // The HUD's messages so far. A binding call made while the page handled a click can
    // arrive after the click's own answer; a round trip to the HUD's world lets it in first.
    async posted() {
      const contextId = hud.contextId();
      if (contextId) await cdp.send('Runtime.evaluate', { contextId, expression: '0' }).catch(() => {});
      return rec.messages.slice();
    },
    // A push the way the host makes one; none reaches a document without the HUD's context.
    async push(message) {
      const contextId = hud.contextId();
      if (!contextId) return false;
      const r = await cdp.send('Runtime.evaluate', { contextId, expression: `__qvHostPush(${JSON.stringify(message)})`, returnByValue: true })
        .catch(() => null);
      return !!(r && r.result && r.result.value === true);
    },
    close: () => { if (host) host.pages.delete(rec); return context.close(); },
  };
  opened.set(page, rec);
  if (host) host.pages.add(rec);

  // The HUD's answers to the host keep their order: each message is handled after the last.
  let hostQueue = Promise.resolve();
  cdp.on('Runtime.bindingCalled', (e) => {
    if (e.name !== HUD_BINDING) return;
    if (!hud.isHudContext(e.executionContextId) || !ownDocument(hud.contexts.get(e.executionContextId))) {
      rec.dropped.push(e);
      return;
    }
    rec.messages.push(e.payload);
    if (host) hostQueue = hostQueue.then(() => host.post(e.payload, rec)).catch((err) => errors.push(err));
  });
  await hud.start();
  if (host) await cdp.send('Runtime.addBinding', { name: HUD_BINDING, executionContextName: HUD_WORLD });

  if (opts.storage) {
    await page.addInitScript((s) => {
      if (!sessionStorage.getItem('__qv_seeded')) {
        for (const [k, v] of Object.entries(s)) localStorage.setItem(k, v);
        sessionStorage.setItem('__qv_seeded', '1');
      }
    }, opts.storage);
  }
  // clock, fixedTime: the HUD world's time (hud_clock.mjs), set up before the HUD runs.
  if (opts.clock || opts.fixedTime) {
    await cdp.send('Page.addScriptToEvaluateOnNewDocument', { source: HUD_CLOCK_SOURCE + '\n' + clockStartSource(opts), worldName: HUD_WORLD });
  }
  if (opts.reader !== false) await cdp.send('Page.addScriptToEvaluateOnNewDocument', { source: buildPageReader() });
  for (const source of [opts.script, ...(opts.extraScripts || [])].filter(Boolean)) {
    await cdp.send('Page.addScriptToEvaluateOnNewDocument', { source, worldName: HUD_WORLD });
  }
  await page.goto(opts.url || 'https://fixture.test/chart.html');
  return rec;
}

// The documents whose HUD the host listens to: the chart site's and the studio page.
function ownDocument(context) {
  return !!context && (context.origin === CHART_SITE || context.origin === `https://${DATA_HOST}`);
}

// The data host answers the chart site's reads with its CORS header, as the host does.
function dataHostHeaders(req) {
  const origin = req.headers().origin;
  return origin === CHART_SITE ? { 'access-control-allow-origin': CHART_SITE } : {};
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

// The messages the host took from this page's HUD, in order.
export async function posted(pageOrRecord) {
  return pageRecord(pageOrRecord).posted();
}
