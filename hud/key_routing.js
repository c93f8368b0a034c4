// The HUD's own handling of keys and typing in its fields. The input guard (bootstrap.js)
// ends these events on the window before any other listener, so the page never sees what
// the trader types into the HUD; the handling they need inside the HUD is done here, for
// the field that has the focus in the HUD's root.

function routeHudKeyEvent(ev, inner) {
  if (ev.type === 'keydown') {
    if (ev.key === 'Escape' && pickingTarget) cancelPicking();
    if (inner && inner.id === 'qv-ai-textarea') onChatKeydown(ev);
    return;
  }
  if (ev.type === 'input' && inner && inner.classList && inner.classList.contains('qv-card-input')) updateCardRR(inner);
}
