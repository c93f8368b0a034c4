// Local stand-ins, on 127.0.0.1, for the two outside services the workspace talks to, so
// the demo runs on a machine without accounts or network: the cloud service (COT data from
// a bundled sample file, visual-journal uploads saved into a folder the user can open) and
// the Telegram Bot API (the bot's replies printed instead of reaching a phone).
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { startRecordingServer, startTelegramServer } from '../../tests/wine/lib/http_servers.mjs';

export const sampleCotFile = path.join(path.dirname(fileURLToPath(import.meta.url)), 'sample-cot.json');

// Upload file names come from the terminal's capture request; keep them to one plain name.
const safeName = (name) => String(name || 'upload.png').replace(/[^0-9A-Za-z._-]/g, '_').replace(/^\.+/, '_');

/**
 * The cloud service: GET /getCOTData answers with the sample file's bytes; a POST carrying
 * a screenshot (any path, the capture request may name its own) is written to journalDir
 * as the PNG plus a .json of its other members. onEvent(kind, detail) reports each.
 */
export async function startCloudStandIn({ journalDir, onEvent = () => {} }) {
  fs.mkdirSync(journalDir, { recursive: true });
  const cot = fs.readFileSync(sampleCotFile);
  const uploads = [];
  const server = await startRecordingServer((req, record, res) => {
    const reply = (status, body) => {
      res.writeHead(status, { 'Content-Type': 'application/json' });
      res.end(body);
    };
    if (record.method === 'GET' && record.url === '/getCOTData') {
      onEvent('cot', { bytes: cot.length });
      return reply(200, cot);
    }
    if (record.method === 'POST') {
      let body;
      try {
        body = JSON.parse(record.body.toString('utf8'));
      } catch {
        onEvent('bad-upload', { url: record.url, bytes: record.body.length });
        return reply(400, '{"ok":false,"error":"body is not JSON"}');
      }
      if (body.action !== 'upload_screenshot' || typeof body.image_data !== 'string') {
        return reply(400, '{"ok":false,"error":"not a screenshot upload"}');
      }
      const png = Buffer.from(body.image_data, 'base64');
      const file = path.join(journalDir, safeName(body.filename));
      fs.writeFileSync(file, png);
      const { image_data: _, ...meta } = body;
      fs.writeFileSync(file.replace(/\.png$/i, '') + '.json', JSON.stringify({ ...meta, receivedAt: new Date().toISOString() }, null, 1));
      const upload = { file, bytes: png.length, declared: body.file_size, symbol: body.symbol, action: body.event_type };
      uploads.push(upload);
      onEvent('upload', upload);
      return reply(200, '{"ok":true}');
    }
    return reply(404, '{"ok":false,"error":"not found"}');
  });
  return { ...server, uploads };
}

/**
 * The Telegram Bot API for one bot: the test server with Telegram's update semantics, and
 * every message the bot sends handed to onReply(text, chatId) as it arrives.
 */
export async function startTelegramStandIn({ token, onReply = () => {} }) {
  const server = await startTelegramServer({ token });
  let shown = 0;
  const timer = setInterval(() => {
    while (shown < server.sent.length) {
      const m = server.sent[shown++];
      onReply(String(m.text ?? m.invalid ?? ''), m.chat_id);
    }
  }, 50);
  const close = server.close;
  // Telegram never gives a bot an update id twice, and the workspace keeps its offset across
  // runs (in its own folder), so the ids go on from run to run: tenths of a second since
  // 2026 (far below Telegram's 2^31), one more for messages within one tenth.
  let lastId = 0;
  const nextUpdateId = () => (lastId = Math.max(lastId + 1, Math.floor((Date.now() - Date.UTC(2026, 0, 1)) / 100)));
  return {
    ...server,
    pushText(chatId, text) {
      const id = nextUpdateId();
      return server.pushUpdate({
        update_id: id,
        message: {
          message_id: id,
          from: { id: chatId, is_bot: false, first_name: 'Trader' },
          chat: { id: chatId, type: 'private' },
          date: Math.floor(Date.now() / 1000),
          text,
        },
      });
    },
    close() {
      clearInterval(timer);
      return close();
    },
  };
}
