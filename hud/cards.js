// Chat message primitives, reply rendering into the chat, the trade proposal card and
// the two welcome cards.

// Each card's reward-to-risk refresh, found by its card when the trader types in it.
var qvCardRRUpdaters = new WeakMap();

function updateCardRR(input) {
  const card = input && typeof input.closest === 'function' ? input.closest('.qv-trade-card') : null;
  const update = card ? qvCardRRUpdaters.get(card) : null;
  if (update) update();
}

function copilotChatBody() {
  return byId('qv-ai-chat-body');
}

function copilotScrollChat() {
  const body = copilotChatBody();
  if (body) body.scrollTop = body.scrollHeight;
}

function copilotTimeOfDay() {
  try {
    return new Date().toLocaleTimeString();
  } catch (e) {
    return '';
  }
}

function metaLineHtml(title) {
  return '<div class="qv-msg-meta">' + escapeHtml(title) + ' • ' + escapeHtml(copilotTimeOfDay()) + '</div>';
}

function appendUserMessage(text) {
  const body = copilotChatBody();
  if (!body) return null;
  const el = document.createElement('div');
  el.className = 'qv-msg qv-msg-user';
  // What the trader typed is shown as typed, never interpreted as markup.
  el.innerHTML = '<div class="qv-msg-meta">YOU</div><div class="qv-msg-text"></div>';
  el.lastChild.textContent = String(text === undefined || text === null ? '' : text);
  body.appendChild(el);
  copilotScrollChat();
  return el;
}

// html is markup written by this script; anything taken from outside is escaped by the caller.
function appendAIMessage(html, title) {
  const body = copilotChatBody();
  if (!body) return null;
  const el = document.createElement('div');
  el.className = 'qv-msg qv-msg-ai';
  el.innerHTML = metaLineHtml(title || 'QUORVALE AI SENTINEL') + '<div class="qv-msg-text">' + html + '</div>';
  body.appendChild(el);
  copilotScrollChat();
  return el;
}

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
    const tech = cachedTechnicals;
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

  const riskDefault = settingPercentText('risk_pct');
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
  // Typing reaches the HUD through its input guard (see routeHudKeyEvent), not through
  // listeners here: the guard keeps the keystrokes from the page.
  qvCardRRUpdaters.set(card, updateRR);

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
    let client = null;
    try {
      client = sendTrade(action, null, 'R:' + risk.toFixed(1), order ? order.symbol : cardSymbol(proposal.symbol),
        stop, target, showFate, order ? order.id : undefined);
    } catch (e) { client = null; }
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

  if (auto) {
    scheduleAutoExecution(proposal, auto, {
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

function vaultHasAnyKey() {
  return !!(secret('gemini') || secret('deepseek') || secret('openai') || secret('claude') || secret('openrouter'));
}

function renderInitialWelcome() {
  const body = copilotChatBody();
  if (!body || body.querySelector('#qv-welcome-card')) return;
  if (vaultHasAnyKey()) {
    paintVaultButton(true);
    appendAIMessage(onlineWelcomeCardHtml(), 'QUORVALE AI SENTINEL');
    return;
  }
  appendAIMessage(
    '<div class="qv-welcome-card" id="qv-welcome-card" style="border:1px solid rgba(56,117,255,0.5);background:rgba(56,117,255,0.10);border-radius:8px;padding:9px">' +
      '<div style="font-weight:800;color:#82aaff;margin-bottom:4px">' + QV_ICONS.key + ' Where to Put Your API Key:</div>' +
      '<div style="line-height:1.45">Click the gold <b style="color:#ffd700">API Keys (BYOK)</b> button in the copilot header, or the button below, to open your secure vault. ' +
        'Keys stay 100% on this machine and go straight to the AI provider you choose.</div>' +
      '<button type="button" class="qv-chip-btn qv-vault-callout-btn" style="margin-top:7px">' + QV_ICONS.key +
        ' Open API Key Vault (Enter Keys Here)</button>' +
    '</div>', 'SETUP GUIDE');
}

function onlineWelcomeCardHtml() {
  return '<div class="qv-welcome-card" id="qv-welcome-card" style="border:1px solid rgba(0,230,118,0.5);background:rgba(0,230,118,0.08);border-radius:8px;padding:9px">' +
    '<div style="display:flex;align-items:center;gap:6px;font-weight:800;color:#00e676;margin-bottom:4px">' +
      QV_ICONS.liveDot + ' Institutional AI Copilot Online ' +
      '<span class="qv-welcome-tag" style="margin-left:auto;font-size:9px;border:1px solid #00e676;border-radius:4px;padding:1px 5px">Keys Connected</span></div>' +
    '<div style="line-height:1.45">Active reasoning engines connected. Click <b>[Scan Chart (Vision)]</b> to generate an institutional trade card, ' +
      'or ask any question about active market structure below.</div></div>';
}

function renderInitialStudioWelcome() {
  const body = copilotChatBody();
  if (!body || body.children.length > 0) return;
  const tech = cachedTechnicals || {};
  const sym = escapeHtml(tech.Symbol || 'XAUUSD');
  const tf = escapeHtml(tech.Timeframe || 'H1');
  const price = escapeHtml(tech.CurrentPrice || 'Live');
  function tile(id, title, sub, iconName) {
    return '<button type="button" class="qv-init-btn" id="' + id + '">' + QV_ICONS[iconName] +
      '<span class="qv-init-title">' + title + '</span><span class="qv-init-sub">' + sub + '</span></button>';
  }
  const notice = vaultHasAnyKey() ? '' :
    '<div class="qv-studio-key-notice" id="qv-studio-key-notice" style="border:1px solid rgba(255,171,0,0.55);background:rgba(255,171,0,0.10);border-radius:6px;padding:7px;margin:7px 0;color:#ffd700">' +
      QV_ICONS.alert + ' <b>AI Keys Required:</b> Add a free Google Gemini API key (aistudio.google.com) to enable live vision scans and trade cards. ' +
      '<button type="button" class="qv-chip-btn" id="qv-init-key-btn">' + QV_ICONS.key + ' Enter Keys</button></div>';
  const msg = appendAIMessage(
    '<div class="qv-studio-welcome">' +
      '<div style="display:flex;align-items:center;gap:8px;font-weight:800;font-size:12px">' + QV_ICONS.ai +
        ' QUORVALE AI COPILOT STUDIO <span class="qv-studio-badge" style="margin-left:auto;color:#00e676;border:1px solid rgba(0,230,118,0.6);border-radius:4px;padding:1px 6px;font-size:9px">' +
        QV_ICONS.liveDot + ' MT5 Sentinel Connected</span></div>' +
      '<div style="margin:6px 0;line-height:1.45">Ready for autonomous market analysis on ' + sym + ' • ' + tf +
        ' (Reference: ' + price + '). Multimodal vision &amp; CFTC COT models active.</div>' +
      notice +
      '<div class="qv-init-grid" style="display:grid;grid-template-columns:1fr 1fr;gap:6px">' +
        tile('qv-init-vision-btn', 'Scan Chart (Vision)', 'Inspect price action &amp; S/R', 'vision') +
        tile('qv-init-cot-btn', 'COT Smart Money', 'CFTC institutional bias', 'bank') +
        tile('qv-init-risk-btn', 'Risk Audit', 'Daily loss &amp; constitution', 'shield') +
        tile('qv-init-setup-btn', 'Generate Setup', 'Highest probability trade', 'target') +
      '</div></div>', 'QUORVALE AI SENTINEL');
  if (!msg) return;
  const keyBtn = msg.querySelector('#qv-init-key-btn');
  if (keyBtn) {
    keyBtn.addEventListener('click', guarded(function (ev) {
      ev.preventDefault();
      openQuorvaleVault('keys');
    }));
  }
  // Each tile does what its chip does, for the trader's own click.
  const pairs = [['qv-init-vision-btn', 'qv-chip-vision'], ['qv-init-cot-btn', 'qv-chip-cot'],
    ['qv-init-risk-btn', 'qv-chip-risk'], ['qv-init-setup-btn', 'qv-chip-setup']];
  pairs.forEach(function (pair) {
    onTrustedClick(msg.querySelector('#' + pair[0]), function () { runChip(pair[1]); });
  });
}
