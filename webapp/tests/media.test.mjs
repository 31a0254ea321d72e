// Recordings and media: files renamed or deleted in the page are renamed or deleted on the
// PVR's disk (deleting asks first); playback starts on the PVR.
import assert from 'node:assert/strict';
import { existsSync, writeFileSync } from 'node:fs';
import { after, before, describe, test } from 'node:test';

import { accessibilityProblems, confirm, openPage, screenshotsOf, showView, sleep, startPvr } from './harness.mjs';

const DATA = '/mnt/hd/DataFiles';

describe('media view', () => {
  let pvr;
  let ext = '.rec';
  before(async () => {
    pvr = await startPvr();
    if (!(await pvr.missing('config/get'))) ext = (await pvr.api('config', 'get')).recextension;
    for (const name of ['ShowOne', 'ShowTwo', 'ShowThree']) {
      writeFileSync(pvr.disk(`${DATA}/${name}${ext}`), Buffer.alloc(188 * 1000));
    }
    writeFileSync(pvr.disk(`${DATA}/ShowOne${ext}.nav`), Buffer.alloc(64));
  });
  after(() => pvr?.stop());

  const row = (page, name) => page.locator('.file-list li', { hasText: name });

  test('lists the recordings and renames one with its companion files', async (t) => {
    const reason = await pvr.missing('files/get');
    if (reason) t.todo(reason);
    const page = await openPage(pvr);
    await showView(page, pvr, 'media');
    await row(page, `ShowOne${ext}`).locator('button', { hasText: 'Rename' }).click();
    await page.fill('#rename-name', 'ShowRenamed');
    await page.locator('dialog.panel[open] button[type="submit"]').click();
    await row(page, `ShowRenamed${ext}`).waitFor();
    assert.ok(existsSync(pvr.disk(`${DATA}/ShowRenamed${ext}`)));
    assert.ok(existsSync(pvr.disk(`${DATA}/ShowRenamed${ext}.nav`)));
    assert.ok(!existsSync(pvr.disk(`${DATA}/ShowOne${ext}`)));
    assert.deepEqual(await accessibilityProblems(page), []);
    await page.close();
  });

  test('deletes a recording only after the user confirms', async (t) => {
    const reason = await pvr.missing('files/get');
    if (reason) t.todo(reason);
    const page = await openPage(pvr);
    await showView(page, pvr, 'media');
    await row(page, `ShowTwo${ext}`).locator('button', { hasText: 'Delete' }).click();
    await page.locator('dialog.confirm[open] button', { hasText: 'Cancel' }).click();
    await sleep(300);
    assert.ok(existsSync(pvr.disk(`${DATA}/ShowTwo${ext}`)), 'deleted without confirmation');
    await row(page, `ShowTwo${ext}`).locator('button', { hasText: 'Delete' }).click();
    await confirm(page);
    await row(page, `ShowTwo${ext}`).waitFor({ state: 'detached' });
    assert.ok(!existsSync(pvr.disk(`${DATA}/ShowTwo${ext}`)));
    await page.close();
  });

  test('plays a recording on the PVR', async (t) => {
    const reason = await pvr.missing('files/get', 'status/get');
    if (reason) t.todo(reason);
    const page = await openPage(pvr);
    await showView(page, pvr, 'media');
    await row(page, `ShowThree${ext}`).locator('button', { hasText: 'Play' }).click();
    let status;
    for (let i = 0; i < 30; i++) {
      status = await pvr.api('status', 'get');
      if (status.playmode !== 0) break;
      await sleep(100);
    }
    assert.notEqual(status.playmode, 0);
    assert.equal(status.filename, `ShowThree${ext}`);
    await page.locator('.playback').waitFor();
    await page.close();
  });

  test('screenshots at phone and desktop width', async () => {
    await screenshotsOf(pvr, 'media');
    if (await pvr.missing('files/get')) return;
    await screenshotsOf(pvr, 'media', (page) => page.locator('.file-list li button', { hasText: 'Rename' }).first().click(),
                        'media-rename');
  });
});
