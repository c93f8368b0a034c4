// The PnL badge from the host's positions push.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { buildPanelHud, launch, openChart, hudReady, withPage } from './lib/harness.mjs';

let browser;
let script;
before(async () => { script = buildPanelHud(); browser = await launch(); });
after(async () => { await browser.close(); });

// The host pushes the positions file's text; the badge shows what the host's script showed:
// the open positions' profit and their count, tickets "0" left out.
test('the PnL badge from the host\'s positions push', async () => {
  const positions = JSON.stringify([{ ticket: '11', profit: 12.5 }, { ticket: '12', profit: -2.25 }, { ticket: '0', profit: 99 }, null]);
  await withPage(() => openChart(browser, script, { positions }), async ({ page, hud, push }) => {
    await hudReady(page);
    const badge = () => hud.call('#qv-pnl-badge', function () { return [this.textContent, getComputedStyle(this).color]; });
    assert.deepEqual(await badge(), ['PnL: +$10.25 (2)', 'rgb(8, 153, 129)'], 'pushed after the announcement, before any change');
    await push({ type: 'positions', text: JSON.stringify([{ ticket: '7', profit: '-1.8' }]) });
    assert.deepEqual(await badge(), ['PnL: -$1.80 (1)', 'rgb(242, 54, 69)']);
    await push({ type: 'positions', text: '[]' });
    assert.deepEqual(await badge(), ['PnL: +$0.00', 'rgb(224, 227, 235)']);
    for (const text of ['[{"ticket":"1","profit":', 'null']) {
      await push({ type: 'positions', text });
      assert.deepEqual(await badge(), ['PnL: +$0.00', 'rgb(224, 227, 235)'], 'unreadable: the badge keeps its figures');
    }
    await push({ type: 'positions', text: 42 });
    assert.deepEqual(await badge(), ['PnL: +$0.00', 'rgb(224, 227, 235)'], 'a text that is no text is no push');
  });
});
