// Channels: the lists match the PVR's channel table, one click switches, logos come from
// the one sprite sheet.
import assert from 'node:assert/strict';
import { after, before, describe, test } from 'node:test';

import { accessibilityProblems, openPage, screenshotsOf, showView, sleep, startPvr } from './harness.mjs';

describe('channels view', () => {
  let pvr;
  before(async () => { pvr = await startPvr(); });
  after(() => pvr?.stop());

  test('lists the TV and radio channels of the PVR', async () => {
    const answer = await pvr.api('channels', 'get');
    const page = await openPage(pvr);
    await showView(page, pvr, 'channels');
    const names = (type) => answer.channels.filter((c) => c.chtype === type).map((c) => c.servicename);
    assert.deepEqual(await page.locator('.channel-list .name').allInnerTexts(), names(0));
    await page.locator('.view-actions button', { hasText: 'Radio' }).click();
    assert.deepEqual(await page.locator('.channel-list .name').allInnerTexts(), names(1));
    assert.deepEqual(await accessibilityProblems(page), []);
    await page.close();
  });

  test('one click switches the PVR to the channel', async () => {
    const answer = await pvr.api('channels', 'get');
    const target = answer.channels.find((c) => c.chtype === 0 && c.chnum !== answer.current_chnum);
    const page = await openPage(pvr);
    await showView(page, pvr, 'channels');
    await page.locator('.channel .switch', { hasText: target.servicename }).first().click();
    let now;
    for (let i = 0; i < 30; i++) {
      now = await pvr.api('channels', 'get');
      if (now.current_chnum === target.chnum) break;
      await sleep(100);
    }
    assert.equal(now.current_chtype, 0);
    assert.equal(now.current_chnum, target.chnum);
    await page.locator('.channel.current .name', { hasText: target.servicename }).waitFor();
    await page.close();
  });

  test('logos come from one request for the sprite sheet', async (t) => {
    const reason = await pvr.missing('channels/get', 'logos/get');
    if (reason) t.todo(reason);
    const index = await pvr.api('logos', 'get');
    const page = await openPage(pvr);
    await showView(page, pvr, 'channels');
    const placed = await page.locator('.channel-list .logo:not(.logo-none)').count();
    assert.ok(placed > 0 || index.count <= 4, 'the index has logos but none is shown');
    if (placed > 0) {
      assert.equal(page.requests.filter((r) => r.includes('service-logos.png')).length, 1);
      const style = await page.locator('.channel-list .logo:not(.logo-none)').first().getAttribute('style');
      assert.match(style, /background-position: -?\d+px -?\d+px/);
    }
    await page.close();
  });

  test('screenshots at phone and desktop width', () => screenshotsOf(pvr, 'channels'));
});
