// Runs every browser test file in one process, one after the other (each starts its own
// emulated PVR; they share one headless Chromium). usage: node tests/run.mjs [name...]
import { after } from 'node:test';
import { readdirSync } from 'node:fs';
import { dirname } from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';

import { closeBrowser } from './harness.mjs';

const here = dirname(fileURLToPath(import.meta.url));
const only = process.argv.slice(2);
after(closeBrowser);
for (const file of readdirSync(here).filter((f) => f.endsWith('.test.mjs')).sort()) {
  if (only.length === 0 || only.some((name) => file.startsWith(name))) {
    await import(pathToFileURL(`${here}/${file}`).href);
  }
}
