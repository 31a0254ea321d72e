// Builds the web root that Orvane.tap serves as public_html: one script, one stylesheet,
// index.html naming both with a content hash (the PVR revalidates them by entity tag, the
// hash makes a new build take effect at once), and the language files.
// usage: node build.mjs [--out DIR] [--no-check]
import { execFileSync } from 'node:child_process';
import { createHash } from 'node:crypto';
import { copyFileSync, mkdirSync, readdirSync, readFileSync, writeFileSync } from 'node:fs';
import { dirname, join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';

import * as esbuild from 'esbuild';

const here = dirname(fileURLToPath(import.meta.url));
const args = process.argv.slice(2);
const outIndex = args.indexOf('--out');
const out = resolve(outIndex >= 0 ? args[outIndex + 1] : join(here, '..', 'build', 'public_html'));

if (!args.includes('--no-check')) {
  execFileSync(process.execPath, [join(here, 'node_modules', 'typescript', 'bin', 'tsc'), '--noEmit', '-p', here],
               { stdio: 'inherit' });
}

mkdirSync(out, { recursive: true });
const common = { bundle: true, minify: true, write: false, logLevel: 'warning', legalComments: 'none' };
const [script, style] = await Promise.all([
  esbuild.build({
    ...common,
    entryPoints: [join(here, 'src', 'main.tsx')],
    outfile: join(out, 'app.js'),
    format: 'iife',
    target: ['es2020'],
    jsx: 'automatic',
    jsxImportSource: 'preact',
    loader: { '.txt': 'text' },
  }),
  esbuild.build({ ...common, entryPoints: [join(here, 'src', 'styles', 'app.css')], outfile: join(out, 'app.css') }),
]);

const hash = (bytes) => createHash('sha256').update(bytes).digest('hex').slice(0, 12);
const js = script.outputFiles[0].contents;
const css = style.outputFiles[0].contents;
writeFileSync(join(out, 'app.js'), js);
writeFileSync(join(out, 'app.css'), css);
const page = readFileSync(join(here, 'src', 'index.html'), 'utf8').replace('{{js}}', hash(js)).replace('{{css}}', hash(css));
writeFileSync(join(out, 'index.html'), page);
for (const name of readdirSync(join(here, 'lang'))) copyFileSync(join(here, 'lang', name), join(out, name));
console.log(`web app: ${out} (app.js ${js.length} bytes, app.css ${css.length} bytes)`);
