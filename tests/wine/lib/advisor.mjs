// The terminal companion's own order logic, build/native/qv_companion --orders-only (the
// advisor's include files compiled natively over the shim's paper account), taking the
// orders of a test's bridge folder. What it ran is read back from its Experts log lines.
import { spawn } from 'node:child_process';
import path from 'node:path';
import { repoRoot, waitFor } from './wine.mjs';

export const QV_COMPANION = path.join(repoRoot, 'build/native/qv_companion');

const RUN_LINE = /^Quorvale: order (\S+) (\S+) (\S+) (\S+) -> (?:EXECUTED ticket (\d+)|REJECTED (.*))$/;

/**
 * An order the advisor ran, from its log line: id, action, size, symbol and its ticket or
 * reason; at is when the line arrived (ms), for checks of how late an order ran. Null for
 * any other line.
 */
export function orderRun(line, at) {
  const m = RUN_LINE.exec(line);
  if (!m) return null;
  const [, id, action, size, symbol, ticket, reason] = m;
  return { id, action, size, symbol, ticket, reason, at };
}

/**
 * Starts qv_companion on the bridge folder of w for the chart hwnd showing symbol and waits
 * until it announces itself. quotes: the folder of <SYMBOL>.txt prices it follows.
 */
export async function startAdvisor(w, { hwnd, symbol = 'XAUUSD', quotes, login, extra = [] } = {}) {
  const args = [w.bridge, '--symbol', symbol, '--orders-only'];
  if (hwnd !== undefined) args.push('--chart', String(hwnd));
  if (quotes) args.push('--quotes', quotes);
  if (login) args.push('--login', String(login));
  args.push(...extra);
  const child = spawn(QV_COMPANION, args, { stdio: ['ignore', 'pipe', 'pipe'] });
  let log = '';
  let partial = '';
  const journal = [];
  child.stdout.on('data', (d) => {
    log += d;
    const lines = (partial + d).split('\n');
    partial = lines.pop();
    const at = Date.now();
    for (const line of lines) {
      const run = orderRun(line.replace(/\r$/, ''), at);
      if (run) journal.push(run);
    }
  });
  child.stderr.on('data', (d) => { log += d; });
  const exited = new Promise((resolve) => child.once('exit', resolve));
  await waitFor(() => {
    if (child.exitCode !== null) throw new Error(`qv_companion ended at start: ${log}`);
    return log.includes('qv_companion: chart ');
  }, 20000, 50, 'qv_companion announcing its chart');
  return {
    child,
    log: () => log,
    /** The orders it ran so far, oldest first. */
    journal,
    /** Ends it as the terminal ends an advisor (SIGTERM runs its deinit) and waits. */
    async stop() {
      if (child.exitCode === null && child.signalCode === null) child.kill('SIGTERM');
      await exited;
    },
  };
}
