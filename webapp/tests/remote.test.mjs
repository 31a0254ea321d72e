// Remote control: keys reach the firmware, the screen picture follows each key, text entry,
// power keys ask first.
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import { join } from 'node:path';
import { after, before, describe, test } from 'node:test';

import { accessibilityProblems, openPage, screenshotsOf, showView, sleep, startPvr } from './harness.mjs';

/** The key event the firmware receives (TAP_GenerateEvent of a key code). */
const keyEvent = (code) => new RegExp(`generated event 0x0100 param1 0x${code.toString(16).padStart(8, '0')}\\b`);

describe('remote view', () => {
  let pvr;
  before(async () => { pvr = await startPvr(); });
  after(() => pvr?.stop());

  test('a key press reaches the firmware and the screen picture is taken again', async () => {
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

  test('the key pad works from the keyboard', async () => {
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

  test('text entry sends each character to the TAPs', async () => {
    const page = await openPage(pvr);
    await showView(page, pvr, 'remote');
    const from = pvr.lines.length;
    await page.fill('#remote-text', 'Hi');
    await page.click('.text-entry button[type="submit"]');
    await pvr.effect(/event 0x0ffd param1 0x00000048/i, { from });
    await pvr.effect(/event 0x0ffd param1 0x00000069/i, { from });
    // The field is emptied once the PVR has answered the last character.
    await page.waitForFunction(() => document.querySelector('#remote-text').value === '', null, { timeout: 5000 });
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

  test('the screen picture is the emulated screen, pixel for pixel', async () => {
    // Without menus on the screen the picture is the video picture of the disk, each
    // column x taken from source column floor(45x/64).
    const source = readFileSync(join(pvr.root, 'pvrsim', 'video.png')).toString('base64');
    const page = await openPage(pvr);
    await showView(page, pvr, 'remote');
    const picture = page.locator('figure.screen img');
    await picture.waitFor();
    const mismatch = await picture.evaluate(async (shown, png) => {
      const pixels = async (image, width, height) => {
        await image.decode();
        const canvas = document.createElement('canvas');
        canvas.width = width;
        canvas.height = height;
        const context = canvas.getContext('2d', { colorSpace: 'srgb' });
        context.drawImage(image, 0, 0);
        return { width: image.naturalWidth, height: image.naturalHeight,
                 data: context.getImageData(0, 0, width, height).data };
      };
      const video = new Image();
      video.src = `data:image/png;base64,${png}`;
      const want = await pixels(video, 720, 576);
      const got = await pixels(shown, 1024, 576);
      if (got.width !== 1024 || got.height !== 576) return `picture is ${got.width} x ${got.height}`;
      for (let y = 0; y < 576; y++) {
        for (let x = 0; x < 1024; x++) {
          const o = (y * 1024 + x) * 4;
          const i = (y * 720 + Math.floor((45 * x) / 64)) * 4;
          for (let c = 0; c < 4; c++) {
            if (got.data[o + c] !== want.data[i + c]) return `pixel (${x}, ${y}) channel ${c}: ${got.data[o + c]} for ${want.data[i + c]}`;
          }
        }
      }
      return '';
    }, source);
    assert.equal(mismatch, '');
    await page.close();
  });

  test('screenshots at phone and desktop width', () => screenshotsOf(pvr, 'remote'));
});
