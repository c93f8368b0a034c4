// Dragging the panel by its header: clamped to the window, stored at every move, and no drag
// from a press on a header button.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { buildPanelHud, launch, openChart, hudReady, withPage, box } from './lib/harness.mjs';

let browser;
let script;
before(async () => { script = buildPanelHud(); browser = await launch(); });
after(async () => { await browser.close(); });

test('dragging clamps to the window and is stored at every move', async () => {
  await withPage(() => openChart(browser, script, { viewport: { width: 1000, height: 700 } }), async ({ page, hud }) => {
    await hudReady(page);
    const drag = async (dx, dy) => {
      const b = await box(hud, '#qv-hud-header');
      await page.mouse.move(b.left + 60, b.top + 8);
      await page.mouse.down();
      await page.mouse.move(b.left + 60 + dx, b.top + 8 + dy, { steps: 4 });
      await page.mouse.up();
      return box(hud, '#qv-hud-panel').then((p) => [p.left, p.top]);
    };
    assert.deepEqual(await drag(2000, 2000), [700, 620], 'width - 300, height - 80');
    assert.deepEqual(await page.evaluate(() => [localStorage.qv_hud_x, localStorage.qv_hud_y]), ['700', '620']);
    assert.deepEqual(await drag(-3000, -3000), [10, 10]);
    assert.deepEqual(await drag(100, 50), [110, 60]);
    // a press on a header button is not a drag
    const before = await box(hud, '#qv-hud-panel');
    const min = await box(hud, '#qv-btn-min');
    await page.mouse.move(min.left + 5, min.top + 5);
    await page.mouse.down();
    await page.mouse.move(min.left + 200, min.top + 200, { steps: 3 });
    await page.mouse.up();
    assert.deepEqual(await box(hud, '#qv-hud-panel').then((p) => [p.left, p.top]), [before.left, before.top]);
  });
});
