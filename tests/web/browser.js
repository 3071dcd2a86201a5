// What the browser tests share: the page's folder served on 127.0.0.1,
// Debian's Chromium headless (driven by playwright-core, which
// scripts/check-web.sh installs), and the show's pictures read back from
// the page to be held to tests/frame_hashes.txt.
'use strict';
const fs = require('fs');
const os = require('os');
const path = require('path');
const {serve} = require('../../scripts/web/serve.js');

const {chromium} = require(require.resolve('playwright-core', {paths: [process.env.SHOW_WEB_NODE_MODULES || '']}));

const sourceDir = path.resolve(__dirname, '../..');
const expectedHashes = fs.readFileSync(path.join(sourceDir, 'tests/frame_hashes.txt'), 'utf8').trim().split('\n');

// Chromium as this machine runs it: no sandbox (root), no GPU, and none of
// its calls home, which the closed network would refuse; a profile of its own.
async function launch() {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'show-chromium-'));
  const browser = await chromium.launchPersistentContext(profile, {
    executablePath: process.env.SHOW_CHROMIUM || '/usr/bin/chromium',
    headless: true,
    viewport: {width: 1280, height: 800},
    acceptDownloads: true,
    args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking', '--disable-component-update',
      '--disable-sync', '--no-first-run', '--disable-quic', '--disable-default-apps'],
  });
  const close = async () => {
    await browser.close();
    fs.rmSync(profile, {recursive: true, force: true});
  };
  return {browser, close};
}

// Same steps as tests/support/show_frames.cpp's picture_hash, over the
// picture's 16-bit pixels (a Buffer, little-endian, row after row).
function pictureHash(width, height, pixels) {
  const k = 0x9e3779b97f4a7c15n, mask = (1n << 64n) - 1n;
  let h = (BigInt(width) << 32n) | BigInt(height);
  for (let i = 0; i + 8 <= width * height * 2; i += 8) {
    h = ((h ^ pixels.readBigUInt64LE(i)) * k) & mask;
    h = ((h << 29n) | (h >> 35n)) & mask;
  }
  return h.toString(16).padStart(16, '0');
}

// The page's picture and the number of the refresh it belongs to, read in one
// turn of the page: the show is asleep then, and its canvas holds the
// picture of the last refresh it reported. The canvas's 8-bit fields are
// the picture's 5-6-5 ones widened by repeating their top bits, so their
// top bits give the picture back.
async function grab(page) {
  const {refreshes, width, height, packed} = await page.evaluate(() => {
    const canvas = document.getElementById('canvas');
    const image = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height);
    const rgba = image.data, pixels = new Uint16Array(image.width * image.height);
    for (let i = 0; i < pixels.length; i++)
      pixels[i] = ((rgba[4 * i] >> 3) << 11) | ((rgba[4 * i + 1] >> 2) << 5) | (rgba[4 * i + 2] >> 3);
    const bytes = new Uint8Array(pixels.buffer);
    let text = '';
    for (let i = 0; i < bytes.length; i += 0x8000)
      text += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
    return {refreshes: window.starloom.progress.refreshes, width: image.width, height: image.height,
      packed: btoa(text)};
  });
  const pixels = Buffer.from(packed, 'base64');
  let lit = 0;
  for (let i = 0; i < pixels.length; i += 2)
    if (pixels.readUInt16LE(i))
      lit++;
  return {refreshes, width, height, pixels, lit, hash: pictureHash(width, height, pixels)};
}

// The 16-bit picture in a 24-bit PCX file as the library saves one (three
// planes of run-length encoded rows), or an Error saying what is wrong.
function decodePcx(file) {
  if (file.length < 128 || file[0] !== 10 || file[2] !== 1 || file[3] !== 8 || file[65] !== 3)
    return new Error('not a run-length encoded 24-bit PCX file');
  const width = file.readUInt16LE(8) - file.readUInt16LE(4) + 1;
  const height = file.readUInt16LE(10) - file.readUInt16LE(6) + 1;
  const stride = file.readUInt16LE(66);
  const rows = Buffer.alloc(stride * 3 * height);
  let at = 128, out = 0;
  while (out < rows.length && at < file.length) {
    const byte = file[at++];
    const count = byte >= 0xc0 ? byte & 0x3f : 1;
    const value = byte >= 0xc0 ? file[at++] : byte;
    rows.fill(value, out, Math.min(out + count, rows.length));
    out += count;
  }
  if (out < rows.length)
    return new Error(`the file ends after ${out} of ${rows.length} bytes of pixels`);
  const pixels = Buffer.alloc(width * height * 2);
  for (let y = 0; y < height; y++)
    for (let x = 0; x < width; x++) {
      const row = y * stride * 3;
      const r = rows[row + x], g = rows[row + stride + x], b = rows[row + 2 * stride + x];
      pixels.writeUInt16LE(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3), 2 * (y * width + x));
    }
  return {width, height, pixels, hash: pictureHash(width, height, pixels)};
}

// Waits, as long as a busy machine needs, until the show has made `count`
// refreshes.
async function waitForRefreshes(page, count, timeout = 120000) {
  await page.waitForFunction(n => window.starloom.progress.refreshes >= n, count, {timeout, polling: 20});
}

module.exports = {launch, serve, sourceDir, expectedHashes, pictureHash, grab, decodePcx, waitForRefreshes};
