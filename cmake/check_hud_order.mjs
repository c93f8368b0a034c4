// The HUD's sources share one closure (cmake/JoinHud.cmake joins them in the order of their
// ORDER file), so nothing but this check keeps that order honest. It fails, naming the file,
// line and name, when:
//   - a .js file of the folder is missing from ORDER (it would never be joined), or ORDER
//     names a file that does not exist or names one twice;
//   - two files define the same top-level name (the later one would silently win);
//   - a file refers to a top-level name that a later file defines, anywhere in it: at its
//     top level, which would run before that file, or inside a function, which makes the
//     order a lie for the reader and for any call made while the script loads;
//   - a file writes a top-level name that another file defines (each file owns its state);
//   - a file puts a name on the global object other than those the host must reach (the
//     HUD's own world holds __qvHudInstalled and __qvHostPush; the page's window nothing);
//   - a file refers to a name that no file defines and the browser does not have either (a
//     misspelt or removed name, which would only throw when that line runs).
//
// Usage: node cmake/check_hud_order.mjs [--counts] <dir>...
// With --counts it also prints, per folder, the top-level names, how many of them are
// declared with var or let and reassigned, and the forward references it found.
import { readFileSync, readdirSync, existsSync } from 'node:fs';
import { join, basename } from 'node:path';

// Names the host calls or the HUD marks its own world with; nothing else goes on a global.
const GLOBAL_NAMES = new Set(['__qvHudInstalled', '__qvHostPush']);
const GLOBAL_OBJECTS = new Set(['window', 'globalThis', 'self']);

// What the browser gives every script; any other name must come from a file of the folder.
const BROWSER_GLOBALS = new Set(['window', 'document', 'globalThis', 'self', 'location', 'history', 'navigator',
  'console', 'performance', 'crypto', 'localStorage', 'sessionStorage', 'fetch', 'alert', 'confirm', 'prompt',
  'setTimeout', 'clearTimeout', 'setInterval', 'clearInterval', 'requestAnimationFrame', 'cancelAnimationFrame',
  'queueMicrotask', 'getComputedStyle', 'atob', 'btoa', 'structuredClone', 'undefined', 'NaN', 'Infinity',
  'arguments', 'isFinite', 'isNaN', 'parseFloat', 'parseInt', 'encodeURIComponent', 'decodeURIComponent',
  'encodeURI', 'decodeURI', 'Object', 'Function', 'Array', 'String', 'Number', 'Boolean', 'Symbol', 'BigInt',
  'Math', 'Date', 'RegExp', 'JSON', 'Reflect', 'Proxy', 'Promise', 'Map', 'Set', 'WeakMap', 'WeakSet', 'WeakRef',
  'Intl', 'Error', 'TypeError', 'RangeError', 'SyntaxError', 'ReferenceError', 'ArrayBuffer', 'DataView',
  'Uint8Array', 'Uint16Array', 'Uint32Array', 'Int8Array', 'Int16Array', 'Int32Array', 'Float32Array',
  'Float64Array', 'Uint8ClampedArray', 'TextEncoder', 'TextDecoder', 'URL', 'URLSearchParams', 'Blob', 'File',
  'FileReader', 'FormData', 'Headers', 'Request', 'Response', 'AbortController', 'Image', 'Event', 'CustomEvent',
  'KeyboardEvent', 'MouseEvent', 'InputEvent', 'Node', 'Element', 'HTMLElement', 'DOMParser', 'MutationObserver',
  'ResizeObserver', 'IntersectionObserver']);

const KEYWORDS = new Set(['break', 'case', 'catch', 'class', 'const', 'continue', 'debugger', 'default',
  'delete', 'do', 'else', 'export', 'extends', 'finally', 'for', 'function', 'if', 'import', 'in',
  'instanceof', 'new', 'return', 'super', 'switch', 'this', 'throw', 'try', 'typeof', 'var', 'void',
  'while', 'with', 'yield', 'let', 'static', 'await', 'async', 'of', 'null', 'true', 'false']);
// After these a slash starts a regular expression, never a division.
const BEFORE_REGEX = new Set(['return', 'typeof', 'case', 'do', 'else', 'in', 'of', 'new', 'delete',
  'void', 'throw', 'instanceof', 'yield', 'await']);

// The tokens of one source: identifiers, numbers, strings, templates, regular expressions and
// punctuators, each with its line. Comments and white space are dropped.
export function tokenize(src, file) {
  const out = [];
  let i = 0;
  let line = 1;
  // Open template literals: the brace depth at which each one's ${ began.
  const templates = [];
  let braces = 0;
  const fail = (what) => { throw new Error(`${file}:${line}: ${what}`); };
  const last = () => out[out.length - 1];
  const regexAllowed = () => {
    const t = last();
    if (!t) return true;
    if (t.type === 'id') return KEYWORDS.has(t.value) && BEFORE_REGEX.has(t.value);
    if (t.type === 'num' || t.type === 'str' || t.type === 'tpl' || t.type === 're') return false;
    return !(t.value === ')' || t.value === ']' || t.value === '}');
  };
  // Reads template text from i up to its end or its next ${; true when a ${ opened.
  const templateText = () => {
    while (i < src.length) {
      const c = src[i];
      if (c === '\\') { i += 2; continue; }
      if (c === '\n') line++;
      if (c === '`') { i++; return false; }
      if (c === '$' && src[i + 1] === '{') { i += 2; return true; }
      i++;
    }
    return fail('unterminated template literal');
  };
  while (i < src.length) {
    const c = src[i];
    if (c === '\n') { line++; i++; continue; }
    if (c === ' ' || c === '\t' || c === '\r') { i++; continue; }
    if (c === '/' && src[i + 1] === '/') {
      while (i < src.length && src[i] !== '\n') i++;
      continue;
    }
    if (c === '/' && src[i + 1] === '*') {
      const end = src.indexOf('*/', i + 2);
      if (end < 0) fail('unterminated comment');
      for (let k = i; k < end; k++) if (src[k] === '\n') line++;
      i = end + 2;
      continue;
    }
    const at = line;
    if (/[A-Za-z_$]/.test(c)) {
      let j = i + 1;
      while (j < src.length && /[\w$]/.test(src[j])) j++;
      out.push({ type: 'id', value: src.slice(i, j), line: at });
      i = j;
      continue;
    }
    if (/[0-9]/.test(c) || (c === '.' && /[0-9]/.test(src[i + 1]))) {
      let j = i + 1;
      while (j < src.length && /[\w.]/.test(src[j])) j++;
      out.push({ type: 'num', value: src.slice(i, j), line: at });
      i = j;
      continue;
    }
    if (c === '"' || c === "'") {
      let j = i + 1;
      while (j < src.length && src[j] !== c) {
        if (src[j] === '\\') j++;
        else if (src[j] === '\n') fail('line break in a string');
        j++;
      }
      if (j >= src.length) fail('unterminated string');
      out.push({ type: 'str', value: src.slice(i, j + 1), line: at });
      i = j + 1;
      continue;
    }
    if (c === '`') {
      i++;
      out.push({ type: 'tpl', value: '`', line: at });
      if (templateText()) templates.push(braces);
      continue;
    }
    if (c === '}' && templates.length && templates[templates.length - 1] === braces) {
      templates.pop();
      i++;
      out.push({ type: 'tpl', value: '}`', line: at });
      if (templateText()) templates.push(braces);
      continue;
    }
    if (c === '/' && regexAllowed()) {
      let j = i + 1;
      let inClass = false;
      while (j < src.length) {
        const d = src[j];
        if (d === '\\') { j += 2; continue; }
        if (d === '\n') fail('line break in a regular expression');
        if (d === '[') inClass = true;
        else if (d === ']') inClass = false;
        else if (d === '/' && !inClass) break;
        j++;
      }
      j++;
      while (j < src.length && /[a-z]/.test(src[j])) j++;
      out.push({ type: 're', value: src.slice(i, j), line: at });
      i = j;
      continue;
    }
    const three = src.slice(i, i + 4);
    const op = ['>>>=', '===', '!==', '**=', '...', '<<=', '>>=', '>>>', '=>', '==', '!=', '<=', '>=', '&&', '||',
      '??', '?.', '++', '--', '+=', '-=', '*=', '/=', '%=', '&=', '|=', '^=', '<<', '>>', '**']
      .find((o) => three.startsWith(o)) || c;
    if (op === '{') braces++;
    if (op === '}') braces--;
    out.push({ type: 'punc', value: op, line: at });
    i += op.length;
  }
  return out;
}

const ASSIGN = new Set(['=', '+=', '-=', '*=', '/=', '%=', '**=', '<<=', '>>=', '>>>=', '&=', '|=', '^=', '&&=', '||=', '??=']);

// One file read as scopes: its top-level declarations, and every identifier that refers to
// a name not declared by an enclosing function (a reference the file's top level or another
// file must satisfy), with whether it is written. Block scopes are counted as their
// function's: a local of the same name anywhere in a function hides the top-level one.
export function analyse(tokens) {
  const top = new Map(); // name -> { line, kind }
  const functions = []; // { open, close, declared:Set } by token index of the body braces
  const stack = []; // open brackets: { value, fn } where fn is the function whose body it opens
  const declaredAt = new Set(); // token indexes that declare a name
  const fnStack = [null]; // innermost function scope record (null: top level)
  const scope = () => fnStack[fnStack.length - 1];
  const declare = (idx, kind) => {
    const name = tokens[idx].value;
    declaredAt.add(idx);
    const s = scope();
    if (s) s.declared.add(name);
    else if (!top.has(name)) top.set(name, { line: tokens[idx].line, kind });
    else top.get(name).duplicate = tokens[idx].line;
  };
  let pendingFn = null; // a function whose parameters or body come next
  for (let i = 0; i < tokens.length; i++) {
    const t = tokens[i];
    const prev = tokens[i - 1];
    if (t.type === 'id' && t.value === 'function') {
      let j = i + 1;
      if (tokens[j] && tokens[j].value === '*') j++;
      const fn = { declared: new Set(), parent: scope() };
      if (tokens[j] && tokens[j].type === 'id' && tokens[j].value !== '(') {
        let p = i - 1;
        if (tokens[p] && tokens[p].value === 'async') p--;
        const statement = p < 0 || [';', '{', '}'].includes(tokens[p].value);
        if (statement) declare(j, 'function');
        else { fn.declared.add(tokens[j].value); declaredAt.add(j); }
      }
      pendingFn = fn;
      continue;
    }
    if (t.type === 'punc' && (t.value === '(' || t.value === '[' || t.value === '{')) {
      if (t.value === '(' && pendingFn && !pendingFn.params) {
        pendingFn.params = true;
        stack.push({ value: '(', params: pendingFn });
        continue;
      }
      if (t.value === '{' && pendingFn && pendingFn.params) {
        const fn = pendingFn;
        pendingFn = null;
        fn.open = i;
        functions.push(fn);
        fnStack.push(fn);
        stack.push({ value: '{', fn });
        continue;
      }
      stack.push({ value: t.value });
      continue;
    }
    if (t.type === 'punc' && (t.value === ')' || t.value === ']' || t.value === '}')) {
      const open = stack.pop();
      if (open && open.fn) {
        open.fn.close = i;
        fnStack.pop();
      }
      continue;
    }
    const inParams = stack.length && stack[stack.length - 1].params;
    if (t.type === 'id' && inParams && (prev.value === '(' || prev.value === ',' || prev.value === '...')) {
      const params = stack[stack.length - 1].params;
      params.declared.add(t.value);
      declaredAt.add(i);
      continue;
    }
    if (t.type === 'id' && (t.value === 'var' || t.value === 'let' || t.value === 'const')) {
      // Each declarator of the statement: commas at the statement's own depth separate them.
      const depth = stack.length;
      let j = i + 1;
      let expectName = true;
      for (; j < tokens.length; j++) {
        const u = tokens[j];
        if (expectName && u.type === 'id') {
          declare(j, t.value);
          expectName = false;
          continue;
        }
        if (u.type === 'punc' && ['(', '[', '{'].includes(u.value)) { j = skipGroup(tokens, j); continue; }
        if (u.type === 'punc' && (u.value === ')' || u.value === ']' || u.value === '}')) break;
        if (u.value === ';' || (u.type === 'id' && (u.value === 'in' || u.value === 'of'))) break;
        if (u.value === ',' && stack.length === depth) expectName = true;
      }
      continue;
    }
    if (t.type === 'id' && t.value === 'class' && tokens[i + 1] && tokens[i + 1].type === 'id' &&
        (!prev || [';', '{', '}'].includes(prev.value))) {
      declare(i + 1, 'class');
      continue;
    }
    if (t.type === 'id' && t.value === 'catch' && tokens[i + 1] && tokens[i + 1].value === '(') {
      const s = scope();
      const name = tokens[i + 2];
      if (name && name.type === 'id') {
        declaredAt.add(i + 2);
        if (s) s.declared.add(name.value);
      }
      continue;
    }
    if (t.value === '=>') {
      // An arrow function: its parameters (the identifier before it, or those of the
      // parenthesised list) are its own, its body a block or one expression.
      const fn = { declared: new Set(), parent: scope() };
      const add = (k) => { declaredAt.add(k); fn.declared.add(tokens[k].value); };
      if (prev.type === 'id') add(i - 1);
      else if (prev.value === ')') {
        for (let k = i - 2, d = 0; k >= 0; k--) {
          if (tokens[k].value === ')') d++;
          if (tokens[k].value === '(') { if (d === 0) break; d--; }
          if (tokens[k].type === 'id' && d === 0) add(k);
        }
      }
      if (tokens[i + 1] && tokens[i + 1].value === '{') {
        fn.params = true;
        pendingFn = fn;
      } else {
        let k = i + 1;
        for (; k < tokens.length; k++) {
          const v = tokens[k].value;
          if (tokens[k].type === 'punc' && ['(', '[', '{'].includes(v)) { k = skipGroup(tokens, k); continue; }
          if (tokens[k].type === 'punc' && [',', ';', ')', ']', '}'].includes(v)) break;
        }
        fn.open = i;
        fn.close = k - 1;
        functions.push(fn);
      }
    }
  }

  // References: identifiers that name a variable (not a property, key or declaration).
  const refs = [];
  const chainAt = (idx) => {
    const chain = [];
    for (const fn of functions) if (fn.open <= idx && idx <= fn.close) chain.push(fn);
    return chain;
  };
  for (let i = 0; i < tokens.length; i++) {
    const t = tokens[i];
    if (t.type !== 'id' || KEYWORDS.has(t.value) || declaredAt.has(i)) continue;
    const prev = tokens[i - 1];
    const next = tokens[i + 1];
    if (prev && (prev.value === '.' || prev.value === '?.')) continue;
    if (next && next.value === ':' && prev && (prev.value === '{' || prev.value === ',')) continue;
    if (chainAt(i).some((fn) => fn.declared.has(t.value))) continue;
    const written = (next && (ASSIGN.has(next.value) || next.value === '++' || next.value === '--')) ||
      (prev && (prev.value === '++' || prev.value === '--'));
    refs.push({ name: t.value, line: t.line, written, index: i, topLevel: chainAt(i).length === 0 });
  }

  // Names put on a global object: window.x = ..., globalThis[x] = ..., defineProperty(window, 'x').
  const globals = [];
  for (let i = 0; i < tokens.length; i++) {
    const t = tokens[i];
    if (t.type !== 'id' || !GLOBAL_OBJECTS.has(t.value) || (tokens[i - 1] && tokens[i - 1].value === '.')) continue;
    const dot = tokens[i + 1];
    if (dot && dot.value === '.' && tokens[i + 2] && tokens[i + 2].type === 'id' && tokens[i + 3] && ASSIGN.has(tokens[i + 3].value)) {
      globals.push({ name: tokens[i + 2].value, line: t.line });
    } else if (dot && dot.value === '[') {
      const close = skipGroup(tokens, i + 1);
      if (tokens[close + 1] && ASSIGN.has(tokens[close + 1].value)) globals.push({ name: '[computed]', line: t.line });
    }
    const before = tokens[i - 1];
    const callee = tokens[i - 2];
    if (before && before.value === '(' && callee && (callee.value === 'defineProperty' || callee.value === 'qvDefine' ||
        callee.value === 'defineProperties' || callee.value === 'assign') && tokens[i + 1] && tokens[i + 1].value === ',') {
      const key = tokens[i + 2];
      globals.push({ name: key && key.type === 'str' ? key.value.slice(1, -1) : '[computed]', line: t.line });
    }
  }
  return { top, refs, globals };
}

function skipGroup(tokens, j) {
  let d = 0;
  for (; j < tokens.length; j++) {
    const v = tokens[j].value;
    if (tokens[j].type === 'punc' && (v === '(' || v === '[' || v === '{')) d++;
    if (tokens[j].type === 'punc' && (v === ')' || v === ']' || v === '}')) { d--; if (d === 0) return j; }
  }
  return j;
}

// The files named by <dir>/ORDER, read the way cmake/JoinHud.cmake reads it.
export function orderOf(dir) {
  return readFileSync(join(dir, 'ORDER'), 'utf8').split('\n').map((l) => l.trim()).filter((l) => l !== '' && !l.startsWith('#'));
}

// Every fault of one folder, as "file:line: text" lines, and its figures.
export function checkFolder(dir) {
  const faults = [];
  const name = (f) => join(basename(dir), f);
  const order = orderOf(dir);
  const seen = new Set();
  for (const f of order) {
    if (seen.has(f)) faults.push(`${name('ORDER')}: ${f} is listed twice`);
    seen.add(f);
    if (!existsSync(join(dir, f))) faults.push(`${name('ORDER')}: names a missing file: ${f}`);
  }
  for (const f of readdirSync(dir).filter((n) => n.endsWith('.js')).sort()) {
    if (!seen.has(f)) faults.push(`${name(f)}: not listed in ${name('ORDER')}, so it is never joined`);
  }
  const files = order.filter((f) => existsSync(join(dir, f))).map((f) => {
    const tokens = tokenize(readFileSync(join(dir, f), 'utf8'), name(f));
    return { file: f, ...analyse(tokens) };
  });
  const owner = new Map(); // top-level name -> index of the file that defines it
  files.forEach((f, k) => {
    for (const [n, d] of f.top) {
      if (d.duplicate) faults.push(`${name(f.file)}:${d.duplicate}: ${n} is defined twice in this file`);
      if (owner.has(n)) faults.push(`${name(f.file)}:${d.line}: ${n} is already defined by ${name(files[owner.get(n)].file)}`);
      else owner.set(n, k);
    }
  });
  const forward = [];
  let writtenAfterDeclaration = new Set();
  files.forEach((f, k) => {
    const reported = new Set();
    for (const r of f.refs) {
      if (!owner.has(r.name)) {
        if (!BROWSER_GLOBALS.has(r.name) && !reported.has(r.name)) {
          reported.add(r.name);
          faults.push(`${name(f.file)}:${r.line}: ${r.name} is defined by no file here and is no browser global`);
        }
        continue;
      }
      const o = owner.get(r.name);
      if (r.written && o === k) writtenAfterDeclaration.add(r.name);
      const key = r.name + (r.written ? '=' : '');
      if (reported.has(key)) continue;
      if (o > k) {
        reported.add(key);
        forward.push(r.name);
        faults.push(`${name(f.file)}:${r.line}: ${r.name} is defined by ${name(files[o].file)}, which is joined later`);
      } else if (r.written && o !== k) {
        reported.add(key);
        faults.push(`${name(f.file)}:${r.line}: writes ${r.name}, which ${name(files[o].file)} owns`);
      }
    }
    for (const g of f.globals) {
      if (!GLOBAL_NAMES.has(g.name)) faults.push(`${name(f.file)}:${g.line}: puts ${g.name} on the global object`);
    }
  });
  const all = files.flatMap((f) => [...f.top.entries()].map(([n, d]) => ({ n, kind: d.kind })));
  const counts = {
    names: all.length,
    functions: all.filter((d) => d.kind === 'function').length,
    varOrLet: all.filter((d) => d.kind === 'var' || d.kind === 'let').length,
    reassigned: all.filter((d) => (d.kind === 'var' || d.kind === 'let') && writtenAfterDeclaration.has(d.n)).length,
    forward: forward.length,
  };
  return { faults, counts };
}

function main(argv) {
  const counts = argv.includes('--counts');
  const dirs = argv.filter((a) => a !== '--counts');
  if (dirs.length === 0) {
    console.error('usage: node check_hud_order.mjs [--counts] <dir>...');
    return 2;
  }
  let failed = false;
  for (const dir of dirs) {
    let result;
    try {
      result = checkFolder(dir);
    } catch (e) {
      console.error(e.message);
      failed = true;
      continue;
    }
    for (const f of result.faults) console.error(f);
    if (result.faults.length) failed = true;
    if (counts) {
      const c = result.counts;
      console.log(`${dir}: ${c.names} top-level names (${c.functions} functions, ${c.varOrLet} var or let, ` +
        `${c.reassigned} of them reassigned), ${c.forward} forward references`);
    }
  }
  return failed ? 1 : 0;
}

if (process.argv[1] && process.argv[1].endsWith('check_hud_order.mjs')) process.exitCode = main(process.argv.slice(2));
