// The copilot half calls the ticket's sender, the schedule rules and the symbol probe of
// the bootstrap half. These wrappers use them when present and otherwise apply the same
// rules here, so the copilot keeps working (and refusing what it must) on its own.

function copilotMarketStatus(tech, sym) {
  if (typeof getMarketStatusInfo === 'function') return getMarketStatusInfo(tech, sym);
  const now = new Date();
  const day = now.getUTCDay();
  const hour = now.getUTCHours();
  const names = ['Sunday', 'Monday', 'Tuesday', 'Wednesday', 'Thursday', 'Friday', 'Saturday'];
  const dayName = tech && tech.DayOfWeek ? String(tech.DayOfWeek) : names[day];
  const symText = String(sym || (tech && tech.Symbol) || 'XAUUSD');
  const crypto = /BTC|ETH|SOL|CRYPTO/i.test(symText);
  const weekendRule = !crypto && (day === 6 || (day === 0 && hour < 21) || (day === 5 && hour >= 22));
  const isWeekend = weekendRule || dayName === 'Saturday' || dayName === 'Sunday';
  if (tech && typeof tech.MarketClosed === 'boolean') {
    const closed = tech.MarketClosed;
    return { isClosed: closed, state: tech.MarketState || (closed ? 'WEEKEND_CLOSED' : 'OPEN'),
      reason: tech.MarketCloseReason || (closed ? 'Market Closed' : 'Active Session'), dayName: dayName, isWeekend: isWeekend };
  }
  if (weekendRule) {
    const reason = day === 6 ? 'Saturday Weekend - Interbank Markets Closed'
      : day === 0 ? 'Sunday Weekend - Closed awaiting Asian Reopen (21:00 UTC)' : 'Friday Weekend Rollover - Markets Closed';
    return { isClosed: true, state: 'WEEKEND_CLOSED', reason: reason, dayName: dayName, isWeekend: isWeekend };
  }
  return { isClosed: false, state: 'OPEN', reason: 'Active Trading Session', dayName: dayName, isWeekend: isWeekend };
}

function copilotScheduleVerdict(utcHour) {
  if (typeof isWithinPermittedSchedule === 'function') return isWithinPermittedSchedule(utcHour);
  function hourSetting(key, fallback) {
    const n = parseInt(vaultStoreGet(key, ''), 10);
    return isFinite(n) ? n : fallback;
  }
  const start = hourSetting('qv_hour_start', 7);
  const end = hourSetting('qv_hour_end', 18);
  const hour = typeof utcHour === 'number' ? utcHour : new Date().getUTCHours();
  const inWindow = start <= end ? hour >= start && hour <= end : hour >= start || hour <= end;
  if (!inWindow) {
    return { allowed: false, reason: 'Outside permitted hours (' + start + ':00-' + end + ':00 UTC, current: ' + hour + ':00 UTC)' };
  }
  const sessions = [
    [vaultStoreGet('qv_sess_asian', null) !== 'false', 0, 8, 'Asian Session'],
    [vaultStoreGet('qv_sess_lon', null) !== 'false', 7, 16, 'London Session'],
    [vaultStoreGet('qv_sess_nyam', null) !== 'false', 12, 17, 'NY AM Kill-Zone'],
    [vaultStoreGet('qv_sess_nypm', null) === 'true', 17, 21, 'NY PM Session']
  ];
  if (!sessions.some(function (s) { return s[0]; })) {
    return { allowed: true, reason: 'Hour window active (' + start + ':00-' + end + ':00 UTC)' };
  }
  let name = '';
  sessions.forEach(function (s) { if (s[0] && hour >= s[1] && hour < s[2]) name = s[3]; });
  if (!name) return { allowed: false, reason: 'Current hour (' + hour + ':00 UTC) outside active session kill-zones' };
  return { allowed: true, reason: name };
}

function copilotActiveSymbol() {
  if (typeof getActiveTradingViewSymbol === 'function') return getActiveTradingViewSymbol();
  return '';
}

function copilotCotKey(symbol) {
  if (typeof resolveCOTSymbol === 'function') return resolveCOTSymbol(symbol);
  return String(symbol || '').toUpperCase().replace(/[^A-Z0-9]/g, '');
}

function copilotShortNumber(v) {
  const n = Number(v);
  return isFinite(n) ? String(n) : '0';
}

function copilotSendTrade(action, size, symbol, stop, target) {
  if (typeof sendTrade === 'function') {
    sendTrade(action, null, size, symbol, stop, target);
    return;
  }
  const sym = symbol || copilotActiveSymbol() || 'CURRENT';
  const market = copilotMarketStatus(technicalsForCard(), sym);
  if (market.isClosed && (action === 'BUY' || action === 'SELL' || action === 'REVERSE')) {
    try {
      window.alert('⚠️ Market is CLOSED (' + market.reason + '). Live orders cannot be routed to broker until markets reopen.');
    } catch (e) { /* no dialogs in this page */ }
    return;
  }
  copilotPostToHost('TRADE:' + Date.now() + ',' + action + ',' + size + ',' + sym + ',' +
    copilotShortNumber(stop) + ',' + copilotShortNumber(target));
}
