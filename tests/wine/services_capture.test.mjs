// Capture requests under Wine: several processes looking at the bridge folder at once
// must share the waiting requests out, each exactly once, and parse what they claimed.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import fsp from 'node:fs/promises';
import path from 'node:path';
import { freshWine, paths, lineReader, waitFor } from './lib/wine.mjs';

const probe = paths.tool('services_probe.exe');
const CLOUD = 'http://127.0.0.1:9';
let w;

before(async () => {
  w = await freshWine();
  await fsp.mkdir(w.bridge, { recursive: true });
});
after(async () => {
  await w?.close();
});

const claim = () => w.run(probe, ['claim'], { env: { QV_CLOUD_BASE_URL: CLOUD } });
const claimed = (r) => r.stdout.split(/\r?\n/).filter((l) => l.startsWith('REQ ')).map((l) => l.slice(4));

test('a request is parsed whatever its encoding and line ends, and consumed', async () => {
  const utf16 = Buffer.concat([Buffer.from([0xff, 0xfe]),
    Buffer.from('TICKET=7\r\nSYMBOL=XAUUSD\r\nACTION=SELL\r\nUSER_ID=u\u00e9\r\nACCOUNT_NUM=50\r\n', 'utf16le')]);
  await fsp.writeFile(path.join(w.bridge, 'QV_Capture_Request_a.txt'), utf16);
  await fsp.writeFile(path.join(w.bridge, 'QV_Capture_Request_b.txt'),
    'TICKET=8\nFIREBASE_URL=http://127.0.0.1:1/up?k=v=w\nSYMBOL=EURUSD\nSYMBOL=GBPUSD\n');
  await fsp.writeFile(path.join(w.bridge, 'QV_Capture_Request_c.txt'), 'FIREBASE_URL=\n');
  await fsp.writeFile(path.join(w.bridge, 'QV_Capture_Other.txt'), 'TICKET=9\n');
  const lines = claimed(await claim()).sort();
  assert.deepEqual(lines, [
    '7|XAUUSD|SELL|u\u00e9|50|' + CLOUD + '/vantrelVisualJournalApi',
    '8|GBPUSD||||http://127.0.0.1:1/up?k=v=w',
    '|||||' + CLOUD + '/vantrelVisualJournalApi',
  ].sort());
  const left = fs.readdirSync(w.bridge).sort();
  assert.deepEqual(left, ['QV_Capture_Other.txt'], 'requests and claim files are gone');
});

test('two processes claiming at once take every request exactly once', async (t) => {
  const count = 500;
  for (let i = 0; i < count; i++) {
    await fsp.writeFile(path.join(w.bridge, `QV_Capture_Request_${i}.txt`), `TICKET=${i}\nSYMBOL=S${i}\n`);
  }
  // Both processes are started first and released together, so their scans overlap.
  const runs = [0, 1].map(() => {
    const child = w.spawn(probe, ['claim', 'gated'], { env: { QV_CLOUD_BASE_URL: CLOUD } });
    const out = lineReader(child.stdout);
    const ended = new Promise((resolve) => child.on('close', resolve));
    return { child, out, ended };
  });
  for (const r of runs) await r.out.next((l) => l === 'READY', 60000);
  for (const r of runs) r.child.stdin.write('go\n');
  await Promise.all(runs.map((r) => r.ended));
  await waitFor(() => runs.every((r) => r.out.lines.includes('END')), 5000, 50, 'both lists');
  const [a, b] = runs.map((r) => ({ stdout: r.out.lines.join('\n') }));
  const tickets = [...claimed(a), ...claimed(b)].map((l) => Number(l.split('|')[0]));
  t.diagnostic(`claimed ${claimed(a).length} + ${claimed(b).length}`);
  assert.equal(tickets.length, count, `claimed ${claimed(a).length} + ${claimed(b).length}`);
  assert.equal(new Set(tickets).size, count, 'no request was taken twice');
  assert.deepEqual(fs.readdirSync(w.bridge).filter((n) => n.startsWith('QV_Capture_R') || n.endsWith('.tmp')), []);
});
