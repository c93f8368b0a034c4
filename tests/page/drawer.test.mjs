// The drawer: the panel's toggle, half and full widths, the resizer and the width kept for
// the next load; on the studio page the two columns, the column border and the close
// message.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { buildPanelHud, launch, openChart, openStudio, hudReady, withPage, box } from './lib/harness.mjs';

let browser;
let script;
before(async () => { script = buildPanelHud(); browser = await launch(); });
after(async () => { await browser.close(); });

test('drawer: toggle, half and full widths, resizer, width kept for the next load', async () => {
  await withPage(() => openChart(browser, script), async ({ page, hud, posted }) => {
    await hudReady(page);
    const open = () => hud.call('#qv-ai-drawer', function () { return this.classList.contains('qv-drawer-open'); });
    const width = () => hud.box('#qv-ai-drawer').then((b) => Math.round(b.width));
    assert.equal(await open(), false);
    await hud.click('#qv-btn-ai-toggle');
    assert.equal(await open(), true);
    assert.equal(await hud.text('#qv-ai-sym-badge'), 'NDX');
    assert.equal(await hud.root(function () { return this.activeElement && this.activeElement.id; }), 'qv-ai-textarea');
    await page.waitForTimeout(350);  // slide-in
    assert.equal(await width(), 385);
    await hud.click('#qv-ai-half-btn');
    assert.equal(await width(), 640);
    await hud.click('#qv-ai-half-btn');
    assert.equal(await width(), 385, 'the half button twice returns to 385 px');
    await hud.click('#qv-ai-full-btn');
    assert.equal(await width(), 1088);
    assert.equal(await page.evaluate(() => localStorage.qv_ai_width), '85vw');
    await hud.click('#qv-ai-full-btn');
    assert.equal(await width(), 385);

    const r = await box(hud, '#qv-drawer-resizer');
    await page.mouse.move(r.left + 3, 400);
    await page.mouse.down();
    assert.ok((await hud.attr('#qv-drawer-resizer', 'class')).includes('qv-resizing'));
    await page.mouse.move(1260, 400, { steps: 3 });
    assert.equal(await width(), 340, 'no narrower than 340 px');
    await page.mouse.move(2, 400, { steps: 3 });
    assert.equal(await hud.call('#qv-ai-drawer', function () { return this.style.width; }), '1220px', 'no wider than the window - 60 px');
    assert.equal(await width(), 1216, 'and the sheet caps it at 95 % of the window');
    await page.mouse.move(700, 400, { steps: 3 });
    await page.mouse.up();
    assert.ok(!((await hud.attr('#qv-drawer-resizer', 'class')) || '').includes('qv-resizing'));
    assert.equal(await page.evaluate(() => localStorage.qv_ai_width), '580px');

    await hud.click('#qv-ai-close-btn');
    assert.equal(await open(), false);
    assert.deepEqual((await posted()).filter((m) => m === 'CLOSE_STUDIO'), []);
    await page.reload();
    await hud.waitFor('#qv-ai-drawer');
    assert.equal(await hud.call('#qv-ai-drawer', function () { return this.style.width; }), '580px');
  });
});

test('studio page: two columns, close message, no guide, restore button or sync', async () => {
  const storage = { qv_studio_left_w: '400px', qv_hud_hidden: '1' };
  await withPage(() => openStudio(browser, script, { storage }), async ({ page, hud, posted }) => {
    await hudReady(page);
    await page.waitForTimeout(1000);
    assert.equal(await hud.count('#qv-crosshair-guide'), 0);
    assert.equal(await hud.count('#qv-hud-restore-btn'), 0);
    assert.equal(await hud.visible('#qv-hud-panel'), true, 'a stored hide cannot strand the studio column');
    const panel = await box(hud, '#qv-hud-panel');
    const drawer = await box(hud, '#qv-ai-drawer');
    assert.deepEqual([panel.left, panel.top, panel.width], [0, 0, 400]);
    assert.deepEqual([drawer.left, drawer.width], [400, 880]);
    assert.equal(await hud.visible('#qv-cot-modal'), true, 'COT card inline');
    assert.equal(await hud.visible('#qv-ai-half-btn'), false);
    assert.equal(await hud.text('#qv-ai-close-btn'), '\u2715 Close Window');
    assert.equal(await hud.attr('#qv-ai-close-btn', 'title'), 'Close AI Studio Window');
    assert.equal(await hud.text('.qv-ai-title'), 'QUORVALE AI COPILOT STUDIO');

    // the column border resizes the left column within 260 .. width - 360
    const r = await box(hud, '#qv-drawer-resizer');
    await page.mouse.move(r.left + 4, 300);
    await page.mouse.down();
    await page.mouse.move(100, 300, { steps: 3 });
    assert.equal((await box(hud, '#qv-hud-panel')).width, 260);
    await page.mouse.move(1200, 300, { steps: 3 });
    assert.equal((await box(hud, '#qv-hud-panel')).width, 920);
    await page.mouse.move(500, 300, { steps: 3 });
    await page.mouse.up();
    assert.equal(await page.evaluate(() => localStorage.qv_studio_left_w), '500px');
    assert.equal(await page.evaluate(() => document.getElementById('qv-hud-host').style.getPropertyValue('--qv-studio-left-w')), '500px');

    await hud.click('#qv-ai-close-btn');
    assert.equal(await hud.call('#qv-ai-drawer', function () { return this.classList.contains('qv-drawer-open'); }), true);
    const msgs = await posted();
    assert.deepEqual(msgs.filter((m) => m === 'CLOSE_STUDIO'), ['CLOSE_STUDIO']);
    assert.deepEqual(msgs.filter((m) => m.startsWith('SYNC:')), []);
    assert.equal(page.url(), 'https://quorvale-data.example/headless.html');
  });
});
