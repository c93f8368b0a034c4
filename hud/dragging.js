// Dragging the panel by its header and resizing the drawer (or, on the studio page, the
// left column) by its edge. The move and release listeners are installed once per document
// and act on the elements of the current build, so rebuilds do not stack listeners.

const dragging = (function () {
  // The panel's drag: where the pointer and the panel started; null when not dragging.
  let dragState = null;
  // The drawer's resize: the resizer being held; null when not resizing.
  let resizeState = null;
  let listenersInstalled = false;

  function setBodySelectable(on) {
    try {
      if (document.body) document.body.style.userSelect = on ? '' : 'none';
    } catch (e) { /* no body */ }
  }

  function startPanelDrag(ev) {
    if (ev.button !== undefined && ev.button !== 0) return;
    const t = ev.target;
    if (t && typeof t.closest === 'function' && t.closest('.qv-hdr-btn')) return;
    const panelNode = panel.element();
    dragState = { x: ev.clientX, y: ev.clientY, left: panelNode.offsetLeft, top: panelNode.offsetTop };
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
    if (dragState && panel.element()) {
      const place = panel.moveTo(dragState.left + ev.clientX - dragState.x, dragState.top + ev.clientY - dragState.y);
      storeSet(QV_KEYS.layout.hudX, place.left);
      storeSet(QV_KEYS.layout.hudY, place.top);
    }
    if (resizeState) {
      if (isStudioPage) {
        const px = clampBetween(ev.clientX, 260, window.innerWidth - 360) + 'px';
        drawer.applyStudioLeftWidth(px);
        storeSet(QV_KEYS.layout.studioLeftW, px);
      } else if (drawer.element()) {
        const px = clampBetween(window.innerWidth - ev.clientX, 340, window.innerWidth - 60) + 'px';
        drawer.element().style.width = px;
        storeSet(QV_KEYS.layout.aiWidth, px);
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

  // The studio's panel is a column: it does not move.
  function wire() {
    const header = byId('qv-hud-header');
    const resizer = byId('qv-drawer-resizer');
    if (header && !isStudioPage) header.addEventListener('mousedown', guarded(startPanelDrag));
    if (resizer) resizer.addEventListener('mousedown', guarded(startDrawerResize));
  }

  function installListeners() {
    if (listenersInstalled) return;
    listenersInstalled = true;
    document.addEventListener('mousemove', guarded(onPointerMove), true);
    document.addEventListener('mouseup', guarded(onPointerUp), true);
  }

  return Object.freeze({ wire: wire, installListeners: installListeners });
})();
