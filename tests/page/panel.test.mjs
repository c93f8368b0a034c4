// The panel: its stored place, collapse and hide, read as a layout wish only, kept when the
// page takes the host element out and the HUD puts it back.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { buildPanelHud, launch, openChart, hudReady, withPage, waitFor, box } from './lib/harness.mjs';

let browser;
let script;
before(async () => { script = buildPanelHud(); browser = await launch(); });
after(async () => { await browser.close(); });

test('the host element taken out returns within about a second as it was; stored place, collapse and hide', async () => {
  const storage = { qv_hud_x: '400', qv_hud_y: '300', qv_hud_collapsed: '1' };
  await withPage(() => openChart(browser, script, { storage }), async ({ page, hud, posted }) => {
    await hudReady(page);
    const panelWidth = (await hud.box('#qv-hud-panel')).width;
    assert.deepEqual(await box(hud, '#qv-hud-panel'), { left: 400, top: 300, width: panelWidth });
    assert.equal(await hud.text('#qv-btn-min'), '+');
    assert.ok((await hud.attr('#qv-hud-panel', 'class')).includes('qv-collapsed'));
    assert.ok(panelWidth >= 260, 'collapsed panel keeps its minimum width');

    await hud.click('#qv-btn-hide');
    assert.equal(await hud.visible('#qv-hud-panel'), false);
    assert.deepEqual(await box(hud, '#qv-hud-restore-btn').then((b) => [b.left, b.top]), [400, 300]);

    const t0 = Date.now();
    await page.evaluate(() => document.getElementById('qv-hud-host').remove());
    await waitFor(() => page.evaluate(() => !!document.getElementById('qv-hud-host')), 'the host back', 2500);
    assert.ok(Date.now() - t0 < 2000, 'put back by the once-a-second look');
    assert.equal(await hud.count('#qv-ai-drawer'), 1, 'one drawer');
    assert.deepEqual((await posted()).filter((m) => m === 'HUD_READY'), ['HUD_READY'], 'put back, not built again');
    assert.equal(await hud.visible('#qv-hud-panel'), false, 'still hidden');
    assert.equal(await hud.visible('#qv-hud-restore-btn'), true);
    await hud.click('#qv-hud-restore-btn');
    assert.equal(await hud.visible('#qv-hud-panel'), true);
    assert.equal(await hud.visible('#qv-hud-restore-btn'), false);
    assert.deepEqual(await box(hud, '#qv-hud-panel').then((b) => [b.left, b.top]), [400, 300]);
    assert.ok((await hud.attr('#qv-hud-panel', 'class')).includes('qv-collapsed'));
    await hud.click('#qv-btn-min');
    assert.equal(await hud.text('#qv-btn-min'), '\u2212');
    assert.deepEqual(await page.evaluate(() => [localStorage.qv_hud_collapsed, localStorage.qv_hud_hidden]), ['0', '0']);
  });
  // only one of the two coordinates stored: the sheet's place stands
  await withPage(() => openChart(browser, script, { storage: { qv_hud_x: '500', qv_hud_y: 'junk' } }), async ({ page, hud }) => {
    await hudReady(page);
    assert.deepEqual(await box(hud, '#qv-hud-panel').then((b) => [b.left, b.top, b.width]), [65, 55, 295]);
  });
  // The site can write these keys: a place off the view is pulled inside it, as a drag would.
  await withPage(() => openChart(browser, script, { storage: { qv_hud_x: '-5000', qv_hud_y: '99999' }, viewport: { width: 1000, height: 700 } }), async ({ page, hud }) => {
    await hudReady(page);
    assert.deepEqual(await box(hud, '#qv-hud-panel').then((b) => [b.left, b.top]), [10, 620]);
  });
});
