// The HUD's own sheet: the title fits the panel in a font of Segoe UI's widths, emoji draw,
// and no rule of the page can hide, fade or move the host element.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { buildPanelHud, launch, openChart, hudReady, withPage, box } from './lib/harness.mjs';

let browser;
let script;
before(async () => { script = buildPanelHud(); browser = await launch(); });
after(async () => { await browser.close(); });

// The fonts the page really drew a node with, as Chromium reports them.
async function platformFonts(hud, selector) {
  await hud.cdp.send('CSS.enable');
  const { fonts } = await hud.cdp.send('CSS.getPlatformFontsForNode', { nodeId: await hud.node(selector) });
  return fonts.map((f) => f.familyName);
}

test('the header shows the whole title in a font of Segoe UI\'s widths, and emoji draw', async () => {
  await withPage(() => openChart(browser, script), async ({ page, hud }) => {
    await hudReady(page);
    const title = await hud.root(function () {
      const t = this.querySelector('.qv-hud-title');
      const panel = this.getElementById('qv-hud-panel');
      return { text: t.textContent, scroll: t.scrollWidth, client: t.clientWidth, panel: panel.getBoundingClientRect().width };
    });
    assert.equal(title.panel, 295);
    assert.equal(title.text, 'QUORVALE WORKSPACE');
    // A wider fallback (DejaVu Sans) clipped it to "QUORVALE WORKSP.".
    assert.ok(title.scroll <= title.client, `title ${title.scroll} px in ${title.client} px`);
    // Open positions widen the badge beside it (it cut the title to "QUORVALE WORKSP"): a
    // usual figure keeps one header line, a wide one moves the buttons down, never cutting.
    const header = (badge) => hud.root(function (text) {
      this.getElementById('qv-pnl-badge').textContent = text;
      const t = this.querySelector('.qv-hud-title');
      const h = this.getElementById('qv-hud-header');
      return { scroll: t.scrollWidth, client: t.clientWidth, over: h.scrollWidth - h.clientWidth, height: h.getBoundingClientRect().height };
    }, badge);
    const idle = await header('PnL: $0.00');
    for (const badge of ['PnL: -$1.80 (1)', 'PnL: -$12345.67 (12)']) {
      const shown = await header(badge);
      assert.ok(shown.scroll <= shown.client && shown.over <= 0, `${badge}: title ${shown.scroll} px in ${shown.client} px, header over by ${shown.over} px`);
      if (badge === 'PnL: -$1.80 (1)') assert.equal(shown.height, idle.height, 'a usual badge keeps one header line');
    }
    const [family] = await platformFonts(hud, '.qv-hud-title span');
    assert.ok(['Segoe UI', 'Selawik', 'Liberation Sans', 'Arial'].includes(family), `title drawn in ${family}`);
    await hud.root(function () {
      const probe = document.createElement('span');
      probe.id = 'qv-emoji-probe';
      probe.textContent = '\u{1F916}\u{1F3AF}\u2705';
      this.getElementById('qv-hud-panel').appendChild(probe);
    });
    const emoji = await platformFonts(hud, '#qv-emoji-probe');
    assert.ok(emoji.length > 0 && emoji.every((f) => /emoji/i.test(f)), `emoji drawn in ${emoji.join(', ')}`);
  });
});

test('page rules cannot hide, fade or move the HUD', async () => {
  await withPage(() => openChart(browser, script), async ({ page, hud }) => {
    await hudReady(page);
    const before = await box(hud, '#qv-hud-panel');
    await page.evaluate(() => {
      const s = document.createElement('style');
      s.textContent = '#qv-hud-host, div:last-child { display: none !important; opacity: 0 !important; transform: translate(-3000px, 0) !important; visibility: hidden !important; }';
      document.head.appendChild(s);
      const host = document.getElementById('qv-hud-host');
      host.style.setProperty('display', 'none', 'important');
      host.style.setProperty('pointer-events', 'none', 'important');
    });
    assert.equal(await hud.visible('#qv-hud-panel'), true);
    assert.deepEqual(await box(hud, '#qv-hud-panel'), before);
    assert.deepEqual(await page.evaluate(() => { const s = getComputedStyle(document.getElementById('qv-hud-host')); return [s.display, s.opacity, s.visibility, s.transform, s.pointerEvents]; }),
      ['block', '1', 'visible', 'none', 'auto']);
  });
});
