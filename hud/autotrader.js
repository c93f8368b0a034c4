// AutoTrader: the on/off toggle and the bar-close loop that starts one AI evaluation per
// closed bar (or per pulse) while the market is open and the schedule allows it.
//
// The switch is a setting of the host's: the toggle only asks ("SETTINGS_SET:{"autotrader":…}")
// and shows the new state once the host's push carries it, so neither a script nor a lost
// message can turn it on.

const QV_ON_DEMAND_PROMPT = 'Immediate on-demand user analysis: Evaluate active chart structure and formulate setup.';

const autoTrader = (function () {
  // The switch asked of the host and not answered yet.
  let autoTraderRequest = null;
  // A random name for this page, so the claim file tells the page that won its bar apart
  // from every other page (each claim adds its own count).
  let autoTraderPageToken = '';
  let claimCount = 0;

  function autoTraderIsOn() {
    return settings.get('autotrader') === true;
  }

  function updateAutoTraderUI() {
    const toggle = byId('qv-autotrader-toggle');
    const icon = byId('qv-auto-icon');
    const label = byId('qv-auto-label');
    const on = autoTraderIsOn();
    if (toggle) {
      toggle.classList.toggle('qv-auto-active', on);
      toggle.title = 'Autonomous Bar-Close AutoTrader: Evaluates setup on candle close and executes if confidence >= 85%';
    }
    if (icon) icon.innerHTML = (on ? QV_ICONS.liveDot : QV_ICONS.dotOff);
    if (label) label.textContent = on ? 'AutoTrader: ON (>=85% Conf)' : 'AutoTrader: OFF';
  }

  async function onAutoTraderToggle() {
    if (autoTraderRequest) return;
    const want = !autoTraderIsOn();
    const sent = { autotrader: want };
    if (!settings.request(sent)) {
      appendAIMessage(QV_ICONS.alert + ' AutoTrader not switched: no connection to the workspace.', 'AUTOTRADER RULES');
      return;
    }
    // A question already asked is not asked twice while the host has not answered it.
    autoTraderRequest = sent;
    const outcome = await settings.awaitConfirmation('settings', sent, 30000);
    autoTraderRequest = null;
    if (outcome.timedOut) {
      appendAIMessage(QV_ICONS.alert + ' AutoTrader not switched: the workspace did not confirm it.', 'AUTOTRADER RULES');
    } else if (outcome.differing) {
      appendAIMessage(QV_ICONS.alert + ' AutoTrader not switched: the workspace kept it ' + (autoTraderIsOn() ? 'on' : 'off') + '.', 'AUTOTRADER RULES');
    }
  }

  // Every change of the switch, whoever asked for it, is drawn and said in the chat.
  settings.onChange(function (previous, current) {
    updateAutoTraderUI();
    if (previous && previous.autotrader !== current.autotrader) {
      appendAIMessage('Autonomous Bar-Close AutoTrader is now ' +
        (current.autotrader ? 'ACTIVATED (Scanning on candle close).' : 'DEACTIVATED.'));
    }
  });

  function writeSymbolBadge(snap, timeframe, market) {
    const badge = byId('qv-ai-sym-badge');
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

  function pageToken() {
    if (!autoTraderPageToken) {
      let t = '';
      try {
        const a = new Uint32Array(4);
        window.crypto.getRandomValues(a);
        for (let i = 0; i < a.length; i++) t += ('00000000' + a[i].toString(16)).slice(-8);
      } catch (e) {
        t = (Date.now().toString(16) + Math.random().toString(16).slice(2)).replace(/[^0-9a-f]/g, '');
      }
      autoTraderPageToken = t;
    }
    return autoTraderPageToken;
  }

  function qvSleep(ms) {
    return new Promise(function (resolve) { qvSetTimeout(resolve, ms); });
  }

  // One evaluation per instrument and bar across every page and process: the page asks the
  // host for the bar ("AT_CLAIM:<instrument>,<bar>,<token>"); the host creates
  // QV_ATClaim_<instrument>_<bar>.txt only if it does not exist yet and writes the token of
  // the first page that asked into it. Every page then reads that file from the bridge
  // folder: the page whose token it holds evaluates. true: won, false: another page has it,
  // null: no answer (no host, or a host that does not know claims).
  async function claimAutoTraderBar(instrument, bar) {
    return claimBridgeSlot(instrumentKey(instrument).replace(/[^A-Za-z0-9_.\-]/g, '-'), bar);
  }

  async function readClaimFile(file) {
    try {
      const res = await hudFetch(bridgeUrl(file), { cache: 'no-store' });
      return res && res.ok ? String(await res.text()).trim() : '';
    } catch (e) {
      return '';
    }
  }

  // Every request gets its own token, so a page never mistakes the claim it won for an
  // earlier slot as a new one.
  async function claimBridgeSlot(key, bar) {
    claimCount++;
    const token = pageToken() + claimCount.toString(36);
    if (!key || !channel.post('AT_CLAIM:' + key + ',' + bar + ',' + token)) return null;
    const file = 'QV_ATClaim_' + key + '_' + bar + '.txt';
    for (let i = 0; i < 8; i++) {
      // The host creates the file, then writes the token: empty is not an answer yet.
      const text = await readClaimFile(file);
      if (text !== '') return text === token;
      await qvSleep(250);
    }
    return null;
  }

  // The lowest free order slot of the instrument's day: { slot } when this page took one,
  // { full: true } when all are taken, { lost: true } when the host did not answer.
  async function claimDailyOrderSlot(instrument, rules, nowMs) {
    for (let k = 1; k <= rules.dailyCap; k++) {
      const won = await claimBridgeSlot(dailySlotName(instrument), dailySlotBar(nowMs, k));
      if (won === true) return { slot: k };
      if (won === null) return { lost: true };
    }
    return { full: true };
  }

  // Slots fill from the lowest, so the day is full once its last slot is claimed.
  async function dailyCapUsed(instrument, rules, nowMs) {
    if (rules.dailyCap <= 0) return true;
    const last = 'QV_ATClaim_' + dailySlotName(instrument) + '_' + dailySlotBar(nowMs, rules.dailyCap) + '.txt';
    return (await readClaimFile(last)) !== '';
  }

  function autoChat(line) {
    appendAIMessage(QV_ICONS.shield + ' ' + escapeHtml(line), 'AUTOTRADER RULES');
  }

  // Sends an automatic order from a card once the trader's rules allow it, 800 ms after
  // the card appeared, judged against a snapshot read at that moment. card: { isSent,
  // setRisk(value, note), send({ id, symbol }) }.
  function scheduleAutoExecution(proposal, auto, card) {
    qvSetTimeout(guarded(async function () {
      if (card.isSent()) return;
      if (!autoTraderIsOn()) {
        autoChat('AutoTrader: switched off before sending; the card waits for your click.');
        return;
      }
      const rules = autoTraderSettings();
      const snap = await chartData.fetchSnapshot();
      const verdict = judgeAutoProposal(proposal, { salvaged: auto.salvaged, instrument: auto.instrument, snapshot: snap, rules: rules });
      if (!verdict.fire) {
        autoChat(verdict.refusal);
        return;
      }
      const late = judgeSendingMoment(snap, auto.instrument, rules);
      if (late) {
        autoChat(late);
        return;
      }
      if (card.isSent()) return;
      const day = await claimDailyOrderSlot(auto.instrument, rules, Date.now());
      if (day.full) {
        autoChat(dailyCapLine(auto.instrument, rules));
        return;
      }
      if (day.lost) {
        autoChat('AutoTrader: the workspace did not confirm today\'s order count for ' + auto.instrument + '; nothing was sent.');
        return;
      }
      if (verdict.capped) {
        card.setRisk(verdict.risk, 'Risk capped to ' + verdict.risk.toFixed(1) + '% (vault limit; the proposal asked ' + proposal.risk_pct + '%).');
      }
      if (card.isSent()) return;
      const action = String(proposal.action);
      const symbol = cardSymbol(String(snap.Symbol)) || auto.instrument;
      if (!card.send({ id: autoOrderId(instrumentKey(auto.instrument), auto.bar, action), symbol: symbol })) {
        autoChat('AutoTrader: the order could not be sent (another order was in progress or it was refused); the card waits for your click.');
        return;
      }
      appendAIMessage(QV_ICONS.bolt + ' <b>AUTONOMOUS AUTOTRADER EXECUTION:</b> High confidence threshold met (' +
        escapeHtml(verdict.confidence) + '% &gt;= ' + Math.max(QV_AUTO_MIN_CONFIDENCE, rules.threshold) +
        '%). Order auto-dispatched to MT5 Constitution Sentinel.' +
        (verdict.capped ? ' Risk capped to ' + verdict.risk.toFixed(1) + '%.' : ''));
      if (day.slot >= rules.dailyCap) autoChat(dailyCapLine(auto.instrument, rules));
    }), 800);
  }

  // One loop per build; its memory starts in the waiting state.
  function startLoop() {
    const state = { lastBarTime: 0, isBarTimeInit: false, lastTimerTrigger: 0, noted: '' };

    // A console line once per distinct reason, so a steady condition does not fill the log.
    function noteOnce(line) {
      if (state.noted === line) return;
      state.noted = line;
      console.log('[Quorvale AutoTrader] ' + line);
    }

    async function tick() {
      try {
        const snap = await chartData.fetchSnapshot();
        if (!snap) return;
        // A BarTime that is no number is no bar: it must never look new at every tick.
        const bar = numberValue(snap.BarTime);
        if (!isFinite(bar)) {
          noteOnce('Snapshot BarTime is not a number; waiting for a readable bar.');
          return;
        }
        const timeframe = snap.PeriodStr || 'H1';
        const barText = snap.BarTimeStr || '';
        const market = getMarketStatusInfo(snap, snap.Symbol || '');
        writeSymbolBadge(snap, timeframe, market);
        const instrument = chartData.pageInstrument(snap);
        if (!sameInstrument(snap.Symbol, instrument)) {
          noteOnce('Snapshot symbol ' + snap.Symbol + ' is not this chart\'s instrument (' + (instrument || 'unknown') + '); no evaluation.');
          return;
        }

        if (!state.isBarTimeInit) {
          state.lastBarTime = bar;
          state.isBarTimeInit = true;
          state.lastTimerTrigger = Date.now();
          return;
        }
        if (!autoTraderIsOn() || market.isClosed) return;
        const interval = settings.get('exec_interval') || 'CANDLE_CLOSE_H1';
        if (interval === 'MANUAL_ONLY') return;
        let hour = numberValue(snap.CurrentHourUTC);
        if (!isFinite(hour)) hour = new Date().getUTCHours();
        const verdict = isWithinPermittedSchedule(hour);

        // Compare and update in one step, with no wait between, so overlapping ticks that
        // see the same new bar trigger once.
        let label = '';
        let barKey = String(Math.trunc(bar));
        const now = Date.now();
        if (interval === 'TIMER_5MIN' || interval === 'TIMER_15MIN') {
          const period = interval === 'TIMER_5MIN' ? 300000 : 900000;
          if (now - state.lastTimerTrigger < period) return;
          state.lastTimerTrigger = now;
          label = interval === 'TIMER_5MIN' ? '5-Minute Intrabar Interval' : '15-Minute Pulse Interval';
          // Pages pulse at their own moments; the slot they share names the claim.
          barKey = String(Math.floor(now / period) * (period / 1000));
        } else {
          if (bar === state.lastBarTime) return;
          state.lastBarTime = bar;
          label = timeframe + ' Candle Close [' + barText + ']';
        }

        if (!verdict || !verdict.allowed) {
          console.log('[Quorvale AutoTrader] Skipped scan: ' + (verdict ? verdict.reason : ''));
          return;
        }
        let maxSpread = settings.get('max_spread');
        if (typeof maxSpread !== 'number' || !isFinite(maxSpread)) maxSpread = 35;
        const spread = Number(snap.CurrentSpreadPts);
        if (snap.CurrentSpreadPts !== undefined && snap.CurrentSpreadPts !== null && spread > maxSpread) {
          console.log('[Quorvale AutoTrader] Pre-LLM Filter: Spread (' + snap.CurrentSpreadPts +
            ' pts) exceeds max limit (' + maxSpread + ' pts). Stand aside.');
          return;
        }
        const rules = autoTraderSettings();
        if (await dailyCapUsed(instrument, rules, now)) {
          const day = utcDay(now) + instrumentKey(instrument);
          if (state.capDay !== day) {
            state.capDay = day;
            autoChat(dailyCapLine(instrument, rules));
          }
          return;
        }
        const won = await claimAutoTraderBar(instrument, barKey);
        if (won === false) {
          console.log('[Quorvale AutoTrader] Another page evaluates ' + instrument + ' for bar ' + barKey + '.');
          return;
        }
        if (won === null) {
          autoChat('AutoTrader: the workspace did not confirm this bar for ' + instrument +
            '; the bar is skipped so that no second page trades it.');
          return;
        }
        const select = byId('qv-ai-model-select');
        const opt = select && select.selectedIndex >= 0 ? select.options[select.selectedIndex] : null;
        const engine = opt && opt.text ? opt.text : 'Active AI Engine';
        appendAIMessage('🤖 <b>AUTONOMOUS TRIGGER:</b> ' + escapeHtml(label) + ' (' + escapeHtml(verdict.reason) +
          '). Playbook: <i>' + escapeHtml(settings.get('active_strategy') || 'core') + '</i>. Dispatched to ' +
          escapeHtml(engine) + '...');
        copilot.executeAIInference('Autonomous ' + label +
          ' evaluation: Scan price action and evaluate if a valid setup exists with >=85% confidence.', true,
          { auto: true, instrument: instrument, bar: barKey });
      } catch (e) { /* the next tick starts afresh */ }
    }

    return qvSetInterval(guarded(tick), 3000);
  }

  // The terminal companion's on-demand request, pushed by the host ({"type":"evaluate"}). It
  // evaluates once; its card never sends by itself, so a push cannot trade.
  channel.onPush('evaluate', function () {
    if (!byId('qv-ai-drawer')) return;
    drawer.open();
    appendAIMessage(QV_ICONS.bolt + ' <b>ON-DEMAND EVALUATION:</b> requested by the terminal. The card waits for your click.');
    copilot.executeAIInference(QV_ON_DEMAND_PROMPT, true, null);
  });

  // Cards of the loop's own evaluations are the AutoTrader's to send.
  tradeCards.handAutomaticCardsTo(scheduleAutoExecution);

  function wire() {
    onTrustedClick(byId('qv-autotrader-toggle'), onAutoTraderToggle);
    updateAutoTraderUI();
  }

  return Object.freeze({ wire: wire, startLoop: startLoop });
})();
