// The COT refresh under Wine against a stand-in cloud service on 127.0.0.1: started by the
// daemon, the freshness rule on the file time, the acceptance rule, the log lines and a
// save that replaces the file whole.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import fsp from 'node:fs/promises';
import path from 'node:path';
import { freshWine, paths } from './lib/wine.mjs';
import { startCloudServer, closedPort } from './lib/http_servers.mjs';

const probe = paths.tool('services_probe.exe');
const START = 'Starting COT update thread...';
const FRESH = 'Existing QV_COTData.json is fresh. Skipping remote fetch.';
const FETCH = 'Fetching latest CFTC COT institutional data from Cloud Function...';
const INCOMPLETE = 'COT fetch returned incomplete response. Checking for fallback.';
let w;
let cloud;
let cotFile;

before(async () => {
  w = await freshWine();
  cloud = await startCloudServer();
  cotFile = path.join(w.bridge, 'QV_COTData.json');
});
after(async () => {
  await cloud?.close();
  await w?.close();
});

const env = () => ({ QV_CLOUD_BASE_URL: cloud.url });
const countIn = (text, line) => text.split(line).length - 1;

/** A body of exactly n bytes holding "records". */
function cotBody(n) {
  const head = '{"records":[{"symbol":"EURUSD","cotIndex":71}],"pad":"';
  return head + 'x'.repeat(n - head.length - 2) + '"}';
}

async function refresh() {
  const before = await w.readLog();
  const seen = cloud.requests.length;
  const r = await w.run(probe, ['cot'], { env: env() });
  assert.match(r.stdout, /DONE/);
  const log = (await w.readLog()).slice(before.length);
  return { log, requests: cloud.requests.slice(seen) };
}

async function makeStale(file) {
  const twoDaysAgo = new Date(Date.now() - 48 * 3600 * 1000);
  await fsp.utimes(file, twoDaysAgo, twoDaysAgo);
}

test('the daemon downloads a missing file and stores the body byte for byte', async () => {
  const body = Buffer.concat([Buffer.from([0xef, 0xbb, 0xbf]), Buffer.from(cotBody(9000)),
    Buffer.from('\r\n')]);
  cloud.cot.body = body;
  const daemon = w.spawn(paths.exe, [], { env: env() });
  const log = await w.waitForLog(`Successfully saved fresh QV_COTData.json (${body.length} bytes).`, 60000);
  daemon.kill('SIGKILL');
  const at = [START, FETCH, `(${body.length} bytes).`].map((l) => log.indexOf(l));
  assert.ok(at.every((i, k) => i >= 0 && (k === 0 || i > at[k - 1])), `lines in order:\n${log}`);
  const [request] = cloud.requests.filter((r) => r.url === '/getCOTData');
  assert.equal(request.method, 'GET');
  assert.equal(request.headers['user-agent'], 'QuorvaleWorkspace/5.0');
  assert.deepEqual(await fsp.readFile(cotFile), body);
  const leftovers = fs.readdirSync(w.bridge).filter((n) => n.endsWith('.tmp'));
  assert.deepEqual(leftovers, [], 'no temporary file stays behind');
});

test('a file younger than a day makes no request', async () => {
  const { log, requests } = await refresh();
  assert.equal(requests.length, 0);
  assert.equal(countIn(log, START), 1);
  assert.equal(countIn(log, FRESH), 1);
  assert.equal(countIn(log, FETCH), 0);
});

test('200 bytes are refused, 201 bytes are saved', async () => {
  const old = await fsp.readFile(cotFile);
  await makeStale(cotFile);
  cloud.cot.body = cotBody(200);
  let { log, requests } = await refresh();
  assert.equal(requests.length, 1);
  assert.equal(countIn(log, INCOMPLETE), 1);
  assert.deepEqual(await fsp.readFile(cotFile), old, 'the old file is untouched');

  cloud.cot.body = cotBody(201);
  ({ log } = await refresh());
  assert.equal(countIn(log, 'Successfully saved fresh QV_COTData.json (201 bytes).'), 1);
  assert.equal(await fsp.readFile(cotFile, 'utf8'), cotBody(201));
  const age = Date.now() - (await fsp.stat(cotFile)).mtimeMs;
  assert.ok(age < 60000, 'the saved file carries a new time stamp, so the next start skips');
});

test('an error page without "records" leaves the old file in place', async () => {
  const old = await fsp.readFile(cotFile);
  await makeStale(cotFile);
  cloud.cot.status = 503;
  cloud.cot.body = '<html><body>' + 'Service Unavailable. '.repeat(40) + '</body></html>';
  const { log, requests } = await refresh();
  cloud.cot.status = 200;
  assert.equal(requests.length, 1);
  assert.equal(countIn(log, FETCH), 1);
  assert.equal(countIn(log, INCOMPLETE), 1);
  assert.deepEqual(await fsp.readFile(cotFile), old);
});

test('with no file and no network the start, fetch and incomplete lines are logged', async () => {
  await fsp.rm(cotFile);
  const before = await w.readLog();
  const port = await closedPort();
  await w.run(probe, ['cot'], { env: { QV_CLOUD_BASE_URL: `http://127.0.0.1:${port}` } });
  const log = (await w.readLog()).slice(before.length);
  for (const line of [START, FETCH, INCOMPLETE]) assert.equal(countIn(log, line), 1, line);
  assert.equal(fs.existsSync(cotFile), false);
});

test('two processes refreshing at once leave one whole body', async () => {
  const other = await startCloudServer({ cotBody: 'B' + cotBody(400000).slice(1) });
  cloud.cot.body = 'A' + cotBody(400000).slice(1);
  try {
    await Promise.all([
      w.run(probe, ['cot'], { env: env() }),
      w.run(probe, ['cot'], { env: { QV_CLOUD_BASE_URL: other.url } }),
    ]);
  } finally {
    await other.close();
  }
  const saved = await fsp.readFile(cotFile, 'utf8');
  assert.ok(saved === cloud.cot.body || saved === other.cot.body, 'exactly one of the two bodies');
  assert.deepEqual(fs.readdirSync(w.bridge).filter((n) => n.endsWith('.tmp')), []);
});
