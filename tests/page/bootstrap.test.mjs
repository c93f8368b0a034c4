// The instance and its world: one build per document inside the closed root, nothing in
// frames or on other origins, nothing of the HUD on the page's window.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { buildHud, buildPanelHud, launch, openChart, openPage, hudReady, withPage, waitFor } from './lib/harness.mjs';

let browser;
let script;
before(async () => { script = buildPanelHud(); browser = await launch(); });
after(async () => { await browser.close(); });

test('two injections build one HUD and frames build none', async () => {
  await withPage(() => openChart(browser, script, { injectTwice: true, frame: true }), async ({ page, hud, posted, dropped }) => {
    await hudReady(page);
    // a third, late run of the script in the finished document changes nothing either
    await hud.eval(script);
    await page.waitForTimeout(1300);
    for (const id of ['qv-hud-panel', 'qv-ai-drawer', 'qv-vault-modal', 'qv-hud-styles', 'qv-crosshair-guide', 'qv-hud-restore-btn']) {
      assert.equal(await hud.count('#' + id), 1, id);
    }
    assert.equal(await page.evaluate(() => document.querySelectorAll('#qv-hud-host').length), 1, 'one host element');
    assert.deepEqual((await posted()).filter((m) => m.startsWith('SYNC:')), ['SYNC:NDX'], 'one sync loop');
    assert.deepEqual((await posted()).filter((m) => m === 'HUD_READY'), ['HUD_READY'], 'one announcement');
    const frame = page.frame({ url: /frame\.html/ });
    assert.ok(frame, 'the frame loaded');
    assert.equal(await frame.evaluate(() => document.querySelectorAll('[id^="qv-"]').length), 0);
    assert.deepEqual(dropped, [], 'nothing from the frame\'s HUD world');
  });
});

test('another origin builds nothing; the page\'s own names for the channel carry nothing', async () => {
  await withPage(() => openPage(browser, { script, url: 'https://accounts.example/signin', pageOrigins: ['https://accounts.example/'] }), async ({ page, posted, dropped }) => {
    await page.waitForTimeout(1300);
    assert.equal(await page.evaluate(() => document.querySelectorAll('[id^="qv-"]').length), 0);
    assert.deepEqual(await posted(), []);
    assert.deepEqual(dropped, []);
  });
  await withPage(() => openChart(browser, script, { fixedTime: new Date('2026-03-04T12:00:00Z') }), async ({ page, hud, posted }) => {
    await hudReady(page);
    const seen = await page.evaluate(() => {
      window.__stolen = [];
      window.__qvHost = (m) => window.__stolen.push(m);
      window.chrome = { webview: { postMessage: (m) => window.__stolen.push(m) } };
      return [typeof window.__qvHostPush, typeof window.qvOrderFate, typeof window.triggerEvaluationNow,
        typeof window.openQuorvaleVault, typeof window.loadByosTemplate, typeof window.__quorvale_hud_installed];
    });
    assert.deepEqual(seen, Array(6).fill('undefined'), 'nothing of the HUD on the page\'s window');
    await hud.click('#qv-btn-buy');
    await waitFor(async () => (await posted()).some((m) => m.startsWith('TRADE:')), 'the order message');
    assert.deepEqual(await page.evaluate(() => window.__stolen), []);
  });
});

// The HUD's world holds the host's binding and the two names the HUD sets for the host and
// for its own second copy; nothing else, so nothing the page could reach or that a later
// file could have left behind. The page's world holds none of them.
test('the HUD\'s world holds only the host\'s names; the page\'s window none', async () => {
  const plain = buildHud();
  await withPage(() => openChart(browser, plain), async ({ page, hud, cdp }) => {
    await hudReady(page);
    const { executionContextId } = await cdp.send('Page.createIsolatedWorld', { frameId: hud.mainFrameId, worldName: 'qv_fresh' });
    const names = 'Object.getOwnPropertyNames(globalThis)';
    const fresh = (await cdp.send('Runtime.evaluate', { contextId: executionContextId, expression: names, returnByValue: true })).result.value;
    const own = (await hud.eval(names)).filter((n) => !fresh.includes(n)).sort();
    assert.deepEqual(own, ['__qvHost', '__qvHostPush', '__qvHudInstalled']);
    assert.deepEqual(await page.evaluate(() => Object.getOwnPropertyNames(window).filter((n) => /qv|quorvale/i.test(n))), []);
  });
});

// Whether a document is the studio page is read while it starts: a chart page that rewrites
// its address before the build (history.replaceState to ".../headless.html") still gets the
// chart's HUD, with its symbol sync and its own chart's snapshot, not the studio's layout.
test('a chart page that rewrites its address stays a chart page', async () => {
  const rename = '<script>history.replaceState(null, "", "/chart/headless.html")</script>';
  await withPage(() => openChart(browser, script, { chart: { extra: rename } }), async ({ page, hud, posted }) => {
    await hudReady(page);
    assert.match(page.url(), /\/chart\/headless\.html$/);
    assert.equal(await hud.count('#qv-hud-restore-btn'), 1, 'the chart page\'s restore button');
    assert.equal(await hud.visible('#qv-btn-hide'), true);
    await waitFor(async () => (await posted()).includes('SYNC:NDX'), 'the symbol sync');
  });
});
