// The AI drawer's skeleton and its window controls, and the panel's button that slides it
// in. Its content (chat, providers, vault, AutoTrader) is wired by the copilot files once
// the skeleton exists.

const QV_MODEL_OPTIONS = [
  ['gemini-3.8-flash', 'Google Gemini 3.8 Flash (Vision & Speed)'],
  ['gemini-3.1-pro', 'Google Gemini 3.1 Pro (Deep Vision & COT)'],
  ['deepseek-reasoner', 'DeepSeek R1 (Deep Reasoner)'],
  ['deepseek-chat', 'DeepSeek V3 (Fast Analytical)'],
  ['openrouter', 'OpenRouter Universal BYOK'],
  ['gpt-4o', 'OpenAI GPT-4o (Vision)'],
  ['claude-3-5-sonnet-20241022', 'Claude 3.5 Sonnet (Vision)'],
  ['__open_vault__', 'Settings & API Keys...']
];

const QV_PLAYBOOK_OPTIONS = [
  ['core', 'Institutional Core (3-Tier)'],
  ['ict_silver', 'ICT Silver Bullet (FVG)'],
  ['asian_sweep', 'Asian Judas Sweep (London)'],
  ['breakout_retest', 'Breakout & Retest'],
  ['byos_custom', 'Custom Playbook (BYOS)...']
];

// Option markup for [value, label] pairs; the first is selected unless another is named.
function optionsHtml(list, selected) {
  return list.map(function (o, i) {
    const on = selected === undefined ? i === 0 : o[0] === selected;
    return '<option value="' + escapeHtml(o[0]) + '"' + (on ? ' selected' : '') + '>' + escapeHtml(o[1]) + '</option>';
  }).join('');
}

const drawer = (function () {
  let drawerNode = null;

  function drawerHtml() {
    const chips = [['qv-chip-vision', 'Scan Chart (Vision)', 'vision'], ['qv-chip-cot', 'COT Smart Money', 'bank'],
      ['qv-chip-risk', 'Risk Audit', 'shield'], ['qv-chip-setup', 'Generate Setup', 'sparkle']];
    return '<div id="qv-drawer-resizer" title="Drag left/right to resize AI Copilot drawer"></div>' +
      '<div id="qv-ai-hdr">' +
        '<div class="qv-ai-hdr-top">' +
          '<div class="qv-ai-title">' + QV_ICONS.logo + '<span>QUORVALE AI</span></div>' +
          '<span id="qv-ai-sym-badge">NDX \u2022 MT5: H1</span>' +
          '<span class="qv-ai-hdr-spacer"></span>' +
          '<button type="button" id="qv-vault-open-btn" class="qv-vault-badge-btn" title="Configure Risk Rules &amp; AI Provider API keys">' +
            QV_ICONS.gear + '<span>Settings &amp; Keys</span></button>' +
          '<button type="button" id="qv-ai-half-btn" class="qv-ai-win-btn" title="Half Screen Width (50%)">\u25D0</button>' +
          '<button type="button" id="qv-ai-full-btn" class="qv-ai-win-btn" title="Full / Wide Screen Width (85%)">\u25A1</button>' +
          '<button type="button" id="qv-ai-close-btn" class="qv-ai-win-btn" title="Close Copilot Drawer">\u2715</button>' +
        '</div>' +
        '<div class="qv-ai-hdr-sel">Engine: <select id="qv-ai-model-select">' + optionsHtml(QV_MODEL_OPTIONS) + '</select>' +
          'Playbook: <select id="qv-ai-strategy-select">' + optionsHtml(QV_PLAYBOOK_OPTIONS) + '</select></div>' +
      '</div>' +
      '<div class="qv-ai-subbar">' +
        '<div id="qv-autotrader-toggle"><span id="qv-auto-icon">' + QV_ICONS.dotOff + '</span><span id="qv-auto-label">AutoTrader: OFF</span></div>' +
        '<button type="button" id="qv-subbar-risk-btn" title="Click to view &amp; adjust Default Risk % and prop firm rules">' +
          QV_ICONS.shield + '<span>Risk: </span><span id="qv-subbar-risk-val">1.0%</span></button>' +
        '<span class="qv-sentinel-txt">Sentinel: Active</span>' +
      '</div>' +
      '<div class="qv-ai-chips">' + chips.map(function (c) {
        return '<button type="button" id="' + c[0] + '" class="qv-chip-btn">' + QV_ICONS[c[2]] + ' ' + c[1] + '</button>';
      }).join('') + '</div>' +
      '<div id="qv-ai-chat-body"></div>' +
      '<div id="qv-ai-footer">' +
        '<div id="qv-telemetry-txt">' + QV_ICONS.paperclip + ' Live Chart Screenshot + MT5 Technicals + CFTC COT Attached</div>' +
        '<div class="qv-ai-input-row"><textarea id="qv-ai-textarea" rows="1" placeholder="Ask Quorvale Copilot about market structure..."></textarea>' +
          '<button type="button" id="qv-ai-send-btn">' + QV_ICONS.send + '</button></div>' +
      '</div>';
  }

  function openAIDrawer() {
    const node = byId('qv-ai-drawer');
    if (!node) return;
    node.classList.add('qv-drawer-open');
    const badge = byId('qv-ai-sym-badge');
    if (badge) badge.textContent = symbolProbe.getActiveTradingViewSymbol() || 'CURRENT';
    const input = byId('qv-ai-textarea');
    if (input) {
      try { input.focus(); } catch (e) { /* not focusable yet */ }
    }
  }

  function closeAIDrawer() {
    const node = byId('qv-ai-drawer');
    if (node) node.classList.remove('qv-drawer-open');
  }

  function setDrawerWidth(width) {
    if (!drawerNode) return;
    drawerNode.style.width = width;
    storeSet(QV_KEYS.layout.aiWidth, width);
  }

  function onHalfWidth() {
    const w = drawerNode.getBoundingClientRect().width;
    setDrawerWidth(Math.abs(w - window.innerWidth / 2) <= 30 ? '385px' : '50vw');
  }

  function onFullWidth() {
    const w = drawerNode.getBoundingClientRect().width;
    setDrawerWidth(w > window.innerWidth * 0.75 ? '385px' : '85vw');
  }

  function applyStudioLeftWidth(px) {
    try { qvHost.style.setProperty('--qv-studio-left-w', px); } catch (e) { /* no host style */ }
    const panelNode = panel.element();
    if (panelNode) {
      panelNode.style.width = px;
      panelNode.style.flex = '0 0 ' + px;
    }
  }

  // On the studio page the drawer is the right column, open for good, beside the panel.
  function applyStudioAdjustments() {
    drawerNode.classList.add('qv-studio-full', 'qv-drawer-open');
    applyStudioLeftWidth(storedPixelLength(QV_KEYS.layout.studioLeftW, '320px'));
    const modal = byId('qv-cot-modal');
    if (modal) modal.style.display = 'flex';
    const title = drawerNode.querySelector('.qv-ai-title');
    if (title) title.innerHTML = QV_ICONS.logo + '<span><b style="font-weight:900">QUORVALE</b> AI COPILOT STUDIO</span>';
    const close = byId('qv-ai-close-btn');
    if (close) {
      close.textContent = '\u2715 Close Window';
      close.title = 'Close AI Studio Window';
    }
  }

  // After the panel's build: the drawer goes into the root beside it.
  function build() {
    drawerNode = el('div', { id: 'qv-ai-drawer', html: drawerHtml() });
    const width = storedDrawerWidth();
    if (width && !isStudioPage) drawerNode.style.width = width;
    qvRoot.appendChild(drawerNode);
    if (isStudioPage) applyStudioAdjustments();
    return drawerNode;
  }

  function wire() {
    const toggle = byId('qv-btn-ai-toggle');
    const close = byId('qv-ai-close-btn');
    const half = byId('qv-ai-half-btn');
    const full = byId('qv-ai-full-btn');
    if (toggle) {
      toggle.addEventListener('click', guarded(function (ev) {
        ev.preventDefault();
        const shown = byId('qv-ai-drawer');
        if (shown && shown.classList.contains('qv-drawer-open')) closeAIDrawer();
        else openAIDrawer();
      }));
    }
    if (close) {
      close.addEventListener('click', guarded(function (ev) {
        ev.preventDefault();
        // The studio window belongs to the host: it hides it and keeps the process.
        if (isStudioPage) channel.post('CLOSE_STUDIO');
        else closeAIDrawer();
      }));
    }
    if (half) half.addEventListener('click', guarded(function (ev) { ev.preventDefault(); onHalfWidth(); }));
    if (full) full.addEventListener('click', guarded(function (ev) { ev.preventDefault(); onFullWidth(); }));
  }

  return Object.freeze({
    build: build,
    wire: wire,
    element: function () { return drawerNode; },
    open: openAIDrawer,
    close: closeAIDrawer,
    applyStudioLeftWidth: applyStudioLeftWidth
  });
})();
