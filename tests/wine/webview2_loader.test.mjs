// The WebView2 loader in a real Windows process: runtime search through the folder
// variable and the registry, what environment creation hands to the client DLL's entry
// point, its failure codes, the vtable slots of our declarations and the handler wrapper.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { freshWine, paths } from './lib/wine.mjs';

const STABLE = '{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}';
const BETA = '{2CD8A007-E189-409D-A2C8-9AF4EF3C72AA}';
const FAKE_VERSION = '120.0.2210.91';
const CLEAN_ENV = {
  WEBVIEW2_BROWSER_EXECUTABLE_FOLDER: '',
  WEBVIEW2_USER_DATA_FOLDER: '',
  WEBVIEW2_RELEASE_CHANNEL_PREFERENCE: '',
  WEBVIEW2_CHANNEL_SEARCH_KIND: '',
  WEBVIEW2_RELEASE_CHANNELS: '',
  WEBVIEW2_ADDITIONAL_BROWSER_ARGUMENTS: '',
};
let w;
let records = 0;

before(async () => {
  w = await freshWine();
});
after(async () => {
  await w?.close();
});

const probe = (args, env = {}) =>
  w.run(paths.tool('webview2_loader_probe.exe'), args, { env: { ...CLEAN_ENV, ...env }, timeoutMs: 60000 });

/** Lays out a runtime folder on drive C whose client DLL is the given fake variant. */
function installRuntime(relative, variant = 'fake_runtime') {
  const folder = path.join(w.prefix, 'drive_c', relative);
  fs.mkdirSync(path.join(folder, 'EBWebView/x64'), { recursive: true });
  fs.copyFileSync(paths.tool(`${variant}.dll`), path.join(folder, 'EBWebView/x64/EmbeddedBrowserWebView.dll'));
  return 'C:\\' + relative.replace(/\//g, '\\');
}

/** A fresh record file for the fake entry point; read() gives its fields, or null if unwritten. */
function recordFile() {
  const file = path.join(w.root, `record-${++records}.txt`);
  return {
    env: { QV_FAKE_RUNTIME_RECORD: w.toWin(file) },
    read() {
      if (!fs.existsSync(file)) return null;
      const fields = {};
      for (const line of fs.readFileSync(file, 'utf8').split('\r\n').filter(Boolean)) {
        const i = line.indexOf('=');
        fields[line.slice(0, i)] = line.slice(i + 1);
      }
      return fields;
    },
  };
}

const field = (stdout, name) => new RegExp(`^${name} (.*)$`, 'm').exec(stdout)?.[1];
const pointer = (text) => BigInt('0x' + text.replace(/^0x/i, ''));

async function addClientState(hive, guid, folder) {
  const key = hive === 'HKLM'
    ? `HKLM\\Software\\Wow6432Node\\Microsoft\\EdgeUpdate\\ClientState\\${guid}`
    : `HKCU\\Software\\Microsoft\\EdgeUpdate\\ClientState\\${guid}`;
  const r = await w.run('reg', ['add', key, '/v', 'EBWebView', '/d', folder, '/f']);
  assert.equal(r.code, 0, `reg add ${key}`);
  return key;
}

// Runs first, before any test adds registry keys.
test('without any runtime, creation fails with file-not-found and never calls the handler', async () => {
  const rec = recordFile();
  const none = await probe(['create', '-', '-'], rec.env);
  assert.match(none.stdout, /^CREATE hr=80070002$/m);
  assert.match(none.stdout, /^HANDLER_CALLS 0$/m);
  assert.doesNotMatch(none.stdout, /^HANDLER hr=/m);
  assert.match((await probe(['version', '-'])).stdout, /^VERSION hr=80070002 text=\(null\)$/m);
  assert.match((await probe(['nohandler'])).stdout, /^CREATE hr=80004003$/m, 'null handler is E_POINTER');
});

test('a fixed folder is found through the variable, the argument and relative to the exe', async () => {
  const fixed = installRuntime('fixedrt');
  const expected = new RegExp(`^VERSION hr=00000000 text=${FAKE_VERSION.replace(/\./g, '\\.')}$`, 'm');
  assert.match((await probe(['version', '-'], { WEBVIEW2_BROWSER_EXECUTABLE_FOLDER: fixed })).stdout, expected);
  assert.match((await probe(['version', fixed])).stdout, expected);
  // The variable wins over the caller's folder.
  assert.match((await probe(['version', 'C:\\nowhere'], { WEBVIEW2_BROWSER_EXECUTABLE_FOLDER: fixed })).stdout, expected);
  assert.match((await probe(['version', 'C:\\nowhere'])).stdout, /^VERSION hr=80070002/m);

  // A relative folder is taken from the exe's folder, not the working directory.
  const app = path.join(w.prefix, 'drive_c/app');
  fs.mkdirSync(app, { recursive: true });
  fs.copyFileSync(paths.tool('webview2_loader_probe.exe'), path.join(app, 'probe.exe'));
  installRuntime('app/rt');
  const rec = recordFile();
  const relative = await w.run(path.join(app, 'probe.exe'), ['create', 'rt', '-'], { env: { ...CLEAN_ENV, ...rec.env } });
  assert.match(relative.stdout, /^CREATE hr=00000000$/m);
  assert.equal(rec.read()?.runtimeType, '1');
});

test('the entry point receives flag 1, runtime type 1, the user-data folder and the options', async () => {
  const fixed = installRuntime('argsrt');
  const env = { WEBVIEW2_BROWSER_EXECUTABLE_FOLDER: fixed };

  const rec = recordFile();
  const r = await probe(['create', '-', 'C:\\profile \u00e9t\u00e9', 'options'], { ...env, ...rec.env });
  assert.match(r.stdout, /^CREATE hr=00000000$/m);
  // The fake answers E_FAIL through the handler; the loader forwards the handler untouched.
  assert.match(r.stdout, /^HANDLER hr=80004005 environment=null$/m);
  assert.match(r.stdout, /^HANDLER_CALLS 1$/m);
  const got = rec.read();
  assert.equal(got.flag, '1');
  assert.equal(got.runtimeType, '1');
  assert.equal(got.userDataFolder, 'C:\\profile \u00e9t\u00e9');
  assert.equal(got.handler, 'set');
  assert.equal(pointer(got.options), pointer(field(r.stdout, 'OPTIONS')), 'options pointer passed through');
  assert.notEqual(pointer(got.options), 0n);
  assert.equal(got.additionalArguments, '(unset)');

  // WEBVIEW2_USER_DATA_FOLDER replaces the caller's folder; null stays null; the extra
  // browser arguments reach the runtime exactly as set.
  const overridden = recordFile();
  await probe(['create', '-', 'C:\\profile'], {
    ...env, ...overridden.env,
    WEBVIEW2_USER_DATA_FOLDER: 'D:\\elsewhere',
    WEBVIEW2_ADDITIONAL_BROWSER_ARGUMENTS: '--lang=de --disable-gpu',
  });
  assert.equal(overridden.read().userDataFolder, 'D:\\elsewhere');
  assert.equal(overridden.read().additionalArguments, '--lang=de --disable-gpu');
  assert.equal(pointer(overridden.read().options), 0n, 'no options object: null');
  // A long override must not be dropped as if it were unset (a fixed buffer once did).
  const long = recordFile();
  const longFolder = 'C:\\' + 'x'.repeat(3000);
  await probe(['create', '-', 'C:\\profile'], { ...env, ...long.env, WEBVIEW2_USER_DATA_FOLDER: longFolder });
  assert.equal(long.read().userDataFolder, longFolder);
  const nullFolder = recordFile();
  await probe(['create', '-', '-'], { ...env, ...nullFolder.env });
  assert.equal(nullFolder.read().userDataFolder, '(null)');

  // A failure the entry point returns is the loader's result.
  const refused = recordFile();
  const failed = await probe(['create', '-', '-'], { ...env, ...refused.env, QV_FAKE_RUNTIME_RESULT: '80070057' });
  assert.match(failed.stdout, /^CREATE hr=80070057$/m);
  assert.match(failed.stdout, /^HANDLER_CALLS 0$/m);
});

test('failure codes: folder without the DLL, DLL that cannot load, DLL without the entry point', async () => {
  const empty = path.join(w.prefix, 'drive_c/emptyrt/EBWebView/x64');
  fs.mkdirSync(empty, { recursive: true });
  const noEntry = installRuntime('noentryrt', 'fake_runtime_no_entry');
  const absentImport = installRuntime('brokenrt', 'fake_runtime_absent_import');
  const cases = [
    ['C:\\emptyrt', '80070002'], // ERROR_FILE_NOT_FOUND: no runtime there
    [absentImport, '8007007E'], // ERROR_MOD_NOT_FOUND from LoadLibrary
    [noEntry, '8007007F'], // ERROR_PROC_NOT_FOUND
  ];
  for (const [folder, hr] of cases) {
    const rec = recordFile();
    const r = await probe(['create', '-', '-'], { WEBVIEW2_BROWSER_EXECUTABLE_FOLDER: folder, ...rec.env });
    assert.match(r.stdout, new RegExp(`^CREATE hr=${hr}$`, 'm'), folder);
    assert.match(r.stdout, /^HANDLER_CALLS 0$/m, `${folder}: handler not called`);
    assert.equal(rec.read(), null, `${folder}: no entry point ran`);
  }
  // The runtime search itself accepts both DLLs, exactly as the version lookup does.
  assert.match((await probe(['version', noEntry])).stdout, /^VERSION hr=00000000 /m);
  assert.match((await probe(['version', absentImport])).stdout, /^VERSION hr=00000000 /m);
});

test('registry runtimes: machine before user, channel order and its overrides, runtime type 0', async () => {
  const machineStable = installRuntime('reg/stable/131.0.2903.146');
  const userStable = installRuntime('reg/userstable/132.0.2957.115');
  const userBeta = installRuntime('reg/beta/133.0.3065.19');
  await addClientState('HKLM', STABLE, machineStable);
  await addClientState('HKCU', STABLE, userStable);
  await addClientState('HKCU', BETA, userBeta);

  const version = async (env) => field((await probe(['version', '-'], env)).stdout, 'VERSION');
  assert.equal(await version({}), 'hr=00000000 text=131.0.2903.146', 'machine-wide stable first');
  assert.equal(await version({ WEBVIEW2_RELEASE_CHANNEL_PREFERENCE: '1' }), 'hr=00000000 text=133.0.3065.19 beta');
  assert.equal(await version({ WEBVIEW2_CHANNEL_SEARCH_KIND: '1' }), 'hr=00000000 text=133.0.3065.19 beta');
  assert.equal(await version({ WEBVIEW2_RELEASE_CHANNELS: '1' }), 'hr=00000000 text=133.0.3065.19 beta');
  assert.equal(await version({ WEBVIEW2_RELEASE_CHANNELS: '2,3' }), 'hr=80070002 text=(null)');

  // Environment creation loads the DLL of the very runtime the lookup reported.
  const rec = recordFile();
  const r = await probe(['create', '-', 'C:\\data'], rec.env);
  assert.match(r.stdout, /^CREATE hr=00000000$/m);
  assert.equal(rec.read().runtimeType, '0');
  assert.equal(rec.read().userDataFolder, 'C:\\data');

  // With the machine-wide runtime gone from disk the per-user one is used, for both.
  fs.rmSync(path.join(w.prefix, 'drive_c/reg/stable'), { recursive: true });
  assert.equal(await version({}), 'hr=00000000 text=132.0.2957.115');
  const beta = recordFile();
  await probe(['create', '-', '-'], { ...beta.env, WEBVIEW2_RELEASE_CHANNELS: '1' });
  assert.equal(beta.read().runtimeType, '0');
});

test('every declared method sits at the slot its enum names', async () => {
  const r = await probe(['slots']);
  // 5 + 23 + 2 + 58 + 7 + 5 + 18 + 3 + 8 own methods, plus seven handlers' Invoke; the
  // resource-request path: 3 + 6 + 5 + 7 + 7 + 5 methods and its handler's Invoke; the
  // DevTools protocol path: 2 + 1 methods and two handlers' Invoke; the failure and update
  // events: 1 method (ProcessFailedEventArgs) and two handlers' Invoke.
  assert.match(r.stdout, /^SLOTS checked=178 mismatched=0$/m, r.stdout);
  assert.equal(r.code, 0);
});

test('MakeComCallback: forwarding, QueryInterface, reference counting and release', async () => {
  const r = await probe(['callback']);
  const lines = Object.fromEntries(r.stdout.split(/\r?\n/).filter(Boolean).map((l) => {
    const i = l.indexOf(' ');
    return [l.slice(0, i), l.slice(i + 1)];
  }));
  assert.deepEqual(lines, {
    INVOKE: 'returned=80004004 error=80070005 text={"a":1}',
    THROW: 'returned=8000FFFF',
    QI_IUNKNOWN: 'hr=00000000 same=1',
    QI_OWN: 'hr=00000000 same=1',
    QI_OTHER: 'hr=80004002 null=1',
    QI_NULL: 'hr=80004003',
    REFS: 'afterAddRef=2 destroyedWhileHeld=0',
    RELEASE: 'last=0 destroyed=1',
  });
});
