// The one-click ticket: sizing, stop and target, the order buttons and the sender shared
// with the AI trade card. Every action is one "TRADE:" message; the host writes it for the
// terminal companion, which does the trading. The message's id is only the page's name for
// the order (the host gives the order its own id); the host reports the order's fate back
// under that name ({"type":"fate",...}), and nothing here claims more than it reported.
//
// The sizing the trader chose (mode, lots, risk) is a setting of the host's: the ticket
// shows the host's values once they arrive and asks the host to keep every change.

const LOT_PILLS = [['.01', '0.01'], ['.10', '0.10'], ['.50', '0.50'], ['1.0', '1.00']];
const RISK_PILLS = [['0.5%', '0.5'], ['1.0%', '1.0'], ['2.0%', '2.0'], ['3.0%', '3.0']];
const OPENING_ACTIONS = { BUY: true, SELL: true, REVERSE: true };
// Statuses after which the order may still report: sent, and unknown (the companion may
// still find it and report it executed).
const OPEN_FATES = { sent: true, unknown: true };
const LEVEL_MARK_TEXT = { auto: 'auto', price: 'price', dist: 'dist' };
const LEVEL_MARK_NEXT = { auto: 'price', price: 'dist', dist: 'auto' };
const LEVEL_KIND_OF_MARK = { price: 'PRICE', dist: 'DISTANCE', auto: '' };

// One line of text per fate, shared by the ticket and the card.
function orderFateText(fate) {
  const status = fate && fate.status;
  if (status === 'executed') return 'EXECUTED' + (fate.ticket ? ' #' + fate.ticket : '');
  if (status === 'rejected') return 'REJECTED' + (fate.reason ? ': ' + fate.reason : '');
  if (status === 'sent') return 'SENT TO TERMINAL';
  if (status === 'pending') return 'PENDING\u2026';
  if (status === 'unknown') return 'unknown: check your positions';
  return 'NOT SENT' + (fate && fate.reason ? ': ' + fate.reason : '');
}

function fateColour(status) {
  if (status === 'executed') return '#089981';
  if (status === 'rejected' || status === 'not_sent') return '#f23645';
  if (status === 'unknown') return '#ffab00';
  return '#9598a1';
}

function levelMarkHtml(side) {
  return '<button type="button" id="qv-' + side.toLowerCase() + '-mark" class="qv-level-mark" data-mark="auto" ' +
    'title="How the terminal reads this ' + (side === 'SL' ? 'stop' : 'target') + ': auto (it decides), price (a level), ' +
    'dist (a distance from the entry in pips or points). Click to change.">auto</button>';
}

const ticket = (function () {
  let riskMode = false;
  // Set while an order is on its way out of the page (600 ms at most): a second click
  // sends nothing.
  let trading = false;
  // The ticket's own sizes; each change is also sent to the host to keep.
  let riskVal = '1.0';
  let lotVal = '0.10';
  // True once the host's sizing reached the ticket (its first settings push).
  let sizingFromHost = false;
  // How the companion is told to read a stop or target: 'price' (sent "P:<level>"), 'dist'
  // (a distance in pips or points, "D:<level>") or 'auto' (read here by the companion's own
  // rule, hud/level_reading.js, and sent marked as it read; refused when it fits both
  // readings; bare only while the snapshot has no quote). A level picked on the chart is a
  // price; the trader sets the rest with the small mark on the field.
  const levelMarks = { SL: 'auto', TP: 'auto' };
  // Orders waiting for their fate, by the page's id: a callback each.
  const pendingOrders = Object.create(null);
  let lastClientId = 0;
  // Who shows a risk refusal in the chat (the chat registers itself).
  let tellRefusal = null;

  function rowsHtml() {
    const i = QV_ICONS;
    return '<div class="qv-hud-row qv-size-row">' +
        '<button type="button" id="qv-mode-toggle" class="qv-btn-toggle" title="Click to switch between Fixed Lots and Account % Risk sizing">LOT: FIX</button>' +
        '<div class="qv-size-group"><button type="button" id="qv-size-dec">\u2212</button>' +
          '<input type="text" id="qv-size-input" value="0.10" spellcheck="false" autocomplete="off">' +
          '<button type="button" id="qv-size-inc">+</button></div>' +
        '<div id="qv-presets-container"></div>' +
      '</div>' +
      '<div class="qv-hud-row qv-sltp-row">' +
        '<button type="button" id="qv-pick-sl" class="qv-pick-btn" title="Click to point and set Stop Loss directly on the chart">' + i.shield + 'SL:</button>' +
        '<div id="qv-sl-wrap" class="qv-field-wrap"><input type="text" id="qv-sl-input" value="20" placeholder="SL" title="Stop Loss price or pips" spellcheck="false" autocomplete="off">' +
          levelMarkHtml('SL') + '</div>' +
        '<button type="button" id="qv-pick-tp" class="qv-pick-btn" title="Click to point and set Take Profit directly on the chart">' + i.target + 'TP:</button>' +
        '<div id="qv-tp-wrap" class="qv-field-wrap"><input type="text" id="qv-tp-input" value="40" placeholder="TP" title="Take Profit price or pips" spellcheck="false" autocomplete="off">' +
          levelMarkHtml('TP') + '</div>' +
        '<div class="qv-rr-group">' +
          '<button type="button" id="qv-rr-15" class="qv-rr-btn" title="Set TP to 1:1.5 RR">1:1.5</button>' +
          '<button type="button" id="qv-rr-20" class="qv-rr-btn" title="Set TP to 1:2.0 RR">1:2</button>' +
          '<button type="button" id="qv-rr-30" class="qv-rr-btn" title="Set TP to 1:3.0 RR">1:3</button>' +
        '</div>' +
      '</div>' +
      '<div class="qv-hud-row qv-exec-row">' +
        '<button type="button" id="qv-btn-sell" class="qv-btn-exec qv-btn-sell">SELL</button>' +
        '<button type="button" id="qv-btn-buy" class="qv-btn-exec qv-btn-buy">BUY</button>' +
      '</div>' +
      '<div class="qv-hud-row qv-order-status-row"><span id="qv-order-status" style="font-size:10px;color:#9598a1" aria-live="polite"></span></div>' +
      '<div class="qv-hud-row qv-mgmt-row">' +
        '<button type="button" id="qv-btn-be" class="qv-btn-mgmt" title="Move SL to Entry + 2 Pips (Risk Free)">' + i.bolt + 'BE+</button>' +
        '<button type="button" id="qv-btn-part" class="qv-btn-mgmt" title="Close 50% Volume (Take Partial Profit)">' + i.scissors + '50%</button>' +
        '<button type="button" id="qv-btn-rev" class="qv-btn-mgmt" title="Close position and reverse direction">' + i.refresh + 'REV</button>' +
        '<button type="button" id="qv-btn-close" class="qv-btn-mgmt qv-btn-close-all" title="Close all open positions on this pair">' + i.close + 'CLOSE</button>' +
      '</div>';
  }

  // The number in a typed size: everything but digits and points is dropped first, so
  // "1,5 lots" reads as 15 and "abc" as nothing.
  function readSizeNumber(text) {
    const n = parseFloat(String(text === undefined || text === null ? '' : text).replace(/[^0-9.]/g, ''));
    return isFinite(n) ? n : NaN;
  }

  // The field is what an order sends; the host keeps the choice for the next load only, so a
  // message it never got changes no order.
  function keepSizing(members) {
    settings.request(members);
  }

  function showSize(value) {
    const input = byId('qv-size-input');
    if (riskMode) {
      const v = Math.min(20, Math.max(0.1, value)).toFixed(1);
      if (input) input.value = v + '%';
      riskVal = v;
      keepSizing({ hud_risk_val: v });
    } else {
      const v = Math.max(0.01, value).toFixed(2);
      if (input) input.value = v;
      lotVal = v;
      keepSizing({ hud_lot_val: v });
    }
  }

  function renderSizing() {
    const toggle = byId('qv-mode-toggle');
    const input = byId('qv-size-input');
    const box = byId('qv-presets-container');
    if (toggle) {
      toggle.textContent = riskMode ? 'RISK: %' : 'LOT: FIX';
      toggle.classList.toggle('qv-mode-risk', riskMode);
    }
    if (input) input.value = riskMode ? riskVal + '%' : lotVal;
    if (!box) return;
    box.textContent = '';
    (riskMode ? RISK_PILLS : LOT_PILLS).forEach(function (p, i) {
      const pill = el('button', { type: 'button', className: 'qv-pill-btn' + (i === 1 ? ' qv-pill-active' : ''), 'data-val': p[1], text: p[0] });
      onTrustedClick(pill, function () {
        box.querySelectorAll('.qv-pill-btn').forEach(function (b) { b.classList.remove('qv-pill-active'); });
        pill.classList.add('qv-pill-active');
        if (input) input.value = riskMode ? p[1] + '%' : p[1];
        if (riskMode) riskVal = p[1];
        else lotVal = p[1];
        keepSizing(riskMode ? { hud_risk_val: p[1] } : { hud_lot_val: p[1] });
      });
      box.appendChild(pill);
    });
  }

  // The host's sizing reaches the ticket once per document, with its first settings push:
  // later pushes are the echo of what this ticket (or another chart) sent, and must not
  // change a field under the trader's hands.
  function applyHostSizing() {
    if (sizingFromHost) return;
    sizingFromHost = true;
    riskMode = settings.get('hud_mode') === 'RISK';
    const risk = parseFloat(settings.get('hud_risk_val'));
    const lots = parseFloat(settings.get('hud_lot_val'));
    riskVal = isFinite(risk) && risk > 0 ? Math.min(20, Math.max(0.1, risk)).toFixed(1) : '1.0';
    lotVal = isFinite(lots) && lots > 0 ? Math.max(0.01, lots).toFixed(2) : '0.10';
    renderSizing();
  }

  settings.onChange(function (previous) {
    if (previous === null) applyHostSizing();
  });

  function onSizeTyped() {
    const input = byId('qv-size-input');
    const n = readSizeNumber(input ? input.value : '');
    showSize(isFinite(n) && n !== 0 ? n : (riskMode ? 1.0 : 0.1));
  }

  function onSizeStep(direction) {
    const input = byId('qv-size-input');
    let n = readSizeNumber(input ? input.value : '');
    if (!isFinite(n) || n === 0) n = 0.1;
    const step = riskMode ? 0.5 : 0.01;
    // Rounded before display so 0.1 - 0.01 shows 0.09, not a float artefact.
    n = Math.round((n + direction * step) * 1000) / 1000;
    if (riskMode) n = direction > 0 ? Math.min(20, n) : Math.max(0.1, n);
    else if (direction < 0) n = Math.max(0.01, n);
    showSize(n);
  }

  function setLevelMark(side, mark) {
    levelMarks[side] = LEVEL_MARK_TEXT[mark] ? mark : 'auto';
    const node = byId('qv-' + side.toLowerCase() + '-mark');
    if (node) {
      node.textContent = LEVEL_MARK_TEXT[levelMarks[side]];
      node.setAttribute('data-mark', levelMarks[side]);
    }
  }

  // The market as the level rule needs it, from the chart's snapshot; null while the snapshot
  // lacks a quote or the contract (the companion then reads an unmarked level by the same rule).
  function levelMarket(buy, stop) {
    const t = chartData.latest();
    if (!t) return null;
    const bid = Number(t.Bid);
    const ask = Number(t.Ask);
    const digits = Number(t.Digits);
    const pip = Number(t.PipSize);
    if (!(bid > 0) || !(ask > 0) || !(pip > 0) || !isFinite(digits) || digits < 0 || digits > 10) return null;
    return { buy: buy, stop: stop, bid: bid, ask: ask, digits: digits, unit: pip, whole: false, unitName: 'pips' };
  }

  // How a ticket level reads under the companion's own rule: { ok, reading, reason }. Without a
  // market (no snapshot, or an action that opens no position of a known side) an unmarked level
  // stays for the companion to read.
  function readTicketLevel(text, mark, action, stop) {
    const buy = action === 'BUY' ? true : action === 'SELL' ? false : null;
    const m = buy === null ? null : levelMarket(buy, stop);
    if (!m) {
      const reading = mark === 'price' ? 'price' : mark === 'dist' ? 'distance' : 'none';
      return { ok: true, reading: reading, reason: '' };
    }
    return readLevel(text, LEVEL_KIND_OF_MARK[mark] || '', m);
  }

  // Stop as typed, read by the same rule as the order (a price near the market on its side, or
  // a distance in pips), unless the trader marked it; the target follows at mult times its
  // distance, in the same form.
  function setRR(mult) {
    const slInput = byId('qv-sl-input');
    const tpInput = byId('qv-tp-input');
    if (!slInput || !tpInput) return;
    let sl = parseFloat(slInput.value);
    if (!isFinite(sl)) sl = 20;
    const price = chartData.price();
    const mark = levelMarks.SL;
    let isPrice = mark === 'price';
    if (mark === 'auto') {
      // A stop under the market is a buy's, above it a sell's.
      const reading = readTicketLevel(String(sl), 'auto', price && sl > price ? 'SELL' : 'BUY', true);
      if (!reading.ok) {
        // The order would be refused for the same reason; say it now and leave the target.
        const line = byId('qv-order-status');
        if (line) {
          line.textContent = reading.reason;
          line.style.color = fateColour('not_sent');
        }
        return;
      }
      isPrice = reading.reading === 'price';
    }
    let target;
    if (isPrice) {
      // A marked price needs the market to measure the stop from; without it the target stays.
      if (!price) return;
      const dist = Math.abs(price - sl);
      const t = price > sl ? price + dist * mult : price - dist * mult;
      const snapshot = chartData.latest();
      const digits = snapshot ? Number(snapshot.Digits) : NaN;
      target = isFinite(digits) && digits >= 0 && digits <= 10 ? t.toFixed(digits) : t.toFixed(price > 500 ? 2 : 4);
    } else {
      target = String(Math.round(sl * mult));
    }
    tpInput.value = target;
    setLevelMark('TP', mark);
  }

  // Shortest decimal form of a stop or target, 0 when there is none.
  function levelText(custom, fieldId) {
    if (custom !== undefined && custom !== null && custom !== '') {
      const c = Number(custom);
      if (isFinite(c)) return String(c);
    }
    const input = byId(fieldId);
    const n = input ? parseFloat(input.value) : NaN;
    return isFinite(n) ? String(n) : '0';
  }

  // The record's stop or target field: a level with the reading the rule gave it (so the
  // companion never has to guess); none (0) is never marked.
  function levelField(text, reading) {
    if (Number(text) === 0) return text;
    return markedLevel(text, reading);
  }

  function ticketSizeText() {
    const input = byId('qv-size-input');
    const n = readSizeNumber(input ? input.value : '');
    if (riskMode) return 'R:' + (isFinite(n) && n !== 0 ? n : 1.0).toFixed(1);
    return (isFinite(n) && n !== 0 ? n : 0.1).toFixed(2);
  }

  // The host's report of one order ({"type":"fate","client",...}).
  function receiveOrderFate(fate) {
    if (!fate || typeof fate !== 'object') return;
    const client = String(fate.client || '');
    const handler = pendingOrders[client];
    if (!handler) return;
    const shown = {
      client: client, id: String(fate.id || ''), status: String(fate.status || ''),
      ticket: String(fate.ticket || ''), price: String(fate.price || ''), volume: String(fate.volume || ''),
      reason: String(fate.reason || '')
    };
    if (OPEN_FATES[shown.status] !== true) delete pendingOrders[client];
    try { handler(shown); } catch (e) { /* one display must not stop the others */ }
  }
  channel.onPush('fate', receiveOrderFate);

  function showTicketFate(action, fate) {
    const line = byId('qv-order-status');
    if (!line) return;
    line.textContent = action + ' ' + orderFateText(fate);
    line.style.color = fateColour(fate && fate.status);
  }

  // Sends one order; onFate (optional) hears pending, then each report of the host. orderId:
  // the deterministic id of an automatic order, which the host keeps; every other order gets
  // its id from the host. customSl and customTp (a card's) are price levels; without them the
  // ticket's fields are sent with their marks. Returns the page's id for the order, or null
  // when nothing was sent.
  function sendTrade(action, btn, customSize, customSym, customSl, customTp, onFate, orderId) {
    if (trading) return null;
    trading = true;
    let saved = null;
    if (btn) {
      saved = btn.innerHTML;
      btn.textContent = 'PENDING';
    }
    let released = false;
    function release() {
      if (released) return;
      released = true;
      trading = false;
      if (btn && saved !== null) btn.innerHTML = saved;
    }
    const timer = qvSetTimeout(guarded(release), 600);
    try {
      const size = customSize !== undefined && customSize !== null && customSize !== '' ? String(customSize).replace(/[\s,]/g, '') : ticketSizeText();
      const probed = customSym ? '' : symbolProbe.getActiveTradingViewSymbol();
      const symbol = (customSym ? String(customSym).replace(/[\s,]/g, '') : probed) || 'CURRENT';
      const fromCard = customSl !== undefined || customTp !== undefined;
      const slText = levelText(customSl, 'qv-sl-input');
      const tpText = levelText(customTp, 'qv-tp-input');
      const slRead = fromCard ? { ok: true, reading: 'price' } : readTicketLevel(slText, levelMarks.SL, action, true);
      const tpRead = fromCard ? { ok: true, reading: 'price' } : readTicketLevel(tpText, levelMarks.TP, action, false);
      // A level that fits both readings (or neither) is not sent: the trader says which it is.
      const levelRefusal = !slRead.ok ? slRead.reason : !tpRead.ok ? tpRead.reason : '';
      if (levelRefusal && OPENING_ACTIONS[action] === true) {
        qvClearTimeout(timer);
        release();
        showTicketFate(action, { status: 'not_sent', reason: levelRefusal });
        return null;
      }
      const sl = levelField(slText, slRead.ok ? slRead.reading : 'none');
      const tp = levelField(tpText, tpRead.ok ? tpRead.reading : 'none');
      // "CURRENT" names no instrument; the snapshot's symbol then decides crypto or not.
      const market = getMarketStatusInfo(chartData.latest(), symbol === 'CURRENT' ? '' : symbol);
      if (market && market.isClosed && OPENING_ACTIONS[action] === true) {
        qvClearTimeout(timer);
        release();
        try {
          window.alert('\u26A0\uFE0F Market is CLOSED (' + market.reason + '). Live orders cannot be routed to broker until markets reopen.');
        } catch (e) { /* dialogs blocked */ }
        return null;
      }
      if (OPENING_ACTIONS[action] === true && !riskSizeAllowed(size, !!orderId, !!btn)) {
        qvClearTimeout(timer);
        release();
        return null;
      }
      // Unique within the page even for two sends in one millisecond.
      const client = orderId ? String(orderId) : String(Math.max(Date.now(), lastClientId + 1));
      if (!orderId) lastClientId = Number(client);
      const report = function (fate) {
        if (typeof onFate === 'function') onFate(fate);
        else showTicketFate(action, fate);
      };
      pendingOrders[client] = report;
      report({ client: client, status: 'pending' });
      if (!channel.post('TRADE:' + client + ',' + action + ',' + size + ',' + symbol + ',' + sl + ',' + tp)) {
        receiveOrderFate({ client: client, status: 'not_sent', reason: 'no connection to the workspace' });
        return null;
      }
      return client;
    } catch (e) {
      return null; /* the lock still clears on its timer */
    }
  }

  // A risk size ("R:<percent>") within the hard cap, and above the vault's risk only when the
  // trader confirms it; an automatic order was capped to the vault's risk before it came here.
  // A refusal of the ticket is also a dialog: the ticket's chat may be closed.
  function riskSizeAllowed(size, automatic, fromTicket) {
    if (!/^R:/.test(size)) return true;
    const verdict = judgeManualRisk(parseFloat(size.slice(2)), autoTraderSettings().riskPct);
    let refusal = verdict.refusal || '';
    if (!refusal && verdict.confirm && !automatic) {
      let yes = false;
      try { yes = window.confirm(verdict.confirm) === true; } catch (e) { yes = false; }
      if (!yes) refusal = 'Order not sent: ' + parseFloat(size.slice(2)) + '% risk above the vault risk was not confirmed.';
    }
    if (!refusal) return true;
    if (tellRefusal) tellRefusal(refusal);
    if (fromTicket && verdict.refusal) {
      try { window.alert(refusal); } catch (e) { /* dialogs blocked */ }
    }
    return false;
  }

  function wire() {
    renderSizing();
    if (settings.pushed()) applyHostSizing();
    onTrustedClick(byId('qv-mode-toggle'), function () {
      riskMode = !riskMode;
      keepSizing({ hud_mode: riskMode ? 'RISK' : 'LOT' });
      renderSizing();
    });
    const input = byId('qv-size-input');
    if (input) input.addEventListener('change', guarded(function (ev) { if (ev.isTrusted === true) onSizeTyped(); }));
    onTrustedClick(byId('qv-size-dec'), function () { onSizeStep(-1); });
    onTrustedClick(byId('qv-size-inc'), function () { onSizeStep(1); });
    onTrustedClick(byId('qv-rr-15'), function () { setRR(1.5); });
    onTrustedClick(byId('qv-rr-20'), function () { setRR(2.0); });
    onTrustedClick(byId('qv-rr-30'), function () { setRR(3.0); });
    ['SL', 'TP'].forEach(function (side) {
      onTrustedClick(byId('qv-' + side.toLowerCase() + '-mark'), function () { setLevelMark(side, LEVEL_MARK_NEXT[levelMarks[side]]); });
    });
    [['qv-btn-buy', 'BUY'], ['qv-btn-sell', 'SELL'], ['qv-btn-close', 'CLOSE'], ['qv-btn-part', 'CLOSE_50'],
      ['qv-btn-be', 'BE_PLUS'], ['qv-btn-rev', 'REVERSE']].forEach(function (b) {
      onTrustedClick(byId(b[0]), function (node) { sendTrade(b[1], node); });
    });
  }

  // The vault's risk after the trader saved it: a ticket in risk mode sizes by it from now on.
  function followVaultRisk(risk) {
    if (!riskMode) return;
    const size = byId('qv-size-input');
    if (size) size.value = risk + '%';
    riskVal = risk;
    keepSizing({ hud_risk_val: risk });
  }

  return Object.freeze({
    rowsHtml: rowsHtml,
    wire: wire,
    sendTrade: sendTrade,
    setLevelMark: setLevelMark,
    followVaultRisk: followVaultRisk,
    // fn(line) shows a risk refusal of the ticket's or a card's order.
    reportRefusalsTo: function (fn) { tellRefusal = fn; }
  });
})();
