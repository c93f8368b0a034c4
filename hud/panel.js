// The floating panel: header controls, its remembered place and state, and the two
// helpers that live beside it (the picking guide line and the restore button).

var hudPanel = null;
var restoreBtn = null;
var crosshairGuide = null;

function el(tag, props) {
  const node = document.createElement(tag);
  if (props) {
    Object.keys(props).forEach(function (k) {
      if (k === 'text') node.textContent = props[k];
      else if (k === 'html') node.innerHTML = props[k];
      else if (k === 'className') node.className = props[k];
      else node.setAttribute(k, props[k]);
    });
  }
  return node;
}

function createCrosshairGuide() {
  const guide = el('div', { id: 'qv-crosshair-guide' });
  guide.appendChild(el('div', { id: 'qv-crosshair-badge', text: '\u25CE Click chart to set target' }));
  return guide;
}

function createRestoreButton() {
  return el('button', {
    id: 'qv-hud-restore-btn', type: 'button', title: 'Click to show Quorvale Workspace HUD',
    html: '<span class="qv-bolt">' + QV_ICONS.bolt + '</span>QUORVALE HUD'
  });
}

function panelHeaderHtml() {
  return '<div id="qv-hud-header">' +
    '<div class="qv-hud-title">' + QV_ICONS.logo + '<span>QUORVALE WORKSPACE</span></div>' +
    '<div class="qv-hud-header-right">' +
      '<span id="qv-pnl-badge">PnL: $0.00</span>' +
      '<button type="button" id="qv-btn-ai-toggle" class="qv-hdr-btn qv-hdr-btn-ai" title="Open Quorvale AI Copilot (Gemini 3.8 Flash Vision &amp; BYOK Vault)">' + QV_ICONS.ai + '</button>' +
      '<button type="button" id="qv-btn-settings" class="qv-hdr-btn" title="Trading &amp; Risk Settings (Risk %, Drawdown Cap, BYOK Keys)">' + QV_ICONS.gear + '</button>' +
      '<button type="button" id="qv-btn-min" class="qv-hdr-btn" title="Minimize / Expand">\u2212</button>' +
      '<button type="button" id="qv-btn-hide" class="qv-hdr-btn qv-hdr-btn-close" title="Close HUD">\u2715</button>' +
    '</div></div>';
}

function createPanel() {
  return el('div', {
    id: 'qv-hud-panel',
    html: panelHeaderHtml() + '<div id="qv-hud-body">' + cotRowHtml() + ticketRowsHtml() + '</div>'
  });
}

function placeAt(node, left, top) {
  if (!node) return;
  node.style.left = left + 'px';
  node.style.top = top + 'px';
}

// The site can write the stored place too: a place outside the view is pulled inside it,
// by the bounds a drag keeps, so no stored value puts the panel where the trader cannot
// see or reach it.
function restorePanelState() {
  const x = storedNumber(QV_KEYS.hudX);
  const y = storedNumber(QV_KEYS.hudY);
  if (x !== null && y !== null) {
    const left = clampBetween(x, 10, window.innerWidth - 300);
    const top = clampBetween(y, 10, window.innerHeight - 80);
    placeAt(hudPanel, left, top);
    placeAt(restoreBtn, left, top);
  }
  if (storeGet(QV_KEYS.hudCollapsed, '0') === '1') {
    hudPanel.classList.add('qv-collapsed');
    const min = byId('qv-btn-min');
    if (min) min.textContent = '+';
  }
  if (storeGet(QV_KEYS.hudHidden, '0') === '1' && !isStudioPage) {
    hudPanel.style.display = 'none';
    if (restoreBtn) restoreBtn.style.display = 'flex';
  }
}

function togglePanelCollapsed() {
  const collapsed = hudPanel.classList.toggle('qv-collapsed');
  const min = byId('qv-btn-min');
  if (min) min.textContent = collapsed ? '+' : '\u2212';
  storeSet(QV_KEYS.hudCollapsed, collapsed ? '1' : '0');
}

function hidePanel() {
  if (isStudioPage) return;
  if (restoreBtn) {
    restoreBtn.style.left = hudPanel.style.left || (hudPanel.offsetLeft + 'px');
    restoreBtn.style.top = hudPanel.style.top || (hudPanel.offsetTop + 'px');
    restoreBtn.style.display = 'flex';
  }
  hudPanel.style.display = 'none';
  storeSet(QV_KEYS.hudHidden, '1');
}

function showPanel() {
  if (restoreBtn) restoreBtn.style.display = 'none';
  hudPanel.style.display = 'flex';
  storeSet(QV_KEYS.hudHidden, '0');
}

function wirePanelHeader() {
  const min = byId('qv-btn-min');
  const hide = byId('qv-btn-hide');
  const ai = byId('qv-btn-ai-toggle');
  if (min) min.addEventListener('click', guarded(function (ev) { ev.preventDefault(); togglePanelCollapsed(); }));
  if (hide) hide.addEventListener('click', guarded(function (ev) { ev.preventDefault(); hidePanel(); }));
  if (restoreBtn) restoreBtn.addEventListener('click', guarded(function (ev) { ev.preventDefault(); showPanel(); }));
  if (ai) {
    ai.addEventListener('click', guarded(function (ev) {
      ev.preventDefault();
      const drawer = byId('qv-ai-drawer');
      if (drawer && drawer.classList.contains('qv-drawer-open')) closeAIDrawer();
      else openAIDrawer();
    }));
  }
  const header = byId('qv-hud-header');
  if (header && !isStudioPage) header.addEventListener('mousedown', guarded(startPanelDrag));
}
