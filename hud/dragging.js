// Dragging the panel and resizing the drawer (or, on the studio page, the left column).
// The move and release listeners are installed once per document and act on the
// elements of the current build, so rebuilds do not stack listeners.

var dragState = null;
var resizeState = null;
var pointerListenersInstalled = false;

function setBodySelectable(on) {
  try {
    if (document.body) document.body.style.userSelect = on ? '' : 'none';
  } catch (e) { /* no body */ }
}

function clampBetween(v, lo, hi) {
  // The lower bound wins when the window is too small for both.
  return Math.max(lo, Math.min(v, hi));
}

function startPanelDrag(ev) {
  if (ev.button !== undefined && ev.button !== 0) return;
  const t = ev.target;
  if (t && typeof t.closest === 'function' && t.closest('.qv-hdr-btn')) return;
  dragState = { x: ev.clientX, y: ev.clientY, left: hudPanel.offsetLeft, top: hudPanel.offsetTop };
  setBodySelectable(false);
  ev.preventDefault();
}

function startDrawerResize(ev) {
  if (ev.button !== undefined && ev.button !== 0) return;
  resizeState = { resizer: ev.currentTarget || byId('qv-drawer-resizer') };
  if (resizeState.resizer) resizeState.resizer.classList.add('qv-resizing');
  setBodySelectable(false);
  ev.preventDefault();
}

function onPointerMove(ev) {
  if (dragState && hudPanel) {
    const left = clampBetween(dragState.left + ev.clientX - dragState.x, 10, window.innerWidth - 300);
    const top = clampBetween(dragState.top + ev.clientY - dragState.y, 10, window.innerHeight - 80);
    placeAt(hudPanel, left, top);
    placeAt(restoreBtn, left, top);
    storeSet(QV_KEYS.hudX, left);
    storeSet(QV_KEYS.hudY, top);
  }
  if (resizeState) {
    if (isStudioPage) {
      const px = clampBetween(ev.clientX, 260, window.innerWidth - 360) + 'px';
      applyStudioLeftWidth(px);
      storeSet(QV_KEYS.studioLeftW, px);
    } else if (aiDrawer) {
      const px = clampBetween(window.innerWidth - ev.clientX, 340, window.innerWidth - 60) + 'px';
      aiDrawer.style.width = px;
      storeSet(QV_KEYS.aiWidth, px);
    }
  }
}

function onPointerUp() {
  if (dragState) {
    dragState = null;
    setBodySelectable(true);
  }
  if (resizeState) {
    if (resizeState.resizer) resizeState.resizer.classList.remove('qv-resizing');
    resizeState = null;
    setBodySelectable(true);
  }
}

function installPointerListeners() {
  if (pointerListenersInstalled) return;
  pointerListenersInstalled = true;
  document.addEventListener('mousemove', guarded(onPointerMove), true);
  document.addEventListener('mouseup', guarded(onPointerUp), true);
}
