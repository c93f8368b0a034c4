// The Telegram bot under Wine against a stand-in Bot API on 127.0.0.1 that keeps
// Telegram's update semantics (updates stay until a poll with a higher offset confirms
// them, long-poll held up to the timeout). The daemon and extra processes running the
// same worker share one log-on, as the daemon and its chart children do.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import fsp from 'node:fs/promises';
import path from 'node:path';
import { freshWine, paths, lineReader, waitFor } from './lib/wine.mjs';
import { startTelegramServer, startCloudServer } from './lib/http_servers.mjs';
import { runRestartCampaign, formatTable, campaignSymbols } from '../../testing/telegram-restart-campaign.mjs';
import { startAdvisor } from './lib/advisor.mjs';

const probe = paths.tool('services_probe.exe');
const CHAT = 4242;
const WORKER_START = 'Starting Quorvale Telegram Bot Worker...';
const STATUS = (symbol) => '\u{1F3DB}\uFE0F *QUORVALE WORKSPACE SENTINEL*\n\n\u2022 Status: *Active & Protected*\n' +
  `\u2022 Symbol: *${symbol}*\n\u2022 Constitution: *Daily Loss Cap Enforced*\n\u2022 Liveness Failsafe: *OK*`;
const HELP = '\u{1F916} *QUORVALE TELEGRAM COMMANDS*\n\n' +
  '\u2022 `/status` - Live Sentinel & account status\n' +
  '\u2022 `/closeall` - Emergency close all positions\n' +
  '\u2022 `/be` - Move SL to BE+2 pips\n' +
  '\u2022 `/buy <sym> <risk>` - Remote BUY\n' +
  '\u2022 `/sell <sym> <risk>` - Remote SELL';
// Replies name the order's fate, as qv_companion (the advisor's own order logic) decides it.
const EXECUTED = ' executed, ticket \\d+\\.$';
const BE = new RegExp('^\u26A1 \\*BREAK-EVEN:\\* SL to break-even \\+2 pips' + EXECUTED);
const CLOSE_ALL = new RegExp('^\u{1F6D1} \\*CLOSE ALL:\\* Close all positions' + EXECUTED, 'u');
const REJECTED = (reason) => ` rejected: ${esc(reason)}\\.$`;
const esc = (t) => t.replace(/[.*+?^${}()|[\]\\]/g, '\\$&');
const BUY = (s, r) => new RegExp(`^\u{1F7E2} \\*REMOTE BUY:\\* ${esc(s)} \\(${esc(r)}\\)` + EXECUTED, 'u');
const SELL = (s, r) => new RegExp(`^\u{1F534} \\*REMOTE SELL:\\* ${esc(s)} \\(${esc(r)}\\)` + EXECUTED, 'u');

// The bot passes a command's words on as they come (a backslash arrives doubled in the
// update's JSON); the paper server trades these beside its catalog.
const ADVISOR_SYMBOLS = ['GER_40', 'EUR\\\\USD', 'NOSEND', ...[0, 1, 2, 3, 4, 5].map((i) => `BENCH${i}`)];

let w;
let tg;
let cloud;
let signalFile;
let daemon;
let quotes;
let advisor;
// Workers of the probe still running after their test; the restart campaign ends them.
const liveWorkers = [];
const env = () => ({ QV_TELEGRAM_API_BASE: tg.url, QV_CLOUD_BASE_URL: cloud.url });

before(async () => {
  w = await freshWine();
  tg = await startTelegramServer({ token: '123:TEST' });
  cloud = await startCloudServer();
  signalFile = path.join(w.bridge, 'QV_TradeSignal.csv');
  // The advisor's prices follow quotes/<SYMBOL>.txt where one is written (gold moves below).
  quotes = path.join(w.root, 'quotes');
  await fsp.mkdir(quotes);
  advisor = await restartAdvisor();
});
const restartAdvisor = () => startAdvisor(w, { symbol: 'XAUUSD', quotes, extra: ['--symbols', ADVISOR_SYMBOLS.join(',')] });
after(async () => {
  await advisor?.stop();
  await tg?.close();
  await cloud?.close();
  await w?.close();
});

const readSignal = () => fsp.readFile(signalFile, 'utf8').catch(() => null);
const repliesWith = (re) => tg.sent.filter((m) => re.test(m.text)).length;
const executedIds = () => advisor.journal.filter((r) => r.ticket).map((r) => r.id);
/** What the advisor did with the order of the record id, once: its journal entry. */
const ranOnce = async (id, what) => {
  // Its log line may arrive just after the result file the bot answers from.
  await waitFor(() => advisor.journal.some((r) => r.id === id), 5000, 20, `${what}: the advisor's line of order ${id}`);
  const runs = advisor.journal.filter((r) => r.id === id);
  assert.equal(runs.length, 1, `${what}: order ${id} run once: ${JSON.stringify(advisor.journal)}`);
  return runs[0];
};
/**
 * A command that trades, and the one order the advisor ran for it: with a companion on a
 * chart the record goes out as an order file only, which the advisor takes at once, so
 * what it ran is read back from its line (id, action, size and symbol of the record).
 */
async function trade(text, options) {
  const seen = advisor.journal.length;
  const r = await command(text, options);
  await waitFor(() => advisor.journal.length > seen, 10000, 20, `the advisor's line for ${text}`);
  const runs = advisor.journal.slice(seen);
  const run = runs[0];
  return { ...r, run, runs, record: `${run.id},${run.action},${run.size},${run.symbol}` };
}

/** Pushes a text and waits until a later poll has confirmed it (so it was handled). */
async function command(text, { chat = CHAT, replies = 1 } = {}) {
  const sentBefore = tg.sent.length;
  const pushedAt = Date.now();
  const id = tg.pushText(chat, text);
  await waitFor(() => tg.polls.some((p) => p.offset > id && p.at >= pushedAt), 20000, 50,
    `a poll confirming update ${id}`);
  if (replies > 0) await waitFor(() => tg.sent.length >= sentBefore + replies, 10000, 50, 'the reply');
  return { id, replies: tg.sent.slice(sentBefore) };
}

test('no configuration means no request; then the first poll asks offset 1', async () => {
  daemon = w.spawn(paths.exe, [], { env: env() });
  await w.waitForLog(WORKER_START, 60000);
  await w.waitForLog('COT fetch returned incomplete response. Checking for fallback.', 30000);
  assert.equal(tg.requests.length, 0, 'nothing asked before the bot is configured');
  const configuredAt = Date.now();
  await fsp.writeFile(path.join(w.bridge, 'QV_TelegramConfig.json'), `{"token":"123:TEST","chatid":"${CHAT}"}`);
  await waitFor(() => tg.polls.length > 0, 15000, 50, 'the first poll');
  assert.equal(tg.polls[0].offset, 1);
  assert.equal(tg.polls[0].timeout, 3);
  assert.ok(tg.polls[0].at >= configuredAt);
  // The bot's name first (for commands addressed to it), then the poll.
  assert.deepEqual(tg.requests.slice(0, 2).map((r) => r.url), ['/bot123:TEST/getMe', '/bot123:TEST/getUpdates?offset=1&timeout=3']);
  assert.equal(tg.requests[1].headers['user-agent'], 'QuorvaleWorkspace/5.0');
  // A configuration left in the bridge folder (an earlier version, or by hand) moves into the
  // workspace's protected store, out of reach of every page and program that reads the
  // bridge, and the bot keeps working from there (every later test of this file uses it).
  const data = path.join(w.appdata, 'Quorvale_Workspace_Data');
  await waitFor(() => !fs.existsSync(path.join(w.bridge, 'QV_TelegramConfig.json')), 10000, 50, 'the bridge copy removed');
  assert.equal(fs.existsSync(path.join(data, 'QV_TelegramConfig.json')), false, 'no plain copy anywhere');
  assert.equal(fs.readFileSync(path.join(data, 'QV_Secrets.dat')).includes('123:TEST'), false, 'the token is protected');
  await w.waitForLog('Moved the Telegram configuration into the workspace\'s protected store.');
});

test('each command writes its record and sends its exact reply', async () => {
  let r = await command('/status');
  assert.equal(r.replies[0].text, STATUS('NASDAQ:NDX'));
  assert.equal(r.replies[0].chat_id, String(CHAT));
  assert.equal(r.replies[0].parse_mode, 'Markdown');
  // Addressed to this bot by the name Telegram gives it (getMe), in any letter case.
  assert.equal((await command('/status@quorvaletestbot')).replies[0].text, STATUS('NASDAQ:NDX'));
  assert.equal((await command('/help')).replies[0].text, HELP);

  // A position to move to break-even and to close: the chart's gold, then a price far enough
  // above its entry for a stop at entry + 2 pips.
  const moveGold = async () => {
    await fsp.writeFile(path.join(quotes, 'XAUUSD.txt'), '2346.20 2346.50');
    await new Promise((resolve) => setTimeout(resolve, 500));
  };
  // The bot's own /buy sizes by 1 % risk and gives no stop loss, which the advisor refuses.
  const table = [
    ['/buy XAUUSD 0.2', /^\d+,BUY,0\.2,XAUUSD$/, BUY('XAUUSD', '0.2'), moveGold],
    ['/be', /^\d+,BE_PLUS,0\.10,CURRENT$/, BE],
    ['/closeall', /^\d+,CLOSE,0\.10,ALL$/, CLOSE_ALL],
    ['/buy', /^\d+,BUY,R:1\.0,CURRENT$/,
      new RegExp('^\u{1F7E2} \\*REMOTE BUY:\\* CURRENT \\(R:1\\.0\\)' + REJECTED('a risk size needs a stop loss'), 'u')],
    ['/sell EURUSD 0.5 now', /^\d+,SELL,0\.5,EURUSD$/, SELL('EURUSD', '0.5')],
  ];
  for (const [text, record, reply, then] of table) {
    const t = await trade(text);
    assert.match(t.record, record, text);
    assert.equal(t.replies.length, 1, text);
    assert.match(t.replies[0].text, reply, text);
    // The reply tells what the advisor did with that very order, which it ran once.
    const run = await ranOnce(t.run.id, text);
    assert.equal(t.runs.length, 1, text);
    const ticket = /ticket (\d+)\.$/.exec(t.replies[0].text);
    assert.equal(ticket?.[1], run.ticket, text);
    if (!run.ticket) assert.ok(t.replies[0].text.endsWith(`rejected: ${run.reason}.`), text);
    await then?.();
  }
});

test('commands that must not trade leave the record alone', async () => {
  await fsp.writeFile(signalFile, 'KEEP');
  const runsBefore = advisor.journal.length;
  // "/close", "/beware", "/sellall" and a command for another bot are no commands (they used
  // to match by prefix); a comma would add a field; a foreign chat is refused.
  let r;
  for (const none of ['/close', '/beware', '/sellall', '/bet', '/buy@OtherBot XAUUSD 0.5']) {
    r = await command(none, { replies: 0 });
    assert.equal(r.replies.length, 0, none);
  }
  r = await command('/buy EUR,USD R:1.0');
  assert.match(r.replies[0].text, /COMMAND REJECTED/);
  const logBefore = await w.readLog();
  r = await command('/closeall', { chat: 31337, replies: 0 });
  assert.equal(r.replies.length, 0, 'no reply to a foreign chat');
  // In the configured chat, only the configured user commands (a group's other members
  // could trade before).
  const stranger = tg.pushUpdate({ message: { message_id: 9, from: { id: 999, is_bot: false }, chat: { id: CHAT, type: 'group' },
    date: Math.floor(Date.now() / 1000), text: '/buy XAUUSD 0.5' } });
  await waitFor(() => tg.polls.some((p) => p.offset > stranger), 20000, 50, 'the stranger\'s message confirmed');
  const log = (await w.readLog()).slice(logBefore.length);
  assert.match(log, /Rejected unauthorized Telegram message from chat ID: 31337\r\n/);
  assert.match(log, new RegExp(`Rejected unauthorized Telegram message from user ID: 999 in chat ID: ${CHAT}\\r\\n`));
  assert.equal(await readSignal(), 'KEEP');
  // The workspace's hard limits hold for the bot too: 50 lots never reach the outbox.
  r = await command('/buy XAUUSD 50');
  assert.equal(r.replies[0].text,
    '\u{1F7E2} *REMOTE BUY:* XAUUSD (50) NOT sent: size 50 lots is over the workspace\'s largest lot size (1.00 lots).');
  assert.equal(await readSignal(), 'KEEP');
  assert.equal(advisor.journal.length, runsBefore, 'no order reached the advisor');
});

test('a reply carrying backslashes reaches the API as valid JSON', async () => {
  // Sent as EUR\USD; the worker sees the raw JSON text EUR\\USD and echoes it.
  const r = await command('/buy EUR\\USD 0.1');
  assert.equal(r.replies[0].invalid, undefined, 'the body parsed as JSON');
  assert.match(r.replies[0].text, BUY('EUR\\\\USD', '0.1'));
});

test('a reply never runs the quoted command; an old command is refused; a rejection is told', async () => {
  const ordersBefore = executedIds().length;
  const quoted = { message_id: 1, from: { id: CHAT }, chat: { id: CHAT, type: 'private' }, date: Math.floor(Date.now() / 1000), text: '/closeall' };
  let id = tg.pushUpdate({ message: { message_id: 2, from: { id: CHAT }, chat: { id: CHAT, type: 'private' }, date: Math.floor(Date.now() / 1000),
    reply_to_message: quoted, text: 'thanks' } });
  await waitFor(() => tg.polls.some((p) => p.offset > id), 20000, 50, 'the reply confirmed');
  id = tg.pushUpdate({ message: { message_id: 3, from: { id: CHAT }, chat: { id: CHAT, type: 'private' }, date: Math.floor(Date.now() / 1000) - 600,
    text: '/closeall' } });
  const sentBefore = tg.sent.length;
  await waitFor(() => tg.sent.length > sentBefore, 20000, 50, 'the expiry reply');
  assert.equal(tg.sent.at(-1).text, '\u23F1 *COMMAND EXPIRED:* /closeall is older than 90 seconds and was not executed.');
  assert.equal(executedIds().length, ordersBefore, 'neither the quoted nor the old /closeall ran');

  // The advisor refuses a size below the symbol's minimum volume, and says so in its words.
  const r = await command('/buy GER_40 0.001');
  assert.equal(r.replies[0].text,
    '\u{1F7E2} *REMOTE BUY:* GER\\_40 (0.001) rejected: 0.001 lots is below the minimum volume 0.01 of GER\\_40.');
  assert.equal(advisor.journal.at(-1).reason, '0.001 lots is below the minimum volume 0.01 of GER_40');
  const ids = executedIds();
  assert.equal(new Set(ids).size, ids.length, 'every order ran once');
});

// A revoked token (401) or a webhook in the way (409) used to drop every poll silently: each
// problem is logged once, whatever the number of passes, and shown to the HUDs.
test('each poll problem is logged once and shown in the bot\'s status', async () => {
  const status = () => JSON.parse(fs.readFileSync(path.join(w.appdata, 'Quorvale_Workspace_Data', 'telegram_status.json'), 'utf8'));
  assert.deepEqual(status(), { state: 'ok', text: '' });
  const conflict = 'Telegram poll failed: another program takes the bot\'s updates (409 Conflict): Conflict: can\'t use getUpdates';
  tg.state.webhook = true;
  const refusedBefore = tg.polls.filter((p) => p.refused).length;
  await waitFor(() => tg.polls.filter((p) => p.refused).length >= refusedBefore + 3, 30000, 100, 'three refused polls');
  assert.equal(status().state, 'error');
  assert.match(status().text, /^another program takes the bot's updates \(409 Conflict\)/);
  tg.state.webhook = false;
  await w.waitForLog('Telegram poll works again.', 20000);
  assert.equal((await w.readLog()).split(conflict).length - 1, 1, 'logged once');
  assert.deepEqual(status(), { state: 'ok', text: '' });
  // The trader's own file with a token Telegram does not know (a revoked one) replaces the relay.
  const data = path.join(w.appdata, 'Quorvale_Workspace_Data');
  await fsp.writeFile(path.join(data, 'QV_TelegramConfig.json'), `{"token":"999:REVOKED","chatid":"${CHAT}"}`);
  const revoked = 'Telegram poll failed: the bot token was refused (401 Unauthorized): it may have been revoked';
  await w.waitForLog(revoked, 20000);
  const requestsThen = tg.requests.filter((r) => r.url.startsWith('/bot999:REVOKED/getUpdates')).length;
  await waitFor(() => tg.requests.filter((r) => r.url.startsWith('/bot999:REVOKED/getUpdates')).length >= requestsThen + 2,
    20000, 100, 'two more refused polls');
  assert.equal((await w.readLog()).split(revoked).length - 1, 1, 'logged once');
  await fsp.writeFile(path.join(data, 'QV_TelegramConfig.json'), `{"token":"123:TEST","chatid":"${CHAT}"}`);
  await waitFor(() => status().state === 'ok', 20000, 100, 'the bot back on its token');
});

test('an order that cannot be written is logged and answered as not sent, and leaves no order', async () => {
  // A folder where QV_TradeSignal.csv goes: the replace fails however long it retries. The
  // slot is written only while no companion runs on a chart, and a running one could take
  // the order file during the retries (then the order would be out after all, and "sent"
  // the truth): the advisor ends for this test and starts again after it. NOSEND is a
  // symbol it trades, so an order left behind would run as soon as it is back.
  await advisor.stop();
  await fsp.rm(signalFile, { force: true });
  await fsp.mkdir(signalFile);
  try {
    const logBefore = (await w.readLog()).length;
    const r = await command('/buy NOSEND 0.5');
    assert.equal(r.replies.length, 1);
    assert.match(r.replies[0].text, /^\u{1F7E2} \*REMOTE BUY:\* NOSEND \(0\.5\) NOT sent: .+\.$/u);
    const log = (await w.readLog()).slice(logBefore);
    assert.match(log, /Telegram order NOT sent: \d{13},BUY,0\.5,NOSEND,0,0 \(could not replace QV_TradeSignal\.csv: .+\)\r\n/);
    assert.doesNotMatch(log, /Emitted Telegram order to MT5: \d+,BUY,0\.5,NOSEND/);
    assert.deepEqual(fs.readdirSync(w.bridge).filter((n) => /^QV_Order/.test(n)), [], 'the order file was taken back');
  } finally {
    await fsp.rm(signalFile, { recursive: true, force: true });
    advisor = await restartAdvisor();
  }
  const pollsNow = tg.polls.length;
  await waitFor(() => tg.polls.length >= pollsNow + 1, 20000, 50, 'a later poll');
  assert.deepEqual(advisor.journal, [], 'nothing executed');
});

test('with the daemon and two more workers a command runs once, also across a takeover', async () => {
  const workers = [];
  for (const symbol of ['AAAUSD', 'BBBUSD']) {
    const child = w.spawn(probe, ['worker'], { env: env() });
    const out = lineReader(child.stdout);
    await out.next((l) => l === 'WORKER');
    const ask = async (line) => {
      const seen = out.lines.length;
      child.stdin.write(line + '\n');
      await waitFor(() => out.lines.slice(seen).includes('OK'), 15000, 50, line);
    };
    await ask(`symbol ${symbol}`);
    workers.push({ child, symbol, ask });
    liveWorkers.push(child);
  }
  await w.waitForLog(WORKER_START, 30000, 3);

  const buysBefore = repliesWith(BUY('XAUUSD', '0.1'));
  const buy = await trade('/buy XAUUSD 0.1');
  // Two more polls: time enough for any second poller to have picked the update up.
  const pollsNow = tg.polls.length;
  await waitFor(() => tg.polls.length >= pollsNow + 2, 20000, 50, 'two more polls');
  assert.equal(repliesWith(BUY('XAUUSD', '0.1')) - buysBefore, 1, '/buy executed once: ' + JSON.stringify(buy.replies.map((m) => m.text)));
  assert.match(buy.record, /^\d+,BUY,0\.1,XAUUSD$/);
  await ranOnce(buy.run.id, '/buy');

  // The daemon was the poller; it dies without letting go, and a child takes over where
  // it stopped rather than at offset 1.
  daemon.kill('SIGKILL');
  const killedAt = Date.now();
  const sell = await command('/sell EURUSD 0.5 now');
  assert.equal(repliesWith(SELL('EURUSD', '0.5')), 2, 'once here, once in the earlier test');
  assert.ok(tg.polls.filter((p) => p.at > killedAt).every((p) => p.offset > buy.id),
    'the new poller continues after the last handled update');
  assert.equal(repliesWith(BUY('XAUUSD', '0.1')) - buysBefore, 1, '/buy not repeated');
  await ranOnce(buy.run.id, '/buy after the takeover');

  // Which child polls now shows in its /status; its clean shutdown hands over to the other.
  const status = (await command('/status')).replies[0].text;
  const owner = workers.find((x) => status === STATUS(x.symbol));
  assert.ok(owner, `the status names one child's symbol: ${status}`);
  const other = workers.find((x) => x !== owner);
  await owner.ask('shutdown');
  const closeAllReplies = tg.sent.filter((m) => m.text.includes('*CLOSE ALL:*')).length;
  const closeAlls = advisor.journal.filter((r) => r.action === 'CLOSE' && r.ticket).length;
  const closing = await trade('/closeall');
  const pollsThen = tg.polls.length;
  await waitFor(() => tg.polls.length >= pollsThen + 2, 20000, 50, 'two more polls');
  // A worker shutting down replies at once rather than waiting for the result.
  assert.match(closing.replies[0].text, /^\u{1F6D1} \*CLOSE ALL:\* Close all positions (executed, ticket \d+|sent to terminal)\.$/u);
  assert.equal(tg.sent.filter((m) => m.text.includes('*CLOSE ALL:*')).length - closeAllReplies, 1, 'one reply');
  await waitFor(() => advisor.journal.some((r) => r.action === 'CLOSE' && r.id === closing.run.id), 10000, 50, 'the close run');
  assert.equal(advisor.journal.filter((r) => r.action === 'CLOSE' && r.ticket).length - closeAlls, 1, '/closeall executed once');
  assert.equal((await command('/status')).replies[0].text, STATUS(other.symbol));
  assert.ok(sell.id > buy.id);
});

// With a companion on a chart the order goes out as an order file only, which the advisor
// takes at once: the figure runs from the command to the advisor's line of that order.
test('benchmark: Telegram command to the order run by the advisor with the 3 s long-poll', async (t) => {
  const latencies = [];
  for (let i = 0; i < 6; i++) {
    const pushedAt = Date.now();
    tg.pushText(CHAT, `/buy BENCH${i} 0.1`);
    const run = await waitFor(() => advisor.journal.find((r) => r.symbol === `BENCH${i}`), 20000, 10, 'the order run');
    assert.ok(run.ticket, `executed: ${JSON.stringify(run)}`);
    latencies.push(run.at - pushedAt);
    // Land the next push at a different point of the poll/sleep cycle.
    await new Promise((r) => setTimeout(r, 700 * (i % 3)));
  }
  const sorted = [...latencies].sort((a, b) => a - b);
  const figures = `command -> order run by the advisor latency ms: min ${sorted[0]}, median ${sorted[sorted.length >> 1]}, ` +
    `max ${sorted[sorted.length - 1]} (samples ${latencies.join(', ')})`;
  t.diagnostic(figures);
  console.log(figures);
  assert.equal(latencies.length, 6);
});

// Every process that handles Telegram is killed at random moments while commands arrive;
// testing/telegram-restart-campaign.mjs runs the same code for hundreds of cycles.
test('killed again and again while handling commands, each command runs at most once and is answered', async (t) => {
  for (const child of liveWorkers) child.kill('SIGKILL');
  await waitFor(() => liveWorkers.every((c) => c.exitCode !== null || c.signalCode !== null), 20000, 50, 'the workers ended');
  // The advisor's own order logic takes the campaign's orders, each on a symbol of its own.
  await advisor.stop();
  const cycles = 10;
  advisor = await startAdvisor(w, { symbol: 'XAUUSD', extra: ['--symbols', campaignSymbols(cycles).join(',')] });
  let table;
  let rows;
  try {
    ({ table, rows } = await runRestartCampaign({ w, tg, companion: advisor, chat: CHAT, env: env(), cycles, seed: 13 }));
  } finally {
    await advisor.stop();
  }
  t.diagnostic('\n' + formatTable(table));
  const wrong = rows.filter((r) => r.executed > 1 || !r.answered || r.late);
  assert.deepEqual(wrong, [], 'commands run twice, unanswered or late');
  assert.equal(table.executedTwice, 0);
  assert.equal(table.unanswered, 0);
  assert.equal(table.executedAfterAgeBound, 0);
  assert.ok(table.commands >= 10 && table.executedOnce > 0, JSON.stringify(table));
  // An answer names the command's true fate: executed with a ticket, or interrupted.
  for (const r of rows) {
    for (const text of r.replies) {
      if (r.executed === 0) assert.doesNotMatch(text, /executed, ticket/, r.tag);
    }
  }
});

test('an older copy left in the bridge folder never replaces the relay moved from the data folder', async () => {
  // The bridge folder's copy is written first: a pass between the two writes then moves it
  // before the newer one, which still wins.
  const data = path.join(w.appdata, 'Quorvale_Workspace_Data');
  const bridgeCopy = path.join(w.bridge, 'QV_TelegramConfig.json');
  await fsp.writeFile(bridgeCopy, `{"token":"555:STALE","chatid":"${CHAT}"}`);
  await fsp.writeFile(path.join(data, 'QV_TelegramConfig.json'), `{"token":"777:FRESH","chatid":"${CHAT}"}`);
  for (const look of ['first look', 'next look']) {
    const r = await w.run(probe, ['relay'], { env: env() });
    assert.equal(r.code, 0, r.stderr);
    assert.match(r.stdout, /^TOKEN 777:FRESH\r?$/m, look);
    assert.equal(fs.existsSync(bridgeCopy), false, `${look}: the stale copy is gone`);
  }
});
