// The copilot's first words in the chat: on a chart page the card that says where to put a
// key, replaced where it stood by the online card once one is stored; on the studio page its
// welcome with the key notice, the vault's keys tab and the tiles that run the chips.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { buildHud, launch, openChart, openStudio, hudReady, openDrawer, withPage, waitFor } from './lib/harness.mjs';

let browser;
let script;
before(async () => { script = buildHud([]); browser = await launch(); });
after(async () => { await browser.close(); });

test('welcome card and vault face with and without keys', async () => {
  await withPage(() => openChart(browser, script), async (p) => {
    await hudReady(p);
    await openDrawer(p);
    const { hud } = p;
    assert.match(await hud.text('#qv-vault-open-btn'), /API Keys \(BYOK\)/);
    assert.ok((await hud.text('#qv-ai-chat-body')).includes('Where to Put Your API Key:'));
    await hud.click('#qv-welcome-card .qv-vault-callout-btn');
    await hud.fill('#qv-key-claude', 'sk-ant-x');
    await hud.click('#qv-vault-save');
    await waitFor(() => hud.root(function () { return this.getElementById('qv-welcome-card').textContent.includes('Institutional AI Copilot Online'); }), 'the online card');
    const meta = await hud.root(function () { return this.getElementById('qv-welcome-card').closest('.qv-msg').querySelector('.qv-msg-meta').textContent; });
    assert.match(meta, /^QUORVALE AI SENTINEL • /);
  });
});

test('studio welcome card: key notice, Enter Keys, tiles run the chips', async () => {
  await withPage(() => openStudio(browser, script), async (p) => {
    await hudReady(p);
    const { hud } = p;
    await hud.waitFor('.qv-studio-welcome');
    const text = await hud.text('.qv-studio-welcome');
    assert.ok(text.includes('QUORVALE AI COPILOT STUDIO'));
    assert.ok(text.includes('MT5 Sentinel Connected'));
    assert.ok(text.includes('Ready for autonomous market analysis on XAUUSD • H1 (Reference: Live). Multimodal vision & CFTC COT models active.'));
    assert.ok(text.includes('AI Keys Required:'));
    assert.equal(await hud.count('#qv-welcome-card'), 0, 'the chart welcome is not shown in the studio');
    await hud.click('#qv-init-key-btn');
    assert.equal(await hud.call('#qv-tab-content-keys', function () { return this.style.display; }), 'flex');
    await hud.fill('#qv-key-gemini', 'AIzaStudio');
    await hud.click('#qv-vault-save');
    await hud.waitFor('#qv-studio-key-notice', { state: 'hidden' });
    await hud.click('#qv-init-cot-btn');
    await hud.waitForRoot(function () {
      return [...this.querySelectorAll('.qv-msg-user')].some((m) => m.textContent.includes('Evaluate institutional CFTC COT'));
    }, [], 5000, 'the tile\'s chip message');
  });
});
