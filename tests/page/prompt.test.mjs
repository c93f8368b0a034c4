// System prompt variants, playbooks and the setup-request word test.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { buildHud, launch, openChart, hudReady, withPage } from './lib/harness.mjs';

let browser;
let script;
before(async () => {
  script = buildHud(['assembleSystemPrompt', 'compileActivePlaybook', 'isSetupRequest', 'getAssetSpec']);
  browser = await launch();
});
after(async () => { await browser.close(); });

// fn runs in the HUD's world under the host's settings as given.
async function evaluate(settings, fn, arg) {
  let r;
  await withPage(() => openChart(browser, script, { settings }), async (p) => {
    await hudReady(p);
    r = await p.hud.root(fn, arg);
  });
  return r;
}

const TECH = {
  Symbol: 'XAUUSD', CurrentPrice: 2031.5, Timeframe: 'M15', D1_High: 2045, D1_Low: 2010, H4_High: 2040,
  H4_Low: 2020, Range20_High: 2050, Range20_Low: 2001, ATR_14: 6.2, CurrentSpreadPts: 18, CurrentHourUTC: 0,
};

test('the setup variant is chosen by whole words or by force', async () => {
  const r = await evaluate({}, function () {
    const f = __qvTest.isSetupRequest;
    return [
      f('Give me a signal now', false), f('Any signals today?', false), f('setup please', false),
      f('Show the TRADE CARD', false), f('generate trade idea', false), f('order card', false),
      f('trade proposal', false), f('What is the trend?', false), f('setups', false), f('', true),
    ];
  });
  assert.deepEqual(r, [true, false, true, true, true, true, true, false, false, true]);
});

test('setup variant carries telemetry, risk math, template and closed-market declaration', async () => {
  const prompt = await evaluate({ risk_pct: 0.5, default_rr: '1:2.5', max_dd: 3 },
    function (tech) { return __qvTest.assembleSystemPrompt({
      userPrompt: 'anything', forceSetup: true, symbol: 'XAUUSD',
      asset: __qvTest.getAssetSpec('XAUUSD'), technicals: tech, cot: { symbol: 'GOLD', cotIndex: 70 },
      positions: [{ ticket: 1 }], market: { isClosed: true, reason: 'Saturday Weekend', dayName: 'Saturday' },
    }); }, TECH);
  assert.ok(prompt.startsWith('You are the Quorvale AI Trading Copilot, an elite prop firm trading analyst and automated risk sentinel.'));
  const headings = ['*** STRICT MANDATE - ACTIVE ASSET ANCHOR ***',
    '*** CRITICAL GROUND-TRUTH TELEMETRY & PRICE ANCHOR (OVERRULES VISUAL ESTIMATES) ***',
    'MANDATORY TELEMETRY EXECUTION RULES:', '*** ACTIVE STRATEGY PLAYBOOK: INSTITUTIONAL CORE (3-TIER QUANTITATIVE) ***',
    '*** 3-TIER QUANTITATIVE DATA & EXECUTION HIERARCHY ***', '*** DETERMINISTIC CONFLICT RESOLUTION RULES ***',
    '2. STAGE 2', '3. STAGE 3', '4. STAGE 4', '5. STAGE 5', '6. TRADE PROPOSAL JSON BLOCK:',
    '*** CRITICAL MARKET STATE: GLOBAL MARKETS ARE CURRENTLY CLOSED (Saturday Weekend) ***'];
  let at = -1;
  for (const h of headings) {
    const i = prompt.indexOf(h);
    assert.ok(i > at, `heading in order: ${h}`);
    at = i;
  }
  for (const line of ['- Active Symbol: XAUUSD', '- Live Price: 2031.5', '- D1 High: 2045 | D1 Low: 2010',
    '- H4 High: 2040 | H4 Low: 2020', '- Range 20 High: 2050 | Range 20 Low: 2001',
    '- ATR (14): 6.2 | Current Spread: 18 points', '- Broker UTC Hour: 0:00 UTC',
    '- Baseline Account = $100,000.00 | Risk Per Trade (0.5%) = $500.00 | Prop Firm Max Daily Drawdown = 3.0%.',
    '- Contract Specifications for Gold (XAUUSD): Contract Size = 100 oz per standard lot.',
    '   Conclude immediately with the JSON block formatted as:',
    '```json:trade_proposal',
    '{"action":"BUY"|"SELL"|"STAND_ASIDE","symbol":"XAUUSD","confidence":85,"entry_price":0.00,"stop_loss":0.00,"take_profit":0.00,"risk_pct":0.5,"suggested_lots":0.10,"risk_reward":"1:2.5","confluence":["Confluence 1","Confluence 2","Confluence 3","Confluence 4"],"reasoning":"Executive summary"}',
    'Current Active Technicals for XAUUSD: ' + JSON.stringify(TECH) + '.',
    'CFTC COT Data for XAUUSD: {"symbol":"GOLD","cotIndex":70}.',
    'Open Account Positions: [{"ticket":1}].',
    '"⚠️ **MARKET STATUS: CLOSED (SATURDAY WEEKEND)** — Current price 2031.5 reflects Friday\'s static close. Live execution is halted until global markets reopen (Sunday 22:00 UTC / Asian Open)."']) {
    assert.ok(prompt.split('\n').some((l) => l.includes(line)), `line present: ${line}`);
  }
  for (const label of ['Active Strategy & Indicator Rules (Institutional Core (3-Tier)):', 'Market Structure:',
    'COT & Smart Money Flow:', 'Structural Invalidation (SL):', 'Target & R:R:']) {
    assert.ok(prompt.includes('**' + label + '**'), `bullet label ${label}`);
  }
  assert.ok(prompt.includes('Broker UTC Hour: 0:00 UTC'), 'an hour of 0 is a real hour');
});

test('missing telemetry prints N/A and the conversational variant embeds the question', async () => {
  const r = await evaluate({ active_strategy: 'no_such_key' }, function () {
    const T = __qvTest;
    const base = { symbol: 'EURUSD', asset: T.getAssetSpec('EURUSD'), technicals: null, cot: null, positions: null,
      market: { isClosed: false, reason: 'Active Trading Session', dayName: 'Monday' } };
    return {
      setup: T.assembleSystemPrompt(Object.assign({ userPrompt: 'x', forceSetup: true }, base)),
      chat: T.assembleSystemPrompt(Object.assign({ userPrompt: 'Where are the signals?', forceSetup: false }, base)),
      closedChat: T.assembleSystemPrompt(Object.assign({}, base, { userPrompt: 'hi', forceSetup: false,
        market: { isClosed: true, reason: 'Sunday Weekend', dayName: 'Sunday' } })),
      hour: new Date().getUTCHours(),
    };
  });
  assert.ok(r.setup.includes('- Live Price: Active Market Price'));
  assert.ok(r.setup.includes('- D1 High: N/A | D1 Low: N/A'));
  assert.ok(r.setup.includes('- ATR (14): N/A | Current Spread: N/A points'));
  assert.ok(r.setup.includes(`- Broker UTC Hour: ${r.hour}:00 UTC`));
  assert.ok(r.setup.includes('Contract Size = 100000 units'));
  assert.ok(r.setup.includes('INSTITUTIONAL CORE (3-TIER QUANTITATIVE)'), 'unknown key gets the core playbook');
  assert.ok(r.setup.includes('(Institutional Core (3-Tier)):'), 'and the core display name');
  assert.ok(r.setup.includes('"risk_pct":1,'), 'default risk is a bare JSON number');
  assert.ok(r.setup.includes('CFTC COT Data for EURUSD: {}.'));
  assert.ok(r.setup.includes('Open Account Positions: [].'));
  assert.ok(r.chat.startsWith('You are the Quorvale AI Trading Copilot, an elite prop firm trading analyst and institutional partner in collaborative discussion with the trader.'));
  for (const s of ['*** ACTIVE ASSET GROUND TRUTH ***', '- Active Asset: EURUSD (EURUSD) on H1 chart. Live Reference Price: ~Active Market Price.',
    '- Active Strategy Playbook: Institutional Core (3-Tier)', '*** INTERACTIVE CONVERSATIONAL CO-PILOT DIRECTIVES ***',
    '\n"Where are the signals?"\n', 'NO EMPTY TRADE PROPOSAL CARDS: DO NOT output any json:trade_proposal block.']) {
    assert.ok(r.chat.includes(s), `conversational part: ${s}`);
  }
  assert.ok(!r.chat.includes('```json:trade_proposal'));
  assert.ok(!r.chat.includes('MARKET STATUS NOTE'));
  assert.ok(r.closedChat.includes('\n\n*** MARKET STATUS NOTE: MARKET IS CURRENTLY CLOSED (Sunday Weekend) ***'));
});

test('playbooks: titles, custom values with defaults, trailing empty line', async () => {
  const r = await evaluate({ byos_name: 'My Retest', byos_entry: '- EMA stack\n- RSI > 50', byos_cot_policy: 'STRICT_CONFIRMATION' }, function () {
    const c = __qvTest.compileActivePlaybook;
    return { ict: c('ict_silver'), asian: c('asian_sweep'), brk: c('breakout_retest'), byos: c('byos_custom'), core: c('core') };
  });
  assert.ok(r.ict.startsWith('*** ACTIVE STRATEGY PLAYBOOK: ICT SILVER BULLET (FVG & KILL-ZONE) ***'));
  assert.match(r.ict, /07:00-10:00 GMT[\s\S]*14:00-15:00 UTC[\s\S]*3-candle Fair Value Gap[\s\S]*1:2\.0/);
  assert.ok(r.asian.startsWith('*** ACTIVE STRATEGY PLAYBOOK: ASIAN RANGE JUDAS SWING (LONDON FADE) ***'));
  assert.match(r.asian, /00:00-07:00 UTC[\s\S]*07:00-09:30 UTC[\s\S]*1\.0x ATR[\s\S]*50%/);
  assert.ok(r.brk.startsWith('*** ACTIVE STRATEGY PLAYBOOK: STRUCTURAL BREAKOUT & RETEST ***'));
  assert.ok(r.byos.startsWith('*** ACTIVE STRATEGY PLAYBOOK: BRING YOUR OWN STRATEGY (BYOS - My Retest) ***'));
  assert.ok(r.byos.includes('- ENTRY RULES & CONFLUENCE: - EMA stack\n- RSI > 50'));
  assert.ok(r.byos.includes('- STRUCTURAL INVALIDATION & STOP LOSS: Clean break of structural swing'));
  assert.ok(r.byos.includes('- TARGET R:R RATIO: Minimum 1:2.0'));
  assert.ok(r.byos.includes('- COT MACRO POLICY: STRICT_CONFIRMATION'));
  assert.match(r.core, /70%[\s\S]*30%[\s\S]*75%/);
  for (const k of Object.keys(r)) assert.ok(r[k].endsWith('\n'), `${k} ends with an empty line`);
});

test('asset contract table', async () => {
  const r = await evaluate({}, function () {
    return ['NASDAQ:NDX', 'EURUSD', 'FX:EURUSD', 'UKOIL.brent', 'xagusd', 'BTCUSDT', 'US30', '123']
      .map((s) => { const a = __qvTest.getAssetSpec(s); return [a.name, a.contractSize, a.unit, a.type, a.digits]; });
  });
  assert.deepEqual(r, [
    ['Nasdaq 100 (NAS100)', 20, 'contracts', 'INDEX', 1],
    ['EURUSD', 100000, 'units', 'FOREX', 5],
    ['FXEURUSD', 100000, 'units', 'FOREX', 5],
    ['WTI Crude Oil (USOIL)', 1000, 'bbl', 'COMMODITY_ENERGY', 2],
    ['Silver (XAGUSD)', 5000, 'oz', 'COMMODITY_METAL', 3],
    ['Bitcoin (BTCUSD)', 1, 'BTC', 'CRYPTO', 2],
    ['Dow Jones 30 (US30)', 5, 'contracts', 'INDEX', 0],
    ['FOREX', 100000, 'units', 'FOREX', 5],
  ]);
});
