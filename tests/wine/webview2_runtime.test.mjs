// The Chromium-backed WebView2 runtime under Wine, driven through our loader by the
// WebView2 test host: document scripts, web messages and their thread, ExecuteScript,
// virtual hosts, CapturePreview, bounds, Close, one browser shared by two processes, and
// the ways the real runtime fails a host: a process that dies, a runtime update, a header
// the handler does not see, a capture that never completes while hidden.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import fsp from 'node:fs/promises';
import http from 'node:http';
import path from 'node:path';
import { chromium } from 'playwright-core';
import { freshWine, paths, lineReader, waitFor, repoRoot, browserProcesses as browserOf } from './lib/wine.mjs';

const buildDir = process.env.QV_WINDOWS_BUILD_DIR
  ? path.resolve(repoRoot, process.env.QV_WINDOWS_BUILD_DIR)
  : paths.buildWindows;
const hostExe = path.join(buildDir, 'testing/webview2_test_host.exe');
const runtimeDir = path.join(buildDir, 'testing/webview2-runtime/runtime');
const pagesDir = path.join(repoRoot, 'tests/webview2');
const E_INVALIDARG = '0x80070057';

let w;
let dataDir;
let callLog;
const hosts = [];

before(async () => {
  w = await freshWine();
  dataDir = path.join(w.root, 'data');
  await fsp.mkdir(path.join(dataDir, 'sub'), { recursive: true });
  await fsp.writeFile(path.join(dataDir, 'QV_Data.json'), '{"price":1.2345}');
  await fsp.writeFile(path.join(dataDir, 'sub/with space.txt'), 'spaced caf\u00e9');
  // Beside the mapped folder, never inside it: no request may reach it.
  await fsp.writeFile(path.join(w.root, 'secret.txt'), 'SECRET');
  callLog = path.join(w.root, 'calls.log');
});
after(async () => {
  // Chromium is a Linux process: ending the Wine prefix does not end it.
  for (const h of hosts) if (h.child.exitCode === null) h.child.stdin.end('close\nquit\n');
  if (w) {
    await waitFor(() => browserProcesses('').length === 0, 15000, 200, 'browsers to end').catch(() => {
      for (const pid of browserProcesses('')) process.kill(pid, 'SIGKILL');
    });
    await w.close();
  }
});

// Chromium's main processes for this test's user-data folders; an empty name means all.
const browserProcesses = (folderName) => browserOf(w.root, folderName);

function devToolsPort(folderUnix) {
  return Number(fs.readFileSync(path.join(folderUnix, 'DevToolsActivePort'), 'utf8').split('\n')[0]);
}

function pageTargets(port) {
  return new Promise((resolve, reject) => {
    http.get({ host: '127.0.0.1', port, path: '/json/list' }, (res) => {
      let body = '';
      res.on('data', (d) => (body += d));
      res.on('end', () => resolve(JSON.parse(body).filter((t) => t.type === 'page')));
    }).on('error', reject);
  });
}

function portRefuses(port) {
  return pageTargets(port).then(() => false, () => true);
}

// Field values of a report line; json= (or string=) take the rest of the line.
function parse(line) {
  const fields = {};
  const json = line.indexOf(' json=');
  const head = json >= 0 ? line.slice(0, json) : line;
  if (json >= 0) fields.json = line.slice(json + 6);
  for (const m of head.matchAll(/(\w+)=(\S*)/g)) fields[m[1]] = m[2];
  return fields;
}

async function startHost(folderName, env = {}, version = '156.0.8078.73') {
  const folderWin = `C:\\wv2\\${folderName}`;
  const child = w.spawn(hostExe, [folderWin], {
    env: {
      WEBVIEW2_BROWSER_EXECUTABLE_FOLDER: w.toWin(runtimeDir),
      QV_WEBVIEW2_CALL_LOG: w.toWin(callLog),
      QV_WEBVIEW2_EXTRA_HOSTS: `page.test=${w.toWin(pagesDir)}`,
      ...env,
    },
  });
  const out = lineReader(child.stdout);
  const h = {
    child,
    out,
    folderUnix: w.toUnix(folderWin),
    windowThread: null,
    send(command) {
      const seen = out.lines.length;
      child.stdin.write(command + '\n');
      return seen;
    },
    nextLine(prefix, seen = 0, timeoutMs = 30000) {
      return waitFor(() => out.lines.slice(seen).find((l) => l.startsWith(prefix + ' ')),
        timeoutMs, 50, `"${prefix}" from the test host`);
    },
    async next(prefix, seen = 0, timeoutMs = 30000) {
      return parse(await h.nextLine(prefix, seen, timeoutMs));
    },
    async ask(command, prefix, timeoutMs) {
      return h.next(prefix, h.send(command), timeoutMs);
    },
    // The host's own answer line to a command ("OK map 0x00000000").
    askLine(command) {
      return h.nextLine('OK ' + command.split(' ')[0], h.send(command));
    },
    messages(seen = 0) {
      return out.lines.slice(seen).filter((l) => l.startsWith('MESSAGE ')).map(parse);
    },
  };
  hosts.push(h);
  h.windowThread = (await h.next('WINDOW', 0, 60000)).thread;
  if (version === null) return h;
  const ready = await waitFor(() => out.lines.find((l) => l.startsWith('READY') || / hr=0x8/.test(l)),
    90000, 100, 'the WebView');
  assert.equal(ready, `READY version=${version}`, out.lines.join('\n'));
  return h;
}

// Completions and events must come from the message loop of the window thread.
function assertOnWindowThread(report, what) {
  assert.equal(report.thread, report.window, `${what} on the window thread`);
  assert.equal(report.inside, '0', `${what} not inside the starting call`);
}

let main;

test('environment and controller complete on the window thread, never inside the call', async () => {
  main = await startHost('main');
  for (const line of main.out.lines.filter((l) => /^(ENVIRONMENT|CONTROLLER) /.test(l))) {
    const r = parse(line);
    assert.equal(r.hr, '0x00000000', line);
    assertOnWindowThread(r, line);
    assert.equal(r.window, main.windowThread);
  }
  const calls = await fsp.readFile(callLog, 'utf8');
  assert.match(calls, /^CreateWebViewEnvironmentWithOptionsInternal 1 C:\\wv2\\main$/m);
  assert.match(calls, /^CreateCoreWebView2Controller \d+$/m);
});

test('a document-created script runs before the page scripts in every navigation', async () => {
  const added = await main.ask('docscript window.__docscriptRuns = (window.__docscriptRuns || 0) + 1', 'DOCSCRIPT');
  assert.equal(added.hr, '0x00000000');
  assert.ok(added.id && added.id !== '(null)', 'the completion carries the script id');
  assertOnWindowThread(added, 'the document script completion');
  const seen = main.out.lines.length;
  for (const query of ['?first', '?second', '?third']) {
    const sent = main.send(`navigate https://page.test/order.html${query}`);
    await waitFor(() => main.messages(sent).length >= 1, 30000, 50, `message of ${query}`);
  }
  const pages = main.messages(seen).map((m) => JSON.parse(m.json));
  assert.deepEqual(pages, [
    { page: '/order.html?first', docscriptRuns: 1 },
    { page: '/order.html?second', docscriptRuns: 1 },
    { page: '/order.html?third', docscriptRuns: 1 },
  ]);
  assert.match(await fsp.readFile(callLog, 'utf8'), /^Navigate https:\/\/page\.test\/order\.html\?third$/m);
});

test('postMessage("x") arrives as that string on the window thread; objects only as JSON', async () => {
  // A child frame's posts never reach the view's event, even through the binding itself,
  // and the source is the posting top document's own URL. Document scripts run in the frame.
  const framed = main.send('navigate https://page.test/frames.html');
  await waitFor(() => main.messages(framed).some((m) => m.json.includes('"top"')), 30000, 50, 'the top message');
  await new Promise((r) => setTimeout(r, 500));
  const fromFrames = main.messages(framed);
  assert.equal(fromFrames.length, 1, fromFrames.map((m) => m.json).join(' | '));
  assert.equal(fromFrames[0].source, 'https://page.test/frames.html');
  assert.deepEqual(JSON.parse(fromFrames[0].json), { top: true, childHasWebView: false, childRuns: 1 });

  const sent = main.send('navigate https://page.test/post.html');
  await waitFor(() => main.messages(sent).length >= 2, 30000, 50, 'two messages');
  const [text, object] = main.messages(sent);
  assert.equal(text.hr, '0x00000000');
  assert.equal(text.string, 'x');
  assert.equal(text.json, '"x"');
  assert.equal(text.source, 'https://page.test/post.html');
  assertOnWindowThread(text, 'the web message');
  assert.equal(text.window, main.windowThread);
  assert.equal(object.hr, E_INVALIDARG, 'TryGetWebMessageAsString refuses a non-string');
  assert.deepEqual(JSON.parse(object.json), { a: 1, text: 'caf\u00e9 "quoted"' });

  // The host's own messages reach the page's listeners.
  const posted = main.send('post {"hello":[1,2]}');
  await waitFor(() => main.messages(posted).length >= 1, 20000, 50, 'the echo');
  assert.deepEqual(JSON.parse(main.messages(posted)[0].json), { echo: { hello: [1, 2] } });
});

test('ExecuteScript hands its result over as JSON, and null where JavaScript has none', async () => {
  const cases = [
    ['({a: [1, "two", {b: null}], c: true})', '{"a":[1,"two",{"b":null}],"c":true}'],
    ['"quote \\" and caf\u00e9"', '"quote \\" and caf\u00e9"'],
    ['6 * 7', '42'],
    ['undefined', 'null'],
    ['(() => { throw new Error("boom"); })()', 'null'],
    ['NaN', 'null'],
    ['document.title', '"web messages"'],
  ];
  for (const [script, json] of cases) {
    const r = await main.ask(`exec ${script}`, 'EXEC');
    assert.equal(r.hr, '0x00000000', script);
    assert.equal(r.json, json, script);
    assertOnWindowThread(r, `ExecuteScript of ${script}`);
  }
});

test('a mapped folder serves pages of another https origin, with 404 for missing and escaping paths', async () => {
  assert.equal(await main.askLine(`map data.test ${w.toWin(dataDir)}`), 'OK map 0x00000000');
  const sent = main.send('navigate https://page.test/fetch.html');
  await waitFor(() => main.messages(sent).length >= 1, 30000, 50, 'fetch results');
  const results = JSON.parse(main.messages(sent)[0].json);
  assert.deepEqual(results.data, { status: 200, type: 'application/json; charset=utf-8', body: '{"price":1.2345}' });
  assert.deepEqual(results.spaced, { status: 200, type: 'text/plain; charset=utf-8', body: 'spaced caf\u00e9' });
  assert.equal(results.missing.status, 404);
  assert.equal(results.escape.status, 404, '..%2F never leaves the folder');
  assert.equal(results.backslash.status, 404, 'backslashes never leave the folder');
  const calls = await fsp.readFile(callLog, 'utf8');
  assert.ok(calls.split('\n').includes(`SetVirtualHostNameToFolderMapping data.test ${w.toWin(dataDir)} 1`), calls);

  // A file replaced between reads is served fresh (no-store, no cache in the runtime).
  await fsp.writeFile(path.join(dataDir, 'QV_Data.json'), '{"price":2}');
  const again = await main.ask(
    'exec (async () => { const r = await fetch("https://data.test/QV_Data.json", {cache: "no-store"}); window.chrome.webview.postMessage(await r.text()); })() && 1', 'EXEC');
  assert.equal(again.hr, '0x00000000');
  await waitFor(() => main.messages(sent).some((m) => m.string === '{"price":2}'), 20000, 50, 'fresh file');
});

test('a resource filter raises WebResourceRequested on the window thread; a put response is what the page gets', async () => {
  // data.test stays mapped (test above): a request the handler leaves alone continues to it.
  assert.equal(await main.askLine('serve https://data.test/*'), 'OK serve 0x00000000');
  const seen = main.out.lines.length;
  const script = '(async () => { const out = {}; for (const f of ["served.txt", "refused.txt", "QV_Data.json"]) {' +
    ' const r = await fetch("https://data.test/" + f + "?q=1", {cache: "no-store"});' +
    ' out[f] = {status: r.status, text: r.statusText, header: r.headers.get("X-Test"), body: await r.text()}; }' +
    ' window.chrome.webview.postMessage(JSON.stringify(out)); })() && 1';
  assert.equal((await main.ask(`exec ${script}`, 'EXEC')).hr, '0x00000000');
  const answer = await waitFor(() => main.messages(seen).find((m) => m.json && m.json.includes('served.txt')),
    20000, 50, 'the fetch results');
  const results = JSON.parse(JSON.parse(answer.json));
  assert.deepEqual(results['served.txt'], { status: 200, text: 'OK', header: 'yes', body: 'served:GET' });
  assert.deepEqual(results['refused.txt'], { status: 403, text: 'Refused here', header: 'yes', body: 'refused' });
  assert.equal(results['QV_Data.json'].status, 200, 'no response: the mapping answers as before');
  assert.equal(results['QV_Data.json'].header, null);
  const events = main.out.lines.slice(seen).filter((l) => l.startsWith('RESOURCE ')).map(parse);
  const served = events.find((e) => e.uri === 'https://data.test/served.txt?q=1');
  assert.ok(served, main.out.lines.slice(seen).join('\n'));
  assertOnWindowThread(served, 'WebResourceRequested');
  assert.equal(served.method, 'GET');
  // Chromium names fetch() requests XHR when it pauses them, so the context is XML_HTTP_REQUEST.
  assert.equal(served.context, '7', 'the context of a script read');
  assert.equal(served.origin, 'https://page.test', 'the cross-origin read names its Origin');
  assert.equal(served.site, '-', 'no fetch metadata at the interception stage');
  assert.ok(!main.out.lines.slice(seen).some((l) => l.startsWith('RESOURCE-ANSWER ')), 'every answer was accepted');
  const calls = await fsp.readFile(callLog, 'utf8');
  assert.ok(calls.split('\n').includes('AddWebResourceRequestedFilter https://data.test/* 0'), calls);
});

test('the request headers the network stack adds can be withheld from the handler', async () => {
  const h = await startHost('withheld', { QV_WEBVIEW2_WITHHOLD_HEADERS: 'Origin' });
  assert.equal(await h.askLine('serve https://data.test/*'), 'OK serve 0x00000000');
  const page = h.send('navigate https://page.test/order.html');
  await waitFor(() => h.messages(page).length >= 1, 30000, 50, 'the page');
  const seen = h.out.lines.length;
  const script = '(async () => { const r = await fetch("https://data.test/served.txt", {cache: "no-store"});' +
    ' window.chrome.webview.postMessage(r.status + ":" + await r.text()); })() && 1';
  assert.equal((await h.ask(`exec ${script}`, 'EXEC')).hr, '0x00000000');
  await waitFor(() => h.messages(seen).some((m) => m.string === '200:served:GET'), 20000, 50, 'the read');
  const served = h.out.lines.slice(seen).filter((l) => l.startsWith('RESOURCE ')).map(parse)
    .find((e) => e.uri === 'https://data.test/served.txt');
  assert.equal(served.origin, '-', 'Origin withheld');
  assert.equal(served.context, '7');
  assert.equal(await h.askLine('close'), 'OK close 0x00000000 after=0x8007139F');
});

test('no capture completes while the view is hidden; it runs once shown, and Close drops one unrun', async () => {
  const shot = path.join(w.root, 'hidden.png');
  assert.equal(await main.askLine('visible 0'), 'OK visible 0x00000000');
  const seen = main.send(`capture ${w.toWin(shot)}`);
  await waitFor(async () => (await fsp.readFile(callLog, 'utf8')).includes('CapturePreview parked\n'),
    10000, 50, 'the parked capture');
  assert.ok(!main.out.lines.slice(seen).some((l) => l.startsWith('CAPTURE ')), 'no completion while hidden');
  assert.equal(await main.askLine('visible 1'), 'OK visible 0x00000000');
  const late = await main.next('CAPTURE', seen, 20000);
  assert.equal(late.hr, '0x00000000');
  assertOnWindowThread(late, 'the late capture');
  assert.equal((await fsp.readFile(shot)).subarray(1, 4).toString('latin1'), 'PNG');

  const dropped = await startHost('dropped');
  assert.equal(await dropped.askLine('visible 0'), 'OK visible 0x00000000');
  const before = dropped.send(`capture ${w.toWin(path.join(w.root, 'dropped.png'))}`);
  await waitFor(async () => (await fsp.readFile(callLog, 'utf8')).split('CapturePreview parked\n').length >= 3,
    10000, 50, 'the second parked capture');
  assert.equal(await dropped.askLine('close'), 'OK close 0x00000000 after=0x8007139F');
  assert.ok(!dropped.out.lines.slice(before).some((l) => l.startsWith('CAPTURE ')), 'never completed');
  // The runtime let go of the stream: the file can be deleted.
  await fsp.rm(path.join(w.root, 'dropped.png'));
});

test('DevTools protocol calls go to a session of the host\'s own: results and errors as WebView2 gives them, events only for what the host enabled and bound', async () => {
  const cdp = async (command) => {
    const r = await main.ask(`cdp ${command}`, 'CDP');
    assertOnWindowThread(r, `the completion of ${command}`);
    return r;
  };
  const ok = await cdp('Runtime.evaluate {"expression":"6 * 7","returnByValue":true}');
  assert.equal(ok.hr, '0x00000000');
  assert.deepEqual(JSON.parse(ok.json).result, { type: 'number', value: 42, description: '42' });
  // Chromium's error object comes back with E_INVALIDARG, as WebView2 reports it.
  const unknown = await cdp('Foo.bar {}');
  assert.equal(unknown.hr, E_INVALIDARG);
  assert.equal(JSON.parse(unknown.json).code, -32601);
  assert.match(JSON.parse(unknown.json).message, /Foo\.bar/);
  const missingContext = await cdp('Runtime.evaluate {"expression":"1","contextId":987654}');
  assert.equal(missingContext.hr, E_INVALIDARG);
  // Parameters that are not one JSON object are refused in the call itself.
  const notAnObject = await main.ask('cdp Runtime.evaluate [1]', 'CDP');
  assert.equal(notAnObject.hr, E_INVALIDARG);
  assert.equal(notAnObject.json, '(none)');

  const events = (seen, name) => main.out.lines.slice(seen).filter((l) => l.startsWith('EVENT '))
    .map(parse).filter((e) => !name || e.name === name);
  for (const e of ['Runtime.executionContextCreated', 'Runtime.bindingCalled', 'Page.frameNavigated']) {
    assert.equal(await main.askLine(`listen ${e}`), 'OK listen 0x00000000');
  }
  // The runtime's own session has Page and Runtime enabled and its own binding carries the
  // page's web messages; none of that reaches the host's receivers.
  const quiet = main.send('navigate https://page.test/post.html?quiet');
  await waitFor(() => main.messages(quiet).length >= 2, 30000, 50, 'the page\'s web messages');
  await new Promise((r) => setTimeout(r, 700));
  assert.deepEqual(events(quiet), [], 'no event of a domain the host did not enable');

  // Enabling reports the contexts that exist; the binding exists only in the named world.
  const enabled = main.out.lines.length;
  assert.equal((await cdp('Runtime.enable {}')).hr, '0x00000000');
  await waitFor(() => events(enabled, 'Runtime.executionContextCreated').length >= 1, 10000, 50, 'existing contexts');
  assert.equal((await cdp('Page.enable {}')).hr, '0x00000000');
  assert.equal((await cdp('Runtime.addBinding {"name":"__qvHost","executionContextName":"quorvale_hud"}')).hr, '0x00000000');
  const script = 'globalThis.__qvHost(JSON.stringify({ href: location.href, world: typeof window.chrome?.webview }))';
  const added = await cdp(`Page.addScriptToEvaluateOnNewDocument ${JSON.stringify({ source: script, worldName: 'quorvale_hud' })}`);
  assert.equal(added.hr, '0x00000000');
  assert.ok(JSON.parse(added.json).identifier, added.json);

  const seen = main.send('navigate https://page.test/post.html?world');
  await waitFor(() => events(seen, 'Runtime.bindingCalled').length >= 1 && main.messages(seen).length >= 2,
    30000, 50, 'the binding call from the world and the page\'s messages');
  await new Promise((r) => setTimeout(r, 500));
  const calls = events(seen, 'Runtime.bindingCalled');
  for (const c of calls) assertOnWindowThread(c, 'a DevTools event');
  assert.deepEqual(calls.map((c) => JSON.parse(c.json).name), ['__qvHost'], 'only the host\'s own binding');
  const call = JSON.parse(calls[0].json);
  assert.deepEqual(JSON.parse(call.payload), { href: 'https://page.test/post.html?world', world: 'undefined' });
  const mainFrame = events(seen, 'Page.frameNavigated').map((e) => JSON.parse(e.json).frame).find((f) => !f.parentId);
  const world = events(seen, 'Runtime.executionContextCreated').map((e) => JSON.parse(e.json).context)
    .find((c) => c.name === 'quorvale_hud');
  assert.ok(mainFrame && world, main.out.lines.slice(seen).join('\n'));
  assert.equal(call.executionContextId, world.id);
  assert.equal(world.auxData.frameId, mainFrame.id);
  assert.equal(world.origin, 'https://page.test');
  // The page's own world has no such function; the host reaches the world by its context.
  assert.equal((await main.ask('exec typeof window.__qvHost', 'EXEC')).json, '"undefined"');
  const inWorld = await cdp(`Runtime.evaluate {"contextId":${world.id},"expression":"typeof __qvHost","returnByValue":true}`);
  assert.equal(JSON.parse(inWorld.json).result.value, 'function');

  assert.equal(await main.askLine('unlisten Runtime.bindingCalled'), 'OK unlisten 0x00000000');
  const after = main.send('navigate https://page.test/post.html?after');
  await waitFor(() => events(after, 'Runtime.executionContextCreated').some((e) => e.json.includes('quorvale_hud')),
    30000, 50, 'the next document\'s world');
  await new Promise((r) => setTimeout(r, 500));
  assert.deepEqual(events(after, 'Runtime.bindingCalled'), [], 'a removed handler hears nothing');
  const record = await fsp.readFile(callLog, 'utf8');
  assert.match(record, /^CallDevToolsProtocolMethod Runtime\.addBinding \{"name":"__qvHost","executionContextName":"quorvale_hud"\}$/m);
  assert.match(record, /^GetDevToolsProtocolEventReceiver Runtime\.bindingCalled$/m);
});

test('put_Bounds sets window.innerWidth and CapturePreview writes a PNG of that size', async () => {
  assert.equal(await main.askLine('bounds 640 360'), 'OK bounds 0x00000000');
  const size = await main.ask('exec [innerWidth, innerHeight]', 'EXEC');
  assert.equal(size.json, '[640,360]');
  const shot = path.join(w.root, 'shot.png');
  const captured = await main.ask(`capture ${w.toWin(shot)}`, 'CAPTURE');
  assert.equal(captured.hr, '0x00000000');
  assertOnWindowThread(captured, 'the capture completion');
  const png = await fsp.readFile(shot);
  assert.equal(png.subarray(0, 8).toString('hex'), '89504e470d0a1a0a', 'PNG signature');
  assert.equal(png.subarray(12, 16).toString('latin1'), 'IHDR');
  assert.deepEqual([png.readUInt32BE(16), png.readUInt32BE(20)], [640, 360]);
  assert.equal(png.subarray(png.length - 8, png.length - 4).toString('latin1'), 'IEND', 'complete file');
  assert.match(await fsp.readFile(callLog, 'utf8'), /^put_Bounds 0 0 640 360$/m);
});

test('two processes with one user-data folder share one Chromium; Close ends the target, the last one Chromium', async () => {
  const name = 'shared';
  const first = await startHost(name);
  const second = await startHost(name);
  const browsers = browserProcesses(name);
  assert.equal(browsers.length, 1, 'one browser for the folder');
  const port = devToolsPort(first.folderUnix);
  assert.equal((await pageTargets(port)).length, 2, 'one page per controller, no start page');

  // Tests attach to the same browser with Playwright.
  const browser = await chromium.connectOverCDP(`http://127.0.0.1:${port}`);
  const pages = browser.contexts().flatMap((c) => c.pages());
  assert.equal(pages.length, 2);
  assert.equal(await first.askLine('navigate https://page.test/order.html?shared'), 'OK navigate 0x00000000');
  await waitFor(async () => {
    for (const p of browser.contexts().flatMap((c) => c.pages())) {
      if (p.url().endsWith('?shared')) return true;
    }
    return false;
  }, 20000, 100, 'Playwright sees the navigation');
  await browser.close();

  // The older page still renders with a newer one beside it (it would not as a background
  // tab, and its capture would never complete).
  const shot = path.join(w.root, 'shared.png');
  const captured = await first.ask(`capture ${w.toWin(shot)}`, 'CAPTURE', 20000);
  assert.equal(captured.hr, '0x00000000');
  assert.equal((await fsp.readFile(shot)).subarray(1, 4).toString('latin1'), 'PNG');

  // After Close the controller refuses work with ERROR_INVALID_STATE.
  assert.equal(await first.askLine('close'), 'OK close 0x00000000 after=0x8007139F');
  await waitFor(async () => (await pageTargets(port)).length === 1, 20000, 100, 'the first target to end');
  assert.deepEqual(browserProcesses(name), browsers, 'Chromium stays for the other process');

  assert.equal(await second.askLine('close'), 'OK close 0x00000000 after=0x8007139F');
  await waitFor(() => browserProcesses(name).length === 0, 30000, 200, 'Chromium to end');
  assert.ok(await portRefuses(port));
});

test('a stale DevToolsActivePort from a browser that died starts a new one', async () => {
  const folderUnix = w.toUnix('C:\\wv2\\stale');
  await fsp.mkdir(folderUnix, { recursive: true });
  // Port 1 on 127.0.0.1 refuses, as the port of a dead browser does.
  await fsp.writeFile(path.join(folderUnix, 'DevToolsActivePort'), '1\n/devtools/browser/dead-browser\n');
  const h = await startHost('stale');
  assert.equal(browserProcesses('stale').length, 1);
  const port = devToolsPort(folderUnix);
  assert.notEqual(port, 1, 'the new browser wrote its own port');
  const r = await h.ask('exec 1 + 1', 'EXEC');
  assert.equal(r.json, '2');
  assert.equal(await h.askLine('close'), 'OK close 0x00000000 after=0x8007139F');
  await waitFor(() => browserProcesses('stale').length === 0, 30000, 200, 'Chromium to end');
});

test('a host that dies without Close does not keep Chromium alive after the last Close', async () => {
  const doomed = await startHost('orphan');
  const survivor = await startHost('orphan');
  const port = devToolsPort(doomed.folderUnix);
  doomed.child.kill('SIGKILL');
  await waitFor(() => doomed.child.exitCode !== null || doomed.child.signalCode !== null, 20000, 100,
    'the host to die');
  assert.equal(browserProcesses('orphan').length, 1, 'the browser outlives the dead host');
  // Its page stays behind, but nobody is attached to it any more.
  assert.equal((await pageTargets(port)).length, 2);
  assert.equal(await survivor.askLine('close'), 'OK close 0x00000000 after=0x8007139F');
  await waitFor(() => browserProcesses('orphan').length === 0, 30000, 200, 'Chromium to end');
});

test('ProcessFailed: a renderer crash leaves the view to Reload; a browser that dies closes it', { timeout: 180000 }, async () => {
  const h = await startHost('crash');
  const first = h.send('navigate https://page.test/order.html?before');
  await waitFor(() => h.messages(first).length >= 1, 30000, 50, 'the page');
  const browser = await chromium.connectOverCDP(`http://127.0.0.1:${devToolsPort(h.folderUnix)}`);
  try {
    const page = browser.contexts().flatMap((c) => c.pages()).find((p) => p.url().endsWith('?before'));
    const cdp = await page.context().newCDPSession(page);
    const crashed = h.out.lines.length;
    // Never answered: the renderer that would answer is gone.
    cdp.send('Page.crash').catch(() => {});
    const renderer = await h.next('FAILED', crashed, 20000);
    assert.equal(renderer.kind, '1', 'RENDER_PROCESS_EXITED');
    assertOnWindowThread(renderer, 'ProcessFailed');
    const reloaded = h.out.lines.length;
    assert.equal(await h.askLine('reload'), 'OK reload 0x00000000');
    await waitFor(() => h.messages(reloaded).some((m) => m.json.includes('?before')), 30000, 50, 'the page reloaded');
  } finally {
    await browser.close().catch(() => {});
  }

  const [pid] = browserProcesses('crash');
  const killed = h.out.lines.length;
  process.kill(pid, 'SIGKILL');
  const gone = await h.next('FAILED', killed, 20000);
  assert.equal(gone.kind, '0', 'BROWSER_PROCESS_EXITED');
  assertOnWindowThread(gone, 'ProcessFailed');
  // The view moved to the closed state by itself.
  assert.equal(await h.askLine('navigate https://page.test/order.html'), 'OK navigate 0x8007139F');
  const again = h.send('recreate');
  await h.nextLine('READY', again, 90000);
  const after = h.send('navigate https://page.test/order.html?after');
  await waitFor(() => h.messages(after).length >= 1, 30000, 50, 'the page in a new browser');
  assert.equal(await h.askLine('close'), 'OK close 0x00000000 after=0x8007139F');
});

test('a runtime update: NewBrowserVersionAvailable, no new environment while the old browser lives', { timeout: 180000 }, async () => {
  const updateUnix = path.join(w.root, 'update.txt');
  const env = { QV_WEBVIEW2_UPDATE_FILE: w.toWin(updateUnix) };
  const old = await startHost('update', env);
  const seen = old.out.lines.length;
  await fsp.writeFile(updateUnix, '157.0.8100.1\n');
  const announced = await old.next('NEWVERSION', seen, 10000);
  assertOnWindowThread(announced, 'NewBrowserVersionAvailable');
  assert.equal(announced.version, '156.0.8078.73', 'the environment keeps the version it runs');
  // A process that starts now gets the new version, which the old browser refuses.
  const late = await startHost('update', env, null);
  const refused = await late.next('ENVIRONMENT', 0, 60000);
  assert.equal(refused.hr, '0x8007139F', 'ERROR_INVALID_STATE while the old browser lives');
  assert.equal(await old.askLine('close'), 'OK close 0x00000000 after=0x8007139F');
  await waitFor(() => browserProcesses('update').length === 0, 30000, 200, 'the old browser to end');
  const again = late.send('recreate');
  assert.equal(await late.nextLine('READY', again, 90000), 'READY version=157.0.8100.1');
  assert.equal(await late.askLine('close'), 'OK close 0x00000000 after=0x8007139F');
});
