// One AI run of the copilot: context from the bridge files and the chart, the system
// prompt, the provider call and the reply. Also the quick-action chips and the chat input.

// The host captures the chart every 4 s once a new page has painted; a picture fetched
// sooner than this after a load or a symbol change may show the previous symbol.
const CHART_PICTURE_SETTLE_MS = 8000;

const copilot = (function () {
  function blobToDataUri(blob) {
    return new Promise(function (resolve) {
      try {
        const reader = new FileReader();
        reader.onload = function () { resolve(typeof reader.result === 'string' ? reader.result : ''); };
        reader.onerror = function () { resolve(''); };
        reader.readAsDataURL(blob);
      } catch (e) {
        resolve('');
      }
    });
  }

  // The chart page's canvases drawn into one picture (they are the page's DOM, which this
  // world shares).
  function captureChartCanvases() {
    try {
      const all = document.querySelectorAll('.chart-container canvas, .chart-gui-wrapper canvas, canvas');
      const big = [];
      for (let i = 0; i < all.length; i++) {
        if (all[i].width > 200 && all[i].height > 200) big.push(all[i]);
      }
      if (big.length === 0) return null;
      let w = 0;
      let h = 0;
      big.forEach(function (c) { w = Math.max(w, c.width); h = Math.max(h, c.height); });
      const off = document.createElement('canvas');
      off.width = w;
      off.height = h;
      const g = off.getContext('2d');
      g.fillStyle = '#0e121c';
      g.fillRect(0, 0, w, h);
      big.forEach(function (c) {
        try { g.drawImage(c, 0, 0); } catch (e) { /* an undrawable canvas is left out */ }
      });
      const uri = off.toDataURL('image/png');
      return uri.length > 5000 ? uri.slice(uri.indexOf(',') + 1) : null;
    } catch (e) {
      return null;
    }
  }

  // Each chart's own picture; the studio, which holds no chart, reads the shared one.
  function chartPictureFile() {
    const h = chartData.handle();
    if (h) return 'QV_AICopilotChart_' + h + '.png';
    return 'QV_AICopilotChart.png';
  }

  function chartPictureMayBeStale() {
    if (isStudioPage) return true;
    let since = Infinity;
    try { since = performance.now(); } catch (e) { since = 0; }
    const changedAt = symbolProbe.lastChangeAt();
    if (changedAt) since = Math.min(since, Date.now() - changedAt);
    return since < CHART_PICTURE_SETTLE_MS;
  }

  async function gatherInstitutionalContext() {
    const ctx = { technicals: null, cot: null, positions: null, chartB64: null, chartMayBeStale: false };
    ctx.technicals = await chartData.fetchSnapshot();
    // Another chart's numbers are worse than none: the model would reason about them.
    const own = chartData.pageInstrument(ctx.technicals);
    if (ctx.technicals && own && !sameInstrument(ctx.technicals.Symbol, own)) ctx.technicals = null;
    ctx.cot = await fetchBridgeJson('QV_COTData.json');
    ctx.positions = await fetchBridgeJson('QV_OpenPositions.json');
    ctx.chartB64 = captureChartCanvases();
    if (!ctx.chartB64) {
      try {
        const res = await hudFetch(bridgeUrl(chartPictureFile()), { cache: 'no-store' });
        if (res.ok) {
          const uri = await blobToDataUri(await res.blob());
          const comma = uri.indexOf(',');
          if (comma !== -1 && comma < uri.length - 1) {
            ctx.chartB64 = uri.slice(comma + 1);
            ctx.chartMayBeStale = chartPictureMayBeStale();
          }
        }
      } catch (e) { /* no image this run */ }
    }
    return ctx;
  }

  function activeSymbolOr(fallbackTech) {
    const sym = symbolProbe.getActiveTradingViewSymbol();
    if (sym) return sym;
    if (fallbackTech && fallbackTech.Symbol) return String(fallbackTech.Symbol);
    return 'XAUUSD';
  }

  function pickCotRecord(cot, symbol) {
    if (!cot) return null;
    if (Array.isArray(cot.records)) {
      const key = resolveCOTSymbol(symbol);
      for (let i = 0; i < cot.records.length; i++) {
        if (cot.records[i] && cot.records[i].symbol === key) return cot.records[i];
      }
    }
    return cot;
  }

  function setMessageContent(msg, html) {
    if (!msg) return;
    const text = msg.querySelector('.qv-msg-text');
    if (text) text.innerHTML = html;
    else msg.innerHTML = html;
  }

  // run: null for a question of the trader's; the AutoTrader's bar evaluation passes
  // { auto: true, instrument, bar } so that its card may send by itself.
  async function executeAIInference(userPrompt, forceSetup, run) {
    const select = byId('qv-ai-model-select');
    const modelValue = select ? select.value : 'gemini-3.8-flash';
    const loading = appendAIMessage(QV_ICONS.bolt + ' Analyzing chart structure, technicals &amp; institutional flows...');
    try {
      const ctx = await gatherInstitutionalContext();
      const symbol = activeSymbolOr(ctx.technicals);
      const asset = getAssetSpec(symbol);
      const systemPrompt = assembleSystemPrompt({
        userPrompt: userPrompt,
        forceSetup: forceSetup,
        symbol: symbol,
        asset: asset,
        technicals: ctx.technicals,
        cot: pickCotRecord(ctx.cot, symbol),
        positions: ctx.positions,
        market: getMarketStatusInfo(ctx.technicals, symbol),
        chartMayBeStale: ctx.chartMayBeStale
      });
      const route = providers.route(modelValue);
      if (!route) {
        setMessageContent(loading, '<span style="color:#ffd700">Selected model is configured in BYOK vault. Sending request...</span>');
        return;
      }
      const key = settings.secret(route.id);
      if (!key) {
        setMessageContent(loading, providers.missingKeyHtml(route.name, providers.keyPages()[route.id]));
        return;
      }
      let model = modelValue;
      if (route.id === 'gemini') model = await providers.resolveActiveGeminiModel(key, modelValue);
      else if (route.id === 'openrouter') model = providers.openRouterModel();
      const out = await providers.call({
        provider: route.id,
        key: key,
        model: model,
        systemPrompt: systemPrompt,
        userPrompt: String(userPrompt || ''),
        chartB64: ctx.chartB64,
        dataHost: QV_DATA_HOST
      });
      if (out.error !== undefined) {
        setMessageContent(loading, '<span style="color:#ff5252">' + escapeHtml(out.error) + '</span>');
        return;
      }
      tradeCards.processAIResponse(out.text, loading, run || null);
    } catch (e) {
      setMessageContent(loading, '<span style="color:#ff5252">' + escapeHtml(providers.redactKeys(e && e.message ? e.message : String(e))) + '</span>');
    }
  }

  function chipSymbol() {
    return activeSymbolOr(chartData.latest());
  }

  function chipDefinitions() {
    return [
      ['qv-chip-vision',
        'Analyze current live chart screenshot and price action for {sym}. Highlight market structure, key levels, and generate an institutional trade card.',
        'Perform complete multimodal vision scan and market structure analysis for {sym} with trade setup card.', true],
      ['qv-chip-cot',
        'Evaluate institutional CFTC COT positioning against active technical price action for {sym}.',
        'Analyze COT institutional smart money accumulation/distribution for {sym} and reconcile with active chart structure.', false],
      ['qv-chip-risk',
        'Audit current open risk and exposure for {sym} against my -{dd}% daily drawdown limit (target risk: {risk}% per trade).',
        'Audit open positions and calculate total floating risk for {sym} against prop firm daily loss limit of -{dd}%. Write all calculations in human-readable plain text without LaTeX math symbols.', false],
      ['qv-chip-setup',
        'Generate the highest probability institutional setup for {sym} right now.',
        'Generate the highest probability institutional setup for {sym} right now based on active chart price action, market structure, and key levels.', true]
    ];
  }

  function fillChipText(template, sym) {
    return template
      .split('{sym}').join(sym)
      .split('{dd}').join(settings.percentText('max_dd'))
      .split('{risk}').join(settings.percentText('risk_pct'));
  }

  // What a chip does: its message in the chat and its evaluation. The studio's tiles do the
  // same for their chips.
  function runChip(chipId) {
    const chip = chipDefinitions().filter(function (c) { return c[0] === chipId; })[0];
    if (!chip) return;
    drawer.open();
    const sym = chipSymbol();
    appendUserMessage(fillChipText(chip[1], sym));
    executeAIInference(fillChipText(chip[2], sym), chip[3]);
  }

  function sendChatInput() {
    const input = byId('qv-ai-textarea');
    if (!input) return;
    const text = String(input.value || '').trim();
    if (!text) return;
    appendUserMessage(text);
    input.value = '';
    executeAIInference(text, false);
  }

  // Enter sends, Shift+Enter breaks the line. The keys reach the HUD only through its input
  // guard, which keeps them from the page.
  inputGuard.onFieldEvent(function (ev, field) {
    if (ev.type !== 'keydown' || field.id !== 'qv-ai-textarea') return;
    if (ev.key === 'Enter' && !ev.shiftKey && !ev.isComposing && ev.isTrusted === true) {
      ev.preventDefault();
      sendChatInput();
    }
  });

  function wire() {
    chipDefinitions().forEach(function (chip) {
      onTrustedClick(byId(chip[0]), function () { runChip(chip[0]); });
    });
    onTrustedClick(byId('qv-ai-send-btn'), sendChatInput);
  }

  return Object.freeze({ executeAIInference: executeAIInference, runChip: runChip, wire: wire });
})();
