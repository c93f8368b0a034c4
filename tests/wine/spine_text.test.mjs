// Text routines, the debug log and the WebView2 runtime lookup in a real Windows process.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { freshWine, paths, lineReader } from './lib/wine.mjs';

let w;
let dir;
before(async () => {
  w = await freshWine();
  dir = path.join(w.prefix, 'drive_c/texts');
  fs.mkdirSync(dir, { recursive: true });
});
after(async () => {
  await w?.close();
});

const probe = (...args) => w.run(paths.tool('host_probe.exe'), args, { timeoutMs: 60000 });
async function readUnits(bytes, name = 'f.txt') {
  fs.writeFileSync(path.join(dir, name), bytes);
  const r = await probe('read', `C:\\texts\\${name}`);
  const units = /UNITS(.*)/.exec(r.stdout)[1].trim();
  return units ? String.fromCharCode(...units.split(/\s+/).map((h) => parseInt(h, 16))) : '';
}

test('launch-file encodings all read back as the same text', async () => {
  const text = 'HWND=5678\nSYMBOL=XAUUSD\u00e9';
  const utf16 = Buffer.from(text, 'utf16le');
  const variants = {
    'utf16 with mark': Buffer.concat([Buffer.from([0xff, 0xfe]), utf16]),
    'utf8 with mark': Buffer.concat([Buffer.from([0xef, 0xbb, 0xbf]), Buffer.from(text, 'utf8')]),
    'utf8 without mark': Buffer.from(text, 'utf8'),
    'utf16 without mark': utf16,
  };
  for (const [name, bytes] of Object.entries(variants)) {
    assert.equal(await readUnits(bytes), text, name);
  }
});

test('short, odd and empty files', async () => {
  assert.equal(await readUnits(Buffer.from('abc')), 'abc', 'three bytes without mark are UTF-8');
  assert.equal(await readUnits(Buffer.from([0xff, 0xfe])), '', 'a lone UTF-16 mark is empty');
  assert.equal(await readUnits(Buffer.from([0x34, 0, 0x32, 0])), '42');
  assert.equal(await readUnits(Buffer.alloc(0)), '', 'empty file');
  const r = await probe('read', 'C:\\texts\\missing.txt');
  assert.match(r.stdout, /LEN 0/);
  // Invalid UTF-8 and an unpaired surrogate decode to something rather than failing.
  const bad = await readUnits(Buffer.from([0x41, 0xc3, 0x28, 0xff, 0x42]));
  assert.ok(bad.startsWith('A') && bad.endsWith('B') && bad.includes('\ufffd'), JSON.stringify(bad));
  const lone = await readUnits(Buffer.from([0xff, 0xfe, 0x41, 0, 0x00, 0xd8, 0x42, 0]));
  assert.equal(lone, 'A\ud800B');
});

test('a large file reads whole and the last-write time is reported', async () => {
  const big = 'x'.repeat(3_000_000);
  fs.writeFileSync(path.join(dir, 'big.txt'), big);
  const r = await probe('read', 'C:\\texts\\big.txt');
  assert.match(r.stdout, /LEN 3000000/);
  assert.doesNotMatch(r.stdout, /TIME 0\r?\n/);
  // Past the cap (4 MiB) a file is ignored, never read into memory, and the log says so.
  fs.writeFileSync(path.join(dir, 'huge.txt'), Buffer.alloc(4 * 1024 * 1024 + 1, 0x78));
  const huge = await probe('read', 'C:\\texts\\huge.txt');
  assert.match(huge.stdout, /LEN 0\r?\n/);
  assert.match(fs.readFileSync(w.log, 'utf8'), /Ignored oversized file \(4194305 bytes\): C:\\texts\\huge\.txt/);
  fs.rmSync(w.log, { force: true });  // the log test below reads the log from its start
});

test('the write routine puts exact bytes in place and reports a failure with its error', async () => {
  const target = path.join(dir, 'out.txt');
  fs.writeFileSync(target, 'a much longer previous content');
  const r = await probe('write', 'C:\\texts\\out.txt', '414354495645003d0a');
  assert.match(r.stdout, /OK/);
  assert.deepEqual(fs.readFileSync(target), Buffer.from('414354495645003d0a', 'hex'));
  const fail = await probe('write', 'C:\\no\\such\\folder\\x.txt', '41');
  assert.match(fail.stdout, /FAILED 3\r?\n/, 'path not found');
  assert.deepEqual(fs.readdirSync(dir).filter((n) => n.endsWith('.tmp')), [], 'no temporary file stays');

  // A reader beside a writer that keeps replacing the file (the positions and snapshot files
  // are rewritten every few hundred milliseconds) sees one whole version or the other, never
  // an empty or half file.
  const versionA = Buffer.from(JSON.stringify({ positions: Array.from({ length: 40 }, (_, i) => ({ ticket: i, profit: i * 1.5 })) }));
  const versionB = Buffer.from(JSON.stringify({ positions: Array.from({ length: 70 }, (_, i) => ({ ticket: 900 + i, symbol: 'XAUUSD' })) }));
  const race = await probe('race', 'C:\\texts\\race.json', versionA.toString('hex'), versionB.toString('hex'), '400');
  const m = /WRITES (\d+) FAILED (\d+) READS (\d+) WHOLE (\d+) MISSING (\d+) TORN (\d+)/.exec(race.stdout);
  assert.ok(m, race.stdout + race.stderr);
  const [, , failed, reads, whole, missing, torn] = m.map(Number);
  assert.equal(failed, 0, 'every replacement succeeded');
  assert.ok(reads > 0 && whole === reads, `reads ${reads}, whole ${whole}, missing ${missing}, torn ${torn}`);
});

test('log entries carry the asctime stamp and CRLF line ends, one line each', async () => {
  await probe('log', Buffer.from('first line\nsecond line').toString('hex'));
  await probe('log', Buffer.from('caf\u00e9').toString('hex'));
  const raw = fs.readFileSync(w.log);
  const text = raw.toString('utf8');
  assert.match(text, /^\[(Sun|Mon|Tue|Wed|Thu|Fri|Sat) (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) [ 1-3]\d \d\d:\d\d:\d\d \d{4}\] first line\?second line\r\n\[[^\]]{24}\] caf\u00e9\r\n$/, 'a line break inside a message never starts an entry');
  assert.equal(raw.indexOf(Buffer.from([0xef, 0xbb, 0xbf])), -1, 'no byte-order mark');
});

test('runtime lookup: fixed folder, registry channels and hives', async () => {
  const guid = '{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}';
  const none = await probe('version');
  assert.match(none.stdout, /HR 80070002 VERSION \(null\)/, 'nothing installed');

  const makeRuntime = (version) => {
    const folder = path.join(w.prefix, 'drive_c/rt', version);
    fs.mkdirSync(path.join(folder, 'EBWebView/x64'), { recursive: true });
    fs.writeFileSync(path.join(folder, 'EBWebView/x64/EmbeddedBrowserWebView.dll'), 'not a real dll');
    return `C:\\rt\\${version}`;
  };
  // Too old a runtime in the machine hive is skipped; the per-user one is used.
  const old = makeRuntime('85.0.564.70');
  await w.run('reg', ['add', `HKLM\\Software\\Wow6432Node\\Microsoft\\EdgeUpdate\\ClientState\\${guid}`, '/v', 'EBWebView', '/d', old, '/f']);
  assert.match((await probe('version')).stdout, /HR 80070002/);
  const user = makeRuntime('131.0.2903.146');
  await w.run('reg', ['add', `HKCU\\Software\\Microsoft\\EdgeUpdate\\ClientState\\${guid}`, '/v', 'EBWebView', '/d', user, '/f']);
  assert.match((await probe('version')).stdout, /HR 00000000 VERSION 131\.0\.2903\.146\r?\n/);

  // Beta channel carries its name when only Beta is allowed.
  const beta = makeRuntime('132.0.2957.11');
  await w.run('reg', ['add', 'HKCU\\Software\\Microsoft\\EdgeUpdate\\ClientState\\{2CD8A007-E189-409D-A2C8-9AF4EF3C72AA}', '/v', 'EBWebView', '/d', beta, '/f']);
  const onlyBeta = await w.run(paths.tool('host_probe.exe'), ['version'], { env: { WEBVIEW2_RELEASE_CHANNELS: '1' } });
  assert.match(onlyBeta.stdout, /VERSION 132\.0\.2957\.11 beta/);

  // The folder override wins over the registry, and a folder without the DLL is no runtime.
  const empty = path.join(w.prefix, 'drive_c/emptyrt');
  fs.mkdirSync(empty, { recursive: true });
  const overridden = await w.run(paths.tool('host_probe.exe'), ['version'], { env: { WEBVIEW2_BROWSER_EXECUTABLE_FOLDER: 'C:\\emptyrt' } });
  assert.match(overridden.stdout, /HR 80070002 VERSION \(null\)/);
});

// A terminal that holds QV_TradeSignal.csv open without write or delete sharing: the order
// waits for it and is never lost; one held past the retry budget is not sent, its order file
// is taken back, and the failure names the Windows error.
test('a held signal file delays an order but never loses it; held for good it is not sent', async () => {
  fs.mkdirSync(w.bridge, { recursive: true });
  const signal = path.join(w.bridge, 'QV_TradeSignal.csv');
  fs.writeFileSync(signal, '1,BUY,0.10,XAUUSD,0,0');
  const hold = async () => {
    const holder = w.spawn(paths.tool('host_probe.exe'), ['hold', w.toWin(signal)]);
    const out = lineReader(holder.stdout);
    await out.next((l) => l === 'HELD');
    return holder;
  };
  let holder = await hold();
  const sending = probe('order', '0,SELL,0.20,EURUSD,0,0');
  await new Promise((r) => setTimeout(r, 1500));
  holder.stdin.write('release\n');
  const sent = await sending;
  const m = /^SENT (\d{13}) (\d{13},SELL,0\.20,EURUSD,0,0)\r?$/m.exec(sent.stdout);
  assert.ok(m, sent.stdout);
  assert.equal(fs.readFileSync(signal, 'utf8'), m[2]);
  assert.equal(fs.readFileSync(path.join(w.bridge, `QV_Order_${m[1]}.csv`), 'utf8'), m[2] + '\n');

  holder = await hold();
  const failed = await probe('order', '0,BUY,0.30,EURUSD,0,0');
  holder.stdin.write('release\n');
  const f = /^NOTSENT (\d+) replace QV_TradeSignal\.csv\r?$/m.exec(failed.stdout);
  assert.ok(f, failed.stdout);
  assert.ok(['5', '32'].includes(f[1]), 'access denied or sharing violation: ' + f[1]);
  assert.equal(fs.readFileSync(signal, 'utf8'), m[2], 'the old record stays whole');
  const orders = fs.readdirSync(w.bridge).filter((n) => /^QV_Order_/.test(n));
  assert.deepEqual(orders, [`QV_Order_${m[1]}.csv`], 'the failed order file was taken back');
  assert.deepEqual(fs.readdirSync(w.bridge).filter((n) => n.endsWith('.tmp')), []);
});
