// The build's check of the HUD's join order (cmake/check_hud_order.mjs), over small folders
// of its own: each fault a newcomer could make is named with its file, line and name, and
// what only looks like a use of a later name (a property, a key, a local, a string, a
// comment, a regular expression) is not one.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { mkdtempSync, writeFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, basename } from 'node:path';
import { checkFolder } from '../../cmake/check_hud_order.mjs';

// files: [name, source] in join order; extra: files on disk that ORDER does not list.
function faultsOf(files, { order, extra = [] } = {}) {
  const dir = mkdtempSync(join(tmpdir(), 'qv-order-'));
  try {
    const names = order || files.map(([n]) => n);
    writeFileSync(join(dir, 'ORDER'), '# comment\n' + names.join('\n') + '\n');
    for (const [n, src] of [...files, ...extra]) writeFileSync(join(dir, n), src);
    return checkFolder(dir).faults.map((f) => f.split(basename(dir) + '/').join(''));
  } finally {
    rmSync(dir, { recursive: true, force: true });
  }
}

test('faults: each named with its file, line and name', () => {
  const cases = [
    ['a later file\'s name used at the top level',
      [['a.js', 'const x = 1;\nconst y = later();\n'], ['b.js', 'function later() { return x; }\n']],
      ['a.js:2: later is defined by b.js, which is joined later']],
    ['a later file\'s name used inside a function that runs only after the build',
      [['a.js', 'function f() {\n  return panel.open();\n}\n'], ['b.js', 'const panel = { open: function () { return f; } };\n']],
      ['a.js:2: panel is defined by b.js, which is joined later']],
    ['another file\'s state written',
      [['a.js', 'let count = 0;\n'], ['b.js', 'function bump() {\n  count++;\n  count = 2;\n}\n']],
      ['b.js:2: writes count, which a.js owns']],
    ['a class used above its file',
      [['a.js', 'const c = new Later();\n'], ['b.js', 'class Later {}\n']],
      ['a.js:1: Later is defined by b.js, which is joined later']],
    ['one name defined by two files',
      [['a.js', 'function el() {}\n'], ['b.js', '\nvar el = 1;\n']],
      ['b.js:2: el is already defined by a.js']],
    ['a name on the global object',
      [['a.js', 'window.qvOrderFate = function () {};\nglobalThis["x"] = 1;\nObject.defineProperty(window, \'y\', {});\n']],
      ['a.js:1: puts qvOrderFate on the global object', 'a.js:2: puts [computed] on the global object',
        'a.js:3: puts y on the global object']],
    ['a branch of a conditional, which looks like a key',
      [['a.js', 'function f(a) {\n  return a ? ticket : a;\n}\n'], ['b.js', 'const ticket = 1;\n']],
      ['a.js:2: ticket is defined by b.js, which is joined later']],
    ['a name nobody defines',
      [['a.js', 'function f() {\n  return setings.get(\'x\');\n}\n']],
      ['a.js:2: setings is defined by no file here and is no browser global']],
  ];
  for (const [what, files, want] of cases) assert.deepEqual(faultsOf(files), want, what);
});

test('ORDER and the folder agree', () => {
  assert.deepEqual(faultsOf([['a.js', '']], { extra: [['new.js', '']] }), ['new.js: not listed in ORDER, so it is never joined']);
  assert.deepEqual(faultsOf([['a.js', '']], { order: ['a.js', 'gone.js'] }), ['ORDER: names a missing file: gone.js']);
  assert.deepEqual(faultsOf([['a.js', '']], { order: ['a.js', 'a.js'] }), ['ORDER: a.js is listed twice']);
});

test('what only looks like a use of a later name is none', () => {
  const later = ['b.js', 'const ticket = {};\nfunction drawer() {}\n'];
  const sources = [
    'function f(o) { return o.ticket + o.drawer; }',
    'const o = { ticket: 1, drawer: 2 };',
    'function f(ticket) { return ticket; }',
    'function f() { const drawer = 1; return function () { return drawer; }; }',
    'function f() { try { return 1; } catch (ticket) { return ticket; } }',
    'const f = (drawer) => drawer;',
    "const s = 'ticket' + \"drawer\"; // ticket drawer\n/* drawer */",
    'const r = /ticket|drawer/g.test(String(1));',
    'const t = `ticket ${String(1)} drawer`;',
  ];
  for (const src of sources) assert.deepEqual(faultsOf([['a.js', src + '\n'], later]), [], src);
  // The HUD's own world may carry the two names the host must reach.
  assert.deepEqual(faultsOf([['a.js', "qvDefine(globalThis, '__qvHostPush', {});\nqvDefine(globalThis, '__qvHudInstalled', {});\nconst qvDefine = 1;\n"]]), []);
});
