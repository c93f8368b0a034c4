// The HUD's price-or-distance rule (hud/level_reading.js) against the table the terminal
// companion's rule is tested with (tests/unit/level_reading_cases.tsv): one rule on both
// sides of the bridge.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import vm from 'node:vm';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
const rule = vm.createContext({});
vm.runInContext(fs.readFileSync(path.join(root, 'hud/level_reading.js'), 'utf8'), rule);

const rows = fs.readFileSync(path.join(root, 'tests/unit/level_reading_cases.tsv'), 'utf8')
  .split('\n').filter((l) => l && !l.startsWith('#')).map((l) => l.split('\t'));

test('every case of the shared table reads as the companion reads it', () => {
  assert.ok(rows.length >= 20);
  for (const [text, kind, side, stop, bid, ask, digits, unit, whole, expect] of rows) {
    const m = { buy: side === 'BUY', stop: stop === '1', bid: Number(bid), ask: Number(ask), digits: Number(digits),
      unit: Number(unit), whole: whole === '1', unitName: whole === '1' ? 'points' : 'pips' };
    const got = rule.readLevel(text, kind === '-' ? '' : kind, m);
    const line = [text, kind, side, stop, bid, ask].join(' ');
    if (expect.startsWith('refuse:')) {
      assert.equal(got.ok, false, `${line} read as ${got.price}`);
      assert.ok(got.reason.includes(expect.slice(7)), `${line}: ${got.reason}`);
    } else {
      assert.equal(got.ok, true, `${line}: ${got.reason}`);
      assert.ok(Math.abs(got.price - (expect === 'none' ? 0 : Number(expect))) < 1e-9, `${line} gave ${got.price}`);
    }
  }
});

test('a level read once goes out marked, so the companion need not read it again', () => {
  const m = { buy: true, stop: true, bid: 150, ask: 150.01, digits: 3, unit: 0.01, whole: false, unitName: 'pips' };
  assert.equal(rule.markedLevel('100', rule.readLevel('100', '', m).reading), 'D:100');
  assert.equal(rule.markedLevel('149.2', rule.readLevel('149.2', 'PRICE', m).reading), 'P:149.2');
  assert.equal(rule.markedLevel('149.5', rule.readLevel('149.5', '', m).reading), '149.5', 'an ambiguous value is not marked');
  assert.equal(rule.markedLevel('0', rule.readLevel('0', '', m).reading), '0');
});
