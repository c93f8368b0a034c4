// A controllable clock for the HUD's world. Playwright's page.clock replaces the time of the
// page's own world only; the HUD has its own Date and timers there, which it takes at load.
// So the page harness registers this source in the HUD's world before the HUD itself: Date,
// the timers and performance.now of that world follow a clock the test moves, with
// Playwright's meaning of its calls:
//   install(time)      the clock starts at time and then runs with real time, timers too;
//   setFixedTime(time) Date says time for ever, timers keep running;
//   setSystemTime(t)   Date jumps to t, no timer fires for the jump;
//   runFor(ms)         the clock jumps ms ahead, firing every timer due on the way, in order.

export const HUD_CLOCK_SOURCE = `(() => {
  if (globalThis.__qvTestClock) return;
  const RealDate = Date;
  const real = {
    setTimeout: globalThis.setTimeout.bind(globalThis),
    clearTimeout: globalThis.clearTimeout.bind(globalThis),
    perfNow: performance.now.bind(performance),
  };
  const state = { origin: RealDate.now(), realStart: real.perfNow(), advanced: 0, shift: 0, fixed: null,
    timers: new Map(), nextId: 1, wake: null, running: false };
  const clockNow = () => state.origin + (real.perfNow() - state.realStart) + state.advanced;
  const dateNow = () => (state.fixed !== null ? state.fixed : Math.floor(clockNow() + state.shift));

  class FakeDate extends RealDate {
    constructor(...args) {
      if (args.length === 0) super(dateNow());
      else super(...args);
    }
    static now() { return dateNow(); }
  }
  globalThis.Date = FakeDate;

  function fire(t) {
    if (t.interval) t.due += Math.max(1, t.delay);
    else state.timers.delete(t.id);
    try { t.fn.apply(globalThis, t.args); } catch (e) { real.setTimeout(() => { throw e; }, 0); }
  }

  function earliest(limit) {
    let best = null;
    for (const t of state.timers.values()) {
      if (t.due <= limit && (!best || t.due < best.due || (t.due === best.due && t.id < best.id))) best = t;
    }
    return best;
  }

  function runDue() {
    state.wake = null;
    if (state.running) return;
    state.running = true;
    try {
      for (let t = earliest(clockNow()); t; t = earliest(clockNow())) fire(t);
    } finally {
      state.running = false;
    }
    arm();
  }

  function arm() {
    if (state.wake !== null) real.clearTimeout(state.wake);
    state.wake = null;
    let next = Infinity;
    for (const t of state.timers.values()) next = Math.min(next, t.due);
    if (next !== Infinity) state.wake = real.setTimeout(runDue, Math.max(0, next - clockNow()));
  }

  function add(fn, delay, args, interval) {
    if (typeof fn !== 'function') return 0;
    const id = state.nextId++;
    const d = Math.max(0, Number(delay) || 0);
    state.timers.set(id, { id, fn, args, delay: d, due: clockNow() + d, interval });
    arm();
    return id;
  }
  function clear(id) {
    if (state.timers.delete(id)) arm();
  }
  globalThis.setTimeout = (fn, delay, ...args) => add(fn, delay, args, false);
  globalThis.setInterval = (fn, delay, ...args) => add(fn, delay, args, true);
  globalThis.clearTimeout = clear;
  globalThis.clearInterval = clear;
  performance.now = () => real.perfNow() + state.advanced;

  globalThis.__qvTestClock = {
    install(time) { state.origin = time; state.realStart = real.perfNow(); state.advanced = 0; state.shift = 0; },
    setFixedTime(time) { state.fixed = time; },
    setSystemTime(time) { state.fixed = null; state.shift = time - clockNow(); },
    runFor(ms) {
      const target = clockNow() + ms;
      state.running = true;
      try {
        for (let t = earliest(target); t; t = earliest(target)) {
          if (t.due > clockNow()) state.advanced += t.due - clockNow();
          fire(t);
        }
        if (target > clockNow()) state.advanced += target - clockNow();
      } finally {
        state.running = false;
      }
      arm();
      return true;
    },
  };
})();`;

// The clock's calls for one page: each acts in the HUD world of the current document.
export function hudClock(hud) {
  const at = (t) => (t instanceof Date ? t.getTime() : Number(t));
  return {
    runFor: (ms) => hud.eval(`__qvTestClock.runFor(${Number(ms)})`),
    setSystemTime: (t) => hud.eval(`__qvTestClock.setSystemTime(${at(t)})`),
    setFixedTime: (t) => hud.eval(`__qvTestClock.setFixedTime(${at(t)})`),
  };
}

// The first lines of a new document: the clock as the test set it up.
export function clockStartSource(opts) {
  const lines = [];
  if (opts.clock) lines.push(`__qvTestClock.install(${new Date(opts.clock).getTime()});`);
  if (opts.fixedTime) lines.push(`__qvTestClock.setFixedTime(${new Date(opts.fixedTime).getTime()});`);
  return lines.join('\n');
}
