// Wires the vault, copilot and AutoTrader into the drawer, once per document (the build
// runs once: a second AutoTrader loop would evaluate, and trade, each bar twice).

function wireSecondHalf() {
  [ensureCopilotStyles, wireVault, wireCopilot, wireAutoTrader].forEach(function (step) {
    try { step(); } catch (e) { /* a missing control leaves the rest working */ }
  });
  startAutoTraderLoop();
  if (isStudioPage) {
    qvSetTimeout(guarded(renderInitialStudioWelcome), 250);
  } else {
    renderInitialWelcome();
  }
}
