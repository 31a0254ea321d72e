// Remote control: keys reach the firmware, the screen picture follows each key, text entry,
// power keys ask first.
import assert from 'node:assert/strict';
import { after, before, describe, test } from 'node:test';

import { accessibilityProblems, openPage, screenshotsOf, showView, sleep, startPvr } from './harness.mjs';

/** The key event the firmware receives (TAP_GenerateEvent of a key code). */
const keyEvent = (code) => new RegExp(`generated event 0x0100 param1 0x${code.toString(16).padStart(8, '0')}\\b`);

describe('remote view', () => {
  let pvr;
  before(async () => { pvr = await startPvr(); });
  after(() => pvr?.stop());

  test('a key press reaches the firmware and the screen picture is taken again', async (t) => {
    const reason = await pvr.missing('remote/probe', 'config/get');
    if (reason) t.todo(reason);
    const page = await openPage(pvr);
    await showView(page, pvr, 'remote');
    const from = pvr.lines.length;
    const captures = () => page.requests.filter((r) => r === '/@@screen.png').length;
    const before = captures();
    await page.locator('button[data-key="ok"]').click();
    await pvr.effect(keyEvent(0x1001e), { from });
    await page.locator('button[data-key="menu"]').click();
    await pvr.effect(keyEvent(0x1001c), { from });
    for (let i = 0; i < 50 && captures() <= before; i++) await sleep(100);
    assert.ok(captures() > before, 'no new screen picture after the keys');
    assert.equal(await page.locator('.pad [role="alert"]').count(), 0);
    assert.deepEqual(await accessibilityProblems(page), []);
    await page.close();
  });

  test('the key pad works from the keyboard', async (t) => {
    const reason = await pvr.missing('remote/probe');
    if (reason) t.todo(reason);
    const page = await openPage(pvr);
    await showView(page, pvr, 'remote');
    const from = pvr.lines.length;
    await page.locator('.pad').focus();
    await page.keyboard.press('ArrowDown');
    await page.keyboard.press('Escape');
    await pvr.effect(keyEvent(0x1001d), { from });
    await pvr.effect(keyEvent(0x10017), { from });
    await page.close();
  });

  test('text entry sends each character to the TAPs', async (t) => {
    const reason = await pvr.missing('ascii/probe');
    if (reason) t.todo(reason);
    const page = await openPage(pvr);
    await showView(page, pvr, 'remote');
    const from = pvr.lines.length;
    await page.fill('#remote-text', 'Hi');
    await page.click('.text-entry button[type="submit"]');
    await pvr.effect(/event 0x0ffd param1 0x00000048/i, { from });
    await pvr.effect(/event 0x0ffd param1 0x00000069/i, { from });
    assert.equal(await page.inputValue('#remote-text'), '');
    await page.close();
  });

  test('the power key asks first and does nothing when cancelled', async () => {
    const page = await openPage(pvr);
    await showView(page, pvr, 'remote');
    const from = pvr.lines.length;
    await page.locator('button[data-key="power"]').click();
    const dialog = page.locator('dialog.confirm[open]');
    await dialog.waitFor();
    assert.match(await dialog.innerText(), /Switch the PVR off/);
    await dialog.locator('button', { hasText: 'Cancel' }).click();
    assert.equal(await pvr.seesEffect(keyEvent(0x1000a), 1000, from), false);
    assert.equal(await pvr.seesEffect(/power off/, 100, from), false);
    await page.close();
  });

  test('screenshots at phone and desktop width', () => screenshotsOf(pvr, 'remote'));
});
