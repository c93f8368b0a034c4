// Start-up and the build of panel and drawer. Joined last so that every file's top-level
// state exists before the first build can run. A build happens at the first call and
// again whenever the page has thrown our panel (studio page: the drawer) away.

var buildTimers = [];

function removeById(id) {
  const node = byId(id);
  if (node && node.parentNode) node.parentNode.removeChild(node);
}

// Timers of the build being replaced are stopped, so a page that keeps discarding the
// panel does not collect one more poll per rebuild.
function stopBuildTimers() {
  buildTimers.forEach(function (t) {
    try { qvClearInterval(t); qvClearTimeout(t); } catch (e) { /* already gone */ }
  });
  buildTimers = [];
}

function initHUD() {
  detectStudioPage();
  if (!document.body) return;
  if (isStudioPage ? byId('qv-ai-drawer') : byId('qv-hud-panel')) return;

  stopBuildTimers();
  cancelPicking();
  // Leftovers of an earlier build would duplicate ids the copilot wires by id.
  ['qv-hud-panel', 'qv-ai-drawer', 'qv-vault-modal', 'qv-crosshair-guide', 'qv-hud-restore-btn'].forEach(removeById);
  isTrading = false;

  installHudStyles();
  pushStoredKeysToHost();

  crosshairGuide = createCrosshairGuide();
  restoreBtn = createRestoreButton();
  if (!isStudioPage) {
    document.body.appendChild(crosshairGuide);
    document.body.appendChild(restoreBtn);
  } else {
    crosshairGuide = null;
    restoreBtn = null;
  }
  hudPanel = createPanel();
  aiDrawer = createDrawer();
  document.body.appendChild(hudPanel);
  document.body.appendChild(aiDrawer);
  requestPositionsPush();
  if (isStudioPage) applyStudioAdjustments();

  const vault = el('div', { id: 'qv-vault-modal' });
  vault.style.display = 'none';
  document.body.appendChild(vault);

  restorePanelState();
  installPointerListeners();
  installPickingListeners();

  const steps = [wirePanelHeader, wireCotRow, wireTicket, wireDrawerControls];
  steps.forEach(function (step) {
    try { step(); } catch (e) { /* one broken control leaves the rest working */ }
  });

  updateCachedTechnicals();
  refreshCOTData();
  buildTimers.push(qvSetInterval(guarded(updateCachedTechnicals), 2000));
  buildTimers.push(qvSetInterval(guarded(refreshCOTData), 3000));
  buildTimers.push(qvSetTimeout(guarded(runTVProbe), 3500));

  // Vault, copilot and AutoTrader wire themselves onto each new drawer.
  try {
    if (typeof wireSecondHalf === 'function') wireSecondHalf();
  } catch (e) { /* their own poll retries */ }
}

(function startHud() {
  if (!qvHudActive) return;
  const build = guarded(initHUD);
  try {
    if (document.readyState === 'complete' || document.readyState === 'interactive') build();
    else document.addEventListener('DOMContentLoaded', build);
  } catch (e) { /* the interval below builds */ }
  qvSetInterval(build, 1000);
  qvSetInterval(guarded(runSymbolSync), 800);
})();
