// Wires the vault, copilot and AutoTrader into each build of the drawer. A build is
// recognised by a drawer element this file has not marked yet, so the wiring runs once
// per build whichever code creates the skeleton, and a rebuild replaces the AutoTrader
// loop instead of adding a second one (two loops would evaluate, and trade, each bar twice).

var copilotBootTimer;
var copilotLoopTimer;

function copilotIsStudioPage() {
  try {
    if (typeof isStudioPage === 'boolean') return isStudioPage;
  } catch (e) { /* bootstrap not loaded */ }
  return String(window.location.href).indexOf('headless.html') !== -1 ||
    !!(document.body && document.body.classList.contains('qv-studio-page'));
}

function wireSecondHalf() {
  const drawer = document.getElementById('qv-ai-drawer');
  if (!drawer || drawer.getAttribute('data-qv-copilot-wired') === '1') return false;
  drawer.setAttribute('data-qv-copilot-wired', '1');
  try { ensureCopilotStyles(); } catch (e) { /* unstyled but working */ }
  try { wireVault(); } catch (e) { /* a missing control leaves the rest working */ }
  try { wireCopilot(); } catch (e) { /* as above */ }
  try { wireAutoTrader(); } catch (e) { /* as above */ }
  if (copilotLoopTimer) clearInterval(copilotLoopTimer);
  copilotLoopTimer = startAutoTraderLoop();
  if (copilotIsStudioPage()) {
    setTimeout(renderInitialStudioWelcome, 250);
  } else {
    renderInitialWelcome();
  }
  syncExternalAIConfig();
  return true;
}

// Only the instance that builds the HUD (top frame, first injection) wires it.
if (!copilotBootTimer && (typeof qvHudActive === 'undefined' || qvHudActive)) {
  copilotBootTimer = setInterval(function () {
    try { wireSecondHalf(); } catch (e) { /* retried on the next pass */ }
  }, 250);
}
