// The PnL badge in the panel's header, drawn from the positions file the host pushes
// ({"type":"positions","text":"<QV_OpenPositions.json>"}): the sum of the profits of the
// open positions and their count. A text that does not read as JSON leaves the badge as it
// was.

function positionsBadgeText(positionsText) {
  const positions = qvJsonParse(String(positionsText));
  let total = 0;
  let count = 0;
  for (let i = 0; i < positions.length; i++) {
    const p = positions[i];
    if (p && p.ticket && p.ticket !== '0') {
      total += Number(p.profit || 0);
      count++;
    }
  }
  return {
    text: 'PnL: ' + (total >= 0 ? '+$' : '-$') + Math.abs(total).toFixed(2) + (count > 0 ? ' (' + count + ')' : ''),
    colour: total > 0 ? '#089981' : (total < 0 ? '#f23645' : '#e0e3eb')
  };
}

const positionsBadge = (function () {
  // The last text pushed, so a badge built after the push still shows it.
  let positionsText = null;

  function show() {
    if (positionsText === null) return;
    const badge = byId('qv-pnl-badge');
    if (!badge) return;
    try {
      const shown = positionsBadgeText(positionsText);
      badge.textContent = shown.text;
      badge.style.color = shown.colour;
    } catch (e) { /* unreadable file: the badge keeps its last figures */ }
  }

  channel.onPush('positions', function (message) {
    if (typeof message.text !== 'string') return;
    positionsText = message.text;
    show();
  });

  return Object.freeze({ show: show });
})();
