// AutoTrader: the on/off toggle and the bar-close loop that starts one AI evaluation per
// closed bar (or per pulse) while the market is open and the schedule allows it.

var autoTraderOnState;
var autoTraderEpochCount;

function autoTraderIsOn() {
  if (autoTraderOnState === undefined) {
    autoTraderOnState = storeGet('qv_autotrader', '0') === '1';
  }
  return autoTraderOnState;
}

function autoTraderChangeEpoch() {
  return autoTraderEpochCount || 0;
}

function setAutoTraderOn(on) {
  autoTraderOnState = !!on;
  storeSet('qv_autotrader', on ? '1' : '0');
}

function updateAutoTraderUI() {
  const toggle = document.getElementById('qv-autotrader-toggle');
  const icon = document.getElementById('qv-auto-icon');
  const label = document.getElementById('qv-auto-label');
  const on = autoTraderIsOn();
  if (toggle) {
    toggle.classList.toggle('qv-auto-active', on);
    toggle.title = 'Autonomous Bar-Close AutoTrader: Evaluates setup on candle close and executes if confidence >= 85%';
  }
  if (icon) icon.innerHTML = (on ? QV_ICONS.liveDot : QV_ICONS.dotOff);
  if (label) label.textContent = on ? 'AutoTrader: ON (>=85% Conf)' : 'AutoTrader: OFF';
}

function onAutoTraderToggle(ev) {
  if (ev) ev.preventDefault();
  autoTraderEpochCount = autoTraderChangeEpoch() + 1;
  setAutoTraderOn(!autoTraderIsOn());
  updateAutoTraderUI();
  // The configuration file is what the 3 s sync reads back; unless it learns the new state
  // the next sync would switch the toggle back.
  postToHost(buildVaultCfgMessage());
  appendAIMessage('Autonomous Bar-Close AutoTrader is now ' +
    (autoTraderIsOn() ? 'ACTIVATED (Scanning on candle close).' : 'DEACTIVATED.'));
}

function numericHour(value) {
  if (typeof value === 'number' && isFinite(value)) return value;
  if (typeof value === 'string' && value.trim() !== '' && isFinite(Number(value))) return Number(value);
  return undefined;
}

function writeSymbolBadge(snap, timeframe, market) {
  const badge = document.getElementById('qv-ai-sym-badge');
  if (!badge || !snap.Symbol) return;
  badge.textContent = String(snap.Symbol) + ' • MT5: ' + timeframe;
  if (market && market.isClosed) {
    const tag = document.createElement('span');
    tag.className = 'qv-closed-tag';
    tag.style.color = '#ff9800';
    tag.style.marginLeft = '5px';
    tag.textContent = '⏸ CLOSED (' + String(market.dayName || '').toUpperCase() + ')';
    badge.appendChild(tag);
  }
}

// One loop per build; its memory starts in the waiting state.
function startAutoTraderLoop() {
  const state = { lastBarTime: 0, isBarTimeInit: false, lastTimerTrigger: 0 };

  async function tick() {
    try {
      await syncExternalAIConfig();
      const res = await hudFetch(bridgeUrl('QV_AICopilotData.json'), { cache: 'no-store' });
      if (!res.ok) return;
      const snap = await res.json();
      if (!snap || snap.BarTime === undefined || snap.BarTime === null || snap.BarTime === '') return;
      const bar = Number(snap.BarTime);
      const timeframe = snap.PeriodStr || 'H1';
      const barText = snap.BarTimeStr || '';
      const market = getMarketStatusInfo(snap, snap.Symbol || '');
      writeSymbolBadge(snap, timeframe, market);

      if (!state.isBarTimeInit) {
        state.lastBarTime = bar;
        state.isBarTimeInit = true;
        state.lastTimerTrigger = Date.now();
        return;
      }
      if (!autoTraderIsOn() || market.isClosed) return;
      const interval = storeGet('qv_exec_interval', '') || 'CANDLE_CLOSE_H1';
      if (interval === 'MANUAL_ONLY') return;
      let hour = numericHour(snap.CurrentHourUTC);
      if (hour === undefined) hour = new Date().getUTCHours();
      const verdict = isWithinPermittedSchedule(hour);

      // Compare and update in one step, with no wait between, so overlapping ticks that
      // see the same new bar trigger once.
      let label = '';
      const now = Date.now();
      if (interval === 'TIMER_5MIN') {
        if (now - state.lastTimerTrigger < 300000) return;
        state.lastTimerTrigger = now;
        label = '5-Minute Intrabar Interval';
      } else if (interval === 'TIMER_15MIN') {
        if (now - state.lastTimerTrigger < 900000) return;
        state.lastTimerTrigger = now;
        label = '15-Minute Pulse Interval';
      } else {
        if (bar === state.lastBarTime) return;
        state.lastBarTime = bar;
        label = timeframe + ' Candle Close [' + barText + ']';
      }

      if (!verdict || !verdict.allowed) {
        console.log('[Quorvale AutoTrader] Skipped scan: ' + (verdict ? verdict.reason : ''));
        return;
      }
      let maxSpread = parseInt(storeGet('qv_max_spread_pts', '35'), 10);
      if (!isFinite(maxSpread)) maxSpread = 35;
      const spread = Number(snap.CurrentSpreadPts);
      if (snap.CurrentSpreadPts !== undefined && snap.CurrentSpreadPts !== null && spread > maxSpread) {
        console.log('[Quorvale AutoTrader] Pre-LLM Filter: Spread (' + snap.CurrentSpreadPts +
          ' pts) exceeds max limit (' + maxSpread + ' pts). Stand aside.');
        return;
      }
      const select = document.getElementById('qv-ai-model-select');
      const opt = select && select.selectedIndex >= 0 ? select.options[select.selectedIndex] : null;
      const engine = opt && opt.text ? opt.text : 'Active AI Engine';
      appendAIMessage('🤖 <b>AUTONOMOUS TRIGGER:</b> ' + escapeHtml(label) + ' (' + escapeHtml(verdict.reason) +
        '). Playbook: <i>' + escapeHtml(storeGet('qv_active_strategy', '') || 'core') + '</i>. Dispatched to ' +
        escapeHtml(engine) + '...');
      executeAIInference('Autonomous ' + label +
        ' evaluation: Scan price action and evaluate if a valid setup exists with >=85% confidence.', true);
    } catch (e) { /* the next tick starts afresh */ }
  }

  return qvSetInterval(guarded(tick), 3000);
}

function wireAutoTrader() {
  autoTraderOnState = storeGet('qv_autotrader', '0') === '1';
  const toggle = document.getElementById('qv-autotrader-toggle');
  if (toggle) toggle.addEventListener('click', guarded(onAutoTraderToggle));
  updateAutoTraderUI();
}
