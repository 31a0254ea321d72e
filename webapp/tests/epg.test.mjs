// EPG: the grid and the channel list show the PVR's events; details show genre and rating;
// recording an event creates the timer on the PVR.
import assert from 'node:assert/strict';
import { after, before, describe, test } from 'node:test';

import { accessibilityProblems, openPage, screenshotsOf, showView, startPvr } from './harness.mjs';

const parse = (text) => {
  const m = /^(\d{4})\/(\d{2})\/(\d{2}) (\d{2}):(\d{2})/.exec(text);
  return Date.UTC(+m[1], m[2] - 1, +m[3], +m[4], +m[5]);
};

describe('epg view', () => {
  let pvr;
  before(async () => { pvr = await startPvr(); });
  after(() => pvr?.stop());

  /** An event of a listed channel that starts later today or in the coming days. */
  async function futureEvent() {
    const reason = await pvr.missing('epg/get', 'channels/get', 'config/get', 'timers/get');
    if (reason) return { reason };
    const now = parse((await pvr.api('config', 'get')).timestamp);
    const channels = (await pvr.api('channels', 'get')).channels;
    const events = (await pvr.api('epg', 'get')).event ?? [];
    // The page is searched by the event's name: no earlier event of the channel may carry it.
    const firstOfItsName = (e) => !events.some((o) => o !== e && o.svctype === e.svctype && o.svcnum === e.svcnum &&
      o.name.includes(e.name) && parse(o.starttime_local) <= parse(e.starttime_local));
    const event = events.find((e) => parse(e.starttime_local) > now + 3600000 && parse(e.starttime_local) < now + 5 * 86400000 &&
      channels.some((c) => c.chtype === e.svctype && c.chnum === e.svcnum && c.chtype === 0) && firstOfItsName(e));
    return event ? { event, channel: channels.find((c) => c.chtype === event.svctype && c.chnum === event.svcnum) }
                 : { reason: 'the demo disk has no EPG events in the coming days' };
  }

  test('the grid shows the events running now', async (t) => {
    const { reason } = await futureEvent();
    if (reason) t.todo(reason);
    const page = await openPage(pvr);
    await showView(page, pvr, 'epg');
    assert.ok(await page.locator('.epg-grid .grid-event').count() > 0, 'no events in the grid');
    assert.equal(await page.locator('main [role="alert"]').count(), 0);
    assert.deepEqual(await accessibilityProblems(page), []);
    await page.close();
  });

  test('an event of the channel list opens its details and records it as a timer', async (t) => {
    const { reason, event, channel } = await futureEvent();
    if (reason) t.todo(reason);
    const config = await pvr.api('config', 'get');
    const page = await openPage(pvr);
    await showView(page, pvr, 'epg');
    await page.locator('.view-actions button', { hasText: 'One channel' }).click();
    await page.selectOption('.epg-controls select', `${channel.chtype}/${channel.chnum}`);
    await page.locator('[data-view="epg"][data-state="ready"]').waitFor();
    await page.locator('.epg-list .event', { hasText: event.name }).first().click();
    const details = page.locator('dialog.panel[open]');
    await details.waitFor();
    if (event.genre_text) assert.match(await details.innerText(), new RegExp(event.genre_text.replace(/[.*+?^${}()|[\]\\/]/g, '\\$&')));
    await details.locator('button', { hasText: 'Record this' }).click();
    await details.locator('.done').waitFor();
    const timers = (await pvr.api('timers', 'get')).timers;
    const start = new Date(parse(event.starttime_local) - config.pre_padding * 60000).toISOString();
    const expected = `${start.slice(0, 10).replace(/-/g, '/')} ${start.slice(11, 16)}`;
    const timer = timers.find((x) => x.starttime.startsWith(expected));
    assert.ok(timer, `no timer starting ${expected}: ${JSON.stringify(timers.map((x) => x.starttime))}`);
    assert.equal(timer.duration, event.duration + config.pre_padding + config.post_padding);
    assert.equal(timer.isrec, 1);
    assert.equal(timer.serviceindex, channel.chnum);
    await page.close();
  });

  test('recording an event that needs more slots than the PVR has warns', async (t) => {
    const { reason, event, channel } = await futureEvent();
    if (reason) t.todo(reason);
    const config = await pvr.api('config', 'get');
    // Every recording slot is taken by timers on other channels for the event's time.
    const others = (await pvr.api('channels', 'get')).channels.filter((c) => c.chtype === 0 && c.chnum !== channel.chnum);
    for (let i = 0; i < config.maxrecstreams; i++) {
      const body = `isrec=1\nservicetype=0\nservicenum=${others[i].chnum}\nduration=${event.duration}\n` +
                   `starttime=${event.starttime_local}\nfilename=Busy ${i}${config.recextension}\n`;
      assert.equal((await pvr.api('timers', 'new', '', body)).return_code, 0);
    }
    const page = await openPage(pvr);
    await showView(page, pvr, 'epg');
    await page.locator('.view-actions button', { hasText: 'One channel' }).click();
    await page.selectOption('.epg-controls select', `${channel.chtype}/${channel.chnum}`);
    await page.locator('[data-view="epg"][data-state="ready"]').waitFor();
    await page.locator('.epg-list .event', { hasText: event.name }).first().click();
    const details = page.locator('dialog.panel[open]');
    await details.locator('button', { hasText: 'Record this' }).click();
    await details.locator('.done').waitFor();
    assert.match(await details.locator('.warning').innerText(), /More recordings would run at the same time/);
    assert.deepEqual(await accessibilityProblems(page), [], 'event details');
    await page.close();
  });

  test('screenshots at phone and desktop width', async () => {
    await screenshotsOf(pvr, 'epg');
    if ((await futureEvent()).reason) return;
    await screenshotsOf(pvr, 'epg', (page) => page.locator('.grid-event').first().click(), 'epg-details');
  });
});
