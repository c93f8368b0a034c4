// Reply rendering: extraction stages, markdown subset, LaTeX clean-up and escaping of
// untrusted model text. Runs the joined HUD in Chromium, in its world on the chart page.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { buildHud, launch, openChart, hudReady, withPage } from './lib/harness.mjs';

const EXPOSE = ['formatAIMarkdown', 'cleanLatexMath', 'extractTradeProposal', 'tradeCards'];
let browser;
let script;
before(async () => { script = buildHud(EXPOSE); browser = await launch(); });
after(async () => { await browser.close(); });

// fn runs in the HUD's world with this = its root, where the chat lives.
function inHud(fn) {
  return withPage(() => openChart(browser, script), async (p) => {
    await hudReady(p);
    await fn(p);
  });
}

test('markdown blocks: headings, tables, lists, rules and paragraphs', async () => {
  await inHud(async (p) => {
    const r = await p.hud.root(function (t) {
      const d = document.createElement('div');
      d.innerHTML = __qvTest.formatAIMarkdown(t);
      const q = (s) => [...d.querySelectorAll(s)].map((e) => e.textContent);
      return {
        h1: q('.qv-md-h1'), h2: q('.qv-md-h2'), h3: q('.qv-md-h3'),
        th: q('table.qv-md-table th'), td: q('table.qv-md-table td'),
        rows: d.querySelectorAll('table.qv-md-table tr').length,
        tables: d.querySelectorAll('table.qv-md-table').length,
        lists: d.querySelectorAll('ul.qv-md-list').length,
        items: q('li.qv-md-bullet .qv-md-bullet-txt'),
        keys: q('.qv-md-bullet-key'),
        hr: d.querySelectorAll('hr.qv-md-hr').length,
        paras: [...d.children].filter((e) => e.tagName === 'DIV' && !e.className).map((e) => e.textContent),
      };
    }, [
      '# Top `Level`',
      '## Institutional Market Structure',
      '#### institutional   Deep   Dive',
      '| Level | Price |',
      '|:---|---:|',
      '| Resistance | **2040** |',
      '| Support | 2000 |',
      '',
      '- **Entry:** 2010 limit',
      '* plain bullet text',
      '1. Numbered: one',
      '- See https://example.com: docs',
      '---',
      'A closing paragraph.',
    ].join('\n'));
    assert.deepEqual(r.h1, ['◆ Top Level']);
    assert.deepEqual(r.h2, ['◆ Market Structure'], 'the word INSTITUTIONAL is dropped from headings');
    assert.deepEqual(r.h3, ['◆ Deep Dive'], 'levels 4-6 use the level-3 style; blanks collapse');
    assert.equal(r.tables, 1);
    assert.deepEqual(r.th, ['Level', 'Price'], 'one header row');
    assert.equal(r.rows, 3, 'separator row skipped, two data rows');
    assert.deepEqual(r.td, ['Resistance', '2040', 'Support', '2000']);
    assert.equal(r.lists, 1, 'consecutive items share one list');
    assert.deepEqual(r.keys, ['Entry:', 'Numbered:']);
    assert.equal(r.items[0], 'Entry: 2010 limit');
    assert.equal(r.items[1], 'plain bullet text');
    assert.equal(r.items[3], 'See https://example.com: docs', 'a key holding http is no key');
    assert.equal(r.hr, 1);
    assert.deepEqual(r.paras, ['A closing paragraph.']);
  });
});

test('inline formatting, badges and LaTeX', async () => {
  await inHud(async (p) => {
    const r = await p.hud.root(function () {
      const T = __qvTest;
      const d = document.createElement('div');
      d.innerHTML = T.formatAIMarkdown([
        'Bias is **STRONG BULLISH** while *momentum* holds and `ATR` rises.',
        'Weekly flow BEARISH; advice: STAND ASIDE until NEUTRAL clears. NOT_BULLISH stays plain.',
        '$$ Lots = \\frac{500}{10 \\times 100} $$',
        'Risk $\\frac{a}{b} \\approx 2$ points',
      ].join('\n'));
      const q = (s) => [...d.querySelectorAll(s)].map((e) => e.textContent.replace(/\s+/g, ' ').trim());
      return {
        strong: q('strong'), em: q('em'), code: q('code.qv-md-code'),
        bull: q('.qv-badge-bull'), bear: q('.qv-badge-bear'), alert: q('.qv-badge-alert'),
        calc: q('.qv-calc-card .qv-calc-txt'), icon: q('.qv-calc-card .qv-calc-icon'),
        text: d.textContent,
        latex: T.cleanLatexMath('\\text{Risk} \\le 5 \\pm 1 \\left(x\\right) \\{y\\} \\$3 \\cdot 2 \\ge 1 \\leq'),
        inline: (() => {
          const line = document.createElement('div');
          line.innerHTML = T.formatAIMarkdown('__bold__ and _it_ and <b>x</b>');
          return line.firstChild.innerHTML;
        })(),
      };
    });
    assert.deepEqual(r.strong, ['STRONG BULLISH']);
    assert.deepEqual(r.em, ['momentum']);
    assert.deepEqual(r.code, ['ATR']);
    assert.deepEqual(r.bull, ['STRONG BULLISH'], 'the longest alternative wins and NOT_BULLISH is no whole word');
    assert.deepEqual(r.bear, ['BEARISH']);
    assert.deepEqual(r.alert, ['STAND ASIDE', 'NEUTRAL']);
    assert.deepEqual(r.calc, ['Lots = (500 / 10 × 100)']);
    assert.deepEqual(r.icon, ['🔢']);
    assert.match(r.text, /Risk \(a \/ b\) +≈ +2 points/);
    assert.equal(r.latex.replace(/\s+/g, ' '), 'Risk ≤ 5 ± 1 (x) {y} $3 · 2 ≥ 1 \\leq');
    assert.equal(r.inline, '<strong style="color:#ffffff">bold</strong> and <em style="color:#c0c4ce">it</em> and &lt;b&gt;x&lt;/b&gt;');
  });
});

test('model text never becomes markup', async () => {
  await inHud(async (p) => {
    await p.page.evaluate(() => { window.__pwned = 0; });
    const r = await p.hud.root(function () {
      const attack = [
        '<img src=x onerror="window.__pwned=1">',
        '## <script>window.__pwned=2</script> heading',
        '| <svg onload=window.__pwned=3> | a&b |',
        '- **Key:** <iframe src="javascript:window.__pwned=4"></iframe>',
        '"quoted" & \'single\' **<b>bold</b>**',
        '```json:trade_proposal',
        '{"action":"STAND_ASIDE","symbol":"<img src=x onerror=window.__pwned=5>","confidence":40,',
        ' "confluence":["<img src=y onerror=window.__pwned=6>"]}',
        '```',
      ].join('\n');
      const loading = document.createElement('div');
      this.getElementById('qv-ai-chat-body').innerHTML = '';
      this.getElementById('qv-ai-chat-body').appendChild(loading);
      __qvTest.tradeCards.processAIResponse(attack, loading);
      const body = this.getElementById('qv-ai-chat-body');
      return {
        // our own icons are svg and img elements of their own classes
        foreign: body.querySelectorAll('img:not(.qv-logo-img), script, iframe, svg:not(.qv-icon):not(.qv-icon-stroke), [onerror], [onload]').length,
        text: body.textContent,
        cards: body.querySelectorAll('.qv-trade-card').length,
      };
    });
    await p.page.waitForTimeout(150);
    // handlers of markup in the root would run in the page's world
    assert.equal(await p.page.evaluate(() => window.__pwned), 0);
    assert.equal(r.foreign, 0);
    assert.ok(r.text.includes('<img src=x onerror="window.__pwned=1">'), 'shown as text');
    assert.ok(r.text.includes('a&b'));
    assert.ok(r.text.includes('"quoted" & \'single\''));
    assert.ok(r.text.includes('STAND ASIDE • <img src=x onerror=window.__pwned=5>'), 'proposal symbol shown as text');
    assert.equal(r.cards, 1);
  });
});

test('proposal extraction: fenced, bare, truncated and salvaged', async () => {
  await inHud(async (p) => {
    const r = await p.hud.root(function () {
      const X = __qvTest.extractTradeProposal;
      const full = '{"action":"BUY","symbol":"XAUUSD","confidence":88,"entry_price":2000,"stop_loss":1990,"take_profit":2030,"risk_pct":1.0,"suggested_lots":0.5,"risk_reward":"1:3.0","confluence":["a","b"],"reasoning":"r"}';
      return {
        fenced: X('<think>hidden plan</think>, . Analysis first.\n- point\n\n```json:trade_proposal\n' + full + '\n```'),
        fencedVariant: X('Text\n```JSON:Trade Proposal\n' + full + '\n```\nAfter.'),
        badFence: X('Before\n```json\n{"action": broken}\n```\nAfter'),
        bare: X('Summary here {"action":"SELL","symbol":"EURUSD","confidence":70} trailing'),
        truncated: X('Analysis.\n```json:trade_proposal\n{"action":"BUY","symbol":"NDX","confidence":91,"entry_price":18000,"stop_loss":17950,"take_pro'),
        closable: X('Intro {"action":"SELL","symbol":"US30","confidence":77,"entry_price":39000\n'),
        salvagedStand: X('Chop.\n{"action":"STAND_ASIDE","confluence":["x",'),
        salvagedNeutral: X('Meh.\n{"action":"NEUTRAL","symbol":"XAUUSD","confidence":30,'),
        fullNeutral: X('Flat.\n```json:trade_proposal\n{"action":"NEUTRAL","symbol":"XAUUSD","confidence":30}\n```'),
        noise: X('(Wait, let me re-check the levels)\nWait: recompute\nThinking about it\nNote to self: x\nReal answer\n- \n'),
      };
    });
    assert.equal(r.fenced.proposal.action, 'BUY');
    assert.equal(r.fenced.proposal.take_profit, 2030);
    assert.equal(r.fenced.text, 'Analysis first.\n- point', 'noise, leading punctuation and the block are gone');
    assert.equal(r.fencedVariant.proposal.confidence, 88);
    assert.equal(r.fencedVariant.text, 'Text\n\nAfter.');
    assert.equal(r.badFence.proposal, null, 'unparsable fenced block yields no proposal');
    assert.equal(r.badFence.text, 'Before\n\nAfter', 'and is removed anyway');
    assert.deepEqual([r.bare.proposal.action, r.bare.proposal.symbol], ['SELL', 'EURUSD']);
    assert.equal(r.bare.text, 'Summary here  trailing');
    assert.equal(r.truncated.text, 'Analysis.');
    assert.deepEqual(r.truncated.proposal, {
      action: 'BUY', symbol: 'NDX', confidence: 91, entry_price: 18000, stop_loss: 17950, take_profit: 0,
      risk_pct: 0.3, suggested_lots: 0.1, risk_reward: '1:2.0',
      confluence: ['Mid-range chop / Equilibrium', 'Capital preservation active', 'Watch range boundaries before trading'],
    });
    assert.deepEqual(r.closable.proposal, { action: 'SELL', symbol: 'US30', confidence: 77, entry_price: 39000 },
      'a missing closing brace is added before salvaging');
    assert.equal(r.salvagedStand.proposal.symbol, 'XAUUSD');
    assert.equal(r.salvagedStand.proposal.confidence, 50);
    assert.equal(r.salvagedNeutral.proposal, null, 'a salvaged NEUTRAL builds nothing');
    assert.equal(r.fullNeutral.proposal.action, 'NEUTRAL');
    assert.equal(r.noise.text, 'Real answer', 'asides, noise lines and a dangling list marker are gone');
  });
});

test('processAIResponse renders into the loading message and adds the right card', async () => {
  await inHud(async (p) => {
    const r = await p.hud.root(function () {
      const body = this.getElementById('qv-ai-chat-body');
      function run(reply) {
        body.innerHTML = '';
        const loading = document.createElement('div');
        loading.className = 'qv-msg qv-msg-ai';
        loading.textContent = 'loading';
        body.appendChild(loading);
        __qvTest.tradeCards.processAIResponse(reply, loading);
        return {
          meta: loading.querySelector('.qv-msg-meta') ? loading.querySelector('.qv-msg-meta').textContent : '',
          text: loading.textContent,
          messages: body.querySelectorAll('.qv-msg').length,
          trade: body.querySelectorAll('.qv-trade-card .qv-card-btn-exec').length,
          stand: body.querySelectorAll('.qv-card-stand-aside').length,
        };
      }
      return {
        neutralSalvaged: run('Chop\n{"action":"NEUTRAL",'),
        neutralFull: run('Chop\n{"action":"NEUTRAL","confidence":20}'),
        buy: run('Go\n```json:trade_proposal\n{"action":"BUY","symbol":"XAUUSD","confidence":86}\n```'),
        lower: run('{"action":"buy","symbol":"XAUUSD"}'),
        empty: run(''),
      };
    });
    assert.match(r.neutralSalvaged.meta, /^QUORVALE AI COPILOT • /);
    assert.deepEqual([r.neutralSalvaged.messages, r.neutralSalvaged.stand], [1, 0]);
    assert.deepEqual([r.neutralFull.messages, r.neutralFull.stand, r.neutralFull.trade], [2, 1, 0]);
    assert.deepEqual([r.buy.messages, r.buy.trade], [2, 1]);
    assert.ok(!r.buy.text.includes('action'), 'the block is not shown as text');
    assert.equal(r.lower.messages, 1, 'an action outside the card set renders text only');
    assert.equal(r.empty.messages, 1);
  });
});
