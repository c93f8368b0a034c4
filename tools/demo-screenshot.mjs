// Saves a picture of the demo's chart page once the HUD is on it, so whoever runs the
// demo on a machine without a screen can still see what the trader sees.
// usage: node tools/demo-screenshot.mjs <unix APPDATA of the Wine user> <out.png>
import fs from 'node:fs';
import path from 'node:path';
import { chromium } from 'playwright-core';

const [appdata, out] = process.argv.slice(2);
const portFile = path.join(appdata, 'Quorvale_Workspace_Data', 'Profile', 'DevToolsActivePort');
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

async function main() {
  for (let i = 0; i < 600; i++) {
    const text = fs.existsSync(portFile) ? fs.readFileSync(portFile, 'utf8') : '';
    if (text.includes('\n')) {
      const browser = await chromium.connectOverCDP(`http://127.0.0.1:${text.split('\n')[0].trim()}`).catch(() => null);
      if (browser) {
        for (let j = 0; j < 120; j++) {
          const page = browser.contexts().flatMap((c) => c.pages()).find((p) => /\/chart\//.test(p.url()));
          if (page && (await page.$('#qv-hud-panel, #qv-panel, [id^="qv-"]').catch(() => null))) {
            await sleep(3000);
            await page.screenshot({ path: out });
            console.log(out);
            return 0;
          }
          await sleep(500);
        }
        return 1;
      }
    }
    await sleep(500);
  }
  return 1;
}

main().then((code) => process.exit(code), () => process.exit(1));
