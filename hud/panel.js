// The floating panel: its header controls, its remembered place and state, and the two
// helpers that live beside it (the picking guide line and the restore button). What the
// body holds (the COT row and the ticket) is given by the build; the header's AI button is
// the drawer's (drawer.js) and dragging the header is dragging.js's.

function clampBetween(v, lo, hi) {
  // The lower bound wins when the window is too small for both.
  return Math.max(lo, Math.min(v, hi));
}

const panel = (function () {
  let panelNode = null;
  let restoreBtn = null;

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

  function headerHtml() {
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

  // The guide line and the restore button (chart pages only), then the panel around
  // bodyHtml, into the HUD's root.
  function build(bodyHtml) {
    if (!isStudioPage) {
      qvRoot.appendChild(createCrosshairGuide());
      restoreBtn = createRestoreButton();
      qvRoot.appendChild(restoreBtn);
    }
    panelNode = el('div', { id: 'qv-hud-panel', html: headerHtml() + '<div id="qv-hud-body">' + bodyHtml + '</div>' });
    qvRoot.appendChild(panelNode);
    return panelNode;
  }

  function placeAt(node, left, top) {
    if (!node) return;
    node.style.left = left + 'px';
    node.style.top = top + 'px';
  }

  // The panel and its restore button at a place pulled inside the view, by the bounds a
  // drag keeps, so no place (a drag's or a stored one the site may have written) puts the
  // panel where the trader cannot see or reach it. Returns the place taken.
  function moveTo(left, top) {
    const place = { left: clampBetween(left, 10, window.innerWidth - 300), top: clampBetween(top, 10, window.innerHeight - 80) };
    placeAt(panelNode, place.left, place.top);
    placeAt(restoreBtn, place.left, place.top);
    return place;
  }

  function restoreState() {
    const x = storedNumber(QV_KEYS.layout.hudX);
    const y = storedNumber(QV_KEYS.layout.hudY);
    if (x !== null && y !== null) moveTo(x, y);
    if (storeGet(QV_KEYS.layout.hudCollapsed, '0') === '1') {
      panelNode.classList.add('qv-collapsed');
      const min = byId('qv-btn-min');
      if (min) min.textContent = '+';
    }
    if (storeGet(QV_KEYS.layout.hudHidden, '0') === '1' && !isStudioPage) {
      panelNode.style.display = 'none';
      if (restoreBtn) restoreBtn.style.display = 'flex';
    }
  }

  function toggleCollapsed() {
    const collapsed = panelNode.classList.toggle('qv-collapsed');
    const min = byId('qv-btn-min');
    if (min) min.textContent = collapsed ? '+' : '\u2212';
    storeSet(QV_KEYS.layout.hudCollapsed, collapsed ? '1' : '0');
  }

  function hide() {
    if (isStudioPage) return;
    if (restoreBtn) {
      restoreBtn.style.left = panelNode.style.left || (panelNode.offsetLeft + 'px');
      restoreBtn.style.top = panelNode.style.top || (panelNode.offsetTop + 'px');
      restoreBtn.style.display = 'flex';
    }
    panelNode.style.display = 'none';
    storeSet(QV_KEYS.layout.hudHidden, '1');
  }

  function show() {
    if (restoreBtn) restoreBtn.style.display = 'none';
    panelNode.style.display = 'flex';
    storeSet(QV_KEYS.layout.hudHidden, '0');
  }

  function wireHeader() {
    const min = byId('qv-btn-min');
    const hideBtn = byId('qv-btn-hide');
    if (min) min.addEventListener('click', guarded(function (ev) { ev.preventDefault(); toggleCollapsed(); }));
    if (hideBtn) hideBtn.addEventListener('click', guarded(function (ev) { ev.preventDefault(); hide(); }));
    if (restoreBtn) restoreBtn.addEventListener('click', guarded(function (ev) { ev.preventDefault(); show(); }));
  }

  return Object.freeze({
    build: build,
    element: function () { return panelNode; },
    moveTo: moveTo,
    restoreState: restoreState,
    wireHeader: wireHeader
  });
})();
