// Every picture of the show in the browser, from the opening pause through
// 600 frames of steered free flight (tests/web/frames.cpp plays it as the
// native frame test does), held to tests/frame_hashes.txt: one pixel of one
// frame that moves fails it, and so does a frame too many or too few. The
// screenshot it takes on the way is the picture of its frame.
'use strict';
const assert = require('assert');
const fs = require('fs');
const path = require('path');
const test = require('node:test');
const web = require('./browser.js');

const build = process.env.SHOW_WEB_BUILD;

function sceneOf(refresh) {
  if (refresh <= 50)
    return 'opening pause';
  if (refresh <= 300)
    return 'title card';
  if (refresh <= 621)
    return 'logo';
  return refresh <= 1946 ? 'text crawl' : 'free flight';
}

test('every frame of the show in the browser matches its hash', {timeout: 600000}, async () => {
  const {server, url} = await web.serve(build);
  const {browser, close} = await web.launch();
  try {
    const page = browser.pages()[0];
    const downloads = [];
    page.on('download', download => downloads.push(download));
    await page.goto(url + 'frames.html');
    await page.waitForFunction(() => window.frames.status !== null, null, {timeout: 540000, polling: 250});
    const {hashes, errors} = await page.evaluate(() => window.frames);
    assert.deepStrictEqual(errors, [], 'the program wrote errors');

    const wrong = [];
    for (let i = 0; i < Math.max(hashes.length, web.expectedHashes.length); i++)
      if (hashes[i] !== web.expectedHashes[i])
        wrong.push(i + 1);
    if (wrong.length) {
      fs.writeFileSync(path.join(build, 'frame_hashes.actual.txt'), hashes.join('\n') + '\n');
      assert.fail(`${hashes.length} frames shown, ${web.expectedHashes.length} expected; ${wrong.length} differ, ` +
        `the first is frame ${wrong[0]} (${sceneOf(wrong[0])}): ${hashes[wrong[0] - 1]} instead of ` +
        `${web.expectedHashes[wrong[0] - 1]}. This run's hashes are in ${build}/frame_hashes.actual.txt`);
    }

    // S at free flight's frame 300: the picture shown then.
    assert.strictEqual(downloads.length, 1, 'screenshots downloaded');
    assert.strictEqual(downloads[0].suggestedFilename(), 'qirboSho.pcx');
    const shot = web.decodePcx(fs.readFileSync(await downloads[0].path()));
    assert.ok(!(shot instanceof Error), `the screenshot: ${shot.message}`);
    assert.deepStrictEqual([shot.width, shot.height], [1024, 768]);
    assert.strictEqual(shot.hash, web.expectedHashes[1946 + 300 - 1], 'the screenshot is not frame 300 of free flight');
  } finally {
    await close();
    server.close();
  }
});
