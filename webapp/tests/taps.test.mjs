// TAPs and logos: the running TAPs are listed, a stopped one ends (after confirmation), a
// TAP started from the disk is loaded by the firmware; a logo rebuild starts the
// configuration TAP, or says that it could not.
import assert from 'node:assert/strict';
import { existsSync } from 'node:fs';
import { after, before, describe, test } from 'node:test';

import { accessibilityProblems, confirm, openPage, screenshotsOf, showView, startPvr } from './harness.mjs';

describe('taps view', () => {
  let pvr;
  before(async () => { pvr = await startPvr(); });
  after(() => pvr?.stop());

  test('lists the running TAPs with their texts and stops one after confirmation', async () => {
    // Started by a real client; the page finds it in the task list.
    const from = pvr.lines.length;
    const started = await pvr.api('taps', 'start', 'filename=/ProgramFiles/EchoTest.tap');
    assert.equal(started.error, 0, started.error_text);
    const loaded = await pvr.effect(/loaded slot (\d+) id 0x54455354/, { from });
    const page = await openPage(pvr);
    await showView(page, pvr, 'taps');
    const row = page.locator('table.taps tbody tr', { hasText: /echo/i });
    await row.waitFor();
    assert.match(await row.innerText(), /\/mnt\/hd\/ProgramFiles\/EchoTest\.tap/);
    assert.ok((await page.locator('table.taps tbody strong').allInnerTexts()).some((n) => n.startsWith('Orvane')),
              'Orvane.tap itself is not listed');
    await row.locator('button', { hasText: 'Stop' }).click();
    await confirm(page);
    await pvr.effect(new RegExp(`unloaded slot ${loaded[1]} id 0x54455354`), { from });
    await row.waitFor({ state: 'detached' });
    // No failure note beside the list (the disk listing and the logos have notes of their own).
    assert.equal(await page.locator('table.taps ~ .error-note').count(), 0);
    assert.deepEqual(await accessibilityProblems(page), []);
    await page.close();
  });

  test('starts a TAP file from the disk', async (t) => {
    const reason = await pvr.missing('files/get');
    if (reason) t.todo(reason);
    const page = await openPage(pvr);
    await showView(page, pvr, 'taps');
    const from = pvr.lines.length;
    await page.locator('.tap-files li', { hasText: 'EchoTest.tap' }).locator('button').click();
    const loaded = await pvr.effect(/loaded slot (\d+) id 0x54455354/, { from });
    await page.locator('table.taps tbody tr', { hasText: /echo/i }).waitFor();
    const listed = await pvr.api('taps', 'get');
    assert.ok(listed.tap.some((tap) => tap.index === Number(loaded[1]) && tap.tapid === 0x54455354));
    await page.close();
  });

  test('rebuilding the logos asks first and starts the configuration TAP', async () => {
    const page = await openPage(pvr);
    await showView(page, pvr, 'taps');
    const from = pvr.lines.length;
    await page.locator('button', { hasText: 'Rebuild logos' }).click();
    await confirm(page);
    if (existsSync(pvr.disk('/mnt/hd/ProgramFiles/Orvane-Config.tap'))) {
      await pvr.effect(/exec \/ProgramFiles\/Orvane-Config\.tap in batch mode/, { from, timeout: 10000 });
    } else {
      // Without the configuration TAP on the disk the page says that the start failed.
      await page.locator('section[aria-labelledby="logos-title"] .error-note[role="alert"]',
                         { hasText: 'Requested file not found' }).waitFor();
    }
    await page.close();
  });

  test('screenshots at phone and desktop width', () => screenshotsOf(pvr, 'taps'));
});
