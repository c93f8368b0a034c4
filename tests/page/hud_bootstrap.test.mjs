// Bootstrap and layout: one build per document inside the closed root, nothing in frames or
// other origins, the host element put back, the stored layout as a layout wish only, drag
// clamping, drawer widths, the studio page's two columns, and the move of stored settings
// to the host.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { buildFirstHalf, launch, openChart, openStudio, openPage, hudReady, withPage, waitFor, fakeHost } from './lib/harness.mjs';

let browser;
let script;
before(async () => { script = buildFirstHalf(); browser = await launch(); });
after(async () => { await browser.close(); });

const box = (hud, sel) => hud.box(sel).then((r) => ({ left: r.left, top: r.top, width: r.width }));

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

// An earlier version kept settings and keys in the site's storage: they go to the host once
// and leave the storage only after the host's answer, so nothing is lost on the way.
const OLD_STORAGE = {
  qv_byok_vault: JSON.stringify({ gemini: 'AIza-old', claude: 'sk-ant-old', openrouter_model: 'x/y', tg_token: '123:OLD', tg_chatid: '77', other: 'z' }),
  qv_default_risk_pct: '0.5', qv_hour_start: '', qv_sess_nypm: 'true', qv_hud_mode: 'RISK', qv_hud_risk_val: '2.5',
  qv_active_strategy: 'ict_silver', qv_max_spread_pts: 'junk', qv_autotrader: '1', qv_hud_sl: '20', qv_hud_x: '300',
};
const MOVED = Object.keys(OLD_STORAGE).filter((k) => k !== 'qv_hud_x');

test('stored settings and keys move to the host once and leave the storage after its answer', async () => {
  const host = fakeHost({ settings: { max_dd: 3 } });
  await withPage(() => openChart(browser, script, { host, storage: OLD_STORAGE }), async ({ page, hud, posted }) => {
    await hudReady(page);
    const all = await posted();
    const migrate = all.filter((m) => m.startsWith('MIGRATE:'));
    assert.equal(migrate.length, 1);
    assert.ok(all.indexOf(migrate[0]) < all.indexOf('HUD_READY'), 'before the announcement');
    assert.deepEqual(JSON.parse(migrate[0].slice('MIGRATE:'.length)), {
      settings: { risk_pct: 0.5, sess_nypm: true, hour_start: null, active_strategy: 'ict_silver', hud_mode: 'RISK', hud_risk_val: '2.5' },
      secrets: { gemini: 'AIza-old', claude: 'sk-ant-old', openrouter_model: 'x/y' },
    }, 'neither the AutoTrader\'s switch nor the Telegram relay, nothing unreadable');
    await waitFor(() => page.evaluate((keys) => keys.every((k) => localStorage.getItem(k) === null), MOVED), 'the storage emptied');
    assert.equal(await page.evaluate(() => localStorage.getItem('qv_hud_x')), '300', 'the layout stays');
    assert.deepEqual([host.settings.max_dd, host.settings.risk_pct], [3, 0.5], 'the host filled what it lacked');
    assert.equal(await hud.text('#qv-mode-toggle'), 'RISK: %');
    assert.equal(await hud.value('#qv-size-input'), '2.5%');
    assert.match(await hud.text('#qv-vault-open-btn'), /Keys Connected/);
    assert.equal(await hud.text('#qv-auto-label'), 'AutoTrader: OFF');
    // written again by the site after the move: never read, never sent as the HUD's
    await page.evaluate(() => { localStorage.setItem('qv_hud_mode', 'LOT'); localStorage.setItem('qv_autotrader', '1'); });
    await page.waitForTimeout(1200);
    assert.equal(await hud.text('#qv-mode-toggle'), 'RISK: %');
    assert.equal((await posted()).filter((m) => m.startsWith('MIGRATE:')).length, 1);
  });
  // Without the host's answer, or with its "not taken", nothing is erased; with nothing
  // stored nothing is sent.
  const refusing = fakeHost();
  const answer = refusing.post;
  refusing.post = (m, page) => (m.startsWith('MIGRATE:') ? page.push({ type: 'migrated', ok: false, reason: 'store not writable' }) : answer(m, page));
  for (const host of [fakeHost({ quiet: true }), refusing]) {
    await withPage(() => openChart(browser, script, { host, storage: OLD_STORAGE }), async ({ page, posted }) => {
      await hudReady(page);
      await page.waitForTimeout(500);
      assert.equal((await posted()).filter((m) => m.startsWith('MIGRATE:')).length, 1);
      assert.deepEqual(await page.evaluate((keys) => keys.filter((k) => localStorage.getItem(k) === null), MOVED), []);
    });
  }
  await withPage(() => openChart(browser, script, { storage: { qv_hud_x: '300' } }), async ({ page, posted }) => {
    await hudReady(page);
    assert.deepEqual((await posted()).filter((m) => m.startsWith('MIGRATE:')), []);
  });
});

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
