// Market status and the trading schedule against a controlled UTC clock.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { buildPanelHud, launch, openChart, hudReady, withPage } from './lib/harness.mjs';

let browser;
let script;
before(async () => { script = buildPanelHud(); browser = await launch(); });
after(async () => { await browser.close(); });

// 2026-03-06 is a Friday, 03-07 a Saturday, 03-08 a Sunday.
const at = (iso) => new Date(iso + 'Z');

test('market status: client weekend, crypto, snapshot override', async () => {
  await withPage(() => openChart(browser, script, { fixedTime: at('2026-03-07T10:00:00') }), async (p) => {
    await hudReady(p);
    const status = (tech, sym) => p.hud.eval(`__qvTest.getMarketStatusInfo(${JSON.stringify(tech)}, ${JSON.stringify(sym)})`);
    const set = (iso) => p.clock.setFixedTime(at(iso));

    assert.deepEqual(await status(null, 'XAUUSD'), { isClosed: true, state: 'WEEKEND_CLOSED',
      reason: 'Saturday Weekend - Interbank Markets Closed', dayName: 'Saturday', isWeekend: true });
    const btc = await status(null, 'BTCUSD');
    assert.equal(btc.isClosed, false);
    assert.equal(btc.reason, 'Active Trading Session');
    assert.equal(btc.isWeekend, true, 'Saturday by name even for crypto');
    assert.equal((await status({ Symbol: 'ETHUSD' }, '')).isClosed, false, 'the snapshot symbol when none is given');
    assert.equal((await status(null, '')).isClosed, true, 'XAUUSD without either');

    const open = await status({ MarketClosed: false, DayOfWeek: 'Saturday' }, 'XAUUSD');
    assert.deepEqual([open.isClosed, open.state, open.reason], [false, 'OPEN', 'Active Session']);
    const closed = await status({ MarketClosed: true, MarketState: 'HOLIDAY', MarketCloseReason: 'Bank holiday' }, 'BTCUSD');
    assert.deepEqual([closed.isClosed, closed.state, closed.reason], [true, 'HOLIDAY', 'Bank holiday'], 'the flag decides for crypto too');
    assert.deepEqual((await status({ MarketClosed: true }, 'EURUSD')).reason, 'Market Closed');
    assert.equal((await status({ MarketClosed: 'yes' }, 'XAUUSD')).reason, 'Saturday Weekend - Interbank Markets Closed', 'only a boolean flag counts');

    const edges = [
      ['2026-03-08T20:59:00', true, 'Sunday Weekend - Closed awaiting Asian Reopen (21:00 UTC)'],
      ['2026-03-08T21:00:00', false, 'Active Trading Session'],
      ['2026-03-06T21:59:00', false, 'Active Trading Session'],
      ['2026-03-06T22:00:00', true, 'Friday Weekend Rollover - Markets Closed'],
    ];
    for (const [iso, isClosed, reason] of edges) {
      await set(iso);
      const s = await status(null, 'EURUSD');
      assert.deepEqual([s.isClosed, s.reason], [isClosed, reason], iso);
    }
    await set('2026-03-04T12:00:00');
    const wed = await status({ DayOfWeek: 'Sunday' }, 'EURUSD');
    assert.deepEqual([wed.dayName, wed.isWeekend, wed.isClosed], ['Sunday', true, false], 'the snapshot names the day');
  });
});

test('schedule: hour window with wrap, session table, the host\'s settings', async () => {
  await withPage(() => openChart(browser, script, { fixedTime: at('2026-03-04T06:30:00') }), async (p) => {
    await hudReady(p);
    // Each verdict under the host's settings as given (every other member its default).
    const verdict = async (h, settings = {}) => {
      await p.push({ type: 'settings', ...settings });
      return p.hud.eval(`__qvTest.isWithinPermittedSchedule(${h === undefined ? 'undefined' : h})`);
    };

    assert.deepEqual(await verdict(6), { allowed: false, reason: 'Outside permitted hours (7:00-18:00 UTC, current: 6:00 UTC)' });
    assert.deepEqual(await verdict(undefined), { allowed: false, reason: 'Outside permitted hours (7:00-18:00 UTC, current: 6:00 UTC)' }, 'the client clock without an hour');
    assert.deepEqual(await verdict(7), { allowed: true, reason: 'London Session' });
    assert.deepEqual(await verdict(13), { allowed: true, reason: 'NY AM Kill-Zone' });
    assert.deepEqual(await verdict(16), { allowed: true, reason: 'NY AM Kill-Zone' });
    assert.deepEqual(await verdict(18), { allowed: false, reason: 'Current hour (18:00 UTC) outside active session kill-zones' });
    assert.deepEqual(await verdict(18, { sess_nypm: true }), { allowed: true, reason: 'NY PM Session' });
    assert.deepEqual(await verdict(7, { sess_lon: false }), { allowed: true, reason: 'Asian Session' });
    assert.deepEqual(await verdict(3, { hour_start: null, hour_end: null }), { allowed: false, reason: 'Outside permitted hours (7:00-18:00 UTC, current: 3:00 UTC)' }, 'cleared hours are the defaults');
    assert.deepEqual(await verdict(3, { hour_start: 'x', sess_asian: 'maybe' }), { allowed: false, reason: 'Outside permitted hours (7:00-18:00 UTC, current: 3:00 UTC)' }, 'unreadable members are the defaults');

    const off = { hour_start: 22, hour_end: 3, sess_asian: false, sess_lon: false, sess_nyam: false };
    assert.deepEqual(await verdict(23, off), { allowed: true, reason: 'Hour window active (22:00-3:00 UTC)' });
    assert.deepEqual(await verdict(2, off), { allowed: true, reason: 'Hour window active (22:00-3:00 UTC)' });
    assert.deepEqual(await verdict(12, off), { allowed: false, reason: 'Outside permitted hours (22:00-3:00 UTC, current: 12:00 UTC)' });
    assert.deepEqual(await verdict(1, { hour_start: 0, hour_end: 23 }), { allowed: true, reason: 'Asian Session' });
  });
});
