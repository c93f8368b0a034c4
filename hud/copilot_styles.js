// Styles of the vault's fields, the chat's rendered replies and the cards. The bootstrap's
// sheet places panel, drawer and the vault overlay; this one adds what the copilot draws.

function copilotStyleText() {
  return [
    '#qv-vault-modal{font-family:-apple-system,BlinkMacSystemFont,"Segoe UI",Roboto,sans-serif;font-size:11px;color:#e0e3eb}',
    '#qv-vault-modal .qv-vault-box{background:rgb(14,18,28);border:1px solid rgba(56,117,255,0.35);border-radius:10px;padding:14px 16px;box-shadow:0 18px 50px rgba(0,0,0,0.6);box-sizing:border-box}',
    '#qv-vault-modal .qv-vault-title-row{display:flex;justify-content:space-between;align-items:center;margin-bottom:10px}',
    '#qv-vault-modal .qv-vault-title{font-weight:800;font-size:12.5px;letter-spacing:0.4px;color:#82aaff;display:flex;align-items:center;gap:6px}',
    '#qv-vault-modal .qv-vault-close{background:none;border:none;color:#9aa0ad;font-size:14px;cursor:pointer}',
    '#qv-vault-modal .qv-modal-tabs{display:flex;gap:4px;border-bottom:1px solid rgba(255,255,255,0.08);margin-bottom:10px}',
    '#qv-vault-modal .qv-modal-tab{flex:1;background:transparent;border:none;border-bottom:2px solid transparent;color:#9aa0ad;padding:7px 4px;font-size:10.5px;font-weight:700;cursor:pointer}',
    '#qv-vault-modal .qv-modal-tab.qv-tab-active{color:#ffffff;border-bottom-color:#3875ff}',
    '#qv-vault-modal .qv-tab-content{flex-direction:column;gap:10px}',
    '#qv-vault-modal .qv-vault-field{display:flex;flex-direction:column;gap:4px}',
    '#qv-vault-modal .qv-vault-label{font-weight:700;color:#e0e3eb}',
    '#qv-vault-modal .qv-vault-tag{font-weight:500;color:#7f8696;font-size:10px}',
    '#qv-vault-modal .qv-vault-input{background:#0b0f19;border:1px solid rgba(255,255,255,0.14);border-radius:5px;color:#e0e3eb;padding:6px 7px;font-size:11px;font-family:inherit;box-sizing:border-box;width:100%}',
    '#qv-vault-modal .qv-vault-input:focus{outline:none;border-color:#3875ff}',
    '#qv-vault-modal .qv-vault-help{color:#7f8696;font-size:9.5px;line-height:1.4}',
    '#qv-vault-modal .qv-vault-pills{display:flex;gap:5px;flex-wrap:wrap}',
    '#qv-vault-modal .qv-vault-pill{background:rgba(255,255,255,0.05);border:1px solid rgba(255,255,255,0.14);border-radius:10px;color:#c0c4ce;padding:2px 9px;font-size:10px;cursor:pointer}',
    '#qv-vault-modal .qv-vault-pill.qv-pill-active{background:rgba(56,117,255,0.22);border-color:#3875ff;color:#ffffff}',
    '#qv-vault-modal .qv-vault-notice{background:rgba(56,117,255,0.08);border:1px solid rgba(56,117,255,0.28);border-radius:6px;padding:8px;line-height:1.45;color:#c0c4ce}',
    '#qv-vault-modal code{background:rgba(255,255,255,0.08);border-radius:3px;padding:0 3px;color:#82aaff}',
    '#qv-vault-modal .qv-vault-sessions{display:grid;grid-template-columns:1fr 1fr;gap:4px}',
    '#qv-vault-modal .qv-vault-check{display:flex;align-items:center;gap:5px;color:#c0c4ce}',
    '#qv-vault-modal .qv-vault-hours{display:flex;align-items:center;gap:6px;color:#9aa0ad}',
    '#qv-vault-modal .qv-vault-hour{width:60px}',
    '#qv-vault-modal .qv-vault-link{color:#82aaff;font-size:9.5px;text-decoration:none}',
    '#qv-vault-modal .qv-vault-section{font-weight:800;color:#82aaff;margin-top:4px;display:flex;align-items:center;gap:5px}',
    '#qv-vault-modal .qv-strategy-desc-card{background:rgba(255,255,255,0.04);border-left:3px solid #3875ff;border-radius:4px;padding:7px 9px;line-height:1.45;color:#c0c4ce}',
    '#qv-vault-modal .qv-byos-builder{flex-direction:column;gap:9px}',
    '#qv-vault-modal .qv-byos-library{background:rgba(0,230,118,0.05);border:1px dashed rgba(0,230,118,0.35);border-radius:6px;padding:8px;display:flex;flex-direction:column;gap:6px}',
    '#qv-vault-modal .qv-byos-library-row,#qv-vault-modal .qv-byos-row{display:flex;gap:6px}',
    '#qv-vault-modal .qv-byos-chips{display:flex;flex-wrap:wrap;gap:4px;align-items:center;color:#9aa0ad}',
    '#qv-vault-modal .qv-byos-tpl-feedback{color:#00e676;font-size:10px}',
    '#qv-vault-modal .qv-vault-actions{display:flex;justify-content:flex-end;gap:8px;margin-top:12px}',
    '#qv-vault-modal .qv-vault-btn{background:rgba(255,255,255,0.06);border:1px solid rgba(255,255,255,0.16);border-radius:5px;color:#e0e3eb;padding:6px 12px;font-size:10.5px;font-weight:700;cursor:pointer}',
    '#qv-vault-modal .qv-vault-btn-primary{background:linear-gradient(135deg,#3875ff,#2a5bd7);border-color:#3875ff;color:#fff}',
    '.qv-msg-meta{font-size:8.5px;letter-spacing:0.5px;color:#7f8696;margin-bottom:3px;font-weight:700}',
    '.qv-md-h1,.qv-md-h2,.qv-md-h3{font-weight:800;color:#82aaff;margin:7px 0 3px}',
    '.qv-md-h1{font-size:12.5px}.qv-md-h2{font-size:11.5px}.qv-md-h3{font-size:10.5px;color:#c0c4ce}',
    '.qv-md-table{border-collapse:collapse;width:100%;margin:5px 0;font-size:10px}',
    '.qv-md-table th,.qv-md-table td{border:1px solid rgba(255,255,255,0.1);padding:3px 5px;text-align:left}',
    '.qv-md-table th{background:rgba(56,117,255,0.14);color:#fff}',
    '.qv-md-bullet{display:flex;gap:5px;margin:2px 0;font-size:10.5px;line-height:1.4}',
    '.qv-md-bullet-dot{color:#3875ff;font-size:8px;padding-top:2px}',
    '.qv-md-bullet-key{font-weight:700;color:#82aaff}',
    '.qv-md-code{background:rgba(255,255,255,0.08);border-radius:3px;padding:0 3px;color:#ffd700;font-family:Consolas,monospace}',
    '.qv-md-hr{border:none;border-top:1px solid rgba(255,255,255,0.1);margin:7px 0}',
    '.qv-calc-card{display:flex;gap:7px;align-items:center;background:rgba(255,215,0,0.07);border:1px solid rgba(255,215,0,0.3);border-radius:6px;padding:6px 8px;margin:5px 0;font-family:Consolas,monospace;color:#ffd700}',
    '.qv-badge-bull,.qv-badge-bear,.qv-badge-alert{border-radius:3px;padding:0 4px;font-weight:800;font-size:9.5px}',
    '.qv-badge-bull{background:rgba(8,153,129,0.2);color:#00e676}',
    '.qv-badge-bear{background:rgba(242,54,69,0.2);color:#ff5252}',
    '.qv-badge-alert{background:rgba(255,171,0,0.18);color:#ffab00}',
    '.qv-trade-card .qv-card-lbl{display:block;font-size:8.5px;color:#7f8696;text-transform:uppercase;margin-bottom:2px}',
    '.qv-trade-card .qv-card-input{width:100%;box-sizing:border-box;background:#0b0f19;border:1px solid rgba(255,255,255,0.14);border-radius:4px;color:#e0e3eb;padding:4px 5px;font-size:10.5px}',
    '.qv-trade-card .qv-card-val{font-weight:700;font-size:10.5px}',
    '.qv-card-dir-buy{color:#00e676}.qv-card-dir-sell{color:#ff5252}',
    '.qv-card-confluence{margin:4px 0 6px;padding-left:16px;color:#c0c4ce;font-size:10px;line-height:1.45}',
    '.qv-card-reasoning{margin:4px 0 6px;color:#c0c4ce;font-size:10px}',
    '.qv-card-btn-exec{width:100%;background:linear-gradient(135deg,#089981,#00897b);border:none;border-radius:5px;color:#fff;font-weight:800;padding:7px;cursor:pointer;font-size:10.5px}',
    '.qv-card-btn-exec.qv-card-btn-executed{background:rgba(255,255,255,0.08);color:#9aa0ad;cursor:default}',
    '.qv-studio-welcome{border:1px solid rgba(56,117,255,0.3);background:rgba(56,117,255,0.05);border-radius:8px;padding:10px}',
    '.qv-init-btn{display:flex;flex-direction:column;align-items:flex-start;gap:2px;background:rgba(56,117,255,0.08);border:1px solid rgba(56,117,255,0.3);border-radius:7px;color:#e0e3eb;padding:8px;cursor:pointer;text-align:left}',
    '.qv-init-title{font-weight:800;font-size:10.5px}.qv-init-sub{font-size:9px;color:#7f8696}',
    '#qv-autotrader-toggle.qv-auto-active{background:rgba(0,230,118,0.12);color:#00e676}',
    '#qv-vault-modal .qv-vault-save-status{margin-right:auto;align-self:center;font-size:10px}'
  ].join('\n');
}

function ensureCopilotStyles() {
  if (byId('qv-copilot-styles')) return;
  const style = document.createElement('style');
  style.id = 'qv-copilot-styles';
  style.textContent = copilotStyleText();
  qvRoot.appendChild(style);
}
