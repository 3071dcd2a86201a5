// The page as a viewer meets it, in real time in headless Chromium: the
// show's progress is followed by the refresh numbers the page reports, and
// the pictures it shows are held to those of tests/frame_hashes.txt.
'use strict';
const assert = require('assert');
const fs = require('fs');
const os = require('os');
const path = require('path');
const test = require('node:test');
const web = require('./browser.js');

// The page as the release's archive holds it, or the build's own.
const build = process.env.SHOW_WEB_PAGE || process.env.SHOW_WEB_BUILD;
const flightStartsAfter = 1946;

// The picture on the page is exactly the show's frame `refresh`, lit.
async function expectFrame(page, refresh, what) {
  await web.waitForRefreshes(page, refresh);
  const shot = await web.grab(page);
  assert.ok(shot.lit > 0, `${what}: the picture is black (refresh ${shot.refreshes})`);
  assert.strictEqual(shot.hash, web.expectedHashes[shot.refreshes - 1],
    `${what}: the picture of refresh ${shot.refreshes} is not the show's`);
  return shot;
}

async function visibleText(page) {
  return page.evaluate(() => document.body.innerText.replace(/\s+/g, ' ').trim());
}

async function pictureBox(page) {
  return page.evaluate(() => {
    const canvas = document.getElementById('canvas');
    const box = canvas.getBoundingClientRect();
    return {x: box.x, y: box.y, width: box.width, height: box.height,
      rendering: getComputedStyle(canvas).imageRendering};
  });
}

async function openPage(url) {
  const {browser, close} = await web.launch();
  const page = browser.pages()[0];
  const errors = [];
  page.on('pageerror', error => errors.push(error.message));
  await page.goto(url);
  return {page, close, errors};
}

test('the show plays in the page, with its keys and its music', {timeout: 900000}, async t => {
  const {server, url} = await web.serve(build);
  const {page, close, errors} = await openPage(url);
  try {
    await t.test('before a gesture: the show\'s name, one line asking for it, the show waiting', async () => {
      assert.strictEqual(await page.title(), 'STARLOOM');
      assert.strictEqual(await visibleText(page), 'Click or press a key to start');
      await page.waitForTimeout(500);
      assert.strictEqual(await page.evaluate(() => window.starloom.progress.refreshes), 0);
    });

    await t.test('a click starts it: the title on black, then the logo over stars', async () => {
      await page.mouse.click(20, 20);
      await expectFrame(page, 120, 'title card');
      assert.strictEqual(await visibleText(page), '', 'words on the page while the show plays');
      await expectFrame(page, 450, 'logo over stars');
    });

    await t.test('the music: its audio context runs and the mixer keeps queuing buffers', async () => {
      const state = await page.evaluate(() => window.starloom.show.SDL2.audioContext.state);
      assert.strictEqual(state, 'running');
      const before = await page.evaluate(() => ({...window.starloom.progress}));
      await web.waitForRefreshes(page, before.refreshes + 60);
      const after = await page.evaluate(() => ({...window.starloom.progress}));
      assert.ok(after.soundBuffers > before.soundBuffers,
        `sound buffers queued: ${before.soundBuffers}, then ${after.soundBuffers} a second of frames later`);
    });

    await t.test('the picture follows the window: as large as fits, sharp at whole multiples', async () => {
      const cases = [
        {viewport: [1280, 800], box: [106.67, 0, 1066.67, 800], rendering: 'auto'},
        {viewport: [800, 1000], box: [0, 200, 800, 600], rendering: 'auto'},
        {viewport: [2200, 1600], box: [76, 32, 2048, 1536], rendering: 'pixelated'},
      ];
      for (const {viewport: [width, height], box, rendering} of cases) {
        await page.setViewportSize({width, height});
        // The page lays the picture out again on its resize event, which a busy
        // machine delivers late: looked at until it lands, for up to 10 s.
        const fits = (got) => got.every((v, i) => Math.abs(v - box[i]) < 1);
        let seen, got;
        for (let tries = 0; tries < 100; tries++) {
          seen = await pictureBox(page);
          got = [seen.x, seen.y, seen.width, seen.height];
          if (fits(got)) break;
          await page.waitForTimeout(100);
        }
        assert.ok(fits(got),
          `picture in a ${width}x${height} window at ${got}, not ${box} (x, y, width, height)`);
        assert.strictEqual(seen.rendering, rendering, `scaling in a ${width}x${height} window`);
      }
      await page.setViewportSize({width: 1280, height: 800});
    });

    await t.test('F11 and a double click switch the page to full screen and back', async () => {
      const full = () => page.evaluate(() => document.fullscreenElement !== null);
      for (const [how, act] of [['F11', () => page.keyboard.press('F11')],
        ['a double click', () => page.mouse.dblclick(640, 400)]]) {
        await act();
        await page.waitForFunction(() => document.fullscreenElement !== null, null, {timeout: 5000})
          .catch(() => assert.fail(`${how} did not switch to full screen`));
        await act();
        await page.waitForFunction(() => document.fullscreenElement === null, null, {timeout: 5000})
          .catch(() => assert.fail(`${how} did not switch back`));
      }
      assert.strictEqual(await full(), false);
    });

    await t.test('a text panel, then free flight that moves; S typed before it saves its first frame', async () => {
      await expectFrame(page, 1000, 'text crawl');
      // Typed in a timed scene, it waits for free flight's first frame.
      const download = page.waitForEvent('download', {timeout: 120000});
      await page.keyboard.press('s');
      const first = await web.grab(page);
      // The roll starts at free flight's frame 56.
      await web.waitForRefreshes(page, flightStartsAfter + 60);
      const a = await web.grab(page);
      await web.waitForRefreshes(page, a.refreshes + 30);
      const b = await web.grab(page);
      assert.ok(a.lit > 100 && b.lit > 100, `free flight is lit: ${a.lit} and ${b.lit} pixels`);
      assert.notStrictEqual(a.hash, b.hash, `free flight did not move from refresh ${a.refreshes} to ${b.refreshes}`);
      assert.ok(first.refreshes < flightStartsAfter, 'S was typed too late to test');

      const file = await download;
      assert.strictEqual(file.suggestedFilename(), 'qirboSho.pcx');
      const shot = web.decodePcx(fs.readFileSync(await file.path()));
      assert.ok(!(shot instanceof Error), `the screenshot: ${shot.message}`);
      assert.strictEqual(shot.hash, web.expectedHashes[flightStartsAfter],
        'the screenshot is not the star field of free flight\'s first frame');
    });

    await t.test('Space held ends the show; the page says so and plays it again', async () => {
      await page.keyboard.down('Space');
      await page.waitForFunction(() => window.starloom.ended, null, {timeout: 60000});
      await page.keyboard.up('Space');
      assert.strictEqual(await visibleText(page), 'The show has ended. Play again');
      await page.click('#again');
      await page.waitForFunction(() => !window.starloom.ended && window.starloom.progress.refreshes > 0);
      await expectFrame(page, 120, 'title card, played again');
    });
    assert.deepStrictEqual(errors, [], 'errors on the page');
  } finally {
    await close();
    server.close();
  }
});

test('a page whose data lacks the music says why the show cannot start', {timeout: 300000}, async () => {
  const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'show-page-'));
  for (const name of ['index.html', 'page.js', 'show.js', 'show.wasm'])
    fs.copyFileSync(path.join(build, name), path.join(folder, name));
  fs.cpSync(path.join(build, 'dat'), path.join(folder, 'dat'), {recursive: true});
  fs.rmSync(path.join(folder, 'dat', 'track1_cut_equalize.wav'));
  const {server, url} = await web.serve(folder);
  const {page, close} = await openPage(url);
  try {
    // A key starts the show as a click does.
    await page.keyboard.press('Enter');
    await page.waitForFunction(() => window.starloom.ended, null, {timeout: 120000});
    const text = await visibleText(page);
    assert.match(text, /track1_cut_equalize\.wav/, `the page says: ${JSON.stringify(text)}`);
    assert.strictEqual(await page.isVisible('#canvas'), false, 'the black picture is still there');
  } finally {
    await close();
    server.close();
    fs.rmSync(folder, {recursive: true, force: true});
  }
});
