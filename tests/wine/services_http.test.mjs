// The HTTP client in a real Windows process (the services probe) against recording
// servers on 127.0.0.1: bodies whatever the status, refused connections, the POST's
// header, user agent and exact bytes, the URL length limit and the detached POST.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { freshWine, paths, lineReader } from './lib/wine.mjs';
import { startRecordingServer, closedPort } from './lib/http_servers.mjs';

const probe = paths.tool('services_probe.exe');
let w;
let server;
let answer = { status: 200, body: Buffer.alloc(0) };

before(async () => {
  w = await freshWine();
  server = await startRecordingServer((req, record, res) => {
    res.writeHead(answer.status, { 'Content-Type': 'application/json' });
    res.end(answer.body);
  });
});
after(async () => {
  await server?.close();
  await w?.close();
});

async function get(url) {
  const r = await w.run(probe, ['get', url]);
  assert.equal(r.code, 0, r.stderr);
  const len = Number(/LEN (\d+)/.exec(r.stdout)[1]);
  const hex = /HEX ([0-9a-f]*)/.exec(r.stdout)[1];
  const body = Buffer.from(hex, 'hex');
  assert.equal(body.length, len);
  return body;
}

const hex = (text) => Buffer.from(text).toString('hex');

test('a GET returns the body byte for byte whatever the status', async () => {
  // Bigger than one 4096-byte read, with a byte-order mark, high bytes and a line end.
  const big = Buffer.concat([Buffer.from([0xef, 0xbb, 0xbf]), Buffer.from('{"x":"\u00e9\u2022"}'),
    Buffer.alloc(10000, 0x61), Buffer.from([0x00, 0xff, 0x0a])]);
  for (const status of [200, 404, 500]) {
    answer = { status, body: status === 200 ? big : Buffer.from(`{"ok":false,"error_code":${status}}`) };
    const seen = server.requests.length;
    const body = await get(`${server.url}/bot1:A/getUpdates?offset=1&timeout=3`);
    assert.deepEqual(body, answer.body, `status ${status}`);
    const request = server.requests[seen];
    assert.equal(request.method, 'GET');
    assert.equal(request.url, '/bot1:A/getUpdates?offset=1&timeout=3');
    assert.equal(request.headers['user-agent'], 'QuorvaleWorkspace/5.0');
  }
});

test('a refused connection gives an empty GET result', async () => {
  const port = await closedPort();
  assert.equal((await get(`http://127.0.0.1:${port}/getCOTData`)).length, 0);
});

test('a POST carries the JSON header, the user agent and exactly the body', async () => {
  answer = { status: 500, body: Buffer.from('refused') };
  const body = '{"chat_id":"-100","text":"\\u0001 \u00e9 \\"q\\" \\\\","parse_mode":"Markdown"}';
  const seen = server.requests.length;
  const r = await w.run(probe, ['post', `${server.url}/bot1:A/sendMessage`, hex(body)]);
  assert.match(r.stdout, /DONE/);
  assert.equal(server.requests.length, seen + 1, 'one request, no retry after an error status');
  const request = server.requests[seen];
  assert.equal(request.method, 'POST');
  assert.equal(request.url, '/bot1:A/sendMessage');
  assert.equal(request.headers['content-type'], 'application/json');
  assert.equal(request.headers['user-agent'], 'QuorvaleWorkspace/5.0');
  assert.equal(Number(request.headers['content-length']), Buffer.byteLength(body));
  assert.deepEqual(request.body, Buffer.from(body));
});

test('a POST whose path does not fit the cracking buffer sends nothing', async () => {
  answer = { status: 200, body: Buffer.from('{}') };
  const fits = '/' + 'a'.repeat(1000);
  const tooLong = '/' + 'b'.repeat(1100);
  const seen = server.requests.length;
  await w.run(probe, ['post', `${server.url}${tooLong}`, hex('{"n":1}')]);
  await w.run(probe, ['post', `${server.url}${fits}`, hex('{"n":2}')]);
  const urls = server.requests.slice(seen).map((r) => r.url);
  assert.deepEqual(urls, [fits], 'only the short path reached the server');
});

test('an asynchronous POST returns at once and still delivers its body', async () => {
  const body = JSON.stringify({ action: 'upload_screenshot', image_data: 'A'.repeat(12000) });
  const child = w.spawn(probe, ['postasync', `${server.url}/vantrelVisualJournalApi`, hex(body)]);
  const out = lineReader(child.stdout);
  await out.next((l) => l === 'STARTED');
  const [request] = await server.waitForRequests((r) => r.url === '/vantrelVisualJournalApi');
  assert.deepEqual(request.body, Buffer.from(body));
  child.stdin.end('quit\n');
});

test('a process that exits gives asynchronous POSTs in flight a short grace, and says when it gave up', async () => {
  // Answered late: the exit must wait for the body to have gone out.
  const slow = await startRecordingServer((req, record, res) => new Promise((resolve) => {
    setTimeout(() => { res.end('{}'); resolve(); }, 800);
  }));
  const silent = await startRecordingServer(() => new Promise(() => {}));
  try {
    const body = JSON.stringify({ action: 'upload_screenshot', image_data: 'B'.repeat(8000) });
    const r = await w.run(probe, ['postexit', `${slow.url}/vantrelVisualJournalApi`, hex(body)], { timeoutMs: 60000 });
    assert.match(r.stdout, /EXITING/);
    assert.equal(slow.requests.length, 1, 'the upload reached the server before the exit');
    assert.deepEqual(slow.requests[0].body, Buffer.from(body));
    assert.ok(!(await w.readLog()).includes('still in flight'));
    const s = await w.run(probe, ['postexit', `${silent.url}/up`, hex('{}')], { timeoutMs: 60000 });
    assert.equal(s.timedOut, false, 'the grace is bounded');
    assert.match(s.stdout, /EXITING/);
    await w.waitForLog('Exiting with 1 asynchronous POST(s) (journal upload or notice) still in flight after 3000 ms');
  } finally {
    await slow.close();
    await silent.close();
  }
});

test('a server that accepts but never answers cannot hold a GET or a POST for ever', async () => {
  const silent = await startRecordingServer(() => new Promise(() => {}));
  try {
    // Without time-outs on the request both calls would wait until the harness kills them.
    const [g, p] = await Promise.all([
      w.run(probe, ['get', `${silent.url}/getCOTData`], { timeoutMs: 90000 }),
      w.run(probe, ['post', `${silent.url}/up`, hex('{}')], { timeoutMs: 90000 }),
    ]);
    assert.equal(g.timedOut, false, 'the GET gave up by itself');
    assert.match(g.stdout, /LEN 0/);
    assert.equal(p.timedOut, false, 'the POST gave up by itself');
    assert.match(p.stdout, /DONE/);
    assert.equal(silent.requests.length, 2);
  } finally {
    await silent.close();
  }
});
