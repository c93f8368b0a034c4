// Figures for the Chromium-backed WebView2 runtime under Wine (printed, never asserted):
// environment + controller creation to the first navigation's load, cold (Chromium starts)
// and warm (a second process attaches); the ExecuteScript round trip; CapturePreview of a
// 1280 x 800 page. Times are measured inside the test host, from the call to its completion.
//   node testing/bench-webview2/bench.mjs      (QV_WINDOWS_BUILD_DIR picks another build)
import path from 'node:path';
import { freshWine, paths, lineReader, waitFor, repoRoot } from '../../tests/wine/lib/wine.mjs';

const buildDir = process.env.QV_WINDOWS_BUILD_DIR
  ? path.resolve(repoRoot, process.env.QV_WINDOWS_BUILD_DIR)
  : paths.buildWindows;
const hostExe = path.join(buildDir, 'testing/webview2_test_host.exe');
const runtimeDir = path.join(buildDir, 'testing/webview2-runtime/runtime');
const pagesDir = path.join(repoRoot, 'tests/webview2');

const ms = (line) => Number(/ ms=([\d.]+)/.exec(line)[1]);
const stats = (values) => {
  const sorted = [...values].sort((a, b) => a - b);
  const at = (q) => sorted[Math.min(sorted.length - 1, Math.floor(q * sorted.length))];
  return `median ${at(0.5).toFixed(1)} ms, p95 ${at(0.95).toFixed(1)} ms, min ${sorted[0].toFixed(1)} ms (n=${sorted.length})`;
};

async function host(w, folder) {
  const child = w.spawn(hostExe, [folder], {
    env: {
      WEBVIEW2_BROWSER_EXECUTABLE_FOLDER: w.toWin(runtimeDir),
      QV_WEBVIEW2_EXTRA_HOSTS: `page.test=${w.toWin(pagesDir)}`,
    },
  });
  const out = lineReader(child.stdout);
  const after = (prefix, seen) => waitFor(() => out.lines.slice(seen).find((l) => l.startsWith(prefix)),
    90000, 10, prefix);
  const command = (text, prefix) => {
    const seen = out.lines.length;
    child.stdin.write(text + '\n');
    return after(prefix, seen);
  };
  const controller = await after('CONTROLLER ', 0);
  await after('READY', 0);
  const loaded = await command('navigate https://page.test/bench.html', 'MESSAGE ');
  return { child, command, creation: ms(controller), firstLoad: ms(loaded) };
}

const w = await freshWine();
try {
  const cold = await host(w, 'C:\\bench\\profile');
  console.log(`cold start: environment + controller ${cold.creation.toFixed(0)} ms, ` +
    `navigation to load ${cold.firstLoad.toFixed(0)} ms, total ${(cold.creation + cold.firstLoad).toFixed(0)} ms`);
  const warm = await host(w, 'C:\\bench\\profile');
  console.log(`warm start (second process attaches): environment + controller ${warm.creation.toFixed(0)} ms, ` +
    `navigation to load ${warm.firstLoad.toFixed(0)} ms, total ${(warm.creation + warm.firstLoad).toFixed(0)} ms`);

  const rounds = [];
  for (let i = 0; i < 50; i++) rounds.push(ms(await cold.command(`exec ${i} + 1`, 'EXEC ')));
  console.log(`ExecuteScript round trip: ${stats(rounds)}`);

  await cold.command('bounds 1280 800', 'OK bounds');
  const captures = [];
  for (let i = 0; i < 10; i++) {
    captures.push(ms(await cold.command(`capture ${w.toWin(path.join(w.root, `shot${i}.png`))}`, 'CAPTURE ')));
  }
  console.log(`CapturePreview 1280 x 800 PNG: ${stats(captures)}`);

  await warm.command('close', 'OK close');
  await cold.command('close', 'OK close');
  await new Promise((r) => setTimeout(r, 2000));
} finally {
  await w.close();
}
