// Real HTTP servers on 127.0.0.1 that stand in for the outside services in the Wine tests.
// Every request is recorded whole (method, URL, headers, raw body) so a test can assert
// exactly what the program sent.
import http from 'node:http';
import net from 'node:net';
import { waitFor } from './wine.mjs';

/**
 * Starts a server whose answers come from handler(req, record, res) and records every
 * request. Resolves with { url, port, requests, waitForRequests(pred, count, timeoutMs),
 * close() }.
 */
export async function startRecordingServer(handler) {
  const requests = [];
  const sockets = new Set();
  const server = http.createServer((req, res) => {
    const chunks = [];
    req.on('data', (c) => chunks.push(c));
    req.on('end', () => {
      const record = {
        method: req.method,
        url: req.url,
        headers: req.headers,
        rawHeaders: req.rawHeaders,
        body: Buffer.concat(chunks),
        at: Date.now(),
      };
      requests.push(record);
      Promise.resolve(handler(req, record, res)).catch((err) => {
        res.statusCode = 500;
        res.end(String(err));
      });
    });
  });
  server.on('connection', (s) => {
    sockets.add(s);
    s.on('close', () => sockets.delete(s));
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  const { port } = server.address();
  return {
    port,
    url: `http://127.0.0.1:${port}`,
    requests,
    /** Resolves with the matching requests once there are at least count of them. */
    waitForRequests(pred = () => true, count = 1, timeoutMs = 20000) {
      return waitFor(() => {
        const hits = requests.filter(pred);
        return hits.length >= count ? hits : false;
      }, timeoutMs, 50, `${count} matching request(s)`);
    },
    close() {
      for (const s of sockets) s.destroy();
      return new Promise((resolve) => server.close(resolve));
    },
  };
}

/** A port on 127.0.0.1 where nothing listens: connections are refused. */
export async function closedPort() {
  const probe = net.createServer();
  await new Promise((resolve) => probe.listen(0, '127.0.0.1', resolve));
  const { port } = probe.address();
  await new Promise((resolve) => probe.close(resolve));
  return port;
}

/**
 * The cloud service: GET /getCOTData answers with cot.status / cot.body (changeable at any
 * time); everything else answers 200 with "{}". Upload bodies are in requests.
 */
export async function startCloudServer({ cotStatus = 200, cotBody = '' } = {}) {
  const cot = { status: cotStatus, body: cotBody };
  const server = await startRecordingServer((req, record, res) => {
    if (record.method === 'GET' && record.url === '/getCOTData') {
      res.writeHead(cot.status, { 'Content-Type': 'application/json' });
      res.end(cot.body);
      return;
    }
    res.writeHead(200, { 'Content-Type': 'application/json' });
    res.end('{}');
  });
  return { ...server, cot };
}

/**
 * The Telegram Bot API with Telegram's own update semantics: getUpdates returns every pending
 * update whose id is at least the offset, confirms (forgets) those below it, and holds the
 * request up to `timeout` seconds while nothing is pending. pushUpdate(obj) queues an update
 * (update_id assigned when absent); pushRaw(id, text) queues raw JSON text for an update.
 * sendMessage bodies are parsed into `sent`. As Telegram does, a token it does not know gets
 * 401 on every method, getMe names the bot, and while `webhook` is set getUpdates answers 409.
 * addBot(token, username) makes a second bot (sharing the update queue) known.
 */
export async function startTelegramServer({ token = '123:TEST', username = 'QuorvaleTestBot' } = {}) {
  const bots = new Map([[token, username]]);
  const pending = []; // { id, json }
  const sent = [];
  const polls = [];
  const waiters = new Set();
  let nextId = 1;
  const wake = () => {
    for (const w of [...waiters]) w();
  };
  const answer = (res, offset) => {
    const result = pending.filter((u) => u.id >= offset).map((u) => u.json);
    res.writeHead(200, { 'Content-Type': 'application/json' });
    res.end(`{"ok":true,"result":[${result.join(',')}]}`);
    return result.length;
  };
  const state = { webhook: false };
  const server = await startRecordingServer(async (req, record, res) => {
    const url = new URL(record.url, 'http://x');
    const m = /^\/bot([^/]+)\/(\w+)$/.exec(url.pathname);
    if (m && !bots.has(m[1])) {
      res.writeHead(401, { 'Content-Type': 'application/json' });
      res.end('{"ok":false,"error_code":401,"description":"Unauthorized"}');
      return;
    }
    if (m && m[2] === 'getMe') {
      res.writeHead(200, { 'Content-Type': 'application/json' });
      res.end(JSON.stringify({ ok: true, result: { id: Number(m[1].split(':')[0]), is_bot: true, username: bots.get(m[1]) } }));
      return;
    }
    if (m && m[2] === 'getUpdates' && state.webhook) {
      polls.push({ token: m[1], offset: Number(url.searchParams.get('offset') ?? 0), at: record.at, refused: 409 });
      res.writeHead(409, { 'Content-Type': 'application/json' });
      res.end('{"ok":false,"error_code":409,"description":"Conflict: can\'t use getUpdates method while webhook is active; use deleteWebhook to delete the webhook first"}');
      return;
    }
    if (m && m[2] === 'getUpdates') {
      const offset = Number(url.searchParams.get('offset') ?? 0);
      const timeout = Number(url.searchParams.get('timeout') ?? 0);
      polls.push({ token: m[1], offset, timeout, at: record.at });
      for (let i = pending.length - 1; i >= 0; i--) if (pending[i].id < offset) pending.splice(i, 1);
      if (pending.some((u) => u.id >= offset) || timeout <= 0) return void answer(res, offset);
      await new Promise((resolve) => {
        const done = () => {
          waiters.delete(done);
          clearTimeout(timer);
          resolve();
        };
        const timer = setTimeout(done, timeout * 1000);
        waiters.add(() => {
          if (pending.some((u) => u.id >= offset)) done();
        });
      });
      if (!res.destroyed) answer(res, offset);
      return;
    }
    if (m && m[2] === 'sendMessage' && record.method === 'POST') {
      let parsed = null;
      try {
        parsed = JSON.parse(record.body.toString('utf8'));
      } catch {
        parsed = { invalid: record.body.toString('utf8') };
      }
      sent.push({ ...parsed, token: m[1], at: record.at });
      res.writeHead(200, { 'Content-Type': 'application/json' });
      res.end('{"ok":true,"result":{}}');
      return;
    }
    res.writeHead(404, { 'Content-Type': 'application/json' });
    res.end('{"ok":false,"error_code":404,"description":"Not Found"}');
  });
  const pushRaw = (id, json) => {
    pending.push({ id, json });
    nextId = Math.max(nextId, id + 1);
    wake();
    return id;
  };
  return {
    ...server,
    token,
    state,
    addBot(otherToken, otherName) { bots.set(otherToken, otherName); },
    sent,
    polls,
    pending,
    pushRaw,
    pushUpdate(update) {
      const id = update.update_id ?? nextId;
      return pushRaw(id, JSON.stringify({ update_id: id, ...update }));
    },
    /** A private-chat text message from chatId (whose user id is the chat's, as in Telegram). */
    pushText(chatId, text) {
      return this.pushUpdate({
        message: {
          message_id: nextId,
          from: { id: chatId, is_bot: false, first_name: 'Trader' },
          chat: { id: chatId, type: 'private' },
          date: Math.floor(Date.now() / 1000),
          text,
        },
      });
    },
  };
}
