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
 * The Telegram Bot API for one token, with Telegram's own update semantics: getUpdates
 * returns every pending update whose id is at least the offset, confirms (forgets) those
 * below it, and holds the request up to `timeout` seconds while nothing is pending.
 * pushUpdate(obj) queues an update (update_id assigned when absent); pushRaw(id, text)
 * queues raw JSON text for an update. sendMessage bodies are parsed into `sent`.
 */
export async function startTelegramServer({ token = '123:TEST' } = {}) {
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
  const server = await startRecordingServer(async (req, record, res) => {
    const url = new URL(record.url, 'http://x');
    if (url.pathname === `/bot${token}/getUpdates`) {
      const offset = Number(url.searchParams.get('offset') ?? 0);
      const timeout = Number(url.searchParams.get('timeout') ?? 0);
      polls.push({ offset, timeout, at: record.at });
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
    if (url.pathname === `/bot${token}/sendMessage` && record.method === 'POST') {
      let parsed = null;
      try {
        parsed = JSON.parse(record.body.toString('utf8'));
      } catch {
        parsed = { invalid: record.body.toString('utf8') };
      }
      sent.push({ ...parsed, at: record.at });
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
    sent,
    polls,
    pending,
    pushRaw,
    pushUpdate(update) {
      const id = update.update_id ?? nextId;
      return pushRaw(id, JSON.stringify({ update_id: id, ...update }));
    },
    /** A private-chat text message from chatId. */
    pushText(chatId, text) {
      return this.pushUpdate({
        message: {
          message_id: nextId,
          from: { id: 777, is_bot: false, first_name: 'Trader' },
          chat: { id: chatId, type: 'private' },
          date: Math.floor(Date.now() / 1000),
          text,
        },
      });
    },
  };
}
