// A reply in the chat and the trade proposal card it may carry. The card sends only on the
// trader's real click, or, for the AutoTrader's own evaluation, through the AutoTrader's
// rules (autotrader.js hands its executor to this file when it loads).

function cardNumber(value) {
  const n = parseFloat(value);
  return isFinite(n) ? n : 0;
}

// A symbol from the model ends up as one field of a comma-separated trade record.
function cardSymbol(value) {
  if (typeof value !== 'string') return undefined;
  const s = value.replace(/[,\s]/g, '');
  return s === '' ? undefined : s;
}

function confluenceHtml(proposal) {
  const list = proposal.confluence;
  if (Array.isArray(list) && list.length > 0) {
    let html = '<ul class="qv-card-confluence">';
    for (let i = 0; i < list.length; i++) html += '<li>' + escapeHtml(list[i]) + '</li>';
    return html + '</ul>';
  }
  if (proposal.reasoning) return '<p class="qv-card-reasoning">' + escapeHtml(proposal.reasoning) + '</p>';
  return '';
}

const tradeCards = (function () {
  // Each card's reward-to-risk refresh, found by its card when the trader types in it.
  const rrUpdaters = new WeakMap();
  // The AutoTrader's executor of a card from its own evaluation: fn(proposal, auto, card).
  let executeAutomatically = null;

  inputGuard.onFieldEvent(function (ev, field) {
    if (ev.type !== 'input' || !field.classList || !field.classList.contains('qv-card-input')) return;
    const card = typeof field.closest === 'function' ? field.closest('.qv-trade-card') : null;
    const update = card ? rrUpdaters.get(card) : null;
    if (update) update();
  });

  // run: the evaluation's own options; only the AutoTrader's bar evaluation carries auto.
  function processAIResponse(rawReply, loadingElement, run) {
    const extracted = extractTradeProposal(rawReply);
    if (loadingElement) {
      loadingElement.innerHTML = metaLineHtml('QUORVALE AI COPILOT') +
        '<div class="qv-msg-text">' + formatAIMarkdown(extracted.text) + '</div>';
    }
    if (extracted.proposal && isCardAction(extracted.proposal.action)) {
      renderTradeProposalCard(extracted.proposal,
        run && run.auto ? Object.assign({}, run, { salvaged: extracted.salvaged }) : null);
    }
    copilotScrollChat();
  }

  // auto: set for an AutoTrader evaluation ({ instrument, bar, salvaged }); without it the
  // card only ever sends on the trader's click.
  function renderTradeProposalCard(proposal, auto) {
    if (!proposal || typeof proposal !== 'object') return null;
    const action = String(proposal.action || '');
    const standAside = action === 'STAND_ASIDE' || action === 'NO_TRADE' || action === 'NEUTRAL';
    let confidence = cardNumber(proposal.confidence);
    if (!confidence) confidence = standAside ? 50 : 85;
    confidence = Math.round(confidence);
    const colour = standAside ? '#ffab00'
      : confidence >= 80 ? '#00e676' : confidence >= 65 ? '#ffd700' : '#ff5252';
    const cardId = 'qv-card-' + Date.now();
    const symbolText = escapeHtml(proposal.symbol || 'ASSET');

    if (standAside) {
      const tech = chartData.latest();
      const resistance = tech && tech.SwingHigh_Resistance ? tech.SwingHigh_Resistance : '4200.00 – 4208.75';
      const support = tech && tech.SwingLow_Support ? tech.SwingLow_Support : '4150.00 – 4160.00';
      const html =
        '<div class="qv-trade-card qv-card-stand-aside" id="' + cardId + '" style="border:1px solid #ffab00;' +
          'background:linear-gradient(135deg,rgba(255,171,0,0.10),rgba(40,28,0,0.85));border-radius:8px;padding:9px;margin-top:4px">' +
        '<div class="qv-card-hdr" style="display:flex;justify-content:space-between;align-items:center;color:#ffab00;font-weight:800">' +
          '<span>' + QV_ICONS.shield + ' STAND ASIDE • ' + symbolText + '</span>' +
          '<span class="qv-card-badge" style="color:' + colour + ';border:1px solid ' + colour + ';border-radius:4px;padding:1px 5px">' +
            confidence + '% • NO EDGE</span></div>' +
        '<div class="qv-card-grid" style="display:grid;grid-template-columns:repeat(3,1fr);gap:5px;margin:7px 0">' +
          '<div class="qv-card-cell"><div class="qv-card-lbl">Market Regime</div><div class="qv-card-val">MID-RANGE CHOP</div></div>' +
          '<div class="qv-card-cell"><div class="qv-card-lbl">Watch Resistance</div><div class="qv-card-val" style="color:#ff8a80">' +
            escapeHtml(resistance) + '</div></div>' +
          '<div class="qv-card-cell"><div class="qv-card-lbl">Watch Support</div><div class="qv-card-val" style="color:#80d8ff">' +
            escapeHtml(support) + '</div></div></div>' +
        confluenceHtml(proposal) +
        '<div class="qv-card-notice" style="color:#ffd700;font-size:10px;margin-top:6px">' +
          '<b>CAPITAL PRESERVATION:</b> Zero asymmetric edge detected. Orders held until range boundary is engaged.</div>' +
        '</div>';
      const msg = appendAIMessage(html, 'CAPITAL PRESERVATION SENTINEL');
      qvSetTimeout(guarded(copilotScrollChat), 100);
      return msg;
    }

    const riskDefault = settings.percentText('risk_pct');
    const riskValue = proposal.risk_pct !== undefined && proposal.risk_pct !== null && proposal.risk_pct !== ''
      ? proposal.risk_pct : riskDefault;
    const lotValue = proposal.suggested_lots ? proposal.suggested_lots : '0.10';
    const rrValue = proposal.risk_reward ? proposal.risk_reward : '1:2.0';
    function attr(v) { return v === undefined || v === null ? '' : escapeHtml(v); }
    const dirClass = action === 'BUY' ? 'qv-card-dir-buy' : 'qv-card-dir-sell';
    const html =
      '<div class="qv-trade-card" id="' + cardId + '" style="border:1px solid rgba(56,117,255,0.45);border-radius:8px;padding:9px;margin-top:4px;background:rgba(20,26,40,0.92)">' +
      '<div class="qv-card-hdr" style="display:flex;justify-content:space-between;align-items:center">' +
        '<span class="' + dirClass + '" style="font-weight:800">' + QV_ICONS.liveDot + ' ' + escapeHtml(action) + ' ' + symbolText + '</span>' +
        '<span class="qv-card-badge" style="color:' + colour + ';border:1px solid ' + colour + ';border-radius:4px;padding:1px 5px">' +
          confidence + '% CONFIDENCE</span></div>' +
      '<div class="qv-card-grid" style="display:grid;grid-template-columns:repeat(3,1fr);gap:5px;margin-top:7px">' +
        '<label class="qv-card-cell"><span class="qv-card-lbl">Entry</span><input type="text" class="qv-card-input qv-card-entry" placeholder="Market" value="' + attr(proposal.entry_price) + '"></label>' +
        '<label class="qv-card-cell"><span class="qv-card-lbl">Stop Loss</span><input type="text" class="qv-card-input qv-card-sl" style="color:#ff8a80" placeholder="SL" value="' + attr(proposal.stop_loss) + '"></label>' +
        '<label class="qv-card-cell"><span class="qv-card-lbl">Take Profit</span><input type="text" class="qv-card-input qv-card-tp" style="color:#80d8ff" placeholder="TP" value="' + attr(proposal.take_profit) + '"></label>' +
      '</div>' +
      '<div class="qv-card-grid" style="display:grid;grid-template-columns:repeat(3,1fr);gap:5px;margin:5px 0 7px">' +
        '<label class="qv-card-cell"><span class="qv-card-lbl">Risk %</span><input type="number" class="qv-card-input qv-card-risk" step="0.1" min="0.1" max="10.0" value="' + attr(riskValue) + '"></label>' +
        '<label class="qv-card-cell"><span class="qv-card-lbl">Est. Lot</span><input type="number" class="qv-card-input qv-card-lots" step="0.01" min="0.01" max="100.0" value="' + attr(lotValue) + '"></label>' +
        '<div class="qv-card-cell"><span class="qv-card-lbl">R : R</span><div class="qv-card-rr" style="color:#ffd700;font-weight:700">' + escapeHtml(rrValue) + '</div></div>' +
      '</div>' +
      confluenceHtml(proposal) +
      '<button type="button" class="qv-card-btn-exec">' + QV_ICONS.check + ' CONFIRM &amp; EXECUTE</button>' +
      '</div>';
    const msg = appendAIMessage(html, 'PROPOSED SETUP');
    if (!msg) return null;
    const card = msg.querySelector('.qv-trade-card');
    const entryIn = card.querySelector('.qv-card-entry');
    const slIn = card.querySelector('.qv-card-sl');
    const tpIn = card.querySelector('.qv-card-tp');
    const riskIn = card.querySelector('.qv-card-risk');
    const rrOut = card.querySelector('.qv-card-rr');
    const btn = card.querySelector('.qv-card-btn-exec');

    function updateRR() {
      const e = cardNumber(entryIn.value);
      const s = cardNumber(slIn.value);
      const t = cardNumber(tpIn.value);
      if (e > 0 && s > 0 && t > 0 && e !== s) {
        rrOut.textContent = '1:' + (Math.abs(t - e) / Math.abs(e - s)).toFixed(1);
      }
    }
    // Typing reaches the HUD through its input guard (see the field handler above), not
    // through listeners here: the guard keeps the keystrokes from the page.
    rrUpdaters.set(card, updateRR);

    function levelFrom(input, fallback) {
      if (input && input.value.trim() !== '') {
        const v = parseFloat(input.value);
        if (isFinite(v)) return v;
      }
      const f = parseFloat(fallback);
      return isFinite(f) ? f : 0;
    }

    // The button tells what the host reported for this card's order, nothing sooner.
    function showFate(fate) {
      const s = fate && fate.status;
      btn.classList.toggle('qv-card-btn-executed', s === 'executed');
      btn.classList.toggle('qv-card-btn-failed', s === 'rejected' || s === 'not_sent');
      btn.style.color = s === 'executed' ? '#00e676' : s === 'rejected' || s === 'not_sent' ? '#ff5252' : s === 'unknown' ? '#ffab00' : '';
      btn.innerHTML = (s === 'executed' ? QV_ICONS.check + ' ' : '') + escapeHtml(orderFateText(fate));
      btn.title = s === 'rejected' || s === 'not_sent' ? orderFateText(fate) : '';
      // Nothing left the page or the host could not write it: the trader may try again.
      if (s === 'not_sent') btn.disabled = false;
    }

    // order: for an automatic order its id and the terminal's symbol; true once sent.
    function dispatch(order) {
      if (btn.disabled) return false;
      btn.disabled = true;
      let risk = riskIn ? parseFloat(riskIn.value) : 1.0;
      if (!isFinite(risk) || risk <= 0) risk = 1.0;
      const stop = levelFrom(slIn, proposal.stop_loss);
      const target = levelFrom(tpIn, proposal.take_profit);
      const client = ticket.sendTrade(action, null, 'R:' + risk.toFixed(1), order ? order.symbol : cardSymbol(proposal.symbol),
        stop, target, showFate, order ? order.id : undefined);
      // Refused before it left the page (closed market, risk refused, another order in
      // flight): the card stays usable; a sent card stays spent.
      if (client === null && !/NOT SENT/.test(btn.textContent)) {
        btn.disabled = false;
        btn.classList.remove('qv-card-btn-executed');
        btn.innerHTML = QV_ICONS.check + ' CONFIRM &amp; EXECUTE';
      }
      return client !== null;
    }
    // Only real input clicks the card: a synthetic click places nothing; the AutoTrader calls
    // dispatch itself.
    onTrustedClick(btn, function () { dispatch(null); });

    if (auto && executeAutomatically) {
      executeAutomatically(proposal, auto, {
        isSent: function () { return btn.disabled; },
        setRisk: function (value, note) {
          if (riskIn) riskIn.value = value.toFixed(1);
          const n = document.createElement('div');
          n.className = 'qv-card-risk-note';
          n.style.cssText = 'color:#ffd700;font-size:10px;margin:4px 0';
          n.textContent = note;
          btn.parentNode.insertBefore(n, btn);
        },
        send: dispatch
      });
    }
    qvSetTimeout(guarded(copilotScrollChat), 100);
    return msg;
  }

  return Object.freeze({
    processAIResponse: processAIResponse,
    renderTradeProposalCard: renderTradeProposalCard,
    handAutomaticCardsTo: function (fn) { executeAutomatically = fn; }
  });
})();
