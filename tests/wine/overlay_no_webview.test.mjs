// A chart child whose WebView never comes up (a runtime whose environment creation fails,
// late or at once): the failure is logged with its code and tried again with backoff, the
// chart's heartbeat goes (no overlay is shown), and the window, its timers and the bridge
// duties go on without touching a page that does not exist.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { freshWine, paths, waitFor } from './lib/wine.mjs';
import { startFakeChart, exitOf } from './lib/overlay.mjs';

let w;
let runtimeEnv;

before(async () => {
  w = await freshWine();
  // A runtime folder the loader accepts, holding a client DLL that refuses to create.
  const folder = path.join(w.root, 'failing-runtime');
  fs.mkdirSync(path.join(folder, 'EBWebView/x64'), { recursive: true });
  fs.copyFileSync(paths.tool('fake_runtime.dll'), path.join(folder, 'EBWebView/x64/EmbeddedBrowserWebView.dll'));
  runtimeEnv = { WEBVIEW2_BROWSER_EXECUTABLE_FOLDER: w.toWin(folder), QV_CLOUD_BASE_URL: 'http://127.0.0.1:9', QV_TELEGRAM_API_BASE: 'http://127.0.0.1:9' };
  fs.mkdirSync(w.bridge, { recursive: true });
});
after(async () => {
  await w?.close();
});

const bridgeFile = (name) => path.join(w.bridge, name);

test('a failed environment is logged; the overlay still follows its chart, keeps page requests and ends on a kill', async () => {
  const { chart, hwnd, ask, children } = await startFakeChart(w, 'GBPUSD,H4');
  const child = w.spawn(paths.exe, [hwnd, 'GBPUSD', '240'], { env: runtimeEnv });
  // The client DLL calls back with E_FAIL and no environment, every time it is asked.
  await w.waitForLog('CreateCoreWebView2Environment failed hr = -2147467259', 30000);
  await w.waitForLog('CreateCoreWebView2Environment failed with 0x80004005; trying again in 1 s.', 10000);
  await w.waitForLog('CreateCoreWebView2Environment failed with 0x80004005; trying again in 2 s.', 10000);

  const [overlay] = (await children()).filter((c) => c.cls === 'QuorvaleWorkspace_Class');
  assert.ok(overlay, 'the overlay window exists without a WebView');
  await ask('resize 800 500');
  await waitFor(async () => {
    const [o] = (await children()).filter((c) => c.cls === 'QuorvaleWorkspace_Class');
    return o && o.width === overlay.width - 224;
  }, 5000, 100, 'overlay following the chart without a WebView');
  // Without a WebView the child is no overlay: the companion must not see one alive.
  await waitFor(() => !fs.existsSync(bridgeFile(`QV_Active_${hwnd}.txt`)), 5000, 100, 'the heartbeat gone');

  // Without a page, requests meant for it stay for later; a navigation request still moves
  // the symbol but navigates nothing.
  fs.writeFileSync(bridgeFile('QV_EvalRequest.txt'), 'EVAL');
  fs.writeFileSync(bridgeFile(`QV_Nav_${hwnd}.txt`), 'EURUSD');
  await waitFor(() => !fs.existsSync(bridgeFile(`QV_Nav_${hwnd}.txt`)), 5000, 50, 'navigation request consumed');
  await new Promise((r) => setTimeout(r, 1500));
  assert.equal(fs.existsSync(bridgeFile('QV_EvalRequest.txt')), true, 'evaluation request left for a page');
  assert.equal(fs.existsSync(bridgeFile('QV_AICopilotChart.png')), false, 'nothing captured');
  const log = await w.readLog();
  assert.ok(!log.includes('Navigating existing Quorvale overlay to: '));
  assert.ok(!log.includes('Navigating to: '));

  fs.writeFileSync(bridgeFile(`QV_Kill_${hwnd}.txt`), '');
  assert.equal(await exitOf(child), 0);
  assert.ok((await w.readLog()).includes(`CleanShutdown initiated for HWND: ${hwnd}`));
  await ask('quit');
  await exitOf(chart);
});

test('a creation that cannot even start is logged with its code', async () => {
  const { chart, hwnd, ask } = await startFakeChart(w, 'USDCHF,M5');
  const child = w.spawn(paths.exe, [hwnd, 'USDCHF', '5'], { env: { ...runtimeEnv, QV_FAKE_RUNTIME_RESULT: '80070005' } });
  await w.waitForLog('CreateCoreWebView2Environment failed hr = -2147024891', 30000);
  await w.waitForLog('CreateCoreWebView2Environment failed with 0x80070005; trying again in 1 s.', 10000);
  fs.writeFileSync(bridgeFile(`QV_Kill_${hwnd}.txt`), '');
  assert.equal(await exitOf(child), 0);
  await ask('quit');
  await exitOf(chart);
});
