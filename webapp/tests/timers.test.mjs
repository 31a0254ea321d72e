// Timers: a timer created, changed and deleted in the page is created, changed and deleted
// in the PVR's timer table; overlapping timers beyond the recording slots are flagged.
import assert from 'node:assert/strict';
import { after, before, describe, test } from 'node:test';

import { accessibilityProblems, confirm, openPage, screenshotsOf, showView, startPvr } from './harness.mjs';

const pad = (n) => String(n).padStart(2, '0');
/** The PVR day after `timestamp` at hh:mm, as a PVR time text and a datetime-local value. */
function tomorrowAt(timestamp, hh, mm) {
  const [y, mo, d] = timestamp.slice(0, 10).split('/').map(Number);
  const day = new Date(Date.UTC(y, mo - 1, d + 1));
  const date = `${day.getUTCFullYear()}-${pad(day.getUTCMonth() + 1)}-${pad(day.getUTCDate())}`;
  return { pvr: `${date.replace(/-/g, '/')} ${pad(hh)}:${pad(mm)}:00`, input: `${date}T${pad(hh)}:${pad(mm)}` };
}

/**
 * The first hour of the day from which `minutes` (with a quarter of an hour on either side)
 * touch no timer's time of day on any day, so that the timers of the demo world (some of
 * which repeat) never join a clash a test builds, whatever the date.
 */
function freeHour(timers, minutes) {
  const margin = 15;
  const dayMinutes = 24 * 60;
  const touches = (from, to, timer) => {
    const [, , , h, mi] = timer.starttime.split(/[/ :]/).map(Number);
    const start = h * 60 + mi;
    return [-dayMinutes, 0, dayMinutes].some((shift) => start + shift < to && start + shift + timer.duration > from);
  };
  for (let hour = 0; hour < 24; hour++) {
    const from = hour * 60 - margin;
    const to = hour * 60 + minutes + margin;
    if (!timers.some((timer) => touches(from, to, timer))) return hour;
  }
  throw new Error(`no free hour among ${JSON.stringify(timers.map((x) => [x.starttime, x.duration]))}`);
}

describe('timers view', () => {
  let pvr;
  before(async () => { pvr = await startPvr(); });
  after(() => pvr?.stop());

  test('creates, changes and deletes a timer in the PVR', async () => {
    const { timestamp } = await pvr.api('timers', 'get');
    const channel = (await pvr.api('channels', 'get')).channels.find((c) => c.chtype === 0);
    const when = tomorrowAt(timestamp, 20, 15);
    const page = await openPage(pvr);
    await showView(page, pvr, 'timers');

    await page.locator('.view-actions button', { hasText: 'New timer' }).click();
    assert.deepEqual(await accessibilityProblems(page), [], 'timer form');
    await page.selectOption('#timer-channel', `0/${channel.chnum}`);
    await page.fill('#timer-start', when.input);
    await page.fill('#timer-duration', '45');
    await page.fill('#timer-file', 'Evening news');
    await page.locator('.timer-form button[type="submit"]').click();
    await page.locator('dialog.panel[open]').waitFor({ state: 'detached' });
    let timers = (await pvr.api('timers', 'get')).timers;
    let timer = timers.find((x) => x.starttime === when.pvr);
    assert.ok(timer, JSON.stringify(timers));
    assert.equal(timer.duration, 45);
    assert.equal(timer.serviceindex, channel.chnum);
    assert.match(timer.filename, /^Evening news\.(rec|mpg)$/);

    await page.locator('.timer-list li', { hasText: 'Evening news' }).locator('button', { hasText: 'Edit' }).click();
    await page.fill('#timer-duration', '50');
    await page.locator('.timer-form button[type="submit"]').click();
    await page.locator('dialog.panel[open]').waitFor({ state: 'detached' });
    timers = (await pvr.api('timers', 'get')).timers;
    timer = timers.find((x) => x.starttime === when.pvr);
    assert.equal(timer.duration, 50);

    await page.locator('.timer-list li', { hasText: 'Evening news' }).locator('button', { hasText: 'Delete' }).click();
    await page.locator('dialog.confirm[open]').waitFor();
    assert.deepEqual(await accessibilityProblems(page), [], 'confirmation');
    await confirm(page);
    await page.locator('.timer-list li', { hasText: 'Evening news' }).waitFor({ state: 'detached' });
    timers = (await pvr.api('timers', 'get')).timers;
    assert.equal(timers.find((x) => x.starttime === when.pvr), undefined);
    await page.close();
  });

  test('a timer changed on the PVR meanwhile: the refusal is shown and the list read again', async () => {
    const page = await openPage(pvr);
    await showView(page, pvr, 'timers');
    const before = (await pvr.api('timers', 'get')).timers;
    const target = before.find((x) => x.filename);
    const title = target.filename;
    // Someone else lengthens the timer, so the page's key no longer matches.
    const body = `index=${target.index}\nold_servicetype=${target.servicetype}\nold_servicenum=${target.serviceindex}\n` +
                 `old_duration=${target.duration}\nold_starttime=${target.starttime}\nduration=${target.duration + 5}\n`;
    assert.equal((await pvr.api('timers', 'modify', '', body)).return_code, 0);

    await page.locator('.timer-list li', { hasText: title }).locator('button', { hasText: 'Delete' }).click();
    await confirm(page);
    const alert = page.locator('main > section [role="alert"]').first();
    await alert.waitFor();
    assert.match(await alert.innerText(),
                 /The PVR reported a failure \(timers\/delete\): Key fields do not match for modify or delete timer request\. \(return_code 2\)/);
    // The timer is still there, and the list shows it as it is now.
    assert.ok((await pvr.api('timers', 'get')).timers.some((x) => x.filename === title));
    const [y, mo, d, h, mi] = target.starttime.split(/[/ :]/).map(Number);
    const end = new Date(Date.UTC(y, mo - 1, d, h, mi + target.duration + 5)).toISOString().slice(11, 16);
    await page.locator('.timer-list li', { hasText: title }).filter({ hasText: `–${end}` }).waitFor();
    await page.close();
  });

  test('names from the PVR are shown as text, never as HTML', async () => {
    const { timestamp } = await pvr.api('timers', 'get');
    const name = '<img src=x onerror="window.injected=1"><b>Bold</b> & "quoted".rec';
    const body = `isrec=1\nservicetype=0\nservicenum=0\nduration=30\nstarttime=${tomorrowAt(timestamp, 3, 0).pvr}\nfilename=${name}\n`;
    assert.equal((await pvr.api('timers', 'new', '', body)).return_code, 0);
    const page = await openPage(pvr);
    await showView(page, pvr, 'timers');
    assert.ok((await page.locator('.timer-list .title').allInnerTexts()).includes(name));
    assert.equal(await page.locator('.timer-list img, .timer-list b').count(), 0);
    assert.equal(await page.evaluate(() => window.injected), undefined);
    await page.close();
  });

  test('flags timers that need more recording slots than the PVR has', async (t) => {
    const reason = await pvr.missing('config/get');
    if (reason) t.todo(reason);
    const config = await pvr.api('config', 'get');
    const channels = (await pvr.api('channels', 'get')).channels.filter((c) => c.chtype === 0);
    const timers = (await pvr.api('timers', 'get')).timers;
    const when = tomorrowAt(config.timestamp, freeHour(timers, 60 + config.maxrecstreams), 0);
    for (let i = 0; i <= config.maxrecstreams; i++) {
      const body = `isrec=1\nservicetype=0\nservicenum=${channels[i % channels.length].chnum}\nduration=60\n` +
                   `starttime=${when.pvr.slice(0, 14)}${pad(i)}:00\nfilename=Clash ${i}${config.recextension}\n`;
      const answer = await pvr.api('timers', 'new', '', body);
      assert.equal(answer.return_code, 0, JSON.stringify(answer));
    }
    const page = await openPage(pvr);
    await showView(page, pvr, 'timers');
    assert.match(await page.locator('main .warning').innerText(), /more recordings would run at once/);
    assert.equal(await page.locator('.timer.clash').count(), config.maxrecstreams + 1);
    assert.deepEqual(await accessibilityProblems(page), []);
    await page.close();
  });

  test('screenshots at phone and desktop width', async () => {
    await screenshotsOf(pvr, 'timers');
    await screenshotsOf(pvr, 'timers', (page) => page.locator('.view-actions button', { hasText: 'New timer' }).click(),
                        'timers-form');
  });
});
