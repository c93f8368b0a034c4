// Wires the vault, copilot and AutoTrader into each build of the drawer. initHUD calls
// this at the end of every build; the mark on the drawer keeps a second call for the same
// drawer from adding a second set of listeners and, worse, a second AutoTrader loop (two
// loops would evaluate, and trade, each bar twice).

function wireSecondHalf() {
  const drawer = byId('qv-ai-drawer');
  if (!drawer || drawer.getAttribute('data-qv-copilot-wired') === '1') return false;
  drawer.setAttribute('data-qv-copilot-wired', '1');
  [ensureCopilotStyles, wireVault, wireCopilot, wireAutoTrader].forEach(function (step) {
    try { step(); } catch (e) { /* a missing control leaves the rest working */ }
  });
  // Build timers: the next build stops them before it starts its own.
  buildTimers.push(startAutoTraderLoop());
  if (isStudioPage) {
    buildTimers.push(qvSetTimeout(guarded(renderInitialStudioWelcome), 250));
  } else {
    renderInitialWelcome();
  }
  syncExternalAIConfig();
  return true;
}
