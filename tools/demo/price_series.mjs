// The candles the demo chart page draws: the terminal simulator's own price path
// (its ticks and bar closes), kept as open/high/low/close per bar and written into the
// demo's own folder as QV_DemoBars_<symbol>.json, which the demo serves to the chart page on a
// host of its own (the workspace's data host serves only the workspace's files).
import fs from 'node:fs';
import path from 'node:path';
import { TerminalSim, instrument } from '../../testing/terminal-sim/terminal.mjs';

/** A simulator that only moves prices: its snapshot belongs to the chart that trades. */
export class QuietTerminal extends TerminalSim {
  writeSnapshot() {
    return null;
  }
}

export class PriceSeries {
  constructor(companion, folder) {
    this.companion = companion;
    this.folder = folder;
    this.bars = [];
    this.current = this.openBar(companion.price());
  }

  openBar(price) {
    return { t: this.companion.barTime, o: price, h: price, l: price, c: price };
  }

  observe() {
    const p = this.companion.price();
    this.current.h = Math.max(this.current.h, p);
    this.current.l = Math.min(this.current.l, p);
    this.current.c = p;
  }

  tick() {
    this.companion.tick();
    this.observe();
  }

  nextBar() {
    this.companion.nextBar();
    this.observe();
    this.bars.push(this.current);
    this.current = this.openBar(this.companion.price());
  }

  /** Plays count bars of ticksPerBar ticks each, so the chart opens with a history. */
  history(count, ticksPerBar = 6) {
    for (let i = 0; i < count; i++) {
      for (let k = 0; k < ticksPerBar; k++) this.tick();
      this.nextBar();
    }
  }

  write() {
    const c = this.companion;
    const text = JSON.stringify({
      symbol: c.symbol,
      timeframe: c.timeframe,
      digits: instrument(c.symbol).digits,
      bars: [...this.bars.slice(-300), this.current],
    });
    const target = path.join(this.folder, `QV_DemoBars_${c.symbol}.json`);
    const temp = `${target}.${process.pid}.part`;
    fs.writeFileSync(temp, text);
    fs.renameSync(temp, target);
    return target;
  }
}
