#!/usr/bin/env node
// The terminal's side of the bridge folder for the tests and the demo: it writes launch,
// kill and capture requests, the chart's technical snapshot and its quotes, and reads the
// heartbeats, in the same file formats and with the same habits as the terminal (CRLF text
// files, request files appearing whole). Orders are not run here: build/native/qv_companion
// runs them with the advisor's own logic (tests/wine/lib/advisor.mjs).
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

export const DAEMON_HEARTBEAT_HANDLE = '999999999';

/** Bytes of a text in one of the encodings the workspace must accept. */
export function encodeText(text, encoding = 'utf8') {
  switch (encoding) {
    case 'utf8':
      return Buffer.from(text, 'utf8');
    case 'utf8-bom':
      return Buffer.concat([Buffer.from([0xef, 0xbb, 0xbf]), Buffer.from(text, 'utf8')]);
    case 'utf16le':
      return Buffer.from(text, 'utf16le');
    case 'utf16le-bom':
      return Buffer.concat([Buffer.from([0xff, 0xfe]), Buffer.from(text, 'utf16le')]);
    default:
      throw new Error(`unknown encoding ${encoding}`);
  }
}

/** Text of a file written by the workspace (UTF-8) or by hand (UTF-16 LE with a mark). */
export function decodeText(bytes) {
  if (bytes.length >= 2 && bytes[0] === 0xff && bytes[1] === 0xfe) return bytes.subarray(2).toString('utf16le');
  if (bytes.length >= 3 && bytes[0] === 0xef && bytes[1] === 0xbb && bytes[2] === 0xbf) {
    return bytes.subarray(3).toString('utf8');
  }
  return bytes.toString('utf8');
}

const bareSymbol = (s) => String(s).replace(/^[^:]*:/, '').toUpperCase();

/** Price of one pip and the contract size per lot, broker-style, for the paper account. */
export function instrument(symbol) {
  const s = bareSymbol(symbol);
  if (/XAU|GOLD/.test(s)) return { pip: 0.1, contract: 100, digits: 2 };
  if (/XAG|SILVER/.test(s)) return { pip: 0.01, contract: 5000, digits: 3 };
  if (/BTC|ETH|SOL|XRP/.test(s)) return { pip: 1, contract: 1, digits: 2 };
  if (/US30|US100|US500|NAS|NDX|SPX|DJI|GER|UK100/.test(s)) return { pip: 1, contract: 1, digits: 1 };
  if (/OIL|WTI|BRENT|XTI|XBR/.test(s)) return { pip: 0.01, contract: 1000, digits: 2 };
  if (/JPY/.test(s)) return { pip: 0.01, contract: 100000, digits: 3 };
  return { pip: 0.0001, contract: 100000, digits: 5 };
}

const round = (v, digits) => Number(v.toFixed(digits));

const WEEKDAYS = ['Sunday', 'Monday', 'Tuesday', 'Wednesday', 'Thursday', 'Friday', 'Saturday'];
const PERIOD_SECONDS = { M1: 60, M5: 300, M15: 900, M30: 1800, H1: 3600, H4: 14400, D1: 86400, W1: 604800 };
const pad = (n) => String(n).padStart(2, '0');
const mt5Time = (seconds) => {
  const d = new Date(seconds * 1000);
  return `${d.getUTCFullYear()}.${pad(d.getUTCMonth() + 1)}.${pad(d.getUTCDate())} ${pad(d.getUTCHours())}:${pad(d.getUTCMinutes())}`;
};

/** Small deterministic generator, so a demo or a test sees the same prices every run. */
function seededRandom(seed) {
  let s = seed >>> 0 || 1;
  return () => {
    s ^= s << 13;
    s ^= s >>> 17;
    s ^= s << 5;
    return ((s >>> 0) % 1000000) / 1000000;
  };
}

export class TerminalSim {
  /**
   * bridge: unix path of the bridge folder. symbol: the chart's symbol; price and timeframe
   * start the snapshot.
   */
  constructor(bridge, { symbol = 'XAUUSD', price = 2650.5, timeframe = 'H1', seed = 7,
    barTime = Date.UTC(2026, 11, 7, 9, 0, 0) / 1000, spreadPts = 18,
    userId = 'MQL5_MARKET_EDITION', accountNumber = '5001234', quoteDir = null } = {}) {
    this.bridge = bridge;
    this.symbol = symbol;
    this.timeframe = timeframe;
    this.spreadPts = spreadPts;
    this.userId = userId;
    this.accountNumber = accountNumber;
    this.prices = new Map([[bareSymbol(symbol), price]]);
    this.barTime = barTime;
    this.bars = [];
    this.random = seededRandom(seed);
    this.counter = 0;
    this.marketClosed = null;
    // quoteDir: every price set here is also published as <quoteDir>/<SYMBOL>.txt ("bid ask"),
    // which the advisor's paper server follows (qv_companion --quotes), so the chart, the
    // snapshot and the fills agree on one price.
    this.quoteDir = quoteDir;
    fs.mkdirSync(bridge, { recursive: true });
    if (quoteDir) {
      fs.mkdirSync(quoteDir, { recursive: true });
      this.publishQuote(symbol);
    }
  }

  file(name) {
    return path.join(this.bridge, name);
  }

  /**
   * Writes a file so that a reader never sees it half-written: the bytes go to a name no
   * reader watches, then the name is switched in one rename. atomic false writes in place.
   */
  writeFile(name, bytes, { atomic = true } = {}) {
    const target = this.file(name);
    if (!atomic) {
      fs.writeFileSync(target, bytes);
      return target;
    }
    const temp = this.file(`~terminal_${process.pid}_${++this.counter}.part`);
    fs.writeFileSync(temp, bytes);
    fs.renameSync(temp, target);
    return target;
  }

  /** A launch request: key=value lines with CRLF ends, as the terminal writes text files. */
  writeLaunch({ hwnd, symbol, interval, theme, userId, mode, extraLines = [], name, encoding = 'utf8',
    lineEnd = '\r\n', atomic = true } = {}) {
    const lines = [];
    if (hwnd !== undefined) lines.push(`HWND=${hwnd}`);
    if (symbol !== undefined) lines.push(`SYMBOL=${symbol}`);
    if (interval !== undefined) lines.push(`INTERVAL=${interval}`);
    if (theme !== undefined) lines.push(`THEME=${theme}`);
    if (userId !== undefined) lines.push(`USER_ID=${userId}`);
    if (mode !== undefined) lines.push(`MODE=${mode}`);
    lines.push(...extraLines);
    const fileName = name ?? `QV_Launch_${String(hwnd ?? 'x').replace(/[^0-9A-Za-z]/g, '')}_${Date.now()}_${++this.counter}.txt`;
    return this.writeFile(fileName, encodeText(lines.map((l) => l + lineEnd).join(''), encoding), { atomic });
  }

  /** A kill request; the chart is named by its handle in plain decimal. */
  writeKill(hwnd) {
    return this.writeFile(`QV_Kill_${BigInt(hwnd).toString()}.txt`, Buffer.from('KILL'));
  }

  /** A capture request after a fill; keys as the capture watcher reads them. */
  writeCapture({ ticket = '', symbol = this.symbol, action = '', userId = this.userId,
    accountNumber = this.accountNumber, url, name, encoding = 'utf8', lineEnd = '\r\n' } = {}) {
    const lines = [`TICKET=${ticket}`, `SYMBOL=${symbol}`, `ACTION=${action}`, `USER_ID=${userId}`,
      `ACCOUNT_NUM=${accountNumber}`];
    if (url !== undefined) lines.push(`FIREBASE_URL=${url}`);
    const fileName = name ?? `QV_Capture_Request_${ticket || 'x'}_${++this.counter}.txt`;
    return this.writeFile(fileName, encodeText(lines.map((l) => l + lineEnd).join(''), encoding));
  }

  price(symbol = this.symbol) {
    const key = bareSymbol(symbol);
    if (!this.prices.has(key)) this.prices.set(key, 100);
    return this.prices.get(key);
  }

  setPrice(symbol, value) {
    this.prices.set(bareSymbol(symbol), value);
    this.publishQuote(symbol);
  }

  /** Bid and ask of a symbol: the price is the bid, the ask is the spread above it. */
  quote(symbol = this.symbol) {
    const { digits } = instrument(symbol);
    const bid = this.price(symbol);
    return { bid, ask: round(bid + this.spreadPts * 10 ** -digits, digits) };
  }

  publishQuote(symbol) {
    if (!this.quoteDir) return;
    const { bid, ask } = this.quote(symbol);
    const target = path.join(this.quoteDir, `${bareSymbol(symbol)}.txt`);
    const temp = `${target}.${process.pid}.${++this.counter}.part`;
    fs.writeFileSync(temp, `${bid} ${ask}\n`);
    fs.renameSync(temp, target);
  }

  /** The technical snapshot of the chart, every member the page reads. */
  snapshot() {
    const price = this.price();
    const { digits } = instrument(this.symbol);
    const atr = round(price * 0.004, digits);
    const recent = this.bars.slice(-20);
    const highs = recent.map((b) => b.high);
    const lows = recent.map((b) => b.low);
    const now = new Date(this.barTime * 1000);
    const day = WEEKDAYS[now.getUTCDay()];
    const weekend = day === 'Saturday' || day === 'Sunday';
    const closed = this.marketClosed ?? weekend;
    return {
      Symbol: this.symbol,
      CurrentPrice: price,
      Timeframe: this.timeframe,
      PeriodStr: this.timeframe,
      BarTime: this.barTime,
      BarTimeStr: mt5Time(this.barTime),
      D1_High: round(price * 1.006, digits),
      D1_Low: round(price * 0.994, digits),
      H4_High: round(price * 1.003, digits),
      H4_Low: round(price * 0.997, digits),
      Range20_High: highs.length ? Math.max(...highs) : round(price * 1.002, digits),
      Range20_Low: lows.length ? Math.min(...lows) : round(price * 0.998, digits),
      ATR_14: atr,
      ATR_Volatility: atr,
      CurrentSpreadPts: this.spreadPts,
      CurrentHourUTC: now.getUTCHours(),
      SwingHigh_Resistance: round(price * 1.004, digits),
      SwingLow_Support: round(price * 0.996, digits),
      MTF_Resistance_D1: round(price * 1.012, digits),
      MTF_Support_D1: round(price * 0.988, digits),
      DayOfWeek: day,
      MarketClosed: closed,
      MarketCloseReason: closed ? 'Weekend - Broker Session Closed' : 'Active Session',
      MarketState: closed ? 'WEEKEND_CLOSED' : 'OPEN',
    };
  }

  /** The shared snapshot and, once chartHandle is set, that chart's own QV_AICopilotData_<hwnd>.json. */
  writeSnapshot() {
    const body = Buffer.from(JSON.stringify(this.snapshot(), null, 1), 'utf8');
    if (this.chartHandle) this.writeFile(`QV_AICopilotData_${BigInt(this.chartHandle).toString()}.json`, body);
    return this.writeFile('QV_AICopilotData.json', body);
  }

  /** Moves the price within the bar; the snapshot keeps its BarTime. */
  tick() {
    const price = this.price();
    const { digits } = instrument(this.symbol);
    this.setPrice(this.symbol, round(price * (1 + (this.random() - 0.5) * 0.002), digits));
    this.writeSnapshot();
  }

  /** Closes the current bar and opens the next one: BarTime moves on by one period. */
  nextBar() {
    const price = this.price();
    const { digits } = instrument(this.symbol);
    const close = round(price * (1 + (this.random() - 0.5) * 0.004), digits);
    this.bars.push({ time: this.barTime, open: price, close, high: Math.max(price, close), low: Math.min(price, close) });
    this.barTime += PERIOD_SECONDS[this.timeframe] ?? 3600;
    this.setPrice(this.symbol, close);
    this.writeSnapshot();
    return this.barTime;
  }

  /** Every heartbeat file: handle → { tick, mtimeMs }. The daemon's is under 999999999. */
  readHeartbeats() {
    const beats = {};
    for (const name of fs.existsSync(this.bridge) ? fs.readdirSync(this.bridge) : []) {
      const m = /^QV_Active_(\d+)\.txt$/.exec(name);
      if (!m) continue;
      try {
        const text = decodeText(fs.readFileSync(this.file(name)));
        const tick = /^ACTIVE=(\d+)$/.exec(text);
        if (tick) beats[m[1]] = { tick: Number(tick[1]), mtimeMs: fs.statSync(this.file(name)).mtimeMs };
      } catch {
        // Removed between the listing and the read: that child just ended.
      }
    }
    return beats;
  }

  /** Runs the chart: the snapshot now, a price move every tickMs, a new bar every barMs. */
  start({ barMs = 0, tickMs = 0 } = {}) {
    this.writeSnapshot();
    const timers = [];
    if (barMs) timers.push(setInterval(() => this.nextBar(), barMs));
    if (tickMs) timers.push(setInterval(() => this.tick(), tickMs));
    this.stop = () => timers.forEach(clearInterval);
    return this;
  }
}

function parseArgs(argv) {
  const out = { _: [] };
  for (let i = 0; i < argv.length; i++) {
    const a = argv[i];
    if (a.startsWith('--')) {
      const key = a.slice(2).replace(/-([a-z])/g, (_, c) => c.toUpperCase());
      out[key] = argv[i + 1] !== undefined && !argv[i + 1].startsWith('--') ? argv[++i] : true;
    } else {
      out._.push(a);
    }
  }
  return out;
}

const USAGE = `usage: terminal.mjs <bridge folder> <command> [options]
  launch --hwnd N [--symbol S] [--interval I] [--theme T] [--user-id U] [--mode M] [--encoding utf8|utf8-bom|utf16le|utf16le-bom]
  kill N
  capture --ticket T [--symbol S] [--action A] [--url U]
  snapshot [--symbol S] [--price P] [--timeframe H1] [--bars N]
  heartbeats
  run [--symbol S] [--price P] [--timeframe H1] [--bar-ms 60000] [--tick-ms 2000]`;

async function main(argv) {
  const args = parseArgs(argv);
  const [bridge, command, ...rest] = args._;
  if (!bridge || !command) {
    console.error(USAGE);
    return 2;
  }
  const terminal = new TerminalSim(bridge, {
    symbol: args.symbol ?? 'XAUUSD', price: args.price ? Number(args.price) : undefined,
    timeframe: args.timeframe ?? 'H1',
  });
  switch (command) {
    case 'launch':
      console.log(terminal.writeLaunch({ hwnd: args.hwnd, symbol: args.symbol, interval: args.interval, theme: args.theme,
        userId: args.userId, mode: args.mode, encoding: args.encoding ?? 'utf8' }));
      return 0;
    case 'kill':
      console.log(terminal.writeKill(rest[0] ?? args.hwnd));
      return 0;
    case 'capture':
      console.log(terminal.writeCapture({ ticket: args.ticket ?? '', symbol: args.symbol, action: args.action ?? 'BUY', url: args.url }));
      return 0;
    case 'snapshot':
      for (let i = 0; i < Number(args.bars ?? 0); i++) terminal.nextBar();
      console.log(terminal.writeSnapshot());
      return 0;
    case 'heartbeats':
      console.log(JSON.stringify(terminal.readHeartbeats(), null, 1));
      return 0;
    case 'run': {
      terminal.start({ barMs: Number(args.barMs ?? 60000), tickMs: Number(args.tickMs ?? 2000) });
      await new Promise((resolve) => process.on('SIGINT', resolve).on('SIGTERM', resolve));
      terminal.stop();
      return 0;
    }
    default:
      console.error(USAGE);
      return 2;
  }
}

if (process.argv[1] && path.resolve(process.argv[1]) === fileURLToPath(import.meta.url)) {
  main(process.argv.slice(2)).then((code) => process.exit(code));
}
