// Chat input, quick-action chips and the studio welcome card.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { buildHud, launch, openChart, openStudio, hudReady, openDrawer } from './lib/harness.mjs';

let browser;
let script;
before(async () => { script = buildHud([]); browser = await launch(); });
after(async () => { await browser.close(); });

async function withChat(opts, fn) {
  const calls = [];
  const p = await (opts.studio ? openStudio : openChart)(browser, script, {
    chart: opts.chart,
    files: opts.files,
    storage: { qv_byok_vault: JSON.stringify({ openai: 'sk-proj-chat' }), ...opts.storage },
    providers: { 'https://api.openai.com/': async (req) => {
      calls.push(JSON.parse(req.postData()));
      return { body: { choices: [{ message: { content: 'Answer.' } }] } };
    } },
  });
  try {
    await hudReady(p.page);
    if (!opts.studio) await openDrawer(p.page);
    if (!opts.keepModel) await p.page.selectOption('#qv-ai-model-select', 'gpt-4o');
    await fn(p.page, calls);
    assert.deepEqual(p.errors.map(String), []);
  } finally {
    await p.close();
  }
}

const userMessages = (page) => page.evaluate(() =>
  [...document.querySelectorAll('.qv-msg-user')].map((m) => ({ meta: m.querySelector('.qv-msg-meta').textContent, text: m.lastChild.textContent, imgs: m.querySelectorAll('img').length })));

test('Enter sends, Shift+Enter breaks the line, empty text sends nothing', async () => {
  await withChat({}, async (page, calls) => {
    await page.fill('#qv-ai-textarea', '   ');
    await page.press('#qv-ai-textarea', 'Enter');
    await page.click('#qv-ai-send-btn');
    assert.deepEqual(await userMessages(page), []);

    await page.fill('#qv-ai-textarea', 'line one');
    await page.press('#qv-ai-textarea', 'Shift+Enter');
    await page.type('#qv-ai-textarea', '<img src=x onerror="window.__pwned=1"> any signal?');
    assert.equal(await page.inputValue('#qv-ai-textarea'), 'line one\n<img src=x onerror="window.__pwned=1"> any signal?');
    assert.deepEqual(await userMessages(page), []);
    await page.press('#qv-ai-textarea', 'Enter');
    await page.waitForFunction(() => document.querySelectorAll('.qv-msg-ai').length >= 2 &&
      document.getElementById('qv-ai-chat-body').textContent.includes('Answer.'));
    assert.deepEqual(await userMessages(page), [{ meta: 'YOU', text: 'line one\n<img src=x onerror="window.__pwned=1"> any signal?', imgs: 0 }]);
    assert.equal(await page.inputValue('#qv-ai-textarea'), '');
    assert.equal(await page.evaluate(() => window.__pwned), undefined);
    assert.equal(calls.length, 1);
    assert.equal(calls[0].messages[1].content[0].text, 'line one\n<img src=x onerror="window.__pwned=1"> any signal?');
    assert.ok(calls[0].messages[0].content.includes('6. TRADE PROPOSAL JSON BLOCK:'), '"signal" asks for a setup');
  });
});

// No chart source names a symbol here, so the chips fall back to the snapshot's.
test('chips show their message and send their prompt', async () => {
  await withChat({ chart: { api: null, toolbar: null }, files: { 'QV_AICopilotData.json': { Symbol: 'EURUSD', CurrentPrice: 1.08 } },
    storage: { qv_constitution_daily_loss: '3.5', qv_default_risk_pct: '0.5' } }, async (page, calls) => {
    const expect = [
      ['#qv-chip-risk', 'Audit current open risk and exposure for EURUSD against my -3.5% daily drawdown limit (target risk: 0.5% per trade).',
        'Audit open positions and calculate total floating risk for EURUSD against prop firm daily loss limit of -3.5%. Write all calculations in human-readable plain text without LaTeX math symbols.', false],
      ['#qv-chip-cot', 'Evaluate institutional CFTC COT positioning against active technical price action for EURUSD.',
        'Analyze COT institutional smart money accumulation/distribution for EURUSD and reconcile with active chart structure.', false],
      ['#qv-chip-vision', 'Analyze current live chart screenshot and price action for EURUSD. Highlight market structure, key levels, and generate an institutional trade card.',
        'Perform complete multimodal vision scan and market structure analysis for EURUSD with trade setup card.', true],
      ['#qv-chip-setup', 'Generate the highest probability institutional setup for EURUSD right now.',
        'Generate the highest probability institutional setup for EURUSD right now based on active chart price action, market structure, and key levels.', true],
    ];
    for (let i = 0; i < expect.length; i++) {
      await page.click(expect[i][0]);
      await page.waitForFunction((n) => document.querySelectorAll('#qv-ai-chat-body .qv-msg-text').length >= n &&
        [...document.querySelectorAll('.qv-msg-ai')].filter((m) => m.textContent.includes('Answer.')).length >= n, i + 1);
    }
    const users = await userMessages(page);
    assert.deepEqual(users.map((u) => u.text), expect.map((e) => e[1]));
    assert.deepEqual(calls.map((c) => c.messages[1].content[0].text), expect.map((e) => e[2]));
    assert.deepEqual(calls.map((c) => c.messages[0].content.includes('6. TRADE PROPOSAL JSON BLOCK:')), expect.map((e) => e[3]));
  });
});

test('studio welcome card: key notice, Enter Keys, tiles click the chips', async () => {
  await withChat({ studio: true, keepModel: true, storage: { qv_byok_vault: '{}' } }, async (page) => {
    await page.waitForSelector('.qv-studio-welcome');
    const text = await page.textContent('.qv-studio-welcome');
    assert.ok(text.includes('QUORVALE AI COPILOT STUDIO'));
    assert.ok(text.includes('MT5 Sentinel Connected'));
    assert.ok(text.includes('Ready for autonomous market analysis on XAUUSD • H1 (Reference: Live). Multimodal vision & CFTC COT models active.'));
    assert.ok(text.includes('AI Keys Required:'));
    assert.equal(await page.evaluate(() => document.querySelectorAll('#qv-welcome-card').length), 0, 'the chart welcome is not shown in the studio');
    await page.click('#qv-init-key-btn');
    assert.equal(await page.evaluate(() => document.getElementById('qv-tab-content-keys').style.display), 'flex');
    await page.fill('#qv-key-gemini', 'AIzaStudio');
    await page.click('#qv-vault-save');
    assert.equal(await page.isVisible('#qv-studio-key-notice'), false, 'a saved key hides the notice');
    await page.click('#qv-init-cot-btn');
    await page.waitForFunction(() => [...document.querySelectorAll('.qv-msg-user')].some((m) => m.textContent.includes('Evaluate institutional CFTC COT')));
  });
});
