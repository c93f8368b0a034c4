// The HUD's own style sheet, inside its shadow root: the chart page's rules cannot select
// anything in it, and ours none of the page's. The host element itself is the one thing the
// page can style; its rules here are important, and an important rule of the shadow tree
// wins over every rule of the page, so a page rule can neither hide, fade nor shift it. The
// stacking values keep the guide line under the panel, the panel under the drawer and the
// vault above everything; the host puts all of it above the page.

// Segoe UI is what the layout is measured for. Selawik and Liberation Sans have nearly its
// advance widths, so where it is missing (Linux, Wine) the header title still fits the
// 295 px panel; a wider fallback such as DejaVu Sans cuts it. The emoji fonts come last so
// that the icons in text find a glyph instead of a box.
const QV_FONT_STACK = '-apple-system,BlinkMacSystemFont,"Segoe UI",Selawik,"Liberation Sans",Arial,Roboto,sans-serif,' +
  '"Segoe UI Emoji","Noto Color Emoji"';

function hudStyleText() {
  return [
    // the host: no box of its own (its parts are fixed to the window)
    ':host{all:initial !important;display:block !important;position:fixed !important;top:0 !important;left:0 !important;width:0 !important;height:0 !important;' +
      'overflow:visible !important;z-index:2147483647 !important;opacity:1 !important;visibility:visible !important;transform:none !important;' +
      'filter:none !important;clip-path:none !important;mask:none !important;contain:none !important;pointer-events:auto !important;' +
      'font-family:' + QV_FONT_STACK + ' !important;font-size:11px !important;color:#e0e3eb !important}',
    // guide line and its badge
    '#qv-crosshair-guide{position:fixed;left:0;top:0;width:100%;height:0;border-top:1px dashed #3875ff;pointer-events:none;display:none;z-index:2147483630}',
    '#qv-crosshair-badge{position:absolute;right:70px;top:-11px;white-space:nowrap;background:rgba(56,117,255,0.95);color:#fff;font:600 10.5px/1 ' + QV_FONT_STACK + ';padding:5px 8px;border-radius:4px;box-shadow:0 2px 10px rgba(0,0,0,0.45)}',
    // panel
    '#qv-hud-panel{position:fixed;top:55px;left:65px;width:295px;border-radius:9px;display:flex;flex-direction:column;user-select:none;-webkit-user-select:none;font-size:11px;z-index:2147483640;' +
      'background:rgba(14,18,28,0.96);backdrop-filter:blur(20px);-webkit-backdrop-filter:blur(20px);color:#e0e3eb;border:1px solid rgba(56,117,255,0.28);' +
      'box-shadow:0 10px 32px rgba(0,0,0,0.55);font-family:' + QV_FONT_STACK + ';box-sizing:border-box}',
    '#qv-hud-panel *{box-sizing:border-box}',
    '#qv-hud-panel.qv-collapsed{width:auto;min-width:260px}',
    '#qv-hud-panel.qv-collapsed #qv-hud-body{display:none}',
    '#qv-hud-header{display:flex;flex-wrap:wrap;align-items:center;justify-content:space-between;gap:4px 3px;padding:7px 5px;cursor:move;border-bottom:1px solid rgba(255,255,255,0.06)}',
    '#qv-hud-panel.qv-collapsed #qv-hud-header{border-bottom:none}',
    '.qv-hud-title{display:flex;align-items:center;gap:3px;font-weight:800;letter-spacing:0;font-size:9px;color:#e0e3eb;white-space:nowrap;flex:none}',
    '.qv-logo-img{width:17px;height:17px;border-radius:3px;display:inline-block;vertical-align:middle}',
    '.qv-hud-header-right{display:flex;align-items:center;gap:2px;flex:none;margin-left:auto}',
    '#qv-pnl-badge{font-weight:700;font-size:9px;color:#e0e3eb;background:rgba(255,255,255,0.06);border-radius:4px;padding:2px;white-space:nowrap}',
    '.qv-hdr-btn{background:rgba(255,255,255,0.05);border:1px solid rgba(255,255,255,0.1);color:#c0c4ce;border-radius:4px;height:18px;min-width:18px;padding:0 2px;display:inline-flex;align-items:center;justify-content:center;cursor:pointer;font-size:11px;line-height:1}',
    '.qv-hdr-btn:hover{color:#fff;border-color:#3875ff}',
    '.qv-hdr-btn-ai{color:#82aaff;border-color:rgba(56,117,255,0.5)}',
    '.qv-hdr-btn-close:hover{color:#ff5252;border-color:#f23645}',
    '#qv-hud-body{display:flex;flex-direction:column;gap:7px;padding:8px}',
    '.qv-hud-row{display:flex;align-items:center;gap:5px;position:relative}',
    // icons
    '.qv-icon,.qv-icon-stroke{width:13px;height:13px;display:inline-block;vertical-align:-2px;flex:none}',
    '.qv-icon-stroke{stroke-width:2;stroke-linecap:round;stroke-linejoin:round}',
    '.qv-icon-sm{width:11px;height:11px}',
    '.qv-icon-xs{width:10px;height:10px}',
    '.qv-live-dot{display:inline-block;width:7px;height:7px;border-radius:50%;background:#00e676;box-shadow:0 0 6px #00e676;vertical-align:middle}',
    '.qv-off-dot{display:inline-block;width:7px;height:7px;border-radius:50%;background:#6b7280;vertical-align:middle}',
    // restore button
    '#qv-hud-restore-btn{position:fixed;top:55px;left:65px;display:none;align-items:center;gap:6px;z-index:2147483640;background:rgba(14,18,28,0.96);color:#e0e3eb;border:1px solid rgba(56,117,255,0.5);border-radius:7px;padding:6px 10px;font:800 10.5px ' + QV_FONT_STACK + ';letter-spacing:0.6px;cursor:pointer;box-shadow:0 6px 20px rgba(0,0,0,0.5)}',
    '.qv-bolt{color:#ffab00;display:inline-flex}',
    // COT row and card
    '.qv-cot-row{justify-content:space-between}',
    '#qv-cot-badge{display:inline-flex;align-items:center;gap:5px;cursor:pointer;border:1px solid rgba(56,117,255,0.35);background:rgba(56,117,255,0.08);color:#82aaff;border-radius:5px;padding:3px 7px;font-weight:700;font-size:10px;white-space:nowrap}',
    '#qv-cot-badge.qv-cot-crowded{border-color:#ffab00;color:#ffd700;animation:qv-cot-pulse 1.2s ease-in-out infinite}',
    '@keyframes qv-cot-pulse{0%,100%{box-shadow:0 0 0 rgba(255,171,0,0)}50%{box-shadow:0 0 10px rgba(255,171,0,0.75)}}',
    '#qv-sentiment-text{color:#7f8696;font-size:9.5px;font-weight:600;letter-spacing:0.3px;white-space:nowrap;overflow:hidden;text-overflow:ellipsis;min-width:0}',
    '#qv-cot-modal{position:absolute;top:105%;left:0;width:320px;display:none;flex-direction:column;gap:7px;z-index:2147483648;background:rgb(14,18,28);border:1px solid rgba(56,117,255,0.4);border-radius:8px;padding:9px;box-shadow:0 14px 36px rgba(0,0,0,0.6);cursor:default}',
    '.qv-modal-title{display:flex;align-items:center;justify-content:space-between;gap:6px;font-weight:800;color:#82aaff}',
    '.qv-modal-title>span:first-child{display:inline-flex;align-items:center;gap:5px}',
    '#qv-modal-contract{display:inline-flex;align-items:center;gap:5px}',
    '#qv-modal-date{color:#7f8696;font-weight:600;font-size:9.5px}',
    '.qv-modal-cards{display:grid;grid-template-columns:1fr 1fr;gap:6px}',
    '.qv-modal-card{background:rgba(255,255,255,0.04);border:1px solid rgba(255,255,255,0.08);border-radius:6px;padding:6px 7px;display:flex;flex-direction:column;gap:3px}',
    '.qv-modal-card-lbl{color:#7f8696;font-size:9.5px;font-weight:600}',
    '.qv-modal-card-val{font-size:13px;font-weight:800;color:#e0e3eb}',
    '#qv-modal-nc-shift{color:#9aa0ad;font-size:9.5px}',
    '.qv-modal-bar-track{height:5px;border-radius:3px;background:rgba(255,255,255,0.08);overflow:hidden}',
    '#qv-modal-bar{height:100%;width:50%;background:#3875ff;border-radius:3px}',
    '#qv-modal-alert{display:none;background:rgba(255,171,0,0.10);border:1px solid #ffab00;color:#ffd700;border-radius:6px;padding:6px 7px;line-height:1.4}',
    '#qv-modal-narrative{color:#c0c4ce;line-height:1.45;font-size:10px}',
    // sizing row
    '.qv-btn-toggle{border:1px solid rgba(56,117,255,0.5);background:rgba(56,117,255,0.12);color:#82aaff;border-radius:5px;padding:4px 6px;font-weight:800;font-size:9.5px;cursor:pointer;white-space:nowrap}',
    '.qv-btn-toggle.qv-mode-risk{color:#ffab00;border-color:rgba(255,171,0,0.55);background:rgba(255,171,0,0.12)}',
    '.qv-size-group{display:flex;align-items:center;width:76px;flex:none;border:1px solid rgba(255,255,255,0.12);border-radius:5px;overflow:hidden}',
    '.qv-size-group button{width:17px;height:22px;border:none;background:rgba(255,255,255,0.06);color:#c0c4ce;cursor:pointer;padding:0;font-size:12px}',
    '#qv-size-input{width:42px;height:22px;border:none;background:#0b0f19;color:#e0e3eb;text-align:center;font-size:11px;font-weight:700;padding:0}',
    '#qv-presets-container{display:flex;gap:3px;flex:1;justify-content:flex-end}',
    '.qv-pill-btn{border:1px solid rgba(255,255,255,0.12);background:rgba(255,255,255,0.04);color:#9aa0ad;border-radius:9px;padding:2px 5px;font-size:9.5px;cursor:pointer}',
    '.qv-pill-btn.qv-pill-active{border-color:#3875ff;background:rgba(56,117,255,0.22);color:#fff}',
    // SL/TP row
    '.qv-pick-btn{display:inline-flex;align-items:center;gap:3px;border:none;background:none;font-weight:800;font-size:10px;cursor:crosshair;padding:0 1px}',
    '#qv-pick-sl{color:#ff5252}',
    '#qv-pick-tp{color:#82aaff}',
    '.qv-field-wrap{border-radius:5px;flex:1;min-width:0;position:relative}',
    // the price/distance mark sits on the field's top edge, clear of the number
    '.qv-level-mark{position:absolute;top:-6px;right:2px;height:11px;line-height:9px;padding:0 3px;border-radius:6px;border:1px solid rgba(255,255,255,0.16);background:#0b0f19;color:#7f8696;font-size:7.5px;font-weight:700;letter-spacing:0.3px;cursor:pointer;text-transform:uppercase}',
    '.qv-level-mark[data-mark="price"]{color:#82aaff;border-color:rgba(56,117,255,0.7)}',
    '.qv-level-mark[data-mark="dist"]{color:#ffd700;border-color:rgba(255,215,0,0.6)}',
    '.qv-field-wrap input{width:100%;height:22px;border-radius:5px;font-size:11px;font-weight:700;text-align:center;color:#e0e3eb;padding:0 3px;outline:none}',
    '#qv-sl-input{background:rgba(242,54,69,0.10);border:1px solid rgba(242,54,69,0.45)}',
    '#qv-tp-input{background:rgba(56,117,255,0.10);border:1px solid rgba(56,117,255,0.45)}',
    '.qv-picking-sl input{outline:2px solid #f23645;animation:qv-pick-glow-sl 1s ease-in-out infinite}',
    '.qv-picking-tp input{outline:2px solid #3875ff;animation:qv-pick-glow-tp 1s ease-in-out infinite}',
    '@keyframes qv-pick-glow-sl{0%,100%{box-shadow:0 0 2px rgba(242,54,69,0.4)}50%{box-shadow:0 0 12px rgba(242,54,69,0.95)}}',
    '@keyframes qv-pick-glow-tp{0%,100%{box-shadow:0 0 2px rgba(56,117,255,0.4)}50%{box-shadow:0 0 12px rgba(56,117,255,0.95)}}',
    '.qv-rr-group{display:flex;gap:3px}',
    '.qv-rr-btn{border:1px solid rgba(56,117,255,0.35);background:rgba(56,117,255,0.08);color:#82aaff;border-radius:9px;padding:2px 5px;font-size:9.5px;cursor:pointer}',
    // execution and management rows
    '.qv-btn-exec{flex:1;height:30px;border:none;border-radius:6px;color:#fff;font-weight:900;font-size:12.5px;letter-spacing:1px;cursor:pointer}',
    '.qv-btn-exec.qv-btn-sell{background:linear-gradient(135deg,#f23645,#c2185b)}',
    '.qv-btn-exec.qv-btn-buy{background:linear-gradient(135deg,#089981,#00897b)}',
    '.qv-btn-exec:hover{filter:brightness(1.12)}',
    '.qv-btn-mgmt{flex:1;display:inline-flex;align-items:center;justify-content:center;gap:3px;height:24px;border:1px solid rgba(255,255,255,0.12);background:rgba(255,255,255,0.05);color:#c0c4ce;border-radius:5px;font-size:10px;font-weight:700;cursor:pointer}',
    '.qv-btn-mgmt:hover{color:#fff;border-color:#3875ff}',
    '.qv-btn-close-all{color:#ff5252;border-color:rgba(242,54,69,0.5);background:rgba(242,54,69,0.12)}',
    // drawer
    '#qv-ai-drawer{position:fixed;top:0;right:0;height:100vh;width:385px;min-width:320px;max-width:95vw;transform:translateX(100%);transition:transform 0.28s ease;z-index:2147483645;display:flex;flex-direction:column;' +
      'background:rgba(11,14,23,0.98);border-left:1px solid rgba(56,117,255,0.3);color:#e0e3eb;font:11px ' + QV_FONT_STACK + ';box-sizing:border-box}',
    '#qv-ai-drawer *{box-sizing:border-box}',
    // the shadow only while open, or it shows at the window edge of a closed drawer
    '#qv-ai-drawer.qv-drawer-open{transform:translateX(0);box-shadow:-12px 0 36px rgba(0,0,0,0.5)}',
    '#qv-drawer-resizer{position:absolute;left:0;top:0;bottom:0;width:6px;cursor:ew-resize;z-index:2147483646;background:transparent}',
    '#qv-drawer-resizer:hover,#qv-drawer-resizer.qv-resizing{background:#3875ff}',
    '#qv-ai-hdr{padding:9px 10px 7px 14px;border-bottom:1px solid rgba(255,255,255,0.06);display:flex;flex-direction:column;gap:6px}',
    '.qv-ai-hdr-top{display:flex;align-items:center;gap:4px}',
    '.qv-ai-title{display:flex;align-items:center;gap:6px;font-weight:800;letter-spacing:0.6px;font-size:11px;white-space:nowrap}',
    '#qv-ai-sym-badge{flex:none;max-width:40%;color:#82aaff;background:rgba(56,117,255,0.1);border:1px solid rgba(56,117,255,0.3);border-radius:4px;padding:2px 6px;font-weight:700;font-size:9.5px;white-space:nowrap;overflow:hidden;text-overflow:ellipsis}',
    '.qv-ai-hdr-spacer{flex:1}',
    '.qv-vault-badge-btn{min-width:0;overflow:hidden;display:inline-flex;align-items:center;gap:4px;border:1px solid rgba(255,255,255,0.14);background:rgba(255,255,255,0.05);color:#c0c4ce;border-radius:5px;padding:3px 6px;font-size:9.5px;font-weight:700;cursor:pointer;white-space:nowrap}',
    '.qv-ai-win-btn{border:1px solid rgba(255,255,255,0.12);background:rgba(255,255,255,0.04);color:#c0c4ce;border-radius:4px;height:21px;min-width:21px;cursor:pointer;font-size:11px;padding:0 5px}',
    '#qv-ai-close-btn:hover{color:#ff5252;border-color:#f23645}',
    '.qv-ai-hdr-sel{display:flex;align-items:center;gap:5px;color:#7f8696;font-size:9.5px;font-weight:600}',
    '.qv-ai-hdr-sel select{flex:1;min-width:0;background:#0b0f19;color:#e0e3eb;border:1px solid rgba(255,255,255,0.14);border-radius:4px;font-size:10px;padding:2px 3px}',
    '.qv-ai-subbar{display:flex;align-items:center;gap:8px;padding:5px 14px;border-bottom:1px solid rgba(255,255,255,0.06);font-size:9.5px;color:#9aa0ad}',
    '#qv-autotrader-toggle{display:inline-flex;align-items:center;gap:5px;cursor:pointer;font-weight:700}',
    '#qv-subbar-risk-btn{display:inline-flex;align-items:center;gap:3px;border:none;background:none;color:#c0c4ce;cursor:pointer;font-size:9.5px;font-weight:700;padding:0}',
    '.qv-sentinel-txt{margin-left:auto;color:#00e676;font-weight:700}',
    '.qv-ai-chips{display:flex;flex-wrap:wrap;gap:4px;padding:6px 14px}',
    '.qv-chip-btn{border:1px solid rgba(56,117,255,0.35);background:rgba(56,117,255,0.08);color:#82aaff;border-radius:11px;padding:3px 8px;font-size:9.5px;font-weight:700;cursor:pointer}',
    '#qv-ai-chat-body{flex:1;overflow-y:auto;padding:8px 14px;display:flex;flex-direction:column;gap:8px;user-select:text}',
    '#qv-ai-footer{border-top:1px solid rgba(255,255,255,0.06);padding:7px 10px 9px 14px;display:flex;flex-direction:column;gap:5px}',
    '#qv-telemetry-txt{color:#7f8696;font-size:9px}',
    '.qv-ai-input-row{display:flex;gap:6px;align-items:flex-end}',
    '#qv-ai-textarea{flex:1;resize:none;height:30px;line-height:15px;overflow:hidden;background:#0b0f19;color:#e0e3eb;border:1px solid rgba(255,255,255,0.14);border-radius:6px;padding:7px;font-size:11px;font-family:inherit}',
    '#qv-ai-send-btn{height:30px;width:34px;border:none;border-radius:6px;background:#3875ff;color:#fff;cursor:pointer}',
    // vault overlay (its box is styled with the vault's own sheet)
    '#qv-vault-modal{position:fixed;inset:0;background:rgba(0,0,0,0.88);z-index:2147483647;display:none;align-items:center;justify-content:center}',
    '#qv-vault-modal .qv-vault-box{width:560px;max-width:95vw;max-height:90vh;overflow-y:auto}'
  ].join('\n');
}

function installHudStyles() {
  if (byId('qv-hud-styles')) return;
  const style = document.createElement('style');
  style.id = 'qv-hud-styles';
  style.textContent = hudStyleText() + (isStudioPage ? '\n' + studioStyleText() : '');
  qvRoot.appendChild(style);
}

// The studio page is the host's own document: the HUD fills its window as two columns. Only
// built there, so nothing the chart page sets on the host can turn these rules on. ":host "
// gives each rule the weight of a class, so they win over the panel's own (collapsed) rules.
function studioStyleText() {
  return [
    ':host{display:flex !important;flex-direction:row !important;width:100vw !important;height:100vh !important;overflow:hidden !important;background:#0b0e17 !important}',
    ':host #qv-hud-panel{position:relative;top:0;left:0;width:var(--qv-studio-left-w,320px);flex:0 0 var(--qv-studio-left-w,320px);min-width:260px;max-width:calc(100vw - 360px);height:100vh;' +
      'border-radius:0;border:none;border-right:1px solid rgba(56,117,255,0.22);background:#0d111c;backdrop-filter:none;-webkit-backdrop-filter:none;box-shadow:none;overflow-y:auto;z-index:10}',
    ':host #qv-hud-header{cursor:default}',
    // nothing could bring a hidden column back: the studio page has no restore button
    ':host #qv-btn-hide{display:none}',
    ':host #qv-hud-panel.qv-collapsed #qv-hud-body{display:flex}',
    ':host #qv-cot-modal{position:static;width:100%;box-shadow:none;margin-top:2px}',
    ':host .qv-cot-row{flex-wrap:wrap}',
    ':host #qv-ai-drawer.qv-studio-full{position:relative;flex:1 1 auto;min-width:320px;max-width:none;width:auto;height:100vh;transform:none;transition:none;border:none;box-shadow:none;background:#0b0e17;z-index:5}',
    ':host #qv-ai-drawer.qv-studio-full #qv-drawer-resizer{left:-4px;width:8px;cursor:col-resize}',
    ':host #qv-ai-half-btn,:host #qv-ai-full-btn{display:none}'
  ].join('\n');
}
