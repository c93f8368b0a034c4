#!/usr/bin/env node
// Terminal-companion simulator: plays the expert advisor's side of the bridge folder for the
// tests and the demo. It writes launch, kill and capture requests, the technical snapshot
// and the open positions, executes trade-signal records on a paper account and reads the
// heartbeats, in the same file formats and with the same habits as the real thing (CRLF
// text files, request files appearing whole, records executed once per id).
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

/**
 * One trade-signal record: six comma-separated fields, id, action, size, symbol, sl, tp;
 * sl and tp may be empty. The workspace replaces the file whole, but an older workspace
 * rewrote it in place: text with fewer than six fields is a record still being written
 * and yields null, never a half order whose id would then be spent.
 */
export function parseTradeSignal(text) {
  const line = text.replace(/^\uFEFF/, '').split(/\r?\n/)[0];
  const fields = line.split(',');
  if (fields.length < 6) return null;
  const [id, action, size, symbol, sl, tp] = fields.map((f) => f.trim());
  if (id === '') return null;
  return { id, action, size, symbol, sl, tp };
}

/**
 * An order file QV_Order_<id>.csv: the six-field record and its line feed, the first field
 * equal to the id in the name. Anything short of that is not a whole order and yields null.
 */
export function parseOrderFile(text, id) {
  if (!text.endsWith('\n')) return null;
  const line = text.slice(0, -1).replace(/\r$/, '');
  if (/[\x00-\x1f\x7f]/.test(line)) return null;
  const fields = line.split(',');
  if (fields.length !== 6 || fields[0] !== id) return null;
  const [, action, size, symbol, sl, tp] = fields;
  return { id, action, size, symbol, sl, tp };
}

/** A result file's text: KEY=VALUE lines with CRLF ends, closed by END=1. */
export function resultText({ id, status, ticket, price, volume, reason }) {
  const lines = [`ID=${id}`, `STATUS=${status}`];
  if (ticket !== undefined) lines.push(`TICKET=${ticket}`);
  if (price !== undefined) lines.push(`PRICE=${price}`);
  if (volume !== undefined) lines.push(`VOLUME=${volume}`);
  if (reason !== undefined) lines.push(`REASON=${String(reason).replace(/[\r\n]/g, ' ').slice(0, 200)}`);
  lines.push('END=1');
  return lines.map((l) => l + '\r\n').join('');
}

export const ORDER_MAX_AGE_MS = 60000;

/** Order size: lots as written, or "R:" + percent of the balance at risk. */
export function parseSize(size) {
  const risk = /^R:\s*([0-9]*\.?[0-9]+)$/i.exec(size);
  if (risk) return { riskPct: Number(risk[1]) };
  const lots = Number(size);
  return Number.isFinite(lots) && lots > 0 ? { lots } : { lots: 0.1 };
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

/**
 * A stop or target as the trader typed it: 0 or empty is none; a number close to the
 * price is a price; anything else is a distance in pips from the entry.
 */
export function resolveLevel(value, { side, entry, symbol, kind }) {
  const v = Number(value);
  if (!value || !Number.isFinite(v) || v <= 0) return 0;
  if (Math.abs(v - entry) <= entry * 0.25) return v;
  const { pip, digits } = instrument(symbol);
  const distance = v * pip;
  const away = (kind === 'sl') === (side === 'BUY') ? -1 : 1;
  return round(entry + away * distance, digits);
}

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

export class Companion {
  /**
   * bridge: unix path of the bridge folder. chart: the chart this companion sits on
   * (its symbol resolves CURRENT); price and timeframe start the snapshot.
   */
  constructor(bridge, { symbol = 'XAUUSD', price = 2650.5, timeframe = 'H1', balance = 10000, seed = 7,
    barTime = Date.UTC(2026, 11, 7, 9, 0, 0) / 1000, spreadPts = 18, captureOnFill = false,
    userId = 'MQL5_MARKET_EDITION', accountNumber = '5001234', marketMeta = null,
    legacy = false, rejectReason = null, executeOrders = true, quoteDir = null } = {}) {
    this.bridge = bridge;
    this.symbol = symbol;
    this.timeframe = timeframe;
    this.balance = balance;
    this.spreadPts = spreadPts;
    this.captureOnFill = captureOnFill;
    this.userId = userId;
    this.accountNumber = accountNumber;
    this.marketMeta = marketMeta;
    this.prices = new Map([[bareSymbol(symbol), price]]);
    this.barTime = barTime;
    this.bars = [];
    this.random = seededRandom(seed);
    this.positions = [];
    this.nextTicket = 100001;
    this.executed = new Set();
    this.journal = [];
    this.counter = 0;
    this.marketClosed = null;
    // legacy: a companion of the first version, which knows only QV_TradeSignal.csv and
    // writes no results. rejectReason: every order is refused with this reason.
    this.legacy = legacy;
    this.rejectReason = rejectReason;
    // executeOrders false: the advisor's own logic (build/native/qv_companion --orders-only)
    // executes the orders and writes the positions; this one only launches and snapshots.
    this.executeOrders = executeOrders;
    // quoteDir: every price set here is also published as <quoteDir>/<SYMBOL>.txt ("bid ask"),
    // which the advisor's paper server follows (qv_companion --quotes), so the chart, the
    // snapshot and the fills agree on one price.
    this.quoteDir = quoteDir;
    this.results = [];
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
    const temp = this.file(`~companion_${process.pid}_${++this.counter}.part`);
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
    this.reprice();
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

  reprice() {
    for (const p of this.positions) {
      const current = this.price(p.symbol);
      const { contract } = instrument(p.symbol);
      p.price_current = current;
      p.profit = round((current - p.price_open) * (p.type === 'BUY' ? 1 : -1) * p.volume * contract, 2);
    }
  }

  /** The positions file: a JSON array, at least ticket (string) and profit per entry. */
  writePositions() {
    this.reprice();
    const list = this.positions.map((p) => ({ ...p }));
    if (this.marketMeta) list.unshift({ ticket: '0', profit: 0, ...this.marketMeta });
    return this.writeFile('QV_OpenPositions.json', Buffer.from(JSON.stringify(list), 'utf8'));
  }

  open(symbol, side, volume, slText, tpText) {
    const entry = this.price(symbol);
    const position = {
      ticket: String(this.nextTicket++),
      symbol: bareSymbol(symbol),
      type: side,
      volume: round(volume, 2),
      price_open: entry,
      price_current: entry,
      sl: resolveLevel(slText, { side, entry, symbol, kind: 'sl' }),
      tp: resolveLevel(tpText, { side, entry, symbol, kind: 'tp' }),
      profit: 0,
      time: this.barTime,
    };
    this.positions.push(position);
    return position;
  }

  lotsFor(size, symbol, side, slText) {
    const parsed = parseSize(size);
    if (parsed.lots) return Math.max(0.01, round(parsed.lots, 2));
    const entry = this.price(symbol);
    const sl = resolveLevel(slText, { side, entry, symbol, kind: 'sl' });
    const distance = sl ? Math.abs(entry - sl) : entry * 0.01;
    const money = (this.balance * parsed.riskPct) / 100;
    return Math.max(0.01, Math.floor((money / (distance * instrument(symbol).contract)) * 100) / 100);
  }

  /** Runs one record on the paper account. Returns what happened, for the journal. */
  execute(record) {
    const action = record.action.toUpperCase();
    const all = record.symbol.toUpperCase() === 'ALL';
    const symbol = record.symbol === '' || record.symbol.toUpperCase() === 'CURRENT' ? this.symbol : record.symbol;
    const mine = (p) => all || p.symbol === bareSymbol(symbol);
    // at: when it ran, for checks of how late an order was executed.
    const result = { id: record.id, action, symbol: all ? 'ALL' : bareSymbol(symbol), opened: [], closed: [], changed: [], at: Date.now() };
    switch (action) {
      case 'BUY':
      case 'SELL': {
        if (all) {
          result.rejected = 'no symbol for an opening order';
          break;
        }
        const lots = this.lotsFor(record.size, symbol, action, record.sl);
        result.opened.push(this.open(symbol, action, lots, record.sl, record.tp).ticket);
        break;
      }
      case 'CLOSE':
        result.closed = this.positions.filter(mine).map((p) => p.ticket);
        this.positions = this.positions.filter((p) => !mine(p));
        break;
      case 'CLOSE_50':
        for (const p of this.positions.filter(mine)) {
          const half = Math.floor((p.volume / 2) * 100) / 100;
          if (half < 0.01) {
            result.closed.push(p.ticket);
            this.positions = this.positions.filter((q) => q !== p);
          } else {
            p.volume = round(p.volume - half, 2);
            result.changed.push(p.ticket);
          }
        }
        break;
      case 'BE_PLUS':
        for (const p of this.positions.filter(mine)) {
          const { pip, digits } = instrument(p.symbol);
          p.sl = round(p.price_open + (p.type === 'BUY' ? 2 : -2) * pip, digits);
          result.changed.push(p.ticket);
        }
        break;
      case 'REVERSE':
        for (const p of this.positions.filter(mine)) {
          this.positions = this.positions.filter((q) => q !== p);
          result.closed.push(p.ticket);
          result.opened.push(this.open(p.symbol, p.type === 'BUY' ? 'SELL' : 'BUY', p.volume, '0', '0').ticket);
        }
        break;
      default:
        result.rejected = `unknown action ${record.action}`;
    }
    if (!result.rejected && (result.opened.length || result.closed.length || result.changed.length)) {
      this.writePositions();
      if (this.captureOnFill) {
        for (const ticket of result.opened) this.writeCapture({ ticket, symbol: result.symbol, action });
      }
    }
    this.journal.push(result);
    return result;
  }

  /** Marks the record now in the signal file as already handled (a companion starting up). */
  skipCurrentSignal() {
    const record = this.readTradeSignal();
    if (record) this.executed.add(record.id);
  }

  readTradeSignal() {
    let bytes;
    try {
      bytes = fs.readFileSync(this.file('QV_TradeSignal.csv'));
    } catch {
      return null;
    }
    return parseTradeSignal(decodeText(bytes));
  }

  /** Executes the signal file's record when its id is new; null when there is nothing new. */
  pollTradeSignal() {
    const record = this.readTradeSignal();
    if (!record || this.executed.has(record.id)) return null;
    this.executed.add(record.id);
    return this.execute(record);
  }

  /** True when the workspace announced order files (QV_Protocol.txt ORDER_FILES=1). */
  orderFilesAnnounced() {
    if (this.legacy) return false;
    try {
      return /^ORDER_FILES=1\s*$/m.test(decodeText(fs.readFileSync(this.file('QV_Protocol.txt'))));
    } catch {
      return false;
    }
  }

  writeResult(fields) {
    this.results.push(fields);
    return this.writeFile(`QV_TradeResult_${fields.id}.txt`, Buffer.from(resultText(fields), 'utf8'));
  }

  /**
   * Takes every order file: claims it by renaming it to QV_OrderTaken_<id>.csv (another
   * companion that renamed it first wins), executes it once per id unless it is older than
   * a minute, writes its result, then removes the taken file. Oldest id first.
   */
  pollOrderFiles() {
    const done = [];
    const names = fs.readdirSync(this.bridge).filter((n) => /^QV_Order_[A-Za-z0-9_.-]{1,64}\.csv$/.test(n));
    const key = (n) => n.slice('QV_Order_'.length, -'.csv'.length);
    names.sort((a, b) => {
      const x = key(a), y = key(b);
      if (/^\d+$/.test(x) && /^\d+$/.test(y)) return x.length - y.length || (x < y ? -1 : x > y ? 1 : 0);
      return x < y ? -1 : x > y ? 1 : 0;
    });
    for (const name of names) {
      const id = key(name);
      const taken = this.file(`QV_OrderTaken_${id}.csv`);
      let mtimeMs;
      try {
        mtimeMs = fs.statSync(this.file(name)).mtimeMs;
        fs.renameSync(this.file(name), taken);
      } catch {
        continue; // another companion claimed it, or the workspace took it back
      }
      let record = null;
      try {
        record = parseOrderFile(decodeText(fs.readFileSync(taken)), id);
      } catch {
        record = null;
      }
      if (this.executed.has(id)) {
        fs.rmSync(taken, { force: true });
        continue;
      }
      this.executed.add(id);
      if (!record) {
        this.writeResult({ id, status: 'REJECTED', reason: 'unreadable order' });
      } else if (Date.now() - mtimeMs > ORDER_MAX_AGE_MS) {
        this.writeResult({ id, status: 'REJECTED', reason: 'expired' });
      } else if (this.rejectReason) {
        this.journal.push({ id, action: record.action, symbol: bareSymbol(record.symbol), rejected: this.rejectReason, opened: [], closed: [], changed: [], at: Date.now() });
        this.writeResult({ id, status: 'REJECTED', reason: this.rejectReason });
      } else {
        const r = this.execute(record);
        done.push(r);
        if (r.rejected) {
          this.writeResult({ id, status: 'REJECTED', reason: r.rejected });
        } else {
          const ticket = r.opened[0] ?? r.closed[0] ?? r.changed[0] ?? '0';
          const position = this.positions.find((p) => p.ticket === ticket);
          this.writeResult({ id, status: 'EXECUTED', ticket, price: position?.price_open, volume: position?.volume });
        }
      }
      fs.rmSync(taken, { force: true });
    }
    return done;
  }

  /** One pass of the companion's timer: order files when announced, else the signal file. */
  pollOrders() {
    if (this.orderFilesAnnounced()) return this.pollOrderFiles();
    const r = this.pollTradeSignal();
    return r ? [r] : [];
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

  /** Runs the companion's timer: trade signals every pollMs (unless executeOrders is false), a new bar every barMs. */
  start({ pollMs = 200, barMs = 0, tickMs = 0, onExecute } = {}) {
    this.writeSnapshot();
    const timers = [];
    if (this.executeOrders) {
      this.writePositions();
      timers.push(setInterval(() => {
        for (const r of this.pollOrders()) if (onExecute) onExecute(r);
      }, pollMs));
    }
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

const USAGE = `usage: companion.mjs <bridge folder> <command> [options]
  launch --hwnd N [--symbol S] [--interval I] [--theme T] [--user-id U] [--mode M] [--encoding utf8|utf8-bom|utf16le|utf16le-bom]
  kill N
  capture --ticket T [--symbol S] [--action A] [--url U]
  snapshot [--symbol S] [--price P] [--timeframe H1] [--bars N]
  heartbeats
  run [--symbol S] [--price P] [--timeframe H1] [--bar-ms 60000] [--tick-ms 2000] [--capture-on-fill]
      [--poll-ms 200] [--legacy] [--reject REASON]
      --legacy: a first-version companion (QV_TradeSignal.csv only, no results)
      --reject: every order is answered REJECTED with REASON`;

async function main(argv) {
  const args = parseArgs(argv);
  const [bridge, command, ...rest] = args._;
  if (!bridge || !command) {
    console.error(USAGE);
    return 2;
  }
  const companion = new Companion(bridge, {
    symbol: args.symbol ?? 'XAUUSD', price: args.price ? Number(args.price) : undefined,
    timeframe: args.timeframe ?? 'H1', captureOnFill: Boolean(args.captureOnFill),
    legacy: Boolean(args.legacy), rejectReason: typeof args.reject === 'string' ? args.reject : null,
  });
  switch (command) {
    case 'launch':
      console.log(companion.writeLaunch({ hwnd: args.hwnd, symbol: args.symbol, interval: args.interval, theme: args.theme,
        userId: args.userId, mode: args.mode, encoding: args.encoding ?? 'utf8' }));
      return 0;
    case 'kill':
      console.log(companion.writeKill(rest[0] ?? args.hwnd));
      return 0;
    case 'capture':
      console.log(companion.writeCapture({ ticket: args.ticket ?? '', symbol: args.symbol, action: args.action ?? 'BUY', url: args.url }));
      return 0;
    case 'snapshot':
      for (let i = 0; i < Number(args.bars ?? 0); i++) companion.nextBar();
      console.log(companion.writeSnapshot());
      return 0;
    case 'heartbeats':
      console.log(JSON.stringify(companion.readHeartbeats(), null, 1));
      return 0;
    case 'run': {
      companion.skipCurrentSignal();
      companion.start({ pollMs: Number(args.pollMs ?? 200), barMs: Number(args.barMs ?? 60000), tickMs: Number(args.tickMs ?? 2000),
        onExecute: (r) => console.log(JSON.stringify(r)) });
      await new Promise((resolve) => process.on('SIGINT', resolve).on('SIGTERM', resolve));
      companion.stop();
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
