// Settings: client settings added, changed and deleted in the page are stored in the PVR's
// settings file; stored texts are shown as text; the language can be chosen.
import assert from 'node:assert/strict';
import { existsSync, readFileSync } from 'node:fs';
import { after, before, describe, test } from 'node:test';

import { accessibilityProblems, confirm, openPage, screenshotsOf, settled, showView, sleep, startPvr } from './harness.mjs';

const CLIENT_INI = '/mnt/hd/ProgramFiles/Settings/Orvane/Orvane-Client.ini';

describe('settings view', () => {
  let pvr;
  before(async () => { pvr = await startPvr(); });
  after(() => pvr?.stop());

  const stored = () => (existsSync(pvr.disk(CLIENT_INI)) ? readFileSync(pvr.disk(CLIENT_INI), 'utf8') : '');

  test('adds, changes and deletes a client setting in the PVR\'s settings file', async (t) => {
    const reason = await pvr.missing('settings/list');
    if (reason) t.todo(reason);
    const page = await openPage(pvr);
    await showView(page, pvr, 'settings');
    await page.fill('#client-new-key', 'theme');
    await page.fill('#client-new-value', '<b>dark</b> & "bold"');
    await page.locator('.add-setting button[type="submit"]').click();
    await page.locator('.settings-list th.key', { hasText: 'theme' }).waitFor();
    assert.match(stored(), /^theme=<b>dark<\/b> & "bold"\r?$/m);
    assert.equal(await page.locator('.settings-list b').count(), 0, 'a stored text became HTML');

    const value = page.locator('.settings-list input[aria-label="Value of theme"]');
    await value.fill('light');
    await page.locator('.settings-list tr', { hasText: 'theme' }).locator('button', { hasText: 'Save' }).click();
    for (let i = 0; i < 20 && !/^theme=light\r?$/m.test(stored()); i++) await sleep(100);
    assert.match(stored(), /^theme=light\r?$/m);

    await page.locator('.settings-list tr', { hasText: 'theme' }).locator('button', { hasText: 'Delete' }).click();
    await confirm(page);
    await page.locator('.settings-list th.key', { hasText: 'theme' }).waitFor({ state: 'detached' });
    assert.doesNotMatch(stored(), /theme=/);
    assert.deepEqual(await accessibilityProblems(page), []);
    await page.close();
  });

  test('the language chosen by the user is used and kept', async (t) => {
    const reason = await pvr.missing('language/get');
    if (reason) t.todo(reason);
    const page = await openPage(pvr);
    await showView(page, pvr, 'settings');
    await page.selectOption('#language-choice', 'de');
    await page.locator('nav.views a', { hasText: 'Sender' }).waitFor();
    await page.reload();
    await settled(page, 'settings');
    assert.equal(await page.locator('nav.views a').first().innerText(), 'Sender');
    assert.equal(await page.locator('html').getAttribute('lang'), 'de');
    await page.close();
  });

  test('screenshots at phone and desktop width', () => screenshotsOf(pvr, 'settings'));
});
