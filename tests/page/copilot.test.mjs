// Chat input and the quick-action chips.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { buildHud, launch, openChart, hudReady, openDrawer, withPage, waitFor } from './lib/harness.mjs';

let browser;
let script;
before(async () => { script = buildHud([]); browser = await launch(); });
after(async () => { await browser.close(); });

function withChat(opts, fn) {
  const calls = [];
  const open = () => openChart(browser, script, {
    chart: opts.chart,
    files: opts.files,
    settings: opts.settings,
    secrets: opts.secrets || { openai: 'sk-proj-chat' },
    providers: { 'https://api.openai.com/': async (req) => {
      calls.push(JSON.parse(req.postData()));
      return { body: { choices: [{ message: { content: 'Answer.' } }] } };
    } },
  });
  return withPage(open, async (p) => {
    await hudReady(p);
    await openDrawer(p);
    await p.hud.select('#qv-ai-model-select', 'gpt-4o');
    await fn(p, calls);
  });
}

const userMessages = ({ hud }) => hud.root(function () {
  return [...this.querySelectorAll('.qv-msg-user')].map((m) => ({ meta: m.querySelector('.qv-msg-meta').textContent, text: m.lastChild.textContent, imgs: m.querySelectorAll('img').length }));
});

const answers = ({ hud }) => hud.root(function () {
  return [...this.querySelectorAll('.qv-msg-ai')].filter((m) => m.textContent.includes('Answer.')).length;
});

test('Enter sends, Shift+Enter breaks the line, empty text sends nothing', async () => {
  await withChat({}, async (p, calls) => {
    const { page, hud } = p;
    await hud.fill('#qv-ai-textarea', '   ');
    await hud.press('#qv-ai-textarea', 'Enter');
    await hud.click('#qv-ai-send-btn');
    assert.deepEqual(await userMessages(p), []);

    await hud.fill('#qv-ai-textarea', 'line one');
    await hud.press('#qv-ai-textarea', 'Shift+Enter');
    await page.keyboard.type('<img src=x onerror="window.__pwned=1"> any signal?');
    assert.equal(await hud.value('#qv-ai-textarea'), 'line one\n<img src=x onerror="window.__pwned=1"> any signal?');
    assert.deepEqual(await userMessages(p), []);
    await hud.press('#qv-ai-textarea', 'Enter');
    await waitFor(async () => (await answers(p)) >= 1, 'the answer');
    assert.deepEqual(await userMessages(p), [{ meta: 'YOU', text: 'line one\n<img src=x onerror="window.__pwned=1"> any signal?', imgs: 0 }]);
    assert.equal(await hud.value('#qv-ai-textarea'), '');
    assert.equal(await page.evaluate(() => window.__pwned), undefined);
    assert.equal(calls.length, 1);
    assert.equal(calls[0].messages[1].content[0].text, 'line one\n<img src=x onerror="window.__pwned=1"> any signal?');
    assert.ok(calls[0].messages[0].content.includes('6. TRADE PROPOSAL JSON BLOCK:'), '"signal" asks for a setup');
  });
});

// No chart source names a symbol here, so the chips fall back to the snapshot's.
test('chips show their message and send their prompt', async () => {
  await withChat({ chart: { api: null, toolbar: null }, files: { 'QV_AICopilotData.json': { Symbol: 'EURUSD', CurrentPrice: 1.08 } },
    settings: { max_dd: 3.5, risk_pct: 0.5 } }, async (p, calls) => {
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
    // A chip clicked by script starts nothing.
    await p.hud.root(function () { this.getElementById('qv-chip-risk').click(); });
    for (let i = 0; i < expect.length; i++) {
      await p.hud.click(expect[i][0]);
      await waitFor(async () => (await answers(p)) >= i + 1, 'answer ' + (i + 1));
    }
    const users = await userMessages(p);
    assert.deepEqual(users.map((u) => u.text), expect.map((e) => e[1]));
    assert.deepEqual(calls.map((c) => c.messages[1].content[0].text), expect.map((e) => e[2]));
    assert.deepEqual(calls.map((c) => c.messages[0].content.includes('6. TRADE PROPOSAL JSON BLOCK:')), expect.map((e) => e[3]));
  });
});

