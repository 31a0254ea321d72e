// Benchmark of the browser application in headless Chromium against pvrsim at its default
// idle rate (--idle-ms 10): for each view, the time from navigation to the complete view
// (its data and the header loaded, or their failures shown) and the requests it needed,
// first with an empty browser cache and then on a second visit. Prints figures, never fails.
// usage: node bench/webapp_bench.mjs [BUILD_DIR]
import { resolve } from 'node:path';

const build = resolve(process.argv[2] ?? 'build');
process.env.ORVANE_BUILD ??= build;
const harness = await import('../webapp/tests/harness.mjs');
const { closeBrowser, openPage, settled, startPvr } = harness;

const VIEWS = ['channels', 'remote', 'epg', 'search', 'timers', 'media', 'taps', 'settings'];
const ROUNDS = 3;

async function measure(pvr, view, page) {
  page.requests.length = 0;
  await page.goto(`${pvr.url}#/${view}`);
  await settled(page, view, 30000);
  // The page marks when the header and the view have settled; the logo sheet, when the view
  // shows logos, has to have arrived as well. Time since navigation start.
  await page.waitForFunction(() => !document.querySelector('.logo:not(.logo-none)') ||
    performance.getEntriesByType('resource').some((r) => r.name.includes('service-logos.png') && r.responseEnd > 0));
  const ms = Math.round(await page.evaluate((v) => Math.max(
    ...['header', v].map((part) => Math.max(0, ...performance.getEntriesByType('mark')
      .filter((m) => m.name.startsWith(`orvane:${part}:`)).map((m) => m.startTime))),
    ...performance.getEntriesByType('resource').filter((r) => r.name.includes('service-logos.png'))
      .map((r) => r.responseEnd)), view));
  // Object URLs (the screen picture once fetched) are no requests to the PVR.
  const requests = page.requests.filter((r) => !r.startsWith('blob:'));
  const api = requests.filter((r) => r.startsWith('/api?') || r.startsWith('/@@')).length;
  return { ms, files: requests.length - api, api, state: await page.getAttribute(`[data-view="${view}"]`, 'data-state') };
}

/** Changes to the view inside the open page (as the navigation does); time until it has settled. */
async function switchTo(page, view) {
  page.requests.length = 0;
  const ms = await page.evaluate((v) => new Promise((resolve) => {
    const start = performance.now();
    location.hash = `#/${v}`;
    const check = () => {
      const shown = document.querySelector(`[data-view="${v}"]`);
      if (shown && shown.dataset.state !== 'loading') resolve(Math.round(performance.now() - start));
      else setTimeout(check, 2);
    };
    check();
  }), view);
  return { ms, api: page.requests.filter((r) => !r.startsWith('blob:')).length };
}

const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];

let pvr;
try {
  pvr = await startPvr({ idleMs: 10, logLevel: 1 });
  const missing = await pvr.missing('config/get', 'status/get', 'volume/get', 'channels/get', 'epg/get',
                                    'timers/get', 'files/get', 'taps/get', 'logos/get', 'settings/list', 'language/get');
  console.log('webapp_bench: headless Chromium against pvrsim --idle-ms 10');
  if (missing) console.log(`  note: the page ${missing}; views that need them end in a failure message`);
  // One load before measuring, so Chromium's own start-up is not counted against a view.
  const warmUp = await openPage(pvr);
  await measure(pvr, 'settings', warmUp);
  await warmUp.close();
  console.log(`  ${'view'.padEnd(10)} ${'cold ms'.padStart(8)} ${'warm ms'.padStart(8)} ${'in-app ms'.padStart(9)}` +
              '  requests cold (files+API)  warm  in-app  state');
  for (const [i, view] of VIEWS.entries()) {
    const cold = [];
    const warm = [];
    const inApp = [];
    let coldRun;
    let warmRun;
    let switchRun;
    for (let round = 0; round < ROUNDS; round++) {
      const page = await openPage(pvr);
      coldRun = await measure(pvr, view, page);
      cold.push(coldRun.ms);
      await page.goto('about:blank');
      warmRun = await measure(pvr, view, page);
      warm.push(warmRun.ms);
      // From the view before it in the navigation, without loading the page again.
      await measure(pvr, VIEWS[(i + VIEWS.length - 1) % VIEWS.length], page);
      switchRun = await switchTo(page, view);
      inApp.push(switchRun.ms);
      await page.close();
    }
    console.log(`  ${view.padEnd(10)} ${String(median(cold)).padStart(8)} ${String(median(warm)).padStart(8)} ` +
                `${String(median(inApp)).padStart(9)}  ` +
                `${String(coldRun.files + coldRun.api).padStart(4)} (${coldRun.files}+${coldRun.api})`.padEnd(27) +
                `${String(warmRun.files + warmRun.api).padStart(4)}  ${String(switchRun.api).padStart(6)}  ${coldRun.state}`);
  }
  console.log('  (ms: median of 3 from navigation until the header and the view have their data or show their failure;');
  console.log('   files: page, script, style, logo sheet; warm: second visit, files revalidated;');
  console.log('   in-app: switching to the view from the one before it in the navigation, API requests only)');
} catch (error) {
  console.log(`webapp_bench: could not run: ${error.message}`);
} finally {
  await pvr?.stop();
  await closeBrowser();
}
