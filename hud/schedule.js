// Market status and the trader's schedule. The ticket refuses opening orders on a closed
// market; the copilot and the AutoTrader read the same answers.

const QV_DAY_NAMES = ['Sunday', 'Monday', 'Tuesday', 'Wednesday', 'Thursday', 'Friday', 'Saturday'];

function getMarketStatusInfo(tech, sym) {
  const now = new Date();
  const day = now.getUTCDay();
  const hour = now.getUTCHours();
  const dayName = tech && tech.DayOfWeek ? String(tech.DayOfWeek) : QV_DAY_NAMES[day];
  const symText = String(sym || (tech && tech.Symbol) || 'XAUUSD');
  const crypto = /BTC|ETH|SOL|CRYPTO/i.test(symText);
  const clientWeekend = !crypto && (day === 6 || (day === 0 && hour < 21) || (day === 5 && hour >= 22));
  const isWeekend = clientWeekend || dayName === 'Saturday' || dayName === 'Sunday';
  if (tech && typeof tech.MarketClosed === 'boolean') {
    const closed = tech.MarketClosed;
    return {
      isClosed: closed,
      state: tech.MarketState ? String(tech.MarketState) : (closed ? 'WEEKEND_CLOSED' : 'OPEN'),
      reason: tech.MarketCloseReason ? String(tech.MarketCloseReason) : (closed ? 'Market Closed' : 'Active Session'),
      dayName: dayName,
      isWeekend: isWeekend
    };
  }
  if (clientWeekend) {
    const reason = day === 6 ? 'Saturday Weekend - Interbank Markets Closed'
      : day === 0 ? 'Sunday Weekend - Closed awaiting Asian Reopen (21:00 UTC)'
        : 'Friday Weekend Rollover - Markets Closed';
    return { isClosed: true, state: 'WEEKEND_CLOSED', reason: reason, dayName: dayName, isWeekend: isWeekend };
  }
  return { isClosed: false, state: 'OPEN', reason: 'Active Trading Session', dayName: dayName, isWeekend: isWeekend };
}

// A cleared hour field (null) or one outside the day is the default hour.
function scheduleHour(name, fallback) {
  const n = settings.get(name);
  return typeof n === 'number' && isFinite(n) ? n : fallback;
}

// Sessions in the order they are tested; the last enabled one that holds names the verdict.
const QV_SESSIONS = [
  ['sess_asian', 0, 8, 'Asian Session'],
  ['sess_lon', 7, 16, 'London Session'],
  ['sess_nyam', 12, 17, 'NY AM Kill-Zone'],
  ['sess_nypm', 17, 21, 'NY PM Session']
];

function isWithinPermittedSchedule(utcHour) {
  const start = scheduleHour('hour_start', 7);
  const end = scheduleHour('hour_end', 18);
  const hour = typeof utcHour === 'number' && isFinite(utcHour) ? utcHour : new Date().getUTCHours();
  const inWindow = start <= end ? (hour >= start && hour <= end) : (hour >= start || hour <= end);
  if (!inWindow) {
    return { allowed: false, reason: 'Outside permitted hours (' + start + ':00-' + end + ':00 UTC, current: ' + hour + ':00 UTC)' };
  }
  // Sessions default on except NY PM, which is on only when explicitly enabled.
  const enabled = QV_SESSIONS.map(function (s) { return settings.get(s[0]) === true; });
  if (!enabled.some(Boolean)) {
    return { allowed: true, reason: 'Hour window active (' + start + ':00-' + end + ':00 UTC)' };
  }
  let name = '';
  QV_SESSIONS.forEach(function (s, i) {
    if (enabled[i] && hour >= s[1] && hour < s[2]) name = s[3];
  });
  if (!name) return { allowed: false, reason: 'Current hour (' + hour + ':00 UTC) outside active session kill-zones' };
  return { allowed: true, reason: name };
}
