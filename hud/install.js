// Start-up and the build of panel and drawer. Joined last: the build calls into every file
// above. It happens once per document, inside the HUD's closed root; the page can only take
// the host element out of its document, and a once-a-second look puts it back with
// everything inside as it was.

(function startHud() {
  if (!qvHudActive) return;
  let built = false;

  function attachHudHost() {
    if (qvHost.isConnected || !document.documentElement) return;
    try { document.documentElement.appendChild(qvHost); } catch (e) { /* the next look tries again */ }
  }

  // The drawer's content: vault, copilot and AutoTrader, wired once per document (the build
  // runs once: a second AutoTrader loop would evaluate, and trade, each bar twice).
  function wireCopilotDrawer() {
    [ensureCopilotStyles, vault.wire, copilot.wire, autoTrader.wire].forEach(function (step) {
      try { step(); } catch (e) { /* a missing control leaves the rest working */ }
    });
    autoTrader.startLoop();
    welcome.render();
  }

  function initHUD() {
    if (built || !document.body) return;
    built = true;
    installHudStyles();
    panel.build(cotView.rowHtml() + ticket.rowsHtml());
    drawer.build();

    const vaultModal = el('div', { id: 'qv-vault-modal' });
    vaultModal.style.display = 'none';
    qvRoot.appendChild(vaultModal);

    panel.restoreState();
    dragging.installListeners();
    pricePicking.installListeners();

    const steps = [panel.wireHeader, dragging.wire, cotView.wire, ticket.wire, pricePicking.wire, drawer.wire];
    steps.forEach(function (step) {
      try { step(); } catch (e) { /* one broken control leaves the rest working */ }
    });

    chartData.refresh();
    cotView.refresh();
    qvSetInterval(guarded(chartData.refresh), 2000);
    qvSetInterval(guarded(cotView.refresh), 3000);
    qvSetTimeout(guarded(pricePicking.runTVProbe), 3500);

    try { wireCopilotDrawer(); } catch (e) { /* the panel still trades */ }
    positionsBadge.show();
    attachHudHost();

    // Stored settings of an earlier version go to the host before the HUD announces itself,
    // so the host's answer to the announcement already holds them.
    migration.sendStoredSettings();
    channel.announceReady();
  }

  const build = guarded(initHUD);
  try {
    if (document.readyState === 'complete' || document.readyState === 'interactive') build();
    else document.addEventListener('DOMContentLoaded', build);
  } catch (e) { /* the interval below builds */ }
  qvSetInterval(guarded(function () { build(); attachHudHost(); }), 1000);
  qvSetInterval(guarded(symbolProbe.runSymbolSync), 800);
})();
