// Browser tests and the benchmark: an emulated PVR (pvrsim with the real Orvane.tap on a
// demo disk, on a free loopback port) and Debian's Chromium driven headless by
// playwright-core. Nothing here answers in the PVR's place: every request reaches pvrsim.
import { spawn, execFileSync } from 'node:child_process';
import { mkdirSync, mkdtempSync, rmSync, writeFileSync, symlinkSync, existsSync, readFileSync } from 'node:fs';
import { request as httpRequest } from 'node:http';
import { createServer } from 'node:net';
import { tmpdir } from 'node:os';
import { dirname, join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';

import { chromium } from 'playwright-core';

const here = dirname(fileURLToPath(import.meta.url));
export const SOURCE = process.env.ORVANE_SOURCE ?? resolve(here, '..', '..');
export const BUILD = process.env.ORVANE_BUILD ?? join(SOURCE, 'build');
export const PVRSIM = process.env.PVRSIM ?? join(BUILD, 'emulator', 'pvrsim');
export const ORVANE_TAP = process.env.ORVANE_TAP ?? join(BUILD, 'webserver', 'Orvane.tap');
export const ECHO_TAP = process.env.ECHO_TAP ?? join(BUILD, 'tests', 'taps', 'EchoTest.tap');
export const OUTPUT = process.env.WEBAPP_TEST_OUTPUT ?? join(BUILD, 'webapp-tests');
export const CHROMIUM = '/usr/bin/chromium';

export const USER = 'demo';
export const PASSWORD = 'demo';
const TOKEN = Buffer.from(`${USER}:${PASSWORD}`).toString('base64');

export const PHONE = { width: 390, height: 844 };
export const DESKTOP = { width: 1280, height: 860 };

export function freePort() {
  return new Promise((resolvePort, reject) => {
    const server = createServer();
    server.once('error', reject);
    server.listen(0, '127.0.0.1', () => {
      const { port } = server.address();
      server.close(() => resolvePort(port));
    });
  });
}

const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

/** A running emulated PVR with Orvane.tap; effect lines from its standard output. */
export class Pvr {
  constructor(root, port, process) {
    this.root = root;
    this.port = port;
    this.process = process;
    this.url = `http://127.0.0.1:${port}/`;
    this.lines = [];
    this.console = '';
    this.waiters = new Set();
    let partial = '';
    process.stdout.on('data', (chunk) => {
      partial += chunk;
      const lines = partial.split('\n');
      partial = lines.pop();
      for (const line of lines) {
        this.lines.push(line);
        for (const w of this.waiters) w();
      }
    });
    process.stderr.on('data', (chunk) => { this.console += chunk; });
  }

  /** Path on the host of a path on the PVR's disk ("/mnt/hd/..."). */
  disk(path) {
    return join(this.root, path.replace(/^\//, ''));
  }

  /** Waits for an effect line matching regex printed after line `from`; returns the match. */
  async effect(regex, { timeout = 5000, from = 0 } = {}) {
    const deadline = Date.now() + timeout;
    for (;;) {
      for (const line of this.lines.slice(from)) {
        const m = regex.exec(line);
        if (m) return m;
      }
      if (Date.now() > deadline) {
        throw new Error(`no effect line matching ${regex}; lines: ${JSON.stringify(this.lines.slice(from))}`);
      }
      await new Promise((r) => {
        const done = () => { this.waiters.delete(done); r(); };
        this.waiters.add(done);
        setTimeout(done, 100);
      });
    }
  }

  /** Whether an effect matching regex appears within `ms` after line `from`. */
  async seesEffect(regex, ms, from = 0) {
    try {
      await this.effect(regex, { timeout: ms, from });
      return true;
    } catch {
      return false;
    }
  }

  /** The server's log "Orvane.log" so far. */
  log() {
    const path = this.disk('/mnt/hd/ProgramFiles/Settings/Orvane/Orvane.log');
    return existsSync(path) ? readFileSync(path, 'latin1') : '';
  }

  send(command) {
    this.process.stdin.write(`${command}\n`);
  }

  /**
   * One HTTP request with the demo credentials: { status, headers, text, json() }. The
   * head and a body go out in one write, as a browser sends a small form: the PVR reads a
   * request from what has arrived when it first looks.
   */
  http(path, { method = 'GET', body, headers = {}, auth = true, timeout = 8000 } = {}) {
    const payload = body === undefined ? undefined : Buffer.from(body);
    return new Promise((resolve, reject) => {
      const request = httpRequest(this.url + path.replace(/^\//, ''), {
        method, agent: false, timeout,
        headers: {
          ...(auth ? { Authorization: `Basic ${TOKEN}` } : {}),
          ...(payload ? { 'Content-Length': payload.length } : {}),
          ...headers,
        },
      }, (response) => {
        const chunks = [];
        response.on('data', (chunk) => chunks.push(chunk));
        response.on('error', reject);
        response.on('end', () => {
          const text = Buffer.concat(chunks).toString('utf8');
          const heads = new Headers(Object.entries(response.headers).map(([k, v]) => [k, [v].flat().join(', ')]));
          resolve({ status: response.statusCode, headers: heads, text, json: () => JSON.parse(text) });
        });
      });
      request.on('timeout', () => request.destroy(new Error(`no answer to ${path} in ${timeout} ms`)));
      request.on('error', reject);
      request.end(payload);
    });
  }

  /** The JSON answer of an API function. */
  async api(fn, action, params = '', body) {
    const answer = await this.http(`/api?function=${fn}&action=${action}!${params}`,
                                   { method: body === undefined ? 'GET' : 'POST', body });
    if (answer.status !== 200) throw new Error(`${fn}/${action} answered ${answer.status}`);
    return answer.json();
  }

  /**
   * Why a test of these API functions cannot pass yet: the functions this PVR does not
   * offer, as one text; "" when all exist. A function word the PVR does not know is
   * answered with 404; a known one with an action it does not know gets no answer at all.
   * Only read-only actions are asked.
   */
  async missing(...functions) {
    const absent = [];
    for (const fnAction of functions) {
      const [fn, action] = fnAction.split('/');
      const answer = await this.http(`/api?function=${fn}&action=${action}!`, { timeout: 4000 })
        .catch(() => ({ status: 0 }));
      if (answer.status === 404 || answer.status === 0) absent.push(fnAction);
    }
    return absent.length ? `waits for the API handlers ${absent.join(', ')} (none today)` : '';
  }

  async stop() {
    if (this.process.exitCode === null) {
      this.process.kill('SIGTERM');
      await Promise.race([new Promise((r) => this.process.once('exit', r)), sleep(5000)]);
      if (this.process.exitCode === null) this.process.kill('SIGKILL');
    }
    if (!process.env.KEEP_PVR_ROOT) rmSync(this.root, { recursive: true, force: true });
  }
}

/**
 * Starts pvrsim on a fresh demo disk. Sign-in is required from every client (demo/demo).
 * options: ini (extra Orvane.ini lines), profile (changes to pvrsim.json), idleMs, logLevel,
 * setup(root) to prepare files before the start.
 */
export async function startPvr({ ini = '', profile = {}, idleMs = 10, logLevel = 2, setup } = {}) {
  for (const needed of [PVRSIM, ORVANE_TAP, join(BUILD, 'public_html', 'index.html')]) {
    if (!existsSync(needed)) throw new Error(`${needed} is missing: run "make build" first`);
  }
  const root = mkdtempSync(join(tmpdir(), 'orvane-webapp-'));
  const port = await freePort();
  execFileSync('/usr/bin/python3', [join(SOURCE, 'tools', 'make_demo_disk.py'), root, '--install', BUILD]);
  const settings = join(root, 'mnt/hd/ProgramFiles/Settings/Orvane');
  writeFileSync(join(settings, 'Orvane.ini'),
                `port=${port}\r\nsearchport=${await freePort()}\r\nlogginglevel=${logLevel}\r\nepgsource=0\r\ncachecontrol=1\r\n` +
                `authentication=2\r\ncredentials=${TOKEN}\r\nepgcache=0\r\n${ini.replace(/\n/g, '\r\n')}`);
  const profilePath = join(root, 'pvrsim.json');
  const current = JSON.parse(readFileSync(profilePath, 'utf8'));
  writeFileSync(profilePath, JSON.stringify({ ...current, ...profile }, null, 2));
  const echo = join(root, 'mnt/hd/ProgramFiles/EchoTest.tap');
  if (existsSync(ECHO_TAP) && !existsSync(echo)) symlinkSync(ECHO_TAP, echo);
  if (setup) await setup(root);
  const tap = join(root, 'mnt/hd/ProgramFiles/Orvane.tap');
  const child = spawn(PVRSIM, ['--root', root, '--idle-ms', String(idleMs), tap], { stdio: ['pipe', 'pipe', 'pipe'] });
  child.stdout.setEncoding('utf8');
  child.stderr.setEncoding('utf8');
  const pvr = new Pvr(root, port, child);
  await pvr.effect(/loaded slot 0 id 0x514b570f/i, { timeout: 10000 });
  return pvr;
}

let browser;

/** The shared headless Chromium (Debian's; never a downloaded one). */
export async function getBrowser() {
  browser ??= await chromium.launch({
    executablePath: CHROMIUM,
    headless: true,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
           '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
  return browser;
}

export async function closeBrowser() {
  await browser?.close();
  browser = undefined;
}

/**
 * A page in a fresh browser context (its own cache and storage). signIn: "header" sends the
 * demo credentials with every request, as a browser does once the user has signed in (and
 * keeps the browser's cache working); "challenge" answers the PVR's 401 with them, as the
 * user does at the sign-in prompt (Playwright turns the HTTP cache off for that); false
 * signs in not at all. Page errors and every request are recorded.
 */
export async function openPage(pvr, { viewport = DESKTOP, signIn = 'header', locale = 'en-GB' } = {}) {
  const context = await (await getBrowser()).newContext({
    viewport,
    locale,
    httpCredentials: signIn === 'challenge' ? { username: USER, password: PASSWORD } : undefined,
    extraHTTPHeaders: signIn === 'header' ? { Authorization: `Basic ${TOKEN}` } : undefined,
    isMobile: viewport.width < 700,
    hasTouch: viewport.width < 700,
  });
  const page = await context.newPage();
  page.setDefaultTimeout(10000);
  page.errors = [];
  page.requests = [];
  page.on('pageerror', (e) => page.errors.push(String(e)));
  page.on('request', (r) => page.requests.push(r.url().replace(pvr.url, '/')));
  page.close = (close => async () => { await close.call(page); await context.close(); })(page.close);
  return page;
}

/** Opens a view and waits until it and the header have finished loading. */
export async function showView(page, pvr, view) {
  await page.goto(`${pvr.url}#/${view}`);
  await settled(page, view);
}

export async function settled(page, view, timeout = 15000) {
  await page.waitForSelector(`[data-view="${view}"]:not([data-state="loading"])`, { timeout });
  await page.waitForSelector('header.top:not([data-state="loading"])', { timeout });
}

/** Saves a screenshot in the test output folder. */
export async function screenshot(page, name) {
  mkdirSync(OUTPUT, { recursive: true });
  const path = join(OUTPUT, `${name}.png`);
  await page.screenshot({ path, fullPage: true });
  return path;
}

/** Screenshots of a view at phone and desktop width, after `prepare(page)` if given. */
export async function screenshotsOf(pvr, view, prepare, name = view) {
  for (const [label, viewport] of [['phone', PHONE], ['desktop', DESKTOP]]) {
    const page = await openPage(pvr, { viewport });
    await showView(page, pvr, view);
    if (prepare) await prepare(page);
    await screenshot(page, `${name}-${label}`);
    await page.close();
  }
}

const AXE = join(here, '..', 'node_modules', 'axe-core', 'axe.min.js');

/** axe-core's serious and critical violations on the page, as readable lines. */
export async function accessibilityProblems(page) {
  await page.addScriptTag({ content: readFileSync(AXE, 'utf8') });
  const result = await page.evaluate(async () => window.axe.run(document, { resultTypes: ['violations'] }));
  return result.violations
    .filter((v) => v.impact === 'serious' || v.impact === 'critical')
    .map((v) => `${v.id} (${v.impact}): ${v.help} — ${v.nodes.map((n) => n.target.join(' ')).join(', ')}`);
}

/** Accepts the next confirmation dialog of the page. */
export async function confirm(page) {
  const dialog = page.locator('dialog.confirm[open]');
  await dialog.waitFor();
  await dialog.locator('button[type="submit"]').click();
}

export { sleep };
