// Black-box harness for the real Windows executables under Wine.
//
// Every test file gets a fresh, isolated WINEPREFIX (its own %APPDATA%, registry and
// wineserver), copied from a template that is built once per machine with `wineboot -i`.
// An Xvfb display is started per test process so GUI programs (message boxes, windows)
// have somewhere to live.
import { spawn, execFile } from 'node:child_process';
import fs from 'node:fs';
import fsp from 'node:fs/promises';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
export const repoRoot = path.resolve(here, '../../..');
// QV_WINDOWS_BUILD_DIR points the tests at another Windows build tree (an engineer's own).
const buildWindows = process.env.QV_WINDOWS_BUILD_DIR
  ? path.resolve(process.env.QV_WINDOWS_BUILD_DIR)
  : path.join(repoRoot, 'build/windows');
export const paths = {
  repoRoot,
  buildWindows,
  exe: path.join(buildWindows, 'QuorvaleWorkspace.exe'),
  tool: (name) => path.join(buildWindows, 'testing', name),
  templateRoot: path.join(repoRoot, 'build/wine-template'),
};

const baseEnv = () => ({ ...process.env, WINEDEBUG: '-all', WINEDLLOVERRIDES: 'mscoree,mshtml=' });

/** Polls fn until it returns a truthy value or the deadline passes. */
export async function waitFor(fn, timeoutMs = 15000, intervalMs = 100, what = 'condition') {
  const deadline = Date.now() + timeoutMs;
  let last;
  for (;;) {
    try {
      last = await fn();
      if (last) return last;
    } catch (err) {
      last = err;
    }
    if (Date.now() > deadline) {
      throw new Error(`timed out after ${timeoutMs} ms waiting for ${what}` +
        (last instanceof Error ? `: ${last.message}` : ''));
    }
    await new Promise((r) => setTimeout(r, intervalMs));
  }
}

function run(cmd, args, { env, timeoutMs = 60000, input } = {}) {
  return new Promise((resolve) => {
    const child = spawn(cmd, args, { env, stdio: ['pipe', 'pipe', 'pipe'] });
    let stdout = '';
    let stderr = '';
    child.stdout.on('data', (d) => (stdout += d));
    child.stderr.on('data', (d) => (stderr += d));
    const timer = setTimeout(() => child.kill('SIGKILL'), timeoutMs);
    child.on('close', (code, signal) => {
      clearTimeout(timer);
      resolve({ code, signal, stdout, stderr, timedOut: signal === 'SIGKILL' });
    });
    if (input !== undefined) child.stdin.end(input);
    else child.stdin.end();
  });
}

let xvfb = null;
async function ensureDisplay() {
  if (xvfb) return xvfb.display;
  for (let n = 100 + (process.pid % 200); n < 400; n++) {
    if (fs.existsSync(`/tmp/.X11-unix/X${n}`) || fs.existsSync(`/tmp/.X${n}-lock`)) continue;
    const proc = spawn('Xvfb', [`:${n}`, '-screen', '0', '1600x1000x24', '-nolisten', 'tcp'], {
      stdio: 'ignore',
    });
    const ok = await waitFor(() => fs.existsSync(`/tmp/.X11-unix/X${n}`) || proc.exitCode !== null,
      10000, 50, 'Xvfb').catch(() => false);
    if (ok && proc.exitCode === null) {
      // The display must not keep the test process alive once its tests are done.
      proc.unref();
      xvfb = { proc, display: `:${n}` };
      process.on('exit', () => proc.kill());
      return xvfb.display;
    }
    proc.kill();
  }
  throw new Error('could not start Xvfb');
}

// Builds the template prefix once; a lock directory keeps parallel test runs from
// building it twice.
async function ensureTemplate(display) {
  const prefix = path.join(paths.templateRoot, 'prefix');
  // Bump the marker's name when the template's set-up changes, so old templates are rebuilt.
  const ready = path.join(paths.templateRoot, 'ready-v2');
  if (fs.existsSync(ready)) return prefix;
  await fsp.mkdir(paths.templateRoot, { recursive: true });
  const lock = path.join(paths.templateRoot, 'lock');
  await waitFor(async () => {
    if (fs.existsSync(ready)) return true;
    try {
      await fsp.mkdir(lock);
      return true;
    } catch {
      // A lock older than five minutes belongs to a run that died.
      const st = await fsp.stat(lock).catch(() => null);
      if (st && Date.now() - st.mtimeMs > 300000) await fsp.rm(lock, { recursive: true, force: true });
      return false;
    }
  }, 600000, 500, 'the Wine template lock');
  try {
    if (fs.existsSync(ready)) return prefix;
    await fsp.rm(prefix, { recursive: true, force: true });
    const env = { ...baseEnv(), WINEPREFIX: prefix, DISPLAY: display };
    const boot = await run('wineboot', ['-i'], { env, timeoutMs: 300000 });
    // A crashing test program must end at once: without a registered debugger Wine ends
    // the process instead of starting winedbg, whose crash dialog would wait forever.
    await run('wine', ['reg', 'delete', 'HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\AeDebug', '/v', 'Debugger', '/f'], { env });
    await run('wine', ['reg', 'add', 'HKCU\\Software\\Wine\\WineDbg', '/v', 'ShowCrashDialog', '/t', 'REG_DWORD', '/d', '0', '/f'], { env });
    await run('wineserver', ['-w'], { env, timeoutMs: 120000 });
    if (!fs.existsSync(path.join(prefix, 'system.reg'))) {
      throw new Error(`wineboot failed: ${boot.stderr.slice(-2000)}`);
    }
    await fsp.writeFile(ready, new Date().toISOString());
    return prefix;
  } finally {
    await fsp.rm(lock, { recursive: true, force: true });
  }
}

/**
 * Chromium's main processes (helpers carry --type=) whose user-data folder lies under root
 * and, when folderName is given, ends in /folderName.
 */
export function browserProcesses(root, folderName = '') {
  const found = [];
  for (const pid of fs.readdirSync('/proc').filter((p) => /^\d+$/.test(p))) {
    let cmd;
    try {
      cmd = fs.readFileSync(`/proc/${pid}/cmdline`, 'utf8').split('\0');
    } catch {
      continue;
    }
    if (!/chromium$/.test(cmd[0] || '')) continue;
    if (cmd.some((a) => a.startsWith('--type='))) continue;
    if (cmd.some((a) => a.startsWith('--user-data-dir=') && a.includes(root) &&
                        (folderName === '' || a.endsWith('/' + folderName)))) {
      found.push(Number(pid));
    }
  }
  return found;
}

// The Chromium-backed WebView2 runtime starts Linux Chromium processes, which outlive the
// prefix's wineserver. They name the test's folder in --user-data-dir and inherit WINEPREFIX
// from the Wine process that started them; either finds them. Returns the pids of the
// processes, other than this one, that name root in their command line or carry the prefix
// in their environment.
function processesUnder(root, prefix) {
  const found = [];
  for (const pid of fs.readdirSync('/proc').filter((p) => /^\d+$/.test(p))) {
    if (Number(pid) === process.pid) continue;
    try {
      const cmdline = fs.readFileSync(`/proc/${pid}/cmdline`, 'utf8');
      const environ = fs.readFileSync(`/proc/${pid}/environ`, 'utf8').split('\0');
      if (cmdline.includes(root) || environ.includes(`WINEPREFIX=${prefix}`)) found.push(Number(pid));
    } catch {
      // Gone already, or not ours to read.
    }
  }
  return found;
}

/** Sends SIGKILL to each pid; returns the list it was given. */
function killProcesses(pids) {
  for (const pid of pids) {
    try {
      process.kill(pid, 'SIGKILL');
    } catch {
      // Ended between the listing and the kill.
    }
  }
  return pids;
}

// Repeats until a pass finds nothing, for a browser that was still starting during the last
// one; the processes that will not die are reported, never silently left running.
async function endProcessesUnder(root, prefix, timeoutMs = 10000) {
  const deadline = Date.now() + timeoutMs;
  let left = killProcesses(processesUnder(root, prefix));
  while (left.length > 0 && Date.now() < deadline) {
    await new Promise((r) => setTimeout(r, 200));
    left = killProcesses(processesUnder(root, prefix));
  }
  if (left.length > 0) console.error(`processes of ${root} still running after the test: ${left.join(' ')}`);
}

/** A fresh isolated Wine environment for one test file. */
export async function freshWine() {
  const display = await ensureDisplay();
  const template = await ensureTemplate(display);
  const root = await fsp.mkdtemp(path.join(os.tmpdir(), 'qv-wine-'));
  const prefix = path.join(root, 'prefix');
  await run('cp', ['-a', template, prefix], { timeoutMs: 120000 });
  const user = os.userInfo().username;
  const appdata = path.join(prefix, 'drive_c/users', user, 'AppData/Roaming');
  const common = path.join(appdata, 'MetaQuotes/Terminal/Common/Files');
  const bridge = path.join(common, 'Quorvale');
  // A trader's machine has the terminal's common folder; the workspace creates only its
  // own subfolder, so the tests start from the same state.
  await fsp.mkdir(common, { recursive: true });
  const env = { ...baseEnv(), WINEPREFIX: prefix, DISPLAY: display };
  const children = new Set();
  // A test process that ends without its after hook (an exception, process.exit) still takes
  // its prefix's processes with it; Wine's and the browsers at once, so none restarts another.
  const endAtExit = () => killProcesses(processesUnder(root, prefix));
  process.once('exit', endAtExit);

  const toUnix = (winPath) => {
    const m = /^([A-Za-z]):[\\/]?(.*)$/.exec(winPath);
    if (!m) return winPath;
    const rest = m[2].replace(/\\/g, '/');
    if (m[1].toLowerCase() === 'z') return '/' + rest;
    if (m[1].toLowerCase() === 'c') return path.join(prefix, 'drive_c', rest);
    return path.join(prefix, 'dosdevices', m[1].toLowerCase() + ':', rest);
  };
  const toWin = (unixPath) => {
    const driveC = path.join(prefix, 'drive_c') + '/';
    if (unixPath.startsWith(driveC)) return 'C:\\' + unixPath.slice(driveC.length).replace(/\//g, '\\');
    return 'Z:' + path.resolve(unixPath).replace(/\//g, '\\');
  };
  const log = path.join(appdata, 'Quorvale_Workspace_Debug.log');

  const w = {
    root, prefix, env, display, appdata, common, bridge, log, toUnix, toWin,
    /** Runs a Windows program to its end; resolves with its exit code and output. */
    run(exe, args = [], opts = {}) {
      return run('wine', [exe, ...args], { env: { ...env, ...(opts.env || {}) }, timeoutMs: opts.timeoutMs ?? 60000, input: opts.input });
    },
    /** Starts a Windows program and returns the ChildProcess; ended by close(). */
    spawn(exe, args = [], opts = {}) {
      const child = spawn('wine', [exe, ...args], { env: { ...env, ...(opts.env || {}) }, stdio: ['pipe', 'pipe', 'pipe'] });
      children.add(child);
      child.on('close', () => children.delete(child));
      return child;
    },
    async readLog() {
      return fsp.readFile(log, 'utf8').catch(() => '');
    },
    /** Resolves with the whole log once it contains the text (count times, default once). */
    async waitForLog(text, timeoutMs = 20000, count = 1) {
      return waitFor(async () => {
        const content = await w.readLog();
        return content.split(text).length - 1 >= count ? content : false;
      }, timeoutMs, 100, `log line "${text}"`);
    },
    /** Value data of a registry value, or null when it is absent. */
    async regQuery(key, valueName) {
      const r = await run('wine', ['reg', 'query', key, '/v', valueName], { env, timeoutMs: 60000 });
      const line = r.stdout.split(/\r?\n/).find((l) => l.trim().startsWith(valueName + ' ') || l.includes(`${valueName}    REG_`));
      if (!line) return null;
      const m = /REG_\w+\s+(.*)$/.exec(line.trim());
      return m ? m[1] : null;
    },
    async close() {
      for (const child of children) child.kill('SIGKILL');
      await run('wineserver', ['-k'], { env, timeoutMs: 30000 });
      await run('wineserver', ['-w'], { env, timeoutMs: 30000 });
      // Only once no Wine process is left: a runtime or overlay that sees its browser die
      // starts another one (that is its crash recovery), and the browsers it started after
      // an earlier sweep here outlived the tests.
      await endProcessesUnder(root, prefix);
      process.removeListener('exit', endAtExit);
      await fsp.rm(root, { recursive: true, force: true });
    },
  };
  return w;
}

/** Reads lines from a child's stdout as they arrive. */
export function lineReader(stream) {
  let buffer = '';
  const lines = [];
  stream.setEncoding('utf8');
  stream.on('data', (d) => {
    buffer += d;
    let i;
    while ((i = buffer.indexOf('\n')) >= 0) {
      lines.push(buffer.slice(0, i).replace(/\r$/, ''));
      buffer = buffer.slice(i + 1);
    }
  });
  return {
    lines,
    next: (pred, timeoutMs = 20000) =>
      waitFor(() => lines.find(pred), timeoutMs, 50, 'a line from the program'),
  };
}

export { execFile };
