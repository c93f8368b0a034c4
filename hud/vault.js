// The settings vault: risk rules, schedule, playbooks with the custom-strategy editor,
// provider keys and the Telegram relay. Fields are filled from the host's settings and
// secrets at every opening; Save asks the host to keep them and says saved only once the
// host's push shows it did.

// The vault's session boxes and the settings they show.
const QV_VAULT_SESSIONS = [['qv-sess-asian', 'sess_asian'], ['qv-sess-london', 'sess_lon'],
  ['qv-sess-nyam', 'sess_nyam'], ['qv-sess-nypm', 'sess_nypm']];
const QV_RELAY_MEMBERS = ['tg_token', 'tg_chatid', 'tg_userid'];

const vault = (function () {
  let saving = false;
  // The host's own word on the last relay question, when it gave one (a relay push).
  let relayAnswered = false;
  // The last relay error said in the chat, so a steady one is said once.
  let lastTelegramError = '';
  let byosFeedbackTimer = null;
  let clickHandlerInstalled = false;

  function vaultLabel(text, tag, tagColour) {
    return '<label class="qv-vault-label">' + text +
      (tag ? ' <span class="qv-vault-tag"' + (tagColour ? ' style="color:' + tagColour + '"' : '') + '>' + tag + '</span>' : '') +
      '</label>';
  }

  function vaultPills(attr, values, active, extraClass) {
    return '<div class="qv-vault-pills">' + values.map(function (p) {
      return '<button type="button" class="qv-vault-pill' + (extraClass ? ' ' + extraClass : '') +
        (p[0] === active ? ' qv-pill-active' : '') + '" data-' + attr + '="' + p[0] + '">' + p[1] + '</button>';
    }).join('') + '</div>';
  }

  function vaultKeyField(id, label, placeholder, link, linkPrefix, tag) {
    return '<div class="qv-vault-field">' + vaultLabel(label, tag) +
      '<input type="text" id="' + id + '" class="qv-vault-input" spellcheck="false" autocomplete="off" placeholder="' +
        escapeHtml(placeholder) + '">' +
      (link ? '<a class="qv-vault-link" href="' + link + '" target="_blank" rel="noopener noreferrer">' +
        (linkPrefix ? linkPrefix + ' ' : '') + link + '</a>' : '') +
      '</div>';
  }

  function vaultModalInnerHtml() {
    const pages = providers.keyPages();
    const templates = QV_BYOS_TEMPLATES;
    const tplOptions = '<option value="" disabled selected>-- Select a Pre-Engineered Institutional Template --</option>' +
      Object.keys(templates).map(function (k) {
        return '<option value="' + k + '">' + escapeHtml(templates[k].label) + '</option>';
      }).join('');
    const risk =
      '<div class="qv-tab-content" id="qv-tab-content-risk" style="display:flex">' +
        '<div class="qv-vault-field">' + vaultLabel('Default Risk Per Trade (%)', '(Sizing &amp; AI Cards)') +
          '<input type="number" id="qv-setting-risk-pct" class="qv-vault-input" step="0.1" min="0.1" max="10.0" value="1.0">' +
          vaultPills('risk', [['0.5', '0.5%'], ['1.0', '1.0%'], ['1.5', '1.5%'], ['2.0', '2.0%']], '1.0') +
          '<div class="qv-vault-help">Default account balance risk % applied when formulating AI trade proposals and manual % RISK orders.</div></div>' +
        '<div class="qv-vault-field">' + vaultLabel('Prop Firm Daily Drawdown Limit (%)', '(Constitution Sentinel)', '#ff5252') +
          '<input type="number" id="qv-setting-max-dd" class="qv-vault-input" step="0.1" min="1.0" max="15.0" value="4.5">' +
          '<div class="qv-vault-help">Hard circuit breaker. If floating loss or daily loss hits this limit, new entries are blocked.</div></div>' +
        '<div class="qv-vault-field">' + vaultLabel('Max Allowed Spread Check (Points)', '(Pre-LLM Volatility Filter)') +
          '<input type="number" id="qv-setting-max-spread" class="qv-vault-input" step="1" min="5" max="500" value="35">' +
          vaultPills('spread', [['20', '20 pts'], ['35', '35 pts'], ['50', '50 pts'], ['100', '100 pts']], '35', 'qv-spread-pill') +
          '<div class="qv-vault-help">Pre-LLM Volatility Filter: Blocks autonomous evaluations and AI executions if live broker spread exceeds this threshold (e.g. news spikes, rollover).</div></div>' +
        '<div class="qv-vault-field">' + vaultLabel('Default Take Profit Target (R:R Ratio)', '(Reward to Risk)') +
          '<input type="text" id="qv-setting-def-rr" class="qv-vault-input" value="1:2.0">' +
          vaultPills('rr', [['1:1.5', '1:1.5'], ['1:2.0', '1:2.0'], ['1:3.0', '1:3.0']], '1:2.0') + '</div>' +
        '<div class="qv-vault-field">' + vaultLabel('AutoTrader Execution Mode', '(Candle-Close Confidence)') +
          '<select id="qv-setting-auto-conf" class="qv-vault-input">' + optionsHtml([
            ['90', 'Conservative (Execute only if Confidence >= 90%)'],
            ['85', 'Standard Balanced (Execute if Confidence >= 85%)'],
            ['80', 'Aggressive (Execute if Confidence >= 80%)']], '85') + '</select>' +
          '<div class="qv-vault-help">Automatic orders never go out below 85% confidence, whatever the mode.</div></div>' +
        '<div class="qv-vault-field">' + vaultLabel('AutoTrader Daily Order Cap', '(Per Instrument, UTC Day)') +
          '<input type="number" id="qv-setting-daily-cap" class="qv-vault-input" step="1" min="0" max="50" value="3">' +
          '<div class="qv-vault-help">The AutoTrader stands aside on an instrument once it has placed this many automatic orders on it today (0: none).</div></div>' +
        '<div class="qv-vault-notice"><b>Native MT5 EA Safeguards:</b> Hard stop loss caps, daily drawdown limits, and broker execution are verified natively by ' +
          '<code>Quorvale_Workspace_MT5.mq5</code> on your chart. Press <b>F7</b> on your MT5 chart at any time to inspect or modify MT5 EA inputs directly.</div>' +
      '</div>';
    const schedule =
      '<div class="qv-tab-content" id="qv-tab-content-schedule" style="display:none">' +
        '<div class="qv-vault-field">' + vaultLabel('Scan Trigger Interval', '(Execution Frequency)') +
          '<select id="qv-setting-exec-interval" class="qv-vault-input">' + optionsHtml([
            ['CANDLE_CLOSE_H1', 'On H1 Candle Close (Default)'],
            ['CANDLE_CLOSE_M15', 'On M15 Candle Close (Intraday Scalp)'],
            ['CANDLE_CLOSE_M5', 'On M5 Candle Close (Rapid Scalp)'],
            ['TIMER_5MIN', 'Every 5 Minutes (Intrabar Pulse)'],
            ['TIMER_15MIN', 'Every 15 Minutes (Pulse Scan)'],
            ['MANUAL_ONLY', 'Manual Scan Only (Discretionary)']], 'CANDLE_CLOSE_H1') + '</select>' +
          '<div class="qv-vault-help">Controls autonomous scan timing. \'Pulse\' scans intrabar; \'Candle Close\' waits for confirmed bar completion.</div></div>' +
        '<div class="qv-vault-field">' + vaultLabel('Active Session Kill-Zones', '(Broker UTC)') +
          '<div class="qv-vault-sessions">' +
            '<label class="qv-vault-check"><input type="checkbox" id="qv-sess-asian" checked> Asia (00:00–07:00 UTC)</label>' +
            '<label class="qv-vault-check"><input type="checkbox" id="qv-sess-london" checked> London (07:00–12:00 UTC)</label>' +
            '<label class="qv-vault-check"><input type="checkbox" id="qv-sess-nyam" checked> NY AM (12:00–17:00 UTC)</label>' +
            '<label class="qv-vault-check"><input type="checkbox" id="qv-sess-nypm"> NY PM (17:00–21:00 UTC)</label>' +
          '</div>' +
          '<div class="qv-vault-help">AI evaluation and auto-orders are held outside checked sessions to avoid rollover noise.</div></div>' +
        '<div class="qv-vault-field">' + vaultLabel('Custom Permitted Hours Filter', '(From - To UTC)') +
          '<div class="qv-vault-hours"><input type="number" id="qv-hour-start" class="qv-vault-input qv-vault-hour" min="0" max="23" value="7">' +
            ' <span>to</span> <input type="number" id="qv-hour-end" class="qv-vault-input qv-vault-hour" min="0" max="23" value="18">' +
            ' <span>UTC (Hard client firewall)</span></div></div>' +
        '<div class="qv-vault-notice"><b>Hardware-Level MT5 Protection:</b> <code>Quorvale_Workspace_MT5.mq5</code> also enforces ' +
          '<code>AI_TradingHours</code> directly on broker ticks, preventing out-of-session fills.</div>' +
      '</div>';
    const chips = [['Trend EMA', 'tpl_ema_trend'], ['SMC FVG', 'tpl_smc_fvg'], ['Liquidity Sweep', 'tpl_liquidity_sweep'],
      ['Breakout', 'tpl_breakout_retest'], ['Fib 0.618', 'tpl_fib_golden'], ['RSI Div', 'tpl_rsi_divergence']];
    const strategy =
      '<div class="qv-tab-content" id="qv-tab-content-strategy" style="display:none">' +
        '<div class="qv-vault-field">' + vaultLabel('Strategy Playbook Preset', '(Prompt Rules Engine)') +
          '<select id="qv-vault-strategy-select" class="qv-vault-input">' + optionsHtml([
            ['core', 'Quorvale Institutional Core (3-Tier Default)'],
            ['ict_silver', 'ICT Silver Bullet (FVG & Kill-Zone)'],
            ['asian_sweep', 'Asian Range Judas Swing (London Sweep)'],
            ['breakout_retest', 'Structural Breakout & Retest'],
            ['byos_custom', 'Bring Your Own Strategy (BYOS Custom)']], 'core') + '</select></div>' +
        '<div class="qv-strategy-desc-card" id="qv-strategy-desc-card"></div>' +
        '<div class="qv-byos-builder" id="qv-byos-builder" style="display:none">' +
          '<div class="qv-byos-library">' +
            '<div class="qv-byos-library-hdr"><b>' + QV_ICONS.book + ' Strategy Templates Library</b> <span class="qv-vault-tag">(1-Click Fill &amp; Customize)</span></div>' +
            '<div class="qv-byos-library-row"><select id="qv-byos-template-select" class="qv-vault-input">' + tplOptions + '</select>' +
              '<button type="button" id="qv-byos-load-tpl-btn" class="qv-vault-btn" title="Load selected template into editor">Load</button></div>' +
            '<div class="qv-byos-chips"><span>Quick Archetypes:</span>' + chips.map(function (c) {
              return '<button type="button" class="qv-chip-btn qv-tpl-chip" data-tpl="' + c[1] + '">' + c[0] + '</button>';
            }).join('') + '</div>' +
            '<div class="qv-byos-tpl-feedback" id="qv-byos-tpl-feedback" style="display:none"></div>' +
          '</div>' +
          '<div class="qv-vault-field">' + vaultLabel('Custom Strategy Name') +
            '<input type="text" id="qv-byos-name" class="qv-vault-input" placeholder="e.g. My Trend Retest &amp; Volume Confluence"></div>' +
          '<div class="qv-vault-field">' + vaultLabel('Entry Rules &amp; Confluence Directives') +
            '<textarea id="qv-byos-entry" class="qv-vault-input" rows="5" style="min-height:115px;resize:vertical" placeholder="' +
              escapeHtml('- Price above the 50 EMA on H1 with a higher-low structure\n- Entry on a pullback into the 21 EMA with a bullish engulfing close\n- RSI above 50 and rising, no bearish divergence') +
            '"></textarea></div>' +
          '<div class="qv-vault-field">' + vaultLabel('Structural Invalidation &amp; Stop Loss Logic') +
            '<textarea id="qv-byos-invalidation" class="qv-vault-input" rows="3" style="min-height:75px;resize:vertical" placeholder="' +
              escapeHtml('- Stop below the last swing low plus 0.5x ATR\n- A close below the 50 EMA voids the setup') + '"></textarea></div>' +
          '<div class="qv-vault-field">' + vaultLabel('Target Profit (TP) &amp; COT Macro Policy') +
            '<div class="qv-byos-row"><input type="text" id="qv-byos-rr" class="qv-vault-input" value="1:2.0" title="Minimum Target R:R">' +
            '<select id="qv-byos-cot-policy" class="qv-vault-input">' + optionsHtml([
              ['ADVISORY', 'COT Policy: Advisory Filter (Standard)'],
              ['STRICT_CONFIRMATION', 'COT Policy: Strict Mandatory Confirmation'],
              ['IGNORE_SCALPING', 'COT Policy: Ignore (Rapid Scalp Mode)']], 'ADVISORY') + '</select></div></div>' +
        '</div>' +
      '</div>';
    const keys =
      '<div class="qv-tab-content" id="qv-tab-content-keys" style="display:none">' +
        '<div class="qv-vault-notice">' + QV_ICONS.shield + ' Your keys are stored 100% locally on your machine by the workspace, never in the chart site\'s storage. Requests connect directly to AI providers with zero middleman servers.</div>' +
        vaultKeyField('qv-key-gemini', 'Google Gemini API Key', 'AIzaSy...', pages.gemini, 'Free Tier:') +
        vaultKeyField('qv-key-deepseek', 'DeepSeek API Key', 'sk-...', pages.deepseek) +
        vaultKeyField('qv-key-openrouter', 'OpenRouter Universal API Key', 'sk-or-v1-...', pages.openrouter) +
        vaultKeyField('qv-key-openrouter-model', 'OpenRouter Model Identifier', 'google/gemini-2.0-flash-001 (or deepseek/deepseek-r1)', '', '',
          '(Default: google/gemini-2.0-flash-001)') +
        vaultKeyField('qv-key-openai', 'OpenAI API Key', 'sk-proj-...', pages.openai) +
        vaultKeyField('qv-key-claude', 'Anthropic Claude API Key', 'sk-ant-api03-...', pages.claude) +
        '<div class="qv-vault-section">' + QV_ICONS.phone + ' TELEGRAM RELAY &amp; AUTHENTICATION</div>' +
        vaultKeyField('qv-key-tg-token', 'Telegram Bot Token', '123456789:AAH...', '', '', '(Optional Remote Alerts)') +
        vaultKeyField('qv-key-tg-chatid', 'Allowed Telegram Chat ID', '987654321', '', '', '(Strict Auth Whitelist)') +
        vaultKeyField('qv-key-tg-userid', 'Allowed Telegram User ID', '987654321', '', '', '(Your own id; empty in a private chat)') +
        '<div class="qv-vault-help" id="qv-tg-status"></div>' +
      '</div>';
    return '<div class="qv-vault-box">' +
      '<div class="qv-vault-title-row"><div class="qv-vault-title">' + QV_ICONS.gear + ' QUORVALE SETTINGS &amp; RISK CONTROL</div>' +
        '<button type="button" id="qv-vault-close-btn" class="qv-vault-close">✕</button></div>' +
      '<div class="qv-modal-tabs">' +
        '<button type="button" class="qv-modal-tab qv-tab-active" id="qv-tab-btn-risk">Risk &amp; Rules</button>' +
        '<button type="button" class="qv-modal-tab" id="qv-tab-btn-schedule">Timing &amp; Schedule</button>' +
        '<button type="button" class="qv-modal-tab" id="qv-tab-btn-strategy">Strategy &amp; BYOS</button>' +
        '<button type="button" class="qv-modal-tab" id="qv-tab-btn-keys">AI Models &amp; Keys</button>' +
      '</div>' +
      risk + schedule + strategy + keys +
      '<div class="qv-vault-actions"><span id="qv-vault-save-status" class="qv-vault-save-status" aria-live="polite"></span>' +
        '<button type="button" id="qv-vault-cancel" class="qv-vault-btn">Cancel</button>' +
        '<button type="button" id="qv-vault-save" class="qv-vault-btn qv-vault-btn-primary">Save Settings</button></div>' +
    '</div>';
  }

  // Fills the modal the skeleton created, or creates it when the skeleton has none.
  function ensureVaultModal() {
    let modal = byId('qv-vault-modal');
    if (!modal) {
      modal = document.createElement('div');
      modal.id = 'qv-vault-modal';
      modal.style.display = 'none';
      qvRoot.appendChild(modal);
    }
    if (!modal.querySelector('#qv-vault-save')) modal.innerHTML = vaultModalInnerHtml();
    return modal;
  }

  function switchModalTab(tab) {
    const names = ['risk', 'schedule', 'strategy', 'keys'];
    const chosen = tab === 'keys' || tab === 'schedule' || tab === 'strategy' ? tab : 'risk';
    names.forEach(function (n) {
      const btn = byId('qv-tab-btn-' + n);
      const pane = byId('qv-tab-content-' + n);
      if (btn) btn.classList.remove('qv-tab-active');
      if (pane) pane.style.display = 'none';
    });
    const btn = byId('qv-tab-btn-' + chosen);
    const pane = byId('qv-tab-content-' + chosen);
    if (pane) pane.style.display = 'flex';
    if (btn) btn.classList.add('qv-tab-active');
  }

  function markVaultPills(attr, value) {
    const modal = byId('qv-vault-modal');
    if (!modal) return;
    const pills = modal.querySelectorAll('[data-' + attr + ']');
    for (let i = 0; i < pills.length; i++) {
      pills[i].classList.toggle('qv-pill-active', pills[i].getAttribute('data-' + attr) === value);
    }
  }

  function vaultSetField(id, value) {
    const field = byId(id);
    if (field) field.value = value;
  }

  function updateStrategyDescription(key) {
    const card = byId('qv-strategy-desc-card');
    if (card) {
      const d = strategyDescription(key);
      card.innerHTML = '<b>' + escapeHtml(d[0]) + '</b> ' + escapeHtml(d[1]);
    }
    const builder = byId('qv-byos-builder');
    if (builder) builder.style.display = key === 'byos_custom' ? 'flex' : 'none';
  }

  function setPlaybookSelects(value) {
    ['qv-vault-strategy-select', 'qv-ai-strategy-select'].forEach(function (id) {
      const sel = byId(id);
      if (sel) sel.value = value;
    });
  }

  function openQuorvaleVault(initialTab) {
    try {
      ensureVaultModal();
      vaultSetField('qv-key-gemini', settings.secret('gemini'));
      vaultSetField('qv-key-deepseek', settings.secret('deepseek'));
      vaultSetField('qv-key-openrouter', settings.secret('openrouter'));
      vaultSetField('qv-key-openrouter-model', settings.secret('openrouter_model') || 'google/gemini-2.0-flash-001');
      vaultSetField('qv-key-openai', settings.secret('openai'));
      vaultSetField('qv-key-claude', settings.secret('claude'));
      vaultSetField('qv-key-tg-token', settings.secret('tg_token'));
      vaultSetField('qv-key-tg-chatid', settings.secret('tg_chatid'));
      vaultSetField('qv-key-tg-userid', settings.secret('tg_userid'));

      const risk = settings.percentText('risk_pct');
      const spread = String(settings.get('max_spread'));
      const rr = settings.get('default_rr') || '1:2.0';
      vaultSetField('qv-setting-risk-pct', risk);
      vaultSetField('qv-setting-max-dd', settings.percentText('max_dd'));
      vaultSetField('qv-setting-max-spread', spread);
      vaultSetField('qv-setting-def-rr', rr);
      vaultSetField('qv-setting-auto-conf', String(settings.get('confidence_threshold')));
      vaultSetField('qv-setting-daily-cap', String(autoTraderSettings().dailyCap));
      vaultSetField('qv-setting-exec-interval', settings.get('exec_interval') || 'CANDLE_CLOSE_H1');
      QV_VAULT_SESSIONS.forEach(function (s) {
        const box = byId(s[0]);
        if (box) box.checked = settings.get(s[1]) === true;
      });
      vaultSetField('qv-hour-start', hourFieldText(settings.get('hour_start')));
      vaultSetField('qv-hour-end', hourFieldText(settings.get('hour_end')));
      const strategy = settings.get('active_strategy') || 'core';
      setPlaybookSelects(strategy);
      updateStrategyDescription(strategy);
      vaultSetField('qv-byos-name', settings.get('byos_name'));
      vaultSetField('qv-byos-entry', settings.get('byos_entry'));
      vaultSetField('qv-byos-invalidation', settings.get('byos_invalidation'));
      vaultSetField('qv-byos-rr', settings.get('byos_rr') || '1:2.0');
      vaultSetField('qv-byos-cot-policy', settings.get('byos_cot_policy') || 'ADVISORY');
      showVaultSaveStatus('', false);

      markVaultPills('risk', risk);
      markVaultPills('rr', rr);
      markVaultPills('spread', spread);
      switchModalTab(initialTab);
      const modal = byId('qv-vault-modal');
      modal.style.display = 'flex';
      modal.style.visibility = 'visible';
      modal.style.opacity = '1';
    } catch (e) {
      console.error('Error opening settings vault:', e);
    }
  }

  function hourFieldText(hour) {
    return typeof hour === 'number' && isFinite(hour) ? String(hour) : '';
  }

  function showVaultSaveStatus(text, failed) {
    const line = byId('qv-vault-save-status');
    if (!line) return;
    line.textContent = text;
    line.style.color = failed ? '#ff5252' : '#9aa0ad';
  }

  function hideVault() {
    const modal = byId('qv-vault-modal');
    if (modal) modal.style.display = 'none';
  }

  function loadByosTemplate(tplKey) {
    const templates = QV_BYOS_TEMPLATES;
    if (typeof tplKey !== 'string' || !templates[tplKey]) return;
    const t = templates[tplKey];
    vaultSetField('qv-byos-name', t.name);
    vaultSetField('qv-byos-entry', t.entry);
    vaultSetField('qv-byos-invalidation', t.invalidation);
    vaultSetField('qv-byos-rr', t.rr);
    vaultSetField('qv-byos-cot-policy', t.cot);
    vaultSetField('qv-byos-template-select', tplKey);
    const fb = byId('qv-byos-tpl-feedback');
    if (fb) {
      fb.innerHTML = '✅ <b>Loaded Template:</b> ' + escapeHtml(t.name) +
        ' (Feel free to edit any lines below, then click Save)';
      fb.style.display = 'block';
      if (byosFeedbackTimer) qvClearTimeout(byosFeedbackTimer);
      byosFeedbackTimer = qvSetTimeout(guarded(function () {
        byosFeedbackTimer = null;
        const feedback = byId('qv-byos-tpl-feedback');
        if (feedback) feedback.style.display = 'none';
      }), 5000);
    }
  }

  function onVaultPill(attr, fieldId, pill) {
    const value = pill.getAttribute('data-' + attr);
    vaultSetField(fieldId, value);
    markVaultPills(attr, value);
  }

  // One capture-phase handler on the HUD's root serves the vault: it finds the elements by
  // id at click time, so the controls it serves need no listener of their own.
  function installVaultClickHandler() {
    if (clickHandlerInstalled) return;
    clickHandlerInstalled = true;
    qvRoot.addEventListener('click', guarded(function (ev) {
      const target = ev.target && ev.target.nodeType === 1 ? ev.target : ev.target && ev.target.parentElement;
      if (!target || typeof target.closest !== 'function') return;
      function take() { ev.preventDefault(); ev.stopPropagation(); }
      let hit;
      if (target.closest('#qv-btn-settings, #qv-subbar-risk-btn')) { take(); openQuorvaleVault('risk'); return; }
      if (target.closest('#qv-open-byos-tpl-btn')) { take(); openQuorvaleVault('strategy'); return; }
      if (target.closest('#qv-vault-open-btn, .qv-vault-callout-btn, .qv-vault-badge-btn')) { take(); openQuorvaleVault('keys'); return; }
      if ((hit = target.closest('#qv-tab-btn-risk, #qv-tab-btn-schedule, #qv-tab-btn-strategy, #qv-tab-btn-keys'))) {
        take(); switchModalTab(hit.id.replace('qv-tab-btn-', '')); return;
      }
      if ((hit = target.closest('[data-risk]'))) { take(); onVaultPill('risk', 'qv-setting-risk-pct', hit); return; }
      if ((hit = target.closest('[data-rr]'))) { take(); onVaultPill('rr', 'qv-setting-def-rr', hit); return; }
      if ((hit = target.closest('[data-spread]'))) { take(); onVaultPill('spread', 'qv-setting-max-spread', hit); return; }
      if ((hit = target.closest('.qv-tpl-chip'))) { take(); loadByosTemplate(hit.getAttribute('data-tpl')); return; }
      if (target.closest('#qv-byos-load-tpl-btn')) {
        take();
        const sel = byId('qv-byos-template-select');
        if (sel && sel.value) loadByosTemplate(sel.value);
        return;
      }
      if (target.closest('#qv-vault-close-btn, #qv-vault-cancel')) { take(); hideVault(); return; }
      if (target.id === 'qv-vault-modal') hideVault();
    }), true);
  }

  // The vault's fields as settings, normalised as the vault always wrote them.
  function vaultFormSettings() {
    function text(id, fallback) {
      const field = byId(id);
      return field ? String(field.value) : fallback;
    }
    function oneDecimal(id, fallback) {
      const n = parseFloat(text(id, ''));
      return isFinite(n) ? Number(n.toFixed(1)) : fallback;
    }
    function hour(id, fallback) {
      const raw = text(id, String(fallback)).trim();
      if (raw === '') return null;
      const n = parseInt(raw, 10);
      return isFinite(n) ? n : null;
    }
    let spread = parseInt(text('qv-setting-max-spread', ''), 10);
    if (!isFinite(spread) || spread <= 0) spread = 35;
    let dailyCap = parseInt(text('qv-setting-daily-cap', ''), 10);
    if (!isFinite(dailyCap) || dailyCap < 0) dailyCap = QV_DAILY_CAP_DEFAULT;
    const conf = parseInt(text('qv-setting-auto-conf', ''), 10);
    const out = {
      risk_pct: oneDecimal('qv-setting-risk-pct', 1.0),
      max_dd: oneDecimal('qv-setting-max-dd', 4.5),
      max_spread: spread,
      default_rr: text('qv-setting-def-rr', '').trim() || '1:2.0',
      confidence_threshold: isFinite(conf) ? conf : 85,
      exec_interval: text('qv-setting-exec-interval', '') || 'CANDLE_CLOSE_H1',
      daily_cap: dailyCap,
      hour_start: hour('qv-hour-start', 7),
      hour_end: hour('qv-hour-end', 18),
      active_strategy: text('qv-vault-strategy-select', '') || 'core',
      byos_name: text('qv-byos-name', ''),
      byos_entry: text('qv-byos-entry', ''),
      byos_invalidation: text('qv-byos-invalidation', ''),
      byos_rr: text('qv-byos-rr', '1:2.0'),
      byos_cot_policy: text('qv-byos-cot-policy', 'ADVISORY')
    };
    QV_VAULT_SESSIONS.forEach(function (s) {
      const box = byId(s[0]);
      out[s[1]] = box ? box.checked : QV_SETTING_KINDS[s[1]][1];
    });
    return out;
  }

  // The secrets the trader changed in the vault; an unchanged field is not sent, so the host
  // asks to confirm only what really changes (a new Telegram bot or chat).
  function vaultFormSecretChanges() {
    function text(id) {
      const field = byId(id);
      return field ? String(field.value).trim() : '';
    }
    const form = {
      gemini: text('qv-key-gemini'),
      deepseek: text('qv-key-deepseek'),
      openrouter: text('qv-key-openrouter'),
      openrouter_model: text('qv-key-openrouter-model') || 'google/gemini-2.0-flash-001',
      openai: text('qv-key-openai'),
      claude: text('qv-key-claude'),
      tg_token: text('qv-key-tg-token'),
      tg_chatid: text('qv-key-tg-chatid'),
      tg_userid: text('qv-key-tg-userid')
    };
    const changed = {};
    Object.keys(form).forEach(function (k) {
      const now = k === 'openrouter_model' ? (settings.secret(k) || 'google/gemini-2.0-flash-001') : settings.secret(k);
      if (form[k] !== now) changed[k] = form[k];
    });
    return changed;
  }

  async function saveVaultSettings() {
    if (saving) return;
    const form = vaultFormSettings();
    const secretsChanged = vaultFormSecretChanges();
    const sendsSecrets = Object.keys(secretsChanged).length > 0;
    if (!settings.request(form) || (sendsSecrets && !settings.requestSecrets(secretsChanged))) {
      showVaultSaveStatus('Not saved: no connection to the workspace.', true);
      return;
    }
    saving = true;
    showVaultSaveStatus('Saving\u2026', false);
    if (sendsSecrets) guarded(reportSecretsSaved)(secretsChanged);
    const outcome = await settings.awaitConfirmation('settings', form, 5000);
    saving = false;
    if (outcome.timedOut) {
      showVaultSaveStatus('Not saved: the workspace did not confirm the settings.', true);
      return;
    }
    hideVault();
    const risk = settings.percentText('risk_pct');
    ticket.followVaultRisk(risk);
    appendAIMessage(QV_ICONS.check + ' <b>Settings, Playbook &amp; Timing Saved:</b> Playbook: <b>' + escapeHtml(settings.get('active_strategy')) +
      '</b> \u2022 Interval: <b>' + escapeHtml(settings.get('exec_interval')) + '</b> \u2022 Risk: <b>' + escapeHtml(risk) + '%</b> \u2022 Max DD: <b>' +
      escapeHtml(settings.percentText('max_dd')) + '%</b> \u2022 Max Spread: <b>' + escapeHtml(String(settings.get('max_spread'))) +
      ' pts</b> \u2022 Target R:R: <b>' + escapeHtml(settings.get('default_rr')) + '</b>.');
    if (outcome.differing) {
      appendAIMessage(QV_ICONS.alert + ' The workspace kept its own value for: ' + escapeHtml(outcome.differing.join(', ')) + '.', 'SETTINGS');
    }
  }

  // A new key or relay is the host's to take: a Telegram bot or chat only after the trader
  // confirmed it at the workspace, which may take a while.
  async function reportSecretsSaved(sent) {
    relayAnswered = false;
    const outcome = await settings.awaitConfirmation('secrets', sent, 120000);
    if (outcome.ok) return;
    const names = outcome.differing || Object.keys(sent);
    const relay = names.filter(function (n) { return QV_RELAY_MEMBERS.indexOf(n) !== -1; });
    const keys = names.filter(function (n) { return relay.indexOf(n) === -1; });
    if (relay.length && !relayAnswered) {
      appendAIMessage(QV_ICONS.alert + ' <b>Telegram relay not changed:</b> the workspace kept the bot and chat it had' +
        (outcome.timedOut ? ' (no confirmation at the workspace).' : '.'), 'TELEGRAM RELAY');
    }
    if (keys.length) {
      appendAIMessage(QV_ICONS.alert + ' <b>Not saved by the workspace:</b> ' + escapeHtml(keys.join(', ')) + '.', 'API KEYS');
    }
  }

  // The drawer's vault button: green once any provider key is stored, gold until then.
  function paintVaultButton(hasKey) {
    const btn = byId('qv-vault-open-btn');
    if (!btn) return;
    btn.innerHTML = hasKey ? QV_ICONS.check + ' Keys Connected' : QV_ICONS.key + ' API Keys (BYOK)';
    btn.style.color = hasKey ? '#00e676' : '#ffd700';
    btn.style.borderColor = hasKey ? 'rgba(0,230,118,0.6)' : 'rgba(255,215,0,0.6)';
    btn.style.background = hasKey ? 'rgba(0,230,118,0.10)' : 'rgba(255,215,0,0.10)';
  }

  function vaultHasAnyKey() {
    return !!(settings.secret('gemini') || settings.secret('deepseek') || settings.secret('openai') ||
      settings.secret('claude') || settings.secret('openrouter'));
  }

  function updateVaultStatusUI() {
    paintVaultButton(vaultHasAnyKey());
    const subRisk = byId('qv-subbar-risk-val');
    if (subRisk) subRisk.textContent = settings.percentText('risk_pct') + '%';
  }

  settings.onChange(function (previous, current) {
    updateVaultStatusUI();
    if (!previous || previous.active_strategy !== current.active_strategy) {
      setPlaybookSelects(current.active_strategy || 'core');
      updateStrategyDescription(current.active_strategy || 'core');
    }
    if (current.model && (!previous || previous.model !== current.model)) selectModel(current.model);
  });
  settings.onSecretsChange(updateVaultStatusUI);

  // The relay's state as the host reports it ({"type":"status","telegram":"<text>",
  // "telegram_error":true|false}): shown under the relay's fields with the bot's name, and
  // each new error once in the chat.
  channel.onPush('status', function (message) {
    if (typeof message.telegram !== 'string') return;
    const text = message.telegram.replace(/[\u0000-\u001f\u007f]/g, ' ').slice(0, 300);
    const failed = message.telegram_error === true;
    const line = byId('qv-tg-status');
    if (line) {
      const bot = settings.secret('tg_bot') ? ' (@' + settings.secret('tg_bot').replace(/^@/, '') + ')' : '';
      line.textContent = text ? 'Telegram relay' + bot + ': ' + text : '';
      line.style.color = failed ? '#ff5252' : '';
    }
    if (failed && text !== lastTelegramError) {
      lastTelegramError = text;
      appendAIMessage(QV_ICONS.alert + ' <b>Telegram relay:</b> ' + escapeHtml(text), 'TELEGRAM RELAY');
    }
    if (!failed) lastTelegramError = '';
  });

  // The outcome of a relay question ({"type":"relay","result":"confirmed|declined|unchanged|
  // removed|failed","text":...}), said in the chat as the host words it.
  channel.onPush('relay', function (message) {
    const result = String(message.result || '');
    const text = typeof message.text === 'string' ? message.text.replace(/[\u0000-\u001f\u007f]/g, ' ').slice(0, 300) : result;
    if (!text) return;
    relayAnswered = true;
    const failed = result === 'declined' || result === 'failed';
    appendAIMessage((failed ? QV_ICONS.alert : QV_ICONS.check) + ' <b>Telegram relay:</b> ' + escapeHtml(text), 'TELEGRAM RELAY');
  });

  // Selects the drawer's engine a settings push names: the option of that value, or the
  // first whose value contains it.
  function selectModel(want) {
    const select = byId('qv-ai-model-select');
    if (!select) return;
    for (let i = 0; i < select.options.length; i++) {
      const val = select.options[i].value;
      if (val === want || val.indexOf(want) !== -1) {
        select.value = val;
        select.setAttribute('data-qv-model', val);
        return;
      }
    }
  }

  function modelKeyRequirement(model) {
    const pages = providers.keyPages();
    const route = providers.route(model);
    if (!route) return null;
    return { key: route.id, name: route.name, page: pages[route.id] };
  }

  // Wires the vault's and the drawer's selects once the drawer exists.
  function wire() {
    ensureVaultModal();
    installVaultClickHandler();

    const vaultSelect = byId('qv-vault-strategy-select');
    if (vaultSelect) {
      vaultSelect.addEventListener('change', guarded(function () {
        updateStrategyDescription(vaultSelect.value);
        const drawerSel = byId('qv-ai-strategy-select');
        if (drawerSel) drawerSel.value = vaultSelect.value;
      }));
    }
    const drawerSelect = byId('qv-ai-strategy-select');
    if (drawerSelect) {
      drawerSelect.value = settings.get('active_strategy') || 'core';
      drawerSelect.addEventListener('change', guarded(onDrawerPlaybookChange));
    }
    const tplSelect = byId('qv-byos-template-select');
    if (tplSelect) {
      tplSelect.addEventListener('change', guarded(function () { loadByosTemplate(tplSelect.value); }));
    }
    onTrustedClick(byId('qv-vault-save'), saveVaultSettings);
    const modelSelect = byId('qv-ai-model-select');
    if (modelSelect) {
      // The chosen model lives on the element, so a model a settings push selects is also
      // the one the vault entry falls back to.
      if (settings.get('model')) selectModel(settings.get('model'));
      if (modelSelect.value !== '__open_vault__') modelSelect.setAttribute('data-qv-model', modelSelect.value);
      modelSelect.addEventListener('change', guarded(function () {
        const value = modelSelect.value;
        if (value === '__open_vault__') {
          openQuorvaleVault('risk');
          modelSelect.value = modelSelect.getAttribute('data-qv-model') || 'gemini-3.8-flash';
          return;
        }
        modelSelect.setAttribute('data-qv-model', value);
        const need = modelKeyRequirement(value);
        if (!need) return;
        if (!settings.secret(need.key)) appendAIMessage(providers.missingKeyHtml(need.name, need.page), 'API KEY REQUIRED');
      }));
    }
    updateStrategyDescription(settings.get('active_strategy') || 'core');
    updateVaultStatusUI();
  }

  // The drawer's playbook is a setting of the host's: the choice shows at once, and goes back
  // with a line in the chat when the host does not keep it.
  async function onDrawerPlaybookChange() {
    const drawerSelect = byId('qv-ai-strategy-select');
    const value = drawerSelect.value;
    const before = settings.get('active_strategy') || 'core';
    const vs = byId('qv-vault-strategy-select');
    if (vs) vs.value = value;
    updateStrategyDescription(value);
    const opt = drawerSelect.options[drawerSelect.selectedIndex];
    appendAIMessage('\uD83C\uDFAF <b>Active Playbook Switched:</b> <i>' + escapeHtml(opt ? opt.text : value) + '</i> loaded.');
    if (value === 'byos_custom') {
      appendAIMessage(QV_ICONS.bolt + ' <b>Custom Strategy (BYOS) Selected:</b><br>' +
        'Need a proven institutional prompt template to start with? Select from 6 pre-built templates or clone a built-in strategy:<br>' +
        '<button type="button" id="qv-open-byos-tpl-btn" class="qv-chip-btn qv-vault-badge-btn" style="margin-top:6px;color:#00e676;border-color:rgba(0,230,118,0.6)">' +
        '\uD83D\uDCD1 Open Strategy Template Library</button>');
    }
    const sent = { active_strategy: value };
    const outcome = settings.request(sent) ? await settings.awaitConfirmation('settings', sent, 5000) : { timedOut: true };
    if (outcome.ok) return;
    const kept = settings.get('active_strategy') || before;
    setPlaybookSelects(kept);
    updateStrategyDescription(kept);
    appendAIMessage(QV_ICONS.alert + ' Playbook not changed: the workspace did not keep it; still ' + escapeHtml(kept) + '.', 'SETTINGS');
  }

  return Object.freeze({
    open: openQuorvaleVault,
    loadByosTemplate: loadByosTemplate,
    wire: wire,
    hasAnyKey: vaultHasAnyKey,
    // The drawer's vault button: green once any provider key is stored, gold until then.
    paintButton: paintVaultButton
  });
})();
