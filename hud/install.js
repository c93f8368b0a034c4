// Start-up and the build of panel and drawer. Joined last so that every file's top-level
// state exists before the build can run. The build happens once per document, inside the
// HUD's closed root; the page can only take the host element out of its document, and a
// once-a-second look puts it back with everything inside as it was.

var qvHudBuilt = false;

function attachHudHost() {
  if (!qvHost || qvHost.isConnected || !document.documentElement) return;
  try { document.documentElement.appendChild(qvHost); } catch (e) { /* the next look tries again */ }
}

function initHUD() {
  if (qvHudBuilt || !document.body) return;
  qvHudBuilt = true;
  detectStudioPage();
  installHudStyles();

  if (!isStudioPage) {
    crosshairGuide = createCrosshairGuide();
    restoreBtn = createRestoreButton();
    qvRoot.appendChild(crosshairGuide);
    qvRoot.appendChild(restoreBtn);
  }
  hudPanel = createPanel();
  aiDrawer = createDrawer();
  qvRoot.appendChild(hudPanel);
  qvRoot.appendChild(aiDrawer);
  if (isStudioPage) applyStudioAdjustments();

  const vault = el('div', { id: 'qv-vault-modal' });
  vault.style.display = 'none';
  qvRoot.appendChild(vault);

  restorePanelState();
  installPointerListeners();
  installPickingListeners();

  const steps = [wirePanelHeader, wireCotRow, wireTicket, wireDrawerControls];
  steps.forEach(function (step) {
    try { step(); } catch (e) { /* one broken control leaves the rest working */ }
  });

  updateCachedTechnicals();
  refreshCOTData();
  qvSetInterval(guarded(updateCachedTechnicals), 2000);
  qvSetInterval(guarded(refreshCOTData), 3000);
  qvSetTimeout(guarded(runTVProbe), 3500);

  try { wireSecondHalf(); } catch (e) { /* the panel still trades */ }
  showPositions();
  attachHudHost();

  // Stored settings of an earlier version go to the host before the HUD announces itself,
  // so the host's answer to the announcement already holds them.
  migrateStoredSettings();
  announceHudReady();
}

(function startHud() {
  if (!qvHudActive) return;
  const build = guarded(initHUD);
  try {
    if (document.readyState === 'complete' || document.readyState === 'interactive') build();
    else document.addEventListener('DOMContentLoaded', build);
  } catch (e) { /* the interval below builds */ }
  qvSetInterval(guarded(function () { build(); attachHudHost(); }), 1000);
  qvSetInterval(guarded(runSymbolSync), 800);
})();
