// Loader for the copilot, vault and AutoTrader page tests: joins the HUD the way the
// build does (cmake/JoinHud.cmake over hud/ORDER), optionally with one extra test-only
// file at the end that hands chosen inner functions to the test, and opens pages in
// Chromium with the bridge recorded and every outside address routed.
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
  window.chrome.webview = { postMessage: (m) => { window.__posted.push(m); } };
};

// Opens a fresh page. files: bridge file name -> JSON value, Buffer, or a function
// returning { status, body } per request. providers: origin+path prefix -> handler.
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
      const f = files[name];
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
  await page.addInitScript(BRIDGE_RECORDER);
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

// Stand-in for the panel and drawer skeleton with the ids the copilot half wires, for
// use while the bootstrap half's fixture pages are not available.
export const SKELETON_BODY = `
<div id="qv-hud-panel"><div id="qv-hud-header"><button id="qv-btn-settings">gear</button></div>
  <div id="qv-hud-body"><input id="qv-size-input" value="0.10"></div></div>
<div id="qv-ai-drawer" class="qv-drawer-open">
  <div id="qv-ai-hdr"><span id="qv-ai-sym-badge">NDX • MT5: H1</span>
    <button id="qv-vault-open-btn" class="qv-vault-badge-btn">Settings &amp; Keys</button>
    <select id="qv-ai-model-select">
      <option value="gemini-3.8-flash">Google Gemini 3.8 Flash (Vision &amp; Speed)</option>
      <option value="gemini-3.1-pro">Google Gemini 3.1 Pro (Deep Vision &amp; COT)</option>
      <option value="deepseek-reasoner">DeepSeek R1 (Deep Reasoner)</option>
      <option value="deepseek-chat">DeepSeek V3 (Fast Analytical)</option>
      <option value="openrouter">OpenRouter Universal BYOK</option>
      <option value="gpt-4o">OpenAI GPT-4o (Vision)</option>
      <option value="claude-3-5-sonnet-20241022">Claude 3.5 Sonnet (Vision)</option>
      <option value="__open_vault__">Settings &amp; API Keys...</option>
    </select>
    <select id="qv-ai-strategy-select">
      <option value="core">Institutional Core (3-Tier)</option><option value="ict_silver">ICT Silver Bullet (FVG)</option>
      <option value="asian_sweep">Asian Judas Sweep (London)</option><option value="breakout_retest">Breakout &amp; Retest</option>
      <option value="byos_custom">Custom Playbook (BYOS)...</option>
    </select></div>
  <div class="qv-ai-subbar"><div id="qv-autotrader-toggle"><span id="qv-auto-icon"></span><span id="qv-auto-label"></span></div>
    <button id="qv-subbar-risk-btn">Risk: <span id="qv-subbar-risk-val">1.0%</span></button></div>
  <div><button id="qv-chip-vision" class="qv-chip-btn">Scan Chart (Vision)</button><button id="qv-chip-cot" class="qv-chip-btn">COT Smart Money</button>
    <button id="qv-chip-risk" class="qv-chip-btn">Risk Audit</button><button id="qv-chip-setup" class="qv-chip-btn">Generate Setup</button></div>
  <div id="qv-ai-chat-body"></div>
  <div id="qv-ai-footer"><textarea id="qv-ai-textarea"></textarea><button id="qv-ai-send-btn">send</button></div>
</div>`;

export const SKELETON_HTML = `<!doctype html><html><head></head><body>${SKELETON_BODY}</body></html>`;

// Waits until the copilot half has wired the skeleton.
export async function wired(page) {
  await page.waitForSelector('#qv-ai-drawer[data-qv-copilot-wired="1"]', { state: 'attached' });
}
