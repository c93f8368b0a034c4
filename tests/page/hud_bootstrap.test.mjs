// Bootstrap and layout: one build per document, nothing in frames, rebuild with the
// stored state, drag clamping, drawer widths and the studio page's two columns.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { buildFirstHalf, launch, openChart, openStudio, hudReady, posted, withPage, waitFor } from './lib/harness.mjs';
import { openPage } from './lib/second_half.mjs';

let browser;
let script;
before(async () => { script = buildFirstHalf(); browser = await launch(); });
after(async () => { await browser.close(); });

const count = (page, sel) => page.evaluate((s) => document.querySelectorAll(s).length, sel);
const box = (page, sel) => page.evaluate((s) => {
  const r = document.querySelector(s).getBoundingClientRect();
  return { left: r.left, top: r.top, width: r.width };
}, sel);

test('two injections build one HUD and frames build none', async () => {
  await withPage(() => openChart(browser, script, { injectTwice: true, frame: true }), async (page) => {
    await hudReady(page);
    // a third, late injection into the finished document changes nothing either
    await page.evaluate(script);
    await page.waitForTimeout(1300);
    for (const id of ['qv-hud-panel', 'qv-ai-drawer', 'qv-vault-modal', 'qv-hud-styles', 'qv-crosshair-guide', 'qv-hud-restore-btn']) {
      assert.equal(await count(page, '#' + id), 1, id);
    }
    assert.deepEqual((await posted(page)).filter((m) => m.startsWith('SYNC:')), ['SYNC:NDX'], 'one sync loop');
    const frame = page.frame({ url: /frame\.html/ });
    assert.ok(frame, 'the frame loaded');
    assert.equal(await frame.evaluate(() => document.querySelectorAll('[id^="qv-"]').length), 0);
    assert.deepEqual(await frame.evaluate(() => window.__posted), []);
    assert.equal(await frame.evaluate(() => window.__quorvale_hud_installed), undefined);
  });
});

// The fonts the page really drew a node with, as Chromium reports them.
async function platformFonts(page, selector) {
  const cdp = await page.context().newCDPSession(page);
  try {
    await cdp.send('DOM.enable');
    await cdp.send('CSS.enable');
    const { root } = await cdp.send('DOM.getDocument', { depth: -1 });
    const { nodeId } = await cdp.send('DOM.querySelector', { nodeId: root.nodeId, selector });
    const { fonts } = await cdp.send('CSS.getPlatformFontsForNode', { nodeId });
    return fonts.map((f) => f.familyName);
  } finally {
    await cdp.detach();
  }
}

test('the header shows the whole title in a font of Segoe UI\'s widths, and emoji draw', async () => {
  await withPage(() => openChart(browser, script), async (page) => {
    await hudReady(page);
    const title = await page.evaluate(() => {
      const t = document.querySelector('.qv-hud-title');
      const panel = document.getElementById('qv-hud-panel');
      return { text: t.textContent, scroll: t.scrollWidth, client: t.clientWidth, panel: panel.getBoundingClientRect().width };
    });
    assert.equal(title.panel, 295);
    assert.equal(title.text, 'QUORVALE WORKSPACE');
    // A wider fallback (DejaVu Sans) clipped it to "QUORVALE WORKSP.".
    assert.ok(title.scroll <= title.client, `title ${title.scroll} px in ${title.client} px`);
    // Open positions widen the badge beside it (it cut the title to "QUORVALE WORKSP"): a
    // usual figure keeps one header line, a wide one moves the buttons down, never cutting.
    const header = (badge) => page.evaluate((text) => {
      document.getElementById('qv-pnl-badge').textContent = text;
      const t = document.querySelector('.qv-hud-title');
      const h = document.getElementById('qv-hud-header');
      return { scroll: t.scrollWidth, client: t.clientWidth, over: h.scrollWidth - h.clientWidth, height: h.getBoundingClientRect().height };
    }, badge);
    const idle = await header('PnL: $0.00');
    for (const badge of ['PnL: -$1.80 (1)', 'PnL: -$12345.67 (12)']) {
      const shown = await header(badge);
      assert.ok(shown.scroll <= shown.client && shown.over <= 0, `${badge}: title ${shown.scroll} px in ${shown.client} px, header over by ${shown.over} px`);
      if (badge === 'PnL: -$1.80 (1)') assert.equal(shown.height, idle.height, 'a usual badge keeps one header line');
    }
    const [family] = await platformFonts(page, '.qv-hud-title span');
    assert.ok(['Segoe UI', 'Selawik', 'Liberation Sans', 'Arial'].includes(family), `title drawn in ${family}`);
    await page.evaluate(() => {
      const probe = document.createElement('span');
      probe.id = 'qv-emoji-probe';
      probe.textContent = '\u{1F916}\u{1F3AF}\u2705';
      document.getElementById('qv-hud-panel').appendChild(probe);
    });
    const emoji = await platformFonts(page, '#qv-emoji-probe');
    assert.ok(emoji.length > 0 && emoji.every((f) => /emoji/i.test(f)), `emoji drawn in ${emoji.join(', ')}`);
  });
});

test('another origin builds nothing, and a page script that replaces postMessage sees no message', async () => {
  await withPage(() => openPage(browser, { script, url: 'https://accounts.example/signin', pageOrigins: ['https://accounts.example/'] }), async (page) => {
    await page.waitForTimeout(1300);
    assert.equal(await count(page, '[id^="qv-"]'), 0);
    assert.deepEqual(await posted(page), []);
  });
  await withPage(() => openChart(browser, script, { fixedTime: new Date('2026-03-04T12:00:00Z') }), async (page) => {
    await hudReady(page);
    await page.evaluate(() => {
      window.__stolen = [];
      window.chrome.webview.postMessage = (m) => window.__stolen.push(m);
    });
    await page.click('#qv-btn-buy');
    await waitFor(async () => (await posted(page)).some((m) => m.startsWith('TRADE:')), 'the order message');
    assert.deepEqual(await page.evaluate(() => window.__stolen), []);
    assert.ok((await posted(page)).every((m) => !m.startsWith('(unsigned)')), 'every message carries the secret');
  });
});

test('a removed panel returns within about a second with stored place, collapse and hide', async () => {
  const storage = { qv_hud_x: '400', qv_hud_y: '300', qv_hud_collapsed: '1' };
  await withPage(() => openChart(browser, script, { storage }), async (page) => {
    await hudReady(page);
    assert.deepEqual(await box(page, '#qv-hud-panel'), { left: 400, top: 300, width: await page.evaluate(() => document.getElementById('qv-hud-panel').getBoundingClientRect().width) });
    assert.equal(await page.textContent('#qv-btn-min'), '+');
    assert.ok((await page.getAttribute('#qv-hud-panel', 'class')).includes('qv-collapsed'));
    assert.ok((await box(page, '#qv-hud-panel')).width >= 260, 'collapsed panel keeps its minimum width');

    await page.click('#qv-btn-hide');
    assert.equal(await page.isVisible('#qv-hud-panel'), false);
    assert.deepEqual(await box(page, '#qv-hud-restore-btn').then((b) => [b.left, b.top]), [400, 300]);

    const t0 = Date.now();
    await page.evaluate(() => document.getElementById('qv-hud-panel').remove());
    await page.waitForSelector('#qv-hud-panel', { state: 'attached', timeout: 2500 });
    assert.ok(Date.now() - t0 < 2000, 'rebuilt by the once-a-second install');
    assert.equal(await count(page, '#qv-ai-drawer'), 1, 'the old drawer is replaced, not duplicated');
    assert.equal(await page.isVisible('#qv-hud-panel'), false, 'still hidden');
    assert.equal(await page.isVisible('#qv-hud-restore-btn'), true);
    await page.click('#qv-hud-restore-btn');
    assert.equal(await page.isVisible('#qv-hud-panel'), true);
    assert.equal(await page.isVisible('#qv-hud-restore-btn'), false);
    assert.deepEqual(await box(page, '#qv-hud-panel').then((b) => [b.left, b.top]), [400, 300]);
    assert.ok((await page.getAttribute('#qv-hud-panel', 'class')).includes('qv-collapsed'));
    await page.click('#qv-btn-min');
    assert.equal(await page.textContent('#qv-btn-min'), '\u2212');
    assert.deepEqual(await page.evaluate(() => [localStorage.qv_hud_collapsed, localStorage.qv_hud_hidden]), ['0', '0']);
  });
  // only one of the two coordinates stored: the sheet's place stands
  await withPage(() => openChart(browser, script, { storage: { qv_hud_x: '500', qv_hud_y: 'junk' } }), async (page) => {
    await hudReady(page);
    assert.deepEqual(await box(page, '#qv-hud-panel').then((b) => [b.left, b.top, b.width]), [65, 55, 295]);
  });
});

test('dragging clamps to the window and is stored at every move', async () => {
  await withPage(() => openChart(browser, script, { viewport: { width: 1000, height: 700 } }), async (page) => {
    await hudReady(page);
    const drag = async (dx, dy) => {
      const b = await box(page, '#qv-hud-header');
      await page.mouse.move(b.left + 60, b.top + 8);
      await page.mouse.down();
      await page.mouse.move(b.left + 60 + dx, b.top + 8 + dy, { steps: 4 });
      await page.mouse.up();
      return box(page, '#qv-hud-panel').then((p) => [p.left, p.top]);
    };
    assert.deepEqual(await drag(2000, 2000), [700, 620], 'width - 300, height - 80');
    assert.deepEqual(await page.evaluate(() => [localStorage.qv_hud_x, localStorage.qv_hud_y]), ['700', '620']);
    assert.deepEqual(await drag(-3000, -3000), [10, 10]);
    assert.deepEqual(await drag(100, 50), [110, 60]);
    // a press on a header button is not a drag
    const before = await box(page, '#qv-hud-panel');
    const min = await box(page, '#qv-btn-min');
    await page.mouse.move(min.left + 5, min.top + 5);
    await page.mouse.down();
    await page.mouse.move(min.left + 200, min.top + 200, { steps: 3 });
    await page.mouse.up();
    assert.deepEqual(await box(page, '#qv-hud-panel').then((p) => [p.left, p.top]), [before.left, before.top]);
  });
});

test('drawer: toggle, half and full widths, resizer, width kept for the next build', async () => {
  await withPage(() => openChart(browser, script), async (page) => {
    await hudReady(page);
    const open = () => page.evaluate(() => document.getElementById('qv-ai-drawer').classList.contains('qv-drawer-open'));
    const width = () => page.evaluate(() => Math.round(document.getElementById('qv-ai-drawer').getBoundingClientRect().width));
    assert.equal(await open(), false);
    await page.click('#qv-btn-ai-toggle');
    assert.equal(await open(), true);
    assert.equal(await page.textContent('#qv-ai-sym-badge'), 'NDX');
    assert.equal(await page.evaluate(() => document.activeElement.id), 'qv-ai-textarea');
    await page.waitForTimeout(350);  // slide-in
    assert.equal(await width(), 385);
    await page.click('#qv-ai-half-btn');
    assert.equal(await width(), 640);
    await page.click('#qv-ai-half-btn');
    assert.equal(await width(), 385, 'the half button twice returns to 385 px');
    await page.click('#qv-ai-full-btn');
    assert.equal(await width(), 1088);
    assert.equal(await page.evaluate(() => localStorage.qv_ai_width), '85vw');
    await page.click('#qv-ai-full-btn');
    assert.equal(await width(), 385);

    const r = await box(page, '#qv-drawer-resizer');
    await page.mouse.move(r.left + 3, 400);
    await page.mouse.down();
    assert.ok((await page.getAttribute('#qv-drawer-resizer', 'class')).includes('qv-resizing'));
    await page.mouse.move(1260, 400, { steps: 3 });
    assert.equal(await width(), 340, 'no narrower than 340 px');
    await page.mouse.move(2, 400, { steps: 3 });
    assert.equal(await page.evaluate(() => document.getElementById('qv-ai-drawer').style.width), '1220px', 'no wider than the window - 60 px');
    assert.equal(await width(), 1216, 'and the sheet caps it at 95 % of the window');
    await page.mouse.move(700, 400, { steps: 3 });
    await page.mouse.up();
    assert.ok(!(await page.getAttribute('#qv-drawer-resizer', 'class') || '').includes('qv-resizing'));
    assert.equal(await page.evaluate(() => localStorage.qv_ai_width), '580px');

    await page.click('#qv-ai-close-btn');
    assert.equal(await open(), false);
    assert.deepEqual((await posted(page)).filter((m) => m === 'CLOSE_STUDIO'), []);
    await page.evaluate(() => document.getElementById('qv-hud-panel').remove());
    await page.waitForSelector('#qv-hud-panel', { state: 'attached', timeout: 2500 });
    assert.equal(await page.evaluate(() => document.getElementById('qv-ai-drawer').style.width), '580px');
  });
});

test('studio page: two columns, close message, no guide, restore button or sync', async () => {
  const storage = { qv_studio_left_w: '400px', qv_hud_hidden: '1' };
  await withPage(() => openStudio(browser, script, { storage }), async (page, p) => {
    await hudReady(page);
    await page.waitForTimeout(1000);
    assert.equal(await count(page, '#qv-crosshair-guide'), 0);
    assert.equal(await count(page, '#qv-hud-restore-btn'), 0);
    assert.equal(await page.isVisible('#qv-hud-panel'), true, 'a stored hide cannot strand the studio column');
    const panel = await box(page, '#qv-hud-panel');
    const drawer = await box(page, '#qv-ai-drawer');
    assert.deepEqual([panel.left, panel.top, panel.width], [0, 0, 400]);
    assert.deepEqual([drawer.left, drawer.width], [400, 880]);
    assert.equal(await page.isVisible('#qv-cot-modal'), true, 'COT card inline');
    assert.equal(await page.isVisible('#qv-ai-half-btn'), false);
    assert.equal(await page.textContent('#qv-ai-close-btn'), '\u2715 Close Window');
    assert.equal(await page.getAttribute('#qv-ai-close-btn', 'title'), 'Close AI Studio Window');
    assert.equal(await page.textContent('.qv-ai-title'), 'QUORVALE AI COPILOT STUDIO');

    // the column border resizes the left column within 260 .. width - 360
    const r = await box(page, '#qv-drawer-resizer');
    await page.mouse.move(r.left + 4, 300);
    await page.mouse.down();
    await page.mouse.move(100, 300, { steps: 3 });
    assert.equal((await box(page, '#qv-hud-panel')).width, 260);
    await page.mouse.move(1200, 300, { steps: 3 });
    assert.equal((await box(page, '#qv-hud-panel')).width, 920);
    await page.mouse.move(500, 300, { steps: 3 });
    await page.mouse.up();
    assert.equal(await page.evaluate(() => localStorage.qv_studio_left_w), '500px');
    assert.equal(await page.evaluate(() => document.body.style.getPropertyValue('--qv-studio-left-w')), '500px');

    await page.click('#qv-ai-close-btn');
    assert.equal(await page.evaluate(() => document.getElementById('qv-ai-drawer').classList.contains('qv-drawer-open')), true);
    const msgs = await posted(page);
    assert.deepEqual(msgs.filter((m) => m === 'CLOSE_STUDIO'), ['CLOSE_STUDIO']);
    assert.deepEqual(msgs.filter((m) => m.startsWith('SYNC:')), []);
    assert.equal(p.page.url(), 'https://quorvale-data.example/headless.html');
  });
});

test('start-up key push only with a stored key, members in order', async () => {
  const vault = JSON.stringify({ claude: 'sk-ant-x', gemini: 'AIza-y', other: 'z' });
  await withPage(() => openChart(browser, script, { storage: { qv_byok_vault: vault, qv_autotrader: '1' } }), async (page) => {
    await hudReady(page);
    const first = await waitFor(async () => (await posted(page)).find((m) => m.startsWith('VAULT_CFG:')), 'VAULT_CFG');
    assert.equal(first, 'VAULT_CFG:{"gemini":"AIza-y","deepseek":"","openrouter":"","openai":"","claude":"sk-ant-x","autotrader":1}');
  });
  for (const raw of ['{"gemini":""}', 'not json', '[1,2]']) {
    await withPage(() => openChart(browser, script, { storage: { qv_byok_vault: raw } }), async (page) => {
      await hudReady(page);
      await page.waitForTimeout(300);
      assert.deepEqual((await posted(page)).filter((m) => m.startsWith('VAULT_CFG:')), [], raw);
    });
  }
});
