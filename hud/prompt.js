// System prompt assembly, strategy playbooks and the asset table for the AI copilot.
//
// The prompt pins the model to the chart's instrument and the broker's numbers, injects
// the trader's playbook and risk settings, and, for setup requests, demands the five-point
// analysis and the fenced trade-proposal block that the reply renderer turns into a card.

// A text setting of the host's, or the fallback for an empty one.
function promptSetting(name, fallback) {
  const v = settings.get(name);
  return typeof v === 'string' && v !== '' ? v : fallback;
}

function strategyDisplayName(key) {
  switch (key) {
    case 'ict_silver': return 'ICT Silver Bullet (FVG)';
    case 'asian_sweep': return 'Asian Judas Swing';
    case 'breakout_retest': return 'Breakout & Retest';
    case 'byos_custom': return 'BYOS: ' + promptSetting('byos_name', 'Custom Playbook');
    default: return 'Institutional Core (3-Tier)';
  }
}

function compileActivePlaybook(strategyKey) {
  switch (strategyKey) {
    case 'ict_silver':
      return [
        '*** ACTIVE STRATEGY PLAYBOOK: ICT SILVER BULLET (FVG & KILL-ZONE) ***',
        '- KILL-ZONE WINDOWS: London Open 07:00-10:00 GMT and NY AM 10:00-11:00 EST / 14:00-15:00 UTC only.',
        '- SETUP: a sweep of prior session or swing liquidity, then a displacement that leaves a clear 3-candle Fair Value Gap (FVG); enter on the retracement into the FVG.',
        '- STOP LOSS: beyond the swing candle that started the displacement, plus an ATR buffer.',
        '- TARGET: the opposing liquidity pool, minimum 1:2.0 R:R.',
        '- INVALIDATION: a candle close through the opposite side of the FVG.',
        ''
      ].join('\n');
    case 'asian_sweep':
      return [
        '*** ACTIVE STRATEGY PLAYBOOK: ASIAN RANGE JUDAS SWING (LONDON FADE) ***',
        '- ASIAN RANGE: mark the high and low of 00:00-07:00 UTC.',
        '- LONDON EXPANSION: watch 07:00-09:30 UTC for a Judas run beyond the Asian high or low.',
        '- ENTRY: only after a rejection wick outside the range and a candle close back inside it.',
        '- STOP LOSS: 1.0x ATR beyond the extreme wick, clearing round numbers.',
        '- TARGETS: TP1 at the range midpoint (50%), TP2 at the opposite range boundary.',
        '- INVALIDATION: sustained volume and closes outside the range mean a trend day; stand aside.',
        ''
      ].join('\n');
    case 'breakout_retest':
      return [
        '*** ACTIVE STRATEGY PLAYBOOK: STRUCTURAL BREAKOUT & RETEST ***',
        '- LEVEL: a multi-touch horizontal level or a major daily/4H range boundary.',
        '- BREAKOUT: a strong body candle closing beyond the level.',
        '- RETEST: a low-momentum 2-3 candle pullback back to the level.',
        '- CONFIRMATION: a pin bar, hammer or engulfing candle at the retest.',
        '- STOP LOSS: beyond the retest swing plus an ATR buffer.',
        '- TARGET: minimum 1:2.0 R:R to the next liquidity pool.',
        ''
      ].join('\n');
    case 'byos_custom':
      return [
        '*** ACTIVE STRATEGY PLAYBOOK: BRING YOUR OWN STRATEGY (BYOS - ' +
          promptSetting('byos_name', 'Custom BYOS Playbook') + ') ***',
        '- ENTRY RULES & CONFLUENCE: ' + promptSetting('byos_entry', 'Standard confluence'),
        '- STRUCTURAL INVALIDATION & STOP LOSS: ' +
          promptSetting('byos_invalidation', 'Clean break of structural swing'),
        '- TARGET R:R RATIO: Minimum ' + promptSetting('byos_rr', '1:2.0'),
        '- COT MACRO POLICY: ' + promptSetting('byos_cot_policy', 'ADVISORY'),
        ''
      ].join('\n');
    default:
      return [
        '*** ACTIVE STRATEGY PLAYBOOK: INSTITUTIONAL CORE (3-TIER QUANTITATIVE) ***',
        '- 70% WEIGHT: live price action and liquidity sweeps (session raids, FVG / order-block rejections).',
        '- 30% WEIGHT: the weekly CFTC COT macro regime as filter and risk veto.',
        '- DEFAULT: stand aside when confidence is below 75% or price sits in mid-range chop.',
        ''
      ].join('\n');
  }
}

// The contract of the chart's instrument, for the prompt's position-size math.
function getAssetSpec(symbol) {
  const s = String(symbol || '').toUpperCase().trim();
  function has(parts) {
    for (let i = 0; i < parts.length; i++) if (s.indexOf(parts[i]) !== -1) return true;
    return false;
  }
  if (has(['XAU', 'GOLD'])) return { name: 'Gold (XAUUSD)', contractSize: 100, unit: 'oz', type: 'COMMODITY_METAL', digits: 2 };
  if (has(['XAG', 'SILVER'])) return { name: 'Silver (XAGUSD)', contractSize: 5000, unit: 'oz', type: 'COMMODITY_METAL', digits: 3 };
  if (has(['OIL', 'WTI', 'BRENT', 'CRUDE', 'XTI', 'XBR', 'USOIL'])) {
    return { name: 'WTI Crude Oil (USOIL)', contractSize: 1000, unit: 'bbl', type: 'COMMODITY_ENERGY', digits: 2 };
  }
  if (has(['BTC', 'BITCOIN'])) return { name: 'Bitcoin (BTCUSD)', contractSize: 1, unit: 'BTC', type: 'CRYPTO', digits: 2 };
  if (has(['ETH', 'ETHEREUM'])) return { name: 'Ethereum (ETHUSD)', contractSize: 1, unit: 'ETH', type: 'CRYPTO', digits: 2 };
  if (has(['US500', 'SPX', 'SP500'])) return { name: 'S&P 500 (US500)', contractSize: 50, unit: 'contracts', type: 'INDEX', digits: 1 };
  if (has(['US30', 'DJI', 'DOW'])) return { name: 'Dow Jones 30 (US30)', contractSize: 5, unit: 'contracts', type: 'INDEX', digits: 0 };
  if (has(['NAS100', 'NDX', 'US100'])) return { name: 'Nasdaq 100 (NAS100)', contractSize: 20, unit: 'contracts', type: 'INDEX', digits: 1 };
  const letters = s.replace(/[^A-Z]/g, '');
  return { name: letters || 'FOREX', contractSize: 100000, unit: 'units', type: 'FOREX', digits: 5 };
}

function isSetupRequest(userPrompt, forceSetup) {
  // Whole words only: "signals" alone is a question about signals, not a request for one.
  return forceSetup === true ||
    /\b(?:setup|signal|trade proposal|trade card|generate trade|order card)\b/i
      .test(String(userPrompt || ''));
}

function telemetryValue(tech, field) {
  const v = tech ? tech[field] : undefined;
  return v ? String(v) : 'N/A';
}

function safeJsonText(value, fallback) {
  try {
    const t = JSON.stringify(value === undefined || value === null ? fallback : value);
    return t === undefined ? JSON.stringify(fallback) : t;
  } catch (e) {
    return JSON.stringify(fallback);
  }
}

// The host's chart picture lags a symbol change by a few seconds; the model must not read
// the previous symbol's chart as this one.
const CHART_STALE_NOTE = '*** CHART PICTURE NOTE: the attached chart picture may still show the previous symbol; rely on the telemetry above, not on the picture. ***';

// inputs: { userPrompt, forceSetup, symbol, asset, technicals, cot, positions, market, chartMayBeStale }
function assembleSystemPrompt(inputs) {
  const tech = inputs.technicals && typeof inputs.technicals === 'object' ? inputs.technicals : null;
  const symbol = inputs.symbol || 'XAUUSD';
  const asset = inputs.asset || { name: symbol, contractSize: 100000, unit: 'units' };
  const price = tech && tech.CurrentPrice ? String(tech.CurrentPrice) : 'Active Market Price';
  const timeframe = tech && tech.Timeframe ? String(tech.Timeframe) : 'H1';
  const riskText = settings.percentText('risk_pct');
  const ddText = settings.percentText('max_dd');
  const rrText = promptSetting('default_rr', '1:2.0');
  const strategyKey = promptSetting('active_strategy', 'core');
  const hour = tech && tech.CurrentHourUTC !== undefined && tech.CurrentHourUTC !== null
    ? tech.CurrentHourUTC : new Date().getUTCHours();
  const market = inputs.market || { isClosed: false, reason: '', dayName: '' };
  const cotJson = safeJsonText(inputs.cot, {});
  const posJson = safeJsonText(inputs.positions, []);
  const techJson = safeJsonText(tech, {});
  const playbook = compileActivePlaybook(strategyKey);
  const displayName = strategyDisplayName(strategyKey);

  const riskNum = parseFloat(riskText);
  // The template is JSON the model copies; a stored text that is no number must not break it.
  const riskJson = isFinite(riskNum) ? String(riskNum) : '1.0';
  const budget = ((isFinite(riskNum) ? riskNum : 1.0) * 1000).toFixed(2);
  const dayUpper = String(market.dayName || '').toUpperCase();

  if (!isSetupRequest(inputs.userPrompt, inputs.forceSetup)) {
    const lines = [
      'You are the Quorvale AI Trading Copilot, an elite prop firm trading analyst and institutional partner in collaborative discussion with the trader.',
      '',
      '*** ACTIVE ASSET GROUND TRUTH ***',
      '- Active Asset: ' + asset.name + ' (' + symbol + ') on ' + timeframe + ' chart. Live Reference Price: ~' + price + '.',
      '- D1 High: ' + telemetryValue(tech, 'D1_High') + ' | D1 Low: ' + telemetryValue(tech, 'D1_Low') +
        ' | H4 High: ' + telemetryValue(tech, 'H4_High') + ' | H4 Low: ' + telemetryValue(tech, 'H4_Low'),
      '- Volatility & Spread: ATR (14): ' + telemetryValue(tech, 'ATR_14') + ' | Spread: ' +
        telemetryValue(tech, 'CurrentSpreadPts') + ' points',
      '- Broker UTC Hour: ' + hour + ':00 UTC',
      '- Active Strategy Playbook: ' + displayName,
      '- CFTC COT Positioning for ' + symbol + ': ' + cotJson,
      '- Open Positions: ' + posJson,
      '',
      playbook,
      '*** INTERACTIVE CONVERSATIONAL CO-PILOT DIRECTIVES ***',
      'The trader is asking you a direct question:',
      '"' + String(inputs.userPrompt || '') + '"',
      '1. Answer directly and conversationally, with the depth of a hedge-fund desk analyst.',
      '2. Do NOT produce the five-bullet setup template and do not print "N/A" fields.',
      '3. Reconcile any bias candidly: COT data carries a 3- to 10-day delay, never chase momentum into major higher-timeframe support such as round numbers, and name concrete pullback or reclaim levels.',
      '4. NO EMPTY TRADE PROPOSAL CARDS: DO NOT output any json:trade_proposal block.',
      '5. Keep it crisp: markdown in 2-4 short sections.'
    ];
    if (inputs.chartMayBeStale) lines.push('', CHART_STALE_NOTE);
    if (market.isClosed) {
      lines.push('', '*** MARKET STATUS NOTE: MARKET IS CURRENTLY CLOSED (' + market.reason + ') ***',
        'Markets are closed for the weekend (' + market.dayName + '); the price ' + price +
        ' is static from Friday\'s close. Acknowledge this in your answer.');
    }
    return lines.join('\n');
  }

  const lines = [
    'You are the Quorvale AI Trading Copilot, an elite prop firm trading analyst and automated risk sentinel.',
    '',
    '*** STRICT MANDATE - ACTIVE ASSET ANCHOR ***',
    'Analyse exclusively ' + asset.name + ' on the active chart (' + timeframe + ') with a reference price around ' + price + '.',
    'Every level, stop, target and position size must be for this asset. Discussing any other asset (crude oil, natural gas, unrelated FX pairs or anything else) is forbidden.',
    '',
    '*** CRITICAL GROUND-TRUTH TELEMETRY & PRICE ANCHOR (OVERRULES VISUAL ESTIMATES) ***',
    'Chart vision can be distorted by scaling and rendering; the broker numbers below are ground truth.',
    '- Active Symbol: ' + symbol,
    '- Live Price: ' + price,
    '- D1 High: ' + telemetryValue(tech, 'D1_High') + ' | D1 Low: ' + telemetryValue(tech, 'D1_Low'),
    '- H4 High: ' + telemetryValue(tech, 'H4_High') + ' | H4 Low: ' + telemetryValue(tech, 'H4_Low'),
    '- Range 20 High: ' + telemetryValue(tech, 'Range20_High') + ' | Range 20 Low: ' + telemetryValue(tech, 'Range20_Low'),
    '- ATR (14): ' + telemetryValue(tech, 'ATR_14') + ' | Current Spread: ' + telemetryValue(tech, 'CurrentSpreadPts') + ' points',
    '- Broker UTC Hour: ' + hour + ':00 UTC',
    '',
    'MANDATORY TELEMETRY EXECUTION RULES:',
    '1. These numbers overrule any visual estimate from the screenshot.',
    '2. An entry must lie within 1.0x ATR of the live price. For BUY: SL < Entry and TP > Entry. For SELL: SL > Entry and TP < Entry. The stop distance must clear the spread plus an ATR buffer.',
    '3. Never propose levels outside the observed ranges above.',
    '',
    playbook,
    '*** 3-TIER QUANTITATIVE DATA & EXECUTION HIERARCHY ***',
    '- TIER 1 (70% weight): real-time chart geometry is the primary trigger.',
    '- TIER 2 (hard firewall): intraday gates - London/NY kill zones, high-impact news blackouts, prop-firm daily loss cap -4.5%.',
    '- TIER 3 (30% weight): CFTC COT flow is a macro filter and risk veto, never an entry trigger. It is compiled Tuesday and published Friday with a 3- to 10-day delay; institutions position over 3 to 12 weeks.',
    '',
    '*** DETERMINISTIC CONFLICT RESOLUTION RULES ***',
    '(1) A chart setup with neutral COT: trade the chart.',
    '(2) A breakout in the direction of an extreme crowded COT reading (>90% or <10%): reject it and stand aside.',
    '(3) Never trade on a weekly COT change without chart confluence, and never in mid-range chop.',
    '(4) In a range never buy into overhead resistance; trade from the edges and respect open positions.',
    '',
    '2. STAGE 2 - STAND-ASIDE PROTOCOL: in mid-range chop or equilibrium, with conflicting structure, or with confidence below 75%, you must output action = "STAND_ASIDE" and name the resistance and support levels to watch.',
    '3. STAGE 3 - STOP & TARGET ARCHITECTURE: place the stop beyond major swing wicks plus an ATR buffer, clearing round numbers (.00 / .50); target realistic liquidity pools with a minimum 1:2.0 R:R.',
    '4. STAGE 4 - RISK MATH:',
    '- Baseline Account = $100,000.00 | Risk Per Trade (' + riskText + '%) = $' + budget + ' | Prop Firm Max Daily Drawdown = ' + ddText + '%.',
    '- Contract Specifications for ' + asset.name + ': Contract Size = ' + asset.contractSize + ' ' + asset.unit + ' per standard lot.',
    '- Lots = Risk Budget / (Stop Distance x ' + asset.contractSize + ' ' + asset.unit + '), rounded to 2 decimals; suggested_lots = 0.00 when standing aside.',
    '5. STAGE 5 - EXPLANATION MANDATE: before the JSON block write exactly five bold-labelled bullet points, in this order, one or two sentences each:',
    '- **Active Strategy & Indicator Rules (' + displayName + '):** which playbook rules are met, pending or invalidated.',
    '- **Market Structure:**',
    '- **COT & Smart Money Flow:**',
    '- **Structural Invalidation (SL):**',
    '- **Target & R:R:**',
    'Output nothing but these five points and the JSON block: no chain of thought, no recital of these rules.',
    '6. TRADE PROPOSAL JSON BLOCK:',
    '   Conclude immediately with the JSON block formatted as:',
    '```json:trade_proposal',
    '{"action":"BUY"|"SELL"|"STAND_ASIDE","symbol":"' + symbol + '","confidence":85,"entry_price":0.00,' +
      '"stop_loss":0.00,"take_profit":0.00,"risk_pct":' + riskJson + ',"suggested_lots":0.10,' +
      '"risk_reward":"' + rrText + '","confluence":["Confluence 1","Confluence 2","Confluence 3","Confluence 4"],' +
      '"reasoning":"Executive summary"}',
    '```',
    '',
    'Current Active Technicals for ' + symbol + ': ' + techJson + '.',
    'CFTC COT Data for ' + symbol + ': ' + cotJson + '.',
    'Open Account Positions: ' + posJson + '.'
  ];
  if (market.isClosed) {
    lines.push('',
      '*** CRITICAL MARKET STATE: GLOBAL MARKETS ARE CURRENTLY CLOSED (' + market.reason + ') ***',
      'Today is ' + market.dayName + '; no live order can be routed to the broker.',
      '1. Open your reply with this declaration: "⚠️ **MARKET STATUS: CLOSED (' + dayUpper +
        ' WEEKEND)** — Current price ' + price + ' reflects Friday\'s static close. Live execution is halted until global markets reopen (Sunday 22:00 UTC / Asian Open)."',
      '2. Present the analysis only as a pre-market scenario for the Sunday/Monday reopen; never advise executing immediately at market.',
      '3. The card must be STAND_ASIDE with the levels to watch, or a clearly labelled pending limit setup noted \'Pending Market Reopen\'.');
  }
  if (inputs.chartMayBeStale) lines.push('', CHART_STALE_NOTE);
  return lines.join('\n');
}
