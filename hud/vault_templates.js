// Strategy template library for the bring-your-own-strategy editor, and the playbook
// descriptions shown in the vault.

// A frozen, prototype-free table of frozen entries: a page that extends Object.prototype
// adds no template, and no template can be changed once built.
function frozenTable(entries) {
  const t = Object.create(null);
  Object.keys(entries).forEach(function (k) { t[k] = Object.freeze(entries[k]); });
  return Object.freeze(t);
}

const QV_BYOS_TEMPLATES = frozenTable({
  tpl_ema_trend: {
    label: '1. Trend Continuation: 50/200 EMA Pullback + Wick Rejection',
    name: 'EMA Trend Continuation & Pullback',
    rr: '1:2.0',
    cot: 'ADVISORY',
    entry: [
      '- Price must trade beyond both the 50 EMA and the 200 EMA in the trade direction.',
      '- Enter on a low-volume pullback into the 21 EMA or 50 EMA.',
      '- Require a pin-bar or engulfing confirmation candle at the EMA.',
      '- RSI above 50 for buys, below 50 for sells, with no divergence against the trade.'
    ].join('\n'),
    invalidation: [
      '- Stop 5-10 points beyond the swing wick plus 0.5x ATR.',
      '- A full candle close beyond the 50 EMA voids the setup.'
    ].join('\n')
  },
  tpl_smc_fvg: {
    label: '2. SMC / ICT: Order Block & Fair Value Gap (FVG) Mitigation',
    name: 'SMC Order Block & Fair Value Gap (FVG)',
    rr: '1:2.5',
    cot: 'STRICT_CONFIRMATION',
    entry: [
      '- Require a break of structure (BOS) or change of character (CHoCH).',
      '- The displacement must leave a 3-candle Fair Value Gap and an unmitigated order block.',
      '- Enter on a 50% retest into the gap during the London or NY session.'
    ].join('\n'),
    invalidation: [
      '- Stop beyond the displacement\'s extreme swing wick plus ATR.',
      '- A candle close through the far side of the gap voids the setup.'
    ].join('\n')
  },
  tpl_liquidity_sweep: {
    label: '3. Liquidity Raid: Session High/Low Sweep & Turtle Soup Fade',
    name: 'Liquidity Sweep & Turtle Soup Fade',
    rr: '1:2.0',
    cot: 'ADVISORY',
    entry: [
      '- Price spikes through the previous day\'s or the Asian range\'s high/low, or through equal highs/lows.',
      '- The sweep candle leaves an exhaustion wick and closes back inside the range.',
      '- Enter at the next candle open toward the opposite boundary or equilibrium.'
    ].join('\n'),
    invalidation: [
      '- Stop 1.0x ATR beyond the sweep wick.'
    ].join('\n')
  },
  tpl_breakout_retest: {
    label: '4. Momentum: Horizontal S/R Breakout & Controlled Retest',
    name: 'Structural Breakout & Retest',
    rr: '1:2.0',
    cot: 'ADVISORY',
    entry: [
      '- The horizontal level must have been touched at least twice.',
      '- The breakout candle closes with at least 60% of its body beyond the level.',
      '- Enter on a 2-3 candle low-momentum retest that prints a rejection wick.'
    ].join('\n'),
    invalidation: [
      '- Stop back inside the range, below the breakout candle\'s low plus ATR.'
    ].join('\n')
  },
  tpl_fib_golden: {
    label: '5. Fibonacci: 0.618 Golden Pocket + Pivot Confluence',
    name: 'Fibonacci 0.618 Golden Pocket Reversal',
    rr: '1:2.5',
    cot: 'ADVISORY',
    entry: [
      '- Identify a clean impulse leg.',
      '- Wait for the retracement into the 0.618-0.786 zone.',
      '- Require confluence with prior S/R or the session VWAP.',
      '- Enter on a reversal candle inside the zone.'
    ].join('\n'),
    invalidation: [
      '- Stop below the 0.786 level plus 0.5x ATR.'
    ].join('\n')
  },
  tpl_rsi_divergence: {
    label: '6. Mean Reversion: RSI Regular Divergence & Structure Shift',
    name: 'RSI Regular Divergence & Structure Shift',
    rr: '1:2.0',
    cot: 'ADVISORY',
    entry: [
      '- Regular bullish or bearish RSI divergence at daily/H4 support or resistance.',
      '- Confirm with a change of character (CHoCH) on the entry timeframe.'
    ].join('\n'),
    invalidation: [
      '- Stop beyond the divergence pivot plus ATR.'
    ].join('\n')
  },
  clone_ict: {
    label: 'Clone Built-In: ICT Silver Bullet (FVG Preset)',
    name: 'ICT Silver Bullet (FVG Clone)',
    rr: '1:2.0',
    cot: 'ADVISORY',
    entry: [
      '- 1. Liquidity sweep of the prior session or swing high/low.',
      '- 2. Displacement that leaves a clear 3-candle Fair Value Gap.',
      '- 3. Entry on the retracement into the gap.'
    ].join('\n'),
    invalidation: [
      '- Stop beyond the swing that started the displacement plus ATR.',
      '- A candle close through the far side of the gap voids the setup.'
    ].join('\n')
  },
  clone_asian: {
    label: 'Clone Built-In: Asian Range Judas Swing Preset',
    name: 'Asian Range Judas Swing (Clone)',
    rr: '1:2.0',
    cot: 'ADVISORY',
    entry: [
      '- Mark the Asian range 00:00-07:00 UTC.',
      '- Wait for the London-open run 07:00-09:30 UTC to sweep a range extreme.',
      '- Require a rejection wick and a close back inside the range.'
    ].join('\n'),
    invalidation: [
      '- Stop 1.0x ATR beyond the run\'s wick.',
      '- TP1 at the range midpoint, TP2 at the far boundary.'
    ].join('\n')
  },
  clone_core: {
    label: 'Clone Built-In: Institutional Core (3-Tier Preset)',
    name: 'Institutional Core (3-Tier Clone)',
    rr: '1:2.0',
    cot: 'ADVISORY',
    entry: [
      '- 70% weight: live price action and liquidity sweeps.',
      '- 30% weight: weekly COT regime as filter and risk veto.',
      '- Stand aside below 75% confidence or in mid-range chop.'
    ].join('\n'),
    invalidation: [
      '- Stop beyond the key swing level plus ATR.'
    ].join('\n')
  }
});

function strategyDescription(key) {
  switch (key) {
    case 'ict_silver':
      return ['ICT Silver Bullet:', 'Fair Value Gap (FVG) re-entries within London Open (07:00-10:00 GMT) and NY AM (10:00-11:00 EST) Kill-Zones after liquidity sweeps.'];
    case 'asian_sweep':
      return ['Asian Range Judas Swing:', 'Fades false breakouts of Asian session high/low during London Open when price forms rejection wicks back inside the range.'];
    case 'breakout_retest':
      return ['Structural Breakout & Retest:', 'Momentum breakout through major multi-touch support/resistance followed by controlled pullback retest and candle confirmation.'];
    case 'byos_custom':
      return ['Bring Your Own Strategy (BYOS):', 'Enter your custom plain-English entry rules, structural invalidation criteria, and COT policy below.'];
    default:
      return ['Institutional Core:', '70% live price action + FVG sweeps, London/NY session gates, 30% weekly CFTC COT macro regime filter, and Capital Preservation stand-aside default.'];
  }
}
