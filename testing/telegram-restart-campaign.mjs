#!/usr/bin/env node
// Kills the Telegram worker at random moments while it handles commands, many times over,
// and counts what happened to every command: executed once, twice (a restart that ran it
// again), not at all, answered or not, executed after the age bound. The Wine test runs
// runRestartCampaign with a few cycles; run this file for hundreds:
//
//   nice -n 10 node testing/telegram-restart-campaign.mjs [cycles] [seed]
//
// The worker is the real Telegram worker (services_probe.exe worker) against a stand-in
// Bot API on 127.0.0.1, and the advisor's own order logic (qv_companion) takes the orders
// from the bridge folder.
import { fileURLToPath } from 'node:url';
import path from 'node:path';
import fs from 'node:fs';
import { paths, lineReader, waitFor } from '../tests/wine/lib/wine.mjs';

// The bound the worker applies to a command's age when it first sees it.
export const COMMAND_MAX_AGE_MS = 90000;

/** A small deterministic random source, so a failing campaign can be rerun as it was. */
export function seededRandom(seed) {
  let s = seed >>> 0 || 1;
  return () => {
    s ^= s << 13;
    s ^= s >>> 17;
    s ^= s << 5;
    return (s >>> 0) / 4294967296;
  };
}

const TAG = (n) => `RC${n}`;

/** The symbols a campaign of so many cycles may trade: one per command, at most three a cycle. */
export function campaignSymbols(cycles) {
  return Array.from({ length: cycles * 3 }, (_, i) => TAG(i + 1));
}
const tagOf = (text) => /\bRC(\d+)\b/.exec(String(text ?? ''))?.[0] ?? null;

async function startWorker(w, env) {
  const child = w.spawn(paths.tool('services_probe.exe'), ['worker'], { env });
  const out = lineReader(child.stdout);
  await out.next((l) => l === 'WORKER', 60000);
  return child;
}

async function kill(child) {
  if (child.exitCode !== null || child.signalCode !== null) return;
  const ended = new Promise((r) => child.once('exit', r));
  child.kill('SIGKILL');
  await ended;
}

/**
 * Runs the campaign in an existing Wine environment w, with the stand-in Bot API tg (the
 * worker configured for it and chat), the companion (startAdvisor of tests/wine/lib/advisor.mjs,
 * trading campaignSymbols(cycles)) running on w's bridge folder and env the worker's
 * environment. No other worker may run meanwhile. Each cycle starts a
 * worker, pushes one to three commands at random moments and kills the worker at a random
 * moment; a last worker then answers what is left. Returns the counts and every command.
 */
export async function runRestartCampaign({ w, tg, companion, chat, env, cycles, seed = 1, maxKillDelayMs = 1500,
  onCycle = () => {} }) {
  const random = seededRandom(seed);
  const commands = []; // { tag, updateId, pushedAt, dateMs }
  const journalStart = companion.journal.length;
  const sentStart = tg.sent.length;
  const push = () => {
    const tag = TAG(commands.length + 1);
    const pushedAt = Date.now();
    const updateId = tg.pushText(chat, `/buy ${tag} 0.5`);
    commands.push({ tag, updateId, pushedAt, dateMs: Math.floor(pushedAt / 1000) * 1000 });
  };
  const timers = new Set();
  for (let cycle = 1; cycle <= cycles; cycle++) {
    const pollsBefore = tg.polls.length;
    const worker = await startWorker(w, env);
    const n = 1 + Math.floor(random() * 3);
    // Most kills land while the worker handles commands: after its first poll, within the
    // time a command takes (state saved, order written, the result awaited, the reply).
    // The rest land while it starts, before it has polled at all.
    const early = random() < 0.2;
    if (!early) {
      await waitFor(() => tg.polls.length > pollsBefore, 30000, 20, 'the worker polling').catch(() => false);
    }
    const killAfter = Math.floor(random() * (early ? 600 : maxKillDelayMs));
    for (let i = 0; i < n; i++) {
      // Some land after the kill, while no worker runs.
      const at = Math.floor(random() * (killAfter + 300));
      const t = setTimeout(() => {
        timers.delete(t);
        push();
      }, at);
      timers.add(t);
    }
    await new Promise((r) => setTimeout(r, killAfter));
    await kill(worker);
    // Pushes still scheduled go out now, so every cycle sends its commands.
    for (const t of timers) {
      clearTimeout(t);
      push();
    }
    timers.clear();
    onCycle(cycle, commands.length);
  }

  // A last worker lives until every command is answered (or a deadline passes).
  const answeredBy = () => {
    const answers = new Map(); // tag -> [text]
    const byUpdate = new Map(commands.map((c) => [c.updateId, c.tag]));
    for (const m of tg.sent.slice(sentStart)) {
      let tag = tagOf(m.text);
      const interrupted = /COMMAND INTERRUPTED:\* the workspace stopped while handling update (\d+)/.exec(String(m.text ?? ''));
      if (!tag && interrupted) tag = byUpdate.get(Number(interrupted[1])) ?? null;
      if (!tag) continue;
      if (!answers.has(tag)) answers.set(tag, []);
      answers.get(tag).push(String(m.text));
    }
    return answers;
  };
  const last = await startWorker(w, env);
  try {
    await waitFor(() => commands.every((c) => answeredBy().has(c.tag)), 60000, 100, 'every command answered')
      .catch(() => false);
    // Time for a late second execution to show: the companion polls every few tens of ms
    // and an order file is taken well within a second.
    await waitFor(() => !fs.readdirSync(w.bridge).some((n) => /^QV_Order(Taken)?_/.test(n)), 10000, 100, 'order files taken')
      .catch(() => false);
  } finally {
    await kill(last);
  }

  const answers = answeredBy();
  // Replies that name no command (a state that could not be saved says so without one).
  const unattributed = tg.sent.slice(sentStart).map((m) => String(m.text ?? m.invalid ?? ''))
    .filter((text) => !tagOf(text) && !/COMMAND INTERRUPTED/.test(text));
  const log = await w.readLog();
  const stateNotSaved = log.split('Could not record the Telegram offset').length - 1;
  const executions = new Map(); // tag -> [journal entry]
  for (const r of companion.journal.slice(journalStart)) {
    const tag = tagOf(r.symbol);
    if (!tag) continue;
    if (!executions.has(tag)) executions.set(tag, []);
    executions.get(tag).push(r);
  }
  const rows = commands.map((c) => {
    const runs = executions.get(c.tag) ?? [];
    return {
      ...c,
      executed: runs.length,
      answered: answers.has(c.tag),
      replies: answers.get(c.tag) ?? [],
      // The worker judges age by the message's date in whole seconds; so does this count.
      late: runs.filter((r) => r.at - c.dateMs > COMMAND_MAX_AGE_MS).length,
    };
  });
  const table = {
    cycles,
    commands: rows.length,
    executedOnce: rows.filter((r) => r.executed === 1).length,
    executedTwice: rows.filter((r) => r.executed > 1).length,
    notExecuted: rows.filter((r) => r.executed === 0).length,
    unanswered: rows.filter((r) => !r.answered).length,
    executedAfterAgeBound: rows.reduce((s, r) => s + r.late, 0),
  };
  return { table, rows, unattributed, stateNotSaved };
}

export function formatTable(table) {
  const keys = [
    ['cycles', 'cycles'],
    ['commands', 'commands'],
    ['executedOnce', 'executed once'],
    ['executedTwice', 'executed twice (must be 0)'],
    ['notExecuted', 'not executed (interrupted before the order)'],
    ['unanswered', 'unanswered (must be 0)'],
    ['executedAfterAgeBound', 'executed after age bound (must be 0)'],
  ];
  const width = Math.max(...keys.map(([, label]) => label.length));
  return keys.map(([k, label]) => `${label.padEnd(width)}  ${table[k]}`).join('\n');
}

async function main() {
  const cycles = Number(process.argv[2] ?? 200);
  const seed = Number(process.argv[3] ?? Date.now() % 100000);
  const { freshWine } = await import('../tests/wine/lib/wine.mjs');
  const { startTelegramServer } = await import('../tests/wine/lib/http_servers.mjs');
  const { startAdvisor } = await import('../tests/wine/lib/advisor.mjs');
  const chat = 4242;
  const w = await freshWine();
  const tg = await startTelegramServer({ token: '123:TEST' });
  let companion;
  try {
    companion = await startAdvisor(w, { symbol: 'XAUUSD', extra: ['--symbols', campaignSymbols(cycles).join(',')] });
    fs.mkdirSync(path.join(w.appdata, 'Quorvale_Workspace_Data'), { recursive: true });
    fs.writeFileSync(path.join(w.appdata, 'Quorvale_Workspace_Data', 'QV_TelegramConfig.json'),
      `{"token":"123:TEST","chatid":"${chat}"}`);
    const started = Date.now();
    const { table, rows, unattributed, stateNotSaved } = await runRestartCampaign({
      w, tg, companion, chat, cycles, seed,
      env: { QV_TELEGRAM_API_BASE: tg.url, QV_CLOUD_BASE_URL: 'http://127.0.0.1:9' },
      onCycle: (cycle, n) => {
        if (cycle % 10 === 0) process.stderr.write(`cycle ${cycle}/${cycles}, ${n} commands, ${Math.round((Date.now() - started) / 1000)} s\n`);
      },
    });
    console.log(`seed ${seed}, ${Math.round((Date.now() - started) / 1000)} s`);
    console.log(formatTable(table));
    console.log(`state not saved (log lines)       ${stateNotSaved}`);
    for (const text of unattributed) console.log(`  reply naming no command: ${JSON.stringify(text)}`);
    for (const r of rows.filter((x) => x.executed > 1 || !x.answered || x.late)) {
      console.log(`  ${r.tag} update ${r.updateId}: executed ${r.executed}, replies ${JSON.stringify(r.replies)}`);
    }
    process.exitCode = table.executedTwice || table.unanswered || table.executedAfterAgeBound ? 1 : 0;
  } finally {
    await companion?.stop();
    await tg.close();
    await w.close();
  }
}

if (process.argv[1] && path.resolve(process.argv[1]) === fileURLToPath(import.meta.url)) {
  main().catch((err) => {
    console.error(err);
    process.exitCode = 2;
  });
}
