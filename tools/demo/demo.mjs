// The demo's scenario, run by tools/demo.sh once Wine, the display and the build are ready:
// the daemon with local stand-ins of the cloud service and the Telegram Bot API, two chart
// windows and the studio, a BUY from the HUD's ticket executed by the terminal companion's
// own logic (build/native/qv_companion on its paper account; the simulator draws the
// prices and launches the charts), its position in the PnL badge, the fill's picture in the journal folder and a
// /status answered by the bot. Every step is printed; a step that does not happen within
// its deadline ends the demo with exit code 1.
//   node tools/demo/demo.mjs <unix APPDATA of the Wine user> <demo folder> [--watch]
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';
import { waitFor, lineReader } from '../../tests/wine/lib/wine.mjs';
import { attachHud } from '../../tests/page/lib/hud_dom.mjs';
import { TerminalSim } from '../../testing/terminal-sim/terminal.mjs';
import { startCloudStandIn, startTelegramStandIn } from './standins.mjs';
import { PriceSeries, QuietTerminal } from './price_series.mjs';

const repo = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
const [appdata, demo] = process.argv.slice(2).filter((a) => !a.startsWith('--'));
const watch = process.argv.includes('--watch');
if (!appdata || !demo) {
  console.error('usage: node tools/demo/demo.mjs <unix APPDATA of the Wine user> <demo folder> [--watch]');
  process.exit(2);
}
const bridge = path.join(appdata, 'MetaQuotes/Terminal/Common/Files/Quorvale');
// The demo chart's candles, beside the bridge folder (never in it).
const barsFolder = path.join(appdata, 'Quorvale_Demo_Bars');
const log = path.join(appdata, 'Quorvale_Workspace_Debug.log');
const shots = path.join(demo, 'screenshots');
const journal = path.join(demo, 'journal');
const TOKEN = 'demo:TOKEN';
const CHAT = '4242';

const say = (text) => console.log(`demo: ${text}`);
let stepNo = 0;
async function step(title, fn) {
  stepNo++;
  const t0 = Date.now();
  try {
    const detail = await fn();
    say(`[${stepNo}] ${title} - ok (${((Date.now() - t0) / 1000).toFixed(1)} s)${detail ? `\n        ${detail}` : ''}`);
    return detail;
  } catch (err) {
    say(`[${stepNo}] ${title} - FAILED: ${err.message}`);
    const failures = readLog().split(/\r?\n/).filter((l) => /fail|error|exception/i.test(l)).slice(-5);
    if (failures.length) say(`last failure lines of the debug log:\n        ${failures.join('\n        ')}`);
    say(`debug log: ${log}`);
    throw Object.assign(err, { reported: true });
  }
}

const readLog = () => {
  try {
    return fs.readFileSync(log, 'utf8');
  } catch {
    return '';
  }
};

function toWin(unixPath) {
  // Wine's Z: drive is the Unix root; no wine call needed for it.
  return 'Z:' + path.resolve(unixPath).replace(/\//g, '\\');
}

const spawned = [];
function wine(args, env = {}) {
  const child = spawn('wine', args, { env: { ...process.env, ...env }, stdio: ['pipe', 'pipe', 'ignore'] });
  spawned.push(child);
  return child;
}

async function fakeChart(title) {
  const chart = wine([path.join(repo, 'build/windows/testing/fake_chart.exe'), title]);
  const out = lineReader(chart.stdout);
  const line = await out.next((l) => /^(HWND|ERROR)/.test(l));
  if (!line.startsWith('HWND ')) throw new Error(`the stand-in chart window could not be created: ${line}`);
  return line.slice(5).trim();
}

async function shoot(page, name) {
  const file = path.join(shots, name);
  await page.screenshot({ path: file });
  return file;
}

async function main() {
  fs.mkdirSync(shots, { recursive: true });
  fs.mkdirSync(bridge, { recursive: true });
  fs.mkdirSync(barsFolder, { recursive: true });
  // Each run fetches the sample COT data anew, so the stand-in's road is shown every time.
  fs.rmSync(path.join(bridge, 'QV_COTData.json'), { force: true });
  // The paper account starts empty each run; its positions file is the companion's sign of life.
  fs.rmSync(path.join(bridge, 'QV_OpenPositions.json'), { force: true });
  fs.writeFileSync(path.join(bridge, 'QV_TelegramConfig.json'), `{"token":"${TOKEN}","chatid":"${CHAT}"}`);

  const cloud = await startCloudStandIn({
    journalDir: journal,
    onEvent: (kind, d) => {
      if (kind === 'cot') say(`cloud stand-in: served the sample COT data (${d.bytes} bytes)`);
      if (kind === 'upload') say(`cloud stand-in: journal picture saved ${d.file} (${d.bytes} bytes)`);
      if (kind === 'bad-upload') say(`cloud stand-in: refused an upload that is not JSON (${d.bytes} bytes)`);
    },
  });
  const telegram = await startTelegramStandIn({
    token: TOKEN,
    onReply: (text, chat) => say(`telegram stand-in, bot -> chat ${chat}:\n        ${text.replace(/\n/g, '\n        ')}`),
  });
  say(`cloud service stand-in ${cloud.url} (sample COT data, journal uploads into ${journal})`);
  say(`Telegram Bot API stand-in ${telegram.url}`);

  // The trading chart's simulator with a day of history; the second chart only moves prices.
  // The history ends on a Monday morning, so the market is open when the scenario trades.
  const HISTORY = 120;
  const barTime = Date.UTC(2026, 11, 7, 9, 0, 0) / 1000 - HISTORY * 3600;
  // The prices the charts draw are also the paper account's: the advisor follows them.
  const quotes = path.join(demo, 'quotes');
  const gold = new TerminalSim(bridge, { symbol: 'XAUUSD', barTime, quoteDir: quotes });
  const goldSeries = new PriceSeries(gold, barsFolder);
  goldSeries.history(HISTORY);
  goldSeries.write();
  const euro = new QuietTerminal(bridge, { symbol: 'EURUSD', price: 1.0842, seed: 11, barTime, quoteDir: quotes });
  const euroSeries = new PriceSeries(euro, barsFolder);
  euroSeries.history(HISTORY);
  euroSeries.write();
  gold.start();
  let ticks = 0;
  const market = setInterval(() => {
    goldSeries.tick();
    euroSeries.tick();
    if (++ticks % 30 === 0) {
      goldSeries.nextBar();
      euroSeries.nextBar();
    }
    goldSeries.write();
    euroSeries.write();
  }, 2000);

  const env = {
    QV_CLOUD_BASE_URL: cloud.url,
    QV_TELEGRAM_API_BASE: telegram.url,
    QV_WEBVIEW2_EXTRA_HOSTS: `www.tradingview.com=${toWin(path.join(repo, 'tools/demo/chart-site'))};quorvale-demo-bars.example=${toWin(barsFolder)}`,
    ...(watch ? { QV_WEBVIEW2_HEADFUL: '1' } : {}),
  };
  const logStart = readLog().length;
  const newLog = () => readLog().slice(logStart);
  let browser;
  let advisor;
  const executed = [];
  const cleanup = async () => {
    clearInterval(market);
    gold.stop?.();
    if (advisor && advisor.exitCode === null) {
      const ended = new Promise((r) => advisor.once('exit', r));
      advisor.kill('SIGTERM');
      await ended;
    }
    await browser?.close().catch(() => {});
    await cloud.close();
    await telegram.close();
  };

  try {
    await step('daemon started under Wine with the stand-ins', async () => {
      wine([path.join(repo, 'build/windows/QuorvaleWorkspace.exe')], env);
      await waitFor(() => newLog().includes('Quorvale Daemon loop active and watching: '), 90000, 200, 'the daemon loop line in the log');
      return `debug log ${log}\n        bridge folder ${bridge}`;
    });
    await step('COT data fetched from the cloud stand-in into the bridge folder', async () => {
      await waitFor(() => newLog().includes('Successfully saved fresh QV_COTData.json'), 60000, 200, 'the COT saved line');
      return path.join(bridge, 'QV_COTData.json');
    });

    const goldHwnd = await fakeChart('XAUUSD,H1 (demo chart)');
    const euroHwnd = await fakeChart('EURUSD,H1 (demo chart)');
    await step('the terminal companion (its own logic, on a paper account) watching the XAUUSD chart\'s orders', async () => {
      const exe = path.join(repo, 'build/native/qv_companion');
      if (!fs.existsSync(exe)) throw new Error(`${exe} is missing (bash tools/build.sh builds it)`);
      advisor = spawn(exe, [bridge, '--chart', String(goldHwnd), '--symbol', 'XAUUSD', '--orders-only', '--quotes', quotes],
        { stdio: ['ignore', 'pipe', 'pipe'] });
      advisor.stderr.on('data', (d) => say(`terminal companion: ${String(d).trim()}`));
      let pending = '';
      advisor.stdout.setEncoding('utf8');
      advisor.stdout.on('data', (d) => {
        pending += d;
        let i;
        while ((i = pending.indexOf('\n')) >= 0) {
          const line = pending.slice(0, i).replace(/\r$/, '');
          pending = pending.slice(i + 1);
          const run = /^Quorvale: order (\S+) (\S+) (\S+) (\S+) -> (?:EXECUTED ticket (\d+)|REJECTED (.*))$/.exec(line);
          if (run) {
            const [, id, action, size, symbol, ticket, reason] = run;
            executed.push({ id, action, size, symbol, ticket, reason });
          }
          if (/^Quorvale: /.test(line)) say(`terminal companion: ${line.slice(10)}`);
        }
      });
      await waitFor(() => advisor.exitCode !== null || fs.existsSync(path.join(bridge, 'QV_OpenPositions.json')), 20000, 100, 'its positions file');
      if (advisor.exitCode !== null) throw new Error(`qv_companion ended with status ${advisor.exitCode}`);
      return `pid ${advisor.pid}, chart ${goldHwnd}, prices from ${quotes}`;
    });
    await step('two charts (XAUUSD, EURUSD) and the studio launched by the terminal companion', async () => {
      // One at a time: the first child starts the browser that the others then join.
      const launches = [
        [{ hwnd: goldHwnd, symbol: 'XAUUSD', interval: '60' }, /Navigating to: \S*symbol=[^&\s]*XAUUSD/],
        [{ hwnd: euroHwnd, symbol: 'EURUSD', interval: '60' }, /Navigating to: \S*symbol=[^&\s]*EURUSD/],
        [{ hwnd: 0, symbol: 'XAUUSD', mode: 'HEADLESS_VPS' }, /Navigating Headless Agent to: /],
      ];
      for (const [request, navigated] of launches) {
        gold.writeLaunch(request);
        await waitFor(() => navigated.test(newLog()), 90000, 200, `${request.mode ?? request.symbol} navigating in the log`);
      }
      return `chart windows ${goldHwnd} and ${euroHwnd}, studio without a chart window`;
    });

    const portFile = path.join(appdata, 'Quorvale_Workspace_Data', 'Profile', 'DevToolsActivePort');
    const pages = {};
    // Each page's HUD, in its own world under a closed root: reached as DevTools reaches it,
    // clicked and typed into with real input events.
    const huds = {};
    await step('the HUD is built in both chart pages and the studio', async () => {
      const port = await waitFor(() => {
        const text = fs.existsSync(portFile) ? fs.readFileSync(portFile, 'utf8') : '';
        return text.includes('\n') ? text.split('\n')[0].trim() : false;
      }, 90000, 200, 'the browser DevTools port');
      browser = await chromium.connectOverCDP(`http://127.0.0.1:${port}`);
      const find = (re) => waitFor(() => browser.contexts().flatMap((c) => c.pages()).find((p) => re.test(p.url())), 90000, 200, `a page at ${re}`);
      pages.gold = await find(/\/chart\/\?symbol=[^&]*XAUUSD/);
      pages.euro = await find(/\/chart\/\?symbol=[^&]*EURUSD/);
      pages.studio = await find(/headless\.html/);
      for (const [name, p] of Object.entries(pages)) {
        p.on('dialog', (d) => {
          say(`the ${name} page showed a dialog: ${d.message()}`);
          d.dismiss().catch(() => {});
        });
      }
      for (const [name, p] of Object.entries(pages)) {
        huds[name] = await attachHud(p);
        await huds[name].waitFor('#qv-hud-panel', { timeout: 60000 });
      }
      await huds.gold.waitFor('#qv-btn-buy', { timeout: 30000 });
      return `pages ${pages.gold.url()}\n        ${pages.euro.url()}\n        ${pages.studio.url()}`;
    });

    await step('the COT badge shows the sample reading and the chart its candles', async () => {
      const badge = await waitFor(async () => {
        const t = await huds.gold.text('#qv-cot-badge-text').catch(() => '');
        return /^COT: \[/.test(t) ? t : false;
      }, 30000, 300, 'a COT reading in the badge');
      await waitFor(() => pages.gold.evaluate(() => document.querySelectorAll('#price-axis div').length >= 3), 20000, 300, 'the price axis labels');
      await waitFor(() => pages.euro.evaluate(() => document.querySelectorAll('#price-axis div').length >= 3), 20000, 300, 'the EURUSD price axis labels');
      await new Promise((r) => setTimeout(r, 1500));  // let the badges finish their first round
      const files = [await shoot(pages.gold, '1-chart-xauusd.png'), await shoot(pages.euro, '2-chart-eurusd.png'),
        await shoot(pages.studio, '3-studio.png')];
      return `badge "${badge}"\n        screenshots ${files.join('\n                    ')}`;
    });

    await step('the stop loss picked on the chart from its price-axis labels', async () => {
      // The round-price label just below the last price, clicked in the middle of the chart.
      const target = await pages.gold.evaluate(() => {
        const last = document.querySelector('#price-axis div.last').getBoundingClientRect();
        const canvas = document.getElementById('demo-canvas').getBoundingClientRect();
        const below = [...document.querySelectorAll('#price-axis div:not(.last)')]
          .map((d) => ({ text: d.textContent, r: d.getBoundingClientRect() }))
          .filter((l) => l.r.top > last.bottom + 25 && l.r.bottom < canvas.bottom)
          .sort((a, b) => a.r.top - b.r.top);
        if (!below.length) return null;
        return { text: below[0].text, x: canvas.left + canvas.width / 2, y: below[0].r.top + below[0].r.height / 2 };
      });
      if (!target) throw new Error('no price-axis label below the last price');
      await huds.gold.click('#qv-pick-sl');
      await pages.gold.mouse.move(target.x, target.y);
      await pages.gold.mouse.click(target.x, target.y);
      const value = await waitFor(async () => {
        const v = await huds.gold.value('#qv-sl-input');
        return v === target.text ? v : false;
      }, 5000, 100, `the stop loss field to read ${target.text}`);
      return `SL ${value}, the label's price`;
    });

    const before = executed.length;
    await step('BUY clicked on the XAUUSD ticket and executed by the terminal companion', async () => {
      await huds.gold.click('#qv-btn-buy');
      const record = await waitFor(() => executed.slice(before).find((r) => r.action === 'BUY'), 30000, 100, 'the BUY run by the companion');
      if (!record.ticket) throw new Error(`the companion refused the BUY: ${record.reason}`);
      await waitFor(async () => (await huds.gold.text('#qv-order-status')) === `BUY EXECUTED #${record.ticket}`, 15000, 200,
        'the ticket showing the execution with its ticket number');
      // With a current companion running the order travels in its own file only (the slot
      // QV_TradeSignal.csv is left for companions of the first version).
      return `order ${record.id} ${record.action} ${record.size} ${record.symbol}, ticket ${record.ticket}`;
    });

    await step('the positions badge shows the open position', async () => {
      const text = await waitFor(async () => {
        const t = await huds.gold.text('#qv-pnl-badge');
        return /\(1\)/.test(t) ? t : false;
      }, 20000, 200, 'the badge counting one position');
      await new Promise((r) => setTimeout(r, 500));
      const file = await shoot(pages.gold, '4-after-buy.png');
      fs.copyFileSync(file, path.join(demo, 'workspace.png'));
      return `badge "${text}"\n        screenshot ${file} (also ${path.join(demo, 'workspace.png')})`;
    });

    await step("the fill's picture is in the journal folder and the fill announced on Telegram", async () => {
      const upload = await waitFor(() => cloud.uploads.find((u) => u.action === 'BUY'), 30000, 200, 'the journal upload');
      await waitFor(() => telegram.sent.find((m) => /QUORVALE TRADE FILLED/.test(String(m.text))), 20000, 200, 'the trade-filled notice');
      if (upload.bytes === 0 || upload.bytes !== upload.declared) throw new Error(`upload of ${upload.bytes} bytes, declared ${upload.declared}`);
      return `${upload.file}`;
    });

    await step('/status sent on Telegram is answered by the bot', async () => {
      const seen = telegram.sent.length;
      telegram.pushText(Number(CHAT), '/status');
      await waitFor(() => telegram.sent.slice(seen).find((m) => /QUORVALE WORKSPACE SENTINEL/.test(String(m.text))), 30000, 200, 'the status reply');
      return null;
    });
    say(`all ${stepNo} steps done; screenshots in ${shots}, journal in ${journal}`);

    if (watch) {
      say('--watch: the windows stay open; click the HUD. Ctrl+C ends the demo.');
      await new Promise((resolve) => process.on('SIGINT', resolve).on('SIGTERM', resolve));
    }
    await cleanup();
    return 0;
  } catch (err) {
    if (!err.reported) say(`FAILED: ${err.stack || err}`);
    await cleanup().catch(() => {});
    return 1;
  }
}

main().then((code) => {
  for (const c of spawned) c.kill();
  process.exit(code);
}, (err) => {
  console.error(err);
  process.exit(1);
});
