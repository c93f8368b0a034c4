// The Windows installer under Wine, as a trader runs it: a silent per-user install, the
// daemon it starts answering the terminal companion, an upgrade over a running install,
// and a silent uninstall that keeps the trader's data. The cases follow one another in a
// single prefix, as on one machine.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { freshWine, paths, lineReader, waitFor } from './lib/wine.mjs';
import { TerminalSim } from '../../testing/terminal-sim/terminal.mjs';

const setupExe = path.join(paths.buildWindows, 'QuorvaleWorkspaceSetup.exe');
const companionSource = path.join(paths.repoRoot, 'companion/mql5');
const version = /project\(QuorvaleWorkspace VERSION ([0-9.]+)/.exec(
  fs.readFileSync(path.join(paths.repoRoot, 'CMakeLists.txt'), 'utf8'))[1];
const RUN_KEY = 'HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run';
const UNINST_KEY = 'HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QuorvaleWorkspace';

let w;
let env;
let installDir;
let installDirWin;
let shortcut;
let terminalExperts;

// Every file under a folder, as relative paths with forward slashes.
function listFiles(root) {
  if (!fs.existsSync(root)) return [];
  return fs.readdirSync(root, { recursive: true, withFileTypes: true })
    .filter((e) => e.isFile())
    .map((e) => path.relative(root, path.join(e.parentPath ?? e.path, e.name)).split(path.sep).join('/'))
    .sort();
}
const companionFiles = () => listFiles(companionSource);

// Runs an installer or uninstaller to its end. Its standard handles are not pipes, so a
// daemon it starts (and which inherits them) cannot hold the run open.
function runSilently(exe, args) {
  return new Promise((resolve) => {
    const child = spawn('wine', [exe, ...args], { env, stdio: 'ignore' });
    const timer = setTimeout(() => child.kill('SIGKILL'), 120000);
    child.on('exit', (code) => {
      clearTimeout(timer);
      resolve(code);
    });
  });
}

// Linux pids and argument lists of this prefix's workspace processes.
function workspaceProcesses() {
  const found = [];
  for (const pid of fs.readdirSync('/proc').filter((p) => /^\d+$/.test(p))) {
    try {
      const environ = fs.readFileSync(`/proc/${pid}/environ`, 'latin1');
      if (!environ.includes(`WINEPREFIX=${w.prefix}\0`)) continue;
      const argv = fs.readFileSync(`/proc/${pid}/cmdline`, 'utf8').split('\0');
      while (argv.length && argv[argv.length - 1] === '') argv.pop();
      if (/QuorvaleWorkspace\.exe$/i.test(argv[0] ?? '')) found.push({ pid: Number(pid), argv });
    } catch {
      // Ended while we looked.
    }
  }
  return found;
}
const daemons = () => workspaceProcesses().filter((p) => p.argv.length === 1);

async function answersALaunchRequest(title) {
  const chart = w.spawn(paths.tool('fake_chart.exe'), [title]);
  const hwnd = (await lineReader(chart.stdout).next((l) => l.startsWith('HWND '))).slice(5);
  new TerminalSim(w.bridge).writeLaunch({ hwnd, symbol: 'gold' });
  await w.waitForLog(`Daemon launching Quorvale child for HWND: ${hwnd} Mode: WORKSTATION Symbol: OANDA:XAUUSD\r\n`, 30000);
  await w.waitForLog(`Launching Quorvale Chart Overlay for HWND: ${hwnd} Symbol: OANDA:XAUUSD\r\n`, 30000);
  const child = await waitFor(() => workspaceProcesses().find((p) => p.argv[1] === hwnd), 20000, 200, 'the child');
  return child;
}

before(async () => {
  assert.ok(fs.existsSync(setupExe), `${setupExe} is built (needs makensis)`);
  w = await freshWine();
  const emptyRuntime = path.join(w.root, 'no-webview2-runtime');
  fs.mkdirSync(emptyRuntime);
  // The daemon inherits the installer's environment, and its children the daemon's: the
  // runtime counts as missing, so a chart child stops at its runtime box. Wine's menu
  // builder would copy the Start-menu entry into this machine's own desktop menus.
  env = { ...w.env, WEBVIEW2_BROWSER_EXECUTABLE_FOLDER: w.toWin(emptyRuntime),
    WINEDLLOVERRIDES: `${w.env.WINEDLLOVERRIDES};winemenubuilder.exe=d` };
  const user = os.userInfo().username;
  installDir = path.join(w.prefix, 'drive_c/users', user, 'AppData/Local/Programs/Quorvale Workspace');
  installDirWin = `C:\\users\\${user}\\AppData\\Local\\Programs\\Quorvale Workspace`;
  shortcut = path.join(w.appdata, 'Microsoft/Windows/Start Menu/Programs/Quorvale Workspace.lnk');
  // One MetaTrader 5 installation's data folder; the common folder is no data folder.
  terminalExperts = path.join(w.appdata, 'MetaQuotes/Terminal/D0E8209F77C8CF37AD8BF550E51FF075/MQL5/Experts');
  fs.mkdirSync(terminalExperts, { recursive: true });
});
after(async () => {
  await w?.close();
});

test('a silent install puts the program, entries and companion files in place and starts the daemon', async () => {
  assert.equal(await runSilently(setupExe, ['/S']), 0);
  assert.deepEqual(fs.readFileSync(path.join(installDir, 'QuorvaleWorkspace.exe')), fs.readFileSync(paths.exe));
  assert.ok(fs.existsSync(path.join(installDir, 'Uninstall.exe')));
  assert.ok(fs.existsSync(shortcut), 'Start-menu entry');
  assert.equal(await w.regQuery(RUN_KEY, 'QuorvaleWorkspace'), `"${installDirWin}\\QuorvaleWorkspace.exe"`);
  assert.equal(await w.regQuery(UNINST_KEY, 'DisplayName'), 'Quorvale Workspace');
  assert.equal(await w.regQuery(UNINST_KEY, 'DisplayVersion'), version);
  assert.equal(await w.regQuery(UNINST_KEY, 'UninstallString'), `"${installDirWin}\\Uninstall.exe"`);
  assert.equal(await w.regQuery(UNINST_KEY, 'InstallLocation'), installDirWin);
  // The program's own version resource tells the same version as Apps & features.
  const exeText = fs.readFileSync(path.join(installDir, 'QuorvaleWorkspace.exe')).toString('utf16le');
  assert.equal(/ProductVersion\0+([0-9.]+)\0/.exec(exeText)?.[1], version);

  // Every file of the companion's folder, in the terminal's experts and in the program's copy.
  const expected = companionFiles();
  assert.deepEqual(listFiles(path.join(terminalExperts, 'Quorvale')), expected);
  assert.deepEqual(listFiles(path.join(installDir, 'Companion')), expected);
  for (const rel of expected) {
    assert.deepEqual(fs.readFileSync(path.join(terminalExperts, 'Quorvale', rel)), fs.readFileSync(path.join(companionSource, rel)), rel);
  }
  assert.equal(fs.existsSync(path.join(w.appdata, 'MetaQuotes/Terminal/Common/MQL5')), false, 'the common folder is no data folder');

  await w.waitForLog('Quorvale Daemon loop active and watching: ', 60000);
  const [daemon] = await waitFor(() => daemons().length === 1 && daemons(), 20000, 200, 'one daemon');
  assert.match(daemon.argv[0], /Programs\\Quorvale Workspace\\QuorvaleWorkspace\.exe$/i);
  const child = await answersALaunchRequest('Chart A');
  assert.match(child.argv[0], /Programs\\Quorvale Workspace\\QuorvaleWorkspace\.exe$/i);
});

test('a second install over the running first stops it and upgrades in place', async () => {
  const [old] = daemons();
  assert.ok(old, 'the first install\'s daemon runs');
  const changedCopy = companionFiles()[0];
  if (changedCopy) fs.writeFileSync(path.join(installDir, 'Companion', changedCopy), 'edited by hand');
  fs.writeFileSync(path.join(installDir, 'Companion', 'left-from-old-version.mq5'), 'old');

  assert.equal(await runSilently(setupExe, ['/S']), 0);
  // Terminated under Windows before the installer went on; its Linux process may take a
  // moment more to be gone.
  await waitFor(() => !workspaceProcesses().some((p) => p.pid === old.pid), 10000, 100, 'the old daemon to end');
  await w.waitForLog('Quorvale Daemon loop active and watching: ', 60000, 2);
  const [fresh] = await waitFor(() => daemons().length === 1 && daemons(), 20000, 200, 'one new daemon');
  assert.notEqual(fresh.pid, old.pid);
  assert.equal((await w.readLog()).includes('Daemon instance already active. Exiting duplicate.'), false,
    'the new daemon did not meet the old one');
  assert.deepEqual(listFiles(path.join(installDir, 'Companion')), companionFiles());
  assert.deepEqual(fs.readFileSync(path.join(installDir, 'QuorvaleWorkspace.exe')), fs.readFileSync(paths.exe));
  assert.deepEqual(fs.readdirSync(path.dirname(installDir)), ['Quorvale Workspace'], 'one program folder');
  assert.equal(await w.regQuery(UNINST_KEY, 'InstallLocation'), installDirWin);
  await answersALaunchRequest('Chart B');
});

test('a silent uninstall stops the workspace, removes the program and keeps the trader\'s data', async () => {
  assert.ok(daemons().length === 1, 'the daemon runs before the uninstall');
  const dataFolder = path.join(w.appdata, 'Quorvale_Workspace_Data');
  fs.writeFileSync(path.join(w.bridge, 'QV_TelegramConfig.json'), '{"token":"t","chat":"1"}');
  const bridgeBefore = fs.readdirSync(w.bridge).sort();
  assert.ok(fs.existsSync(dataFolder) && fs.existsSync(w.log));
  // The terminal's own compiled expert beside the copied sources is not ours to delete.
  fs.mkdirSync(path.join(terminalExperts, 'Quorvale'), { recursive: true });
  fs.writeFileSync(path.join(terminalExperts, 'Quorvale', 'Compiled.ex5'), 'terminal output');

  // As "Apps & features" runs it: the uninstaller copies itself away and returns at once.
  assert.equal(await runSilently(path.join(installDir, 'Uninstall.exe'), ['/S']), 0);
  await waitFor(() => !fs.existsSync(installDir), 60000, 250, 'the program folder to go');
  await waitFor(() => workspaceProcesses().length === 0, 20000, 200, 'every workspace process to end');
  assert.equal(fs.existsSync(shortcut), false, 'Start-menu entry removed');
  assert.equal(await w.regQuery(RUN_KEY, 'QuorvaleWorkspace'), null, 'Run value removed');
  assert.equal(await w.regQuery(UNINST_KEY, 'DisplayName'), null, 'Apps & features entry removed');
  assert.deepEqual(listFiles(path.join(terminalExperts, 'Quorvale')), ['Compiled.ex5']);

  for (const name of bridgeBefore) assert.ok(fs.existsSync(path.join(w.bridge, name)), `bridge file ${name} kept`);
  assert.ok(fs.existsSync(dataFolder), 'workspace data folder kept');
  assert.ok(fs.existsSync(w.log), 'debug log kept');
});

test('the data box (silently: /REMOVEDATA) also removes the bridge folder, profile and log', async () => {
  assert.equal(await runSilently(setupExe, ['/S']), 0);
  await w.waitForLog('Quorvale Daemon loop active and watching: ', 60000, 3);
  assert.equal(await runSilently(path.join(installDir, 'Uninstall.exe'), ['/S', '/REMOVEDATA']), 0);
  await waitFor(() => !fs.existsSync(installDir), 60000, 250, 'the program folder to go');
  await waitFor(() => !fs.existsSync(w.log), 20000, 250, 'the debug log to go');
  assert.equal(fs.existsSync(w.bridge), false, 'bridge folder removed');
  assert.equal(fs.existsSync(path.join(w.appdata, 'Quorvale_Workspace_Data')), false, 'workspace data removed');
  assert.ok(fs.existsSync(w.common), 'the terminal\'s common folder stays');
  assert.ok(fs.existsSync(terminalExperts), 'the terminal\'s experts stay');
});
