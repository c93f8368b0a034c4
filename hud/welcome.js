// The copilot's first words in the chat: on a chart page where to put a key, or, once one
// is stored, that the copilot is online; on the studio page its welcome with the four
// tiles that do what the drawer's chips do.

const welcome = (function () {
  function renderInitialWelcome() {
    const body = copilotChatBody();
    if (!body || body.querySelector('#qv-welcome-card')) return;
    if (vault.hasAnyKey()) {
      vault.paintButton(true);
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
    const tech = chartData.latest() || {};
    const sym = escapeHtml(tech.Symbol || 'XAUUSD');
    const tf = escapeHtml(tech.Timeframe || 'H1');
    const price = escapeHtml(tech.CurrentPrice || 'Live');
    function tile(id, title, sub, iconName) {
      return '<button type="button" class="qv-init-btn" id="' + id + '">' + QV_ICONS[iconName] +
        '<span class="qv-init-title">' + title + '</span><span class="qv-init-sub">' + sub + '</span></button>';
    }
    const notice = vault.hasAnyKey() ? '' :
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
        vault.open('keys');
      }));
    }
    // Each tile does what its chip does, for the trader's own click.
    const pairs = [['qv-init-vision-btn', 'qv-chip-vision'], ['qv-init-cot-btn', 'qv-chip-cot'],
      ['qv-init-risk-btn', 'qv-chip-risk'], ['qv-init-setup-btn', 'qv-chip-setup']];
    pairs.forEach(function (pair) {
      onTrustedClick(msg.querySelector('#' + pair[0]), function () { copilot.runChip(pair[1]); });
    });
  }

  // Once a provider key arrives, the chart page's welcome says so where it stood and the
  // studio's key notice goes.
  function showKeysConnected() {
    if (!vault.hasAnyKey()) return;
    const card = byId('qv-welcome-card');
    if (card) {
      const holder = document.createElement('div');
      holder.innerHTML = onlineWelcomeCardHtml();
      card.replaceWith(holder.firstChild);
      const msg = byId('qv-welcome-card').closest('.qv-msg');
      const meta = msg ? msg.querySelector('.qv-msg-meta') : null;
      if (meta) meta.textContent = 'QUORVALE AI SENTINEL \u2022 ' + copilotTimeOfDay();
    }
    const notice = byId('qv-studio-key-notice');
    if (notice) notice.style.display = 'none';
  }

  settings.onChange(showKeysConnected);
  settings.onSecretsChange(showKeysConnected);

  return Object.freeze({
    // The first words of the chat: at once on a chart page, a moment after the build on the
    // studio page.
    render: function () {
      if (isStudioPage) qvSetTimeout(guarded(renderInitialStudioWelcome), 250);
      else renderInitialWelcome();
    }
  });
})();
